// Properties of the mask rasteriser beyond the reference pictures: the same
// rules at coordinates far outside the picture, symmetry, and flood fills on
// large and irregular pictures. Expected pixels come from references written
// here straight from GDI's rules (a per-pixel test for lines and polygons,
// the literal quarter stepping for ellipses, a breadth-first fill) or from
// reasoning about the shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <random>
#include <sstream>
#include <vector>

#include "platform/MaskRaster.h"
#include "platform/MaskRasterPicture.h"

namespace qvx::test {
namespace {

#if defined(__SIZEOF_INT128__)
using Exact = __int128;
constexpr bool kHaveExact = true;
#else
using Exact = long long;
constexpr bool kHaveExact = false;
#endif

#define SKIP_WITHOUT_EXACT() \
  if (!kHaveExact) GTEST_SKIP() << "needs a 128-bit integer type for the reference"

using Pixel = std::function<bool(int x, int y)>;

// First pixel where the picture differs from the expectation, with both
// pictures side by side; empty when they agree.
std::string Compare(const MonoPicture& picture, const Pixel& expected) {
  std::vector<std::string> want = picture.Ascii();
  bool same = true;
  std::string first;
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      want[y][x] = expected(x, y) ? '#' : '.';
      if (want[y][x] != (picture.Get(x, y) ? '#' : '.') && same) {
        same = false;
        first = "first difference at (" + std::to_string(x) + ", " + std::to_string(y) + ")\n";
      }
    }
  }
  if (!picture.OutsideIntact()) return "wrote outside the pixels";
  return same ? std::string() : first + SideBySide(want, picture.Ascii());
}

// ---- references ---------------------------------------------------------

// Line rule for one pixel: along the major axis the steps i = 0 .. n - 1 from
// the first point; the other coordinate m (relative to the first point) is
// the nearest integer to d * i / n, a tie going to the smaller, that is
// m - 1/2 < d * i / n <= m + 1/2.
bool LinePixel(long long x1, long long y1, long long x2, long long y2, long long px, long long py) {
  const long long dx = x2 - x1, dy = y2 - y1;
  if (dx == 0 && dy == 0) return false;
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const long long n = xMajor ? std::llabs(dx) : std::llabs(dy);
  const long long d = xMajor ? dy : dx;
  const long long i = xMajor ? (px - x1) * (dx > 0 ? 1 : -1) : (py - y1) * (dy > 0 ? 1 : -1);
  if (i < 0 || i >= n) return false;
  const Exact m = xMajor ? py - y1 : px - x1;
  const Exact twice = Exact(2) * d * i;
  return 2 * m * n - n < twice && twice <= 2 * m * n + n;
}

// Polygon rule for one pixel: an odd number of edges crossing row y at or
// left of x (edges taken with their upper end, without their lower end), or
// a pixel of an edge's line.
bool PolygonPixel(const std::vector<POINT>& p, long long x, long long y) {
  const std::size_t n = p.size();
  bool inside = false;
  for (std::size_t k = 0; k < n; ++k) {
    POINT a = p[k], b = p[(k + 1) % n];
    if (a.y == b.y) continue;
    if (a.y > b.y) std::swap(a, b);
    if (y < a.y || y >= b.y) continue;
    const long long dy = (long long)b.y - a.y, dx = (long long)b.x - a.x;
    // a.x + dx * (y - a.y) / dy <= x
    if (Exact(a.x) * dy + Exact(dx) * (y - a.y) <= Exact(x) * dy) inside = !inside;
  }
  if (inside) return true;
  for (std::size_t k = 0; k < n; ++k) {
    if (LinePixel(p[k].x, p[k].y, p[(k + 1) % n].x, p[(k + 1) % n].y, x, y)) return true;
  }
  return false;
}

// The ellipse's quarter stepping exactly as GDI's rules give it, literally,
// for w, h >= 3. Returns, per box row, the rightmost boundary column (the
// leftmost is the mirror image), or -1 for rows without boundary pixels.
template <class Int>
std::vector<std::int32_t> SteppedRows(Int w, Int h) {
  const Int a = w - 1, b = h - 1;
  std::vector<std::int32_t> right(std::size_t(b) + 1, -1);
  Int dx = 4 * b * b * (1 - a);
  Int dy = 4 * a * a * (1 + b % 2);
  Int err = dx + dy + a * a * (b % 2);
  Int x = a, y = h / 2;
  while (x >= w / 2) {
    for (const Int row : {y, b - y}) {
      if (row < 0 || row > b) {
        ADD_FAILURE() << "stepping left the box";
        return right;
      }
      std::int32_t& r = right[std::size_t(row)];
      r = std::max(r, std::int32_t(std::max(x, a - x)));
    }
    const Int e2 = 2 * err;
    if (e2 >= dx) {
      x -= 1;
      dx += 8 * b * b;
      err += dx;
    }
    if (e2 <= dy) {
      y += 1;
      dy += 8 * a * a;
      err += dy;
    }
  }
  return right;
}

// Expected ellipse pixels for the rectangle, by the rules including the
// small and thin cases.
Pixel EllipseReference(long long l, long long t, long long r, long long b) {
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  const long long w = r - l, h = b - t;
  if (w == 0 || h == 0 || (w == 1 && h == 1)) return [](int, int) { return false; };
  if (w <= 2 || h <= 2) return [=](int x, int y) { return x >= l && x < r && y >= t && y < b; };
  auto rows = std::make_shared<std::vector<std::int32_t>>(SteppedRows<long long>(w, h));
  return [=](int x, int y) {
    const long long bx = x - l, by = y - t;
    if (by < 0 || by > h - 1 || (*rows)[by] < 0) return false;
    return bx >= (w - 1) - (*rows)[by] && bx <= (*rows)[by];
  };
}

// Breadth-first 4-connected fill of black from the seed.
void BreadthFirstFill(std::vector<std::vector<bool>>& white, int x, int y) {
  const int h = int(white.size()), w = int(white[0].size());
  std::deque<std::pair<int, int>> queue{{x, y}};
  white[y][x] = true;
  while (!queue.empty()) {
    const auto [cx, cy] = queue.front();
    queue.pop_front();
    const int nx[] = {cx - 1, cx + 1, cx, cx};
    const int ny[] = {cy, cy, cy - 1, cy + 1};
    for (int k = 0; k < 4; ++k) {
      if (nx[k] < 0 || ny[k] < 0 || nx[k] >= w || ny[k] >= h || white[ny[k]][nx[k]]) continue;
      white[ny[k]][nx[k]] = true;
      queue.push_back({nx[k], ny[k]});
    }
  }
}

// A coordinate near the picture, far from it, or at the ends of the range.
int AnyCoordinate(std::mt19937& rng, int size) {
  switch (rng() % 5) {
    case 0:
      return int(rng() % (size + 40)) - 20;
    case 1:
      return int(rng() % 4001) - 2000;
    case 2:
      return int(rng() % 2000001) - 1000000;
    case 3:
      return int(std::int64_t(rng() % 4000000001u) - 2000000000);
    default: {
      const int ends[] = {INT_MIN, INT_MIN + 1, INT_MAX - 1, INT_MAX};
      return ends[rng() % 4];
    }
  }
}

// ---- lines ----------------------------------------------------------------

TEST(MaskRasterLine, MatchesPerPixelRuleAnywhereInRange) {
  SKIP_WITHOUT_EXACT();
  std::mt19937 rng(1234);
  for (int trial = 0; trial < 600; ++trial) {
    MonoPicture picture(37 + trial % 5, 23 + trial % 3);
    picture.MarkPadding();
    int x1 = AnyCoordinate(rng, picture.Width()), y1 = AnyCoordinate(rng, picture.Height());
    int x2 = AnyCoordinate(rng, picture.Width()), y2 = AnyCoordinate(rng, picture.Height());
    if (trial % 4 == 0) {  // short lines near the picture, every octant and slope
      x2 = int(rng() % 50) - 5;
      y2 = int(rng() % 40) - 5;
      x1 = x2 + int(rng() % 61) - 30;
      y1 = y2 + int(rng() % 61) - 30;
    } else if (trial % 4 == 1) {  // from far away through a picture pixel, on past it
      const long long px = rng() % picture.Width(), py = rng() % picture.Height();
      x2 = int(px - (x1 - px) / 2);
      y2 = int(py - (y1 - py) / 2);
    }
    ASSERT_EQ(RasterLine(picture.Rows(), x1, y1, x2, y2), 1);
    ASSERT_EQ(Compare(picture, [&](int x, int y) { return LinePixel(x1, y1, x2, y2, x, y); }), "")
        << "line " << x1 << " " << y1 << " " << x2 << " " << y2;
  }
}

TEST(MaskRasterLine, BothWaysDifferOnlyInTheEndPoints) {
  std::mt19937 rng(99);
  for (int trial = 0; trial < 400; ++trial) {
    MonoPicture forward(41, 29), backward(41, 29);
    int x1 = int(rng() % 61) - 10, y1 = int(rng() % 49) - 10;
    int x2 = int(rng() % 61) - 10, y2 = int(rng() % 49) - 10;
    if (trial % 3 == 0) x1 = AnyCoordinate(rng, 41);
    if (trial % 5 == 0) y2 = AnyCoordinate(rng, 29);
    RasterLine(forward.Rows(), x1, y1, x2, y2);
    RasterLine(backward.Rows(), x2, y2, x1, y1);
    auto inside = [](int x, int y) { return x >= 0 && x < 41 && y >= 0 && y < 29; };
    const bool distinct = x1 != x2 || y1 != y2;
    for (int y = 0; y < 29; ++y) {
      for (int x = 0; x < 41; ++x) {
        const bool first = x == x1 && y == y1, last = x == x2 && y == y2;
        if (first || last) continue;
        ASSERT_EQ(forward.Get(x, y), backward.Get(x, y))
            << "(" << x << ", " << y << ") of " << x1 << " " << y1 << " " << x2 << " " << y2;
      }
    }
    if (inside(x1, y1)) {
      EXPECT_EQ(forward.Get(x1, y1), distinct);
      EXPECT_FALSE(distinct && backward.Get(x1, y1));
    }
    if (inside(x2, y2)) {
      EXPECT_EQ(backward.Get(x2, y2), distinct);
      EXPECT_FALSE(distinct && forward.Get(x2, y2));
    }
  }
}

TEST(MaskRasterLine, ExtremeEndPoints) {
  // From corner to corner of the coordinate range: 2^32 - 1 steps of exactly
  // 45 degrees, so the diagonal x = y is drawn.
  MonoPicture diagonal(20, 16);
  EXPECT_EQ(RasterLine(diagonal.Rows(), INT_MIN, INT_MIN, INT_MAX, INT_MAX), 1);
  EXPECT_EQ(Compare(diagonal, [](int x, int y) { return x == y; }), "");
  // Across the whole range while rising one row: y = i / (2^32 - 1) rounds to
  // 1 from the middle step on, which is x = INT_MIN + 2^31 = 0.
  MonoPicture rise(20, 4);
  EXPECT_EQ(RasterLine(rise.Rows(), INT_MIN, 0, INT_MAX, 1), 1);
  EXPECT_EQ(Compare(rise, [](int, int y) { return y == 1; }), "");
  // The same line the other way: now x = INT_MAX - i and y = 1 - i / n, 0
  // from i = 2^31 (x = -1) on, an exact half never occurring with n odd.
  MonoPicture fall(20, 4);
  EXPECT_EQ(RasterLine(fall.Rows(), INT_MAX, 1, INT_MIN, 0), 1);
  EXPECT_EQ(Compare(fall, [](int, int y) { return y == 1; }), "");
  // A vertical seam far above and below: the whole column.
  MonoPicture seam(9, 30);
  EXPECT_EQ(RasterLine(seam.Rows(), 4, INT_MAX, 4, INT_MIN), 1);
  EXPECT_EQ(Compare(seam, [](int x, int) { return x == 4; }), "");
}

// ---- polygons ---------------------------------------------------------------

TEST(MaskRasterPolygon, MatchesPerPixelRuleAnywhereInRange) {
  SKIP_WITHOUT_EXACT();
  std::mt19937 rng(777);
  for (int trial = 0; trial < 500; ++trial) {
    MonoPicture picture(33 + trial % 7, 27 + trial % 4);
    picture.MarkPadding();
    std::vector<POINT> points(2 + rng() % 9);
    for (POINT& p : points) {
      const bool far = trial % 2 == 0 && rng() % 3 == 0;
      p.x = far ? AnyCoordinate(rng, picture.Width()) : int(rng() % 60) - 12;
      p.y = far ? AnyCoordinate(rng, picture.Height()) : int(rng() % 50) - 12;
    }
    ASSERT_EQ(RasterPolygon(picture.Rows(), points.data(), int(points.size())), 1);
    std::ostringstream text;
    for (const POINT& p : points) text << " " << p.x << "," << p.y;
    ASSERT_EQ(Compare(picture, [&](int x, int y) { return PolygonPixel(points, x, y); }), "")
        << "polygon" << text.str();
  }
}

TEST(MaskRasterPolygon, FarShapesEqualTheirTranslates) {
  // A shape with vertices around +-10^9 drawn twice, the second time moved by
  // (dx, dy) into a picture larger by as much: the overlap must agree.
  std::mt19937 rng(4242);
  for (int trial = 0; trial < 200; ++trial) {
    const int dx = int(rng() % 40), dy = int(rng() % 30);
    std::vector<POINT> points(3 + rng() % 6), moved;
    for (POINT& p : points) {
      p.x = int(rng() % 2000000001u) - 1000000000;
      p.y = int(rng() % 2000000001u) - 1000000000;
    }
    points[0] = POINT{int(rng() % 30), int(rng() % 20)};  // one vertex in view
    for (const POINT& p : points) moved.push_back(POINT{p.x + dx, p.y + dy});
    MonoPicture small(30, 20), large(30 + dx, 20 + dy);
    RasterPolygon(small.Rows(), points.data(), int(points.size()));
    RasterPolygon(large.Rows(), moved.data(), int(moved.size()));
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 30; ++x) ASSERT_EQ(small.Get(x, y), large.Get(x + dx, y + dy)) << trial;
    }
  }
}

TEST(MaskRasterPolygon, TriangleOverTheWholeRangeCoversThePicture) {
  MonoPicture picture(45, 17);
  picture.MarkPadding();
  const POINT points[] = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {0, INT_MAX}};
  EXPECT_EQ(RasterPolygon(picture.Rows(), points, 3), 1);
  EXPECT_EQ(Compare(picture, [](int, int) { return true; }), "");
}

TEST(MaskRasterPolygon, ResultsAndBadInput) {
  MonoPicture picture(16, 8);
  const POINT square[] = {{1, 1}, {5, 1}, {5, 5}, {1, 5}};
  EXPECT_EQ(RasterPolygon(picture.Rows(), nullptr, 3), 0);
  EXPECT_EQ(RasterPolygon(picture.Rows(), square, -7), 0);
  EXPECT_EQ(RasterPolygon(picture.Rows(), square, INT_MIN), 0);
  EXPECT_EQ(RasterPolygon(picture.Rows(), square, 1), 0);
  EXPECT_EQ(RasterPolygon(picture.Rows(), square, 0), 0);
  EXPECT_EQ(Compare(picture, [](int, int) { return false; }), "");
  const POINT same[] = {{3, 3}, {3, 3}, {3, 3}};
  EXPECT_EQ(RasterPolygon(picture.Rows(), same, 3), 1);  // draws nothing, still succeeds
  EXPECT_EQ(Compare(picture, [](int, int) { return false; }), "");
  const POINT outside[] = {{-50, -50}, {-40, -50}, {-45, -40}};
  EXPECT_EQ(RasterPolygon(picture.Rows(), outside, 3), 1);
  EXPECT_EQ(Compare(picture, [](int, int) { return false; }), "");
}

// ---- ellipses ---------------------------------------------------------------

TEST(MaskRasterEllipse, MatchesLiteralSteppingNearThePicture) {
  std::mt19937 rng(2024);
  for (int trial = 0; trial < 1500; ++trial) {
    MonoPicture picture(61 + trial % 6, 47 + trial % 3);
    picture.MarkPadding();
    int l = int(rng() % 80) - 15, t = int(rng() % 60) - 15;
    int w = int(rng() % (trial < 300 ? 8 : 70)), h = int(rng() % (trial < 300 ? 8 : 60));
    if (trial % 7 == 0) {  // tall and narrow, including H >= 2 (W - 1)^2
      w = 3 + int(rng() % 4);
      h = 2 * (w - 1) * (w - 1) - 3 + int(rng() % 10);
      t = -int(rng() % 20);
    }
    int r = l + w, b = t + h;
    if (rng() % 2) std::swap(l, r);
    if (rng() % 2) std::swap(t, b);
    ASSERT_EQ(RasterEllipse(picture.Rows(), l, t, r, b), 1);
    ASSERT_EQ(Compare(picture, EllipseReference(l, t, r, b)), "")
        << "ellipse " << l << " " << t << " " << r << " " << b;
  }
}

TEST(MaskRasterEllipse, MirrorSymmetricAndOrderFree) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 400; ++trial) {
    const int w = 1 + int(rng() % 50), h = 1 + int(rng() % 40);
    const int l = int(rng() % (60 - w)), t = int(rng() % (45 - h));
    MonoPicture ordered(60, 45);
    RasterEllipse(ordered.Rows(), l, t, l + w, t + h);
    for (int y = 0; y < 45; ++y) {
      for (int x = 0; x < 60; ++x) {
        const bool inBox = x >= l && x < l + w && y >= t && y < t + h;
        ASSERT_TRUE(inBox || !ordered.Get(x, y)) << "outside the box at " << x << "," << y;
        if (!inBox) continue;
        ASSERT_EQ(ordered.Get(x, y), ordered.Get(2 * l + w - 1 - x, y)) << w << "x" << h;
        ASSERT_EQ(ordered.Get(x, y), ordered.Get(x, 2 * t + h - 1 - y)) << w << "x" << h;
      }
    }
    const int corners[3][4] = {{l + w, t, l, t + h}, {l, t + h, l + w, t}, {l + w, t + h, l, t}};
    for (const auto& c : corners) {
      MonoPicture reversed(60, 45);
      RasterEllipse(reversed.Rows(), c[0], c[1], c[2], c[3]);
      ASSERT_EQ(reversed.Ascii(), ordered.Ascii()) << w << "x" << h;
    }
  }
}

// Windows of ellipses a few million pixels across, where the literal
// stepping's numbers no longer fit 64 bits, against that stepping done in
// 128 bits. The windows sit on the boundary at several angles and at the tips.
TEST(MaskRasterEllipse, MatchesSteppingBeyondSixtyFourBits) {
  SKIP_WITHOUT_EXACT();
  const long long sizes[][2] = {{2000001, 2500000}, {2000002, 2500001}, {7, 3000001},
                                {8, 2000000},       {6000001, 9},       {4000000, 12}};
  for (const auto& size : sizes) {
    const long long w = size[0], h = size[1];
    const std::vector<std::int32_t> rows = SteppedRows<Exact>(w, h);
    for (const double angle : {0.0, 0.3, 0.785, 1.2, 1.5707963, 2.4, 4.0}) {
      const int pw = 48, ph = 40;
      const long long cx = std::llround((w - 1) / 2.0 * (1 + std::cos(angle)));
      const long long cy = std::llround((h - 1) / 2.0 * (1 + std::sin(angle)));
      const long long l = pw / 2 - cx, t = ph / 2 - cy;
      MonoPicture picture(pw, ph);
      ASSERT_EQ(RasterEllipse(picture.Rows(), int(l), int(t), int(l + w), int(t + h)), 1);
      const std::string diff = Compare(picture, [&](int x, int y) {
        const long long bx = x - l, by = y - t;
        if (by < 0 || by >= h || rows[by] < 0) return false;
        return bx >= (w - 1) - rows[by] && bx <= rows[by];
      });
      ASSERT_EQ(diff, "") << w << " x " << h << " at angle " << angle;
    }
  }
}

TEST(MaskRasterEllipse, ExtremeRectangles) {
  // 2^32 - 1 wide and 9 high: a flat ellipse reaches its top and bottom rows,
  // and the picture sees the middle of it, where each of those rows spans
  // far more than the picture.
  MonoPicture flat(50, 12);
  flat.MarkPadding();
  EXPECT_EQ(RasterEllipse(flat.Rows(), INT_MIN, 0, INT_MAX, 9), 1);
  EXPECT_EQ(Compare(flat, [](int, int y) { return y < 9; }), "");
  // 20 wide and 2^32 - 1 high (far taller than 2 (W - 1)^2): the picture
  // rows lie next to the middle row, where the ellipse fills its box's width.
  MonoPicture tall(20, 30);
  EXPECT_EQ(RasterEllipse(tall.Rows(), 0, INT_MIN, 20, INT_MAX), 1);
  EXPECT_EQ(Compare(tall, [](int, int) { return true; }), "");
  MonoPicture wider(26, 30);
  EXPECT_EQ(RasterEllipse(wider.Rows(), 3, INT_MIN, 23, INT_MAX), 1);
  EXPECT_EQ(Compare(wider, [](int x, int) { return x >= 3 && x < 23; }), "");
  // The largest circle, reversed, seen at its centre.
  MonoPicture centre(40, 40);
  EXPECT_EQ(RasterEllipse(centre.Rows(), INT_MAX, INT_MAX, INT_MIN, INT_MIN), 1);
  EXPECT_EQ(Compare(centre, [](int, int) { return true; }), "");
  // Wholly outside, however large: nothing, result 1.
  MonoPicture none(30, 30);
  EXPECT_EQ(RasterEllipse(none.Rows(), INT_MIN, INT_MIN, -1, INT_MAX), 1);
  EXPECT_EQ(RasterEllipse(none.Rows(), 30, INT_MIN, INT_MAX, INT_MAX), 1);
  EXPECT_EQ(RasterEllipse(none.Rows(), INT_MIN, 30, INT_MAX, INT_MAX), 1);
  EXPECT_EQ(Compare(none, [](int, int) { return false; }), "");
}

TEST(MaskRasterEllipse, HugeBoundaryIsMirrorSymmetric) {
  // Ellipses about 2^31 across seen where their boundary runs through the
  // picture; drawing the mirrored rectangle must give the mirrored picture.
  const int pw = 64, ph = 48;
  const long long sizes[][2] = {
      {2147483000, 2147483001}, {2147482999, 1500000000}, {900000000, 2147483600}};
  for (const auto& size : sizes) {
    for (const double angle : {0.2, 0.785, 1.3}) {
      const long long w = size[0], h = size[1];
      const long long l = pw / 2 - std::llround((w - 1) / 2.0 * (1 + std::cos(angle)));
      const long long t = ph / 2 - std::llround((h - 1) / 2.0 * (1 - std::sin(angle)));
      MonoPicture base(pw, ph), across(pw, ph), down(pw, ph);
      RasterEllipse(base.Rows(), int(l), int(t), int(l + w), int(t + h));
      RasterEllipse(across.Rows(), int(pw - l - w), int(t), int(pw - l), int(t + h));
      RasterEllipse(down.Rows(), int(l), int(ph - t - h), int(l + w), int(ph - t));
      int set = 0;
      for (int y = 0; y < ph; ++y) {
        for (int x = 0; x < pw; ++x) {
          set += base.Get(x, y);
          ASSERT_EQ(base.Get(x, y), across.Get(pw - 1 - x, y)) << w << "x" << h << " " << angle;
          ASSERT_EQ(base.Get(x, y), down.Get(x, ph - 1 - y)) << w << "x" << h << " " << angle;
        }
      }
      EXPECT_GT(set, 0);  // the boundary really crosses the picture
      EXPECT_LT(set, pw * ph);
    }
  }
}

// ---- flood fill -------------------------------------------------------------

TEST(MaskRasterFloodFill, MatchesBreadthFirstFill) {
  std::mt19937 rng(31337);
  for (int trial = 0; trial < 300; ++trial) {
    const int w = 1 + int(rng() % 70), h = 1 + int(rng() % 50);
    const unsigned density = 20 + rng() % 50;  // percent white
    MonoPicture picture(w, h);
    picture.MarkPadding();
    std::vector<std::vector<bool>> white(h, std::vector<bool>(w));
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        white[y][x] = rng() % 100 < density;
        picture.Set(x, y, white[y][x]);
      }
    }
    int sx = int(rng() % (w + 4)) - 2, sy = int(rng() % (h + 4)) - 2;
    if (trial % 50 == 0) sx = trial % 100 ? INT_MIN : INT_MAX;
    const bool seedBlack = sx >= 0 && sy >= 0 && sx < w && sy < h && !white[sy][sx];
    if (seedBlack) BreadthFirstFill(white, sx, sy);
    ASSERT_EQ(RasterFloodFill(picture.Rows(), sx, sy), seedBlack ? 1 : 0);
    ASSERT_EQ(Compare(picture, [&](int x, int y) { return bool(white[y][x]); }), "")
        << "seed " << sx << "," << sy << " in " << w << "x" << h;
  }
}

TEST(MaskRasterFloodFill, LargeMazeWithoutRecursion) {
  // A serpentine corridor through a 3001 x 2001 picture: one fill from the
  // corner must walk all of it, and nothing behind the walls.
  const int w = 3001, h = 2001;
  MonoPicture picture(w, h);
  for (int x = 1; x < w; x += 2) {
    for (int y = 0; y < h; ++y) picture.Set(x, y, true);
    picture.Set(x, (x / 2) % 2 ? 0 : h - 1, false);  // the gap alternates ends
  }
  // The last wall opens at the top; a white pixel halfway down the last
  // corridor leaves a pocket below it that the fill cannot reach.
  picture.Set(w - 1, h / 2, true);
  EXPECT_EQ(RasterFloodFill(picture.Rows(), 0, 0), 1);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      ASSERT_EQ(picture.Get(x, y), x < w - 1 || y <= h / 2) << x << "," << y;
    }
  }
  MonoPicture empty(w, h);  // and a plain empty one
  EXPECT_EQ(RasterFloodFill(empty.Rows(), w - 1, h - 1), 1);
  EXPECT_EQ(Compare(empty, [](int, int) { return true; }), "");
}

// ---- surfaces that cannot be drawn into -------------------------------------

TEST(MaskRasterSurface, UnusableRowsAreRefusedUntouched) {
  MonoPicture picture(16, 8);
  const POINT triangle[] = {{0, 0}, {15, 0}, {0, 7}};
  MonoRows rows = picture.Rows();
  MonoRows broken[] = {rows, rows, rows, rows};
  broken[0].bits = nullptr;
  broken[1].width = 0;
  broken[2].height = -3;
  broken[3].rowBytes = 1;  // 16 pixels need 2 bytes
  for (const MonoRows& r : broken) {
    EXPECT_EQ(RasterPolygon(r, triangle, 3), 0);
    EXPECT_EQ(RasterEllipse(r, 0, 0, 16, 8), 0);
    EXPECT_EQ(RasterLine(r, 0, 0, 15, 7), 0);
    EXPECT_EQ(RasterFloodFill(r, 3, 3), 0);
  }
  EXPECT_EQ(Compare(picture, [](int, int) { return false; }), "");
}

}  // namespace
}  // namespace qvx::test
