// The frame of effects that take two pictures (a base and a layer, a target
// and a pasted picture, a colour and an alpha picture): both locked and
// checked, an optional 1-bit mask of the second picture's size, and the row
// walk with its progress reports; new pictures of a stated kind are
// LockedPicture::MakeOfKind. Pixels of the two pictures meet as decoded runs
// (frame/PictureRows.h), so an effect is written once for every pair of
// depths.
#pragma once

#include <cstdint>

#include "frame/DibAccess.h"
#include "frame/LockedPicture.h"
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

// A slice of the progress window, from..to percent.
struct ProgressSlice {
  int from = 0;
  int to = 100;
};

// Calls row(i) for every i in 0 .. rows - 1 and reports PercentProgress(n,
// total, slice) after each, n counting the rows done from 0; false when
// row() fails or the user cancels (error 1 set). Row i counts from the top,
// and rows are stored bottom-up, so the rows are visited from rows - 1 down
// to 0: forward through memory, where the processor's prefetching keeps up
// (a picture-sized pass walked top-down ran two to three times slower).
template <class Row>
bool WalkRows(int rows, int total, ProgressSlice slice, BOOL noDialog, Row&& row) {
  for (int done = 0; done < rows; ++done) {
    if (!row(rows - 1 - done)) return false;
    if (!ReportProgress(done, total, slice.from, slice.to, noDialog)) return false;
  }
  return true;
}

}  // namespace qvx
