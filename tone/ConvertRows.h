// Whole rows in and out of the pictures of a depth conversion: colours read
// from a source of any kind, palette indices or colours written to a result
// of any depth. The depth is chosen once per row, outside the pixel loop.
#pragma once

#include "frame/DibAccess.h"
#include "frame/PixelFormat.h"

namespace qvx {

// The colours of row y (from the top) of a source locked with UseRgb set:
// palette pictures give their table colours, grey ramps their levels.
void ReadColourRow(DibAccess& source, int kind, int y, Rgb* colours);

// The palette indices of row y of a 1-, 4- or 8-bit source.
void ReadIndexRow(DibAccess& source, int y, BYTE* indices);

// Palette indices into row y of a 1-, 4- or 8-bit result (UseRgb clear).
void WriteIndexRow(DibAccess& result, int y, const BYTE* indices);

// Colours into row y of a 16-, 24- or 32-bit result (the fourth byte of a
// 32-bit pixel becomes 0).
void WriteColourRow(DibAccess& result, int y, const Rgb* colours);

}  // namespace qvx
