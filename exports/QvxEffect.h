// QvxEffect: image effects on packed device-independent bitmaps.
//
// Every picture is a packed DIB in a movable global block (GlobalAlloc with
// GMEM_MOVEABLE | GMEM_ZEROINIT): a 40-byte BITMAPINFOHEADER, the colour
// table, then bottom-up rows padded to 4 bytes. Depths 1, 4, 8, 16 (5-5-5 or
// 5-6-5), 24 and 32 bits. Pixel coordinates count x from the left and y from
// the TOP row.
//
// Effects never change their source: they return a NEW picture that the
// caller frees with GlobalFree, or 0 on failure. After every call the
// sibling library's error status (GetErrorStatus) holds 0 for success or:
//   1 cancelled through the progress window     2 operation cannot be done
//   3 out of memory                             4 depth not supported here
//   5 bad parameter                             7 unusable picture
//   9 text of a mark not rendered
//
// Common arguments of the effects:
//   images      ImageHandles*: Picture = the source, Mask = the 1-bit mask
//               picture of selection mode 0 (same size as the source)
//   mode        0 mask picture, 1 whole picture, 2 polygon, 3 ellipse
//   points, pointCount   polygon vertices (mode 2)
//   rect        ellipse bounding rectangle (mode 3); null counts as all zero
//   inside      non-zero: apply inside the shape; 0: outside it
//   noDialog    0: show the progress window; non-zero: run silently
//   dlgArg1..3  passed unchanged to the progress window
#pragma once

#include "frame/DibAccess.h"
#include "frame/FixedRecords.h"
#include "frame/ImageHandles.h"
#include "platform/GlobalMemory.h"
#include "platform/QvxCom.h"
#include "platform/WinTypes.h"

#define QVX_API extern "C"

// ---- direct pixel access --------------------------------------------------
// Lock a picture (any depth) and fill the caller's record; the picture stays
// locked until QVEndDibAccess. On failure the record is unchanged.
QVX_API BOOL WINAPI QVStartDibAccess(HGLOBAL picture, DibAccess* record);
// Unlock the picture and clear the record.
QVX_API BOOL WINAPI QVEndDibAccess(HGLOBAL picture, DibAccess* record);
// Read pixel (x, y): Index and Red/Green/Blue (palette pictures report both),
// Alpha for 32 bits. Coordinates outside the picture fail with 5.
QVX_API BOOL WINAPI QVGetDibPixel(DibAccess* record, int x, int y);
// Write pixel (x, y) from Index (1, 4, 8 bits) or Red/Green/Blue (16, 24,
// 32 bits; Alpha too for 32).
QVX_API BOOL WINAPI QVSetDibPixel(DibAccess* record, int x, int y);
