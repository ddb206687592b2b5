// The filter exports: worked cases of each filter (documented edge cases
// above all), progress, and for every filter export the depths it takes,
// its parameter refusals and the fixture's failure and cancellation runs.
// The rules on random pictures are in FilterRandomTest.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "filters/FilterReference.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

using Colours = std::vector<Colour>;

class FilterExportsTest : public QvxTest {
 protected:
  // 24-bit pictures of the given colours, kept.
  HGLOBAL Painted(int width, int height, const std::function<Colour(int x, int y)>& colour) {
    return Keep(PaintedPicture(width, height, colour));
  }
  HGLOBAL Picture(const std::vector<Colours>& rows) {
    return Painted(int(rows[0].size()), int(rows.size()), [&](int x, int y) { return rows[y][x]; });
  }
  static Colours RowOf(HGLOBAL picture, int y = 0) {
    const Grid g = Decode(picture);
    Colours row;
    for (int x = 0; x < g.width; ++x) row.push_back(ColourOf(g, x, y));
    return row;
  }
};

Colours Greys(std::initializer_list<int> levels) {
  Colours out;
  for (int v : levels) out.push_back({v, v, v});
  return out;
}

// A kernel with the given weights at (column offset, row offset).
FilterKernel KernelOf(std::initializer_list<std::tuple<int, int, int>> taps) {
  FilterKernel k{};
  for (const auto& [dx, dy, w] : taps) k.weights[9 * (dy + 4) + dx + 4] = w;
  return k;
}

// The exports with the whole picture selected (mode 1) unless told.
HGLOBAL Blur(ImageHandles* i, BYTE radius, BYTE mode = 1, const RECT* rect = nullptr) {
  return QVBlur(i, mode, nullptr, 0, rect, TRUE, radius, TRUE, 0, 0, 0);
}
HGLOBAL AntiAlias(ImageHandles* i, BYTE mode = 1) {
  return QVAntiAlias(i, mode, nullptr, 0, nullptr, TRUE, TRUE, 0, 0, 0);
}
HGLOBAL Custom(ImageHandles* i, const FilterKernel& k, int divisor, int bias, BOOL r = 1,
               BOOL g = 1, BOOL b = 1, BYTE mode = 1, POINT* points = nullptr, int count = 0) {
  return QVCustomFilter(i, mode, points, count, nullptr, TRUE, &k, divisor, bias, r, g, b, TRUE, 0,
                        0, 0);
}
HGLOBAL Emboss(ImageHandles* i, BYTE direction, BYTE depth, BYTE bias) {
  return QVEmboss(i, 1, nullptr, 0, nullptr, TRUE, direction, depth, bias, TRUE, 0, 0, 0);
}
HGLOBAL Outline(ImageHandles* i, BYTE channel, BYTE op, BYTE gain) {
  return QVOutline(i, 1, nullptr, 0, nullptr, TRUE, channel, op, gain, TRUE, 0, 0, 0);
}
HGLOBAL Sharp(ImageHandles* i, BYTE strength) {
  return QVSharp(i, 1, nullptr, 0, nullptr, TRUE, strength, TRUE, 0, 0, 0);
}
HGLOBAL RemoveNoise(ImageHandles* i, BYTE method, BYTE level) {
  return QVRemoveNoise(i, 1, nullptr, 0, nullptr, TRUE, method, level, TRUE, 0, 0, 0);
}
HGLOBAL Mosaic(ImageHandles* i, int cw, int ch, BYTE mode = 1, POINT* points = nullptr,
               int count = 0) {
  return QVMosaic(i, mode, points, count, nullptr, TRUE, cw, ch, TRUE, 0, 0, 0);
}
HGLOBAL OilPaint(ImageHandles* i, BYTE method, BYTE size) {
  return QVOilPaint(i, 1, nullptr, 0, nullptr, TRUE, method, size, TRUE, 0, 0, 0);
}
HGLOBAL Motion(ImageHandles* i, BYTE kind, BYTE samples, int degrees) {
  return QVMotionBlur(i, 1, nullptr, 0, nullptr, TRUE, kind, samples, degrees, TRUE, 0, 0, 0);
}

TEST_F(FilterExportsTest, BlurAndAntiAliasWorkedCases) {
  // Integer means truncate: red 1 and 2 give 1.
  ImageHandles pair{Picture({{{1, 10, 200}, {2, 13, 201}}}), nullptr};
  EXPECT_EQ(RowOf(Keep(Blur(&pair, 1))), (Colours{{1, 11, 200}, {1, 11, 200}}));
  // Radius 0 is 1; 21 and 255 are 20.
  ImageHandles big{Keep(MakePicture(Layout::kRgb24, 45, 43, 9)), nullptr};
  const auto bytes = [&](BYTE r) { return BlockBytes(Keep(Blur(&big, r))); };
  EXPECT_EQ(bytes(0), bytes(1));
  EXPECT_NE(bytes(1), bytes(2));
  EXPECT_EQ(bytes(21), bytes(20));
  EXPECT_EQ(bytes(255), bytes(20));
  EXPECT_NE(bytes(19), bytes(20));
  // A window larger than the picture averages the whole picture; a
  // one-pixel picture is copied.
  ImageHandles three{
      Picture({{{0, 0, 0}, {3, 30, 90}, {9, 60, 255}}, {{6, 0, 3}, {0, 90, 0}, {0, 0, 0}}}),
      nullptr};
  EXPECT_EQ(RowOf(Keep(Blur(&three, 5)), 1), (Colours(3, {3, 30, 58})));
  ImageHandles one{Picture({{{7, 8, 9}}}), nullptr};
  EXPECT_EQ(RowOf(Keep(Blur(&one, 20))), (Colours{{7, 8, 9}}));
  // Anti-aliasing averages along the row only, fewer at its ends.
  ImageHandles row{
      Picture({{{0, 0, 0}, {30, 60, 90}, {3, 6, 10}, {100, 0, 5}}, Greys({9, 9, 9, 9})}), nullptr};
  EXPECT_EQ(RowOf(Keep(AntiAlias(&row))),
            (Colours{{15, 30, 45}, {11, 22, 33}, {44, 22, 35}, {51, 3, 7}}));
}

TEST_F(FilterExportsTest, CustomFilterWorkedCases) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 16, 16, 3));
  ImageHandles images{picture, nullptr};
  // A single centre weight equal to the divisor gives the picture back, for
  // every divisor (the quotient of an exact multiple must not drop by one).
  for (int d = 1; d <= 255; ++d) {
    HGLOBAL same = Custom(&images, KernelOf({{0, 0, d}}), d, 0);
    ASSERT_EQ(BlockBytes(same), BlockBytes(picture)) << "divisor " << d;
    GlobalFree(same);
  }
  // Sums divide toward zero before the bias: a red sum of -5 over 2 is -2.
  // All zeros give the bias. Only the low bytes of divisor and bias count:
  // 257 is 1, 256 is 0.
  ImageHandles one{Picture({{{5, 9, 0}}}), nullptr};
  const FilterKernel minus = KernelOf({{0, 0, -1}});
  EXPECT_EQ(RowOf(Keep(Custom(&one, minus, 2, 3))), (Colours{{1, 0, 3}}));
  EXPECT_EQ(RowOf(Keep(Custom(&one, FilterKernel{}, 1, 77))), Greys({77}));
  EXPECT_EQ(RowOf(Keep(Custom(&one, KernelOf({{0, 0, 1}}), 257, 256))), (Colours{{5, 9, 0}}));
  // Beyond the border the outermost pixels repeat: a weight four columns to
  // the left reads column 0 for the first five columns.
  ImageHandles ramp{Picture({Greys({10, 20, 30, 40, 50, 60, 70})}), nullptr};
  EXPECT_EQ(RowOf(Keep(Custom(&ramp, KernelOf({{-4, 0, 1}}), 1, 0))),
            Greys({10, 10, 10, 10, 10, 20, 30}));
  EXPECT_EQ(RowOf(Keep(Custom(&ramp, KernelOf({{2, -3, 1}}), 1, 0))),
            Greys({30, 40, 50, 60, 70, 70, 70}));
  // Green disabled: 0 in the standard filter, the source's green in the
  // direct variant.
  ImageHandles pair{Picture({{{10, 20, 30}, {40, 50, 60}}}), nullptr};
  const FilterKernel twice = KernelOf({{0, 0, 2}});
  EXPECT_EQ(RowOf(Keep(Custom(&pair, twice, 1, 1, 1, 0, 1))), (Colours{{21, 0, 61}, {81, 0, 121}}));
  EXPECT_EQ(RowOf(Keep(Custom(&pair, twice, 1, 1, 1, 0, 1, 1, nullptr, 1000000))),
            (Colours{{21, 20, 61}, {81, 50, 121}}));
  // The direct variant visits the rows of its rectangle from the bottom.
  POINT triangle[3] = {{1, 2}, {5, 2}, {3, 7}};
  const auto reports =
      RecordProgress([&] { return Custom(&images, twice, 1, 0, 1, 1, 1, 2, triangle, 1000003); });
  ASSERT_EQ(reports.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(reports[i].done == i && reports[i].total == 5) << i;
}

TEST_F(FilterExportsTest, EmbossOutlineSharpAndRemoveNoiseWorkedCases) {
  // A step from 10 to 40 across one row: each emboss kernel row adds
  // 2 x 40 - 2 x 10, 180 in all, divided by 6 - depth (depth in 1..5).
  ImageHandles step{Picture({Greys({10, 40})}), nullptr};
  EXPECT_EQ(RowOf(Keep(Emboss(&step, 0, 0, 100))), Greys({136, 136}));  // 180 / 5
  EXPECT_EQ(RowOf(Keep(Emboss(&step, 0, 3, 100))), Greys({160, 160}));  // 180 / 3
  EXPECT_EQ(RowOf(Keep(Emboss(&step, 0, 9, 100))), Greys({255, 255}));  // 180 / 1
  EXPECT_EQ(RowOf(Keep(Emboss(&step, 4, 1, 100))), Greys({64, 64}));
  // A red step from 0 to 255: the simple difference sees it left of the
  // step, gain 3 giving floor(255 x 0.3) = 76; Sobel sees 4 x 255 = 1020
  // on both sides; a one-pixel picture reads itself all round.
  ImageHandles edge{Picture({{{0, 7, 7}, {0, 7, 7}, {255, 7, 7}, {255, 7, 7}}}), nullptr};
  EXPECT_EQ(RowOf(Keep(Outline(&edge, 1, 0, 10))), Greys({0, 255, 0, 0}));
  EXPECT_EQ(RowOf(Keep(Outline(&edge, 1, 0, 3))), Greys({0, 76, 0, 0}));
  EXPECT_EQ(RowOf(Keep(Outline(&edge, 1, 2, 1))), Greys({0, 102, 102, 0}));
  EXPECT_EQ(RowOf(Keep(Outline(&edge, 2, 2, 100))), Greys({0, 0, 0, 0}));  // green is flat
  // Sharpening by 0 still converts: red 200, green 50, blue 30 comes back
  // with green 49. Corners see four pixels, edges six, the middle nine.
  ImageHandles pair{Picture({{{200, 50, 30}, {77, 77, 77}}}), nullptr};
  EXPECT_EQ(RowOf(Keep(Sharp(&pair, 0))), (Colours{{200, 49, 30}, {77, 77, 77}}));
  ImageHandles grey{Picture({Greys({100, 50, 50}), Greys({50, 50, 50}), Greys({50, 50, 50})}),
                    nullptr};
  HGLOBAL sharp = Keep(Sharp(&grey, 2));  // gain 0.06
  EXPECT_EQ(RowOf(sharp, 0), Greys({109, 47, 50}));
  EXPECT_EQ(RowOf(sharp, 1), Greys({47, 47, 50}));
  EXPECT_EQ(RowOf(sharp, 2), Greys({50, 50, 50}));
  // Median by luminance: 1 5 2 / 2 250 1 / 1 0 3 in row order, sorted
  // stably, index 4 is the first 2, the pixel (2, 0).
  ImageHandles spot{Picture({{{0, 0, 9}, {0, 9, 0}, {9, 0, 0}},
                             {{0, 5, 0}, {250, 250, 250}, {5, 0, 0}},
                             {{1, 1, 1}, {0, 0, 5}, {3, 3, 3}}}),
                    nullptr};
  EXPECT_EQ(RowOf(Keep(RemoveNoise(&spot, 0, 0)), 1)[1], (Colour{9, 0, 0}));
  // Method 1: the red median of the eight neighbours, index 4; the farthest
  // is 199 away, so threshold 198 (level 57) lets it in, 199 (56) does not.
  ImageHandles red{Picture({{{1, 50, 60}, {2, 50, 60}, {3, 50, 60}},
                            {{4, 50, 60}, {200, 50, 60}, {5, 50, 60}},
                            {{6, 50, 60}, {7, 50, 60}, {8, 50, 60}}}),
                   nullptr};
  EXPECT_EQ(RowOf(Keep(RemoveNoise(&red, 1, 57)), 1)[1], (Colour{5, 50, 60}));
  EXPECT_EQ(RowOf(Keep(RemoveNoise(&red, 1, 56)), 1)[1], (Colour{200, 50, 60}));
}

TEST_F(FilterExportsTest, OilPaintWindowsAndTies) {
  const std::vector<std::vector<Colour>> rows = {
      {{10, 1, 0}, {20, 2, 0}, {5, 2, 0}},
      {{20, 1, 0}, {10, 3, 0}, {7, 3, 0}},
      {{1, 9, 0}, {2, 9, 0}, {3, 3, 0}},
  };
  ImageHandles images{Picture(rows), nullptr};
  // Size 2: the pixel, its right neighbour, the pixel below and below-right.
  const Grid two = Decode(Keep(OilPaint(&images, 0, 2)));
  // (0, 0): red 10 20 / 20 10: 20 reaches two first (fourth pixel), 10
  // only at the fifth; green 1 2 / 1 3: 1.
  EXPECT_EQ(ColourOf(two, 0, 0), (Colour{20, 1, 0}));
  // (1, 1): red 10 7 / 2 3, all once: the first; green 3 3 / 9 3: 3.
  EXPECT_EQ(ColourOf(two, 1, 1), (Colour{10, 3, 0}));
  // (2, 2): the window is the pixel alone.
  EXPECT_EQ(ColourOf(two, 2, 2), (Colour{3, 3, 0}));
  // Size 3 at the centre: red 10 and 20 each twice, 20 first; green 2
  // reaches two at the third pixel, 1 at the fourth, 3 at the sixth and
  // three at the ninth: 3 wins with the higher count.
  EXPECT_EQ(ColourOf(Decode(Keep(OilPaint(&images, 0, 3))), 1, 1), (Colour{20, 3, 0}));
  // Method 1: the window's luminance bins, row by row, are 3 7 2 6 4 3 5 5 2;
  // bin 3 is the first to reach two, at the sixth pixel, whose whole colour
  // is taken (5 and 2 reach two later and never more).
  EXPECT_EQ(ColourOf(Decode(Keep(OilPaint(&images, 1, 3))), 1, 1), (Colour{7, 3, 0}));
}

TEST_F(FilterExportsTest, MosaicCellsReachBeyondTheRectangleAndShrinkAtThePictureEdge) {
  // Pixel (x, y) is (10 x + 100 y, x, 7). The polygon selects columns 1..3
  // of the middle row: cells of 2 x 2 start at (1, 1) and (3, 1) and take in
  // row 2 and column 4 beyond the rectangle; nothing else changes.
  const auto ramp = [](int x, int y) { return Colour{10 * x + 100 * y, x, 7}; };
  ImageHandles six{Painted(6, 3, ramp), nullptr};
  POINT line[2] = {{1, 1}, {3, 1}};
  HGLOBAL cells = Keep(Mosaic(&six, 2, 2, 2, line, 2));
  EXPECT_EQ(
      RowOf(cells, 1),
      (Colours{{100, 0, 7}, {165, 1, 7}, {165, 1, 7}, {185, 3, 7}, {140, 4, 7}, {150, 5, 7}}));
  EXPECT_EQ(RowOf(cells, 0), RowOf(six.Picture, 0));
  EXPECT_EQ(RowOf(cells, 2), RowOf(six.Picture, 2));
  // 5 x 3 in cells of 2 x 2: the last column and row are narrower cells.
  ImageHandles five{Painted(5, 3, ramp), nullptr};
  HGLOBAL whole = Keep(Mosaic(&five, 2, 2));
  EXPECT_EQ(RowOf(whole, 1), (Colours{{55, 0, 7}, {55, 0, 7}, {75, 2, 7}, {75, 2, 7}, {90, 4, 7}}));
  EXPECT_EQ(RowOf(whole, 2),
            (Colours{{205, 0, 7}, {205, 0, 7}, {225, 2, 7}, {225, 2, 7}, {240, 4, 7}}));
}

TEST_F(FilterExportsTest, MosaicOfOneBitPicturesAndItsProgress) {
  // Three white of four: 191 is nearer white; one white: 63 is nearer
  // black; two of four: 127 is (just) nearer black.
  ImageHandles bits{Keep(MakeMask({"##.#..", "#.....", "##.#..", "......"})), nullptr};
  const Grid out = Decode(Keep(Mosaic(&bits, 2, 2)));
  const char* expected[] = {"##....", "##....", "......", "......"};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(out.At(x, y).index, expected[y][x] == '#' ? 1 : 0) << x << "," << y;
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 10, 7, 4)), nullptr};
  const auto reports = RecordProgress([&] { return Mosaic(&images, 4, 3); });
  ASSERT_EQ(reports.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(reports[i].done == 3 * i && reports[i].total == 6) << i;
}

TEST_F(FilterExportsTest, MotionBlurLinearPaths) {
  // Red 10 x, blue the row number.
  const auto ramp = [](int x, int y) { return Colour{10 * x, 0, y}; };
  ImageHandles row{Painted(8, 1, ramp), nullptr};
  // Direction 0, five samples: the pixel and four to its right, fewer near
  // the right edge.
  const Grid out = Decode(Keep(Motion(&row, 0, 5, 0)));
  EXPECT_EQ(ColourOf(out, 0, 0).r, 20);  // (0 + 10 + 20 + 30 + 40) / 5
  EXPECT_EQ(ColourOf(out, 5, 0).r, 60);  // (50 + 60 + 70) / 3
  EXPECT_EQ(ColourOf(out, 7, 0).r, 70);
  // 180 degrees runs to the left.
  EXPECT_EQ(ColourOf(Decode(Keep(Motion(&row, 0, 3, 180))), 5, 0).r, 40);  // (50 + 40 + 30) / 3
  // Straight down from the top row of two: the path leaves after two
  // samples, which are averaged.
  ImageHandles two{Painted(3, 2, ramp), nullptr};
  const Grid down = Decode(Keep(Motion(&two, 0, 5, 90)));
  EXPECT_EQ(ColourOf(down, 1, 0), (Colour{10, 0, 0}));  // blue (0 + 1) / 2
  EXPECT_EQ(ColourOf(down, 1, 1), (Colour{10, 0, 1}));
}

TEST_F(FilterExportsTest, MotionBlurZoomReachesAlmostTwiceTheOffset) {
  // A 101-pixel row of red x, centre 50: with 50 samples the pixel at
  // offset 25 (column 75) samples columns 75 .. 99 (trunc(1.98 * 25) = 49);
  // the pixel at offset 50 (column 100) only itself, the next sample being
  // at 101.
  ImageHandles row{Painted(101, 1, [](int x, int) { return Colour{x, 0, 0}; }), nullptr};
  const Grid out = Decode(Keep(Motion(&row, 2, 50, 0)));
  int sum = 0;
  for (int i = 0; i < 50; ++i) sum += static_cast<int>(std::trunc((1 + 0.02 * i) * 25 + 50));
  EXPECT_EQ(ColourOf(out, 75, 0).r, sum / 50);
  EXPECT_EQ(ColourOf(out, 100, 0).r, 100);
  EXPECT_EQ(ColourOf(out, 50, 0).r, 50);
}

TEST_F(FilterExportsTest, AMaskOfTwoBlackColoursSelectsNothing) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 5, 3, 8));
  HGLOBAL black = Keep(MakeMask({"#.#.#", ".#.#.", "#.#.#"}));
  static_cast<RGBQUAD*>(GlobalLock(black))[11] = RGBQUAD{0, 0, 0, 0};
  GlobalUnlock(black);
  ImageHandles none{picture, black};
  EXPECT_EQ(BlockBytes(Keep(AntiAlias(&none, 0))), BlockBytes(picture));
  EXPECT_EQ(BlockBytes(Keep(Mosaic(&none, 2, 2, 0))), BlockBytes(picture));
}

TEST_F(FilterExportsTest, ProgressPerRowOfTheWorkRectangle) {
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 10, 12, 4)), nullptr};
  const RECT ellipse{2, 3, 9, 10};
  const auto reports = RecordProgress([&] { return Blur(&images, 3, 3, &ellipse); });
  ASSERT_EQ(reports.size(), 8u);
  for (int i = 0; i < 8; ++i) {
    const ProgressReport& r = reports[i];
    EXPECT_TRUE(r.done == i && r.total == 7 && r.percentFrom == 0 && r.percentTo == 100 &&
                r.noDialog)
        << "report " << i;
  }
}

// Every filter export with an ellipse selection, the window shown or not,
// and the depths it takes: the neighbourhood filters 8-bit grey and 16 bits
// and more, mosaic every depth, the direct custom variant 24 bits only.
enum Takes { kFilterDepths, kEveryDepth, kRgb24Only };
struct Export {
  std::string name;
  Takes takes;
  std::function<HGLOBAL(ImageHandles*, BOOL noDialog)> call;
};

const std::vector<Export>& Exports() {
  static const RECT e{1, 0, 8, 5};
  static const FilterKernel k = KernelOf({{-1, -1, 3}, {0, 0, 5}, {4, 2, -2}});
  using I = ImageHandles*;
  static const std::vector<Export> all = [] {
    std::vector<Export> x = {
        {"Blur", kFilterDepths,
         [](I i, BOOL n) { return QVBlur(i, 3, 0, 0, &e, 1, 2, n, 0, 0, 0); }},
        {"AntiAlias", kFilterDepths,
         [](I i, BOOL n) { return QVAntiAlias(i, 3, 0, 0, &e, 0, n, 0, 0, 0); }},
        {"CustomFilter", kFilterDepths,
         [](I i, BOOL n) {
           return QVCustomFilter(i, 3, 0, 0, &e, 1, &k, 3, 9, 1, 0, 1, n, 0, 0, 0);
         }},
        {"CustomFilter direct", kRgb24Only,
         [](I i, BOOL n) {
           return QVCustomFilter(i, 3, 0, 1000000, &e, 0, &k, 3, 9, 1, 0, 1, n, 0, 0, 0);
         }},
        {"Emboss", kFilterDepths,
         [](I i, BOOL n) { return QVEmboss(i, 3, 0, 0, &e, 1, 5, 2, 128, n, 0, 0, 0); }},
        {"Outline", kFilterDepths,
         [](I i, BOOL n) { return QVOutline(i, 3, 0, 0, &e, 1, 0, 2, 30, n, 0, 0, 0); }},
        {"Sharp", kFilterDepths,
         [](I i, BOOL n) { return QVSharp(i, 3, 0, 0, &e, 1, 40, n, 0, 0, 0); }},
        {"Mosaic", kEveryDepth,
         [](I i, BOOL n) { return QVMosaic(i, 3, 0, 0, &e, 1, 3, 2, n, 0, 0, 0); }}};
    for (BYTE m : {0, 1}) {
      x.push_back({Describe("RemoveNoise", m), kFilterDepths, [m](I i, BOOL n) {
                     return QVRemoveNoise(i, 3, 0, 0, &e, 1, m, 230, n, 0, 0, 0);
                   }});
      x.push_back({Describe("OilPaint", m), kFilterDepths, [m](I i, BOOL n) {
                     return QVOilPaint(i, 3, 0, 0, &e, 1, m, 4 - m, n, 0, 0, 0);
                   }});
    }
    for (BYTE kind : {0, 1, 2})
      x.push_back({Describe("MotionBlur", kind), kFilterDepths, [kind](I i, BOOL n) {
                     return QVMotionBlur(i, 3, 0, 0, &e, 1, kind, 7, 40, n, 0, 0, 0);
                   }});
    return x;
  }();
  return all;
}

bool TakesLayout(Takes takes, Layout layout) {
  if (takes == kEveryDepth) return true;
  if (takes == kRgb24Only) return layout == Layout::kRgb24;
  return BitCountOf(layout) > 8 || layout == Layout::kGrey8;
}

TEST_F(FilterExportsTest, EveryExportTakesItsDepthsAndRefusesTheOthers) {
  for (const Export& x : Exports()) {
    EXPECT_EQ(RefusalOf([&] { return x.call(nullptr, TRUE); }), 7) << x.name << " without images";
    for (Layout layout : AllLayouts()) {
      ImageHandles images{Keep(MakePicture(layout, 9, 6, 2)), nullptr};
      if (TakesLayout(x.takes, layout)) {
        EXPECT_NE(Keep(x.call(&images, TRUE)), nullptr) << x.name << " on " << NameOf(layout);
      } else {
        // The direct custom variant refuses 8-bit grey with its own code.
        const int code = x.takes == kRgb24Only && layout == Layout::kGrey8 ? 4 : 7;
        EXPECT_EQ(RefusalOf([&] { return x.call(&images, TRUE); }), code)
            << x.name << " on " << NameOf(layout);
      }
    }
  }
}

TEST_F(FilterExportsTest, EveryExportCleansUpAfterFailuresAndCancels) {
  for (const Export& x : Exports())
    for (Layout layout : {Layout::kRgb24, Layout::kRgb32, Layout::kGrey8, Layout::kRgb565,
                          Layout::kPalette1, Layout::kPalette8}) {
      if (!TakesLayout(x.takes, layout)) continue;
      ImageHandles images{Keep(MakePicture(layout, 9, 6, 2)), nullptr};
      SCOPED_TRACE(x.name + " on " + NameOf(layout));
      // A lock that fails while the ellipse is drawn reports 2, as drawing
      // failures do.
      ExpectCleanFailures([&] { return x.call(&images, TRUE); }, {2, 3});
      ExpectCleanCancels([&] { return x.call(&images, TRUE); });
    }
}

TEST_F(FilterExportsTest, AFailedProgressWindowRunsNothing) {
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 4, 4, 2)), nullptr};
  QvxComSetDlgOpenHandler([](void*, DWORD, DWORD, DWORD) -> BOOL { return FALSE; }, nullptr);
  for (const Export& x : Exports())
    EXPECT_EQ(RefusalOf([&] { return x.call(&images, FALSE); }), 2) << x.name;
}

// Parameters are refused (5) before the picture is looked at; selections
// that cannot be made are refused too.
TEST_F(FilterExportsTest, ParameterAndSelectionRefusals) {
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 4, 3, 2)), nullptr};
  ImageHandles grey{Keep(MakePicture(Layout::kGrey8, 4, 4, 1)), nullptr};
  ImageHandles narrow{images.Picture, Keep(MakeMask({"#", "#"}))};
  const FilterKernel k = KernelOf({{0, 0, 2}});
  POINT square[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  EXPECT_EQ(RefusalOf([&] { return Blur(&images, 2, 4); }), 5);    // mode 4
  EXPECT_EQ(RefusalOf([&] { return AntiAlias(&images, 3); }), 5);  // a null ellipse rectangle
  EXPECT_EQ(RefusalOf([&] { return AntiAlias(&images, 0); }), 7);  // mode 0 without a mask
  EXPECT_EQ(RefusalOf([&] { return Custom(nullptr, k, 256, 0); }), 5);
  EXPECT_EQ(RefusalOf([&] { return Custom(nullptr, k, 256, 0, 1, 1, 1, 1, 0, 1000000); }), 5);
  // The direct variant's own checks: mode, vertices, mask picture, depth.
  EXPECT_EQ(RefusalOf([&] { return Custom(&images, k, 1, 0, 1, 1, 1, 4, 0, 1000000); }), 5);
  EXPECT_EQ(RefusalOf([&] { return Custom(&images, k, 1, 0, 1, 1, 1, 2, square, 1000001); }), 5);
  EXPECT_EQ(RefusalOf([&] { return Custom(&images, k, 1, 0, 1, 1, 1, 2, 0, 1000003); }), 5);
  EXPECT_EQ(RefusalOf([&] { return Custom(&images, k, 1, 0, 1, 1, 1, 0, 0, 1000000); }), 7);
  EXPECT_EQ(RefusalOf([&] { return Custom(&narrow, k, 1, 0, 1, 1, 1, 0, 0, 1000000); }), 7);
  EXPECT_EQ(RefusalOf([&] { return Custom(&grey, k, 1, 0, 1, 1, 1, 2, square, 1000004); }), 4);
  EXPECT_EQ(RefusalOf([] { return Emboss(nullptr, 8, 1, 0); }), 5);
  EXPECT_EQ(RefusalOf([] { return Outline(nullptr, 4, 0, 10); }), 5);
  EXPECT_EQ(RefusalOf([] { return RemoveNoise(nullptr, 2, 0); }), 5);
  EXPECT_EQ(RefusalOf([] { return RemoveNoise(nullptr, 255, 0); }), 5);
  EXPECT_EQ(RefusalOf([] { return OilPaint(nullptr, 2, 3); }), 5);
  EXPECT_EQ(RefusalOf([] { return OilPaint(nullptr, 0, 0); }), 5);
  EXPECT_EQ(RefusalOf([] { return OilPaint(nullptr, 1, 3); }), 7);
  for (const auto& [w, h] : {std::pair{1, 1}, {0, 5}, {5, 0}, {-3, 4}, {4, -1}, {0, 0}})
    EXPECT_EQ(RefusalOf([&] { return Mosaic(nullptr, w, h); }), 5) << w << " x " << h;
  EXPECT_EQ(RefusalOf([] { return Mosaic(nullptr, 1, 2); }), 7);
  EXPECT_EQ(RefusalOf([&] { return Mosaic(&images, 2, 2, 4); }), 5);
  EXPECT_EQ(RefusalOf([] { return Motion(nullptr, 3, 5, 0); }), 5);
  EXPECT_EQ(RefusalOf([] { return Motion(nullptr, 1, 5, -1); }), 5);   // spin by a negative angle
  EXPECT_EQ(RefusalOf([] { return Motion(nullptr, 0, 5, -30); }), 7);  // linear takes any angle
  // The same polygon without the direct variant takes the grey picture.
  EXPECT_NE(Keep(Custom(&grey, k, 1, 0, 1, 1, 1, 2, square, 4)), nullptr);
}

}  // namespace
}  // namespace qvx::test
