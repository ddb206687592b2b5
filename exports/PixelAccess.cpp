// The four pixel-access exports. Each works on a private copy of the
// caller's record and copies it back only on success, so a failed call
// leaves the caller's record exactly as it was.
#include <cstring>

#include "exports/Exported.h"
#include "frame/ErrorCodes.h"

namespace {

using qvx::kErrorBadParameter;

// A record handed back by a caller must still describe a locked picture of
// this module: its header must start a live block, and every derived field
// must agree with that header. Anything else is refused as a bad parameter
// instead of being followed into memory the caller does not own.
bool DescribesLockedPicture(const DibAccess& record) {
  if (!record.Header) return false;
  HGLOBAL block = GlobalHandle(record.Header);
  if (!block) return false;
  const SIZE_T blockBytes = GlobalSize(block);
  if (blockBytes < sizeof(BITMAPINFOHEADER)) return false;
  const BITMAPINFOHEADER& header = *record.Header;
  if (header.biSize != sizeof(BITMAPINFOHEADER) || header.biWidth != record.Width ||
      header.biHeight != record.Height || header.biBitCount != record.BitCount ||
      record.Width < 1 || record.Height < 1 || record.MaxX != record.Width - 1 ||
      record.MaxY != record.Height - 1)
    return false;
  const std::uint32_t rowBytes = qvx::RowBytesFor(record.BitCount, record.Width);
  const auto* table = reinterpret_cast<const BYTE*>(record.Header) + header.biSize;
  const std::uint64_t tableBytes = GetDibPalSize(record.Header);
  if (rowBytes == 0 || record.RowBytes != rowBytes ||
      reinterpret_cast<const BYTE*>(record.ColorTable) != table || record.Bits != table + tableBytes)
    return false;
  const std::uint64_t needed =
      sizeof(BITMAPINFOHEADER) + tableBytes + std::uint64_t{rowBytes} * record.Height;
  if (blockBytes < needed) return false;
  if (record.BitCount == 16 && record.RedMask != 0x7C00 && record.RedMask != 0xF800) return false;
  return true;
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
