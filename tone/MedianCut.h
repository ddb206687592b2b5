// The adaptive palette of a colour reduction, by median cut over a
// histogram of 7 bits per channel.
#pragma once

#include "frame/DibAccess.h"
#include "tone/PaletteMatch.h"

namespace qvx {

// Builds a palette of at most `colours` (16 or 256) entries for the source
// picture (kind `kind`, locked with UseRgb set), sorted by brightness. The
// work fills the progress bar from 0 to `percentEnd`: the histogram to 30 %
// of it, the splits to 90 %, the entries the rest. `row` holds one source
// row. False with the error status set: 3 when a work block cannot be had,
// 2 when a box cannot be split, 1 when cancelled.
bool BuildMedianCutPalette(DibAccess& source, int kind, int colours, int percentEnd,
                           BOOL noDialog, Rgb* row, Palette& palette);

}  // namespace qvx
