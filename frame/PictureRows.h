// Runs of pixels of any depth, decoded to colours or indices and encoded
// back, for effects that combine pictures of different depths.
//
// A run is `count` pixels of one row from column x on; the caller keeps it
// inside the picture. The depth is looked at once per run, never per pixel.
// Reads and writes give exactly what GetDibPixel and SetDibPixel give pixel
// by pixel:
//   colours  1-, 4- and 8-bit pictures through their colour table (an index
//            past a short table reads as black), 16 bits expanded, 24 and
//            32 bits as stored; the fourth byte is the alpha of a 32-bit
//            pixel and 0 for every other depth. Writing is for 16, 24 and
//            32 bits only: 16 bits reduced, 32 bits take the fourth byte.
//   indices  1-, 4- and 8-bit pictures only; a 1-bit write sets the bit for
//            any non-zero index, a 4-bit write keeps the low four bits.
#pragma once

#include <cstdint>

#include "frame/DibAccess.h"
#include "frame/PixelFormat.h"

namespace qvx {

void ReadColourRun(const DibAccess& picture, int x, int y, int count, Bgra* out);
void WriteColourRun(const DibAccess& picture, int x, int y, int count, const Bgra* in);
void FillColourRun(const DibAccess& picture, int x, int y, int count, Bgra colour);

void ReadIndexRun(const DibAccess& picture, int x, int y, int count, BYTE* out);
void WriteIndexRun(const DibAccess& picture, int x, int y, int count, const BYTE* in);
void FillIndexRun(const DibAccess& picture, int x, int y, int count, BYTE index);

// Whether a run copied byte for byte from `from` to `to` gives what reading
// it and writing it back would: same bit count, whole bytes per pixel, and
// no bits that a write would change (8 and 24 bits).
bool RunsCopyAsBytes(const DibAccess& from, const DibAccess& to);
// Copies a run between two such pictures.
void CopyRunBytes(const DibAccess& from, int fromX, int fromY, const DibAccess& to, int toX,
                  int toY, int count);

}  // namespace qvx
