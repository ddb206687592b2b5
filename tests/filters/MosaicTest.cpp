// QVMosaic: against a cell-by-cell working of the rule on random pictures of
// every depth with random selections and cell sizes, worked cases, refusals
// and the fixture.
#include <gtest/gtest.h>

#include "filters/FilterReference.h"
#include "filters/MosaicEffects.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

// The table entry with the least squared distance to a colour, the lowest
// index on a tie.
int Nearest(const std::vector<RGBQUAD>& table, const Colour& c) {
  int best = 0;
  long bestDistance = -1;
  for (int i = 0; i < static_cast<int>(table.size()); ++i) {
    const long dr = table[i].rgbRed - c.r, dg = table[i].rgbGreen - c.g,
               db = table[i].rgbBlue - c.b;
    const long d = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || d < bestDistance) best = i, bestDistance = d;
  }
  return best;
}

// Cells from the rectangle's corner while the corner lies in it, each
// clipped to the picture; the mean of every pixel of the cell, written to
// its selected pixels.
Grid ExpectedMosaic(const Grid& g, const WorkRect& rect, const Selected& selected, int cw, int ch) {
  Grid out = g;
  for (int cy = rect.top; cy <= rect.bottom; cy += ch)
    for (int cx = rect.left; cx <= rect.right; cx += cw) {
      const int w = std::min(cw, g.width - cx), h = std::min(ch, g.height - cy);
      long sum[3] = {0, 0, 0};
      for (int y = cy; y < cy + h; ++y)
        for (int x = cx; x < cx + w; ++x) {
          const Colour c = ColourOf(g, x, y);
          sum[0] += c.r;
          sum[1] += c.g;
          sum[2] += c.b;
        }
      const Colour mean{static_cast<int>(sum[0] / (w * h)), static_cast<int>(sum[1] / (w * h)),
                        static_cast<int>(sum[2] / (w * h))};
      Pixel stored;
      if (g.bits <= 8) {
        stored.index = Nearest(g.table, mean);
        const RGBQUAD& e = g.table[stored.index];
        stored.red = e.rgbRed;
        stored.green = e.rgbGreen;
        stored.blue = e.rgbBlue;
      } else {
        stored = g.Stored(mean.r, mean.g, mean.b);
      }
      for (int y = cy; y < cy + h; ++y)
        for (int x = cx; x < cx + w; ++x)
          if (selected(x, y)) out.At(x, y) = stored;
    }
  return out;
}

class MosaicTest : public QvxTest {
 protected:
  static int Refusal(HGLOBAL result) {
    EXPECT_EQ(result, nullptr);
    if (result) GlobalFree(result);
    return GetErrorStatus();
  }
};

HGLOBAL Mosaic(ImageHandles* images, int cw, int ch, BYTE mode = 1, POINT* points = nullptr,
               int count = 0, const RECT* rect = nullptr) {
  return QVMosaic(images, mode, points, count, rect, TRUE, cw, ch, TRUE, 0, 0, 0);
}

TEST_F(MosaicTest, MatchesTheCellRuleOnEveryDepthAndSelection) {
  const int widths[] = {1, 2, 3, 5, 7, 13, 17, 33};
  int compared = 0;
  for (std::uint32_t seed = 1; seed <= 30; ++seed) {
    std::mt19937 random(seed);
    for (Layout layout : AllLayouts()) {
      const int width = widths[random() % 8], height = 1 + static_cast<int>(random() % 11);
      HGLOBAL source = MakePicture(layout, width, height, seed * 131 + width);
      const Grid decoded = Decode(source);
      int cw = 1 + static_cast<int>(random() % 6), ch = 1 + static_cast<int>(random() % 6);
      if (random() % 6 == 0) cw = 1000 + static_cast<int>(random() % 100000);
      if (cw == 1 && ch == 1) ch = 2;
      RandomSelection selection(random, width, height);
      SelectionArgs args = selection.args;
      args.picture = source;
      const std::string where = "cells " + std::to_string(cw) + "x" + std::to_string(ch) + " on " +
                                NameOf(layout) + " " + std::to_string(width) + "x" +
                                std::to_string(height) + ", seed " + std::to_string(seed) + ", " +
                                selection.what;
      HGLOBAL direct = RunMosaic(args, cw, ch, TRUE);
      ASSERT_NE(direct, nullptr) << where << ": error " << GetErrorStatus();
      EXPECT_EQ(
          Mismatch(ExpectedMosaic(decoded, selection.rect, selection.selected, cw, ch), direct), "")
          << where;
      HGLOBAL generic = RunMosaic(args, cw, ch, TRUE, PixelRoute::kRecord);
      EXPECT_EQ(BlockBytes(generic), BlockBytes(direct))
          << where << ": record route differs, " << FirstDifference(direct, generic);
      GlobalFree(generic);
      GlobalFree(direct);
      GlobalFree(source);
      ++compared;
    }
  }
  EXPECT_EQ(compared, 300);
}

// A 24-bit picture whose pixel (x, y) is (10 x + 100 y, x, 7).
HGLOBAL Ramp(int width, int height) {
  HGLOBAL picture = MakePicture(Layout::kRgb24, width, height, 3);
  PictureView view(picture);
  for (int y = 0; y < height; ++y) {
    auto* row = const_cast<std::uint8_t*>(view.Row(y));
    for (int x = 0; x < width; ++x) {
      row[3 * x] = 7;
      row[3 * x + 1] = static_cast<std::uint8_t>(x);
      row[3 * x + 2] = static_cast<std::uint8_t>(10 * x + 100 * y);
    }
  }
  return picture;
}

TEST_F(MosaicTest, CellsReachBeyondTheRectangleAndShrinkAtThePictureEdge) {
  // The polygon selects columns 1..3 of the middle row: cells of 2 x 2 start
  // at (1, 1) and (3, 1) and take in row 2 and column 4 beyond the
  // rectangle.
  ImageHandles images{Keep(Ramp(6, 3)), nullptr};
  POINT line[2] = {{1, 1}, {3, 1}};
  HGLOBAL result = Keep(Mosaic(&images, 2, 2, 2, line, 2));
  ASSERT_NE(result, nullptr);
  const Grid in = Decode(images.Picture), out = Decode(result);
  EXPECT_EQ(ColourOf(out, 1, 1), (Colour{165, 1, 7}));  // (110 + 120 + 210 + 220) / 4
  EXPECT_EQ(ColourOf(out, 2, 1), (Colour{165, 1, 7}));
  EXPECT_EQ(ColourOf(out, 3, 1), (Colour{185, 3, 7}));  // (130 + 140 + 230 + 240) / 4
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x)
      if (y != 1 || x < 1 || x > 3) {
        EXPECT_EQ(out.At(x, y), in.At(x, y)) << x << "," << y;
      }

  // 5 x 3 in cells of 2 x 2: the last column and row are narrower cells.
  ImageHandles five{Keep(Ramp(5, 3)), nullptr};
  const Grid whole = Decode(Keep(Mosaic(&five, 2, 2)));
  EXPECT_EQ(ColourOf(whole, 4, 0), (Colour{90, 4, 7}));  // (40 + 140) / 2
  EXPECT_EQ(ColourOf(whole, 4, 1), (Colour{90, 4, 7}));
  EXPECT_EQ(ColourOf(whole, 4, 2), (Colour{240, 4, 7}));  // alone
  EXPECT_EQ(ColourOf(whole, 2, 2), (Colour{225, 2, 7}));  // (220 + 230) / 2, green 5 / 2
  EXPECT_EQ(ColourOf(whole, 0, 0), (Colour{55, 0, 7}));   // (0 + 10 + 100 + 110) / 4
}

TEST_F(MosaicTest, OneByTwoAveragesVerticalPairs) {
  ImageHandles images{Keep(Ramp(3, 3)), nullptr};
  const Grid out = Decode(Keep(Mosaic(&images, 1, 2)));
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(ColourOf(out, x, 0), (Colour{10 * x + 50, x, 7}));
    EXPECT_EQ(ColourOf(out, x, 1), (Colour{10 * x + 50, x, 7}));
    EXPECT_EQ(ColourOf(out, x, 2), (Colour{10 * x + 200, x, 7}));
  }
}

TEST_F(MosaicTest, OneBitPicturesTakeTheNearerColour) {
  // Three white of four: 191 is nearer white; one white: 63 is nearer
  // black; two of four: 127 is (just) nearer black.
  HGLOBAL picture = Keep(MakeMask({"##.#..", "#.....", "##.#..", "......"}));
  ImageHandles images{picture, nullptr};
  const Grid out = Decode(Keep(Mosaic(&images, 2, 2)));
  const char* expected[] = {"##....", "##....", "......", "......"};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(out.At(x, y).index, expected[y][x] == '#' ? 1 : 0) << x << "," << y;
}

TEST_F(MosaicTest, Refusals) {
  // Cell sizes are refused before the picture is looked at.
  for (const auto& [w, h] : {std::pair{1, 1}, {0, 5}, {5, 0}, {-3, 4}, {4, -1}, {0, 0}}) {
    SetErrorStatus(0);
    EXPECT_EQ(Refusal(Mosaic(nullptr, w, h)), 5) << w << "x" << h;
  }
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Mosaic(nullptr, 1, 2)), 7);
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 4, 3, 2)), nullptr};
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Mosaic(&images, 2, 2, 4)), 5);
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Mosaic(&images, 2, 2, 0)), 7);  // mode 0 without a mask
}

TEST_F(MosaicTest, ProgressPerRowOfCells) {
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 10, 7, 4)), nullptr};
  const auto reports = RecordProgress([&] { return Mosaic(&images, 4, 3); });
  ASSERT_EQ(reports.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(reports[i].done, 3 * i);
    EXPECT_EQ(reports[i].total, 6);
  }
}

TEST_F(MosaicTest, CleansUpAfterFailuresAndCancels) {
  const RECT ellipse{1, 0, 8, 5};
  for (Layout layout : {Layout::kRgb24, Layout::kRgb32, Layout::kGrey8, Layout::kRgb565,
                        Layout::kPalette1, Layout::kPalette8}) {
    ImageHandles images{Keep(MakePicture(layout, 9, 6, 2)), nullptr};
    SCOPED_TRACE(NameOf(layout));
    const auto call = [&] {
      return QVMosaic(&images, 3, nullptr, 0, &ellipse, TRUE, 3, 2, TRUE, 0, 0, 0);
    };
    ExpectCleanFailures(call, {2, 3});
    ExpectCleanCancels(call);
  }
}

}  // namespace
}  // namespace qvx::test
