// Independent working of the geometric rules for tests: pictures decoded
// into plain pixel grids, and the resize and rotation rules computed on
// them straight from their definitions, without the library's code.
#pragma once

#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "support/Pictures.h"
#include "tone/ToneModel.h"

namespace qvx::test {

// A decoded picture: pixels row-major from the top, plus what a computed
// colour turns into when the library stores it into a picture of this
// format.
struct Grid {
  int width = 0, height = 0;
  int bits = 24;
  bool is565 = false;
  bool grey = false;  // 8-bit grey ramp
  std::vector<Pixel> pixels;
  std::vector<RGBQUAD> table;  // palette pictures
  Pixel& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  const Pixel& At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  Grid Blank(int w, int h) const;  // same format, all pixels zero
  // The pixel a computed colour becomes: 16 bits reduced to 5/6 bits and
  // widened again, 32 bits with alpha 0, grey pictures as the grey index.
  Pixel Stored(int red, int green, int blue) const;
  // The same, except that palette pictures (grey ramps too) take the table
  // entry nearest to the colour (least squared distance, the lowest index
  // on a tie), as colours painted whole are stored.
  Pixel Nearest(int red, int green, int blue) const;
};

Grid Decode(HGLOBAL picture);

// A new 24-bit picture whose pixel (x, y) has the given colour.
HGLOBAL PaintedPicture(int width, int height, const std::function<Colour(int x, int y)>& colour);

// "" when the picture holds exactly the grid's pixels, else the first
// difference.
std::string Mismatch(const Grid& expected, HGLOBAL actual);

// The parts separated by spaces (bytes as numbers), for failure messages.
template <typename... Parts>
std::string Describe(const Parts&... parts) {
  std::ostringstream out;
  const auto put = [&](const auto& part) {
    if constexpr (std::is_same_v<std::decay_t<decltype(part)>, BYTE>)
      out << int{part} << ' ';
    else
      out << part << ' ';
  };
  (put(parts), ...);
  return out.str();
}

// Runs a call that must fail (the error status cleared first), frees what
// it returns anyway and gives the status it left.
int RefusalOf(const std::function<HGLOBAL()>& call);

// A 1-bit mask picture of random bits, its table either way round.
HGLOBAL RandomMask(std::mt19937& random, int width, int height);

// Half away from zero.
int Rnd(double value);

// The bilinear blend of a pixel and its horizontal, vertical and diagonal
// neighbours, per channel trunc((c00 (1-fx) + h fx) (1-fy) + (v (1-fx) +
// d fx) fy + 0.5).
Pixel Blend(double fx, double fy, const Pixel& c00, const Pixel& h, const Pixel& v, const Pixel& d);

// Resizing: nearest pixel (alpha 0) and the two smoothing stages.
Grid NearestResize(const Grid& source, int width, int height);
Grid SmoothResize(const Grid& source, int width, int height);
// Box averages of the w x h area at (left, top) onto width x height: spans
// from rnd(i * ratio) to rnd((i + 1) * ratio), clamped to the area, at least
// one pixel; the truncated means stored as Nearest does.
Grid BoxAverage(const Grid& source, int left, int top, int w, int h, int width, int height);

// Rotation by `angle` hundredths of a degree after the optional mirror and
// flip, with the background colour (red, green, blue).
struct RotationArgs {
  int angle = 0;
  bool mirror = false, flip = false, smooth = false, keepSize = false;
  int red = 0, green = 0, blue = 0;
};
Grid Rotate(const Grid& source, const RotationArgs& args);

}  // namespace qvx::test
