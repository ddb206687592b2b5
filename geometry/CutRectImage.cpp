// QVCutRectImage: an upright rectangle of a picture copied into a new
// picture of the same format, whole bytes per row, shifting 1- and 4-bit
// rows that start inside a byte.
#include <algorithm>
#include <utility>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "geometry/GeometryPixels.h"
#include "geometry/ProgressRange.h"
#include "geometry/StoredRows.h"

namespace qvx {
namespace {

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
  for (int y = 0; y < height; ++y) {
    CopyStoredRow(DibRow(dst, y), src, top + y, left, width);
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
