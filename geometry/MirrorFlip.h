// Mirroring and flipping a locked picture in place, together with the mask
// picture that goes with it. Used by rotation and pasting.
#pragma once

#include "frame/DibAccess.h"
#include "frame/PixelPolicy.h"
#include "geometry/ProgressRange.h"

namespace qvx {

// Mirrors the picture left-right, and the mask too when `mask` holds a
// picture (non-null Header): pixel (x, y) moves to (W-1-x, y) as its index
// and colours; 32-bit pixels get alpha 0. Works from a snapshot copy.
// Reports each row into `range`. Returns 0 with error 5 when the mask's
// size differs from the picture's, 3 when the snapshot cannot be made, 1
// when cancelled.
BOOL MirrorDibImage(DibAccess* picture, DibAccess* mask, ProgressRange range, BOOL noDialog,
                    PixelRoute path = PixelRoute::kDirect);

// Flips the picture (and the mask) top-bottom: the bytes of row y move to
// row H-1-y. Same failures as MirrorDibImage.
BOOL FlipDibImage(DibAccess* picture, DibAccess* mask, ProgressRange range, BOOL noDialog);

}  // namespace qvx
