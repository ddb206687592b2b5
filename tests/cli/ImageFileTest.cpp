// Tests of the command-line tool's image files. Pictures are built here by
// hand from the DIB layout, BMP files by hand from the file layout, PNG and
// JPEG files through libpng and libjpeg directly.
#ifdef QVX_HAVE_IMAGEFILE

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "cli/CliFixture.h"
#include "cli/ImageFile.h"
#include "platform/WinTypes.h"

namespace {

using namespace qvx;
using Bytes = std::vector<std::uint8_t>;
using Encoder = bool (*)(const Bytes&, Bytes&, std::string&);

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
  int r, g, b, a;
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

Bytes Encoded(Encoder encode, const Bytes& dib) {
  Bytes file;
  std::string error;
  EXPECT_TRUE(encode(dib, file, error)) << error;
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

bool HasGreyRamp(const Bytes& dib) {
  for (int i = 0; i < 256 * 4; ++i) {
    if (i % 4 != 3 && dib[40 + i] != i / 4) return false;
  }
  return true;
}

// ---- BMP --------------------------------------------------------------------

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
      SCOPED_TRACE(std::to_string(c.bits) + " bits, " + std::to_string(c.colors) + " colours" +
                   (c.masks ? ", masks" : "") + (c.greyRamp ? ", grey" : "") + ", width " +
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

TEST(BmpFile, MissingTableEntriesReadBlack) {
  // biClrUsed 0 promises 256 entries but the rows start after 16.
  Bytes d = MakeDib(8, 5, 3, 16, 9), file = WrapDib(d);
  Put(file, 14 + 32, 0);
  Put(d, 32, 0);
  d.insert(d.begin() + 40 + 64, 240 * 4, 0);
  EXPECT_TRUE(SameBytes(d, Decoded(file)));
}

TEST(BmpFile, RefusesLyingAndUnsupportedHeaders) {
  // Offsets and values written over a good file, and the refusal expected.
  const std::pair<std::vector<std::pair<std::size_t, std::uint32_t>>, const char*> lies[] = {
      {{{10, 1000}}, "past the end"},
      {{{10, 20}}, "into the headers"},
      {{{14, 20}}, "header size 20"},
      {{{18, 0}}, "no pixels"},
      {{{18, ~4u}}, "no pixels"},
      {{{22, 0x80000000u}}, "too large"},
      {{{18, 40000}}, "too large"},
      {{{18, 30000}, {22, 30000}, {28, 32}}, "1 GiB"},
      {{{28, 2}}, "bit count 2"},
      {{{18, 20000}, {22, 20000}}, "truncated"},
      {{{30, 1}}, "RLE"},
      {{{30, 4}}, "JPEG or PNG"},
      {{{30, 9}}, "compression 9"},
      {{{30, BI_BITFIELDS}}, "16 or 32 bits"}};
  for (const auto& [changes, message] : lies) {
    Bytes file = WrapDib(MakeDib(8, 5, 3, 4, 14));
    for (const auto& [at, value] : changes) Put(file, at, value);
    ExpectRefused(file, message);
  }
  const std::uint32_t masks4444[3] = {0x0F00, 0x00F0, 0x000F};
  ExpectRefused(WrapDib(MakeDib(16, 3, 2, 0, 15, masks4444)), "masks");
  const std::uint32_t masks101010[3] = {0x3FF00000, 0xFFC00, 0x3FF};
  ExpectRefused(WrapDib(MakeDib(32, 3, 2, 0, 16, masks101010)), "masks");
  ExpectRefused(Bytes{'B', 'M'}, "truncated");
  ExpectRefused(Bytes{}, "empty");
  ExpectRefused(Bytes{'G', 'I', 'F', '8'}, "not a BMP, PNG or JPEG");
}

// ---- every format -----------------------------------------------------------

TEST(ImageFile, RefusesFilesCutShortAtEveryLength) {
  for (const Bytes& file :
       {WrapDib(MakeDib(4, 5, 3, 16, 11)), WrapDib(MakeDib(16, 3, 2, 0, 13, kMasks565)),
        Encoded(EncodePng, MakeDib(8, 5, 3, 7, 600)), Encoded(EncodePng, MakeDib(32, 3, 2, 0, 601)),
        Encoded(EncodeJpeg, MakeDib(24, 21, 9, 0, 700))}) {
    for (std::size_t length = 0; length < file.size(); ++length) {
      SCOPED_TRACE(std::to_string(file.size()) + " bytes cut to " + std::to_string(length));
      ExpectRefused(Bytes(file.begin(), file.begin() + length), "");
    }
  }
}

// Random damage to valid files never crashes, and whatever is accepted is a
// well-formed picture.
TEST(ImageFile, SurvivesRandomDamage) {
  const Bytes palette = MakeDib(8, 13, 7, 20, 900);
  for (const Bytes& file : {WrapDib(palette), Encoded(EncodePng, palette),
                            Encoded(EncodeJpeg, MakeDib(24, 13, 7, 0, 901))}) {
    for (std::uint32_t seed = 0; seed < 300; ++seed) {
      std::mt19937 rng(seed);
      Bytes damaged = file, dib;
      for (int n = 1 + rng() % 4; n > 0; --n) damaged[rng() % damaged.size()] = rng() & 255;
      std::string error;
      const bool read = DecodeImage(damaged.data(), damaged.size(), dib, error);
      ASSERT_TRUE(read ? WellFormed(dib) : OneLine(error)) << "seed " << seed;
    }
  }
}

// ---- PNG --------------------------------------------------------------------

// A PNG file's picture of random samples, one int each, for libpng to write.
// Palette files get `paletteSize` random entries; with `tRNS` some palette
// entries are see-through, or in grey and RGB files a colour that occurs.
struct PngPicture {
  PngPicture(int depth, int colorType, int paletteSize, bool tRNS, int width, std::uint32_t seed)
      : depth(depth), colorType(colorType), width(width) {
    std::mt19937 rng(seed);
    for (int i = 0; i < paletteSize; ++i)
      palette.push_back({png_byte(rng()), png_byte(rng()), png_byte(rng())});
    // 16-bit samples are multiples of 257, which scale to 8 bits exactly.
    const int levels = paletteSize ? paletteSize : depth == 16 ? 256 : 1 << depth;
    samples.assign(height, std::vector<int>(width * Channels()));
    for (std::vector<int>& row : samples) {
      for (int& s : row) s = static_cast<int>(rng() % levels) * (depth == 16 ? 257 : 1);
    }
    if (tRNS && paletteSize) paletteAlpha = {0, 128, 255, 7};  // the others opaque
    if (tRNS && !paletteSize) key.assign(At(0, 1), At(0, 1) + Channels());
  }
  int Channels() const { return colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1; }
  const int* At(int x, int y) const { return &samples[y][x * Channels()]; }

  int depth, colorType;  // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
  int width, height = 3;
  std::vector<std::vector<int>> samples;  // rows of width * Channels()
  std::vector<png_color> palette;
  Bytes paletteAlpha;    // tRNS of a palette file
  std::vector<int> key;  // tRNS of a grey or RGB file: the clear colour
  bool interlaced = false;
};

// How a pixel of a PNG picture reads by the PNG rules.
Rgba PngPixel(const PngPicture& p, int x, int y) {
  const int* s = p.At(x, y);
  if (p.colorType == PNG_COLOR_TYPE_PALETTE) {
    const png_color& e = p.palette[s[0]];
    return {e.red, e.green, e.blue, s[0] < int(p.paletteAlpha.size()) ? p.paletteAlpha[s[0]] : 255};
  }
  const auto level = [&](int c) {
    return p.depth == 16 ? s[c] / 257 : s[c] * 255 / ((1 << p.depth) - 1);
  };
  const int g = p.colorType & 2 ? 1 : 0, b = 2 * g, alpha = p.Channels() - 1;
  const bool clear = !p.key.empty() && std::equal(p.key.begin(), p.key.end(), s);
  return {level(0), level(g), level(b), p.colorType & 4 ? level(alpha) : clear ? 0 : 255};
}

void ThrowPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

Bytes WritePngFile(const PngPicture& p) {
  std::vector<Bytes> packed;
  std::vector<png_bytep> rows;
  for (const std::vector<int>& samples : p.samples) {
    Bytes& row = packed.emplace_back((samples.size() * p.depth + 7) / 8, 0);
    for (std::size_t i = 0; i < samples.size(); ++i) {
      if (p.depth == 16) row[2 * i] = samples[i] >> 8;
      const std::size_t bit = i * p.depth + (p.depth == 16 ? 8 : 0);  // of the low 8 bits
      row[bit / 8] |= (samples[i] & 255) << (p.depth >= 8 ? 0 : 8 - p.depth - bit % 8);
    }
    rows.push_back(row.data());
  }
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ThrowPngError, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the test file";
    return {};
  }
  const auto append = [](png_structp s, png_bytep data, std::size_t n) {
    auto* o = static_cast<Bytes*>(png_get_io_ptr(s));
    o->insert(o->end(), data, data + n);
  };
  png_set_write_fn(png, &out, append, nullptr);
  png_set_IHDR(png, info, p.width, p.height, p.depth, p.colorType,
               p.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
  if (!p.palette.empty()) png_set_PLTE(png, info, p.palette.data(), p.palette.size());
  if (!p.paletteAlpha.empty()) {
    png_set_tRNS(png, info, p.paletteAlpha.data(), p.paletteAlpha.size(), nullptr);
  }
  if (!p.key.empty()) {
    const auto k = [&](int c) { return static_cast<png_uint_16>(p.key[c % p.key.size()]); };
    const png_color_16 key{0, k(0), k(1), k(2), k(0)};
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

TEST(PngFile, LoadsEachKindOfFileAsTheMatchingPicture) {
  // Depth, colour type, palette size, tRNS, and the picture's depth.
  const int cases[][5] = {{1, 3, 2, 0, 1},  {2, 3, 4, 0, 8},   {4, 3, 3, 0, 4},  {8, 3, 200, 0, 8},
                          {1, 0, 0, 0, 8},  {8, 0, 0, 0, 8},   {16, 0, 0, 0, 8}, {8, 4, 0, 0, 32},
                          {8, 2, 0, 0, 24}, {16, 2, 0, 0, 24}, {8, 6, 0, 0, 32}, {16, 6, 0, 0, 32},
                          {4, 3, 6, 1, 32}, {8, 2, 0, 1, 32},  {2, 0, 0, 1, 32}};
  std::uint32_t seed = 200;
  for (const auto& [depth, colorType, paletteSize, tRNS, bits] : cases) {
    for (int width : {1, 3, 5, 33}) {
      SCOPED_TRACE("depth " + std::to_string(depth) + " colour type " + std::to_string(colorType) +
                   (tRNS ? " with tRNS" : "") + " width " + std::to_string(width));
      PngPicture p(depth, colorType, paletteSize, tRNS, width, seed++);
      const Bytes dib = Decoded(WritePngFile(p));
      EXPECT_EQ(Bits(dib), bits);
      const std::uint32_t used = paletteSize ? paletteSize : 256;
      if (bits <= 8) {
        EXPECT_EQ(Get(dib, 32), used < (1u << bits) ? used : 0u);
        EXPECT_TRUE(paletteSize || HasGreyRamp(dib));
      }
      EXPECT_EQ(MaxDifference(dib, [&](int x, int y) { return PngPixel(p, x, y); }), 0);
      p.interlaced = true;
      EXPECT_TRUE(SameBytes(dib, Decoded(WritePngFile(p)))) << "interlaced";
    }
  }
}

TEST(PngFile, PaletteIndicesPastThePaletteReadBlack) {
  PngPicture p(8, PNG_COLOR_TYPE_PALETTE, 3, false, 4, 303);
  p.samples[1][3] = 9;
  const Bytes dib = Decoded(WritePngFile(p));
  EXPECT_EQ(Get(dib, 32), 10u);
  EXPECT_EQ(PixelOf(dib, 3, 1), (Rgba{0, 0, 0, 255}));
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
  });
}

TEST(PngFile, ThirtyTwoBitsWithoutAlphaAreWrittenOpaque) {
  Bytes d = MakeDib(32, 5, 2, 0, 500);
  for (std::size_t i = 40 + 3; i < d.size(); i += 4) d[i] = 0;
  const Bytes back = Decoded(Encoded(EncodePng, d));
  for (std::size_t i = 40 + 3; i < d.size(); i += 4) d[i] = 255;
  EXPECT_TRUE(SameBytes(d, back));
}

TEST(PngFile, RefusesDamagedAndLyingFiles) {
  Bytes file = Encoded(EncodePng, MakeDib(24, 5, 3, 0, 602));
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

// ---- JPEG -------------------------------------------------------------------

TEST(JpegFile, WritesGreyRampAsGreyAndTheRestAsColourAtQuality92) {
  ForEachDepthAndWidth(500, true, [](const DepthCase& c, const Bytes& d) {
    const Bytes file = Encoded(EncodeJpeg, d), back = Decoded(file);
    // The component count (in SOF0) and the first luminance quantizer (in
    // the first DQT): quality 92 scales the base table's 16 by 16%.
    int components = 0, quantizer = 0;
    for (std::size_t i = 2; i + 9 < file.size() && file[i] == 0xFF && file[i + 1] != 0xDA;
         i += 2 + (file[i + 2] << 8 | file[i + 3])) {
      if (file[i + 1] == 0xDB && !quantizer) quantizer = file[i + 5];
      if (file[i + 1] == 0xC0) components = file[i + 9];
    }
    EXPECT_EQ(components, c.greyRamp ? 1 : 3);
    EXPECT_EQ(quantizer, (16 * 16 + 50) / 100);
    EXPECT_EQ(Bits(back), c.greyRamp ? 8 : 24);
    EXPECT_TRUE(!c.greyRamp || HasGreyRamp(back));
    EXPECT_LE(MaxDifference(
                  back, [&](int x, int y) { return PixelOf(d, x, y); }, false),
              3);
  });
}

TEST(JpegFile, RefusesAMarkerInsideTheScan) {
  Bytes file = Encoded(EncodeJpeg, MakeDib(24, 21, 9, 0, 700));
  file[file.size() - 40] = 0xFF;
  file[file.size() - 39] = 0xD9;
  ExpectRefused(file, "bad JPEG file");
}

// ---- files on disk ----------------------------------------------------------

#ifdef QVX_HAVE_CLI
class ImageFileOnDisk : public test::CliTest {};

TEST_F(ImageFileOnDisk, SavesByExtensionLoadsByContentAndFailsLeavingNothing) {
  EXPECT_EQ(ImageFormatFromPath("dir.png/picture"), ImageFormat::Unknown);
  Bytes d = MakeDib(24, 33, 5, 0, 800), other = MakeDib(8, 3, 3, 10, 801), back;
  std::string error;
  for (const char* name : {"a.bmp", "b.PNG", "c.jpeg", "d.JpG"}) {
    ASSERT_TRUE(SaveImageFile(Path(name), d, error)) << name << ": " << error;
  }
  struct stat info {};
  ASSERT_EQ(stat(Path("a.bmp").c_str(), &info), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
  ASSERT_TRUE(LoadImageFile(Path("d.JpG"), back, error)) << error;
  EXPECT_EQ(Bits(back), 24);
  // The content decides, not the name; saving over a file replaces it.
  ASSERT_EQ(std::rename(Path("b.PNG").c_str(), Path("e.jpg").c_str()), 0);
  ASSERT_TRUE(SaveImageFile(Path("a.bmp"), other, error)) << error;
  for (const auto& [name, expected] : {std::pair{"e.jpg", d}, std::pair{"a.bmp", other}}) {
    ASSERT_TRUE(LoadImageFile(Path(name), back, error)) << error;
    EXPECT_TRUE(SameBytes(expected, back)) << name;
  }

  // Failures: one line naming the file, and no file left behind.
  ASSERT_EQ(mkdir(Path("folder.bmp").c_str(), 0700), 0);
  std::ofstream(Path("empty.bmp")).close();
  const std::vector<std::string> files = Files();
  EXPECT_FALSE(SaveImageFile(Path("x.gif"), d, error));
  EXPECT_NE(error.find("unknown picture format"), std::string::npos) << error;
  EXPECT_FALSE(SaveImageFile(Path("missing/x.bmp"), d, error));
  EXPECT_TRUE(OneLine(error));
  EXPECT_FALSE(SaveImageFile(Path("folder.bmp"), d, error));  // a folder in the way
  Put(d, 14, 2, 2);
  EXPECT_FALSE(SaveImageFile(Path("x.png"), d, error));
  EXPECT_EQ(error.rfind(Path("x.png"), 0), 0u) << error;
  EXPECT_EQ(Files(), files);
  for (const char* name : {"none.png", "empty.bmp", "folder.bmp"}) {
    back = {1};
    EXPECT_FALSE(LoadImageFile(Path(name), back, error));
    EXPECT_TRUE(back.empty() && OneLine(error)) << error;
    EXPECT_EQ(error.rfind(Path(name), 0), 0u) << error;
  }
}
#endif

}  // namespace

#endif  // QVX_HAVE_IMAGEFILE
