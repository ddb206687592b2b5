// Progress ranges of the geometric workers: the slice lo..hi of the
// progress window that one pass reports into, split between the stages of
// a call.
#pragma once

#include <cstdlib>

#include "frame/Progress.h"

namespace qvx {

struct ProgressRange {
  BYTE from;
  BYTE to;
};

inline constexpr ProgressRange kWholeProgress{0, 100};

// Two consecutive slices: from..mid and mid+1..to, mid = from + |to - from| / 2.
struct ProgressHalves {
  ProgressRange first;
  ProgressRange second;
};

inline ProgressHalves SplitProgress(ProgressRange range) {
  const int mid = range.from + std::abs(range.to - range.from) / 2;
  return {{range.from, static_cast<BYTE>(mid)}, {static_cast<BYTE>(mid + 1), range.to}};
}

// Reports row `row` of `rows` rows done; false (error 1 set) on cancel.
inline bool ReportRow(int row, int rows, ProgressRange range, BOOL noDialog) {
  return ReportProgress(row, rows - 1, range.from, range.to, noDialog);
}

}  // namespace qvx
