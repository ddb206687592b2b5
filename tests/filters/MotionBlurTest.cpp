// QVMotionBlur: the three kinds against a pixel-by-pixel working of their
// paths on random pictures of every accepted depth with random selections,
// worked cases, refusals and the fixture.
#include <gtest/gtest.h>

#include <cmath>

#include "filters/FilterReference.h"
#include "filters/MosaicEffects.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

// The mean of the samples along the pixel's path, or nothing when no
// sample was taken.
std::optional<Colour> MotionAt(const Grid& g, const WorkRect& rect, int x, int y, int kind,
                               int samples, int degrees) {
  const auto inside = [&](int sx, int sy) {
    return sx >= rect.left && sx <= rect.right && sy >= rect.top && sy <= rect.bottom;
  };
  int sum[3] = {0, 0, 0}, count = 0;
  const auto take = [&](int sx, int sy) {
    const Colour c = ColourOf(g, sx, sy);
    sum[0] += c.r;
    sum[1] += c.g;
    sum[2] += c.b;
    ++count;
  };
  const int cx = (rect.left + rect.right) / 2, cy = (rect.top + rect.bottom) / 2;
  const int dx = x - cx, dy = y - cy;
  if (kind == 0) {
    const double a = degrees * 0.017453292519943295;
    for (int i = 0; i < samples; ++i) {
      const int sx = static_cast<int>(std::trunc(x + i * std::cos(a)));
      const int sy = static_cast<int>(std::trunc(y + i * std::sin(a)));
      if (!inside(sx, sy)) break;
      take(sx, sy);
    }
  } else if (kind == 2) {
    for (int i = 0; i < samples; ++i) {
      const double scale = 1 + 0.02 * i;
      const int sx = static_cast<int>(std::trunc(scale * dx + cx));
      const int sy = static_cast<int>(std::trunc(scale * dy + cy));
      if (!inside(sx, sy)) break;
      take(sx, sy);
    }
  } else {
    const double t = degrees * 0.017453292519943295;
    const int rx = std::max(cx, (rect.right - rect.left + 1) - cx);
    const int ry = std::max(cy, (rect.bottom - rect.top + 1) - cy);
    const double rmax = std::sqrt(static_cast<double>(rx) * rx + static_cast<double>(ry) * ry);
    const int n = static_cast<int>(std::trunc(std::sqrt(rmax) * t * 4 + 2));
    const double step = t / (n - 1);
    const double r = std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy);
    int stride = 1;
    if (r != 0) stride = static_cast<int>(std::clamp(std::trunc(rmax / r), 1.0, n - 1.0));
    for (int k = 0; k < n; k += stride) {
      const double angle = k * step - t / 2;
      const double c = std::cos(angle), s = std::sin(angle);
      const int sx = static_cast<int>(std::trunc(dx * c - dy * s + cx));
      const int sy = static_cast<int>(std::trunc(dx * s + dy * c + cy));
      if (inside(sx, sy)) take(sx, sy);
    }
  }
  if (count == 0) return std::nullopt;
  return Colour{sum[0] / count, sum[1] / count, sum[2] / count};
}

const Layout kAccepted[] = {Layout::kGrey8,  Layout::kRgb555, Layout::kRgb555Fields,
                            Layout::kRgb565, Layout::kRgb24,  Layout::kRgb32};

class MotionBlurTest : public QvxTest {
 protected:
  static int Refusal(HGLOBAL result) {
    EXPECT_EQ(result, nullptr);
    if (result) GlobalFree(result);
    return GetErrorStatus();
  }
};

HGLOBAL Motion(ImageHandles* images, BYTE kind, BYTE samples, int degrees, BYTE mode = 1) {
  return QVMotionBlur(images, mode, nullptr, 0, nullptr, TRUE, kind, samples, degrees, TRUE, 0, 0,
                      0);
}

TEST_F(MotionBlurTest, EveryKindMatchesItsPathOnEveryDepthAndSelection) {
  const int widths[] = {1, 2, 3, 5, 7, 13, 17, 33};
  int compared = 0;
  for (std::uint32_t seed = 1; seed <= 30; ++seed) {
    std::mt19937 random(seed);
    for (Layout layout : kAccepted) {
      const int width = widths[random() % 8], height = 1 + static_cast<int>(random() % 13);
      HGLOBAL source = MakePicture(layout, width, height, seed * 53 + width);
      const Grid decoded = Decode(source);
      for (BYTE kind : {0, 1, 2}) {
        const BYTE samples = static_cast<BYTE>(random() % 5 ? random() % 12 : random() % 256);
        const int degrees = kind == 1 ? (random() % 5 ? static_cast<int>(random() % 200) : 0)
                                      : static_cast<int>(random() % 1441) - 720;
        RandomSelection selection(random, width, height);
        SelectionArgs args = selection.args;
        args.picture = source;
        const std::string where =
            "kind " + std::to_string(kind) + " samples " + std::to_string(samples) + " degrees " +
            std::to_string(degrees) + " on " + NameOf(layout) + " " + std::to_string(width) + "x" +
            std::to_string(height) + ", seed " + std::to_string(seed) + ", " + selection.what;
        HGLOBAL direct = RunMotionBlur(args, kind, samples, degrees, TRUE);
        ASSERT_NE(direct, nullptr) << where << ": error " << GetErrorStatus();
        const WorkRect rect = selection.rect;
        const Grid expected = ExpectedFilter(decoded, rect, selection.selected, [&](int x, int y) {
          return MotionAt(decoded, rect, x, y, kind, samples, degrees);
        });
        EXPECT_EQ(Mismatch(expected, direct), "") << where;
        HGLOBAL generic = RunMotionBlur(args, kind, samples, degrees, TRUE, PixelRoute::kRecord);
        EXPECT_EQ(BlockBytes(generic), BlockBytes(direct))
            << where << ": record route differs, " << FirstDifference(direct, generic);
        GlobalFree(generic);
        GlobalFree(direct);
        ++compared;
      }
      GlobalFree(source);
    }
  }
  EXPECT_EQ(compared, 540);
}

// One row whose red is 10 x (24 bits).
HGLOBAL RedRamp(int width, int height = 1) {
  HGLOBAL picture = MakePicture(Layout::kRgb24, width, height, 3);
  PictureView view(picture);
  for (int y = 0; y < height; ++y) {
    auto* row = const_cast<std::uint8_t*>(view.Row(y));
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(y);
      row[3 * x + 1] = 0;
      row[3 * x + 2] = static_cast<std::uint8_t>(10 * x);
    }
  }
  return picture;
}

TEST_F(MotionBlurTest, LinearWorkedCases) {
  // Direction 0, five samples: the pixel and four to its right, fewer near
  // the right edge.
  ImageHandles ramp{Keep(RedRamp(8)), nullptr};
  const Grid out = Decode(Keep(Motion(&ramp, 0, 5, 0)));
  EXPECT_EQ(ColourOf(out, 0, 0).r, 20);  // (0 + 10 + 20 + 30 + 40) / 5
  EXPECT_EQ(ColourOf(out, 5, 0).r, 60);  // (50 + 60 + 70) / 3
  EXPECT_EQ(ColourOf(out, 7, 0).r, 70);
  // Straight down from the top row of two: the path leaves after two
  // samples, which are averaged (blue is the row number).
  ImageHandles two{Keep(RedRamp(3, 2)), nullptr};
  const Grid down = Decode(Keep(Motion(&two, 0, 5, 90)));
  EXPECT_EQ(ColourOf(down, 1, 0), (Colour{10, 0, 0}));  // blue (0 + 1) / 2
  EXPECT_EQ(ColourOf(down, 1, 1), (Colour{10, 0, 1}));
  // 180 degrees runs to the left.
  const Grid left = Decode(Keep(Motion(&ramp, 0, 3, 180)));
  EXPECT_EQ(ColourOf(left, 5, 0).r, 40);  // (50 + 40 + 30) / 3
}

TEST_F(MotionBlurTest, PathsThatChangeNothing) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb32, 9, 7, 6));
  ImageHandles images{picture, nullptr};
  const Grid in = Decode(picture);
  // Written but unchanged: L = 1, spin by 0 degrees, Z = 1.
  for (const auto& [kind, samples, degrees] :
       {std::tuple{0, 1, 33}, std::tuple{1, 9, 0}, std::tuple{2, 1, 0}}) {
    const Grid out = Decode(Keep(Motion(&images, kind, samples, degrees)));
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 9; ++x) {
        EXPECT_EQ(ColourOf(out, x, y), ColourOf(in, x, y)) << kind << ": " << x << "," << y;
        EXPECT_EQ(out.At(x, y).alpha, 0) << kind << ": " << x << "," << y;
      }
  }
  // No samples at all: every byte kept.
  EXPECT_EQ(BlockBytes(Keep(Motion(&images, 0, 0, 10))), BlockBytes(picture));
  EXPECT_EQ(BlockBytes(Keep(Motion(&images, 2, 0, 10))), BlockBytes(picture));
  // The centre (4, 3) of spins and zooms keeps its colour.
  for (const auto& [kind, samples, degrees] : {std::tuple{1, 0, 90}, std::tuple{2, 50, 0}}) {
    const Grid out = Decode(Keep(Motion(&images, kind, samples, degrees)));
    EXPECT_EQ(ColourOf(out, 4, 3), ColourOf(in, 4, 3)) << kind;
  }
}

TEST_F(MotionBlurTest, ZoomReachesAlmostTwiceTheOffset) {
  // A 101-pixel row, centre 50: with 50 samples the pixel at offset 50
  // (column 100) would sample 1.98 x its offset, outside; the pixel at
  // offset 25 (column 75) samples columns 75 .. 99 (trunc(1.98 * 25) = 49).
  ImageHandles ramp{Keep(RedRamp(101)), nullptr};
  PictureView view(ramp.Picture);
  auto* row = const_cast<std::uint8_t*>(view.Row(0));
  for (int x = 0; x < 101; ++x) row[3 * x + 2] = static_cast<std::uint8_t>(x);
  const Grid out = Decode(Keep(Motion(&ramp, 2, 50, 0)));
  int sum = 0;
  for (int i = 0; i < 50; ++i) sum += static_cast<int>(std::trunc((1 + 0.02 * i) * 25 + 50));
  EXPECT_EQ(ColourOf(out, 75, 0).r, sum / 50);
  EXPECT_EQ(ColourOf(out, 100, 0).r, 100);  // only itself: the next sample is at 101
  EXPECT_EQ(ColourOf(out, 50, 0).r, 50);
}

TEST_F(MotionBlurTest, Refusals) {
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Motion(nullptr, 3, 5, 0)), 5);
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Motion(nullptr, 1, 5, -1)), 5);
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Motion(nullptr, 1, 5, 0)), 7);
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Motion(nullptr, 0, 5, -30)), 7);
  for (Layout layout : {Layout::kPalette1, Layout::kPalette4, Layout::kGrey4, Layout::kPalette8}) {
    ImageHandles images{Keep(MakePicture(layout, 4, 3, 2)), nullptr};
    SetErrorStatus(0);
    EXPECT_EQ(Refusal(Motion(&images, 2, 5, 0)), 7) << NameOf(layout);
  }
}

TEST_F(MotionBlurTest, CleansUpAfterFailuresAndCancels) {
  const RECT ellipse{1, 0, 8, 5};
  for (Layout layout : {Layout::kRgb24, Layout::kGrey8, Layout::kRgb565}) {
    ImageHandles images{Keep(MakePicture(layout, 9, 6, 2)), nullptr};
    for (BYTE kind : {0, 1, 2}) {
      SCOPED_TRACE(NameOf(layout) + " kind " + std::to_string(kind));
      const auto call = [&] {
        return QVMotionBlur(&images, 3, nullptr, 0, &ellipse, TRUE, kind, 7, 40, TRUE, 0, 0, 0);
      };
      ExpectCleanFailures(call, {2, 3});
      ExpectCleanCancels(call);
    }
  }
}

}  // namespace
}  // namespace qvx::test
