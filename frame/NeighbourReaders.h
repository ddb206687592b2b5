// Readers of the eight pixels around the current pixel of a locked picture.
//
// Position the record on (x, y) with GetDibPixel or SeekDibPixel first; each
// reader then fills the colour fields from one neighbour without moving the
// cursor, exactly as GetDibPixel would fill them for that pixel (Index, and
// the colour-table entry when UseRgb is set, for 1, 4 and 8 bits; the
// colours for 16 and 24 bits; the colours and Alpha for 32 bits). A reader
// takes the neighbour's address from the cursor with one step of the pixel
// size and one of the row stride, and makes no bounds test: the caller
// guarantees that the neighbour lies inside the picture. Rows are counted
// from the top, so "up" (y - 1) is one stride higher in memory.
#pragma once

#include "frame/DibAccess.h"

namespace qvx {

void GetDibPixelRight(DibAccess* record);      // (x + 1, y)
void GetDibPixelLeft(DibAccess* record);       // (x - 1, y)
void GetDibPixelUp(DibAccess* record);         // (x, y - 1)
void GetDibPixelDown(DibAccess* record);       // (x, y + 1)
void GetDibPixelDownRight(DibAccess* record);  // (x + 1, y + 1)
void GetDibPixelDownLeft(DibAccess* record);   // (x - 1, y + 1)
void GetDibPixelUpRight(DibAccess* record);    // (x + 1, y - 1)
void GetDibPixelUpLeft(DibAccess* record);     // (x - 1, y - 1)

// The reader of the neighbour (x + dx, y + dy) for dx, dy in -1..1, not both
// 0: lets a caller choose a direction by sign without a branch per reader.
using NeighbourReader = void (*)(DibAccess* record);
NeighbourReader NeighbourReaderFor(int dx, int dy);

}  // namespace qvx
