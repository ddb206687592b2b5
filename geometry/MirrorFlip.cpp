// MirrorDibImage and FlipDibImage: both read a snapshot of the picture (and
// of the mask) and write the picture in place, one row per progress report.
#include "geometry/MirrorFlip.h"

#include <cstring>
#include <optional>

#include "geometry/GeometryPixels.h"

namespace qvx {
namespace {

bool HasPicture(const DibAccess* record) { return record && record->Header; }

// The mask must be absent or of the picture's size; snapshots of both.
bool TakeSnapshots(const DibAccess* picture, const DibAccess* mask, LockedPicture& pictureCopy,
                   LockedPicture& maskCopy) {
  if (!picture || !picture->Header) {
    SetErrorStatus(kErrorBadParameter);
    return false;
  }
  if (HasPicture(mask) && (mask->Width != picture->Width || mask->Height != picture->Height)) {
    SetErrorStatus(kErrorBadParameter);
    return false;
  }
  return pictureCopy.MakeCopy(*picture) && (!HasPicture(mask) || maskCopy.MakeCopy(*mask));
}

// Result pixel x takes source pixel width - 1 - x of the same row.
template <class Px>
void MirrorRow(const Px& dst, const Px& src, int y, int width) {
  TransferRun(dst, dst.At(dst.Row(y), 0), src, src.At(src.Row(y), width - 1), width, -1, 0, false);
}

void FlipRows(const DibAccess& dst, const DibAccess& src, int y) {
  std::memcpy(DibRow(dst, dst.MaxY - y), DibRow(src, y), dst.RowBytes);
}

}  // namespace

BOOL MirrorDibImage(DibAccess* picture, DibAccess* mask, ProgressRange range, BOOL noDialog,
                    PixelRoute path) {
  LockedPicture pictureCopy, maskCopy;
  if (!TakeSnapshots(picture, mask, pictureCopy, maskCopy)) return FALSE;
  std::optional<PxRecord> maskDst, maskSrc;
  if (HasPicture(mask)) {
    maskDst.emplace(mask);
    maskSrc.emplace(&maskCopy.Record());
  }
  const int width = picture->Width, height = picture->Height;
  return DispatchPixels(path, pictureCopy.Record(), *picture,
                        [&](const auto& src, const auto& dst) {
                          for (int y = 0; y < height; ++y) {
                            MirrorRow(dst, src, y, width);
                            if (maskDst) MirrorRow(*maskDst, *maskSrc, y, width);
                            if (!ReportRow(y, height, range, noDialog)) return FALSE;
                          }
                          return TRUE;
                        });
}

BOOL FlipDibImage(DibAccess* picture, DibAccess* mask, ProgressRange range, BOOL noDialog) {
  LockedPicture pictureCopy, maskCopy;
  if (!TakeSnapshots(picture, mask, pictureCopy, maskCopy)) return FALSE;
  const int height = picture->Height;
  for (int y = 0; y < height; ++y) {
    FlipRows(*picture, pictureCopy.Record(), y);
    if (HasPicture(mask)) FlipRows(*mask, maskCopy.Record(), y);
    if (!ReportRow(y, height, range, noDialog)) return FALSE;
  }
  return TRUE;
}

}  // namespace qvx
