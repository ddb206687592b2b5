// Portable rasteriser behind MaskRaster.h: lines, polygons and flood fill
// choosing exactly the pixels GDI chooses (the ellipse is in
// MaskRasterEllipse.cpp).
//
// Every shape is worked out on the unbounded integer plane and only then cut
// to the picture, so the pixels inside the picture never depend on where the
// picture ends. Coordinates may be anywhere in the 32-bit range: differences
// are taken in 64 bits, products that could exceed 64 bits go through
// FloorMulDiv, and every loop runs over picture rows or columns only.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "platform/linux/MaskRasterRows.h"

namespace qvx {
namespace mask {

bool Usable(const MonoRows& rows) {
  return rows.bits != nullptr && rows.width > 0 && rows.height > 0 &&
         rows.rowBytes >= (static_cast<DWORD>(rows.width) + 7) / 8;
}

void FillSpan(const MonoRows& rows, std::int64_t y, std::int64_t x0, std::int64_t x1) {
  if (y < 0 || y >= rows.height) return;
  x0 = std::max<std::int64_t>(x0, 0);
  x1 = std::min<std::int64_t>(x1, rows.width - 1);
  if (x0 > x1) return;
  BYTE* row = RowAt(rows, static_cast<int>(y));
  const std::int64_t firstByte = x0 >> 3;
  const std::int64_t lastByte = x1 >> 3;
  // Bit 7 of a byte is its leftmost pixel.
  const BYTE head = static_cast<BYTE>(0xFFu >> (x0 & 7));
  const BYTE tail = static_cast<BYTE>(0xFFu << (7 - (x1 & 7)));
  if (firstByte == lastByte) {
    row[firstByte] |= static_cast<BYTE>(head & tail);
    return;
  }
  row[firstByte] |= head;
  std::fill(row + firstByte + 1, row + lastByte, BYTE{0xFF});
  row[lastByte] |= tail;
}

namespace {

// First i in [lo, hi) for which pred(i) holds, where pred is false up to some
// index and true from there on; hi when it never holds.
template <class Pred>
std::int64_t PartitionPoint(std::int64_t lo, std::int64_t hi, Pred pred) {
  while (lo < hi) {
    const std::int64_t mid = lo + (hi - lo) / 2;
    if (pred(mid)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

}  // namespace

// GDI steps along the major axis (x when |dx| >= |dy|, so 45 degrees counts as
// x-major) from the first point, one pixel per unit, and stops one short of
// the last point. At step i the other coordinate is the integer nearest to
// the exact line, and an exact half goes to the smaller coordinate whichever
// way the line runs: that is ceil(t - 1/2) for the exact value t.
void DrawLine(const MonoRows& rows, std::int64_t x1, std::int64_t y1, std::int64_t x2,
              std::int64_t y2) {
  const std::int64_t dx = x2 - x1;
  const std::int64_t dy = y2 - y1;
  if (dx == 0 && dy == 0) return;
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const std::int64_t majorStart = xMajor ? x1 : y1;
  const std::int64_t minorStart = xMajor ? y1 : x1;
  const std::int64_t majorDelta = xMajor ? dx : dy;
  const std::int64_t minorDelta = xMajor ? dy : dx;
  const std::int64_t majorLimit = xMajor ? rows.width : rows.height;
  const std::int64_t minorLimit = xMajor ? rows.height : rows.width;
  const std::int64_t n = std::llabs(majorDelta);

  // minorStart + ceil((2 * minorDelta * i - n) / (2 * n)), exactly.
  auto minorAt = [&](std::int64_t i) {
    return minorStart - FloorMulDiv(-2 * minorDelta, i, 2 * n, n);
  };

  // Steps whose major coordinate lies in the picture...
  std::int64_t lo = 0;
  std::int64_t hi = n;
  if (majorDelta > 0) {
    lo = std::max(lo, -majorStart);
    hi = std::min(hi, majorLimit - majorStart);
  } else {
    lo = std::max(lo, majorStart - majorLimit + 1);
    hi = std::min(hi, majorStart + 1);
  }
  if (lo >= hi) return;
  // ...and then those whose minor coordinate does too; it moves monotonically.
  if (minorDelta >= 0) {
    lo = PartitionPoint(lo, hi, [&](std::int64_t i) { return minorAt(i) >= 0; });
    hi = PartitionPoint(lo, hi, [&](std::int64_t i) { return minorAt(i) >= minorLimit; });
  } else {
    lo = PartitionPoint(lo, hi, [&](std::int64_t i) { return minorAt(i) < minorLimit; });
    hi = PartitionPoint(lo, hi, [&](std::int64_t i) { return minorAt(i) < 0; });
  }
  const std::int64_t step = majorDelta > 0 ? 1 : -1;
  for (std::int64_t i = lo; i < hi; ++i) {
    const std::int64_t major = majorStart + step * i;
    const std::int64_t minor = minorAt(i);
    if (xMajor) {
      SetPixel(rows, major, minor);
    } else {
      SetPixel(rows, minor, major);
    }
  }
}

namespace {

// A non-horizontal polygon edge, from its upper end (xa, ya) down by
// (dx, dy > 0), and the picture rows first..end-1 in which it crosses.
struct Edge {
  std::int64_t xa, ya, dx, dy;
  std::int64_t first, end;
};

// Even-odd interior sampled at integer points. Row y meets every edge with
// ya <= y < ya + dy (upper end included, lower end not, so a vertex between
// two edges counts once and horizontal edges not at all) at
// xc = xa + dx * (y - ya) / dy. Sorted crossings pair up as (c0, c1),
// (c2, c3), ..., and each pair covers the integer points c0 <= x < c1, that
// is ceil(c0) <= x < ceil(c1). Only ceilings are needed, and ceil is
// monotonic, so sorting the ceilings gives the same pairs as sorting the
// exact crossings.
void FillEvenOdd(const MonoRows& rows, const POINT* points, int count) {
  std::vector<Edge> edges;
  edges.reserve(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    const POINT& a = points[k];
    const POINT& b = points[k + 1 == count ? 0 : k + 1];
    if (a.y == b.y) continue;
    const POINT& upper = a.y < b.y ? a : b;
    const POINT& lower = a.y < b.y ? b : a;
    Edge e;
    e.xa = upper.x;
    e.ya = upper.y;
    e.dx = std::int64_t{lower.x} - upper.x;
    e.dy = std::int64_t{lower.y} - upper.y;
    e.first = std::max<std::int64_t>(upper.y, 0);
    e.end = std::min<std::int64_t>(lower.y, rows.height);
    if (e.first < e.end) edges.push_back(e);
  }
  std::sort(edges.begin(), edges.end(),
            [](const Edge& l, const Edge& r) { return l.first < r.first; });

  std::vector<Edge> active;
  active.reserve(edges.size());
  std::vector<std::int64_t> crossings;
  crossings.reserve(edges.size());
  std::size_t next = 0;
  std::int64_t y = 0;
  while (next < edges.size() || !active.empty()) {
    if (active.empty()) y = std::max(y, edges[next].first);
    while (next < edges.size() && edges[next].first <= y) active.push_back(edges[next++]);
    crossings.clear();
    for (const Edge& e : active) {
      // xa + ceil(dx * (y - ya) / dy); 0 <= y - ya < dy < 2^32.
      crossings.push_back(e.xa - FloorMulDiv(-e.dx, y - e.ya, e.dy, 0));
    }
    std::sort(crossings.begin(), crossings.end());
    for (std::size_t j = 0; j + 1 < crossings.size(); j += 2) {
      FillSpan(rows, y, crossings[j], crossings[j + 1] - 1);
    }
    ++y;
    active.erase(
        std::remove_if(active.begin(), active.end(), [y](const Edge& e) { return e.end <= y; }),
        active.end());
  }
}

}  // namespace
}  // namespace mask

// The fill plus the closed outline drawn with the pen: every edge with the
// line rule, including the one from the last vertex back to the first, so
// each vertex is set as the start of an edge and the right and bottom sides
// are drawn as well. Two vertices give the segment there and back (both ends
// set); vertices all at one point draw nothing yet still succeed.
BOOL RasterPolygon(const MonoRows& rows, const POINT* points, int count) {
  if (count < 2 || points == nullptr || !mask::Usable(rows)) return FALSE;
  try {
    mask::FillEvenOdd(rows, points, count);
  } catch (const std::bad_alloc&) {
    return FALSE;  // nothing drawn: all memory is taken before the first pixel
  }
  for (int k = 0; k < count; ++k) {
    const POINT& a = points[k];
    const POINT& b = points[k + 1 == count ? 0 : k + 1];
    mask::DrawLine(rows, a.x, a.y, b.x, b.y);
  }
  return TRUE;
}

BOOL RasterLine(const MonoRows& rows, int x1, int y1, int x2, int y2) {
  if (!mask::Usable(rows)) return FALSE;
  mask::DrawLine(rows, x1, y1, x2, y2);
  return TRUE;
}

// Surface fill: the black pixels joined to the seed through left, right, up
// and down neighbours (never diagonally, so a line's diagonal steps are a
// wall) become white. Scanline fill with an explicit stack: each popped seed
// grows to its whole black run, which is set at once, and one seed is pushed
// for every black run touching it in the rows above and below.
BOOL RasterFloodFill(const MonoRows& rows, int x, int y) {
  using mask::PixelSet;
  using mask::RowAt;
  if (!mask::Usable(rows) || x < 0 || y < 0 || x >= rows.width || y >= rows.height) return FALSE;
  if (PixelSet(RowAt(rows, y), x)) return FALSE;
  struct Seed {
    int x, y;
  };
  try {
    std::vector<Seed> stack{{x, y}};
    while (!stack.empty()) {
      const Seed s = stack.back();
      stack.pop_back();
      const BYTE* row = RowAt(rows, s.y);
      if (PixelSet(row, s.x)) continue;
      int left = s.x;
      int right = s.x;
      while (left > 0 && !PixelSet(row, left - 1)) --left;
      while (right + 1 < rows.width && !PixelSet(row, right + 1)) ++right;
      mask::FillSpan(rows, s.y, left, right);
      for (const int ny : {s.y - 1, s.y + 1}) {
        if (ny < 0 || ny >= rows.height) continue;
        const BYTE* near = RowAt(rows, ny);
        bool inRun = false;
        for (int i = left; i <= right; ++i) {
          const bool black = !PixelSet(near, i);
          if (black && !inRun) stack.push_back({i, ny});
          inRun = black;
        }
      }
    }
  } catch (const std::bad_alloc&) {
    return FALSE;  // out of memory part way: what is filled stays filled
  }
  return TRUE;
}

}  // namespace qvx
