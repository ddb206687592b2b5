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

// ---- geometry -------------------------------------------------------------
// Scale a picture, and the 1-bit mask picture that travels with it
// (images->Mask, 0 for none, same size as the picture), to width x height
// (each at least 1, else error 5). Any depth. smooth = 0: every result pixel
// copies the nearest source pixel (palette indices kept). smooth != 0, for
// 16, 24 and 32 bits and 8-bit grey-ramp pictures: shrinking dimensions are
// box-averaged, growing ones bilinearly blended; other palette pictures are
// still resized by nearest pixel. The mask is always resized by nearest
// pixel. The alpha of 32-bit results is 0. Returns the new picture (low 32
// bits) and the new mask (high 32 bits, 0 without a mask); both 0 on
// failure: 5 bad size or mask of another size, 7 unusable picture or mask
// not 1-bit, 3 out of memory, 1 cancelled, 2 progress window not opened.
QVX_API ImageHandlesResult WINAPI QVResize(ImageHandles* images, int width, int height,
                                           BOOL smooth, BOOL noDialog, DWORD dlgArg1,
                                           DWORD dlgArg2, DWORD dlgArg3);
// QVResize writing the pair to *result (written whenever the resize ran,
// also on failure; untouched when the progress window could not be
// opened). Returns 1 when a new picture was made.
QVX_API BOOL WINAPI QVResizeEx(ImageHandles* images, ImageHandles* result, int width, int height,
                               BOOL smooth, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                               DWORD dlgArg3);
