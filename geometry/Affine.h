// The worker of QVAffine: the quadrilateral outlined by four corners of a
// picture stretched onto an upright rectangle.
#pragma once

#include "geometry/GeometryPixels.h"

namespace qvx {

// The four corners as the caller gives them, in any order, top-down
// picture coordinates.
struct Corners {
  POINT p[4];
};

// Returns the new picture, or 0: with 7 or 3 from locking, 5 when the
// inner rectangle is empty, 3 when memory runs out, 1 when cancelled, and
// with the error status untouched when three corners (or more) lie on a
// line.
HGLOBAL AffineImage(HGLOBAL picture, Corners corners, BOOL noDialog,
                    PixelRoute route = PixelRoute::kDirect);

}  // namespace qvx
