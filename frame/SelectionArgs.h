// The six leading arguments of a selection-aware effect, as the export
// frame hands them to the worker: the handles copied out of the caller's
// ImageHandles and the ellipse rectangle copied out of its RECT.
#pragma once

#include "frame/ImageHandles.h"
#include "platform/WinTypes.h"

namespace qvx {

enum SelectionMode : BYTE {
  kSelectMask = 0,     // the caller's 1-bit mask picture
  kSelectWhole = 1,    // every pixel
  kSelectPolygon = 2,  // inside (or outside) a polygon
  kSelectEllipse = 3,  // inside (or outside) the ellipse inscribed in a rectangle
};

struct SelectionArgs {
  HGLOBAL picture = nullptr;  // the source picture
  HGLOBAL mask = nullptr;     // the mask picture of mode 0
  BYTE mode = kSelectWhole;
  POINT* points = nullptr;  // polygon vertices (mode 2); may be moved in place
  int pointCount = 0;
  RECT rect{};  // ellipse rectangle (mode 3)
  BOOL inside = TRUE;
};

}  // namespace qvx
