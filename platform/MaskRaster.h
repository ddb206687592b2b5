// Drawing into 1-bit pictures: the only drawing the library does.
//
// Selection shapes, the custom filter's own shape and the panorama seam are
// rasterised into the rows of a locked 1-bit, bottom-up packed picture with a
// two-entry colour table (0 black, 1 white). Each operation behaves exactly as
// the matching GDI call on a DIB section with the stock white pen and brush:
// on Windows it is that call; elsewhere a portable rasteriser reproduces GDI's
// choice of pixels bit for bit. Coordinates are device coordinates: x to the
// right, y DOWN from the top row. Nothing outside the picture is touched, and
// bits beyond the width in each row are never set.
#pragma once

#include "platform/WinTypes.h"

namespace qvx {

// The rows of a locked 1-bit picture. Row y (counted from the top) starts at
// bits + rowBytes * (height - 1 - y).
struct MonoRows {
  const BITMAPINFOHEADER* header;  // header and colour table, for GDI's DIB section
  BYTE* bits;
  int width;
  int height;
  DWORD rowBytes;
};

// Polygon(dc, points, count) in ALTERNATE fill mode: the even-odd interior
// plus the one-pixel outline. Result as GDI's: 0 for fewer than 2 vertices.
BOOL RasterPolygon(const MonoRows& rows, const POINT* points, int count);

// Ellipse(dc, left, top, right, bottom) with R2_COPYPEN. Always 1 unless the
// drawing surface cannot be made.
BOOL RasterEllipse(const MonoRows& rows, int left, int top, int right, int bottom);

// MoveToEx(x1, y1) then LineTo(x2, y2): the first point drawn, the last not.
BOOL RasterLine(const MonoRows& rows, int x1, int y1, int x2, int y2);

// ExtFloodFill(x, y, black, FLOODFILLSURFACE) with a white brush: every black
// pixel 4-connected to the seed becomes white. 0 when the seed is outside the
// picture or already white.
BOOL RasterFloodFill(const MonoRows& rows, int x, int y);

}  // namespace qvx
