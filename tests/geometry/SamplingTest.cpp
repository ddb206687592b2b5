// The sampling rules: mappings and spans worked by hand, the blends at their
// exact points, and the record forms against the blend written out from its
// definition on random pictures.
#include <cmath>
#include <random>

#include "frame/Resources.h"
#include "geometry/Sampling.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class SamplingTest : public QvxTest {};

TEST_F(SamplingTest, NearestMappingAlignsFirstPixelsAndClamps) {
  // 2 source pixels onto 4: ratio 0.5, rnd(0, 0.5, 1, 1.5) = 0, 1, 1, 2 -> 1.
  const int wide[] = {0, 1, 1, 1};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(NearestSourceIndex(i, 2.0 / 4, 2), wide[i]) << i;
  // 7 onto 3: ratio 2.333..., rnd(0, 2.33, 4.67) = 0, 2, 5.
  const int narrow[] = {0, 2, 5};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(NearestSourceIndex(i, 7.0 / 3, 7), narrow[i]) << i;
}

TEST_F(SamplingTest, BoxSpansCoverTheSourceWithoutGaps) {
  // 4 onto 2: [0, 2) and [2, 4). 3 onto 2: rnd(1.5) = 2, so [0, 2), [2, 3).
  EXPECT_EQ(BoxSpanFor(0, 2.0, 4).first, 0);
  EXPECT_EQ(BoxSpanFor(0, 2.0, 4).end, 2);
  EXPECT_EQ(BoxSpanFor(1, 2.0, 4).first, 2);
  EXPECT_EQ(BoxSpanFor(1, 2.0, 4).end, 4);
  EXPECT_EQ(BoxSpanFor(0, 1.5, 3).end, 2);
  EXPECT_EQ(BoxSpanFor(1, 1.5, 3).first, 2);
  EXPECT_EQ(BoxSpanFor(1, 1.5, 3).end, 3);
  // Consecutive spans touch and the last one ends at the source size.
  for (int size : {5, 17, 100, 4000})
    for (int result = 1; result <= size; result += 1 + size / 7) {
      const double ratio = static_cast<double>(size) / result;
      int end = 0;
      for (int i = 0; i < result; ++i) {
        const BoxSpan span = BoxSpanFor(i, ratio, size);
        EXPECT_EQ(span.first, end) << size << " onto " << result << " at " << i;
        EXPECT_GT(span.end, span.first) << size << " onto " << result << " at " << i;
        end = span.end;
      }
      EXPECT_EQ(end, size) << size << " onto " << result;
    }
}

TEST_F(SamplingTest, BlendsAreExactAtTheirCornersAndGreyIndexWeighsChannels) {
  std::mt19937 random(5);
  for (int n = 0; n < 1000; ++n) {
    const Rgb c[4] = {{BYTE(random()), BYTE(random()), BYTE(random())},
                      {BYTE(random()), BYTE(random()), BYTE(random())},
                      {BYTE(random()), BYTE(random()), BYTE(random())},
                      {BYTE(random()), BYTE(random()), BYTE(random())}};
    const Rgb atPixel = BlendColours(WeightsFor(0, 0), c[0], c[1], c[2], c[3]);
    const Rgb atRight = BlendColours(WeightsFor(1.0, 0), c[0], c[1], c[2], c[3]);
    const Rgb atBelow = BlendColours(WeightsFor(0, 1.0), c[0], c[1], c[2], c[3]);
    EXPECT_EQ(atPixel.red, c[0].red);
    EXPECT_EQ(atPixel.blue, c[0].blue);
    EXPECT_EQ(atRight.green, c[1].green);
    EXPECT_EQ(atBelow.red, c[2].red);
  }
  // Half-way between 10 and 11 is 10.5, which rounds up; a quarter of the
  // way from 0 to 255 is 63.75 -> 64.
  EXPECT_EQ(BlendChannel(WeightsFor(0.5, 0), 10, 11, 0, 0), 11);
  EXPECT_EQ(BlendChannel(WeightsFor(0.25, 0.5), 0, 255, 0, 255), 64);
  EXPECT_EQ(GreyIndex(255, 255, 255), 255);
  EXPECT_EQ(GreyIndex(255, 0, 0), 76);   // 76.245
  EXPECT_EQ(GreyIndex(0, 255, 0), 150);  // 149.685
  EXPECT_EQ(GreyIndex(0, 0, 255), 29);   // 29.07
  // Splitting the blend into across and down steps keeps the bits.
  for (int n = 0; n < 1000; ++n) {
    const double fx = (random() % 10007) / 10007.0, fy = (random() % 10009) / 10009.0;
    const BlendWeights w = WeightsFor(fx, fy);
    const double c[4] = {double(random() % 256), double(random() % 256), double(random() % 256),
                         double(random() % 256)};
    EXPECT_EQ(BlendChannel(w, c[0], c[1], c[2], c[3]),
              BlendDown(w.y0, w.y1, BlendAcross(w.x0, w.x1, c[0], c[1]),
                        BlendAcross(w.x0, w.x1, c[2], c[3])));
  }
}

// The blend written out from its definition, on colours decoded by the test.
int Blend(double fx, double fy, int c00, int h, int v, int d) {
  return static_cast<int>(
      std::trunc((c00 * (1 - fx) + h * fx) * (1 - fy) + (v * (1 - fx) + d * fx) * fy + 0.5));
}

TEST_F(SamplingTest, ForwardBilinearReadsRightAndDownNeighboursInside) {
  constexpr int kW = 9, kH = 7;
  for (Layout layout : {Layout::kRgb24, Layout::kRgb565, Layout::kRgb32, Layout::kGrey8}) {
    HGLOBAL picture = Keep(MakePicture(layout, kW, kH, 11));
    PictureView view(picture);
    LockedDib locked;
    ASSERT_TRUE(locked.Start(picture, kDepthAll));
    locked->UseRgb = 1;
    std::mt19937 random(3);
    for (int n = 0; n < 400; ++n) {
      const double fx = (random() % (kW * 1000)) / 1000.0, fy = (random() % (kH * 1000)) / 1000.0;
      const int ix = int(fx), iy = int(fy);
      const double dx = fx - ix, dy = fy - iy;
      const auto at = [&](int x, int y) {
        return x < kW && y < kH ? view.At(x, y) : Pixel{0, 0, 0, 0, 0};
      };
      const Pixel c00 = at(ix, iy), h = at(ix + 1, iy), v = at(ix, iy + 1), d = at(ix + 1, iy + 1);
      const Rgb got = ForwardBilinear(&locked.Record(), fx, fy);
      EXPECT_EQ(got.red, Blend(dx, dy, c00.red, h.red, v.red, d.red))
          << NameOf(layout) << " at " << fx << ", " << fy;
      EXPECT_EQ(got.green, Blend(dx, dy, c00.green, h.green, v.green, d.green));
      EXPECT_EQ(got.blue, Blend(dx, dy, c00.blue, h.blue, v.blue, d.blue));
    }
  }
}

TEST_F(SamplingTest, SignDirectedBilinearFollowsTheSignAndBlendsIntoTheBackground) {
  constexpr int kW = 8, kH = 5;  // centred frame -4..3 by -2..2
  const int left = -4, top = -2;
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, kW, kH, 12));
  PictureView view(picture);
  LockedDib locked;
  ASSERT_TRUE(locked.Start(picture, kDepthAll));
  const Rgb background{200, 100, 50};
  std::mt19937 random(4);
  for (int n = 0; n < 2000; ++n) {
    // Positions inside the frame, a quarter of them on whole pixels.
    const int ix = left + int(random() % kW), iy = top + int(random() % kH);
    const bool exact = random() % 4 == 0;
    const double sx =
        exact ? ix
              : ix + (ix > 0 || (ix == 0 && random() % 2) ? 1 : -1) * ((random() % 999) / 1000.0);
    const double sy =
        exact ? iy
              : iy + (iy > 0 || (iy == 0 && random() % 2) ? 1 : -1) * ((random() % 999) / 1000.0);
    const double fx = std::fabs(sx - ix), fy = std::fabs(sy - iy);
    const int hx = ix - left + (sx > 0 ? 1 : -1), vy = iy - top + (sy > 0 ? 1 : -1);
    const auto at = [&](int x, int y) {
      if (x < 0 || x >= kW || y < 0 || y >= kH)
        return Pixel{-1, background.red, background.green, background.blue, 0};
      return view.At(x, y);
    };
    const Pixel c00 = at(ix - left, iy - top), h = at(hx, iy - top), v = at(ix - left, vy),
                d = at(hx, vy);
    const Rgb got = SignDirectedBilinear(&locked.Record(), sx, sy, left, top, background);
    const std::string where = "at " + std::to_string(sx) + ", " + std::to_string(sy);
    EXPECT_EQ(got.red, Blend(fx, fy, c00.red, h.red, v.red, d.red)) << where;
    EXPECT_EQ(got.green, Blend(fx, fy, c00.green, h.green, v.green, d.green)) << where;
    EXPECT_EQ(got.blue, Blend(fx, fy, c00.blue, h.blue, v.blue, d.blue)) << where;
    if (exact) {
      EXPECT_EQ(got.red, c00.red) << where;
    }
  }
}

}  // namespace
}  // namespace qvx::test
