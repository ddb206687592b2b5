// Tests of the command-line tool's image files (in memory; CommandTest has
// them on disk). Pictures are built here by hand from the DIB layout, BMP and
// PNG files by hand from the file layouts.
#ifdef QVX_HAVE_IMAGEFILE

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "cli/ImageFile.h"
#include "platform/WinTypes.h"

namespace {

using namespace qvx;
using Byte = std::uint8_t;
using Bytes = std::vector<Byte>;

constexpr std::uint32_t kMasks555[3] = {0x7C00, 0x03E0, 0x001F};
constexpr std::uint32_t kMasks565[3] = {0xF800, 0x07E0, 0x001F};
constexpr std::uint32_t kMasks888[3] = {0xFF0000, 0xFF00, 0xFF};

// Little-endian numbers of `bytes` bytes, and big-endian 32-bit ones.
void Put(Bytes& b, std::size_t at, std::uint32_t v, int bytes = 4) {
  for (int i = 0; i < bytes; ++i) b[at + i] = v >> 8 * i & 255;
}
void PutBig(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = v >> (24 - 8 * i) & 255;
}
std::uint32_t Get(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
int Bits(const Bytes& dib) { return dib[14] | dib[15] << 8; }
int Width(const Bytes& dib) { return static_cast<int>(Get(dib, 4)); }
int Height(const Bytes& dib) { return static_cast<int>(Get(dib, 8)); }
std::size_t Stride(int bits, int width) { return (std::size_t(bits) * width + 31) / 32 * 4; }

// Bytes between a picture's header and its rows, by the layout rules.
std::size_t TableBytes(const Bytes& dib) {
  const int bits = Bits(dib);
  const std::uint32_t used = Get(dib, 32);
  if (bits <= 8) return 4 * (used > 0 && used < (1u << bits) ? used : 1u << bits);
  return (bits == 16 || bits == 32) && Get(dib, 16) == BI_BITFIELDS ? 12 : 0;
}
// Where row y (from the top) starts.
std::size_t Row(const Bytes& dib, int y) {
  return 40 + TableBytes(dib) + (Height(dib) - 1 - y) * Stride(Bits(dib), Width(dib));
}

// A picture with random pixels (all alike when flat). Palette pictures get
// `colors` random entries (or the grey ramp) and indices below `colors`;
// 16/32-bit pictures given masks carry BI_BITFIELDS. Row padding and unused
// bits stay zero.
Bytes MakeDib(int bits, int width, int height, std::uint32_t colors, std::uint32_t seed,
              const std::uint32_t* masks = nullptr, bool greyRamp = false, bool flat = false) {
  std::mt19937 rng(seed);
  const std::size_t table = bits <= 8 ? colors * 4 : masks ? 12 : 0;
  const auto rows = static_cast<DWORD>(Stride(bits, width) * height);
  const DWORD compression = masks ? BI_BITFIELDS : BI_RGB;
  const DWORD used = bits <= 8 && colors < (1u << bits) ? colors : 0;
  const BITMAPINFOHEADER header{40,   width, height, 1,    WORD(bits), compression,
                                rows, 2835,  2835,   used, 0};
  Bytes b(40 + table + rows, 0);
  std::memcpy(b.data(), &header, 40);
  for (std::uint32_t i = 0; bits <= 8 && i < colors; ++i) {
    for (int c = 0; c < 3; ++c) b[40 + 4 * i + c] = greyRamp ? i : rng() & 255;
  }
  for (int i = 0; masks && i < 3; ++i) Put(b, 40 + 4 * i, masks[i]);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (flat) rng.seed(seed);
      std::uint8_t* p = &b[Row(b, y) + x * bits / 8];
      if (bits <= 8) *p |= rng() % colors << (8 - bits - x * bits % 8);
      for (int c = 0; bits > 8 && c < bits / 8; ++c) {
        p[c] = rng() & (bits == 16 && c == 1 && masks != kMasks565 ? 127 : 255);
      }
    }
  }
  return b;
}

// The picture as the writers put it: 5-5-5 and 32-bit masks dropped for
// BI_RGB, which means the same.
Bytes Plain(Bytes dib) {
  if (Bits(dib) > 8 && TableBytes(dib) == 12 && Get(dib, 40) != kMasks565[0]) {
    dib.erase(dib.begin() + 40, dib.begin() + 52);
    Put(dib, 16, BI_RGB);
  }
  return dib;
}

struct Rgba {
  int r, g, b, a = 255;
  bool operator==(const Rgba&) const = default;
};

// Pixel (x, y) by the layout rules: palette entries, 16-bit channels widened
// to 0..255 as v * 255 / 31 (or 63) rounded to nearest, alpha 255 below 32
// bits.
Rgba PixelOf(const Bytes& dib, int x, int y) {
  const int bits = Bits(dib);
  const std::uint8_t* p = &dib[Row(dib, y) + x * bits / 8];
  if (bits <= 8) {
    const std::uint8_t* e = &dib[40 + 4 * (*p >> (8 - bits - x * bits % 8) & ((1 << bits) - 1))];
    return {e[2], e[1], e[0], 255};
  }
  if (bits == 16) {
    const int w = p[0] | p[1] << 8, six = TableBytes(dib) == 12 && Get(dib, 40) == kMasks565[0];
    const auto widen = [](int v, int top) { return (2 * v * 255 + top) / (2 * top); };
    return {widen(w >> (10 + six) & 31, 31), widen(w >> 5 & (31 + 32 * six), 31 + 32 * six),
            widen(w & 31, 31), 255};
  }
  return {p[2], p[1], p[0], bits == 32 ? p[3] : 255};
}

// Largest difference in any channel between a picture and the pixels it
// should have (alpha too, unless the picture has none to compare).
int MaxDifference(const Bytes& dib, const std::function<Rgba(int, int)>& want, bool alpha = true) {
  int worst = 0;
  for (int y = 0; y < Height(dib); ++y) {
    for (int x = 0; x < Width(dib); ++x) {
      const Rgba a = PixelOf(dib, x, y), b = want(x, y);
      const int da = alpha ? std::abs(a.a - b.a) : 0;
      worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b), da});
    }
  }
  return worst;
}

::testing::AssertionResult SameBytes(const Bytes& expected, const Bytes& actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  const auto at = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
  return ::testing::AssertionFailure() << "sizes " << expected.size() << " and " << actual.size()
                                       << ", first difference at " << at.first - expected.begin();
}

// A decoded picture must be a well-formed packed DIB, whatever went in.
bool WellFormed(const Bytes& dib) {
  if (dib.size() < 40 || Get(dib, 0) != 40) return false;
  const int bits = Bits(dib), width = Width(dib), height = Height(dib);
  return (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32) &&
         width >= 1 && height >= 1 && width <= 30000 && height <= 30000 &&
         dib.size() >= Row(dib, 0) + Stride(bits, width);
}

bool OneLine(const std::string& message) {
  return !message.empty() && message.find('\n') == std::string::npos;
}

Bytes Encoded(bool (*encode)(const Bytes&, Bytes&, std::string&, const qvx::EncodeOptions&),
              const Bytes& dib, const qvx::EncodeOptions& options = {}) {
  Bytes file;
  std::string error;
  EXPECT_TRUE(encode(dib, file, error, options)) << error;
  return file;
}

Bytes Decoded(const Bytes& file) {
  Bytes dib;
  std::string error;
  EXPECT_TRUE(DecodeImage(file.data(), file.size(), dib, error)) << error;
  EXPECT_TRUE(WellFormed(dib));
  return dib;
}

void ExpectRefused(const Bytes& file, const char* expected) {
  Bytes dib{1, 2, 3};
  std::string error;
  EXPECT_FALSE(DecodeImage(file.data(), file.size(), dib, error));
  EXPECT_TRUE(dib.empty());
  EXPECT_TRUE(OneLine(error)) << "'" << error << "'";
  EXPECT_NE(error.find(expected), std::string::npos) << "'" << error << "'";
}

// A BMP file around a picture: its table and rows with an info header of
// `infoSize` bytes (12: OS/2 core with 3-byte entries; more than 40: the
// masks move into the header), rows top-down if asked.
Bytes WrapDib(const Bytes& d, std::uint32_t infoSize = 40, bool topDown = false) {
  const int bits = Bits(d), width = Width(d), height = Height(d);
  const std::size_t entry = infoSize == 12 ? 3 : 4, stride = Stride(bits, width);
  const std::size_t tableBytes = infoSize > 40 && bits > 8 ? 0 : TableBytes(d) / 4 * entry;
  const std::size_t offBits = 14 + infoSize + tableBytes;
  Bytes f(offBits + stride * height, 0);
  f[0] = 'B';
  f[1] = 'M';
  Put(f, 2, static_cast<std::uint32_t>(f.size()));
  Put(f, 10, static_cast<std::uint32_t>(offBits));
  if (infoSize == 12) {
    const std::uint32_t core[] = {12, static_cast<std::uint32_t>(width | height << 16),
                                  1u | bits << 16};
    for (int i = 0; i < 3; ++i) Put(f, 14 + 4 * i, core[i]);
  } else {
    std::copy_n(d.begin(), 40 + (bits > 8 ? TableBytes(d) : 0), f.begin() + 14);
    Put(f, 14, infoSize);
  }
  if (topDown) Put(f, 22, static_cast<std::uint32_t>(-height));
  for (std::size_t i = 0; bits <= 8 && i < tableBytes / entry; ++i) {
    std::copy_n(d.begin() + 40 + 4 * i, entry, f.begin() + 14 + infoSize + entry * i);
  }
  for (int y = 0; y < height; ++y) {
    const std::size_t fileRow = topDown ? y : height - 1 - y;
    std::copy_n(d.begin() + Row(d, y), stride, f.begin() + offBits + fileRow * stride);
  }
  return f;
}

struct DepthCase {
  int bits;
  std::uint32_t colors;
  const std::uint32_t* masks;
  bool greyRamp;
};

// Runs `check` on a random picture of every depth, table size and mask form
// at widths that leave every kind of row padding.
void ForEachDepthAndWidth(std::uint32_t seed, bool flat,
                          const std::function<void(const DepthCase&, const Bytes&)>& check) {
  const DepthCase depths[] = {
      {1, 2, nullptr, false},    {1, 1, nullptr, false},   {4, 16, nullptr, false},
      {4, 5, nullptr, false},    {8, 256, nullptr, false}, {8, 100, nullptr, false},
      {8, 256, nullptr, true},   {16, 0, nullptr, false},  {16, 0, kMasks555, false},
      {16, 0, kMasks565, false}, {24, 0, nullptr, false},  {32, 0, nullptr, false},
      {32, 0, kMasks888, false}};
  for (const DepthCase& c : depths) {
    for (int width : {1, 3, 5, 33}) {
      SCOPED_TRACE("depth case " + std::to_string(&c - depths) + ", width " +
                   std::to_string(width));
      check(c, MakeDib(c.bits, width, 3, c.colors, seed++, c.masks, c.greyRamp, flat));
    }
  }
}

TEST(BmpFile, RoundTripsAndReadsEveryHeaderForm) {
  ForEachDepthAndWidth(1, false, [](const DepthCase& c, const Bytes& d) {
    // Written as the picture stands behind a file header (masks only for 5-6-5).
    EXPECT_TRUE(SameBytes(WrapDib(Plain(d)), Encoded(EncodeBmp, d)));
    for (std::uint32_t infoSize : {40u, 108u, 124u}) {
      for (bool topDown : {false, true}) {
        EXPECT_TRUE(SameBytes(d, Decoded(WrapDib(d, infoSize, topDown))))
            << "header " << infoSize << " top-down " << topDown;
      }
    }
    // OS/2 core headers: full tables of 3-byte entries, no resolution.
    if (c.bits == 24 || (c.bits <= 8 && c.colors == 1u << c.bits)) {
      Bytes expected = d;
      Put(expected, 24, 0);
      Put(expected, 28, 0);
      EXPECT_TRUE(SameBytes(expected, Decoded(WrapDib(d, 12)))) << "core header";
    }
  });
}

TEST(BmpFile, ReordersThirtyTwoBitChannelMasks) {
  // Red in the first byte, blue in the third (an RGBA file), in a V4 header
  // and after a 40-byte header with four masks (BI_ALPHABITFIELDS).
  const std::uint32_t rgba[3] = {0xFF, 0xFF00, 0xFF0000};
  const Bytes d = MakeDib(32, 3, 2, 0, 7, rgba);
  Bytes alphaFields = WrapDib(d), expected = Plain(MakeDib(32, 3, 2, 0, 7, kMasks888));
  Put(alphaFields, 14 + 16, 6);
  alphaFields.insert(alphaFields.begin() + 14 + 40 + 12, {0, 0, 0, 0xFF});
  Put(alphaFields, 10, 14 + 40 + 16);
  for (std::size_t i = 40; i < expected.size(); i += 4) std::swap(expected[i], expected[i + 2]);
  EXPECT_TRUE(SameBytes(expected, Decoded(WrapDib(d, 108))));
  EXPECT_TRUE(SameBytes(expected, Decoded(alphaFields)));
}

TEST(BmpFile, RefusesLyingAndUnsupportedHeaders) {
  // Offsets and values written over a good file, and the refusal expected.
  const std::pair<std::vector<std::pair<std::size_t, std::uint32_t>>, const char*> lies[] = {
      {{{10, 1000}}, "past the end"},
      {{{10, 20}}, "into the headers"},
      {{{14, 20}}, "header size 20"},
      {{{18, 0}}, "no pixels"},
      {{{22, 0x80000000u}}, "too large"},
      {{{18, 30000}, {22, 30000}, {28, 32}}, "1 GiB"},
      {{{28, 2}}, "bit count 2"},
      {{{18, 10000}, {22, 20000}}, "truncated"},
      {{{30, 2}}, "run-length compression 2 does not fit 8 bits"},
      {{{30, 4}}, "JPEG or PNG"},
      {{{30, BI_BITFIELDS}}, "16 or 32 bits"}};
  for (const auto& [changes, message] : lies) {
    Bytes file = WrapDib(MakeDib(8, 5, 3, 4, 14));
    for (const auto& [at, value] : changes) Put(file, at, value);
    ExpectRefused(file, message);
  }
  const std::uint32_t masks4444[3] = {0x0F00, 0x00F0, 0x000F},
                      masks101010[3] = {0x3FF00000, 0xFFC00, 0x3FF};
  ExpectRefused(WrapDib(MakeDib(16, 3, 2, 0, 15, masks4444)), "masks");
  ExpectRefused(WrapDib(MakeDib(32, 3, 2, 0, 16, masks101010)), "masks");
  ExpectRefused(Bytes{'B', 'M'}, "truncated");
  ExpectRefused(Bytes{}, "empty");
  ExpectRefused(Bytes{'G', 'I', 'F', '8'}, "not a BMP, PNG or JPEG");
}

// Files cut short at every length are refused; random damage never crashes,
// and whatever is accepted is a well-formed picture; damaged scans and lying
// PNG headers are refused.
TEST(ImageFile, RefusesCutShortOrDamagedFilesAndSurvivesRandomDamage) {
  const Bytes palette = MakeDib(8, 13, 7, 20, 900);
  for (const Bytes& file :
       {WrapDib(palette), WrapDib(MakeDib(16, 3, 2, 0, 13, kMasks565)), Encoded(EncodePng, palette),
        Encoded(EncodePng, MakeDib(32, 3, 2, 0, 601)),
        Encoded(EncodeJpeg, MakeDib(24, 13, 7, 0, 901))}) {
    for (std::size_t length = 0; length < file.size(); ++length) {
      SCOPED_TRACE(std::to_string(file.size()) + " bytes cut to " + std::to_string(length));
      ExpectRefused(Bytes(file.begin(), file.begin() + length), "");
    }
    for (std::uint32_t seed = 0; seed < 300; ++seed) {
      std::mt19937 rng(seed);
      Bytes damaged = file, dib;
      for (int n = 1 + rng() % 4; n > 0; --n) damaged[rng() % damaged.size()] = rng() & 255;
      std::string error;
      const bool read = DecodeImage(damaged.data(), damaged.size(), dib, error);
      ASSERT_TRUE(read ? WellFormed(dib) : OneLine(error)) << "seed " << seed;
    }
  }
  Bytes file = Encoded(EncodePng, MakeDib(24, 5, 3, 0, 602));
  Bytes jpeg = Encoded(EncodeJpeg, MakeDib(24, 21, 9, 0, 700));
  jpeg[jpeg.size() - 40] = 0xFF;  // an end-of-image marker inside the scan
  jpeg[jpeg.size() - 39] = 0xD9;
  ExpectRefused(jpeg, "bad JPEG file");
  file[file.size() - 20] ^= 0x40;  // inside IDAT: the chunk's sum fails
  ExpectRefused(file, "bad PNG file");
  // The IHDR chunk's width (at 16) and height (at 20), its sum made right:
  // too large, and more pixels than the data can inflate to.
  for (const auto& [width, height, message] :
       {std::tuple{40000u, 3u, "too large"}, {15000u, 15000u, "too short"}}) {
    PutBig(file, 16, width);
    PutBig(file, 20, height);
    PutBig(file, 29, static_cast<std::uint32_t>(crc32(0, &file[12], 17)));
    ExpectRefused(file, message);
  }
}

// A PNG file of one row built by hand: the chunks, their sums, and the
// rows (filter bytes included) deflated as given.
void AddChunk(Bytes& file, const char* type, const Bytes& data) {
  const std::size_t at = file.size();
  file.resize(at + 12 + data.size());
  PutBig(file, at, static_cast<std::uint32_t>(data.size()));
  std::memcpy(&file[at + 4], type, 4);
  std::copy(data.begin(), data.end(), file.begin() + at + 8);
  PutBig(file, file.size() - 4,
         static_cast<std::uint32_t>(crc32(0, &file[at + 4], 4 + data.size())));
}
Bytes PngFileOf(int width, int depth, int colorType, int interlaced, const Bytes& plte,
                const Bytes& trns, const Bytes& rows) {
  Bytes file{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr{0, 0, 0, 0, 0, 0, 0, 1, Byte(depth), Byte(colorType), 0, 0, Byte(interlaced)};
  PutBig(ihdr, 0, width);
  AddChunk(file, "IHDR", ihdr);
  if (!plte.empty()) AddChunk(file, "PLTE", plte);
  if (!trns.empty()) AddChunk(file, "tRNS", trns);
  uLongf size = compressBound(rows.size());
  Bytes deflated(size);
  EXPECT_EQ(compress(deflated.data(), &size, rows.data(), rows.size()), Z_OK);
  deflated.resize(size);
  AddChunk(file, "IDAT", deflated);
  AddChunk(file, "IEND", {});
  return file;
}

TEST(PngFile, ReadsFilesOfEveryKind) {
  const Bytes P{10, 20, 30, 40, 50, 60, 70, 80, 90}, black(6, 0);
  // 16-bit RGB samples: black (the tRNS key), then 0xABAB, 0 and 1 (1 scales
  // to 0 but is not the key, which is compared before scaling).
  const Bytes rgb16{0, 0, 0, 0, 0, 0, 0, 0xAB, 0xAB, 0, 0, 0, 1};
  const Bytes adam7{0, 1, 2, 3, 0, 7, 8, 9, 0, 4, 5, 6};
  const struct {
    int depth, colorType, interlaced;
    Bytes plte, trns, rows;  // rows with their filter bytes
    int bits;
    std::vector<Rgba> pixels;
  } cases[] = {
      // 2-bit palette indices 0 to 3, the last past the palette: black.
      {2, 3, 0, P, {}, {0, 0x1B}, 8, {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {0, 0, 0}}},
      // Palette tRNS; entries past it are opaque.
      {4, 3, 0, P, {128, 0}, {0, 0x12}, 32, {{40, 50, 60, 0}, {70, 80, 90}}},
      // Grey levels widened to 0..255, 16-bit samples scaled to 8.
      {2, 0, 0, {}, {}, {0, 0x1C}, 8, {{0, 0, 0}, {85, 85, 85}, {255, 255, 255}}},
      {16, 0, 0, {}, {}, {0, 0xAB, 0xAB, 1, 1}, 8, {{171, 171, 171}, {1, 1, 1}}},
      // Grey with alpha, a grey key and an RGB key.
      {8, 4, 0, {}, {}, {0, 10, 200, 250, 0}, 32, {{10, 10, 10, 200}, {250, 250, 250, 0}}},
      {1, 0, 0, {}, {0, 1}, {0, 0x80}, 32, {{255, 255, 255, 0}, {0, 0, 0}}},
      {16, 2, 0, {}, black, rgb16, 32, {{0, 0, 0, 0}, {171, 0, 0}}},
      // Interlaced, one row of three: pass 1 holds pixel 0, pass 4 pixel 2
      // and pass 6 pixel 1.
      {8, 2, 1, {}, {}, adam7, 24, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}}};
  for (const auto& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases));
    const int width = static_cast<int>(c.pixels.size());
    const Bytes dib =
        Decoded(PngFileOf(width, c.depth, c.colorType, c.interlaced, c.plte, c.trns, c.rows));
    ASSERT_EQ(Bits(dib), c.bits);
    EXPECT_EQ(Width(dib), width);
    EXPECT_EQ(MaxDifference(dib, [&](int x, int) { return c.pixels[x]; }), 0);
  }
}

TEST(PngFile, RoundTripIsLossless) {
  ForEachDepthAndWidth(400, false, [](const DepthCase& c, const Bytes& d) {
    const Bytes file = Encoded(EncodePng, d), back = Decoded(file);
    // IHDR: bit depth at byte 24, colour type at byte 25.
    const int colorType = c.bits <= 8 ? (c.greyRamp ? 0 : 3) : c.bits == 32 ? 6 : 2;
    EXPECT_EQ(file[25], colorType);
    EXPECT_EQ(file[24], colorType == 3 ? c.bits : 8);
    if (c.bits == 16) {
      EXPECT_EQ(Bits(back), 24);
      EXPECT_EQ(MaxDifference(back, [&](int x, int y) { return PixelOf(d, x, y); }), 0);
    } else {
      EXPECT_TRUE(SameBytes(Plain(d), back));
    }
    // 32-bit pictures whose fourth bytes are all zero never had alpha: opaque.
    Bytes clear = Plain(d), opaque = clear;
    for (std::size_t i = 40 + 3; c.bits == 32 && i < clear.size(); i += 4) {
      clear[i] = 0;
      opaque[i] = 255;
    }
    EXPECT_TRUE(c.bits != 32 || SameBytes(opaque, Decoded(Encoded(EncodePng, clear))));
  });
}

// The filter byte that starts each row of a PNG file's pixel data, from
// its inflated IDAT chunks.
std::vector<int> PngRowFilters(const Bytes& file, int rowBytes) {
  Bytes compressed;
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const std::size_t length = std::size_t{file[at]} << 24 | file[at + 1] << 16 |
                               file[at + 2] << 8 | file[at + 3];
    if (std::memcmp(&file[at + 4], "IDAT", 4) == 0)
      compressed.insert(compressed.end(), file.begin() + at + 8, file.begin() + at + 8 + length);
    at += 12 + length;
  }
  Bytes raw(compressed.size() * 1100 + 1024);
  uLongf size = raw.size();
  EXPECT_EQ(uncompress(raw.data(), &size, compressed.data(), compressed.size()), Z_OK);
  std::vector<int> filters;
  for (std::size_t at = 0; at < size; at += rowBytes + 1) filters.push_back(raw[at]);
  return filters;
}

// Every level writes the same pixels. Levels 1 to 6 predict every row of a
// colour or grey file with Paeth's filter (type 4); palette files are never
// filtered.
TEST(PngFile, EveryCompressionLevelIsLosslessAndQuickLevelsUsePaethRows) {
  const Bytes colour = MakeDib(24, 37, 9, 0, 77), palette = MakeDib(8, 37, 9, 200, 78);
  for (int level = 0; level <= 9; ++level) {
    SCOPED_TRACE("level " + std::to_string(level));
    EncodeOptions options;
    options.compression = level;
    const Bytes file = Encoded(EncodePng, colour, options);
    EXPECT_TRUE(SameBytes(Plain(colour), Decoded(file)));
    const std::vector<int> filters = PngRowFilters(file, 37 * 3);
    ASSERT_EQ(filters.size(), 9u);
    if (level >= 1 && level <= 6) {
      for (int filter : filters) EXPECT_EQ(filter, 4);
    }
    const Bytes indexed = Encoded(EncodePng, palette, options);
    EXPECT_TRUE(SameBytes(Plain(palette), Decoded(indexed)));
    for (int filter : PngRowFilters(indexed, 37)) EXPECT_EQ(filter, 0);
  }
}

// A reader refuses a picture of more pixels than its budget before making
// it, and a JPEG whose data is far too short for its declared size.
TEST(ImageFile, ReadersKeepToThePixelBudgetAndTheDataPresent) {
  const Bytes d = MakeDib(24, 20, 10, 0, 77);
  for (const Bytes& file : {WrapDib(d), Encoded(EncodePng, d), Encoded(EncodeJpeg, d)}) {
    Bytes dib;
    std::string error;
    EXPECT_FALSE(DecodeImage(file.data(), file.size(), dib, error, nullptr, 199));
    EXPECT_TRUE(dib.empty());
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    EXPECT_NE(error.find("--max-pixels"), std::string::npos) << error;
    EXPECT_TRUE(DecodeImage(file.data(), file.size(), dib, error, nullptr, 200)) << error;
  }
  // A small baseline JPEG claiming 20000 x 17000 (3 bytes a pixel, under the
  // 1 GiB row limit): its 340 million pixels pass the default budget of
  // 2^28 only when it is raised, and then its few hundred bytes cannot hold
  // the 2 bits each of its 5.3 million luminance blocks need.
  Bytes jpeg = Encoded(EncodeJpeg, MakeDib(24, 16, 16, 0, 78));
  const std::uint8_t sof[] = {0xFF, 0xC0};
  const auto at = std::search(jpeg.begin(), jpeg.end(), sof, sof + 2) - jpeg.begin();
  ASSERT_LT(at + 9, static_cast<std::ptrdiff_t>(jpeg.size()));
  jpeg[at + 5] = 17000 >> 8, jpeg[at + 6] = 17000 & 255;  // height, big-endian
  jpeg[at + 7] = 20000 >> 8, jpeg[at + 8] = 20000 & 255;  // width
  ExpectRefused(jpeg, "too large");
  Bytes dib;
  std::string error;
  EXPECT_FALSE(DecodeImage(jpeg.data(), jpeg.size(), dib, error, nullptr, std::uint64_t{1} << 40));
  EXPECT_NE(error.find("too short"), std::string::npos) << error;
}

TEST(JpegFile, WritesGreyRampAsGreyAndTheRestAsColourAtQuality92) {
  ForEachDepthAndWidth(500, true, [](const DepthCase& c, const Bytes& d) {
    const Bytes file = Encoded(EncodeJpeg, d), back = Decoded(file);
    // The first luminance quantizer (in the first DQT): quality 92 scales
    // the base table's 16 by 16%.
    const std::uint8_t dqt[] = {0xFF, 0xDB};
    const auto at = std::search(file.begin(), file.end(), dqt, dqt + 2);
    ASSERT_LT(at + 5, file.end());
    EXPECT_EQ(at[5], (16 * 16 + 50) / 100);
    EXPECT_EQ(Bits(back), c.greyRamp ? 8 : 24);
    EXPECT_TRUE(!c.greyRamp || std::equal(d.begin() + 40, d.begin() + 1064, back.begin() + 40));
    const auto want = [&](int x, int y) { return PixelOf(d, x, y); };
    EXPECT_LE(MaxDifference(back, want, false), 3);
  });
}

// A BMP file holding run-length data: the header and table of an 8- or
// 4-bit picture, compression 1 (RLE8) or 2 (RLE4), then `data`.
Bytes RleFile(int bits, int width, int height, const Bytes& data) {
  Bytes file = WrapDib(MakeDib(bits, width, height, 4, 31));
  const std::uint32_t offBits = Get(file, 10);
  file.resize(offBits);
  file.insert(file.end(), data.begin(), data.end());
  Put(file, 2, static_cast<std::uint32_t>(file.size()));
  Put(file, 30, bits == 8 ? 1 : 2);
  Put(file, 34, static_cast<std::uint32_t>(data.size()));
  return file;
}
// Palette index of pixel (x, y from the top) of an 8- or 4-bit picture.
int IndexAt(const Bytes& dib, int x, int y) {
  const std::uint8_t byte = dib[Row(dib, y) + x * Bits(dib) / 8];
  return Bits(dib) == 8 ? byte : x & 1 ? byte & 15 : byte >> 4;
}
std::vector<std::vector<int>> Indices(const Bytes& dib) {
  std::vector<std::vector<int>> rows(Height(dib), std::vector<int>(Width(dib)));
  for (int y = 0; y < Height(dib); ++y)
    for (int x = 0; x < Width(dib); ++x) rows[y][x] = IndexAt(dib, x, y);
  return rows;
}

// Rows are stored from the bottom: runs, literal runs (padded to even
// bytes), end of line, a move, end of picture. Runs or moves past the edges,
// data cut short and tiny files claiming huge pictures are refused; random
// data never crashes.
TEST(BmpFile, ReadsRunLengthRowsAndRefusesHostileRuns) {
  const Bytes rle8 = {3, 1, 2, 2, 0, 0,           // bottom: 1 1 1 2 2
                      0, 3, 3, 2, 1, 0, 2, 3, 0, 0,  // literal 3 2 1 (padded), then 3 3
                      0, 2, 2, 0, 1, 3, 0, 1};       // move right 2, one 3, end
  EXPECT_EQ(Indices(Decoded(RleFile(8, 5, 3, rle8))),
            (std::vector<std::vector<int>>{{0, 0, 3, 0, 0}, {3, 2, 1, 3, 3}, {1, 1, 1, 2, 2}}));
  const Bytes rle4 = {5, 0x12, 0, 0,              // bottom: 1 2 1 2 1
                      0, 3, 0x45, 0x60, 2, 0x77,  // literal 4 5 6, then 7 7
                      0, 1};
  EXPECT_EQ(Indices(Decoded(RleFile(4, 5, 2, rle4))),
            (std::vector<std::vector<int>>{{4, 5, 6, 7, 7}, {1, 2, 1, 2, 1}}));

  const std::pair<Bytes, const char*> hostile[] = {
      {{6, 1, 0, 1}, "run of 6 pixels at (0, 0) passes the right edge"},
      {{0, 6, 1, 2, 3, 4, 5, 6, 0, 1}, "run of 6 pixels"},
      {{0, 2, 9, 0, 0, 1}, "move leaves the picture"},
      {{0, 2, 0, 200, 0, 1}, "move leaves the picture"},
      {{0, 0, 0, 0, 0, 0, 1, 1, 0, 1}, "passes the top row"},
      {{2, 1, 2, 1}, "truncated"},
      {{0, 4, 1, 2}, "truncated"}};
  for (const auto& [data, message] : hostile) ExpectRefused(RleFile(8, 5, 3, data), message);
  Bytes huge = RleFile(8, 5, 3, {0, 1});
  Put(huge, 18, 16000);
  Put(huge, 22, 16000);
  ExpectRefused(huge, "too short for a 16000 x 16000 picture");
  ExpectRefused(RleFile(8, 5, 3, {0, 1}).size() ? [] {
    Bytes file = RleFile(8, 5, 3, {0, 1});
    Put(file, 30, 2);  // RLE4 on an 8-bit picture
    return file;
  }() : Bytes{}, "does not fit 8 bits");

  std::mt19937 rng(77);
  for (int i = 0; i < 2000; ++i) {
    Bytes data(rng() % 64);
    for (Byte& b : data) b = rng() % 4 ? rng() % 8 : rng() & 255;
    const Bytes file = RleFile(i % 2 ? 8 : 4, 1 + rng() % 9, 1 + rng() % 5, data);
    Bytes dib;
    std::string error;
    if (DecodeImage(file.data(), file.size(), dib, error)) {
      EXPECT_TRUE(WellFormed(dib));
    }
  }
}

// Inserts a chunk right after IHDR.
void InsertChunk(Bytes& file, const char* type, const Bytes& data) {
  Bytes chunk;
  AddChunk(chunk, type, data);
  file.insert(file.begin() + 33, chunk.begin(), chunk.end());
}

// With extras, a transparent PNG's alpha becomes a plane (the fourth bytes
// cleared) and its eXIf and iCCP blocks are kept; written back, the plane
// makes an RGBA file whatever the picture's depth, no plane never does, and
// the blocks are written again.
TEST(PngFile, KeepsAlphaAsAPlaneAndMetadataBlocks) {
  const Bytes exif{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0};
  // An RGB display profile with no tags: length, version 2, class, colour
  // space, connection space, signature, D50 white point.
  Bytes icc(3000);
  PutBig(icc, 0, 3000);
  icc[8] = 2;
  std::memcpy(&icc[12], "mntrRGB XYZ ", 12);
  std::memcpy(&icc[36], "acsp", 4);
  PutBig(icc, 68, 0xF6D6);
  PutBig(icc, 72, 0x10000);
  PutBig(icc, 76, 0xD32D);
  for (std::size_t i = 132; i < icc.size(); ++i) icc[i] = static_cast<Byte>(i * 7 / 5);
  uLongf size = compressBound(icc.size());
  Bytes deflated(size);
  ASSERT_EQ(compress(deflated.data(), &size, icc.data(), icc.size()), Z_OK);
  deflated.resize(size);
  Bytes iccp{'s', 'R', 'G', 'B', 0, 0};
  iccp.insert(iccp.end(), deflated.begin(), deflated.end());
  Bytes file = PngFileOf(2, 8, 6, 0, {}, {}, {0, 10, 20, 30, 40, 50, 60, 70, 250});
  InsertChunk(file, "iCCP", iccp);
  InsertChunk(file, "eXIf", exif);

  Bytes dib;
  ImageExtras extras;
  std::string error;
  ASSERT_TRUE(DecodeImage(file.data(), file.size(), dib, error, &extras)) << error;
  EXPECT_EQ(Bits(dib), 32);
  EXPECT_EQ(PixelOf(dib, 0, 0), (Rgba{10, 20, 30, 0}));
  EXPECT_EQ(PixelOf(dib, 1, 0), (Rgba{50, 60, 70, 0}));
  EXPECT_EQ(extras.alpha, (Bytes{40, 250}));
  EXPECT_EQ(extras.exif, exif);
  EXPECT_EQ(extras.icc, icc);

  // A 24-bit picture with the plane: RGBA (colour type 6 at byte 25).
  const Bytes rgb = MakeDib(24, 2, 1, 0, 41);
  EncodeOptions options;
  options.extras = &extras;
  const Bytes written = Encoded(EncodePng, rgb, options);
  EXPECT_EQ(written[25], 6);
  ImageExtras back;
  ASSERT_TRUE(DecodeImage(written.data(), written.size(), dib, error, &back)) << error;
  EXPECT_EQ(back.alpha, extras.alpha);
  EXPECT_EQ(back.exif, exif);
  EXPECT_EQ(back.icc, icc);
  EXPECT_EQ(MaxDifference(dib, [&](int x, int y) { return Rgba{PixelOf(rgb, x, y).r, PixelOf(rgb, x, y).g, PixelOf(rgb, x, y).b, 0}; }), 0);
  // Without a plane, 32-bit pictures whose fourth bytes are not zero stay RGB.
  const ImageExtras none;
  options.extras = &none;
  EXPECT_EQ(Encoded(EncodePng, MakeDib(32, 3, 2, 0, 42), options)[25], 2);
  // A profile libpng finds unfit is left out; the file is still written.
  ImageExtras unfit = extras;
  PutBig(unfit.icc, 0, 2999);
  options.extras = &unfit;
  const Bytes withoutProfile = Encoded(EncodePng, rgb, options);
  ASSERT_TRUE(DecodeImage(withoutProfile.data(), withoutProfile.size(), dib, error, &back));
  EXPECT_TRUE(back.icc.empty());
  EXPECT_EQ(back.alpha, extras.alpha);
  // BMP: the plane goes into the fourth bytes of 32-bit rows.
  options.extras = &extras;
  const Bytes bmp = Encoded(EncodeBmp, MakeDib(32, 2, 1, 0, 43), options);
  EXPECT_EQ(bmp[Get(bmp, 10) + 3], 40);
  EXPECT_EQ(bmp[Get(bmp, 10) + 7], 250);
}

// Quality scales the first luminance quantizer (base 16: 50 keeps it, 10
// makes it 16 x 5 = 80); the first component's sampling factors are 1x1,
// 2x1 or 2x2; progressive files have an SOF2 frame; EXIF goes into APP1 and
// an ICC profile too large for one segment into several APP2 chunks.
TEST(JpegFile, WritesTheOptionsAndMetadataAskedFor) {
  const Bytes d = MakeDib(24, 40, 24, 0, 44, nullptr, false, true);
  const auto find = [](const Bytes& file, std::initializer_list<Byte> marker) {
    const auto at = std::search(file.begin(), file.end(), marker.begin(), marker.end());
    return at == file.end() ? std::ptrdiff_t{-1} : at - file.begin();
  };
  for (const auto& [quality, first] : {std::pair{50, 16}, std::pair{10, 80}}) {
    EncodeOptions options;
    options.quality = quality;
    const Bytes file = Encoded(EncodeJpeg, d, options);
    const std::ptrdiff_t dqt = find(file, {0xFF, 0xDB});
    ASSERT_GE(dqt, 0);
    EXPECT_EQ(file[dqt + 5], first);
  }
  for (const auto& [subsampling, factors] : {std::pair{444, 0x11}, std::pair{422, 0x21},
                                            std::pair{420, 0x22}}) {
    EncodeOptions options;
    options.subsampling = subsampling;
    const Bytes file = Encoded(EncodeJpeg, d, options);
    const std::ptrdiff_t sof = find(file, {0xFF, 0xC0});
    ASSERT_GE(sof, 0);
    EXPECT_EQ(file[sof + 11], factors) << subsampling;
  }
  EncodeOptions progressive;
  progressive.progressive = true;
  const Bytes file = Encoded(EncodeJpeg, d, progressive);
  EXPECT_GE(find(file, {0xFF, 0xC2}), 0);
  EXPECT_LT(find(file, {0xFF, 0xC0}), 0);
  EXPECT_LE(MaxDifference(Decoded(file), [&](int x, int y) { return PixelOf(d, x, y); }, false), 3);

  ImageExtras extras;
  extras.exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  extras.icc.resize(150000);
  for (std::size_t i = 0; i < extras.icc.size(); ++i) extras.icc[i] = static_cast<Byte>(i % 251);
  EncodeOptions withMetadata;
  withMetadata.extras = &extras;
  const Bytes tagged = Encoded(EncodeJpeg, d, withMetadata);
  Bytes app1{0xFF, 0xE1, 0, 2 + 6 + 14, 'E', 'x', 'i', 'f', 0, 0};
  app1.insert(app1.end(), extras.exif.begin(), extras.exif.end());
  EXPECT_GE(find(tagged, {app1.begin()[0], app1.begin()[1]}), 0);
  EXPECT_NE(std::search(tagged.begin(), tagged.end(), app1.begin(), app1.end()), tagged.end());
  ImageExtras back;
  ReadJpegMetadata(tagged.data(), tagged.size(), back);
  EXPECT_EQ(back.exif, extras.exif);
  EXPECT_TRUE(back.icc == extras.icc) << back.icc.size();
  // A chunk missing from the profile leaves it out.
  Bytes cut = tagged;
  const std::ptrdiff_t second = find(cut, {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 2});
  ASSERT_GE(second, 0);
  cut[second + 12] = 1;
  ImageExtras broken;
  ReadJpegMetadata(cut.data(), cut.size(), broken);
  EXPECT_TRUE(broken.icc.empty());
}

}  // namespace

#endif  // QVX_HAVE_IMAGEFILE
