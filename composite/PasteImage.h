// The paste worker: one picture (optionally limited by its 1-bit mask)
// pasted onto another after an optional mirror and flip and a turn by any
// angle, mixed in with an opacity and an optional colour key. QVPasteImage
// drives it with the whole progress window; the panorama drives it with its
// own slice.
#pragma once

#include "frame/DibAccess.h"
#include "geometry/ProgressRange.h"

namespace qvx {

// Where and how the picture is pasted (QVPasteImage's arguments 3 to 16).
struct PastePlacement {
  int angle = 0;          // hundredths of a degree, counter-clockwise; any value
  BOOL mirror = FALSE;    // mirror the pasted picture left-right first
  BOOL flip = FALSE;      // then flip it top-bottom
  BYTE opacity = 255;     // 0: the target shows; 255: the pasted picture replaces it
  BOOL keyOn = FALSE;     // pasted pixels of the key colour are transparent
  int keyRed = 0;         // key colour; each level is the low byte of its value
  int keyGreen = 0;
  int keyBlue = 0;
  int fillRed = 0;        // colour of result pixels that neither picture covers
  int fillGreen = 0;
  int fillBlue = 0;
  int px = 0;             // target column on which the pasted picture's centre lands
  int py = 0;             // target row (from the top) on which the centre lands
  BOOL clip = TRUE;       // non-zero: the result has the target's size
};

// Pastes `pasted` (with `pastedMask`, a 1-bit picture of its size, or null)
// onto `target` and returns the new picture; neither input changes. The
// centre of the pasted picture is its pixel (W - 1) / 2, (H - 1) / 2 (for
// an even size the left or upper of the two middle pixels). Every progress
// report falls within `range` (mirror, flip, mask pass and main pass each
// get a slice). Null on failure with the error status: 7 for a null or
// unusable picture or a mask of another depth or size, 5 when the result
// would be wider or higher than 2^31 - 1 pixels, 3 when memory runs out, 1
// when cancelled.
HGLOBAL PasteImages(HGLOBAL target, HGLOBAL pasted, HGLOBAL pastedMask,
                    const PastePlacement& placement, ProgressRange range, BOOL noDialog);

}  // namespace qvx
