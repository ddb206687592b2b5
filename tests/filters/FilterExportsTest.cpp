// The filter exports: worked cases (documented edge cases above all),
// progress, and for every export the depths it takes, its refusals and the
// fixture's failure and cancel runs. Random pictures: FilterRandomTest.
#include <gtest/gtest.h>

#include <tuple>

#include "geometry/GeometryReference.h"

namespace qvx::test {
namespace {

using Colours = std::vector<Colour>;

class FilterExportsTest : public QvxTest {
 protected:
  // 24-bit pictures of the given colours, kept.
  ImageHandles Painted(int width, int height, const std::function<Colour(int x, int y)>& colour) {
    return {Keep(PaintedPicture(width, height, colour)), nullptr};
  }
  ImageHandles Picture(const std::vector<Colours>& rows) {
    return Painted(int(rows[0].size()), int(rows.size()), [&](int x, int y) { return rows[y][x]; });
  }
  // A result, kept and decoded.
  Grid Out(HGLOBAL result) { return Decode(Keep(result)); }
  Colours Row(HGLOBAL result, int y = 0) { return RowOf(Out(result), y); }
  static Colours RowOf(const Grid& g, int y) {
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

// An export over a selection (mode, vertices) or the whole picture, with
// its own parameters, the window not shown.
template <auto F, typename... P>
HGLOBAL Selecting(ImageHandles* i, BYTE mode, POINT* points, int count, P... p) {
  return F(i, mode, points, count, nullptr, TRUE, p..., TRUE, 0, 0, 0);
}
template <auto F, typename... P>
HGLOBAL Whole(ImageHandles* i, P... p) {
  return Selecting<F>(i, 1, nullptr, 0, p...);
}
HGLOBAL Custom(ImageHandles* i, const FilterKernel& k, int divisor, int bias, BOOL r = 1,
               BOOL g = 1, BOOL b = 1, BYTE mode = 1, POINT* points = nullptr, int count = 0) {
  return Selecting<QVCustomFilter>(i, mode, points, count, &k, divisor, bias, r, g, b);
}

TEST_F(FilterExportsTest, BlurAndAntiAliasWorkedCasesAndProgress) {
  // Integer means truncate: red 1 and 2 give 1.
  ImageHandles pair = Picture({{{1, 10, 200}, {2, 13, 201}}});
  EXPECT_EQ(Row(Whole<QVBlur>(&pair, 1)), (Colours{{1, 11, 200}, {1, 11, 200}}));
  // A window larger than the picture averages the whole picture.
  ImageHandles three =
      Picture({{{0, 0, 0}, {3, 30, 90}, {9, 60, 255}}, {{6, 0, 3}, {0, 90, 0}, {0, 0, 0}}});
  EXPECT_EQ(Row(Whole<QVBlur>(&three, 5), 1), (Colours(3, {3, 30, 58})));
  // Anti-aliasing averages along the row only, fewer at its ends.
  ImageHandles row =
      Picture({{{0, 0, 0}, {30, 60, 90}, {3, 6, 10}, {100, 0, 5}}, Greys({9, 9, 9, 9})});
  EXPECT_EQ(Row(Whole<QVAntiAlias>(&row)),
            (Colours{{15, 30, 45}, {11, 22, 33}, {44, 22, 35}, {51, 3, 7}}));
  // Progress by rows of the work rectangle.
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 10, 12, 4)), nullptr};
  const RECT ellipse{2, 3, 9, 10};
  EXPECT_EQ(Progress(RecordProgress(
                [&] { return QVBlur(&images, 3, nullptr, 0, &ellipse, TRUE, 3, TRUE, 0, 0, 0); })),
            Progress({{8}}));
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
  ImageHandles one = Picture({{{5, 9, 0}}});
  EXPECT_EQ(Row(Custom(&one, KernelOf({{0, 0, -1}}), 2, 3)), (Colours{{1, 0, 3}}));
  EXPECT_EQ(Row(Custom(&one, FilterKernel{}, 1, 77)), Greys({77}));
  EXPECT_EQ(Row(Custom(&one, KernelOf({{0, 0, 1}}), 257, 256)), (Colours{{5, 9, 0}}));
  // Beyond the border the outermost pixels repeat: a weight four columns to
  // the left reads column 0 for the first five columns.
  ImageHandles ramp = Picture({Greys({10, 20, 30, 40, 50, 60, 70})});
  EXPECT_EQ(Row(Custom(&ramp, KernelOf({{-4, 0, 1}}), 1, 0)), Greys({10, 10, 10, 10, 10, 20, 30}));
  EXPECT_EQ(Row(Custom(&ramp, KernelOf({{2, -3, 1}}), 1, 0)), Greys({30, 40, 50, 60, 70, 70, 70}));
  // Green disabled: 0 in the standard filter, the source's green in the
  // direct variant.
  ImageHandles pair = Picture({{{10, 20, 30}, {40, 50, 60}}});
  const FilterKernel twice = KernelOf({{0, 0, 2}});
  EXPECT_EQ(Row(Custom(&pair, twice, 1, 1, 1, 0, 1)), (Colours{{21, 0, 61}, {81, 0, 121}}));
  EXPECT_EQ(Row(Custom(&pair, twice, 1, 1, 1, 0, 1, 1, nullptr, 1000000)),
            (Colours{{21, 20, 61}, {81, 50, 121}}));
  // The direct variant visits the rows of its rectangle from the bottom.
  POINT triangle[3] = {{1, 2}, {5, 2}, {3, 7}};
  EXPECT_EQ(Progress(RecordProgress(
                [&] { return Custom(&images, twice, 1, 0, 1, 1, 1, 2, triangle, 1000003); })),
            Progress({{6}}));
}

TEST_F(FilterExportsTest, EmbossOutlineSharpAndRemoveNoiseWorkedCases) {
  // A step from 10 to 40 across one row: each emboss kernel row adds
  // 2 x 40 - 2 x 10, 180 in all, divided by 6 - depth (depth in 1..5).
  ImageHandles step = Picture({Greys({10, 40})});
  EXPECT_EQ(Row(Whole<QVEmboss>(&step, 0, 0, 100)), Greys({136, 136}));  // 180 / 5
  EXPECT_EQ(Row(Whole<QVEmboss>(&step, 0, 3, 100)), Greys({160, 160}));  // 180 / 3
  EXPECT_EQ(Row(Whole<QVEmboss>(&step, 0, 9, 100)), Greys({255, 255}));  // 180 / 1
  EXPECT_EQ(Row(Whole<QVEmboss>(&step, 4, 1, 100)), Greys({64, 64}));
  // A red step from 0 to 255: the simple difference sees it left of the
  // step, gain 3 giving floor(255 x 0.3) = 76; Sobel sees 4 x 255 = 1020
  // on both sides.
  ImageHandles edge = Picture({{{0, 7, 7}, {0, 7, 7}, {255, 7, 7}, {255, 7, 7}}});
  EXPECT_EQ(Row(Whole<QVOutline>(&edge, 1, 0, 10)), Greys({0, 255, 0, 0}));
  EXPECT_EQ(Row(Whole<QVOutline>(&edge, 1, 0, 3)), Greys({0, 76, 0, 0}));
  EXPECT_EQ(Row(Whole<QVOutline>(&edge, 1, 2, 1)), Greys({0, 102, 102, 0}));
  EXPECT_EQ(Row(Whole<QVOutline>(&edge, 2, 2, 100)), Greys({0, 0, 0, 0}));  // green is flat
  // Sharpening by 0 still converts: red 200, green 50, blue 30 comes back
  // with green 49. Corners see four pixels, edges six, the middle nine.
  ImageHandles pair = Picture({{{200, 50, 30}, {77, 77, 77}}});
  EXPECT_EQ(Row(Whole<QVSharp>(&pair, 0)), (Colours{{200, 49, 30}, {77, 77, 77}}));
  ImageHandles grey = Picture({Greys({100, 50, 50}), Greys({50, 50, 50}), Greys({50, 50, 50})});
  const Grid sharp = Out(Whole<QVSharp>(&grey, 2));  // gain 0.06
  EXPECT_EQ(RowOf(sharp, 0), Greys({109, 47, 50}));
  EXPECT_EQ(RowOf(sharp, 1), Greys({47, 47, 50}));
  EXPECT_EQ(RowOf(sharp, 2), Greys({50, 50, 50}));
  // Median by luminance: 1 5 2 / 2 250 1 / 1 0 3 in row order, sorted
  // stably, index 4 is the first 2, the pixel (2, 0).
  ImageHandles spot = Picture({{{0, 0, 9}, {0, 9, 0}, {9, 0, 0}},
                               {{0, 5, 0}, {250, 250, 250}, {5, 0, 0}},
                               {{1, 1, 1}, {0, 0, 5}, {3, 3, 3}}});
  EXPECT_EQ(Row(Whole<QVRemoveNoise>(&spot, 0, 0), 1)[1], (Colour{9, 0, 0}));
  // Method 1: the red median of the eight neighbours, index 4; the farthest
  // is 199 away, so threshold 198 (level 57) lets it in, 199 (56) does not.
  ImageHandles red = Picture({{{1, 50, 60}, {2, 50, 60}, {3, 50, 60}},
                              {{4, 50, 60}, {200, 50, 60}, {5, 50, 60}},
                              {{6, 50, 60}, {7, 50, 60}, {8, 50, 60}}});
  EXPECT_EQ(Row(Whole<QVRemoveNoise>(&red, 1, 57), 1)[1], (Colour{5, 50, 60}));
  EXPECT_EQ(Row(Whole<QVRemoveNoise>(&red, 1, 56), 1)[1], (Colour{200, 50, 60}));
}

TEST_F(FilterExportsTest, OilPaintWindowsAndTies) {
  ImageHandles images = Picture({{{10, 1, 0}, {20, 2, 0}, {5, 2, 0}},
                                 {{20, 1, 0}, {10, 3, 0}, {7, 3, 0}},
                                 {{1, 9, 0}, {2, 9, 0}, {3, 3, 0}}});
  // Size 2: the pixel, its right neighbour, the pixel below and below-right.
  const Grid two = Out(Whole<QVOilPaint>(&images, 0, 2));
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
  EXPECT_EQ(ColourOf(Out(Whole<QVOilPaint>(&images, 0, 3)), 1, 1), (Colour{20, 3, 0}));
  // Method 1: the window's luminance bins, row by row, are 3 7 2 6 4 3 5 5 2;
  // bin 3 is the first to reach two, at the sixth pixel, whose whole colour
  // is taken (5 and 2 reach two later and never more).
  EXPECT_EQ(ColourOf(Out(Whole<QVOilPaint>(&images, 1, 3)), 1, 1), (Colour{7, 3, 0}));
}

TEST_F(FilterExportsTest, MosaicCellsBeyondTheRectangleAtThePictureEdgeAndOnOneBit) {
  // Pixel (x, y) is (10 x + 100 y, x, 7). The polygon selects columns 1..3
  // of the middle row: cells of 2 x 2 start at (1, 1) and (3, 1) and take in
  // row 2 and column 4 beyond the rectangle; nothing else changes.
  const auto ramp = [](int x, int y) { return Colour{10 * x + 100 * y, x, 7}; };
  ImageHandles six = Painted(6, 3, ramp);
  POINT line[2] = {{1, 1}, {3, 1}};
  const Grid cells = Out(Selecting<QVMosaic>(&six, 2, line, 2, 2, 2));
  EXPECT_EQ(
      RowOf(cells, 1),
      (Colours{{100, 0, 7}, {165, 1, 7}, {165, 1, 7}, {185, 3, 7}, {140, 4, 7}, {150, 5, 7}}));
  for (int y : {0, 2}) EXPECT_EQ(RowOf(cells, y), RowOf(Decode(six.Picture), y));
  // 5 x 3 in cells of 2 x 2: the last column and row are narrower cells.
  ImageHandles five = Painted(5, 3, ramp);
  const Grid whole = Out(Whole<QVMosaic>(&five, 2, 2));
  EXPECT_EQ(RowOf(whole, 1), (Colours{{55, 0, 7}, {55, 0, 7}, {75, 2, 7}, {75, 2, 7}, {90, 4, 7}}));
  EXPECT_EQ(RowOf(whole, 2),
            (Colours{{205, 0, 7}, {205, 0, 7}, {225, 2, 7}, {225, 2, 7}, {240, 4, 7}}));
  // 1 bit: three white of four make 191, nearer white; one white 63, nearer
  // black; two of four 127, (just) nearer black.
  ImageHandles bits{Keep(MakeMask({"##.#..", "#.....", "##.#..", "......"})), nullptr};
  EXPECT_EQ(Mismatch(Decode(Keep(MakeMask({"##....", "##....", "......", "......"}))),
                     Keep(Whole<QVMosaic>(&bits, 2, 2))),
            "");
  // Progress by rows of cells.
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 10, 7, 4)), nullptr};
  EXPECT_EQ(Progress(RecordProgress([&] { return Whole<QVMosaic>(&images, 4, 3); })),
            Progress({{7, 0, 100, 3}}));
}

TEST_F(FilterExportsTest, MotionBlurPaths) {
  // Red 10 x, blue the row number.
  const auto ramp = [](int x, int y) { return Colour{10 * x, 0, y}; };
  ImageHandles row = Painted(8, 1, ramp);
  // Direction 0, five samples: the pixel and four to its right, fewer near
  // the right edge.
  const Grid out = Out(Whole<QVMotionBlur>(&row, 0, 5, 0));
  EXPECT_EQ(ColourOf(out, 0, 0).r, 20);  // (0 + 10 + 20 + 30 + 40) / 5
  EXPECT_EQ(ColourOf(out, 5, 0).r, 60);  // (50 + 60 + 70) / 3
  EXPECT_EQ(ColourOf(out, 7, 0).r, 70);
  // 180 degrees runs to the left.
  EXPECT_EQ(Row(Whole<QVMotionBlur>(&row, 0, 3, 180))[5].r, 40);  // (50 + 40 + 30) / 3
  // Straight down from the top row of two: the path leaves after two
  // samples, which are averaged.
  ImageHandles two = Painted(3, 2, ramp);
  const Grid down = Out(Whole<QVMotionBlur>(&two, 0, 5, 90));
  EXPECT_EQ(ColourOf(down, 1, 0), (Colour{10, 0, 0}));  // blue (0 + 1) / 2
  EXPECT_EQ(ColourOf(down, 1, 1), (Colour{10, 0, 1}));
  // Zoom on a 101-pixel row of red x, centre 50: with 50 samples the pixel
  // at offset 25 (column 75) samples columns 75 + trunc(0.02 i x 25), each
  // of 75 .. 99 twice, mean 87; the pixel at offset 50 (column 100) only
  // itself, the next sample being at 101.
  ImageHandles wide = Painted(101, 1, [](int x, int) { return Colour{x, 0, 0}; });
  const Colours zoom = Row(Whole<QVMotionBlur>(&wide, 2, 50, 0));
  EXPECT_EQ(zoom[75].r, 87);
  EXPECT_EQ(zoom[100].r, 100);
  EXPECT_EQ(zoom[50].r, 50);
  // A full turn on one pixel: N = trunc(sqrt(sqrt 2) x 2 pi x 4 + 2) = 31
  // samples, all of the centre; one degree more is refused.
  ImageHandles white = Painted(1, 1, [](int, int) { return Colour{255, 255, 255}; });
  EXPECT_EQ(Row(Whole<QVMotionBlur>(&white, 1, 0, 360)), Colours{(Colour{255, 255, 255})});
  EXPECT_EQ(RefusalOf([&] { return Whole<QVMotionBlur>(&white, 1, 0, 361); }), 5);
  EXPECT_EQ(RefusalOf([&] { return Whole<QVMotionBlur>(&white, 1, 0, 120000000); }), 5);
}

// Every filter export with an ellipse selection, the window shown or not,
// and the depths it takes: the neighbourhood filters 8-bit grey and 16 bits
// and more, mosaic every depth, the direct custom variant 24 bits only.
enum Takes { kFilterDepths, kEveryDepth, kRgb24Only };
using ExportCall = std::function<HGLOBAL(ImageHandles*, BOOL noDialog)>;
struct Export {
  std::string name;
  Takes takes;
  ExportCall call;
};

const RECT kEllipse{1, 0, 8, 5};
const FilterKernel kKernel = KernelOf({{-1, -1, 3}, {0, 0, 5}, {4, 2, -2}});

template <auto F, typename... P>
ExportCall OverEllipse(BOOL inside, P... p) {
  return [=](ImageHandles* i, BOOL n) {
    return F(i, 3, nullptr, 0, &kEllipse, inside, p..., n, 0, 0, 0);
  };
}

std::vector<Export> Exports() {
  std::vector<Export> x = {
      {"Blur", kFilterDepths, OverEllipse<QVBlur>(1, 2)},
      {"AntiAlias", kFilterDepths, OverEllipse<QVAntiAlias>(0)},
      {"CustomFilter", kFilterDepths, OverEllipse<QVCustomFilter>(1, &kKernel, 3, 9, 1, 0, 1)},
      {"CustomFilter direct", kRgb24Only,
       [](ImageHandles* i, BOOL n) {
         return QVCustomFilter(i, 3, 0, 1000000, &kEllipse, 0, &kKernel, 3, 9, 1, 0, 1, n, 0, 0, 0);
       }},
      {"Emboss", kFilterDepths, OverEllipse<QVEmboss>(1, 5, 2, 128)},
      {"Outline", kFilterDepths, OverEllipse<QVOutline>(1, 0, 2, 30)},
      {"Sharp", kFilterDepths, OverEllipse<QVSharp>(1, 40)},
      {"Mosaic", kEveryDepth, OverEllipse<QVMosaic>(1, 3, 2)}};
  for (BYTE m : {0, 1}) {
    x.push_back({Describe("RemoveNoise", m), kFilterDepths, OverEllipse<QVRemoveNoise>(1, m, 230)});
    x.push_back({Describe("OilPaint", m), kFilterDepths, OverEllipse<QVOilPaint>(1, m, 4 - m)});
  }
  for (BYTE kind : {0, 1, 2})
    x.push_back(
        {Describe("MotionBlur", kind), kFilterDepths, OverEllipse<QVMotionBlur>(1, kind, 7, 40)});
  // The distortions and textures run in the same frame.
  x.insert(x.end(),
           {{"Ripple", kFilterDepths, OverEllipse<QVRipple>(1, 2.5, 3.0, 10.0, 0, 1, 1, 2, 3)},
            {"Waves", kFilterDepths, OverEllipse<QVWaves>(0, 0, 1, 5, 2, 0.25, 2, 1, 2, 3)},
            {"WhirlPinch", kFilterDepths, OverEllipse<QVWhirlPinch>(1, 90.0, 1.0, 1.0, 1, 2, 3)},
            {"Lens", kFilterDepths, OverEllipse<QVLens>(1, 1.5, 1, 1, 2, 3)},
            {"Canvas", kFilterDepths, OverEllipse<QVCanvas>(1, 2, 12)},
            {"GlassTile", kFilterDepths, OverEllipse<QVGlassTile>(1, 12, 10)}});
  return x;
}

bool TakesLayout(Takes takes, Layout layout) {
  if (takes == kEveryDepth) return true;
  if (takes == kRgb24Only) return layout == Layout::kRgb24;
  return BitCountOf(layout) > 8 || layout == Layout::kGrey8;
}

// Every export takes its depths (the fixture's failure and cancel runs on
// each) and refuses the others; a progress window that fails to open runs
// nothing (2).
TEST_F(FilterExportsTest, EveryExportTakesItsDepthsAndCleansUpAfterFailuresAndCancels) {
  for (const Export& x : Exports()) {
    EXPECT_EQ(RefusalOf([&] { return x.call(nullptr, TRUE); }), 7) << x.name << " without images";
    for (Layout layout : AllLayouts()) {
      ImageHandles images{Keep(MakePicture(layout, 9, 6, 2)), nullptr};
      SCOPED_TRACE(x.name + " on " + NameOf(layout));
      const auto call = [&] { return x.call(&images, TRUE); };
      if (TakesLayout(x.takes, layout)) {
        // A lock failing while the ellipse is drawn reports 2.
        ExpectCleanFailures(call, {2, 3});
        ExpectCleanCancels(call);
      } else {  // the direct custom variant refuses 8-bit grey with its own code
        EXPECT_EQ(RefusalOf(call), x.takes == kRgb24Only && layout == Layout::kGrey8 ? 4 : 7);
      }
    }
  }
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 4, 4, 2)), nullptr};
  QvxComSetDlgOpenHandler([](void*, DWORD, DWORD, DWORD) -> BOOL { return FALSE; }, nullptr);
  for (const Export& x : Exports())
    EXPECT_EQ(RefusalOf([&] { return x.call(&images, FALSE); }), 2) << x.name << ", no window";
}

// Parameters are refused (5) before the picture is looked at; selections
// that cannot be made are refused too, and one of no pixels changes none.
TEST_F(FilterExportsTest, ParameterAndSelectionRefusals) {
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 4, 3, 2)), nullptr};
  HGLOBAL black = Keep(MakeMask({"#.#.", ".#.#", "#.#."}));  // both table colours black
  static_cast<RGBQUAD*>(GlobalLock(black))[11] = RGBQUAD{0, 0, 0, 0};
  GlobalUnlock(black);
  ImageHandles none{images.Picture, black};
  EXPECT_EQ(BlockBytes(Keep(Selecting<QVAntiAlias>(&none, 0, nullptr, 0))),
            BlockBytes(none.Picture));
  EXPECT_EQ(BlockBytes(Keep(Selecting<QVMosaic>(&none, 0, nullptr, 0, 2, 2))),
            BlockBytes(none.Picture));
  ImageHandles grey{Keep(MakePicture(Layout::kGrey8, 4, 4, 1)), nullptr};
  ImageHandles narrow{images.Picture, Keep(MakeMask({"#", "#"}))};
  const FilterKernel k = KernelOf({{0, 0, 2}});
  POINT square[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  EXPECT_EQ(RefusalOf([&] { return Selecting<QVBlur>(&images, 4, nullptr, 0, 2); }), 5);
  // A null ellipse rectangle; mode 0 without a mask.
  EXPECT_EQ(RefusalOf([&] { return Selecting<QVAntiAlias>(&images, 3, nullptr, 0); }), 5);
  EXPECT_EQ(RefusalOf([&] { return Selecting<QVAntiAlias>(&images, 0, nullptr, 0); }), 7);
  EXPECT_EQ(RefusalOf([&] { return Custom(nullptr, k, 256, 0); }), 5);
  EXPECT_EQ(RefusalOf([&] { return Custom(nullptr, k, 256, 0, 1, 1, 1, 1, 0, 1000000); }), 5);
  // The direct variant's own checks: mode, vertices, mask picture, depth.
  EXPECT_EQ(RefusalOf([&] { return Custom(&images, k, 1, 0, 1, 1, 1, 4, 0, 1000000); }), 5);
  EXPECT_EQ(RefusalOf([&] { return Custom(&images, k, 1, 0, 1, 1, 1, 2, square, 1000001); }), 5);
  EXPECT_EQ(RefusalOf([&] { return Custom(&images, k, 1, 0, 1, 1, 1, 2, 0, 1000003); }), 5);
  EXPECT_EQ(RefusalOf([&] { return Custom(&images, k, 1, 0, 1, 1, 1, 0, 0, 1000000); }), 7);
  EXPECT_EQ(RefusalOf([&] { return Custom(&narrow, k, 1, 0, 1, 1, 1, 0, 0, 1000000); }), 7);
  EXPECT_EQ(RefusalOf([&] { return Custom(&grey, k, 1, 0, 1, 1, 1, 2, square, 1000004); }), 4);
  EXPECT_EQ(RefusalOf([] { return Whole<QVEmboss>(nullptr, 8, 1, 0); }), 5);
  EXPECT_EQ(RefusalOf([] { return Whole<QVOutline>(nullptr, 4, 0, 10); }), 5);
  EXPECT_EQ(RefusalOf([] { return Whole<QVRemoveNoise>(nullptr, 2, 0); }), 5);
  EXPECT_EQ(RefusalOf([] { return Whole<QVRemoveNoise>(nullptr, 255, 0); }), 5);
  EXPECT_EQ(RefusalOf([] { return Whole<QVOilPaint>(nullptr, 2, 3); }), 5);
  EXPECT_EQ(RefusalOf([] { return Whole<QVOilPaint>(nullptr, 0, 0); }), 5);
  EXPECT_EQ(RefusalOf([] { return Whole<QVOilPaint>(nullptr, 1, 3); }), 7);
  for (const auto& cell : {std::pair{1, 1}, {0, 5}, {5, 0}, {-3, 4}, {4, -1}, {0, 0}})
    EXPECT_EQ(RefusalOf([&] { return Whole<QVMosaic>(nullptr, cell.first, cell.second); }), 5)
        << cell.first << " x " << cell.second;
  EXPECT_EQ(RefusalOf([] { return Whole<QVMosaic>(nullptr, 1, 2); }), 7);
  EXPECT_EQ(RefusalOf([&] { return Selecting<QVMosaic>(&images, 4, nullptr, 0, 2, 2); }), 5);
  EXPECT_EQ(RefusalOf([] { return Whole<QVMotionBlur>(nullptr, 3, 5, 0); }), 5);
  EXPECT_EQ(RefusalOf([] { return Whole<QVMotionBlur>(nullptr, 1, 5, -1); }), 5);  // spin, negative
  EXPECT_EQ(RefusalOf([] { return Whole<QVMotionBlur>(nullptr, 0, 5, -30); }), 7);  // linear: any
}

}  // namespace
}  // namespace qvx::test
