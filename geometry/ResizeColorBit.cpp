// ResizeColorBit: a rectangle of a colour picture box-averaged down to a
// given size, in one plain call without progress window.
//
// Where the caller's arguments go beyond what box averaging covers:
//  - the rectangle is clamped into the picture;
//  - a result larger than the rectangle would give empty boxes; they are
//    widened to the one source pixel at their start, so the result is
//    sampled rather than left black;
//  - 1-, 4- and 8-bit colour pictures are averaged through their colour
//    table and each result pixel takes the nearest table entry.
#include "geometry/ResizeColorBit.h"

#include <algorithm>
#include <cstdint>

#include "exports/Exported.h"
#include "geometry/BoxAverage.h"
#include "geometry/GeometryPixels.h"

namespace qvx {
namespace {

// True when the picture cannot be locked or the sibling library counts it
// as grey. A block too short for the header and table it declares is left
// for StartDibAccess to refuse.
bool LockFailsOrGrey(HGLOBAL picture) {
  const auto* header = static_cast<const BITMAPINFOHEADER*>(GlobalLock(picture));
  if (!header) return true;
  const SIZE_T bytes = GlobalSize(picture);
  bool grey = false;
  if (bytes >= sizeof(BITMAPINFOHEADER) && header->biSize == sizeof(BITMAPINFOHEADER) &&
      bytes >= header->biSize + std::uint64_t{4} * DibNumColors(header))
    grey = IsGrayImage(header);
  GlobalUnlock(picture);
  return grey;
}

}  // namespace

HGLOBAL ResizeRectangle(HGLOBAL picture, int left, int top, int right, int bottom, int width,
                        int height, PixelRoute path) {
  if (std::int64_t{right} - left < 1 || std::int64_t{bottom} - top < 1) return nullptr;
  if (LockFailsOrGrey(picture)) return nullptr;
  LockedDib source;
  if (!source.Start(picture, kDepthAll)) return nullptr;
  DibAccess& src = source.Record();
  left = std::clamp(left, 0, src.MaxX);
  right = std::clamp(right, 0, src.MaxX);
  top = std::clamp(top, 0, src.MaxY);
  bottom = std::clamp(bottom, 0, src.MaxY);
  const SourceArea area{left, top, right - left + 1, bottom - top + 1};
  LockedPicture result;
  if (!result.MakeLike(src, width, height)) return nullptr;
  BoxTables tables;
  if (!tables.Allocate(width, area.width, src.BitCount)) return nullptr;
  // Palette pictures read colours through their table and write the nearest
  // entry, through the record operations.
  const bool palette = src.BitCount <= 8;
  if (palette) {
    src.UseRgb = 1;
    path = PixelRoute::kRecord;
  }
  DispatchPixels(path, src, result.Record(), [&](const auto& s, const auto& d) {
    return BoxAverageRows(s, area, d, width, height, tables, nullptr, FALSE);
  });
  return result.Release();
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI ResizeColorBit(HGLOBAL picture, int left, int top, int right, int bottom,
                                      int width, int height) {
  return qvx::ResizeRectangle(picture, left, top, right, bottom, width, height);
}
