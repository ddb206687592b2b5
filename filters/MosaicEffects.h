// The workers of the mosaic, oil-paint and motion-blur exports, taking the
// export's arguments after the selection records have been copied, and the
// pixel route (the direct per-depth access unless a test asks for the
// record's).
#pragma once

#include "frame/PixelPolicy.h"
#include "frame/SelectionArgs.h"

namespace qvx {

// Every depth; cells of cellWidth x cellHeight (both at least 1, not both 1).
HGLOBAL RunMosaic(const SelectionArgs& args, int cellWidth, int cellHeight, BOOL noDialog,
                  PixelRoute route = PixelRoute::kDirect);
// method 0 or 1, size 1..255.
HGLOBAL RunOilPaint(const SelectionArgs& args, BYTE method, BYTE size, BOOL noDialog,
                    PixelRoute route = PixelRoute::kDirect);
// kind 0 linear, 1 spin (degrees not negative), 2 zoom.
HGLOBAL RunMotionBlur(const SelectionArgs& args, BYTE kind, BYTE samples, int degrees,
                      BOOL noDialog, PixelRoute route = PixelRoute::kDirect);

}  // namespace qvx
