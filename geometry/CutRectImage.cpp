// QVCutRectImage: an upright rectangle of a picture copied into a new
// picture of the same format, whole bytes per row, shifting 1- and 4-bit
// rows that start inside a byte.
#include <algorithm>
#include <cstring>
#include <utility>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "geometry/GeometryPixels.h"
#include "geometry/ProgressRange.h"

namespace qvx {
namespace {

// Copies `count` bytes of a row of sub-byte pixels that starts `shift` bits
// into its first byte, so that the result starts on a byte. `available`
// bytes of the source row may be read.
void ShiftedCopy(BYTE* d, const BYTE* s, std::size_t count, std::size_t available, int shift) {
  for (std::size_t i = 0; i < count; ++i) {
    const int next = i + 1 < available ? s[i + 1] : 0;
    d[i] = static_cast<BYTE>((s[i] << shift) | (next >> (8 - shift)));
  }
}

HGLOBAL CutRect(HGLOBAL picture, RECT rect, BOOL noDialog) {
  LockedDib source;
  if (!source.Start(picture, kDepthAll)) return nullptr;
  const DibAccess& src = source.Record();
  int left = rect.left, top = rect.top, right = rect.right, bottom = rect.bottom;
  left = std::clamp(left, 0, src.MaxX);
  right = std::clamp(right, 0, src.MaxX);
  top = std::clamp(top, 0, src.MaxY);
  bottom = std::clamp(bottom, 0, src.MaxY);
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  const int width = right - left + 1, height = bottom - top + 1;
  LockedPicture result;
  if (!result.MakeLike(src, width, height)) return nullptr;
  const DibAccess& dst = result.Record();
  const int bits = src.BitCount;
  // The first source byte of the rectangle and, for 1 and 4 bits, how many
  // bits into it the rectangle starts.
  const std::size_t firstByte = static_cast<std::size_t>(left) * bits / 8;
  const int shift = (left * bits) % 8;
  const std::size_t count = (static_cast<std::size_t>(width) * bits + 7) / 8;
  const std::size_t available = src.RowBytes - firstByte;
  for (int y = 0; y < height; ++y) {
    const BYTE* s = DibRow(src, top + y) + firstByte;
    BYTE* d = DibRow(dst, y);
    if (shift)
      ShiftedCopy(d, s, count, available, shift);
    else
      std::memcpy(d, s, count);
    if (!ReportRow(y, height, kWholeProgress, noDialog)) return nullptr;
  }
  return result.Release();
}

}  // namespace
}  // namespace qvx

QVX_API HGLOBAL WINAPI QVCutRectImage(HGLOBAL picture, RECT* rect, BOOL noDialog, DWORD dlgArg1,
                                      DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3},
                        [&] { return qvx::CutRect(picture, qvx::CopyRect(rect), noDialog); });
}
