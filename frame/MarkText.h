// The text of a hidden mark, drawn into a 1-bit picture.
#pragma once

#include "frame/FixedRecords.h"
#include "platform/WinTypes.h"

namespace qvx {

// Whether the text arguments can be drawn: a face name and a text of one
// character at least (the record's fields bound them to 32 and 128), and a
// size of 1 or more.
bool CheckMarkText(const MarkTextSpec& spec);

// Whether the text runs as one line (drawn at once) rather than stacked
// character by character: directions 0 and 1 run as a line at 0 and 180
// degrees, directions 2 and 3 at 90 and 270.
bool IsHorizontalRun(BYTE direction, WORD angle);

// Direction above 3, an angle other than 0, 90, 180 or 270, and alignments
// above 2 become 0.
void NormalizeMarkLayout(MarkTextSpec& spec);

// left <= right and top <= bottom.
RECT NormalizeRect(RECT rect);

// Draws spec's text into the 1-bit picture `mask` inside `rect`, white on
// black, with the font the sibling library chooses: reversed for
// directions 1 and 3, aligned by the extent the font reports, the origin
// moved for the font's angle, as one line or one character at a time.
// False with the error status set: 5 bad text arguments or an empty
// rectangle, 7 no usable picture, 9 no drawing surface or drawing failed,
// 2 no font.
BOOL RenderTextMask(HGLOBAL mask, RECT rect, MarkTextSpec spec);

}  // namespace qvx
