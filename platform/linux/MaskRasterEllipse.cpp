// Portable Ellipse: GDI's ellipse pixels for any rectangle in the 32-bit
// coordinate range, in time proportional to the picture.
//
// After ordering the rectangle, W = right - left and H = bottom - top:
// nothing for W = 0, H = 0 or a 1 x 1 rectangle; the whole rectangle when W or
// H is at most 2; otherwise an integer stepping over one quarter of the
// boundary, with A = W - 1 and B = H - 1 (the box measured in pixel steps):
//
//   dx = 4B^2(1 - A), dy = 4A^2(1 + B mod 2), err = dx + dy + A^2 (B mod 2)
//   x = A, y = H div 2
//   while x >= W div 2:
//     boundary point (x, y); e2 = 2 err
//     if e2 >= dx: x -= 1, dx += 8B^2, err += dx
//     if e2 <= dy: y += 1, dy += 8A^2, err += dy
//
// Point (x, y) stands for (x, y), (A - x, y), (x, B - y) and (A - x, B - y)
// relative to the box corner, and every row holding boundary pixels is set
// from its leftmost to its rightmost one. As x >= A / 2 on the path, the row
// of path row y is the span A - x .. x, where x is the column at which the
// path enters the row; rows the path never reaches stay clear (a very tall,
// narrow ellipse leaves its top and bottom rows clear this way).
//
// Stepping literally costs W + H iterations and overflows 64 bits once the
// box is a few million wide, so the path is reproduced row by row instead.
// With U = 2x - A, V = 2y - B and F(U, V) = B^2 U^2 + A^2 V^2 - A^2 B^2
// (zero on the inscribed ellipse, in doubled coordinates), err is always F at
// the diagonal neighbour (x - 1, y + 1), dx and dy are F's increments for one
// step left and one step down, and the two tests become
//
//   step left  iff F(U - 1, V + 2) + B^2 >= 0   (about: (x - 1/2, y + 1) is outside)
//   step down  iff F(U - 2, V + 1) + A^2 <= 0   (about: (x - 1, y + 1/2) is inside)
//
// both evaluated exactly with 192-bit sums. On the path (V >= 0) "step left"
// holds from some column rightwards and "step down" from some column
// leftwards, and as y grows both of those columns only move left. Some step
// is always taken, so within a row the path moves left from its entry column
// until "step down" holds, then goes down (and left too when "step left"
// holds there); the loop ends when it steps left of column W div 2. That
// makes the entry column of the next row a monotonic function of this row's
// entry column, found with a few probes per row. To start at a row far from
// the path's first row, the path is bracketed: it enters row y no further
// left than the last column where "step left" fails in row y (it only ever
// steps left from columns right of that one) and no further right than the
// last column where "step down" holds in row y - 1. Both brackets are carried
// down with the same monotonic map; once they meet the path is known exactly.
// They meet within a few rows (never more than four in millions of random
// trials); when they have not met by the row wanted, the start moves further
// back, at worst to the path's first row, so the result never depends on it.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/linux/MaskRasterRows.h"

namespace qvx {
namespace {

using std::int64_t;
using std::uint64_t;

constexpr uint64_t kLow32 = 0xFFFFFFFFu;

// Unsigned 192-bit number, for sums of a few squares of 64-bit numbers.
struct Wide {
  uint64_t lo = 0, mid = 0, hi = 0;
};

// acc += a * b, with the 128-bit product formed from 32-bit halves.
void AddProduct(Wide& acc, uint64_t a, uint64_t b) {
  const uint64_t a0 = a & kLow32, a1 = a >> 32, b0 = b & kLow32, b1 = b >> 32;
  const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const uint64_t middle = (p00 >> 32) + (p01 & kLow32) + (p10 & kLow32);
  const uint64_t lo = (p00 & kLow32) | (middle << 32);
  const uint64_t hi = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
  acc.lo += lo;
  uint64_t carry = acc.lo < lo ? 1 : 0;
  acc.mid += carry;
  uint64_t carryHigh = acc.mid < carry ? 1 : 0;
  acc.mid += hi;
  carryHigh += acc.mid < hi ? 1 : 0;
  acc.hi += carryHigh;
}

bool Less(const Wide& l, const Wide& r) {
  if (l.hi != r.hi) return l.hi < r.hi;
  if (l.mid != r.mid) return l.mid < r.mid;
  return l.lo < r.lo;
}

uint64_t Magnitude(int64_t v) { return v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v); }

// Marks a path that has finished: below every column, so the maps below stay
// monotonic with it.
constexpr int64_t kEnded = -1;

// One quarter of the boundary, in box coordinates.
struct Quarter {
  int64_t a, b;      // A = W - 1, B = H - 1; both below 2^32
  int64_t xLast;     // W div 2: the path's last column
  int64_t xDownLow;  // first column from which "step down" is monotonic
  int64_t yStart;    // H div 2: the path's first row
  Wide radii;        // (A B)^2
};

Quarter MakeQuarter(int64_t w, int64_t h) {
  Quarter q;
  q.a = w - 1;
  q.b = h - 1;
  q.xLast = w / 2;
  // F(U - 2, .) grows with x once U - 2 >= -1. For odd A that is every path
  // column; for even A the last column (U = 0, value at U - 2 = -2) is the
  // exception. The path leaves there anyway: it reaches column A / 2 only by
  // stepping left from A / 2 + 1, and as F(-1, .) = F(1, .) the same test
  // then steps it left again, out of the loop.
  q.xDownLow = (q.a % 2 != 0) ? (q.a + 1) / 2 : q.a / 2 + 1;
  q.yStart = h / 2;
  AddProduct(q.radii, uint64_t(q.a) * uint64_t(q.b), uint64_t(q.a) * uint64_t(q.b));
  return q;
}

// B^2 u^2 + A^2 v^2 + c^2, exactly. For the points tested every factor stays
// below 2^64: |u| <= A + 2 and 0 <= v <= B + 2 with A, B < 2^32 - 1.
Wide Level(const Quarter& q, int64_t u, int64_t v, uint64_t c) {
  Wide sum;
  AddProduct(sum, uint64_t(q.b) * Magnitude(u), uint64_t(q.b) * Magnitude(u));
  AddProduct(sum, uint64_t(q.a) * Magnitude(v), uint64_t(q.a) * Magnitude(v));
  AddProduct(sum, c, c);
  return sum;
}

// 2 err >= dx at (x, y): F(U - 1, V + 2) + B^2 >= 0.
bool StepsLeft(const Quarter& q, int64_t x, int64_t y) {
  return !Less(Level(q, 2 * x - q.a - 1, 2 * y - q.b + 2, uint64_t(q.b)), q.radii);
}

// 2 err <= dy at (x, y): F(U - 2, V + 1) + A^2 <= 0.
bool StepsDown(const Quarter& q, int64_t x, int64_t y) {
  return !Less(q.radii, Level(q, 2 * x - q.a - 2, 2 * y - q.b + 1, uint64_t(q.a)));
}

// Largest t in [lo, hi] with pred(t), where pred holds on a prefix of the
// range; lo - 1 when it holds nowhere. Probes from hi downwards in doubling
// steps and then bisects, so a boundary d columns below hi costs O(log d).
template <class Pred>
int64_t LastTrue(int64_t lo, int64_t hi, Pred pred) {
  if (lo > hi) return lo - 1;
  int64_t fails = hi + 1;  // pred known false here (or past the range)
  int64_t holds = 0;
  for (int64_t step = 1;; step *= 2) {
    const int64_t probe = std::max(lo, fails - step);
    if (pred(probe)) {
      holds = probe;
      break;
    }
    fails = probe;
    if (probe == lo) return lo - 1;
  }
  while (fails - holds > 1) {
    const int64_t mid = holds + (fails - holds) / 2;
    if (pred(mid)) {
      holds = mid;
    } else {
      fails = mid;
    }
  }
  return holds;
}

// Entry column of row y + 1 for a path entering row y at column x, or kEnded.
// The path moves left to the last column at or left of x where "step down"
// holds, steps down there, and left as well if "step left" holds. If it runs
// out of columns first, it ends in this row.
int64_t NextEntry(const Quarter& q, int64_t x, int64_t y) {
  if (x < q.xDownLow) return kEnded;
  const int64_t down = LastTrue(q.xDownLow, x, [&](int64_t t) { return StepsDown(q, t, y); });
  if (down < q.xDownLow) return kEnded;
  const int64_t next = down - (StepsLeft(q, down, y) ? 1 : 0);
  return next < q.xLast ? kEnded : next;
}

// Entry column of row y (>= yStart), or kEnded.
int64_t EntryAt(const Quarter& q, int64_t y) {
  for (int64_t back = 0;; back = std::max<int64_t>(4, back * 4)) {
    const int64_t from = std::max(q.yStart, y - back);
    int64_t lo = q.a;  // the path starts at column A
    int64_t hi = q.a;
    if (from > q.yStart) {
      lo = LastTrue(q.xLast, q.a, [&](int64_t t) { return !StepsLeft(q, t, from); });
      if (lo < q.xLast) lo = kEnded;
      hi = LastTrue(q.xDownLow, q.a, [&](int64_t t) { return StepsDown(q, t, from - 1); });
      if (hi < q.xDownLow) hi = kEnded;
    }
    int64_t row = from;
    for (; row < y && lo != hi; ++row) {
      lo = NextEntry(q, lo, row);
      hi = NextEntry(q, hi, row);
    }
    if (lo != hi) continue;
    for (; row < y && lo != kEnded; ++row) lo = NextEntry(q, lo, row);
    return lo;
  }
}

// The ellipse in the box at (left, top), w x h with w, h >= 3.
void DrawEllipse(const MonoRows& rows, int64_t left, int64_t top, int64_t w, int64_t h) {
  const Quarter q = MakeQuarter(w, h);
  // Path row y is drawn at picture rows top + y and top + B - y. The path
  // rows needed for each lie in one range; the two ranges overlap or touch
  // whenever both are non-empty, so together they span at most twice the
  // picture height.
  const int64_t lastRow = rows.height - 1;
  int64_t first = std::numeric_limits<int64_t>::max();
  int64_t last = std::numeric_limits<int64_t>::min();
  for (const auto& [lo, hi] :
       {std::pair{-top, lastRow - top}, std::pair{top + q.b - lastRow, top + q.b}}) {
    const int64_t from = std::max(lo, q.yStart);
    const int64_t to = std::min(hi, q.b);
    if (from > to) continue;
    first = std::min(first, from);
    last = std::max(last, to);
  }
  if (first > last) return;
  int64_t x = EntryAt(q, first);
  for (int64_t y = first; y <= last && x != kEnded; ++y) {
    mask::FillSpan(rows, top + y, left + q.a - x, left + x);
    mask::FillSpan(rows, top + q.b - y, left + q.a - x, left + x);
    x = NextEntry(q, x, y);
  }
}

}  // namespace

// A reversed rectangle is ordered first and draws exactly as the ordered one.
// The result is 1 even when nothing is drawn.
BOOL RasterEllipse(const MonoRows& rows, int left, int top, int right, int bottom) {
  if (!mask::Usable(rows)) return FALSE;
  const int64_t l = std::min(left, right), r = std::max(left, right);
  const int64_t t = std::min(top, bottom), b = std::max(top, bottom);
  const int64_t w = r - l, h = b - t;
  if (w == 0 || h == 0 || (w == 1 && h == 1)) return TRUE;
  if (w <= 2 || h <= 2) {
    // Too thin for the stepping: GDI fills the rectangle, columns l..r - 1 and rows t..b - 1.
    const int64_t end = std::min<int64_t>(b, rows.height);
    for (int64_t y = std::max<int64_t>(t, 0); y < end; ++y) mask::FillSpan(rows, y, l, r - 1);
    return TRUE;
  }
  DrawEllipse(rows, l, t, w, h);
  return TRUE;
}

}  // namespace qvx
