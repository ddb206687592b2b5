// The worker of ResizeColorBit: the rectangle left..right by top..bottom
// (inclusive) of a colour picture box-averaged to width x height. Returns 0
// without touching the error status for a rectangle narrower or lower than
// 2 pixels, a grey picture or a handle that cannot be locked; 0 with the
// error of the failing step when the picture is unusable (7) or memory runs
// out (3, or 5 for a result size below 1).
#pragma once

#include "frame/PixelPolicy.h"

namespace qvx {

HGLOBAL ResizeRectangle(HGLOBAL picture, int left, int top, int right, int bottom, int width,
                        int height, PixelRoute path = PixelRoute::kDirect);

}  // namespace qvx
