// The four pixel-access exports. Each works on a private copy of the
// caller's record and copies it back only on success, so a failed call
// leaves the caller's record exactly as it was.
#include <cstring>

#include "exports/Exported.h"
#include "frame/ErrorCodes.h"

namespace {

using qvx::kErrorBadParameter;

// A record handed back by a caller must still describe a locked picture of
// this module: its header must start a live block, and every field a pixel
// access relies on (pointers, sizes, stride, masks, table entry count) must
// equal what locking that picture gives. Anything else is refused as a bad
// parameter instead of being followed into memory the caller does not own.
bool DescribesLockedPicture(const DibAccess& record) {
  if (!record.Header) return false;
  HGLOBAL block = GlobalHandle(record.Header);
  if (!block) return false;
  DibAccess fresh;
  if (!qvx::DescribeLockedDib(record.Header, GlobalSize(block), qvx::kDepthAll, &fresh))
    return false;
  return record.ColorTable == fresh.ColorTable && record.Bits == fresh.Bits &&
         record.BitCount == fresh.BitCount && record.Width == fresh.Width &&
         record.Height == fresh.Height && record.MaxX == fresh.MaxX &&
         record.MaxY == fresh.MaxY && record.RowBytes == fresh.RowBytes &&
         record.RedMask == fresh.RedMask && record.GreenMask == fresh.GreenMask &&
         record.BlueMask == fresh.BlueMask && record.ColorCount == fresh.ColorCount;
}

template <class Operation>
BOOL OnCopy(DibAccess* record, Operation&& operation) {
  if (!record) {
    SetErrorStatus(kErrorBadParameter);
    return FALSE;
  }
  DibAccess copy;
  std::memcpy(&copy, record, sizeof copy);
  if (!operation(&copy)) return FALSE;
  SetErrorStatus(qvx::kErrorNone);
  std::memcpy(record, &copy, sizeof copy);
  return TRUE;
}

}  // namespace

QVX_API BOOL WINAPI QVStartDibAccess(HGLOBAL picture, DibAccess* record) {
  return OnCopy(record, [&](DibAccess* copy) {
    return qvx::StartDibAccess(picture, copy, qvx::kDepthAll);
  });
}

QVX_API BOOL WINAPI QVEndDibAccess(HGLOBAL picture, DibAccess* record) {
  return OnCopy(record, [&](DibAccess* copy) { return qvx::EndDibAccess(picture, copy); });
}

QVX_API BOOL WINAPI QVGetDibPixel(DibAccess* record, int x, int y) {
  return OnCopy(record, [&](DibAccess* copy) {
    if (!DescribesLockedPicture(*copy)) {
      SetErrorStatus(kErrorBadParameter);
      return FALSE;
    }
    copy->UseRgb = 1;
    return qvx::GetDibPixel(copy, x, y);
  });
}

QVX_API BOOL WINAPI QVSetDibPixel(DibAccess* record, int x, int y) {
  return OnCopy(record, [&](DibAccess* copy) {
    if (!DescribesLockedPicture(*copy)) {
      SetErrorStatus(kErrorBadParameter);
      return FALSE;
    }
    copy->UseRgb = 0;
    return qvx::SetDibPixel(copy, x, y);
  });
}
