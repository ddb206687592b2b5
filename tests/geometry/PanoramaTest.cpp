// QVPanorama: the segment angle, the scale, turn and placement worked by
// hand, where the second picture's points land in the joined picture, the
// seam modes on both sides, the seam masks against the GDI reference
// pictures, refusals, failures, cancels and progress.
#include <cmath>
#include <cstdio>
#include <string>

#include "geometry/GeometryReference.h"
#include "geometry/Panorama.h"
#include "platform/GdiMaskCases.h"

namespace qvx::test {
namespace {

struct Points {
  POINT p0, p1, q0, q1;
};

HGLOBAL Panorama(HGLOBAL a, HGLOBAL b, BYTE seam, const Points& p, BOOL noDialog = TRUE) {
  return QVPanorama(a, b, seam, p.p0.x, p.p0.y, p.p1.x, p.p1.y, p.q0.x, p.q0.y, p.q1.x, p.q1.y,
                    1, 2, 3, noDialog, 0, 0, 0);
}

PanoramaJoin Join(const Points& p, int ah, int bw, int bh) {
  return JoinPanorama({p.p0, p.p1, p.q0, p.q1}, ah, bw, bh);
}

class PanoramaTest : public QvxTest {};

TEST_F(PanoramaTest, SegmentAngles) {
  EXPECT_EQ(GetLineAngle(3, 3, 9, 3), 0);
  EXPECT_EQ(GetLineAngle(3, 3, 3, 9), 90);
  EXPECT_EQ(GetLineAngle(3, 3, -5, 3), 180);
  EXPECT_EQ(GetLineAngle(3, 3, 3, 1), 270);
  EXPECT_EQ(GetLineAngle(4, 4, 4, 4), 90) << "the zero vector";
  EXPECT_NEAR(GetLineAngle(0, 0, 2, 2), 45, 1e-12);
  EXPECT_NEAR(GetLineAngle(0, 0, 1, -1), 315, 1e-12);
  EXPECT_NEAR(GetLineAngle(0, 0, -1, -1), 225, 1e-12);
}

// Worked by hand on a 101 x 81 base and a 51 x 41 second picture (MaxY 80
// and 40).
TEST_F(PanoramaTest, ScaleTurnAndPlacement) {
  // The same segment on both: scale 1, angle 0. Q0 (10, 20) has y' = 20,
  // X = 10 - 25 = -15, Y = 20 - 20 = 0; px = 60 + 15, py = 0 + 30.
  PanoramaJoin j = Join({{60, 30}, {70, 30}, {10, 20}, {20, 20}}, 81, 51, 41);
  EXPECT_EQ(j.width, 51);
  EXPECT_EQ(j.height, 41);
  EXPECT_EQ(j.angle, 0);
  EXPECT_EQ(j.px, 75);
  EXPECT_EQ(j.py, 30);
  // Twice as long on the base: 102 x 82; X = 20 - 51 = -31, Y = 40 - 41 = -1.
  j = Join({{60, 30}, {80, 30}, {10, 20}, {20, 20}}, 81, 51, 41);
  EXPECT_EQ(j.width, 102);
  EXPECT_EQ(j.height, 82);
  EXPECT_EQ(j.px, 91);
  EXPECT_EQ(j.py, 29);
  // Base segment pointing up (90 degrees), second at 0 degrees: 9000. Q0 at
  // the centre (25, 20): X = Y = 0, so the centre lands on P0.
  j = Join({{60, 30}, {60, 20}, {25, 20}, {35, 20}}, 81, 51, 41);
  EXPECT_EQ(j.angle, 9000);
  EXPECT_EQ(j.px, 60);
  EXPECT_EQ(j.py, 30);
  // The other way round: 0 - 90 degrees = -9000.
  EXPECT_EQ(Join({{60, 30}, {70, 30}, {25, 20}, {25, 10}}, 81, 51, 41).angle, -9000);
  // Half as long (a 5-unit base segment against 10): 25 x 20.
  j = Join({{60, 30}, {63, 26}, {10, 20}, {16, 12}}, 81, 51, 41);
  EXPECT_EQ(j.width, 25);
  EXPECT_EQ(j.height, 20);
  EXPECT_EQ(j.angle, 0);
}

// A 24-bit picture of one colour.
HGLOBAL Plain(int width, int height, Colour c) {
  return PaintedPicture(width, height, [c](int, int) { return c; });
}

TEST_F(PanoramaTest, TheSecondPicturesPointsLandOnTheBasePoints) {
  HGLOBAL a = Keep(Plain(101, 81, {200, 100, 50}));
  HGLOBAL b = Keep(MakePicture(Layout::kRgb24, 31, 21, 5));
  const Grid second = Decode(b);
  // Same segment: B's pixels over A, Q0 on P0, without rotation.
  const Grid same = Decode(Keep(Panorama(a, b, 0, {{60, 30}, {70, 35}, {12, 8}, {22, 13}})));
  ASSERT_EQ(same.width, 101);
  ASSERT_EQ(same.height, 81);
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 31; ++x)
      ASSERT_EQ(same.At(60 - 12 + x, 30 - 8 + y), second.At(x, y)) << x << " " << y;
  EXPECT_EQ(same.At(60 - 13, 30), (Pixel{-1, 200, 100, 50, 0})) << "the base beside it";
  // Turned a quarter (second segment to the right, base segment up) around
  // Q0 = B's centre pixel, which lands on P0: B's pixel (15 + d, 10) lands
  // on (60, 30 - d), and (15, 10 + d) on (60 + d, 30).
  const Grid turned = Decode(Keep(Panorama(a, b, 0, {{60, 30}, {60, 22}, {15, 10}, {23, 10}})));
  for (int d = -10; d <= 10; ++d) {
    EXPECT_EQ(turned.At(60, 30 - d), second.At(15 + d, 10)) << d;
    EXPECT_EQ(turned.At(60 + d, 30), second.At(15, 10 + d)) << d;
  }
}

TEST_F(PanoramaTest, SeamModesKeepOppositeSides) {
  const Colour base{7, 77, 177};
  HGLOBAL a = Keep(Plain(81, 61, base));
  HGLOBAL b = Keep(MakePicture(Layout::kRgb24, 31, 21, 8));
  const Grid second = Decode(b);
  const Pixel basePixel{-1, base.r, base.g, base.b, 0};
  // A vertical seam at column 15 run downwards (Q0 above Q1): mode 1 keeps
  // the right-hand part with the seam, mode 2 the left-hand part with it.
  // Run upwards, the sides swap. Q0 lands on P0 (40, 30), so B's column x
  // is the base's column 25 + x.
  for (const bool down : {true, false})
    for (const BYTE mode : {BYTE{1}, BYTE{2}}) {
      const Points p = down ? Points{{40, 30}, {40, 38}, {15, 10}, {15, 18}}
                            : Points{{40, 30}, {40, 22}, {15, 10}, {15, 2}};
      const Grid got = Decode(Keep(Panorama(a, b, mode, p)));
      const bool keepRight = (mode == 1) == down;
      for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 31; ++x) {
          const bool kept = x == 15 || (x > 15) == keepRight;
          ASSERT_EQ(got.At(25 + x, 20 + y), kept ? second.At(x, y) : basePixel)
              << "mode " << int(mode) << (down ? " down " : " up ") << x << " " << y;
        }
    }
  // A horizontal seam at row 10 run to the right: mode 1 keeps the upper
  // part (the seed is the top-right corner).
  const Grid upper = Decode(Keep(Panorama(a, b, 1, {{40, 30}, {48, 30}, {15, 10}, {23, 10}})));
  for (int y = 0; y < 21; ++y)
    ASSERT_EQ(upper.At(25 + 3, 20 + y), y <= 10 ? second.At(3, y) : basePixel) << y;
  // Modes beyond 2 paste everything, as mode 0.
  const Points p{{40, 30}, {40, 38}, {15, 10}, {15, 18}};
  EXPECT_EQ(BlockBytes(Keep(Panorama(a, b, 3, p))), BlockBytes(Keep(Panorama(a, b, 0, p))));
  // A seam through the corner the fill starts from: nothing to fill.
  EXPECT_EQ(RefusalOf([&] { return Panorama(a, b, 2, {{40, 30}, {40, 38}, {0, 0}, {0, 8}}); }),
            2);
}

// Each panorama seam of the reference file was drawn from the mode and
// points in its comment; the mask must come out the same, bit for bit.
TEST_F(PanoramaTest, SeamMasksMatchTheGdiReference) {
  int lines = 0, checked = 0;
  for (const GoldenCase& c : LoadCases(lines)) {
    if (c.name.rfind("seam-panorama", 0) != 0) continue;
    int mode = 0;
    POINT q0{}, q1{};
    ASSERT_EQ(std::sscanf(c.comment.c_str(), "panorama seam mask, mode %d, Q0=(%d,%d) Q1=(%d,%d)",
                          &mode, &q0.x, &q0.y, &q1.x, &q1.y),
              5)
        << c.name;
    HGLOBAL mask = Keep(BuildSeamMask(c.width, c.height, BYTE(mode), q0, q1));
    ASSERT_NE(mask, nullptr) << c.name;
    const Grid got = Decode(mask);
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        ASSERT_EQ(got.At(x, y).index, c.expect[y][x] == '#' ? 1 : 0) << c.name << " " << x << " " << y;
    ++checked;
  }
  EXPECT_EQ(checked, 10);
}

TEST_F(PanoramaTest, Refusals) {
  HGLOBAL a = Keep(MakePicture(Layout::kRgb24, 40, 30, 1));
  HGLOBAL b = Keep(MakePicture(Layout::kRgb24, 20, 10, 2));
  const auto status = [&](HGLOBAL first, HGLOBAL second, const Points& p, BYTE seam = 0) {
    return RefusalOf([&] { return Panorama(first, second, seam, p); });
  };
  const Points ok{{10, 10}, {20, 10}, {5, 5}, {15, 5}};
  const long allocations = QvxMemAllocCalls();
  EXPECT_EQ(status(a, b, {{10, 10}, {10, 10}, {5, 5}, {5, 5}}), 5);
  EXPECT_EQ(QvxMemAllocCalls(), allocations) << "allocated before refusing";
  // Q0 = Q1 (once clamped, too: both far outside): no length to scale by.
  EXPECT_EQ(status(a, b, {{10, 10}, {20, 10}, {5, 5}, {5, 5}}), 5);
  EXPECT_EQ(status(a, b, {{10, 10}, {20, 10}, {-900, -900}, {-5000, -20}}), 5);
  EXPECT_EQ(status(a, b, {{10, 10}, {20, 10}, {5, 5}, {5, 5}}, 1), 5);
  // P0 = P1: scaled to nothing.
  EXPECT_EQ(status(a, b, {{10, 10}, {10, 10}, {5, 5}, {15, 5}}), 5);
  // Far outside the base: pulled onto its border, which still joins.
  EXPECT_NE(Keep(Panorama(a, b, 0, {{-90000, 10}, {90000, 10}, {5, 5}, {15, 5}})), nullptr);
  EXPECT_EQ(status(nullptr, b, ok), 7);
  EXPECT_EQ(status(a, nullptr, ok), 7);
  EXPECT_EQ(status(Keep(MakePicture(Layout::kGrey8, 40, 30, 1)), b, ok), 7);
  EXPECT_EQ(status(a, Keep(MakePicture(Layout::kRgb32, 20, 10, 1)), ok), 7);
  // Scales no 32-bit picture can hold: refused at once, with or without a
  // seam, before anything that size is asked for.
  HGLOBAL wide = Keep(MakePicture(Layout::kRgb24, 30000, 1, 3));
  const Points huge{{0, 0}, {29999, 0}, {0, 5}, {1, 5}};
  EXPECT_EQ(status(wide, b, huge), 3);
  EXPECT_EQ(status(wide, b, huge, 2), 3);
  QvxComSetDlgOpenHandler([](void*, DWORD, DWORD, DWORD) -> BOOL { return FALSE; }, nullptr);
  EXPECT_EQ(RefusalOf([&] { return Panorama(a, b, 0, ok, FALSE); }), 2);
}

TEST_F(PanoramaTest, FailuresCancelsAndProgress) {
  HGLOBAL a = Keep(MakePicture(Layout::kRgb24, 30, 20, 1));
  HGLOBAL b = Keep(MakePicture(Layout::kRgb24, 16, 12, 2));
  for (const BYTE seam : {BYTE{0}, BYTE{1}}) {
    // Scaled by 1.5 and turned a little.
    const auto call = [&] { return Panorama(a, b, seam, {{10, 10}, {22, 12}, {4, 4}, {12, 4}}); };
    // A failing step of the seam mask fails the call with 2.
    ExpectCleanFailures(call, {3, 2});
    const std::string progress = Progress(ExpectCleanCancels(call));
    EXPECT_NE(progress.find(seam ? " 0-25;" : " 0-50;"), std::string::npos) << progress;
    EXPECT_NE(progress.find(" 51-"), std::string::npos) << progress;
  }
}

}  // namespace
}  // namespace qvx::test
