// Selection: which pixels of a picture an effect may change.
//
// An effect worker turns its six selection arguments into a work rectangle,
// outside of which nothing is visited, and an optional 1-bit mask that says
// pixel by pixel whether the effect applies. Shapes (polygon, ellipse) are
// drawn into a new 1-bit picture; a caller's mask picture is used as it is.
#pragma once

#include <cstdint>

#include "frame/DibAccess.h"
#include "frame/Resources.h"
#include "frame/SelectionArgs.h"
#include "platform/WinTypes.h"

namespace qvx {

// Inclusive on all four sides; empty when left > right or top > bottom.
struct WorkRect {
  int left = 0;
  int top = 0;
  int right = -1;
  int bottom = -1;
  bool Empty() const { return left > right || top > bottom; }
};

// Draws the shape of `mode` into a new 1-bit picture (bit 1 = selected) and
// narrows *workRect to the shape's clipped bounding box when `inside` is set.
// pictureSized: the mask covers the incoming work rectangle's bounds
// (picture coordinates); otherwise it covers only the narrowed rectangle and
// shapes are drawn relative to its corner (the caller's vertices are moved
// in place). Null with the error status set on failure.
HGLOBAL BuildSelectionMask(BYTE mode, POINT* points, int pointCount, int left, int top, int right,
                           int bottom, BOOL inside, WorkRect* workRect, BOOL pictureSized);

// The first half of BuildSelectionMask: checks the shape and narrows
// *workRect to its clipped bounding box when `inside` is set. False with
// error 5 for a shape that cannot be drawn.
bool NarrowToShape(BYTE mode, const POINT* points, int pointCount, int left, int top, int right,
                   int bottom, BOOL inside, WorkRect* workRect);

// Drawing into an unlocked 1-bit picture, as GDI draws with a white pen and
// brush. Each locks the picture for the drawing (error 3 when it cannot).
BOOL DrawPolygonMask(HGLOBAL mask, const POINT* points, int pointCount);
BOOL DrawEllipseMask(HGLOBAL mask, int left, int top, int right, int bottom);
BOOL DrawLineMask(HGLOBAL mask, int x1, int y1, int x2, int y2);
BOOL FloodFillMask(HGLOBAL mask, int x, int y);

// Complements every 32-bit word of every row (padding bits included).
BOOL InvertMonoDib(HGLOBAL mask, DWORD rowBytes);

// A new 1-bit picture of zeros with the black and white table; null with
// error 3 for sizes it cannot have.
HGLOBAL NewMaskPicture(std::int64_t width, std::int64_t height);

// One row of a mask and the selection flags of its two colour indices.
struct MaskRow {
  const BYTE* bits = nullptr;
  BYTE flag[2] = {1, 1};
  bool Selected(int x) const { return flag[(bits[x >> 3] >> (7 - (x & 7))) & 1] != 0; }
};

// The selection of one effect call. Begin() does the whole set-up: the mode
// check, locking the source with the effect's accepted depths, the work
// rectangle, and the mask (the caller's, locked, or one built from the
// shape). Everything is released when the object goes.
class Selection {
 public:
  Selection() = default;
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

  // False with the error status set when the effect must stop.
  bool Begin(const SelectionArgs& args, unsigned depthMask);

  LockedDib& Source() { return source_; }
  const DibAccess& SourceRecord() const { return source_.Record(); }
  const WorkRect& Rect() const { return rect_; }

  // True when every pixel of the work rectangle is selected (no mask, or a
  // mask whose two colours are both selected).
  bool AllSelected() const { return !mask_.Held() || (flag_[0] && flag_[1]); }
  // True when no pixel can be selected (a mask whose colours are both black).
  bool NoneSelected() const { return mask_.Held() && !flag_[0] && !flag_[1]; }

  // The mask row for picture row y (only when a mask is in use).
  MaskRow Row(int y) const;
  bool Selected(int x, int y) const { return AllSelected() || Row(y).Selected(x); }

  // Calls run(x0, x1) for every maximal run of selected pixels x0..x1
  // (inclusive) of row y inside the work rectangle, from left to right.
  template <class Run>
  void ForEachRun(int y, Run&& run) const {
    ForEachRunIn(y, rect_.left, rect_.right, run);
  }
  // The same over columns left..right of row y, which may reach beyond the
  // work rectangle (a mask covers the whole picture).
  template <class Run>
  void ForEachRunIn(int y, int left, int right, Run&& run) const {
    if (left > right || NoneSelected()) return;
    if (AllSelected()) {
      run(left, right);
      return;
    }
    const MaskRow row = Row(y);
    int x = left;
    while (x <= right) {
      while (x <= right && !row.Selected(x)) ++x;
      const int start = x;
      while (x <= right && row.Selected(x)) ++x;
      if (start < x) run(start, x - 1);
    }
  }

 private:
  LockedDib source_;
  OwnedBlock builtMask_;  // declared before mask_, so it is unlocked first
  LockedDib mask_;
  WorkRect rect_;
  BYTE flag_[2] = {1, 1};
};

}  // namespace qvx
