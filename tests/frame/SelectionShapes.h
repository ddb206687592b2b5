// Shapes whose pixels are worked out by hand from GDI's drawing rules, and
// ways to look at selection masks as rows of text, for the selection tests.
#pragma once

#include <climits>
#include <sstream>
#include <string>
#include <vector>

#include "exports/QvxEffect.h"
#include "frame/Selection.h"
#include "support/Pictures.h"

namespace qvx::test {

// The picture most selection tests work on: 10 x 8.
inline constexpr int kWidth = 10;
inline constexpr int kHeight = 8;

// Rows of a w x h grid from the top, '#' where on(x, y) holds, '.' elsewhere.
template <class On>
std::vector<std::string> Grid(int w, int h, On on) {
  std::vector<std::string> rows;
  for (int y = 0; y < h; ++y) {
    std::string row;
    for (int x = 0; x < w; ++x) row += on(x, y) ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

// The rows of a 1-bit picture, '#' for bit 1, read straight from its bytes.
inline std::vector<std::string> MaskRows(HGLOBAL mask) {
  PictureView view(mask);
  return Grid(view.Width(), view.Height(),
              [&](int x, int y) { return ((view.Row(y)[x >> 3] >> (7 - (x & 7))) & 1) != 0; });
}

// The right triangle (a, b), (a + n, b), (a, b + n). The even-odd fill of row
// y covers a <= x < a + n - (y - b) (the hypotenuse crosses the row there);
// the outline adds the hypotenuse's pixels (a + n - i, b + i) for i = 0..n-1,
// the top edge from (a, b) and the left edge from (a, b + n). So row y, for
// b <= y <= b + n, holds exactly a <= x <= a + n - (y - b).
struct Staircase {
  int a, b, n;
  std::vector<POINT> Vertices() const { return {{a, b}, {a + n, b}, {a, b + n}}; }
  bool Has(int x, int y) const { return y >= b && y <= b + n && x >= a && x <= a + n - (y - b); }
};

// The ellipse inscribed in a 5 x 5 box with its corner at (left, top). With
// A = B = 4 the quarter stepping gives the boundary points (4, 2), (4, 3),
// (3, 4), (2, 4); mirrored, rows 1..3 span columns 0..4 and rows 0 and 4
// columns 1..3 of the box. The box's right column and bottom row (the
// rectangle's right and bottom) stay clear.
struct FiveByFiveEllipse {
  int left, top;
  RECT Rect() const { return {left, top, left + 5, top + 5}; }
  bool Has(int x, int y) const {
    const int u = x - left;
    const int v = y - top;
    if (v < 0 || v > 4) return false;
    return (v == 0 || v == 4) ? (u >= 1 && u <= 3) : (u >= 0 && u <= 4);
  }
};

// Vertices as text, "(x, y) (x, y) ...", for comparing vertex arrays.
inline std::string Text(const std::vector<POINT>& points) {
  std::ostringstream text;
  for (const POINT& p : points) text << "(" << p.x << ", " << p.y << ") ";
  return text.str();
}

// A work rectangle as text, "(left, top, right, bottom)".
inline std::string Text(const WorkRect& r) {
  std::ostringstream text;
  text << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
  return text.str();
}

// The axis-aligned rectangle polygon (l, t), (r, t), (r, b), (l, b): the
// outline keeps its right and bottom sides, so it covers l..r by t..b.
inline std::vector<POINT> RectanglePolygon(int l, int t, int r, int b) {
  return {{l, t}, {r, t}, {r, b}, {l, b}};
}

}  // namespace qvx::test
