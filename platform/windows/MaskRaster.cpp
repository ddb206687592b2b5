// Mask drawing on Windows: each operation is one GDI call on a DIB section
// made from the mask itself.
//
// Every step follows the same course: take the screen DC, make a DIB section
// from the mask's header and two-entry colour table, copy the mask's rows in,
// select the section into a memory DC together with the pen and brush the
// operation needs, draw, put the old objects back, copy the rows out, and
// release everything. A section that cannot be made leaves error 9 and the
// result 0; the mask is then untouched.
#include "platform/MaskRaster.h"

#include <cstring>

#include "platform/QvxCom.h"

namespace qvx {
namespace {

constexpr int kErrorCannotDo = 2;
constexpr int kErrorNoSurface = 9;

// Bytes per row of a 1-bit DIB section: whole 32-bit words.
DWORD SectionRowBytes(int width) { return ((static_cast<DWORD>(width) + 31) / 32) * 4; }

// Runs draw(dc) on a memory DC holding a DIB section with the mask's rows
// and copies the rows back afterwards; the result is draw's.
template <class Draw>
BOOL DrawOnSection(const MonoRows& rows, Draw&& draw) {
  if (!rows.header || !rows.bits || rows.width <= 0 || rows.height <= 0 ||
      rows.rowBytes != SectionRowBytes(rows.width))
    return FALSE;
  HDC screen = GetDC(nullptr);
  void* sectionBits = nullptr;
  HBITMAP section = CreateDIBSection(screen, reinterpret_cast<const BITMAPINFO*>(rows.header),
                                     DIB_RGB_COLORS, &sectionBits, nullptr, 0);
  if (!section || !sectionBits) {
    if (section) DeleteObject(section);
    if (screen) ReleaseDC(nullptr, screen);
    SetErrorStatus(kErrorNoSurface);
    return FALSE;
  }
  const std::size_t bytes = std::size_t{rows.rowBytes} * static_cast<std::size_t>(rows.height);
  std::memcpy(sectionBits, rows.bits, bytes);

  HDC dc = CreateCompatibleDC(nullptr);
  BOOL result = FALSE;
  if (dc) {
    HGDIOBJ oldBitmap = SelectObject(dc, section);
    result = draw(dc);
    // GDI may batch drawing calls; the section's bits are read only after
    // they have all been carried out.
    GdiFlush();
    std::memcpy(rows.bits, sectionBits, bytes);
    SelectObject(dc, oldBitmap);
    DeleteDC(dc);
  }
  DeleteObject(section);
  ReleaseDC(nullptr, screen);
  return result;
}

// Selects the stock white pen and `brush` for the life of the object.
class PenAndBrush {
 public:
  PenAndBrush(HDC dc, HGDIOBJ brush)
      : dc_(dc),
        oldPen_(SelectObject(dc, GetStockObject(WHITE_PEN))),
        oldBrush_(SelectObject(dc, brush)) {}
  ~PenAndBrush() {
    SelectObject(dc_, oldBrush_);
    SelectObject(dc_, oldPen_);
  }
  PenAndBrush(const PenAndBrush&) = delete;
  PenAndBrush& operator=(const PenAndBrush&) = delete;

 private:
  HDC dc_;
  HGDIOBJ oldPen_;
  HGDIOBJ oldBrush_;
};

// Sets the raster operation to plain copying for the life of the object.
class CopyPen {
 public:
  explicit CopyPen(HDC dc) : dc_(dc), old_(SetROP2(dc, R2_COPYPEN)) {}
  ~CopyPen() { SetROP2(dc_, old_); }
  CopyPen(const CopyPen&) = delete;
  CopyPen& operator=(const CopyPen&) = delete;

 private:
  HDC dc_;
  int old_;
};

}  // namespace

BOOL RasterPolygon(const MonoRows& rows, const POINT* points, int count) {
  return DrawOnSection(rows, [&](HDC dc) -> BOOL {
    PenAndBrush tools(dc, GetStockObject(WHITE_BRUSH));
    // GDI refuses a missing vertex array as it refuses too few vertices.
    if (!points) return FALSE;
    return Polygon(dc, points, count);
  });
}

BOOL RasterEllipse(const MonoRows& rows, int left, int top, int right, int bottom) {
  return DrawOnSection(rows, [&](HDC dc) -> BOOL {
    PenAndBrush tools(dc, GetStockObject(WHITE_BRUSH));
    CopyPen copy(dc);
    return Ellipse(dc, left, top, right, bottom);
  });
}

BOOL RasterLine(const MonoRows& rows, int x1, int y1, int x2, int y2) {
  return DrawOnSection(rows, [&](HDC dc) -> BOOL {
    PenAndBrush tools(dc, GetStockObject(WHITE_BRUSH));
    CopyPen copy(dc);
    MoveToEx(dc, x1, y1, nullptr);
    return LineTo(dc, x2, y2);
  });
}

BOOL RasterFloodFill(const MonoRows& rows, int x, int y) {
  return DrawOnSection(rows, [&](HDC dc) -> BOOL {
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    if (!white) {
      SetErrorStatus(kErrorCannotDo);
      return FALSE;
    }
    BOOL filled = FALSE;
    {
      PenAndBrush tools(dc, white);
      filled = ExtFloodFill(dc, x, y, RGB(0, 0, 0), FLOODFILLSURFACE);
    }
    DeleteObject(white);
    return filled;
  });
}

}  // namespace qvx
