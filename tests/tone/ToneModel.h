// Colours, their rounding and selections, for the independent models of the
// effects. Nothing here calls the code under test.
#pragma once

#include <functional>

#include "support/Pictures.h"

namespace qvx::test {

struct Colour {
  int r, g, b;
  bool operator==(const Colour&) const = default;
};

// Half away from zero, then toward zero.
inline int Rounded(double v) { return static_cast<int>(v >= 0 ? v + 0.5 : v - 0.5); }
inline int Clamped(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// Which pixels an effect may change.
using Selected = std::function<bool(int x, int y)>;
// The selection of a 1-bit mask picture: pixels whose table colour is not
// black.
inline Selected MaskSelection(HGLOBAL mask) {
  PictureView view(mask);
  const int width = view.Width(), height = view.Height();
  std::vector<bool> bits(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Pixel p = view.At(x, y);
      bits[static_cast<std::size_t>(y) * width + x] = p.red || p.green || p.blue;
    }
  return [bits, width](int x, int y) { return bits[static_cast<std::size_t>(y) * width + x]; };
}

}  // namespace qvx::test
