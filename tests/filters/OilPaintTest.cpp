// QVOilPaint: against a pixel-by-pixel working of the brush rule on random
// pictures of every accepted depth with random selections, worked cases of
// the window and the tie rule, refusals and the fixture.
#include <gtest/gtest.h>

#include "filters/FilterReference.h"
#include "filters/MosaicEffects.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

// The brush of size s around (x, y), clipped to the rectangle, visited row
// by row with fresh counters; a value takes over only with a higher count.
Colour OilPaintAt(const Grid& g, const WorkRect& rect, int x, int y, int method, int size) {
  const int half = size / 2;
  const int start = size % 2 == 1 ? -half : 1 - half;
  std::vector<int> red(256), green(256), blue(256), bins(256);
  int bestRed = 0, bestGreen = 0, bestBlue = 0, best = 0;
  Colour result{0, 0, 0};
  for (int wy = std::max(y + start, rect.top); wy <= std::min(y + half, rect.bottom); ++wy)
    for (int wx = std::max(x + start, rect.left); wx <= std::min(x + half, rect.right); ++wx) {
      const Colour c = ColourOf(g, wx, wy);
      if (method == 0) {
        if (++red[c.r] > bestRed) bestRed = red[c.r], result.r = c.r;
        if (++green[c.g] > bestGreen) bestGreen = green[c.g], result.g = c.g;
        if (++blue[c.b] > bestBlue) bestBlue = blue[c.b], result.b = c.b;
      } else {
        const int bin = (77 * c.r + 150 * c.g + 29 * c.b) >> 8;
        if (++bins[bin] > best) best = bins[bin], result = c;
      }
    }
  return result;
}

const Layout kAccepted[] = {Layout::kGrey8,  Layout::kRgb555, Layout::kRgb555Fields,
                            Layout::kRgb565, Layout::kRgb24,  Layout::kRgb32};

class OilPaintTest : public QvxTest {
 protected:
  static int Refusal(HGLOBAL result) {
    EXPECT_EQ(result, nullptr);
    if (result) GlobalFree(result);
    return GetErrorStatus();
  }
  // A 24-bit picture of the given rows of colours, kept.
  HGLOBAL Picture(const std::vector<std::vector<Colour>>& rows) {
    const int height = static_cast<int>(rows.size()), width = static_cast<int>(rows[0].size());
    HGLOBAL picture = MakePicture(Layout::kRgb24, width, height, 5);
    PictureView view(picture);
    for (int y = 0; y < height; ++y) {
      auto* row = const_cast<std::uint8_t*>(view.Row(y));
      for (int x = 0; x < width; ++x) {
        row[3 * x] = static_cast<BYTE>(rows[y][x].b);
        row[3 * x + 1] = static_cast<BYTE>(rows[y][x].g);
        row[3 * x + 2] = static_cast<BYTE>(rows[y][x].r);
      }
    }
    return Keep(picture);
  }
};

HGLOBAL OilPaint(ImageHandles* images, BYTE method, BYTE size, BYTE mode = 1) {
  return QVOilPaint(images, mode, nullptr, 0, nullptr, TRUE, method, size, TRUE, 0, 0, 0);
}

TEST_F(OilPaintTest, MatchesTheBrushRuleOnEveryDepthAndSelection) {
  const int widths[] = {1, 2, 3, 5, 7, 13, 17, 33};
  int compared = 0;
  for (std::uint32_t seed = 1; seed <= 30; ++seed) {
    std::mt19937 random(seed);
    for (Layout layout : kAccepted) {
      const int width = widths[random() % 8], height = 1 + static_cast<int>(random() % 11);
      HGLOBAL source = MakePicture(layout, width, height, seed * 71 + width);
      // Few distinct values now and then, so that counts and ties matter.
      if (random() % 2) {
        PictureView view(source);
        for (int y = 0; y < height; ++y) {
          auto* row = const_cast<std::uint8_t*>(view.Row(y));
          for (int i = 0; i < width * view.BitCount() / 8; ++i) row[i] &= 0xC1;
        }
      }
      const Grid decoded = Decode(source);
      const BYTE method = static_cast<BYTE>(random() % 2);
      const BYTE size = static_cast<BYTE>(random() % 8 ? 1 + random() % 7 : 1 + random() % 255);
      RandomSelection selection(random, width, height);
      SelectionArgs args = selection.args;
      args.picture = source;
      const std::string where = "method " + std::to_string(method) + " size " +
                                std::to_string(size) + " on " + NameOf(layout) + " " +
                                std::to_string(width) + "x" + std::to_string(height) + ", seed " +
                                std::to_string(seed) + ", " + selection.what;
      HGLOBAL direct = RunOilPaint(args, method, size, TRUE);
      ASSERT_NE(direct, nullptr) << where << ": error " << GetErrorStatus();
      const WorkRect rect = selection.rect;
      const Grid expected = ExpectedFilter(decoded, rect, selection.selected, [&](int x, int y) {
        return std::optional<Colour>(OilPaintAt(decoded, rect, x, y, method, size));
      });
      EXPECT_EQ(Mismatch(expected, direct), "") << where;
      HGLOBAL generic = RunOilPaint(args, method, size, TRUE, PixelRoute::kRecord);
      EXPECT_EQ(BlockBytes(generic), BlockBytes(direct))
          << where << ": record route differs, " << FirstDifference(direct, generic);
      GlobalFree(generic);
      GlobalFree(direct);
      GlobalFree(source);
      ++compared;
    }
  }
  EXPECT_EQ(compared, 180);
}

TEST_F(OilPaintTest, SizeOneKeepsTheColoursAndClearsTheFourthByte) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb32, 7, 4, 8));
  ImageHandles images{picture, nullptr};
  for (BYTE method : {0, 1}) {
    const Grid in = Decode(picture), out = Decode(Keep(OilPaint(&images, method, 1)));
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 7; ++x) {
        EXPECT_EQ(ColourOf(out, x, y), ColourOf(in, x, y));
        EXPECT_EQ(out.At(x, y).alpha, 0);
      }
  }
}

TEST_F(OilPaintTest, WorkedWindowsAndTies) {
  // Size 2: the pixel, its right neighbour, the pixel below and below-right.
  // Red 10 and 20 both occur twice in the 3 x 3 window of the centre; 20
  // reaches two first (fourth pixel visited), 10 only at the fifth.
  const std::vector<std::vector<Colour>> rows = {
      {{10, 1, 0}, {20, 2, 0}, {5, 2, 0}},
      {{20, 1, 0}, {10, 3, 0}, {7, 3, 0}},
      {{1, 9, 0}, {2, 9, 0}, {3, 3, 0}},
  };
  ImageHandles images{Picture(rows), nullptr};
  const Grid two = Decode(Keep(OilPaint(&images, 0, 2)));
  // (0, 0): window red 10 20 / 20 10, green 1 2 / 1 3: red 20 reaches two
  // first, green 1 too.
  EXPECT_EQ(ColourOf(two, 0, 0), (Colour{20, 1, 0}));
  // (1, 1): red 10 7 / 2 3, all once: the first; green 3 3 / 9 3: 3.
  EXPECT_EQ(ColourOf(two, 1, 1), (Colour{10, 3, 0}));
  // (2, 2): the window is the pixel alone.
  EXPECT_EQ(ColourOf(two, 2, 2), (Colour{3, 3, 0}));
  const Grid three = Decode(Keep(OilPaint(&images, 0, 3)));
  // Green 2 reaches two at the third pixel, 1 at the fourth, 3 at the
  // sixth and three at the ninth: 3 wins with the higher count.
  EXPECT_EQ(ColourOf(three, 1, 1), (Colour{20, 3, 0}));
  // Method 1: the window's luminance bins, row by row, are 3 7 2 6 4 3 5 5 2;
  // bin 3 is the first to reach two, at the sixth pixel, whose whole colour
  // is taken (5 and 2 reach two later and never more).
  EXPECT_EQ(ColourOf(Decode(Keep(OilPaint(&images, 1, 3))), 1, 1), (Colour{7, 3, 0}));
}

TEST_F(OilPaintTest, Refusals) {
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(OilPaint(nullptr, 2, 3)), 5);
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(OilPaint(nullptr, 0, 0)), 5);
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(OilPaint(nullptr, 1, 3)), 7);
  for (Layout layout : {Layout::kPalette1, Layout::kPalette4, Layout::kGrey4, Layout::kPalette8}) {
    ImageHandles images{Keep(MakePicture(layout, 4, 3, 2)), nullptr};
    SetErrorStatus(0);
    EXPECT_EQ(Refusal(OilPaint(&images, 0, 3)), 7) << NameOf(layout);
  }
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 4, 3, 2)), nullptr};
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(OilPaint(&images, 0, 3, 4)), 5);
}

TEST_F(OilPaintTest, CleansUpAfterFailuresAndCancels) {
  const RECT ellipse{1, 0, 8, 5};
  for (Layout layout : {Layout::kRgb24, Layout::kGrey8, Layout::kRgb565}) {
    ImageHandles images{Keep(MakePicture(layout, 9, 6, 2)), nullptr};
    for (BYTE method : {0, 1}) {
      SCOPED_TRACE(NameOf(layout) + " method " + std::to_string(method));
      const auto call = [&] {
        return QVOilPaint(&images, 3, nullptr, 0, &ellipse, TRUE, method, 4, TRUE, 0, 0, 0);
      };
      ExpectCleanFailures(call, {2, 3});
      ExpectCleanCancels(call);
    }
  }
}

}  // namespace
}  // namespace qvx::test
