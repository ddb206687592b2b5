// Reading a line of pixels in any of four directions into 4-byte cells, and
// writing cells back as a row. Used by rotation and pasting.
//
// A cell is: byte 0 the index (1, 4, 8 bits) or the alpha (32 bits), byte 1
// red, byte 2 green, byte 3 blue. 16-bit pixels travel as their expanded
// colours.
#pragma once

#include "frame/DibAccess.h"

namespace qvx {

enum LineDirection : int {
  kLineRight = 1,  // increasing x
  kLineLeft = 2,   // decreasing x
  kLineDown = 3,   // increasing y
  kLineUp = 4,     // decreasing y
};

// Reads `count` pixels from (x, y) in `direction` into `cells`, leaving the
// record's cursor on the last pixel read. Palette pictures deliver colours
// too when the record's UseRgb is set; the cell bytes a depth does not fill
// hold the record's fields as they were. Returns 0 with error 5 for a start
// outside the picture, an unknown direction or a line that leaves the
// picture.
BOOL GetDibLine(DibAccess* record, int x, int y, int direction, BYTE* cells, int count);

// Writes `count` cells as pixels from (x, y) rightwards: 1-bit pixels set
// for a non-zero index, 4 and 8 bits from the index, 16 bits packed from
// the colours, 24 bits from the colours, 32 bits from the colours with byte
// 0 as alpha. Returns 0 with error 5 for a start outside the picture or
// x + count > width.
BOOL SetDibLine(DibAccess* record, int x, int y, const BYTE* cells, int count);

}  // namespace qvx
