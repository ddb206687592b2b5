// Tests of the command-line tool's image files. Pictures are built here by
// hand from the DIB layout, BMP files by hand from the file layout, PNG and
// JPEG files through libpng and libjpeg directly.
#ifdef QVX_HAVE_IMAGEFILE

#include <dirent.h>
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
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

#include "cli/ImageFile.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using qvx::DecodeBmp;
using qvx::DecodeImage;
using qvx::DecodeJpeg;
using qvx::DecodePng;
using qvx::EncodeBmp;
using qvx::EncodeJpeg;
using qvx::EncodePng;

constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kMasks555[3] = {0x7C00, 0x03E0, 0x001F};
constexpr std::uint32_t kMasks565[3] = {0xF800, 0x07E0, 0x001F};
constexpr std::uint32_t kMasks888[3] = {0xFF0000, 0xFF00, 0xFF};
constexpr std::int32_t kPelsPerMeter = 2835;  // 72 dots per inch

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v);
  Put16(b, at + 2, v >> 16);
}
std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t Get16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::size_t Stride(int bits, int width) {
  return (static_cast<std::size_t>(bits) * width + 31) / 32 * 4;
}

// Everything needed to find a hand-built picture's parts again.
struct Dib {
  Bytes bytes;
  int bits = 0;
  int width = 0;
  int height = 0;
  std::size_t table = 0;  // bytes between header and rows
  std::size_t Row(int y) const { return 40 + table + (height - 1 - y) * Stride(bits, width); }
};

// A picture with random pixels. Palette pictures get `colors` random entries
// (or the grey ramp) and indices below `colors`; 16/32-bit pictures given
// masks carry BI_BITFIELDS. Row padding and unused low bits stay zero.
Dib MakeDib(int bits, int width, int height, std::uint32_t colors, std::uint32_t seed,
            const std::uint32_t* masks = nullptr, bool greyRamp = false) {
  std::mt19937 rng(seed);
  Dib d;
  d.bits = bits;
  d.width = width;
  d.height = height;
  d.table = bits <= 8 ? colors * 4 : masks ? 12 : 0;
  const std::size_t stride = Stride(bits, width);
  d.bytes.assign(40 + d.table + stride * height, 0);
  Bytes& b = d.bytes;
  Put32(b, 0, 40);
  Put32(b, 4, width);
  Put32(b, 8, height);
  Put16(b, 12, 1);
  Put16(b, 14, bits);
  Put32(b, 16, masks ? kBitFields : 0);
  Put32(b, 20, static_cast<std::uint32_t>(stride * height));
  Put32(b, 24, kPelsPerMeter);
  Put32(b, 28, kPelsPerMeter);
  Put32(b, 32, bits <= 8 && colors < (1u << bits) ? colors : 0);
  if (bits <= 8) {
    for (std::uint32_t i = 0; i < colors; ++i) {
      for (int c = 0; c < 3; ++c) b[40 + 4 * i + c] = greyRamp ? i : rng() & 255;
    }
  } else if (masks) {
    for (int i = 0; i < 3; ++i) Put32(b, 40 + 4 * i, masks[i]);
  }
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = &b[d.Row(y)];
    for (int x = 0; x < width; ++x) {
      if (bits <= 8) {
        const std::uint32_t index = rng() % colors;
        const int bit = x * bits;  // first bit from the left
        row[bit / 8] |= static_cast<std::uint8_t>(index << (8 - bits - bit % 8));
      } else if (bits == 16) {
        row[2 * x] = rng() & 255;
        row[2 * x + 1] = rng() & (masks == kMasks565 ? 255 : 127);
      } else {
        for (int c = 0; c < bits / 8; ++c) row[bits / 8 * x + c] = rng() & 255;
      }
    }
  }
  return d;
}

struct Rgba {
  int r, g, b, a;
  bool operator==(const Rgba&) const = default;
};

// Pixel (x, y) of a palette, 24- or 32-bit picture; a = 255 below 32 bits.
Rgba PixelOf(const Bytes& dib, int x, int y) {
  const int bits = Get16(dib, 14);
  const int width = static_cast<int>(Get32(dib, 4));
  const int height = static_cast<int>(Get32(dib, 8));
  std::size_t table = 0;
  if (bits <= 8) table = 4 * (Get32(dib, 32) ? Get32(dib, 32) : 1u << bits);
  if (bits == 32 && Get32(dib, 16) == kBitFields) table = 12;
  const std::uint8_t* row = &dib[40 + table + (height - 1 - y) * Stride(bits, width)];
  if (bits <= 8) {
    const int bit = x * bits;
    const int index = row[bit / 8] >> (8 - bits - bit % 8) & ((1 << bits) - 1);
    const std::uint8_t* e = &dib[40 + 4 * index];
    return {e[2], e[1], e[0], 255};
  }
  const std::uint8_t* p = row + bits / 8 * x;
  return {p[2], p[1], p[0], bits == 32 ? p[3] : 255};
}

// Equal blocks, or where the first difference lies.
::testing::AssertionResult SameBytes(const Bytes& expected, const Bytes& actual) {
  const std::size_t common = std::min(expected.size(), actual.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (expected[i] != actual[i]) {
      return ::testing::AssertionFailure() << "first difference at byte " << i << ": expected "
                                           << int{expected[i]} << ", got " << int{actual[i]};
    }
  }
  if (expected.size() != actual.size()) {
    return ::testing::AssertionFailure()
           << "sizes differ: expected " << expected.size() << ", got " << actual.size();
  }
  return ::testing::AssertionSuccess();
}

// A decoded picture must be a well-formed packed DIB, whatever went in.
::testing::AssertionResult WellFormed(const Bytes& dib) {
  if (dib.size() < 40 || Get32(dib, 0) != 40) return ::testing::AssertionFailure() << "header";
  const int bits = Get16(dib, 14);
  const auto width = static_cast<std::int32_t>(Get32(dib, 4));
  const auto height = static_cast<std::int32_t>(Get32(dib, 8));
  if (width < 1 || height < 1 || width > 30000 || height > 30000) {
    return ::testing::AssertionFailure() << "size " << width << " x " << height;
  }
  std::size_t table = 0;
  if (bits == 1 || bits == 4 || bits == 8) {
    const std::uint32_t used = Get32(dib, 32);
    table = 4 * (used > 0 && used < (1u << bits) ? used : 1u << bits);
  } else if (bits == 16 || bits == 32) {
    table = Get32(dib, 16) == kBitFields ? 12 : 0;
  } else if (bits != 24) {
    return ::testing::AssertionFailure() << "bit count " << bits;
  }
  if (dib.size() < 40 + table + Stride(bits, width) * height) {
    return ::testing::AssertionFailure() << "block too short";
  }
  return ::testing::AssertionSuccess();
}

bool OneLine(const std::string& message) {
  return !message.empty() && message.find('\n') == std::string::npos;
}

// ---- BMP --------------------------------------------------------------------

// A BMP file around a picture: its table and rows with an info header of
// `infoSize` bytes (12: OS/2 core with 3-byte entries; more than 40: the
// masks move into the header), rows top-down if asked.
Bytes WrapDib(const Dib& d, std::uint32_t infoSize = 40, bool topDown = false) {
  const bool masksInHeader = infoSize > 40 && d.bits > 8 && d.table == 12;
  const std::size_t entry = infoSize == 12 ? 3 : 4;
  const std::size_t tableBytes = masksInHeader ? 0 : d.table / 4 * entry;
  const std::size_t stride = Stride(d.bits, d.width);
  const std::size_t offBits = 14 + infoSize + tableBytes;
  Bytes f(offBits + stride * d.height, 0);
  f[0] = 'B';
  f[1] = 'M';
  Put32(f, 2, static_cast<std::uint32_t>(f.size()));
  Put32(f, 10, static_cast<std::uint32_t>(offBits));
  if (infoSize == 12) {
    Put32(f, 14, 12);
    Put16(f, 18, d.width);
    Put16(f, 20, d.height);
    Put16(f, 22, 1);
    Put16(f, 24, d.bits);
  } else {
    std::copy(d.bytes.begin(), d.bytes.begin() + 40, f.begin() + 14);
    Put32(f, 14, infoSize);
    if (masksInHeader) std::copy_n(d.bytes.begin() + 40, 12, f.begin() + 14 + 40);
  }
  if (topDown) Put32(f, 22, static_cast<std::uint32_t>(-d.height));
  for (std::size_t i = 0; i < tableBytes / entry; ++i) {
    std::copy_n(d.bytes.begin() + 40 + 4 * i, entry, f.begin() + 14 + infoSize + entry * i);
  }
  for (int y = 0; y < d.height; ++y) {
    const std::size_t fileRow = topDown ? y : d.height - 1 - y;
    std::copy_n(d.bytes.begin() + d.Row(y), stride, f.begin() + offBits + fileRow * stride);
  }
  return f;
}

struct DepthCase {
  const char* name;
  int bits;
  std::uint32_t colors;
  const std::uint32_t* masks;
  bool greyRamp;
};

// Pictures in the form the writer keeps unchanged: 5-5-5 as BI_RGB, 5-6-5
// as bit fields, 32 bits as BI_RGB.
const DepthCase kCanonicalDepths[] = {
    {"1-bit", 1, 2, nullptr, false},           {"1-bit one colour", 1, 1, nullptr, false},
    {"4-bit", 4, 16, nullptr, false},          {"4-bit 5 colours", 4, 5, nullptr, false},
    {"8-bit", 8, 256, nullptr, false},         {"8-bit 100 colours", 8, 100, nullptr, false},
    {"8-bit 3 colours", 8, 3, nullptr, false}, {"8-bit grey", 8, 256, nullptr, true},
    {"16-bit 5-5-5", 16, 0, nullptr, false},   {"16-bit 5-6-5", 16, 0, kMasks565, false},
    {"24-bit", 24, 0, nullptr, false},         {"32-bit", 32, 0, nullptr, false},
};
constexpr int kAwkwardWidths[] = {1, 3, 5, 33};

// Runs `check` on a random picture of every canonical depth at every awkward
// width.
void ForEachDepthAndWidth(std::uint32_t seed, int height,
                          const std::function<void(const DepthCase&, const Dib&)>& check) {
  for (const DepthCase& c : kCanonicalDepths) {
    for (int width : kAwkwardWidths) {
      SCOPED_TRACE(std::string(c.name) + " width " + std::to_string(width) + " seed " +
                   std::to_string(seed));
      check(c, MakeDib(c.bits, width, height, c.colors, seed++, c.masks, c.greyRamp));
    }
  }
}

TEST(BmpFile, RoundTripsEveryDepthBitExactly) {
  ForEachDepthAndWidth(1, 4, [](const DepthCase&, const Dib& d) {
    Bytes file, back;
    std::string error;
    ASSERT_TRUE(EncodeBmp(d.bytes, file, error)) << error;
    // A canonical picture is written as it stands behind the file header.
    EXPECT_TRUE(SameBytes(WrapDib(d), file));
    ASSERT_TRUE(DecodeBmp(file.data(), file.size(), back, error)) << error;
    EXPECT_TRUE(SameBytes(d.bytes, back));
  });
}

TEST(BmpFile, WritesOtherMaskFormsInTheUsualForm) {
  // 5-5-5 given by bit fields is written as BI_RGB; 32 bits likewise.
  const std::pair<int, const std::uint32_t*> forms[] = {{16, kMasks555}, {32, kMasks888}};
  for (const auto& [bits, masks] : forms) {
    const Dib fields = MakeDib(bits, 5, 3, 0, 40 + bits, masks);
    Dib plain = MakeDib(bits, 5, 3, 0, 40 + bits);
    Bytes file, back;
    std::string error;
    ASSERT_TRUE(EncodeBmp(fields.bytes, file, error)) << error;
    ASSERT_TRUE(DecodeBmp(file.data(), file.size(), back, error)) << error;
    EXPECT_TRUE(SameBytes(plain.bytes, back)) << bits << " bits";
  }
}

TEST(BmpFile, ReadsTopDownLargeAndCoreHeaders) {
  std::uint32_t seed = 100;
  for (const DepthCase& c : kCanonicalDepths) {
    const Dib d = MakeDib(c.bits, 5, 3, c.colors, seed++, c.masks, c.greyRamp);
    Bytes back;
    std::string error;
    for (std::uint32_t infoSize : {40u, 108u, 124u}) {
      for (bool topDown : {false, true}) {
        SCOPED_TRACE(std::string(c.name) + " header " + std::to_string(infoSize) +
                     (topDown ? " top-down" : ""));
        const Bytes file = WrapDib(d, infoSize, topDown);
        ASSERT_TRUE(DecodeBmp(file.data(), file.size(), back, error)) << error;
        EXPECT_TRUE(SameBytes(d.bytes, back));
      }
    }
    if (c.bits == 16 || c.bits == 32) continue;
    // OS/2 core files carry no resolution, compression or entry count.
    Dib full = MakeDib(c.bits, 5, 3, c.bits <= 8 ? 1u << c.bits : 0, seed++);
    const Bytes file = WrapDib(full, 12);
    Put32(full.bytes, 24, 0);
    Put32(full.bytes, 28, 0);
    ASSERT_TRUE(DecodeBmp(file.data(), file.size(), back, error)) << c.name << ": " << error;
    EXPECT_TRUE(SameBytes(full.bytes, back)) << c.name << " core header";
  }
}

TEST(BmpFile, ReordersThirtyTwoBitChannelMasks) {
  // Red in the first byte, blue in the third (an RGBA file), and a 40-byte
  // header with four masks (BI_ALPHABITFIELDS).
  const std::uint32_t rgba[3] = {0xFF, 0xFF00, 0xFF0000};
  const Dib d = MakeDib(32, 3, 2, 0, 7, rgba);
  for (std::uint32_t compression : {kBitFields, 6u}) {
    Bytes file = WrapDib(d, 108);
    if (compression == 6) {
      file = WrapDib(d);
      Put32(file, 14 + 16, 6);
      file.insert(file.begin() + 14 + 40 + 12, {0, 0, 0, 0xFF});
      Put32(file, 10, 14 + 40 + 16);
    }
    Bytes back;
    std::string error;
    ASSERT_TRUE(DecodeBmp(file.data(), file.size(), back, error)) << error;
    EXPECT_EQ(Get32(back, 16), 0u) << "written as BI_RGB";
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        const std::uint8_t* p = &d.bytes[d.Row(y) + 4 * x];
        EXPECT_EQ(PixelOf(back, x, y), (Rgba{p[0], p[1], p[2], p[3]})) << x << "," << y;
      }
    }
  }
}

TEST(BmpFile, MissingTableEntriesReadBlack) {
  // biClrUsed 0 promises 256 entries but the rows start after 16.
  const Dib d = MakeDib(8, 5, 3, 16, 9);
  Bytes file = WrapDib(d);
  Put32(file, 14 + 32, 0);
  Bytes back;
  std::string error;
  ASSERT_TRUE(DecodeBmp(file.data(), file.size(), back, error)) << error;
  Dib expected = MakeDib(8, 5, 3, 16, 9);
  Put32(expected.bytes, 32, 0);
  expected.bytes.insert(expected.bytes.begin() + 40 + 64, 240 * 4, 0);
  EXPECT_TRUE(SameBytes(expected.bytes, back));
}

void ExpectRefused(const Bytes& file, const char* expected) {
  Bytes dib{1, 2, 3};
  std::string error;
  EXPECT_FALSE(DecodeImage(file.data(), file.size(), dib, error));
  EXPECT_TRUE(dib.empty());
  EXPECT_TRUE(OneLine(error)) << "'" << error << "'";
  EXPECT_NE(error.find(expected), std::string::npos) << "'" << error << "'";
}

TEST(BmpFile, RefusesTruncatedFilesAtEveryLength) {
  for (const Dib& d :
       {MakeDib(4, 5, 3, 16, 11), MakeDib(24, 3, 2, 0, 12), MakeDib(16, 3, 2, 0, 13, kMasks565)}) {
    const Bytes file = WrapDib(d);
    for (std::size_t length = 0; length < file.size(); ++length) {
      SCOPED_TRACE(std::to_string(d.bits) + " bits, length " + std::to_string(length));
      ExpectRefused(Bytes(file.begin(), file.begin() + length), "");
    }
  }
}

TEST(BmpFile, RefusesLyingAndUnsupportedHeaders) {
  const Bytes good = WrapDib(MakeDib(8, 5, 3, 4, 14));
  const auto with = [&](std::size_t at, std::uint32_t value, bool wide = true) {
    Bytes f = good;
    wide ? Put32(f, at, value) : Put16(f, at, value);
    return f;
  };
  ExpectRefused(with(10, 1000), "past the end");
  ExpectRefused(with(10, 20), "into the headers");
  ExpectRefused(with(14, 20), "header size 20");
  ExpectRefused(with(18, 0), "no pixels");
  ExpectRefused(with(22, 0), "no pixels");
  ExpectRefused(with(18, static_cast<std::uint32_t>(-5)), "no pixels");
  ExpectRefused(with(22, 0x80000000u), "too large");
  ExpectRefused(with(18, 40000), "too large");
  ExpectRefused(with(28, 2, false), "bit count 2");
  ExpectRefused(with(30, 1), "RLE");
  ExpectRefused(with(30, 2), "RLE");
  ExpectRefused(with(30, 4), "JPEG or PNG");
  ExpectRefused(with(30, 9), "compression 9");
  ExpectRefused(with(30, kBitFields), "16 or 32 bits");
  // Within the side limit but over 1 GiB of rows, and within both limits
  // but far beyond the file.
  Bytes huge = with(18, 30000);
  Put32(huge, 22, 30000);
  Put16(huge, 28, 32);
  ExpectRefused(huge, "1 GiB");
  Bytes big = with(18, 20000);
  Put32(big, 22, 20000);
  ExpectRefused(big, "truncated");

  const std::uint32_t masks4444[3] = {0x0F00, 0x00F0, 0x000F};
  ExpectRefused(WrapDib(MakeDib(16, 3, 2, 0, 15, masks4444)), "masks");
  const std::uint32_t masks101010[3] = {0x3FF00000, 0xFFC00, 0x3FF};
  ExpectRefused(WrapDib(MakeDib(32, 3, 2, 0, 16, masks101010)), "masks");
  ExpectRefused(Bytes{'B', 'M'}, "truncated");
  ExpectRefused(Bytes{}, "empty");
  ExpectRefused(Bytes{'G', 'I', 'F', '8'}, "not a BMP, PNG or JPEG");
}

TEST(ImageFile, EncodersRefuseUnusablePictures) {
  const Dib d = MakeDib(8, 5, 3, 4, 17);
  const auto with = [&](std::size_t at, std::uint32_t value, bool wide = true) {
    Bytes b = d.bytes;
    wide ? Put32(b, at, value) : Put16(b, at, value);
    return b;
  };
  const std::uint32_t masks4444[3] = {0x0F00, 0x00F0, 0x000F};
  const Bytes bad[] = {
      Bytes{},
      with(0, 108),
      with(8, static_cast<std::uint32_t>(-3)),
      with(4, 0),
      with(14, 2, false),
      Bytes(d.bytes.begin(), d.bytes.end() - 1),
      MakeDib(16, 3, 2, 0, 18, masks4444).bytes,
      MakeDib(32, 3, 2, 0, 18, kMasks565).bytes,
  };
  for (const auto encode : {EncodeBmp, EncodePng, EncodeJpeg}) {
    for (std::size_t i = 0; i < std::size(bad); ++i) {
      Bytes file{1};
      std::string error;
      EXPECT_FALSE(encode(bad[i], file, error)) << "case " << i;
      EXPECT_TRUE(OneLine(error)) << "case " << i;
      EXPECT_TRUE(file.empty()) << "case " << i;
    }
  }
}

// ---- PNG --------------------------------------------------------------------

struct PngPicture {
  int width = 0, height = 0, depth = 8, colorType = PNG_COLOR_TYPE_RGB;
  bool interlaced = false;
  std::vector<Bytes> rows;  // packed samples as PNG stores them
  std::vector<png_color> palette;
  Bytes paletteAlpha;          // tRNS of a palette file
  png_color_16 transparent{};  // tRNS of a grey or RGB file
  bool hasTransparent = false;
};

void ThrowPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

Bytes WritePngFile(const PngPicture& p) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ThrowPngError, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  for (const Bytes& r : p.rows) rows.push_back(const_cast<png_bytep>(r.data()));
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the test file";
    return {};
  }
  png_set_write_fn(
      png, &out,
      [](png_structp s, png_bytep data, std::size_t n) {
        auto* o = static_cast<Bytes*>(png_get_io_ptr(s));
        o->insert(o->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, p.width, p.height, p.depth, p.colorType,
               p.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
  if (!p.palette.empty()) png_set_PLTE(png, info, p.palette.data(), p.palette.size());
  if (!p.paletteAlpha.empty()) {
    png_set_tRNS(png, info, p.paletteAlpha.data(), p.paletteAlpha.size(), nullptr);
  }
  if (p.hasTransparent) png_set_tRNS(png, info, nullptr, 0, &p.transparent);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// A PNG picture of random samples; `sample(x, y, values)` is how each pixel
// reads once decoded.
struct PngCase {
  const char* name;
  int depth, colorType;
  int paletteSize;  // palette files
  int dibBits;      // expected depth of the picture
};

int Channels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
      return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB:
      return 3;
    default:
      return 4;
  }
}

// Sample values of pixel x in a packed PNG row (16-bit samples big-endian).
std::vector<int> Samples(const Bytes& row, int x, int depth, int channels) {
  std::vector<int> s;
  for (int c = 0; c < channels; ++c) {
    const int i = x * channels + c;
    if (depth == 16) {
      s.push_back(row[2 * i] << 8 | row[2 * i + 1]);
    } else {
      const int bit = i * depth;
      s.push_back(row[bit / 8] >> (8 - depth - bit % 8) & ((1 << depth) - 1));
    }
  }
  return s;
}

PngPicture RandomPng(const PngCase& c, int width, int height, std::uint32_t seed) {
  std::mt19937 rng(seed);
  PngPicture p;
  p.width = width;
  p.height = height;
  p.depth = c.depth;
  p.colorType = c.colorType;
  const int channels = Channels(c.colorType);
  const int maxSample =
      c.colorType == PNG_COLOR_TYPE_PALETTE ? c.paletteSize - 1 : (1 << c.depth) - 1;
  for (int i = 0; i < c.paletteSize; ++i) {
    p.palette.push_back(png_color{static_cast<png_byte>(rng()), static_cast<png_byte>(rng()),
                                  static_cast<png_byte>(rng())});
  }
  for (int y = 0; y < height; ++y) {
    Bytes row((width * channels * c.depth + 7) / 8, 0);
    for (int i = 0; i < width * channels; ++i) {
      // 16-bit samples are multiples of 257, which scale to 8 bits exactly.
      const int v = c.depth == 16 ? static_cast<int>(rng() % 256) * 257
                                  : static_cast<int>(rng() % (maxSample + 1));
      if (c.depth == 16) {
        row[2 * i] = static_cast<std::uint8_t>(v >> 8);
        row[2 * i + 1] = static_cast<std::uint8_t>(v);
      } else {
        row[i * c.depth / 8] |= static_cast<std::uint8_t>(v << (8 - c.depth - i * c.depth % 8));
      }
    }
    p.rows.push_back(row);
  }
  return p;
}

// How pixel x of a PNG row looks, by the PNG rules.
Rgba PngPixel(const PngPicture& p, int x, int y) {
  const std::vector<int> s = Samples(p.rows[y], x, p.depth, Channels(p.colorType));
  const auto level = [&](int v) {
    return p.depth == 16 ? v / 257 : v * 255 / ((1 << p.depth) - 1);
  };
  switch (p.colorType) {
    case PNG_COLOR_TYPE_PALETTE: {
      const png_color& e = p.palette[s[0]];
      const int a = s[0] < static_cast<int>(p.paletteAlpha.size()) ? p.paletteAlpha[s[0]] : 255;
      return {e.red, e.green, e.blue, a};
    }
    case PNG_COLOR_TYPE_GRAY: {
      const int a = p.hasTransparent && s[0] == p.transparent.gray ? 0 : 255;
      return {level(s[0]), level(s[0]), level(s[0]), a};
    }
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return {level(s[0]), level(s[0]), level(s[0]), level(s[1])};
    case PNG_COLOR_TYPE_RGB: {
      const bool clear = p.hasTransparent && s[0] == p.transparent.red &&
                         s[1] == p.transparent.green && s[2] == p.transparent.blue;
      return {level(s[0]), level(s[1]), level(s[2]), clear ? 0 : 255};
    }
    default:
      return {level(s[0]), level(s[1]), level(s[2]), level(s[3])};
  }
}

void ExpectPngPixels(const PngPicture& p, const Bytes& dib) {
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const Rgba want = PngPixel(p, x, y);
      const Rgba got = PixelOf(dib, x, y);
      if (!(want == got)) {
        ADD_FAILURE() << "first differing pixel (" << x << ", " << y << "): expected " << want.r
                      << "," << want.g << "," << want.b << "," << want.a << " got " << got.r << ","
                      << got.g << "," << got.b << "," << got.a;
        return;
      }
    }
  }
}

TEST(PngFile, LoadsEachKindOfFileAsTheMatchingPicture) {
  const PngCase cases[] = {
      {"palette 1-bit", 1, PNG_COLOR_TYPE_PALETTE, 2, 1},
      {"palette 2-bit", 2, PNG_COLOR_TYPE_PALETTE, 4, 8},
      {"palette 4-bit 3 colours", 4, PNG_COLOR_TYPE_PALETTE, 3, 4},
      {"palette 8-bit 200 colours", 8, PNG_COLOR_TYPE_PALETTE, 200, 8},
      {"grey 1-bit", 1, PNG_COLOR_TYPE_GRAY, 0, 8},
      {"grey 4-bit", 4, PNG_COLOR_TYPE_GRAY, 0, 8},
      {"grey 8-bit", 8, PNG_COLOR_TYPE_GRAY, 0, 8},
      {"grey 16-bit", 16, PNG_COLOR_TYPE_GRAY, 0, 8},
      {"grey and alpha", 8, PNG_COLOR_TYPE_GRAY_ALPHA, 0, 32},
      {"RGB", 8, PNG_COLOR_TYPE_RGB, 0, 24},
      {"RGB 16-bit", 16, PNG_COLOR_TYPE_RGB, 0, 24},
      {"RGBA", 8, PNG_COLOR_TYPE_RGB_ALPHA, 0, 32},
      {"RGBA 16-bit", 16, PNG_COLOR_TYPE_RGB_ALPHA, 0, 32},
  };
  std::uint32_t seed = 200;
  for (const PngCase& c : cases) {
    for (int width : kAwkwardWidths) {
      SCOPED_TRACE(std::string(c.name) + " width " + std::to_string(width));
      PngPicture p = RandomPng(c, width, 3, seed++);
      Bytes dib;
      std::string error;
      Bytes file = WritePngFile(p);
      ASSERT_TRUE(DecodePng(file.data(), file.size(), dib, error)) << error;
      EXPECT_TRUE(WellFormed(dib));
      EXPECT_EQ(Get16(dib, 14), c.dibBits);
      if (c.colorType == PNG_COLOR_TYPE_PALETTE) {
        const std::uint32_t full = 1u << c.dibBits;
        const auto used = static_cast<std::uint32_t>(c.paletteSize);
        EXPECT_EQ(Get32(dib, 32), used < full ? used : 0u);
      }
      if (c.colorType == PNG_COLOR_TYPE_GRAY) {
        for (int i = 0; i < 256; ++i) {
          ASSERT_TRUE(dib[40 + 4 * i] == i && dib[41 + 4 * i] == i && dib[42 + 4 * i] == i);
        }
      }
      ExpectPngPixels(p, dib);
      // The same picture interlaced reads the same.
      p.interlaced = true;
      Bytes again;
      file = WritePngFile(p);
      ASSERT_TRUE(DecodePng(file.data(), file.size(), again, error)) << error;
      EXPECT_TRUE(SameBytes(dib, again)) << "interlaced";
    }
  }
}

TEST(PngFile, TransparencyChunksGiveThirtyTwoBits) {
  PngPicture palette = RandomPng({"", 4, PNG_COLOR_TYPE_PALETTE, 6, 0}, 7, 3, 300);
  palette.paletteAlpha = {0, 128, 255, 7};  // entries 4 and 5 stay opaque
  PngPicture rgb = RandomPng({"", 8, PNG_COLOR_TYPE_RGB, 0, 0}, 7, 3, 301);
  rgb.hasTransparent = true;
  const std::vector<int> first = Samples(rgb.rows[1], 2, 8, 3);
  rgb.transparent.red = first[0];
  rgb.transparent.green = first[1];
  rgb.transparent.blue = first[2];
  PngPicture grey = RandomPng({"", 2, PNG_COLOR_TYPE_GRAY, 0, 0}, 7, 3, 302);
  grey.hasTransparent = true;
  grey.transparent.gray = 1;
  for (const PngPicture* p : {&palette, &rgb, &grey}) {
    const Bytes file = WritePngFile(*p);
    Bytes dib;
    std::string error;
    ASSERT_TRUE(DecodePng(file.data(), file.size(), dib, error)) << error;
    EXPECT_EQ(Get16(dib, 14), 32);
    ExpectPngPixels(*p, dib);
  }
}

TEST(PngFile, PaletteIndicesPastThePaletteReadBlack) {
  PngPicture p = RandomPng({"", 8, PNG_COLOR_TYPE_PALETTE, 3, 0}, 4, 2, 303);
  p.rows[1][3] = 9;
  const Bytes file = WritePngFile(p);
  Bytes dib;
  std::string error;
  ASSERT_TRUE(DecodePng(file.data(), file.size(), dib, error)) << error;
  EXPECT_TRUE(WellFormed(dib));
  EXPECT_EQ(Get32(dib, 32), 10u);
  EXPECT_EQ(PixelOf(dib, 3, 1), (Rgba{0, 0, 0, 255}));
}

// Red, green and blue of a 16-bit picture's pixel widened to 0..255:
// v * 255 / 31 (or 63) rounded to nearest.
Rgba Widened16(const Dib& d, int x, int y, bool is565) {
  const int w = Get16(d.bytes, d.Row(y) + 2 * x);
  const auto round = [](int v, int top) { return (2 * v * 255 + top) / (2 * top); };
  if (is565) return {round(w >> 11, 31), round(w >> 5 & 63, 63), round(w & 31, 31), 255};
  return {round(w >> 10 & 31, 31), round(w >> 5 & 31, 31), round(w & 31, 31), 255};
}

TEST(PngFile, RoundTripIsLossless) {
  ForEachDepthAndWidth(400, 3, [](const DepthCase& c, const Dib& d) {
    Bytes file, back;
    std::string error;
    ASSERT_TRUE(EncodePng(d.bytes, file, error)) << error;
    // IHDR: bit depth at byte 24, colour type at byte 25.
    const int colorType = c.bits <= 8 ? (c.greyRamp ? 0 : 3) : c.bits == 32 ? 6 : 2;
    EXPECT_EQ(file[25], colorType);
    EXPECT_EQ(file[24], colorType == 3 ? c.bits : 8);
    ASSERT_TRUE(DecodePng(file.data(), file.size(), back, error)) << error;
    if (c.bits != 16) {
      EXPECT_TRUE(SameBytes(d.bytes, back));
      return;
    }
    EXPECT_EQ(Get16(back, 14), 24);
    for (int y = 0; y < d.height; ++y) {
      for (int x = 0; x < d.width; ++x) {
        ASSERT_EQ(PixelOf(back, x, y), Widened16(d, x, y, c.masks == kMasks565))
            << "first differing pixel (" << x << ", " << y << ")";
      }
    }
  });
}

TEST(PngFile, ThirtyTwoBitsWithoutAlphaAreWrittenOpaque) {
  Dib d = MakeDib(32, 5, 2, 0, 500);
  for (std::size_t i = 40 + 3; i < d.bytes.size(); i += 4) d.bytes[i] = 0;
  Bytes file, back;
  std::string error;
  ASSERT_TRUE(EncodePng(d.bytes, file, error)) << error;
  ASSERT_TRUE(DecodePng(file.data(), file.size(), back, error)) << error;
  for (std::size_t i = 40 + 3; i < d.bytes.size(); i += 4) d.bytes[i] = 255;
  EXPECT_TRUE(SameBytes(d.bytes, back));
}

// Recomputes a chunk's CRC after a test has changed its data.
void FixCrc(Bytes& file, std::size_t chunkStart) {
  const std::uint32_t length = file[chunkStart] << 24 | file[chunkStart + 1] << 16 |
                               file[chunkStart + 2] << 8 | file[chunkStart + 3];
  const uLong crc = crc32(0, &file[chunkStart + 4], 4 + length);
  for (int i = 0; i < 4; ++i) file[chunkStart + 8 + length + i] = crc >> (24 - 8 * i) & 255;
}

void PutBig32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = v >> (24 - 8 * i) & 255;
}

TEST(PngFile, RefusesDamagedFiles) {
  for (const Dib& d : {MakeDib(8, 5, 3, 7, 600), MakeDib(32, 3, 2, 0, 601)}) {
    Bytes file;
    std::string error;
    ASSERT_TRUE(EncodePng(d.bytes, file, error));
    for (std::size_t length = 0; length < file.size(); ++length) {
      SCOPED_TRACE(std::to_string(d.bits) + " bits, length " + std::to_string(length));
      ExpectRefused(Bytes(file.begin(), file.begin() + length), "");
    }
  }
  Bytes good;
  std::string error;
  ASSERT_TRUE(EncodePng(MakeDib(24, 5, 3, 0, 602).bytes, good, error));
  const std::size_t ihdr = 8;  // IHDR chunk: width at 16, height at 20
  Bytes crc = good;
  crc[good.size() - 20] ^= 0x40;  // inside IDAT
  ExpectRefused(crc, "bad PNG file");
  Bytes wide = good;
  PutBig32(wide, 16, 40000);
  FixCrc(wide, ihdr);
  ExpectRefused(wide, "too large");
  Bytes lying = good;
  PutBig32(lying, 16, 15000);
  PutBig32(lying, 20, 15000);
  FixCrc(lying, ihdr);
  ExpectRefused(lying, "too short");
  Bytes empty = good;
  PutBig32(empty, 20, 0);
  FixCrc(empty, ihdr);
  ExpectRefused(empty, "bad PNG file");
  Bytes longChunk = good;
  PutBig32(longChunk, 33, 0x7FFFFFF0);  // the chunk after IHDR
  ExpectRefused(longChunk, "bad PNG file");
}

// ---- JPEG -------------------------------------------------------------------

struct JpegTestErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void JumpOut(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegTestErrors*>(info->err)->jump, 1);
}

// A JPEG of `components` interleaved samples a pixel in `space`.
Bytes WriteJpegFile(int width, int height, int components, J_COLOR_SPACE space,
                    const Bytes& samples) {
  jpeg_compress_struct info{};
  JpegTestErrors errors;
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = JumpOut;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    ADD_FAILURE() << "libjpeg could not write the test file";
    return {};
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = components;
  info.in_color_space = space;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&samples[info.next_scanline * width * components]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// Components and the first luminance quantizer of a JPEG, read by libjpeg.
struct JpegFacts {
  int components = 0;
  int firstQuantizer = 0;
};
JpegFacts ReadJpegFacts(const Bytes& file) {
  jpeg_decompress_struct info{};
  JpegTestErrors errors;
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = JumpOut;
  JpegFacts facts;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    ADD_FAILURE() << "libjpeg could not read the written file";
    return facts;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, file.data(), file.size());
  jpeg_read_header(&info, TRUE);
  facts.components = info.num_components;
  facts.firstQuantizer = info.quant_tbl_ptrs[0]->quantval[0];
  jpeg_destroy_decompress(&info);
  return facts;
}

// Smooth samples (at most 19 x 11 pixels), so that compression errors stay
// small.
Bytes Gradient(int width, int height, int components) {
  Bytes s;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < components; ++c) s.push_back(x * 8 + y * 4 + c * 30);
    }
  }
  return s;
}

int MaxDifference(const Bytes& dib, int width, int height,
                  const std::function<Rgba(int, int)>& want) {
  int worst = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgba a = PixelOf(dib, x, y), b = want(x, y);
      worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
    }
  }
  return worst;
}

TEST(JpegFile, LoadsGreyColourAndCmykFiles) {
  const int w = 19, h = 11;
  Bytes dib;
  std::string error;

  const Bytes rgb = Gradient(w, h, 3);
  Bytes file = WriteJpegFile(w, h, 3, JCS_RGB, rgb);
  ASSERT_TRUE(DecodeJpeg(file.data(), file.size(), dib, error)) << error;
  EXPECT_TRUE(WellFormed(dib));
  EXPECT_EQ(Get16(dib, 14), 24);
  EXPECT_LE(MaxDifference(dib, w, h,
                          [&](int x, int y) {
                            const std::uint8_t* p = &rgb[3 * (y * w + x)];
                            return Rgba{p[0], p[1], p[2], 255};
                          }),
            8);

  const Bytes grey = Gradient(w, h, 1);
  file = WriteJpegFile(w, h, 1, JCS_GRAYSCALE, grey);
  ASSERT_TRUE(DecodeJpeg(file.data(), file.size(), dib, error)) << error;
  EXPECT_EQ(Get16(dib, 14), 8);
  for (int i = 0; i < 256; ++i) {
    ASSERT_TRUE(dib[40 + 4 * i] == i && dib[41 + 4 * i] == i && dib[42 + 4 * i] == i);
  }
  EXPECT_LE(MaxDifference(dib, w, h,
                          [&](int x, int y) {
                            const int v = grey[y * w + x];
                            return Rgba{v, v, v, 255};
                          }),
            3);

  // libjpeg writes CMYK with Adobe's marker, whose inks are inverted: a
  // stored 255 is no ink. Flat colours keep the comparison exact enough.
  Bytes cmyk;
  for (int i = 0; i < w * h; ++i) cmyk.insert(cmyk.end(), {255, 128, 0, 200});
  file = WriteJpegFile(w, h, 4, JCS_CMYK, cmyk);
  ASSERT_TRUE(DecodeJpeg(file.data(), file.size(), dib, error)) << error;
  EXPECT_EQ(Get16(dib, 14), 24);
  EXPECT_LE(MaxDifference(dib, w, h, [](int, int) { return Rgba{200, 100, 0, 255}; }), 2);
}

TEST(JpegFile, WritesGreyRampAsGreyAndTheRestAsColour) {
  const int w = 16, h = 16;
  struct Case {
    const char* name;
    Dib dib;
    int components;
  };
  // Flat pictures: each palette picture has one colour, the 16-bit one too.
  const Case cases[] = {{"grey ramp", MakeDib(8, w, h, 256, 1, nullptr, true), 1},
                        {"8-bit colour", MakeDib(8, w, h, 1, 2), 3},
                        {"4-bit colour", MakeDib(4, w, h, 1, 3), 3},
                        {"16-bit", MakeDib(16, w, h, 0, 4), 3},
                        {"24-bit", MakeDib(24, w, h, 0, 5), 3},
                        {"32-bit", MakeDib(32, w, h, 0, 6), 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dib d = c.dib;
    if (c.components == 1) {
      std::fill(d.bytes.begin() + 40 + 1024, d.bytes.end(), 77);
    } else if (d.bits >= 16) {  // make the pictures flat
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          std::copy_n(&d.bytes[d.Row(0)], d.bits / 8, &d.bytes[d.Row(y) + d.bits / 8 * x]);
        }
      }
    }
    Bytes file, back;
    std::string error;
    ASSERT_TRUE(EncodeJpeg(d.bytes, file, error)) << error;
    const JpegFacts facts = ReadJpegFacts(file);
    EXPECT_EQ(facts.components, c.components);
    // Quality 92 scales the base luminance table (first entry 16) by 16%.
    EXPECT_EQ(facts.firstQuantizer, (16 * 16 + 50) / 100);
    ASSERT_TRUE(DecodeJpeg(file.data(), file.size(), back, error)) << error;
    EXPECT_EQ(Get16(back, 14), c.components == 1 ? 8 : 24);
    const auto want = [&](int x, int y) {
      return d.bits == 16 ? Widened16(d, x, y, false) : PixelOf(d.bytes, x, y);
    };
    EXPECT_LE(MaxDifference(back, w, h, want), c.components == 1 ? 3 : 4);
  }
}

TEST(JpegFile, RefusesDamagedFiles) {
  Bytes file;
  std::string error;
  ASSERT_TRUE(EncodeJpeg(MakeDib(24, 21, 9, 0, 700).bytes, file, error)) << error;
  for (std::size_t length = 0; length < file.size(); ++length) {
    SCOPED_TRACE("length " + std::to_string(length));
    ExpectRefused(Bytes(file.begin(), file.begin() + length), "");
  }
  // A marker in the middle of the scan data cuts the picture short.
  Bytes marker = file;
  marker[marker.size() - 40] = 0xFF;
  marker[marker.size() - 39] = 0xD9;
  ExpectRefused(marker, "bad JPEG file");
}

// ---- files and damage -------------------------------------------------------

class ImageFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qvx-imagefile-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
  }
  void TearDown() override {
    for (const std::string& f : Files()) std::remove((folder_ + "/" + f).c_str());
    rmdir(folder_.c_str());
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder_.c_str())) {
      while (dirent* e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
          names.push_back(e->d_name);
        }
      }
      closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  std::string folder_;
};

TEST_F(ImageFileOnDisk, SavesAndLoadsByExtensionAndContent) {
  const Dib d = MakeDib(24, 33, 5, 0, 800);
  std::string error;
  for (const char* name : {"a.bmp", "b.PNG", "c.jpeg", "d.JPG"}) {
    ASSERT_TRUE(qvx::SaveImageFile(Path(name), d.bytes, error)) << name << ": " << error;
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"a.bmp", "b.PNG", "c.jpeg", "d.JPG"}));
  struct stat info {};
  ASSERT_EQ(stat(Path("a.bmp").c_str(), &info), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);

  Bytes back;
  ASSERT_TRUE(qvx::LoadImageFile(Path("a.bmp"), back, error)) << error;
  EXPECT_TRUE(SameBytes(d.bytes, back));
  ASSERT_TRUE(qvx::LoadImageFile(Path("b.PNG"), back, error)) << error;
  EXPECT_TRUE(SameBytes(d.bytes, back));
  ASSERT_TRUE(qvx::LoadImageFile(Path("d.JPG"), back, error)) << error;
  EXPECT_EQ(Get16(back, 14), 24);
  // The content decides, not the name.
  ASSERT_EQ(std::rename(Path("b.PNG").c_str(), Path("e.jpg").c_str()), 0);
  ASSERT_TRUE(qvx::LoadImageFile(Path("e.jpg"), back, error)) << error;
  EXPECT_TRUE(SameBytes(d.bytes, back));

  // Saving over an existing file replaces it.
  const Dib other = MakeDib(8, 3, 3, 10, 801);
  ASSERT_TRUE(qvx::SaveImageFile(Path("a.bmp"), other.bytes, error)) << error;
  ASSERT_TRUE(qvx::LoadImageFile(Path("a.bmp"), back, error)) << error;
  EXPECT_TRUE(SameBytes(other.bytes, back));
}

TEST_F(ImageFileOnDisk, FailuresLeaveNothingBehind) {
  const Dib d = MakeDib(24, 3, 3, 0, 802);
  std::string error;
  EXPECT_FALSE(qvx::SaveImageFile(Path("x.gif"), d.bytes, error));
  EXPECT_NE(error.find("unknown picture format"), std::string::npos) << error;
  Bytes bad = d.bytes;
  Put16(bad, 14, 2);
  EXPECT_FALSE(qvx::SaveImageFile(Path("x.png"), bad, error));
  EXPECT_NE(error.find(Path("x.png")), std::string::npos) << error;
  EXPECT_FALSE(qvx::SaveImageFile(Path("missing/x.bmp"), d.bytes, error));
  EXPECT_TRUE(OneLine(error));
  ASSERT_TRUE(qvx::SaveImageFile(Path("keep.bmp"), d.bytes, error)) << error;
  ASSERT_EQ(mkdir(Path("folder.bmp").c_str(), 0700), 0);
  EXPECT_FALSE(qvx::SaveImageFile(Path("folder.bmp"), d.bytes, error));  // a folder in the way
  rmdir(Path("folder.bmp").c_str());
  EXPECT_EQ(Files(), (std::vector<std::string>{"keep.bmp"}));

  Bytes back{1};
  EXPECT_FALSE(qvx::LoadImageFile(Path("none.png"), back, error));
  EXPECT_TRUE(back.empty());
  EXPECT_EQ(error.rfind(Path("none.png"), 0), 0u) << error;
  std::ofstream(Path("empty.bmp")).close();
  EXPECT_FALSE(qvx::LoadImageFile(Path("empty.bmp"), back, error));
  EXPECT_NE(error.find("empty"), std::string::npos) << error;
  EXPECT_FALSE(qvx::LoadImageFile(folder_, back, error));
  EXPECT_TRUE(OneLine(error));
}

TEST(ImageFile, NamesFormatsByContentAndExtension) {
  const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const std::uint8_t jpeg[3] = {0xFF, 0xD8, 0xFF};
  EXPECT_EQ(qvx::DetectImageFormat(png, 8), qvx::ImageFormat::Png);
  EXPECT_EQ(qvx::DetectImageFormat(png, 7), qvx::ImageFormat::Unknown);
  EXPECT_EQ(qvx::DetectImageFormat(jpeg, 3), qvx::ImageFormat::Jpeg);
  EXPECT_EQ(qvx::ImageFormatFromPath("dir.png/picture"), qvx::ImageFormat::Unknown);
  EXPECT_EQ(qvx::ImageFormatFromPath("a.b/c.JpEg"), qvx::ImageFormat::Jpeg);
  EXPECT_EQ(qvx::ImageFormatFromPath("c.bmp"), qvx::ImageFormat::Bmp);
}

// Random damage to valid files never crashes, and whatever is accepted is a
// well-formed picture.
TEST(ImageFile, SurvivesRandomDamage) {
  std::string error;
  std::vector<Bytes> files(3);
  const Dib palette = MakeDib(8, 13, 7, 20, 900);
  const Dib colour = MakeDib(24, 13, 7, 0, 901);
  files[0] = WrapDib(palette);
  ASSERT_TRUE(EncodePng(palette.bytes, files[1], error));
  ASSERT_TRUE(EncodeJpeg(colour.bytes, files[2], error));
  for (std::size_t f = 0; f < files.size(); ++f) {
    for (std::uint32_t seed = 0; seed < 300; ++seed) {
      std::mt19937 rng(seed);
      Bytes damaged = files[f];
      for (int n = 1 + rng() % 4; n > 0; --n) damaged[rng() % damaged.size()] = rng() & 255;
      Bytes dib;
      if (DecodeImage(damaged.data(), damaged.size(), dib, error)) {
        ASSERT_TRUE(WellFormed(dib)) << "file " << f << " seed " << seed;
      } else {
        ASSERT_TRUE(OneLine(error)) << "file " << f << " seed " << seed;
      }
    }
  }
}

}  // namespace

#endif  // QVX_HAVE_IMAGEFILE
