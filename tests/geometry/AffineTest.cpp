// QVAffine against the mapping evaluated here pixel by pixel from its
// rules, on random pictures of every layout and random corners (inside,
// outside, nearly upright, on a line); worked cases; the record path
// against the fast one; refusals, failures, cancels and progress.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>

#include "geometry/Affine.h"
#include "geometry/GeometryReference.h"

namespace qvx::test {
namespace {

using Quad4 = std::array<POINT, 4>;

// What a call should give: a picture, or a failure with a status (-1:
// the status left as it was).
struct AffineOutcome {
  std::optional<Grid> picture;
  int status = 0;
};

// The rules evaluated directly: clamp, sort, rectangle, then the cut or the
// bilinear inverse at every pixel of the bounding box.
AffineOutcome AffineModel(const Grid& g, Quad4 c) {
  for (POINT& p : c) p.x = std::clamp<int>(p.x, 0, g.width - 1), p.y = std::clamp<int>(p.y, 0, g.height - 1);
  // Insertion sort by x, equal x keeping their order.
  for (int i = 1; i < 4; ++i)
    for (int j = i; j > 0 && c[j - 1].x > c[j].x; --j) std::swap(c[j - 1], c[j]);
  POINT p0 = c[0], p1 = c[1], p2 = c[2], p3 = c[3];
  if (p1.y > p0.y) std::swap(p0, p1);
  if (p3.y < p2.y) std::swap(p2, p3);
  const int left = std::max(p0.x, p1.x), right = std::min(p2.x, p3.x);
  const int top = std::max(p1.y, p2.y), bottom = std::min(p0.y, p3.y);
  const int w = right - left, h = bottom - top;
  if (w < 1 || h < 1) return {std::nullopt, 5};
  Grid out = g.Blank(w, h);
  if (g.bits <= 8)
    for (Pixel& p : out.pixels)
      p = Pixel{0, g.table[0].rgbRed, g.table[0].rgbGreen, g.table[0].rgbBlue, 0};
  if (std::abs(p0.x - p1.x) < 3 && std::abs(p2.x - p3.x) < 3 && std::abs(p1.y - p2.y) < 3 &&
      std::abs(p0.y - p3.y) < 3) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) out.At(x, y) = g.At(left + x, top + y);
    return {out, 0};
  }
  const long e1x = p3.x - p0.x, e1y = p3.y - p0.y, e2x = p1.x - p0.x, e2y = p1.y - p0.y;
  const long det = e1x * e2y - e1y * e2x;
  if (det == 0) return {std::nullopt, -1};
  const double D = static_cast<double>(det);
  const double a = ((p2.x - p0.x) * e2y - (p2.y - p0.y) * e2x) / D;
  const double b = ((p2.y - p0.y) * e1x - (p2.x - p0.x) * e1y) / D;
  const int minX = std::min(p0.x, p1.x), maxX = std::max(p2.x, p3.x);
  const int minY = std::min(p1.y, p2.y), maxY = std::max(p0.y, p3.y);
  for (int y = minY; y < maxY; ++y)
    for (int x = minX; x < maxX; ++x) {
      const double s = ((x - p0.x) * e2y - (y - p0.y) * e2x) / D;
      const double t = ((y - p0.y) * e1x - (x - p0.x) * e1y) / D;
      const double k = (a - 1) * t - (b - 1) * s;
      const double q = (k + 1) * (k + 1) + 4 * (b - 1) * s;
      if (q < 0) continue;
      const double r = std::sqrt(q);
      const double du = 1 + k + r, dv = 1 - k + r;
      if (du < 0.0001 || dv < 0.0001) continue;
      const double u = 2 * s / du, v = 2 * t / dv;
      const double fx = std::trunc(u * w), fy = std::trunc(h - v * h);
      if (fx < 0 || fx >= w || fy < 0 || fy >= h) continue;
      const int cx = static_cast<int>(fx), cy = static_cast<int>(fy);
      Pixel p = g.At(x, y);
      p.alpha = 0;
      out.At(cx, cy) = p;
      if (cx + 1 < w) out.At(cx + 1, cy) = p;
      if (cy > 0) out.At(cx, cy - 1) = p;
    }
  return {out, 0};
}

HGLOBAL Affine(HGLOBAL picture, const Quad4& c, BOOL noDialog = TRUE) {
  return QVAffine(picture, c[0].x, c[0].y, c[1].x, c[1].y, c[2].x, c[2].y, c[3].x, c[3].y,
                  noDialog, 0, 0, 0);
}

class AffineTest : public QvxTest {
 protected:
  // Runs the export on the picture and checks it against the model, and
  // the record path against the fast one.
  void ExpectModel(HGLOBAL picture, const Quad4& c, const std::string& where) {
    const AffineOutcome expected = AffineModel(Decode(picture), c);
    SetErrorStatus(42);
    HGLOBAL result = Keep(Affine(picture, c));
    if (!expected.picture) {
      EXPECT_EQ(result, nullptr) << where;
      EXPECT_EQ(GetErrorStatus(), expected.status < 0 ? 42 : expected.status) << where;
      return;
    }
    EXPECT_EQ(GetErrorStatus(), 0) << where;
    EXPECT_EQ(Mismatch(*expected.picture, result), "") << where;
    HGLOBAL generic = Keep(AffineImage(picture, Corners{{c[0], c[1], c[2], c[3]}}, TRUE,
                                       PixelRoute::kRecord));
    if (result) {
      EXPECT_EQ(BlockBytes(result), BlockBytes(generic)) << where;
    }
  }
};

TEST_F(AffineTest, MatchesTheMappingOnRandomPicturesOfEveryLayout) {
  std::mt19937 random(17);
  for (Layout layout : AllLayouts())
    for (int n = 0; n < 40; ++n) {
      const int w = 1 + random() % (n % 2 ? 45 : 16), h = 1 + random() % 23;
      HGLOBAL picture = Keep(MakePicture(layout, w, h, random()));
      const auto coordinate = [&](int size) {
        // Mostly inside, sometimes beyond a border.
        return n % 5 == 4 ? int(random() % (size + 20)) - 10 : int(random() % size);
      };
      Quad4 c;
      if (n % 7 == 3) {
        // Nearly upright: each corner at most 2 (or 3) pixels off.
        const int spread = n % 14 == 3 ? 2 : 3;
        const int l = coordinate(w), t = coordinate(h), r = l + 1 + random() % w,
                  b = t + 1 + random() % h;
        const auto jitter = [&] { return int(random() % (spread + 1)); };
        c = {POINT{l + jitter(), b - jitter()}, POINT{l - jitter(), t + jitter()},
             POINT{r - jitter(), t - jitter()}, POINT{r + jitter(), b + jitter()}};
      } else if (n % 7 == 5) {
        // Three corners on a line.
        const int x = coordinate(w), y = coordinate(h), dx = 1 + random() % 3,
                  dy = int(random() % 5) - 2;
        c = {POINT{x, y}, POINT{x + dx, y + dy}, POINT{x + 2 * dx, y + 2 * dy},
             POINT{coordinate(w), coordinate(h)}};
      } else if (n % 7 == 6) {
        // Few distinct coordinates: corners share x or y, so the order of
        // equals decides the edges.
        const int l = coordinate(w), t = coordinate(h), step = 3 + random() % 4;
        for (POINT& p : c) p = POINT{l + step * int(random() % 3), t + step * int(random() % 3)};
      } else {
        for (POINT& p : c) p = POINT{coordinate(w), coordinate(h)};
      }
      std::shuffle(c.begin(), c.end(), random);
      ExpectModel(picture, c,
                  Describe(NameOf(layout), w, h, "corners", c[0].x, c[0].y, c[1].x, c[1].y,
                           c[2].x, c[2].y, c[3].x, c[3].y));
    }
}

// A parallelogram whose inverse is exact in binary: P0 (0, 8), P1 (4, 0),
// P2 (12, 0), P3 (8, 8). e1 = (8, 0), e2 = (4, -8), D = -64, a = b = 1, so
// k = 0, q = 1, du = dv = 2, u = s = (2x + y - 8) / 16 and v = t = (8 - y)
// / 8. The result is 4 x 8; source (x, y) lands on column trunc((2x + y -
// 8) / 4), row y. Row 0 is written last by source row 1 (upwards), at x =
// 5, 7, 9, 11; row 7 by source row 7 at x = 2, 4, 6, 8 (each cell's last
// writer, counting the cell to the right).
TEST_F(AffineTest, WorkedParallelogram) {
  for (Layout layout : {Layout::kRgb24, Layout::kPalette4, Layout::kRgb32}) {
    HGLOBAL picture = Keep(MakePicture(layout, 13, 9, 3));
    const Grid g = Decode(picture);
    const Grid got = Decode(Keep(Affine(picture, {POINT{12, 0}, {0, 8}, {8, 8}, {4, 0}})));
    ASSERT_EQ(got.width, 4);
    ASSERT_EQ(got.height, 8);
    for (int cx = 0; cx < 4; ++cx) {
      Pixel top = g.At(5 + 2 * cx, 1), bottom = g.At(2 + 2 * cx, 7);
      top.alpha = bottom.alpha = 0;
      EXPECT_EQ(got.At(cx, 0), top) << NameOf(layout) << " column " << cx;
      EXPECT_EQ(got.At(cx, 7), bottom) << NameOf(layout) << " column " << cx;
    }
  }
}

TEST_F(AffineTest, CutsOfUprightRectangles) {
  // The exact rectangle loses its last column and row.
  HGLOBAL wide = Keep(MakePicture(Layout::kRgb32, 200, 100, 4));
  const Grid source = Decode(wide);
  const Grid cut = Decode(Keep(Affine(wide, {POINT{0, 0}, {0, 99}, {199, 0}, {199, 99}})));
  ASSERT_EQ(cut.width, 199);
  ASSERT_EQ(cut.height, 99);
  EXPECT_EQ(cut.At(0, 0), source.At(0, 0));
  EXPECT_EQ(cut.At(198, 98), source.At(198, 98)) << "a cut keeps the alpha";
  // Corners outside are pulled onto the border first: (-10, -10) is (0, 0).
  EXPECT_EQ(BlockBytes(Keep(Affine(wide, {POINT{-10, -10}, {-10, 500}, {900, -10}, {900, 500}}))),
            BlockBytes(Keep(Affine(wide, {POINT{0, 0}, {0, 99}, {199, 0}, {199, 99}}))));
  // A 1-bit cut at left = 5 starts with source column 5.
  HGLOBAL bits = Keep(MakeMask({"......#.#", ".....#..#", ".....##.."}));
  const Grid one = Decode(Keep(Affine(bits, {POINT{5, 0}, {5, 2}, {8, 0}, {8, 2}})));
  ASSERT_EQ(one.width, 3);
  EXPECT_EQ(one.At(0, 0).index, 0);
  EXPECT_EQ(one.At(1, 0).index, 1);
  EXPECT_EQ(one.At(0, 1).index, 1);
  // 2 pixels off upright is cut; 3 pixels off is warped.
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 40, 30, 6));
  const Grid g = Decode(picture);
  const Grid near = Decode(Keep(Affine(picture, {POINT{2, 0}, {0, 20}, {30, 0}, {30, 20}})));
  ASSERT_EQ(near.width, 28);
  EXPECT_EQ(near.At(0, 0), g.At(2, 0));
  EXPECT_EQ(near.At(27, 19), g.At(29, 19));
  const Grid off = Decode(Keep(Affine(picture, {POINT{3, 0}, {0, 20}, {30, 0}, {30, 20}})));
  ASSERT_EQ(off.width, 27);
  int moved = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 27; ++x) moved += !(off.At(x, y) == g.At(3 + x, y));
  EXPECT_GT(moved, 20) << "warped, not cut";
}

TEST_F(AffineTest, WarpedPixelsKeepTheirChannelsAndLoseAlpha) {
  for (Layout layout : {Layout::kRgb32, Layout::kRgb555, Layout::kRgb565}) {
    HGLOBAL picture = Keep(MakePicture(layout, 30, 20, 8));
    if (layout == Layout::kRgb555) {
      // Set the unused top bit of every word: warped words lose it.
      PictureView view(picture);
      for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) const_cast<std::uint8_t*>(view.Row(y))[2 * x + 1] |= 0x80;
    }
    HGLOBAL result = Keep(Affine(picture, {POINT{5, 2}, {0, 19}, {29, 0}, {25, 17}}));
    ASSERT_NE(result, nullptr);
    PictureView view(result);
    const int step = view.BitCount() / 8;
    for (int y = 0; y < view.Height(); ++y)
      for (int x = 0; x < view.Width(); ++x) {
        const std::uint8_t last = view.Row(y)[step * x + step - 1];
        const int unused = layout == Layout::kRgb32 ? 0xFF : layout == Layout::kRgb555 ? 0x80 : 0;
        ASSERT_EQ(last & unused, 0) << x << " " << y;
      }
    ExpectModel(picture, {POINT{5, 2}, {0, 19}, {29, 0}, {25, 17}}, NameOf(layout));
  }
}

TEST_F(AffineTest, RefusalsFailuresCancelsAndProgress) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 20, 12, 1));
  const auto status = [&](HGLOBAL p, const Quad4& c, BOOL noDialog = TRUE) {
    return RefusalOf([&] {
      SetErrorStatus(42);
      return Affine(p, c, noDialog);
    });
  };
  const Quad4 slanted{POINT{2, 1}, {0, 11}, {19, 0}, {15, 10}};
  EXPECT_EQ(status(nullptr, slanted), 7);
  EXPECT_EQ(status(Keep(GlobalAlloc(GHND, 20)), slanted), 7);
  // All corners in one place, or a sliver: no rectangle inside.
  EXPECT_EQ(status(picture, {POINT{4, 4}, {4, 4}, {4, 4}, {4, 4}}), 5);
  EXPECT_EQ(status(picture, {POINT{3, 0}, {3, 11}, {9, 0}, {9, 0}}), 5);
  // Three corners on a line: the status is left alone.
  EXPECT_EQ(status(picture, {POINT{0, 0}, {5, 5}, {10, 10}, {19, 0}}), 42);
  QvxComSetDlgOpenHandler([](void*, DWORD, DWORD, DWORD) -> BOOL { return FALSE; }, nullptr);
  EXPECT_EQ(status(picture, slanted, FALSE), 2);
  QvxComSetDlgOpenHandler(nullptr, nullptr);
  for (Layout layout : {Layout::kRgb24, Layout::kPalette1, Layout::kRgb565}) {
    HGLOBAL p = Keep(MakePicture(layout, 20, 12, 2));
    // The warp reports each row of the bounding box, the cut each row of
    // the result.
    const auto warp = [&] { return Affine(p, slanted); };
    const auto cut = [&] { return Affine(p, {POINT{1, 1}, {0, 11}, {19, 2}, {18, 10}}); };
    ExpectCleanFailures(warp);
    ExpectCleanFailures(cut);
    EXPECT_EQ(Progress(ExpectCleanCancels(warp)), Progress({{11}}));
    EXPECT_EQ(Progress(ExpectCleanCancels(cut)), Progress({{8}}));
  }
}

}  // namespace
}  // namespace qvx::test
