// The resize worker: a picture, and the 1-bit mask that travels with it,
// scaled to a new size. Without smoothing (and for palette pictures other
// than the 8-bit grey ramp) every result pixel copies the nearest source
// pixel; with smoothing, dimensions that shrink are box-averaged and
// dimensions that grow are bilinearly blended, through a temporary picture
// when both happen.
#pragma once

#include "frame/ImageHandles.h"
#include "frame/PixelPolicy.h"
#include "geometry/ProgressRange.h"

namespace qvx {

// Returns the new picture and the new mask (0 when `mask` is 0), or two
// zeros with the error status set: 5 for a size below 1 or a mask of
// another size than the picture, 7 or 3 from locking, 3 when memory runs
// out, 1 when cancelled. With a mask the mask pass reports into the first
// half of `range` and the picture pass into the second.
ImageHandles ResizeImages(HGLOBAL picture, HGLOBAL mask, int width, int height, BOOL smooth,
                          ProgressRange range, BOOL noDialog,
                          PixelRoute path = PixelRoute::kDirect);

}  // namespace qvx
