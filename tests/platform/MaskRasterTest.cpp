// Properties of the mask rasteriser beyond the reference pictures: the same
// rules far outside the picture and at the ends of the 32-bit range (against
// references written here from GDI's rules), a fill of a large region, and
// surfaces and shapes it must refuse.
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
// ones, only that they differ).
std::string Compare(const MonoPicture& picture, const Pixel& expected) {
  if (!picture.OutsideIntact()) return "wrote outside the pixels";
  const std::vector<std::string> actual = picture.Ascii();
  std::vector<std::string> want = actual;
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) want[y][x] = expected(x, y) ? '#' : '.';
  }
  return want == actual ? "" : want.size() > 100 ? "pixels differ" : SideBySide(want, actual);
}

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
    for (const Int row : {y, b - y}) {  // at() throws should the stepping leave the box
      std::int32_t& r = right.at(std::size_t(row));
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

// A coordinate near the picture, far from it, or at the ends of the range.
int AnyCoordinate(std::mt19937& rng, int size) {
  const std::int64_t spans[] = {size + 40, 4001, 2000001, 4000000001};
  const std::int64_t starts[] = {-20, -2000, -1000000, -2000000000};
  const int ends[] = {INT_MIN, INT_MIN + 1, INT_MAX - 1, INT_MAX};
  const unsigned kind = rng() % 5;
  return kind == 4 ? ends[rng() % 4] : int(starts[kind] + std::int64_t(rng() % spans[kind]));
}

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
    } else if (trial % 2) {  // from far away through a picture pixel, on past it
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

// Ellipses against the literal stepping done in 128 bits: tall narrow ones
// near the picture (H >= 2 (W - 1)^2 among them, which GDI itself cannot be
// held to), and windows of ellipses a few million pixels across, where the
// stepping's numbers no longer fit 64 bits, on the boundary at several
// angles and at the tips.
TEST(MaskRasterEllipse, MatchesLiteralSteppingAtEverySize) {
  SKIP_WITHOUT_EXACT();
  std::vector<std::pair<long long, long long>> sizes = {{2000001, 2500000}, {2000002, 2500001},
                                                        {7, 3000001},       {8, 2000000},
                                                        {6000001, 9},       {4000000, 12}};
  for (long long w = 3; w <= 7; ++w) {  // either side of H = 2 (W - 1)^2
    sizes.insert(sizes.end(), {{w, 2 * (w - 1) * (w - 1) - 1}, {w, 2 * (w - 1) * (w - 1)}});
  }
  for (const auto& [w, h] : sizes) {
    const auto rows = std::make_shared<std::vector<std::int32_t>>(SteppedRows<Exact>(w, h));
    for (const double angle : {0.0, 0.3, 0.785, 1.2, 1.5707963, 2.4, 4.0}) {
      const long long l = 24 - std::llround((w - 1) / 2.0 * (1 + std::cos(angle)));
      const long long t = 20 - std::llround((h - 1) / 2.0 * (1 + std::sin(angle)));
      MonoPicture picture(48, 40);
      picture.MarkPadding();
      ASSERT_EQ(RasterEllipse(picture.Rows(), int(l), int(t), int(l + w), int(t + h)), 1);
      ASSERT_EQ(Compare(picture, SteppedPixels(l, t, w, h, rows)), "")
          << w << " x " << h << " at angle " << angle;
    }
  }
}

// Boxes over the whole 32-bit range, whose sides overflow an int: a flat
// ellipse 2^32 - 1 wide reaches its top and bottom rows across the picture,
// and the largest circle, reversed, covers its centre.
TEST(MaskRasterEllipse, BoxesOverTheWholeRange) {
  MonoPicture flat(30, 12), circle(30, 12);
  flat.MarkPadding();
  circle.MarkPadding();
  EXPECT_EQ(RasterEllipse(flat.Rows(), INT_MIN, 0, INT_MAX, 9), 1);
  EXPECT_EQ(RasterEllipse(circle.Rows(), INT_MAX, INT_MAX, INT_MIN, INT_MIN), 1);
  EXPECT_EQ(Compare(flat, [](int, int y) { return y < 9; }), "");
  EXPECT_EQ(Compare(circle, [](int, int) { return true; }), "");
}

// The reference pictures hold small fills; this one walks a serpentine
// corridor through a 3001 x 2001 picture from the corner, all of it and
// nothing behind the walls, and then seeds off the picture or on white.
TEST(MaskRasterFloodFill, LargeMazeWithoutRecursionAndSeedsThatFillNothing) {
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
  for (const auto& [x, y] :
       {std::pair{0, 0}, {-1, h - 1}, {w, 0}, {w - 1, h}, {INT_MIN, 0}, {0, INT_MAX}}) {
    EXPECT_EQ(RasterFloodFill(picture.Rows(), x, y), 0) << x << "," << y;
  }
  EXPECT_EQ(Compare(picture, [&](int x, int y) { return x < w - 1 || y <= h / 2; }), "");
}

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
