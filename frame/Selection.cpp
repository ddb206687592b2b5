// Selection masks: building them from shapes, and the set-up every effect
// worker shares.
#include "frame/Selection.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "frame/ErrorCodes.h"
#include "frame/TwoPictures.h"
#include "platform/GlobalMemory.h"
#include "platform/MaskRaster.h"
#include "platform/QvxCom.h"

namespace qvx {
namespace {

constexpr DWORD kMaskTableBytes = 8;

bool Fail(int code) {
  SetErrorStatus(code);
  return false;
}

// A new zero-filled 1-bit picture with the black/white table.
// Locks a 1-bit picture and describes its rows for the rasteriser. The
// header is trusted only as far as the block holds it.
class LockedMonoRows {
 public:
  explicit LockedMonoRows(HGLOBAL mask) : mask_(mask) {
    auto* data = static_cast<BYTE*>(GlobalLock(mask));
    if (!data) return;
    locked_ = true;
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(data);
    const SIZE_T blockBytes = GlobalSize(mask);
    if (blockBytes < 40 || header->biSize != 40 || header->biBitCount != 1 || header->biWidth < 1 ||
        header->biHeight < 1)
      return;
    const DWORD tableBytes = GetDibPalSize(header);
    const std::uint32_t rowBytes = RowBytesFor(1, header->biWidth);
    if (std::uint64_t{40} + tableBytes + std::uint64_t{rowBytes} * header->biHeight > blockBytes)
      return;
    rows_ = MonoRows{header, data + 40 + tableBytes, header->biWidth, header->biHeight, rowBytes};
    valid_ = true;
  }
  ~LockedMonoRows() {
    if (locked_) GlobalUnlock(mask_);
  }
  LockedMonoRows(const LockedMonoRows&) = delete;
  LockedMonoRows& operator=(const LockedMonoRows&) = delete;

  bool Locked() const { return locked_; }
  bool Valid() const { return valid_; }
  const MonoRows& Rows() const { return rows_; }

 private:
  HGLOBAL mask_;
  bool locked_ = false;
  bool valid_ = false;
  MonoRows rows_{};
};

// Locks the mask (error 3 when it cannot), then draws with `draw`. A block
// that does not hold a 1-bit picture gives no drawing surface (error 9, as
// when the surface cannot be created).
template <class Draw>
BOOL DrawIntoMask(HGLOBAL mask, Draw&& draw) {
  LockedMonoRows locked(mask);
  if (!locked.Locked()) return Fail(kErrorNoMemory);
  if (!locked.Valid()) return Fail(kErrorTextNotRendered);
  return draw(locked.Rows());
}

}  // namespace

HGLOBAL NewMaskPicture(std::int64_t width, std::int64_t height) {
  const std::uint32_t rowBytes = RowBytesFor(1, width);
  const std::uint64_t rows = std::uint64_t{rowBytes} * static_cast<std::uint64_t>(height);
  if (width < 1 || height < 1 || width > 0x7FFFFFFF || height > 0x7FFFFFFF || rowBytes == 0 ||
      rows > 0xFFFFFFFFu - 48 || rows + 48 > SIZE_MAX) {
    SetErrorStatus(kErrorNoMemory);
    return nullptr;
  }
  HGLOBAL mask = GlobalAlloc(GHND, static_cast<SIZE_T>(48 + rows));
  if (!mask) {
    SetErrorStatus(kErrorNoMemory);
    return nullptr;
  }
  auto* data = static_cast<BYTE*>(GlobalLock(mask));
  if (!data) {
    GlobalFree(mask);
    SetErrorStatus(kErrorNoMemory);
    return nullptr;
  }
  const BITMAPINFOHEADER header{40,
                                static_cast<LONG>(width),
                                static_cast<LONG>(height),
                                1,
                                1,
                                BI_RGB,
                                static_cast<DWORD>(rows),
                                0,
                                0,
                                0,
                                0};
  std::memcpy(data, &header, sizeof header);
  const RGBQUAD table[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  std::memcpy(data + 40, table, kMaskTableBytes);
  GlobalUnlock(mask);
  return mask;
}

BOOL DrawPolygonMask(HGLOBAL mask, const POINT* points, int pointCount) {
  return DrawIntoMask(
      mask, [&](const MonoRows& rows) { return RasterPolygon(rows, points, pointCount); });
}

BOOL DrawEllipseMask(HGLOBAL mask, int left, int top, int right, int bottom) {
  return DrawIntoMask(
      mask, [&](const MonoRows& rows) { return RasterEllipse(rows, left, top, right, bottom); });
}

BOOL DrawLineMask(HGLOBAL mask, int x1, int y1, int x2, int y2) {
  return DrawIntoMask(mask, [&](const MonoRows& rows) { return RasterLine(rows, x1, y1, x2, y2); });
}

BOOL FloodFillMask(HGLOBAL mask, int x, int y) {
  return DrawIntoMask(mask, [&](const MonoRows& rows) { return RasterFloodFill(rows, x, y); });
}

BOOL InvertMonoDib(HGLOBAL mask, DWORD rowBytes) {
  LockedMonoRows locked(mask);
  if (!locked.Locked()) return Fail(kErrorNoMemory);
  if (!locked.Valid() || rowBytes != locked.Rows().rowBytes) return Fail(kErrorBadPicture);
  const MonoRows& rows = locked.Rows();
  // Whole 32-bit words, so the padding bits of each row's last word are
  // complemented too.
  for (int y = 0; y < rows.height; ++y) {
    BYTE* row = rows.bits + std::size_t{rowBytes} * y;
    for (std::int64_t x = 0; x < rows.width; x += 32) {
      BYTE* word = row + x / 8;
      for (int i = 0; i < 4; ++i) word[i] = static_cast<BYTE>(~word[i]);
    }
  }
  return TRUE;
}

bool NarrowToShape(BYTE mode, const POINT* points, int pointCount, int left, int top, int right,
                   int bottom, BOOL inside, WorkRect* workRect) {
  const WorkRect bounds = *workRect;
  if (inside) {
    WorkRect shape = bounds;
    if (mode == kSelectPolygon) {
      if (pointCount < 2 || !points) return Fail(kErrorBadParameter);
      shape = {2147483647, 2147483647, -2147483647 - 1, -2147483647 - 1};
      for (int i = 0; i < pointCount; ++i) {
        shape.left = std::min<int>(shape.left, points[i].x);
        shape.top = std::min<int>(shape.top, points[i].y);
        shape.right = std::max<int>(shape.right, points[i].x);
        shape.bottom = std::max<int>(shape.bottom, points[i].y);
      }
    } else if (mode == kSelectEllipse) {
      if (left == right || top == bottom) return Fail(kErrorBadParameter);
      shape = {left, top, right, bottom};
    }
    workRect->left = std::max(shape.left, bounds.left);
    workRect->right = std::min(shape.right, bounds.right);
    workRect->top = std::max(shape.top, bounds.top);
    workRect->bottom = std::min(shape.bottom, bounds.bottom);
  } else if (mode == kSelectPolygon && pointCount >= 2 && !points) {
    // Drawing would follow a null vertex array; refuse it whatever `inside`.
    return Fail(kErrorBadParameter);
  }
  return true;
}

HGLOBAL BuildSelectionMask(BYTE mode, POINT* points, int pointCount, int left, int top, int right,
                           int bottom, BOOL inside, WorkRect* workRect, BOOL pictureSized) {
  const WorkRect bounds = *workRect;
  if (!NarrowToShape(mode, points, pointCount, left, top, right, bottom, inside, workRect))
    return nullptr;
  const WorkRect& frame = pictureSized ? bounds : *workRect;
  const std::int64_t width = std::llabs(std::int64_t{frame.right} - frame.left) + 1;
  const std::int64_t height = std::llabs(std::int64_t{frame.bottom} - frame.top) + 1;
  OwnedBlock mask(NewMaskPicture(width, height));
  if (!mask) return nullptr;
  const std::int64_t dx = pictureSized ? 0 : workRect->left;
  const std::int64_t dy = pictureSized ? 0 : workRect->top;
  const DWORD rowBytes = RowBytesFor(1, width);
  BOOL drawn = TRUE;
  switch (mode) {
    case kSelectWhole:
      drawn = InvertMonoDib(mask.Get(), rowBytes);
      break;
    case kSelectPolygon:
      // A null array can only get here with fewer than two vertices, which
      // draw nothing: there is nothing to move.
      if (points && (dx || dy))
        for (int i = 0; i < pointCount; ++i) {
          points[i].x = static_cast<LONG>(points[i].x - dx);
          points[i].y = static_cast<LONG>(points[i].y - dy);
        }
      drawn = DrawPolygonMask(mask.Get(), points, pointCount);
      break;
    case kSelectEllipse:
      drawn = DrawEllipseMask(mask.Get(), static_cast<int>(left - dx), static_cast<int>(top - dy),
                              static_cast<int>(right - dx), static_cast<int>(bottom - dy));
      break;
    default:
      break;
  }
  if (drawn && !inside) drawn = InvertMonoDib(mask.Get(), rowBytes);
  if (!drawn) {
    SetErrorStatus(kErrorCannotDo);
    return nullptr;
  }
  return mask.Release();
}

bool Selection::Begin(const SelectionArgs& args, unsigned depthMask) {
  if (args.mode > kSelectEllipse) return Fail(kErrorBadParameter);
  if (!source_.Start(args.picture, depthMask)) return false;
  const DibAccess& src = source_.Record();
  rect_ = WorkRect{0, 0, src.MaxX, src.MaxY};
  HGLOBAL maskPicture = nullptr;
  if (args.mode == kSelectMask) {
    maskPicture = args.mask;
  } else if (args.mode != kSelectWhole) {
    builtMask_.Reset(BuildSelectionMask(args.mode, args.points, args.pointCount, args.rect.left,
                                        args.rect.top, args.rect.right, args.rect.bottom,
                                        args.inside, &rect_, TRUE));
    if (!builtMask_) return false;
    maskPicture = builtMask_.Get();
  }
  if (!maskPicture && args.mode != kSelectMask) return true;
  if (!mask_.Start(maskPicture, kDepthMaskPicture)) return false;
  if (mask_->Width != src.Width || mask_->Height != src.Height) return Fail(kErrorBadPicture);
  // What counts is the colour of each index, not the index: a table of
  // (white, black) selects the zero bits. An index without a table entry
  // selects nothing.
  const MaskSelection selection = MaskSelectionOf(mask_.Record());
  flag_[0] = selection.selects[0];
  flag_[1] = selection.selects[1];
  return true;
}

MaskRow Selection::Row(int y) const {
  MaskRow row;
  row.bits = DibRow(mask_.Record(), y);
  row.flag[0] = flag_[0];
  row.flag[1] = flag_[1];
  return row;
}

}  // namespace qvx
