// The new picture an effect builds, locked while it is written, and the
// helpers the effect frames share around it.
#pragma once

#include <cstdint>

#include "frame/DibAccess.h"
#include "frame/Resources.h"
#include "frame/Selection.h"

namespace qvx {

// A new picture, locked for the object's life and freed with it unless
// released.
class LockedPicture {
 public:
  // A full copy of a locked picture, rows included.
  bool MakeCopy(const DibAccess& picture) {
    return Make(picture, picture.Width, picture.Height, TRUE);
  }
  // A picture of the same format (header and colour table) and any size,
  // rows zero, or (kPixelsUnwritten) only the row padding zero, for a
  // caller that writes every pixel.
  bool MakeLike(const DibAccess& like, int width, int height, NewRows rows = NewRows::kZero) {
    return Make(like, width, height, FALSE, rows);
  }
  // A picture of a stated kind (NewDibOfKind from `like`: its table when the
  // kind is its own, else the kind's standard table), rows zero. A width or
  // height beyond the int range fails with error 5.
  bool MakeOfKind(const DibAccess& like, int kind, std::int64_t width, std::int64_t height,
                  NewRows rows = NewRows::kZero);
  // MakeCopy, or when copyRows is false a picture of the same size whose
  // pixels the caller all writes (only the row padding zero).
  bool Make(const DibAccess& like, bool copyRows) {
    return copyRows ? MakeCopy(like)
                    : MakeLike(like, like.Width, like.Height, NewRows::kPixelsUnwritten);
  }
  DibAccess& Record() { return dib_.Record(); }
  // Unlocks the picture and hands it over.
  HGLOBAL Release() {
    dib_.End();
    return block_.Release();
  }

 private:
  bool Make(const DibAccess& like, int width, int height, BOOL copyRows,
            NewRows rows = NewRows::kZero);
  OwnedBlock block_;  // declared first, so the lock goes before the block
  LockedDib dib_;
};

// Whether every pixel of the picture is in the work rectangle and selected.
bool SelectsWholePicture(const Selection& selection);

// Copies the bytes after the last pixel of row y from source to result.
void CopyRowPadding(const DibAccess& source, DibAccess& result, int y);

}  // namespace qvx
