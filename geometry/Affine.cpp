// QVAffine: a quadrilateral region of a picture (a document photographed
// at a slant, say) stretched onto an upright rectangle.
//
// The corners are sorted into P0 bottom-left, P1 top-left, P2 top-right and
// P3 bottom-right. The result has the size of the largest upright rectangle
// inside them. Every source pixel of the corners' bounding box is placed by
// inverting the bilinear patch P0 + u e1 + v e2 + u v (P2 - P0 - e1 - e2)
// (e1 = P3 - P0 along the bottom, e2 = P1 - P0 up the left side): u runs
// across the result, v up it. Each source pixel is written to its cell and
// to the cells to its right and above, so that a slightly enlarging warp
// leaves no holes. A quadrilateral within 2 pixels of upright is cut out
// instead.
#include "geometry/Affine.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "frame/Simd.h"
#include "geometry/ProgressRange.h"
#include "geometry/StoredRows.h"

namespace qvx {
namespace {

// Integer products of coordinates are 32-bit and wrap as a 32-bit
// processor's do; only pictures of more than 2^31 pixels can reach that.
std::int32_t Wrap32(std::uint32_t v) { return static_cast<std::int32_t>(v); }
std::int32_t Cross32(int ax, int ay, int bx, int by) {
  return Wrap32(static_cast<std::uint32_t>(ax) * static_cast<std::uint32_t>(by) -
                static_cast<std::uint32_t>(ay) * static_cast<std::uint32_t>(bx));
}

// P0 bottom-left, P1 top-left, P2 top-right, P3 bottom-right.
struct Quad {
  POINT p0, p1, p2, p3;
};

// The two leftmost corners (by x; equal x keep the caller's order) form the
// left edge, the others the right edge. On the left the lower corner (larger
// y) is P0, on the right the upper one is P2; equal y keep the order.
Quad SortCorners(Corners c) {
  std::stable_sort(c.p, c.p + 4, [](const POINT& a, const POINT& b) { return a.x < b.x; });
  Quad q;
  const bool leftSwapped = c.p[1].y > c.p[0].y, rightSwapped = c.p[3].y < c.p[2].y;
  q.p0 = c.p[leftSwapped ? 1 : 0];
  q.p1 = c.p[leftSwapped ? 0 : 1];
  q.p2 = c.p[rightSwapped ? 3 : 2];
  q.p3 = c.p[rightSwapped ? 2 : 3];
  return q;
}

// The patch's inverse in the form the row loop needs.
struct Patch {
  int x0, y0;
  int e1x, e1y, e2x, e2y;
  double d;       // e1.x e2.y - e1.y e2.x
  double aLess1;  // a - 1, where P2 - P0 = a e1 + b e2
  double bLess1;  // b - 1
  double bLess1Times4;
  double width, height;  // the result's
};

// False for a degenerate quadrilateral (|D| < 1).
bool MakePatch(const Quad& q, int width, int height, Patch& m) {
  m.x0 = q.p0.x, m.y0 = q.p0.y;
  m.e1x = q.p3.x - q.p0.x, m.e1y = q.p3.y - q.p0.y;
  m.e2x = q.p1.x - q.p0.x, m.e2y = q.p1.y - q.p0.y;
  const std::int32_t d = Cross32(m.e1x, m.e1y, m.e2x, m.e2y);
  if (d == 0) return false;
  m.d = d;
  const int dx = q.p2.x - q.p0.x, dy = q.p2.y - q.p0.y;
  const double a = Cross32(dx, dy, m.e2x, m.e2y) / m.d;
  const double b = Cross32(m.e1x, m.e1y, dx, dy) / m.d;
  m.aLess1 = a - 1;
  m.bLess1 = b - 1;
  m.bLess1Times4 = 4 * m.bLess1;
  m.width = width, m.height = height;
  return true;
}

using Word4 = std::uint32_t __attribute__((vector_size(16)));

// The result cells of `count` source pixels from (x, y) rightwards: column
// cx[i] (-1 when the pixel lands nowhere) and row cy[i]. The arrays have
// room for `count` rounded up to 4.
QVX_LOOP_BODY void MapRow(const Patch& m, int x, int y, int count, int* cx, int* cy) {
  // The numerators of s and t are integers; along the row they step by
  // e2.y and -e1.y.
  const std::uint32_t sStep = static_cast<std::uint32_t>(m.e2y);
  const std::uint32_t tStep = 0u - static_cast<std::uint32_t>(m.e1y);
  const std::uint32_t s0 =
      static_cast<std::uint32_t>(Cross32(x - m.x0, y - m.y0, m.e2x, m.e2y));
  const std::uint32_t t0 =
      static_cast<std::uint32_t>(Cross32(m.e1x, m.e1y, x - m.x0, y - m.y0));
  Word4 sNum = Word4{s0, s0 + sStep, s0 + 2 * sStep, s0 + 3 * sStep};
  Word4 tNum = Word4{t0, t0 + tStep, t0 + 2 * tStep, t0 + 3 * tStep};
  for (int i = 0; i < count; i += 4, sNum += 4 * sStep, tNum += 4 * tStep) {
    const Double4 s = __builtin_convertvector(reinterpret_cast<Int4>(sNum), Double4) / m.d;
    const Double4 t = __builtin_convertvector(reinterpret_cast<Int4>(tNum), Double4) / m.d;
    const Double4 k = m.aLess1 * t - m.bLess1 * s;
    const Double4 q = (k + 1.0) * (k + 1.0) + m.bLess1Times4 * s;
    const auto real = q >= 0.0;
    const Double4 r = SqrtLanes(real ? q : Double4{});
    const Double4 du = 1.0 + k + r, dv = 1.0 - k + r;
    const Double4 u = 2.0 * s / du, v = 2.0 * t / dv;
    const Double4 fx = u * m.width, fy = m.height - v * m.height;
    // trunc(f) lies in 0..size-1 exactly when -1 < f < size.
    const auto inside = real & (du >= 0.0001) & (dv >= 0.0001) & (fx > -1.0) & (fx < m.width) &
                        (fy > -1.0) & (fy < m.height);
    const Int4 column = __builtin_convertvector(inside ? fx : Double4{} - 1.0, Int4);
    const Int4 row = __builtin_convertvector(inside ? fy : Double4{}, Int4);
    std::memcpy(cx + i, &column, sizeof column);
    std::memcpy(cy + i, &row, sizeof row);
  }
}

void MapRowBase(const Patch& m, int x, int y, int count, int* cx, int* cy) {
  MapRow(m, x, y, count, cx, cy);
}
QVX_TARGET_AVX2 void MapRowAvx2(const Patch& m, int x, int y, int count, int* cx, int* cy) {
  MapRow(m, x, y, count, cx, cy);
}

// Writes source pixel s to result cell d and, where asked, to the cells to
// its right and above it.
template <class Px, class Pos, class SourcePos>
void Place(const Px& out, Pos d, const Px& in, SourcePos s, bool right, bool up) {
  out.Transfer(d, in, s, false);
  if (right) out.Transfer(out.Next(d), in, s, false);
  if (up) out.Transfer(out.Step(d, 0, -1), in, s, false);
}

// The colour read once (the stores could overlap the source for all the
// compiler knows, and would make it read the source again for each cell)
// with one 4-byte load ending at the pixel (a header lies before the first
// pixel), and written in few wide stores: a cell and its right-hand
// neighbour are 6 bytes, a 4-byte and a 2-byte store.
inline void Place(const Px24& out, BYTE* d, const Px24&, BYTE* s, bool right, bool up) {
  std::uint32_t word;
  std::memcpy(&word, s - 1, 4);
  const std::uint32_t colour = word >> 8;                      // blue, green, red, 0
  const std::uint16_t blueGreen = static_cast<std::uint16_t>(colour);
  const BYTE red = static_cast<BYTE>(colour >> 16);
  if (right) {
    const std::uint32_t first = colour | (colour << 24);      // blue green red blue
    const std::uint16_t rest = static_cast<std::uint16_t>(colour >> 8);  // green red
    std::memcpy(d, &first, 4);
    std::memcpy(d + 4, &rest, 2);
  } else {
    std::memcpy(d, &blueGreen, 2);
    d[2] = red;
  }
  if (up) {
    BYTE* above = out.Step(d, 0, -1);
    std::memcpy(above, &blueGreen, 2);
    above[2] = red;
  }
}

// Source columns minX..maxX-1 of rows minY..maxY-1.
struct Box {
  int minX, minY, maxX, maxY;
};

template <class Px>
bool WarpRows(const Px& src, const Px& dst, const Patch& m, const Box& box, BOOL noDialog) {
  const int count = box.maxX - box.minX, rows = box.maxY - box.minY;
  const int width = static_cast<int>(m.width);
  WorkBlock cells;
  const std::size_t lanes = (static_cast<std::size_t>(count) + 3) / 4 * 4;
  if (!cells.Allocate(2 * lanes * sizeof(int))) return false;
  int* cx = cells.As<int>();
  int* cy = cx + lanes;
  const auto map = HasAvx2() ? MapRowAvx2 : MapRowBase;
  // Local copies, which the compiler can keep in registers across the byte
  // stores; result cells are addressed from the top-left one.
  const Px in = src, out = dst;
  const auto origin = out.At(out.Row(0), 0);
  for (int y = box.minY; y < box.maxY; ++y) {
    map(m, box.minX, y, count, cx, cy);
    const auto row = in.Row(y);
    for (int i = 0; i < count; ++i) {
      const int c = cx[i], r = cy[i];
      if (c < 0) continue;
      Place(out, out.Step(origin, c, r), in, in.At(row, box.minX + i), c + 1 < width, r > 0);
    }
    if (!ReportRow(y - box.minY, rows, kWholeProgress, noDialog)) return false;
  }
  return true;
}

}  // namespace

HGLOBAL AffineImage(HGLOBAL picture, Corners corners, BOOL noDialog, PixelRoute route) {
  LockedDib source;
  if (!source.Start(picture, kDepthAll)) return nullptr;
  DibAccess& src = source.Record();
  POINT* p = corners.p;
  ClampPointsToDib(src.Header, p[0], p[1]);
  ClampPointsToDib(src.Header, p[2], p[3]);
  const Quad q = SortCorners(corners);
  // The largest upright rectangle inside the corners, right and bottom
  // exclusive, and the bounding box the warp visits.
  const int left = std::max(q.p0.x, q.p1.x), right = std::min(q.p2.x, q.p3.x);
  const int top = std::max(q.p1.y, q.p2.y), bottom = std::min(q.p0.y, q.p3.y);
  const Box box{std::min(q.p0.x, q.p1.x), std::min(q.p1.y, q.p2.y), std::max(q.p2.x, q.p3.x),
                std::max(q.p0.y, q.p3.y)};
  const int width = right - left, height = bottom - top;
  LockedPicture result;
  if (!result.MakeLike(src, width, height)) return nullptr;
  DibAccess& dst = result.Record();
  const bool nearlyUpright = std::abs(q.p0.x - q.p1.x) < 3 && std::abs(q.p2.x - q.p3.x) < 3 &&
                             std::abs(q.p1.y - q.p2.y) < 3 && std::abs(q.p0.y - q.p3.y) < 3;
  if (nearlyUpright) {
    for (int y = 0; y < height; ++y) {
      CopyStoredRow(DibRow(dst, y), src, top + y, left, width);
      if (!ReportRow(y, height, kWholeProgress, noDialog)) return nullptr;
    }
    return result.Release();
  }
  Patch m;
  if (!MakePatch(q, width, height, m)) return nullptr;
  const bool done = DispatchPixels(route, src, dst, [&](const auto& s, const auto& d) {
    return WarpRows(s, d, m, box, noDialog);
  });
  return done ? result.Release() : nullptr;
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVAffine(HGLOBAL picture, int x1, int y1, int x2, int y2, int x3, int y3,
                                int x4, int y4, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                DWORD dlgArg3) {
  const qvx::Corners corners{{{x1, y1}, {x2, y2}, {x3, y3}, {x4, y4}}};
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3},
                        [&] { return qvx::AffineImage(picture, corners, noDialog); });
}
