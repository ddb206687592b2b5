// The frame of effects that take two pictures (a base and a layer, a target
// and a pasted picture, a colour and an alpha picture): both locked and
// checked, an optional 1-bit mask of the second picture's size, new pictures
// of a stated kind, and the row walk with its progress reports. Pixels of
// the two pictures meet as decoded runs (frame/PictureRows.h), so an effect
// is written once for every pair of depths.
#pragma once

#include <cstdint>

#include "frame/DibAccess.h"
#include "frame/Progress.h"
#include "frame/Resources.h"

namespace qvx {

// Two locked pictures and the optional mask of the second. Everything is
// unlocked when the object goes.
class TwoPictures {
 public:
  // Locks the first picture, then the second, then the mask (1-bit only);
  // false with the error status set: 7 or 3 from a lock, 7 when the mask's
  // width or height differs from the second picture's.
  bool Lock(HGLOBAL first, unsigned firstDepths, HGLOBAL second, unsigned secondDepths,
            HGLOBAL mask = nullptr);

  DibAccess& First() { return first_.Record(); }
  DibAccess& Second() { return second_.Record(); }
  bool HasMask() const { return mask_.Held(); }
  DibAccess& Mask() { return mask_.Record(); }

 private:
  LockedDib first_, second_, mask_;
};

// Whether each of the two indices of a 1-bit mask picture selects: its
// colour-table entry is not black (an index without an entry selects
// nothing).
struct MaskSelection {
  bool selects[2];
};
MaskSelection MaskSelectionOf(const DibAccess& mask);

// A new picture of a stated kind, locked while it is written and freed
// with the object unless released.
class NewPicture {
 public:
  // NewDibOfKind from `like`, then locked with every depth. A width or
  // height beyond the int range fails with error 5; the rest fail as
  // NewDibOfKind and StartDibAccess do (2, 3, 7).
  bool Make(const DibAccess& like, int kind, std::int64_t width, std::int64_t height);
  bool Made() const { return static_cast<bool>(block_); }
  HGLOBAL Handle() const { return block_.Get(); }
  DibAccess& Record() { return locked_.Record(); }
  // Unlocks the picture and hands it over.
  HGLOBAL Release() {
    locked_.End();
    return block_.Release();
  }

 private:
  OwnedBlock block_;  // declared first, so the lock goes before the block
  LockedDib locked_;
};

// A slice of the progress window, from..to percent.
struct ProgressSlice {
  int from = 0;
  int to = 100;
};

// Calls row(i) for i = 0 .. rows - 1 and reports PercentProgress(i, total,
// slice) after each; false when row() fails or the user cancels (error 1
// set).
template <class Row>
bool WalkRows(int rows, int total, ProgressSlice slice, BOOL noDialog, Row&& row) {
  for (int i = 0; i < rows; ++i) {
    if (!row(i)) return false;
    if (!ReportProgress(i, total, slice.from, slice.to, noDialog)) return false;
  }
  return true;
}

}  // namespace qvx
