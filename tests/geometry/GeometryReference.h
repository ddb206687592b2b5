// Independent working of the geometric rules for tests: pictures decoded
// into plain pixel grids, and the resize and rotation rules computed on
// them straight from their definitions, without the library's code.
#pragma once

#include <string>
#include <vector>

#include "support/Pictures.h"

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
};

Grid Decode(HGLOBAL picture);

// "" when the picture holds exactly the grid's pixels, else the first
// difference.
std::string Mismatch(const Grid& expected, HGLOBAL actual);

// Half away from zero.
int Rnd(double value);

// Resizing: nearest pixel (alpha 0) and the two smoothing stages.
Grid NearestResize(const Grid& source, int width, int height);
Grid SmoothResize(const Grid& source, int width, int height);

// Rotation by `angle` hundredths of a degree after the optional mirror and
// flip, with the background colour (red, green, blue).
struct RotationArgs {
  int angle = 0;
  bool mirror = false, flip = false, smooth = false, keepSize = false;
  int red = 0, green = 0, blue = 0;
};
Grid Rotate(const Grid& source, const RotationArgs& args);

}  // namespace qvx::test
