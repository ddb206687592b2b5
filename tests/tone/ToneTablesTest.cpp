// The table builders: worked values, the curve's special cases, and a
// check of the spline recurrence against a textbook solution.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/Fixture.h"
#include "tone/ToneTables.h"

namespace qvx::test {
namespace {

class ToneTablesTest : public QvxTest {};

std::vector<int> Curve(const std::vector<POINT>& points) {
  WorkBlock table;
  EXPECT_TRUE(MakeSplineTable(points.data(), static_cast<int>(points.size()), table));
  const BYTE* entries = SplineTable(table);
  return std::vector<int>(entries, entries + 256);
}

TEST_F(ToneTablesTest, GammaTablesFollowThePowerCurve) {
  WorkBlock tables;
  ASSERT_TRUE(MakeGammaTables(1, -1, 0, tables));
  const LevelTable* t = GammaTables(tables);
  // 255 * (128/255)^2 = 128^2 / 255 = 64.25..; 255 * (64/255)^0.5 = 127.75..
  EXPECT_NEAR(t[0][128], 128.0 * 128 / 255, 1e-9);
  EXPECT_NEAR(t[1][64], std::sqrt(64.0 * 255), 1e-9);
  EXPECT_EQ(t[0][0], 0);
  EXPECT_EQ(t[0][255], 255);
  // Gamma 0 is the identity once rounded; gamma -3 is the exponent 1/4.
  for (int i = 0; i < 256; ++i) EXPECT_EQ(RoundToInt(t[2][i]), i);
  ASSERT_TRUE(MakeGammaTables(-3, 2, 0, tables));
  EXPECT_NEAR(GammaTables(tables)[0][16], 255 * std::pow(16 / 255.0, 0.25), 1e-9);
  EXPECT_NEAR(GammaTables(tables)[1][200], 255 * std::pow(200 / 255.0, 3), 1e-9);
}

TEST_F(ToneTablesTest, BuildersReportOutOfMemory) {
  WorkBlock block;
  const POINT points[2] = {{0, 0}, {255, 255}};
  for (auto build : {+[](WorkBlock& b) { return MakeGammaTables(1, 1, 1, b); },
                     +[](WorkBlock& b) { return MakeLuminanceTables(b); },
                     +[](WorkBlock& b) { return MakeYccTables(b); }}) {
    SetErrorStatus(0);
    QvxMemFailAllocAt(1);
    EXPECT_FALSE(build(block));
    EXPECT_EQ(GetErrorStatus(), 3);
    QvxMemFailLockAt(1);
    EXPECT_FALSE(build(block));
    EXPECT_EQ(GetErrorStatus(), 3);
  }
  QvxMemFailAllocAt(1);
  EXPECT_FALSE(MakeSplineTable(points, 2, block));
  EXPECT_EQ(GetErrorStatus(), 3);
}

TEST_F(ToneTablesTest, StraightCurveAndLevelsOutsideThePoints) {
  const std::vector<int> line = Curve({{64, 0}, {192, 255}});
  EXPECT_EQ(line[128], 127);  // 127.5, truncated
  EXPECT_EQ(line[63], 63);
  EXPECT_EQ(line[193], 193);
  EXPECT_EQ(line[64], 0);
  EXPECT_EQ(line[192], 255);
  // 255 * 65 / 128 = 129.49: truncated, not rounded.
  EXPECT_EQ(line[129], 129);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(Curve({{0, 0}, {255, 255}})[i], i);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(Curve({})[i], i);
}

TEST_F(ToneTablesTest, OnePointAndEqualNeighbours) {
  std::vector<int> one = Curve({{100, 40}});
  EXPECT_EQ(one[100], 40);
  EXPECT_EQ(one[99], 99);
  EXPECT_EQ(one[101], 101);
  // A point beyond 255 still puts 255 in the range; its value is clamped.
  one = Curve({{300, 400}});
  EXPECT_EQ(one[255], 255);
  EXPECT_EQ(one[254], 254);
  one = Curve({{-5, -7}});
  EXPECT_EQ(one[0], 0);
  EXPECT_EQ(one[1], 1);
  // Of (100, 10) and (100, 90) the last counts: the line (0, 0)-(100, 90).
  const std::vector<int> runs = Curve({{0, 0}, {100, 10}, {100, 90}});
  EXPECT_EQ(runs[50], 45);
  EXPECT_EQ(runs[100], 90);
  EXPECT_EQ(runs[101], 101);
  const std::vector<int> same = Curve({{20, 5}, {20, 200}});
  EXPECT_EQ(same[20], 200);
  EXPECT_EQ(same[21], 21);
}

// The natural cubic spline solved the textbook way: second derivatives M
// from the tridiagonal system, evaluated in the symmetric form.
double TextbookSpline(const std::vector<POINT>& p, double t) {
  const int n = static_cast<int>(p.size());
  std::vector<double> h(n), a(n), b(n), c(n), r(n), m(n, 0.0);
  for (int i = 0; i + 1 < n; ++i) h[i] = p[i + 1].x - p[i].x;
  for (int i = 1; i + 1 < n; ++i) {
    a[i] = h[i - 1];
    b[i] = 2 * (h[i - 1] + h[i]);
    c[i] = h[i];
    r[i] = 6 * ((p[i + 1].y - p[i].y) / h[i] - (p[i].y - p[i - 1].y) / h[i - 1]);
  }
  for (int i = 2; i + 1 < n; ++i) {  // elimination
    const double f = a[i] / b[i - 1];
    b[i] -= f * c[i - 1];
    r[i] -= f * r[i - 1];
  }
  for (int i = n - 2; i >= 1; --i) m[i] = (r[i] - (i + 2 < n ? c[i] * m[i + 1] : 0)) / b[i];
  int j = 0;
  while (j + 2 < n && t > p[j + 1].x) ++j;
  const double x0 = p[j].x, x1 = p[j + 1].x, hj = h[j];
  return m[j] * std::pow(x1 - t, 3) / (6 * hj) + m[j + 1] * std::pow(t - x0, 3) / (6 * hj) +
         (p[j].y / hj - m[j] * hj / 6) * (x1 - t) +
         (p[j + 1].y / hj - m[j + 1] * hj / 6) * (t - x0);
}

TEST_F(ToneTablesTest, CurveIsTheNaturalCubicSpline) {
  const std::vector<std::vector<POINT>> curves = {
      {{0, 10}, {64, 50}, {128, 150}, {192, 220}, {255, 250}},
      {{10, 200}, {40, 30}, {90, 120}},
      {{0, 0}, {30, 90}, {31, 95}, {140, 60}, {200, 255}, {230, 100}},
  };
  for (const auto& points : curves) {
    const std::vector<int> table = Curve(points);
    for (int t = points.front().x; t <= points.back().x; ++t) {
      const double value = TextbookSpline(points, t);
      const double fraction = value - std::floor(value);
      if (fraction < 1e-6 || fraction > 1 - 1e-6) continue;  // too close to call
      const int expected = value > 255 ? 255 : (value < 0 ? 0 : static_cast<int>(value));
      EXPECT_EQ(table[t], expected) << "level " << t << ", spline value " << value;
    }
  }
}

}  // namespace
}  // namespace qvx::test
