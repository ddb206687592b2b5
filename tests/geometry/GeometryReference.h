// Decoded pictures for the tests' own models of the effects, and what those
// tests share: failure messages, refusals, progress, masks, the blend.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/Fixture.h"
#include "support/Pictures.h"
#include "tone/ToneModel.h"

namespace qvx::test {

// Half away from zero.
inline int Rnd(double value) {
  return static_cast<int>(value < 0 ? std::trunc(value - 0.5) : std::trunc(value + 0.5));
}

// A decoded picture: pixels row-major from the top, and what a computed
// colour becomes when the library stores it into a picture of this format.
struct Grid {
  int width = 0, height = 0;
  int bits = 24;
  bool is565 = false;
  bool grey = false;  // 8-bit grey ramp
  std::vector<Pixel> pixels;
  std::vector<RGBQUAD> table;  // palette pictures
  // The whole bytes after each row's pixels, rows from the top; empty for
  // a picture whose padding must be zero.
  std::vector<std::uint8_t> padding;
  Pixel& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  const Pixel& At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  // The same format, all pixels zero.
  Grid Blank(int w, int h) const {
    Grid g = *this;
    g.width = w, g.height = h;
    g.pixels.assign(static_cast<std::size_t>(w) * h, Pixel{});
    g.padding.clear();
    return g;
  }
  // The pixel a computed colour becomes: 16 bits reduced to 5/6 bits and
  // widened again, 32 bits with alpha 0, grey pictures as the grey index.
  Pixel Stored(int red, int green, int blue) const {
    Pixel p;
    const auto through = [](int c, int levels) {
      const int v = static_cast<int>(std::trunc(c * levels * 0.00392156862745098 + 0.5));
      return static_cast<int>(
          std::trunc(v * (levels == 31 ? 8.225806451612902 : 4.0476190476190474) + 0.5));
    };
    if (bits == 16)
      p.red = through(red, 31), p.green = through(green, is565 ? 63 : 31),
      p.blue = through(blue, 31);
    else if (grey)
      p.index = p.red = p.green = p.blue = Rnd(0.299 * red + 0.587 * green + 0.114 * blue);
    else
      p.red = red, p.green = green, p.blue = blue;
    return p;
  }
  // The same, except that palette pictures (grey ramps too) take the table
  // entry nearest to the colour (least squared distance, the lowest index
  // on a tie), as colours painted whole are stored.
  Pixel Nearest(int red, int green, int blue) const {
    if (bits > 8) return Stored(red, green, blue);
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < int(table.size()); ++i) {
      const long dr = table[i].rgbRed - red, dg = table[i].rgbGreen - green,
                 db = table[i].rgbBlue - blue, distance = dr * dr + dg * dg + db * db;
      if (bestDistance < 0 || distance < bestDistance) bestDistance = distance, best = i;
    }
    return Pixel{best, table[best].rgbRed, table[best].rgbGreen, table[best].rgbBlue, 0};
  }
};

inline Grid Decode(HGLOBAL picture) {
  PictureView view(picture);
  Grid g;
  g.width = view.Width(), g.height = view.Height(), g.bits = view.BitCount();
  g.is565 = g.bits == 16 && view.Header()->biCompression == BI_BITFIELDS &&
            reinterpret_cast<const DWORD*>(view.Table())[0] == 0xF800;
  if (g.bits == 8) {
    g.grey = view.Header()->biClrUsed == 0 || view.Header()->biClrUsed == 256;
    for (int i = 0; i < 256 && g.grey; ++i)
      g.grey = view.Table()[i].rgbRed == i && view.Table()[i].rgbGreen == i &&
               view.Table()[i].rgbBlue == i;
  }
  if (g.bits <= 8) {
    const int entries = view.Header()->biClrUsed ? int(view.Header()->biClrUsed) : 1 << g.bits;
    g.table.assign(view.Table(), view.Table() + entries);
  }
  for (int y = 0; y < g.height; ++y)
    for (int x = 0; x < g.width; ++x) g.pixels.push_back(view.At(x, y));
  const std::uint32_t used = static_cast<std::uint32_t>((std::int64_t{g.bits} * g.width + 7) / 8);
  for (int y = 0; y < g.height; ++y)
    g.padding.insert(g.padding.end(), view.Row(y) + used, view.Row(y) + view.RowBytes());
  return g;
}

// The colour of a decoded pixel (grey pictures: the grey level).
inline Colour ColourOf(const Grid& g, int x, int y) {
  return {g.At(x, y).red, g.At(x, y).green, g.At(x, y).blue};
}

// A new 24-bit picture whose pixel (x, y) has the given colour.
inline HGLOBAL PaintedPicture(int width, int height,
                              const std::function<Colour(int x, int y)>& colour) {
  HGLOBAL picture = MakePicture(Layout::kRgb24, width, height, 5);
  PictureView view(picture);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      auto* pixel = const_cast<std::uint8_t*>(view.Row(y)) + 3 * x;
      const Colour c = colour(x, y);
      pixel[0] = static_cast<BYTE>(c.b), pixel[1] = static_cast<BYTE>(c.g);
      pixel[2] = static_cast<BYTE>(c.r);
    }
  return picture;
}

// "" when the picture holds exactly the grid's pixels, else what differs.
inline std::string Mismatch(const Grid& expected, HGLOBAL actual) {
  if (!actual) return "no picture";
  const Grid got = Decode(actual);
  std::ostringstream out;
  if (got.width != expected.width || got.height != expected.height || got.bits != expected.bits) {
    out << "size " << got.width << "x" << got.height << "x" << got.bits << ", expected "
        << expected.width << "x" << expected.height << "x" << expected.bits;
    return out.str();
  }
  for (int y = 0; y < got.height; ++y)
    for (int x = 0; x < got.width; ++x)
      if (!(got.At(x, y) == expected.At(x, y))) {
        out << "pixel (" << x << ", " << y << "): expected " << ToString(expected.At(x, y))
            << ", got " << ToString(got.At(x, y));
        return out.str();
      }
  // Bytes after the pixels keep what the picture started with.
  const std::size_t perRow = got.padding.size() / static_cast<std::size_t>(got.height);
  for (std::size_t i = 0; i < got.padding.size(); ++i) {
    const int want = expected.padding.empty() ? 0 : expected.padding[i];
    if (got.padding[i] != want) {
      out << "padding byte " << i % perRow << " of row " << i / perRow << ": expected " << want
          << ", got " << int{got.padding[i]};
      return out.str();
    }
  }
  return "";
}

// The parts separated by spaces (bytes as numbers), for failure messages.
inline int Shown(BYTE part) { return part; }
template <typename Part>
const Part& Shown(const Part& part) {
  return part;
}
template <typename... Parts>
std::string Describe(const Parts&... parts) {
  std::ostringstream out;
  ((out << Shown(parts) << ' '), ...);
  return out.str();
}

// Runs a call that must fail (the error status cleared first), frees what
// it returns anyway and gives the status it left.
inline int RefusalOf(const std::function<HGLOBAL()>& call) {
  SetErrorStatus(0);
  HGLOBAL result = call();
  EXPECT_EQ(result, nullptr) << "the call succeeded";
  if (result) GlobalFree(result);
  return GetErrorStatus();
}

// Progress reports as text; and those of stages of rows, done 0 .. rows - 1
// (by step) of rows - 1 over the stage's range, the window not shown.
inline std::string Progress(const std::vector<ProgressReport>& reports) {
  std::ostringstream out;
  for (const ProgressReport& r : reports)
    out << r.done << "/" << r.total << " " << r.percentFrom << "-" << r.percentTo
        << (r.noDialog ? "; " : " shown; ");
  return out.str();
}
struct Stage {
  int rows, from = 0, to = 100, step = 1;
};
inline std::string Progress(std::initializer_list<Stage> stages) {
  std::vector<ProgressReport> reports;
  for (const Stage& s : stages)
    for (int done = 0; done < s.rows; done += s.step)
      reports.push_back({done, s.rows - 1, s.from, s.to, TRUE});
  return Progress(reports);
}

// A 1-bit mask picture of random bits, its table either way round.
inline HGLOBAL RandomMask(std::mt19937& random, int width, int height) {
  std::vector<std::string> rows(height);
  for (std::string& row : rows)
    for (int x = 0; x < width; ++x) row += random() % 3 ? '#' : '.';
  return MakeMask(rows, random() % 2);
}

// The bilinear blend of a pixel and its horizontal, vertical and diagonal
// neighbours: trunc((c00 (1-fx) + h fx) (1-fy) + (v (1-fx) + d fx) fy + .5).
inline Pixel Blend(double fx, double fy, const Pixel& c00, const Pixel& h, const Pixel& v,
                   const Pixel& d) {
  const auto channel = [&](int Pixel::*c) {
    return static_cast<int>(std::trunc((c00.*c * (1 - fx) + h.*c * fx) * (1 - fy) +
                                       (v.*c * (1 - fx) + d.*c * fx) * fy + 0.5));
  };
  return Pixel{-1, channel(&Pixel::red), channel(&Pixel::green), channel(&Pixel::blue), 0};
}

}  // namespace qvx::test
