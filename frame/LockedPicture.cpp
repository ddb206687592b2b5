#include "frame/LockedPicture.h"

#include <climits>
#include <cstring>

#include "frame/ErrorCodes.h"
#include "platform/QvxCom.h"

namespace qvx {

bool LockedPicture::Make(const DibAccess& like, int width, int height, BOOL copyRows,
                         NewRows rows) {
  block_.Reset(NewDibLike(like.Header, width, height, copyRows, rows));
  return block_ && dib_.Start(block_.Get(), kDepthAll);
}

bool LockedPicture::MakeOfKind(const DibAccess& like, int kind, std::int64_t width,
                               std::int64_t height, NewRows rows) {
  if (width > INT_MAX || height > INT_MAX) {
    SetErrorStatus(kErrorBadParameter);
    return false;
  }
  block_.Reset(NewDibOfKind(&like, kind, static_cast<int>(width), static_cast<int>(height), rows));
  return block_ && dib_.Start(block_.Get(), kDepthAll);
}

bool SelectsWholePicture(const Selection& selection) {
  const WorkRect& rect = selection.Rect();
  const DibAccess& source = selection.SourceRecord();
  return selection.AllSelected() && rect.left == 0 && rect.top == 0 && rect.right == source.MaxX &&
         rect.bottom == source.MaxY;
}

void CopyRowPadding(const DibAccess& source, DibAccess& result, int y) {
  const std::size_t used = (static_cast<std::size_t>(source.BitCount) * source.Width + 7) / 8;
  if (used >= source.RowBytes) return;
  std::memcpy(DibRow(result, y) + used, DibRow(source, y) + used, source.RowBytes - used);
}

}  // namespace qvx
