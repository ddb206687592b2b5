// The rotation worker: a picture, and the 1-bit mask picture that travels
// with it, turned by an angle in hundredths of a degree (counter-clockwise
// on screen) after an optional mirror and flip.
#pragma once

#include "frame/ImageHandles.h"
#include "frame/PixelPolicy.h"

namespace qvx {

// The angle taken into 0..35999.
inline int NormaliseAngle(int angle) {
  const int a = angle % 36000;
  return a < 0 ? a + 36000 : a;
}

// The angle in radians: (a * 0.01) * (pi / 180), in that order.
inline double AngleRadians(int a) { return a * 0.01 * 0.017453292519943295; }

// Integer bounds of a picture's centred frame: coordinate 0 is the pixel at
// index size / 2.
struct CentredFrame {
  int left, top, right, bottom;
};
CentredFrame CentredFrameOf(int width, int height);

// The bounds of points turned by -t for angle a (0..35999): x' = x cos(-t)
// - y sin(-t), y' = x sin(-t) + y cos(-t), the minimum and maximum starting
// at 0.
struct TurnedBounds {
  explicit TurnedBounds(int a);
  void Add(double x, double y);
  // Each bound truncated; with `pushOut` first moved one whole unit away
  // from zero (0 counting as positive).
  CentredFrame Truncated(bool pushOut) const;

  double c, s;
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
};

// The frame that holds the picture's frame turned by angle a (0..35999),
// one unit of margin outside the turned corners.
CentredFrame TurnedFrame(const CentredFrame& frame, int a);

// Returns the new picture and mask (0 without a mask), or zeros with the
// error status set: 7 or 3 from locking, 5 for a mask of another size, 3
// when memory runs out, 1 when cancelled.
ImageHandles RotateImages(HGLOBAL picture, HGLOBAL mask, int angle, BOOL mirror, BOOL flip,
                          BOOL smooth, int red, int green, int blue, BOOL keepSize, BOOL noDialog,
                          PixelRoute path = PixelRoute::kDirect);

}  // namespace qvx
