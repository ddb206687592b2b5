// The curve table of control points: curves worked by hand from the natural
// cubic spline's definition, and properties any reading of it must keep
// (through every control point, straight lines staying straight and
// monotone, levels outside the points' range untouched).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "support/Fixture.h"
#include "tone/ToneTables.h"

namespace qvx::test {
namespace {

class SplineTableTest : public QvxTest {
 protected:
  std::vector<int> Table(const std::vector<POINT>& points) {
    WorkBlock block;
    EXPECT_TRUE(MakeSplineTable(points.data(), static_cast<int>(points.size()), block));
    const BYTE* table = SplineTable(block);
    return std::vector<int>(table, table + 256);
  }
};

TEST_F(SplineTableTest, TwoPointsMakeTheStraightLineBetweenThem) {
  const std::vector<int> t = Table({{64, 0}, {192, 255}});
  // 255 (v - 64) / 128, truncated: 100 -> 71.71875, 128 -> 127.5.
  EXPECT_EQ(t[63], 63);
  EXPECT_EQ(t[64], 0);
  EXPECT_EQ(t[100], 71);
  EXPECT_EQ(t[128], 127);
  EXPECT_EQ(t[192], 255);
  EXPECT_EQ(t[193], 193);
}

TEST_F(SplineTableTest, ThreePointsFollowTheNaturalSpline) {
  // Knots 0, 100, 200 at 0, 200, 0: by symmetry the second derivative at
  // the middle knot is M = 6 (s2 - s1) / (2 (h0 + h1)) = 6 (-4) / 400 =
  // -0.06, so on the left segment S(x) = M x^3 / (6 h) + (200 / h - M h / 6) x
  // = -x^3 / 10000 + 3 x.
  const std::vector<int> t = Table({{0, 0}, {100, 200}, {200, 0}});
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[25], 73);   // 73.4375
  EXPECT_EQ(t[50], 137);  // 137.5
  EXPECT_EQ(t[150], 137);
  EXPECT_EQ(t[175], 73);
  EXPECT_NEAR(t[100], 200, 1);
  EXPECT_EQ(t[201], 201);
}

TEST_F(SplineTableTest, OvershootIsClampedToTheLevelRange) {
  // Knots 0, 10, 20 at 0, 250, 250: the middle second derivative is
  // 6 (0 - 25) / 40 = -3.75 and the curve's midpoint between 10 and 20 is
  // 250 - 10^2 / 16 (-3.75) = 273.4375, above 255.
  EXPECT_EQ(Table({{0, 0}, {10, 250}, {20, 250}})[15], 255);
  // Mirrored: 5 - 23.4375 is below 0.
  EXPECT_EQ(Table({{0, 255}, {10, 5}, {20, 5}})[15], 0);
}

TEST_F(SplineTableTest, OnePointMapsOnlyItsOwnLevel) {
  const std::vector<int> t = Table({{100, 40}});
  EXPECT_EQ(t[99], 99);
  EXPECT_EQ(t[100], 40);
  EXPECT_EQ(t[101], 101);
  EXPECT_EQ(Table({{7, 300}})[7], 255);
  EXPECT_EQ(Table({{7, -3}})[7], 0);
}

TEST_F(SplineTableTest, NoPointsLeaveEveryLevel) {
  const std::vector<int> t = Table({});
  for (int v = 0; v < 256; ++v) EXPECT_EQ(t[v], v);
}

TEST_F(SplineTableTest, RandomCurvesPassThroughEveryControlPoint) {
  std::mt19937 random(12);
  for (int round = 0; round < 200; ++round) {
    std::vector<POINT> points(2 + random() % 30);
    int x = static_cast<int>(random() % 8);
    for (POINT& p : points) {
      p = {x, static_cast<LONG>(random() % 256)};
      x += 1 + static_cast<int>(random() % 8);
    }
    const std::vector<int> t = Table(points);
    // The first point starts its segment; the others end one, where the
    // cubic's sum may land just below the level before truncation.
    EXPECT_EQ(t[points[0].x], points[0].y);
    for (const POINT& p : points) {
      if (p.x > 255) break;
      EXPECT_NEAR(t[p.x], p.y, 1) << "round " << round << " x " << p.x;
      if (p.y == 0) {
        EXPECT_EQ(t[p.x], 0);
      }
    }
    for (int v = 0; v < points[0].x; ++v) EXPECT_EQ(t[v], v);
    for (int v = points.back().x + 1; v < 256; ++v) EXPECT_EQ(t[v], v);
  }
}

TEST_F(SplineTableTest, PointsOnALineGiveThatLineMonotone) {
  // The natural spline through collinear points is their line, whatever the
  // spacing: the table follows it within the truncation and never falls.
  std::mt19937 random(34);
  for (int round = 0; round < 100; ++round) {
    const int slopeNumerator = 1 + static_cast<int>(random() % 4), slopeDenominator = 4;
    std::vector<POINT> points(3 + random() % 10);
    int x = static_cast<int>(random() % 20);
    for (POINT& p : points) {
      p = {x, static_cast<LONG>(x * slopeNumerator / slopeDenominator)};
      x += slopeDenominator * (1 + static_cast<int>(random() % 6));
    }
    const std::vector<int> t = Table(points);
    const int hi = std::min<int>(points.back().x, 255);
    for (int v = points[0].x; v <= hi; ++v) {
      const double line = v * slopeNumerator / static_cast<double>(slopeDenominator);
      EXPECT_NEAR(t[v], std::floor(line), 1) << "round " << round << " level " << v;
      if (v > points[0].x) {
        EXPECT_GE(t[v], t[v - 1]) << "round " << round << " level " << v;
      }
    }
  }
}

}  // namespace
}  // namespace qvx::test
