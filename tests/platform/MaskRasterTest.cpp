// Properties of the mask rasteriser beyond the reference pictures: the same
// rules at coordinates far outside the picture, symmetry, and flood fills on
// large and irregular pictures. Expected pixels come from references written
// here straight from GDI's rules (a per-pixel test for lines and polygons,
// the literal quarter stepping for ellipses, a search for the fill) or from
// reasoning about the shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "platform/MaskRaster.h"
#include "platform/MaskRasterPicture.h"

namespace qvx::test {
namespace {

#if defined(__SIZEOF_INT128__)
using Exact = __int128;
#define SKIP_WITHOUT_EXACT()
#else
using Exact = long long;
#define SKIP_WITHOUT_EXACT() GTEST_SKIP() << "needs a 128-bit integer type for the reference"
#endif

using Pixel = std::function<bool(int x, int y)>;

// "" when the picture holds exactly the expected pixels and nothing was
// written outside them; otherwise both pictures side by side (or, for large
// ones, the first differing row).
std::string Compare(const MonoPicture& picture, const Pixel& expected) {
  if (!picture.OutsideIntact()) return "wrote outside the pixels";
  const std::vector<std::string> actual = picture.Ascii();
  std::vector<std::string> want = actual;
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) want[y][x] = expected(x, y) ? '#' : '.';
  }
  if (want == actual) return "";
  if (want.size() > 100)
    return "rows differ from row " +
           std::to_string(std::mismatch(want.begin(), want.end(), actual.begin()).first -
                          want.begin());
  return SideBySide(want, actual);
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
  bool inside = false;
  for (std::size_t k = 0; k < p.size(); ++k) {
    POINT a = p[k], b = p[(k + 1) % p.size()];
    if (LinePixel(a.x, a.y, b.x, b.y, x, y)) return true;
    if (a.y > b.y) std::swap(a, b);
    if (y < a.y || y >= b.y) continue;
    // a.x + dx * (y - a.y) / dy <= x
    const long long dy = (long long)b.y - a.y, dx = (long long)b.x - a.x;
    if (Exact(a.x) * dy + Exact(dx) * (y - a.y) <= Exact(x) * dy) inside = !inside;
  }
  return inside;
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

// The pixels of a w x h box at (l, t) whose rows span `rows` as SteppedRows
// gives them.
Pixel SteppedPixels(long long l, long long t, long long w, long long h,
                    std::shared_ptr<const std::vector<std::int32_t>> rows) {
  return [=](int x, int y) {
    const long long bx = x - l, by = y - t;
    const std::int32_t right = by >= 0 && by < h ? (*rows)[by] : -1;
    return right >= 0 && bx >= (w - 1) - right && bx <= right;
  };
}

// Expected ellipse pixels for the rectangle, by the rules including the
// small and thin cases.
Pixel EllipseReference(long long l, long long t, long long r, long long b) {
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  const long long w = r - l, h = b - t;
  if (w == 0 || h == 0 || (w == 1 && h == 1)) return [](int, int) { return false; };
  if (w <= 2 || h <= 2) return [=](int x, int y) { return x >= l && x < r && y >= t && y < b; };
  return SteppedPixels(l, t, w, h,
                       std::make_shared<std::vector<std::int32_t>>(SteppedRows<long long>(w, h)));
}

// A coordinate near the picture, far from it, or at the ends of the range.
int AnyCoordinate(std::mt19937& rng, int size) {
  const std::int64_t spans[] = {size + 40, 4001, 2000001, 4000000001};
  const std::int64_t starts[] = {-20, -2000, -1000000, -2000000000};
  const int ends[] = {INT_MIN, INT_MIN + 1, INT_MAX - 1, INT_MAX};
  const unsigned kind = rng() % 5;
  return kind == 4 ? ends[rng() % 4] : int(starts[kind] + std::int64_t(rng() % spans[kind]));
}

// ---- lines and polygons ----------------------------------------------------

TEST(MaskRasterLine, MatchesPerPixelRuleAnywhereInRange) {
  SKIP_WITHOUT_EXACT();
  // First the ends of the range: corner to corner (2^32 - 1 steps of exactly
  // 45 degrees), across it rising one row either way (a tie never occurs
  // with n odd), and a vertical seam far above and below.
  const int extremes[][4] = {{INT_MIN, INT_MIN, INT_MAX, INT_MAX},
                             {INT_MIN, 0, INT_MAX, 1},
                             {INT_MAX, 1, INT_MIN, 0},
                             {4, INT_MAX, 4, INT_MIN}};
  std::mt19937 rng(1234);
  for (int trial = 0; trial < 600; ++trial) {
    MonoPicture picture(37 + trial % 5, 23 + trial % 3);
    picture.MarkPadding();
    int x1 = AnyCoordinate(rng, picture.Width()), y1 = AnyCoordinate(rng, picture.Height());
    int x2 = AnyCoordinate(rng, picture.Width()), y2 = AnyCoordinate(rng, picture.Height());
    if (trial < 4) {
      x1 = extremes[trial][0], y1 = extremes[trial][1];
      x2 = extremes[trial][2], y2 = extremes[trial][3];
    } else if (trial % 4 == 0) {  // short lines near the picture, every octant and slope
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
    if (trial == 0) points = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {0, INT_MAX}};
    if (trial == 1) points = {{3, 3}, {3, 3}, {3, 3}};
    ASSERT_EQ(RasterPolygon(picture.Rows(), points.data(), int(points.size())), 1);
    std::ostringstream text;
    for (const POINT& p : points) text << " " << p.x << "," << p.y;
    ASSERT_EQ(Compare(picture, [&](int x, int y) { return PolygonPixel(points, x, y); }), "")
        << "polygon" << text.str();
  }
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

// Windows of ellipses a few million pixels across, where the literal
// stepping's numbers no longer fit 64 bits, against that stepping done in
// 128 bits. The windows sit on the boundary at several angles and at the tips.
TEST(MaskRasterEllipse, MatchesSteppingBeyondSixtyFourBits) {
  SKIP_WITHOUT_EXACT();
  const long long sizes[][2] = {{2000001, 2500000}, {2000002, 2500001}, {7, 3000001},
                                {8, 2000000},       {6000001, 9},       {4000000, 12}};
  for (const auto& [w, h] : sizes) {
    const auto rows = std::make_shared<std::vector<std::int32_t>>(SteppedRows<Exact>(w, h));
    for (const double angle : {0.0, 0.3, 0.785, 1.2, 1.5707963, 2.4, 4.0}) {
      const long long l = 24 - std::llround((w - 1) / 2.0 * (1 + std::cos(angle)));
      const long long t = 20 - std::llround((h - 1) / 2.0 * (1 + std::sin(angle)));
      MonoPicture picture(48, 40);
      ASSERT_EQ(RasterEllipse(picture.Rows(), int(l), int(t), int(l + w), int(t + h)), 1);
      ASSERT_EQ(Compare(picture, SteppedPixels(l, t, w, h, rows)), "")
          << w << " x " << h << " at angle " << angle;
    }
  }
}

TEST(MaskRasterEllipse, ExtremeRectangles) {
  const struct {
    int l, t, r, b, width, height;
    Pixel want;
  } cases[] = {// 2^32 - 1 wide and 9 high: a flat ellipse reaches its top and bottom
               // rows, and the picture sees the middle of it, where each of those rows
               // spans far more than the picture.
               {INT_MIN, 0, INT_MAX, 9, 50, 12, [](int, int y) { return y < 9; }},
               // 20 wide and 2^32 - 1 high (far taller than 2 (W - 1)^2): the picture
               // rows lie next to the middle row, where the ellipse fills its box's
               // width.
               {0, INT_MIN, 20, INT_MAX, 20, 30, [](int, int) { return true; }},
               {3, INT_MIN, 23, INT_MAX, 26, 30, [](int x, int) { return x >= 3 && x < 23; }},
               // The largest circle, reversed, seen at its centre.
               {INT_MAX, INT_MAX, INT_MIN, INT_MIN, 40, 40, [](int, int) { return true; }},
               // Wholly outside, however large: nothing, result 1.
               {INT_MIN, INT_MIN, -1, INT_MAX, 30, 30, [](int, int) { return false; }},
               {30, INT_MIN, INT_MAX, INT_MAX, 30, 30, [](int, int) { return false; }},
               {INT_MIN, 30, INT_MAX, INT_MAX, 30, 30, [](int, int) { return false; }}};
  for (const auto& c : cases) {
    MonoPicture picture(c.width, c.height);
    picture.MarkPadding();
    EXPECT_EQ(RasterEllipse(picture.Rows(), c.l, c.t, c.r, c.b), 1);
    EXPECT_EQ(Compare(picture, c.want), "") << c.l << " " << c.t << " " << c.r << " " << c.b;
  }
}

// ---- flood fill -------------------------------------------------------------

TEST(MaskRasterFloodFill, MatchesASearchOfTheBlackRegion) {
  std::mt19937 rng(31337);
  for (int trial = 0; trial < 300; ++trial) {
    const int w = 1 + int(rng() % 70), h = 1 + int(rng() % 50);
    const unsigned density = 20 + rng() % 50;  // percent white
    MonoPicture picture(w, h);
    picture.MarkPadding();
    std::vector<std::vector<bool>> white(h, std::vector<bool>(w));
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) picture.Set(x, y, white[y][x] = rng() % 100 < density);
    }
    int sx = int(rng() % (w + 4)) - 2, sy = int(rng() % (h + 4)) - 2;
    if (trial % 50 == 0) sx = trial % 100 ? INT_MIN : INT_MAX;
    const bool seedBlack = sx >= 0 && sy >= 0 && sx < w && sy < h && !white[sy][sx];
    // Every black pixel 4-connected to the seed turns white.
    std::vector<std::pair<int, int>> todo;
    if (seedBlack) todo.push_back({sx, sy});
    while (!todo.empty()) {
      const auto [x, y] = todo.back();
      todo.pop_back();
      if (x < 0 || y < 0 || x >= w || y >= h || white[y][x]) continue;
      white[y][x] = true;
      todo.insert(todo.end(), {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}});
    }
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
  EXPECT_EQ(Compare(picture, [&](int x, int y) { return x < w - 1 || y <= h / 2; }), "");
  MonoPicture empty(w, h);  // and a plain empty one
  EXPECT_EQ(RasterFloodFill(empty.Rows(), w - 1, h - 1), 1);
  EXPECT_EQ(Compare(empty, [](int, int) { return true; }), "");
}

// ---- surfaces that cannot be drawn into -------------------------------------

TEST(MaskRasterSurface, UnusableRowsAndVertexCountsAreRefusedUntouched) {
  MonoPicture picture(16, 8);
  const POINT triangle[] = {{0, 0}, {15, 0}, {0, 7}};
  MonoRows broken[] = {picture.Rows(), picture.Rows(), picture.Rows(), picture.Rows()};
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
  // Polygons of fewer than two vertices, or none given.
  const POINT square[] = {{1, 1}, {5, 1}, {5, 5}, {1, 5}};
  for (int count : {1, 0, -7, INT_MIN}) EXPECT_EQ(RasterPolygon(picture.Rows(), square, count), 0);
  EXPECT_EQ(RasterPolygon(picture.Rows(), nullptr, 3), 0);
  EXPECT_EQ(Compare(picture, [](int, int) { return false; }), "");
}

}  // namespace
}  // namespace qvx::test
