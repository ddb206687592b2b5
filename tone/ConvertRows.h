// Whole rows in and out of the pictures of a depth conversion: colours read
// from a source of any kind, palette indices or colours written to a result
// of any depth. The depth is chosen once per row, outside the pixel loop.
#pragma once

#include "frame/DibAccess.h"
#include "frame/PixelFormat.h"
#include "frame/PixelPolicy.h"

namespace qvx {

// Calls body(policy) with the direct pixel policy of a 16-, 24- or 32-bit
// picture or an 8-bit grey ramp (kind 80); false, without calling, for the
// other kinds.
template <class Body>
bool WithDirectPolicy(const DibAccess& record, int kind, Body&& body) {
  switch (kind) {
    case kKind24:
      body(Px24(&record));
      return true;
    case kKind32:
      body(Px32(&record));
      return true;
    case kKind16:
      body(Px16(&record));
      return true;
    case kKindGrey256:
      body(Px8(&record));
      return true;
    default:
      return false;
  }
}

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
