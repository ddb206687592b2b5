// The neighbourhood filter exports: worked cases of each filter, refusals,
// accepted depths, progress, and the fixture's failure and cancellation
// runs on every export.
#include <gtest/gtest.h>

#include <tuple>

#include "filters/FilterReference.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

using Colours = std::vector<Colour>;

class FilterExportsTest : public QvxTest {
 protected:
  // A picture of the given rows of colours (24 or 32 bits), kept.
  HGLOBAL Picture(const std::vector<Colours>& rows, Layout layout = Layout::kRgb24) {
    const int height = static_cast<int>(rows.size());
    const int width = static_cast<int>(rows[0].size());
    HGLOBAL picture = MakePicture(layout, width, height, 5);
    PictureView view(picture);
    const int step = BitCountOf(layout) / 8;
    for (int y = 0; y < height; ++y) {
      auto* row = const_cast<std::uint8_t*>(view.Row(y));
      for (int x = 0; x < width; ++x) {
        row[step * x] = static_cast<BYTE>(rows[y][x].b);
        row[step * x + 1] = static_cast<BYTE>(rows[y][x].g);
        row[step * x + 2] = static_cast<BYTE>(rows[y][x].r);
      }
    }
    return Keep(picture);
  }
  static Colours RowOf(HGLOBAL picture, int y = 0) {
    const Grid g = Decode(picture);
    Colours row;
    for (int x = 0; x < g.width; ++x) row.push_back(ColourOf(g, x, y));
    return row;
  }
  // Status after a call that must fail.
  static int Refusal(HGLOBAL result) {
    EXPECT_EQ(result, nullptr);
    if (result) GlobalFree(result);
    return GetErrorStatus();
  }
};

HGLOBAL Blur(ImageHandles* i, BYTE radius, BYTE mode = 1, const RECT* rect = nullptr) {
  return QVBlur(i, mode, nullptr, 0, rect, TRUE, radius, TRUE, 0, 0, 0);
}
HGLOBAL AntiAlias(ImageHandles* i, BYTE mode = 1, const RECT* rect = nullptr) {
  return QVAntiAlias(i, mode, nullptr, 0, rect, TRUE, TRUE, 0, 0, 0);
}

TEST_F(FilterExportsTest, BlurWorkedCases) {
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
  // A window larger than the rectangle averages the whole rectangle at its
  // centre; a one-pixel picture is copied.
  ImageHandles three{
      Picture({{{0, 0, 0}, {3, 30, 90}, {9, 60, 255}}, {{6, 0, 3}, {0, 90, 0}, {0, 0, 0}}}),
      nullptr};
  EXPECT_EQ(RowOf(Keep(Blur(&three, 5)), 1)[1], (Colour{3, 30, 58}));
  ImageHandles one{Picture({{{7, 8, 9}}}), nullptr};
  EXPECT_EQ(RowOf(Keep(Blur(&one, 20))), (Colours{{7, 8, 9}}));
}

TEST_F(FilterExportsTest, BlurAndAntiAliasStayInsideTheWorkRectangle) {
  // Bright pixels outside the polygon's box never reach a mean: the box is
  // columns 1..3 of the middle row.
  ImageHandles pair{
      Picture(
          {{{250, 250, 250}, {250, 250, 250}, {250, 250, 250}, {250, 250, 250}, {250, 250, 250}},
           {{250, 250, 250}, {10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {250, 250, 250}},
           {{250, 250, 250}, {250, 250, 250}, {250, 250, 250}, {250, 250, 250}, {250, 250, 250}}}),
      nullptr};
  POINT line[2] = {{1, 1}, {3, 1}};
  HGLOBAL blurred = Keep(QVBlur(&pair, 2, line, 2, nullptr, TRUE, 1, TRUE, 0, 0, 0));
  ASSERT_NE(blurred, nullptr);
  HGLOBAL softened = Keep(QVAntiAlias(&pair, 2, line, 2, nullptr, TRUE, TRUE, 0, 0, 0));
  const Colours source = RowOf(pair.Picture, 1);
  const Colours blur = RowOf(blurred, 1), soft = RowOf(softened, 1);
  // Whatever the polygon selects of the box is the mean of at most the box.
  for (int x = 1; x <= 3; ++x) {
    EXPECT_LE(blur[x].r, 70) << x;
    EXPECT_LE(soft[x].r, 70) << x;
  }
  EXPECT_EQ(RowOf(blurred, 0), RowOf(pair.Picture, 0));
  EXPECT_EQ(blur[0], source[0]);
  EXPECT_EQ(blur[4], source[4]);
}

TEST_F(FilterExportsTest, AntiAliasWorkedCases) {
  ImageHandles pair{Picture({{{0, 0, 0}, {30, 60, 90}, {3, 6, 10}, {100, 0, 5}}}), nullptr};
  EXPECT_EQ(RowOf(Keep(AntiAlias(&pair))),
            (Colours{{15, 30, 45}, {11, 22, 33}, {44, 22, 35}, {51, 3, 7}}));
  // A two-column picture averages each pixel with its one neighbour; one
  // column is copied; rows do not mix.
  ImageHandles two{Picture({{{0, 1, 2}, {9, 9, 9}}, {{100, 100, 100}, {0, 0, 0}}}), nullptr};
  HGLOBAL result = Keep(AntiAlias(&two));
  EXPECT_EQ(RowOf(result, 0), (Colours{{4, 5, 5}, {4, 5, 5}}));
  EXPECT_EQ(RowOf(result, 1), (Colours{{50, 50, 50}, {50, 50, 50}}));
  ImageHandles column{Picture({{{5, 6, 7}}, {{50, 60, 70}}}), nullptr};
  EXPECT_EQ(BlockBytes(Keep(AntiAlias(&column))), BlockBytes(column.Picture));
}

// A kernel with the given weights at (column offset, row offset).
FilterKernel KernelOf(std::initializer_list<std::tuple<int, int, int>> taps) {
  FilterKernel k{};
  for (const auto& [dx, dy, w] : taps) k.weights[9 * (dy + 4) + dx + 4] = w;
  return k;
}
HGLOBAL Custom(ImageHandles* i, const FilterKernel& k, int divisor, int bias, BOOL r = 1,
               BOOL g = 1, BOOL b = 1, BYTE mode = 1, POINT* points = nullptr, int count = 0) {
  return QVCustomFilter(i, mode, points, count, nullptr, TRUE, &k, divisor, bias, r, g, b, TRUE, 0,
                        0, 0);
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
  // All zeros: the bias in every channel.
  HGLOBAL flat = Keep(Custom(&images, FilterKernel{}, 1, 77));
  EXPECT_EQ(RowOf(flat, 5)[9], (Colour{77, 77, 77}));
  // Sums divide toward zero before the bias: a red sum of -5 over 2 is -2.
  ImageHandles one{Picture({{{5, 9, 0}}}), nullptr};
  const FilterKernel minus = KernelOf({{0, 0, -1}});
  EXPECT_EQ(RowOf(Keep(Custom(&one, minus, 2, 0))), (Colours{{0, 0, 0}}));
  EXPECT_EQ(RowOf(Keep(Custom(&one, minus, 2, 3))), (Colours{{1, 0, 3}}));
  // Only the low bytes of divisor and bias count: 257 is 1, 256 is 0.
  EXPECT_EQ(RowOf(Keep(Custom(&one, KernelOf({{0, 0, 1}}), 257, 256))), (Colours{{5, 9, 0}}));
  // Beyond the border the outermost pixels repeat: a weight four columns to
  // the left reads column 0 for the first five columns.
  ImageHandles ramp{
      Picture(
          {{{10, 0, 0}, {20, 0, 0}, {30, 0, 0}, {40, 0, 0}, {50, 0, 0}, {60, 0, 0}, {70, 0, 0}}}),
      nullptr};
  EXPECT_EQ(
      RowOf(Keep(Custom(&ramp, KernelOf({{-4, 0, 1}}), 1, 0))),
      (Colours{
          {10, 0, 0}, {10, 0, 0}, {10, 0, 0}, {10, 0, 0}, {10, 0, 0}, {20, 0, 0}, {30, 0, 0}}));
  EXPECT_EQ(
      RowOf(Keep(Custom(&ramp, KernelOf({{2, -3, 1}}), 1, 0))),
      (Colours{
          {30, 0, 0}, {40, 0, 0}, {50, 0, 0}, {60, 0, 0}, {70, 0, 0}, {70, 0, 0}, {70, 0, 0}}));
}

TEST_F(FilterExportsTest, CustomFilterChannelsAndTheDirectVariant) {
  ImageHandles images{Picture({{{10, 20, 30}, {40, 50, 60}}, {{70, 80, 90}, {1, 2, 3}}}), nullptr};
  const FilterKernel twice = KernelOf({{0, 0, 2}});
  // Green disabled: 0 in the standard filter, the source's green in the
  // direct variant.
  EXPECT_EQ(RowOf(Keep(Custom(&images, twice, 1, 1, 1, 0, 1))),
            (Colours{{21, 0, 61}, {81, 0, 121}}));
  EXPECT_EQ(RowOf(Keep(Custom(&images, twice, 1, 1, 1, 0, 1, 1, nullptr, 1000000))),
            (Colours{{21, 20, 61}, {81, 50, 121}}));
  // A four-vertex polygon through the direct variant: 24 bits only, an
  // 8-bit grey picture fails with 4, an 8-bit colour one with 7.
  POINT square[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  EXPECT_NE(Keep(Custom(&images, twice, 1, 0, 1, 1, 1, 2, square, 1000004)), nullptr);
  ImageHandles grey{Keep(MakePicture(Layout::kGrey8, 4, 4, 1)), nullptr};
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Custom(&grey, twice, 1, 0, 1, 1, 1, 2, square, 1000004)), 4);
  EXPECT_NE(Keep(Custom(&grey, twice, 1, 0, 1, 1, 1, 2, square, 4)), nullptr);
  for (Layout layout : {Layout::kPalette8, Layout::kRgb32, Layout::kRgb565}) {
    ImageHandles other{Keep(MakePicture(layout, 4, 4, 1)), nullptr};
    SetErrorStatus(0);
    EXPECT_EQ(Refusal(Custom(&other, twice, 1, 0, 1, 1, 1, 1, nullptr, 1000000)), 7);
  }
  // The variant's own checks: selection mode, polygon size, mask picture.
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Custom(&images, twice, 1, 0, 1, 1, 1, 4, nullptr, 1000000)), 5);
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Custom(&images, twice, 1, 0, 1, 1, 1, 2, square, 1000001)), 5);
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Custom(&images, twice, 1, 0, 1, 1, 1, 2, nullptr, 1000003)), 5);
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Custom(&images, twice, 1, 0, 1, 1, 1, 0, nullptr, 1000000)), 7);
  ImageHandles narrow{images.Picture, Keep(MakeMask({"#", "#"}))};
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Custom(&narrow, twice, 1, 0, 1, 1, 1, 0, nullptr, 1000000)), 7);
  // Divisors whose low byte is 0 are refused before the picture is looked at.
  for (int count : {0, 1000000}) {
    SetErrorStatus(0);
    EXPECT_EQ(Refusal(QVCustomFilter(nullptr, 1, nullptr, count, nullptr, TRUE, &twice, 256, 0, 1,
                                     1, 1, TRUE, 0, 0, 0)),
              5);
    SetErrorStatus(0);
    EXPECT_EQ(Refusal(QVCustomFilter(nullptr, 1, nullptr, count, nullptr, TRUE, &twice, 1, 0, 1, 1,
                                     1, TRUE, 0, 0, 0)),
              7);
  }
}

TEST_F(FilterExportsTest, DirectVariantVisitsRowsFromTheBottom) {
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 6, 9, 4)), nullptr};
  const FilterKernel k = KernelOf({{1, 1, 1}});
  POINT triangle[3] = {{1, 2}, {5, 2}, {3, 7}};
  const auto reports =
      RecordProgress([&] { return Custom(&images, k, 1, 0, 1, 1, 1, 2, triangle, 1000003); });
  ASSERT_EQ(reports.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(reports[i].done, i);
    EXPECT_EQ(reports[i].total, 5);
  }
}

HGLOBAL Emboss(ImageHandles* i, BYTE direction, BYTE depth, BYTE bias) {
  return QVEmboss(i, 1, nullptr, 0, nullptr, TRUE, direction, depth, bias, TRUE, 0, 0, 0);
}
HGLOBAL Outline(ImageHandles* i, BYTE channel, BYTE op, BYTE gain) {
  return QVOutline(i, 1, nullptr, 0, nullptr, TRUE, channel, op, gain, TRUE, 0, 0, 0);
}

TEST_F(FilterExportsTest, EmbossWorkedCases) {
  ImageHandles flat{Picture({{{9, 9, 9}, {9, 9, 9}}, {{9, 9, 9}, {9, 9, 9}}}), nullptr};
  for (BYTE d = 0; d < 8; ++d)
    EXPECT_EQ(RowOf(Keep(Emboss(&flat, d, 3, 200)), 1),
              (Colours{{200, 200, 200}, {200, 200, 200}}));
  // A step from 10 to 40 across one row: each kernel row adds 2 x 40 - 2 x 10.
  ImageHandles step{Picture({{{10, 10, 10}, {40, 40, 40}}}), nullptr};
  EXPECT_EQ(RowOf(Keep(Emboss(&step, 0, 1, 100)))[0], (Colour{136, 136, 136}));  // 180 / 5
  EXPECT_EQ(RowOf(Keep(Emboss(&step, 0, 0, 100)))[0], (Colour{136, 136, 136}));  // depth 0 is 1
  EXPECT_EQ(RowOf(Keep(Emboss(&step, 0, 3, 100)))[0], (Colour{160, 160, 160}));  // 180 / 3
  EXPECT_EQ(RowOf(Keep(Emboss(&step, 0, 5, 100)))[0], (Colour{255, 255, 255}));  // 180 / 1
  EXPECT_EQ(RowOf(Keep(Emboss(&step, 0, 9, 100)))[0], (Colour{255, 255, 255}));  // 9 is 5
  EXPECT_EQ(RowOf(Keep(Emboss(&step, 4, 1, 100)))[0], (Colour{64, 64, 64}));
  // Directions d and d + 4 mirror about the bias where neither clamps.
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 9, 7, 12)), nullptr};
  for (BYTE d = 0; d < 4; ++d) {
    const Grid a = Decode(Keep(Emboss(&images, d, 1, 128)));
    const Grid b = Decode(Keep(Emboss(&images, d + 4, 1, 128)));
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 9; ++x) {
        const Colour ca = ColourOf(a, x, y), cb = ColourOf(b, x, y);
        if (ca.r > 0 && ca.r < 255 && cb.r > 0 && cb.r < 255) {
          EXPECT_EQ(ca.r + cb.r, 256) << x << "," << y;
        }
      }
  }
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(QVEmboss(nullptr, 1, nullptr, 0, nullptr, TRUE, 8, 1, 0, TRUE, 0, 0, 0)), 5);
}

TEST_F(FilterExportsTest, OutlineWorkedCases) {
  ImageHandles flat{Picture({{{90, 20, 200}, {90, 20, 200}}, {{90, 20, 200}, {90, 20, 200}}}),
                    nullptr};
  for (BYTE op : {0, 1, 2})
    for (BYTE channel : {0, 1, 2, 3})
      EXPECT_EQ(RowOf(Keep(Outline(&flat, channel, op, 100))), (Colours{{0, 0, 0}, {0, 0, 0}}));
  // A red step from 0 to 255: only the pixel left of it sees the difference.
  ImageHandles step{Picture({{{0, 7, 7}, {0, 7, 7}, {255, 7, 7}, {255, 7, 7}},
                             {{0, 7, 7}, {0, 7, 7}, {255, 7, 7}, {255, 7, 7}}}),
                    nullptr};
  HGLOBAL edges = Keep(Outline(&step, 1, 0, 10));
  for (int y = 0; y < 2; ++y)
    EXPECT_EQ(RowOf(edges, y), (Colours{{0, 0, 0}, {255, 255, 255}, {0, 0, 0}, {0, 0, 0}}));
  EXPECT_EQ(RowOf(Keep(Outline(&step, 2, 0, 10)), 0)[1], (Colour{0, 0, 0}));  // green is flat
  EXPECT_EQ(RowOf(Keep(Outline(&step, 1, 0, 0)), 0)[1], (Colour{0, 0, 0}));   // gain 0
  // Gain 3 gives floor(255 x 0.3) = 76; Sobel sees 4 x 255 = 1020 on both
  // sides of the step.
  EXPECT_EQ(RowOf(Keep(Outline(&step, 1, 0, 3)), 0)[1], (Colour{76, 76, 76}));
  EXPECT_EQ(RowOf(Keep(Outline(&step, 1, 2, 1)), 0),
            (Colours{{0, 0, 0}, {102, 102, 102}, {102, 102, 102}, {0, 0, 0}}));
  // A one-pixel picture: Sobel reads the pixel itself all round.
  ImageHandles one{Picture({{{250, 3, 90}}}), nullptr};
  EXPECT_EQ(RowOf(Keep(Outline(&one, 0, 2, 100))), (Colours{{0, 0, 0}}));
  // Every operator other than 0 and 2 is the Roberts cross.
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 8, 6, 5)), nullptr};
  const auto roberts = BlockBytes(Keep(Outline(&images, 0, 1, 17)));
  EXPECT_EQ(BlockBytes(Keep(Outline(&images, 0, 3, 17))), roberts);
  EXPECT_EQ(BlockBytes(Keep(Outline(&images, 0, 200, 17))), roberts);
  EXPECT_NE(BlockBytes(Keep(Outline(&images, 0, 2, 17))), roberts);
  // Gains above 100 are 100; channels above 3 are refused.
  EXPECT_EQ(BlockBytes(Keep(Outline(&images, 3, 2, 101))),
            BlockBytes(Keep(Outline(&images, 3, 2, 100))));
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(QVOutline(nullptr, 1, nullptr, 0, nullptr, TRUE, 4, 0, 10, TRUE, 0, 0, 0)), 5);
}

HGLOBAL Sharp(ImageHandles* i, BYTE strength) {
  return QVSharp(i, 1, nullptr, 0, nullptr, TRUE, strength, TRUE, 0, 0, 0);
}
HGLOBAL RemoveNoise(ImageHandles* i, BYTE method, BYTE level) {
  return QVRemoveNoise(i, 1, nullptr, 0, nullptr, TRUE, method, level, TRUE, 0, 0, 0);
}
Colours Greys(std::initializer_list<int> levels) {
  Colours out;
  for (int v : levels) out.push_back({v, v, v});
  return out;
}

TEST_F(FilterExportsTest, SharpWorkedCases) {
  // Strength 0 passes colours through the conversion: grey stays, red 200,
  // green 50, blue 30 comes back with green 49.
  ImageHandles pair{Picture({{{200, 50, 30}, {77, 77, 77}}}), nullptr};
  EXPECT_EQ(RowOf(Keep(Sharp(&pair, 0))), (Colours{{200, 49, 30}, {77, 77, 77}}));
  // A flat area has no difference to boost.
  ImageHandles flat{Picture({{{200, 50, 30}, {200, 50, 30}}, {{200, 50, 30}, {200, 50, 30}}}),
                    nullptr};
  EXPECT_EQ(RowOf(Keep(Sharp(&flat, 100)), 1), (Colours{{200, 49, 30}, {200, 49, 30}}));
  // Corners see four pixels, edges six, the middle nine (gain 0.06).
  ImageHandles grey{Picture({Greys({100, 50, 50}), Greys({50, 50, 50}), Greys({50, 50, 50})}),
                    nullptr};
  HGLOBAL result = Keep(Sharp(&grey, 2));
  EXPECT_EQ(RowOf(result, 0), Greys({109, 47, 50}));
  EXPECT_EQ(RowOf(result, 1), Greys({47, 47, 50}));
  EXPECT_EQ(RowOf(result, 2), Greys({50, 50, 50}));
  // Strengths above 100 are 100.
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 7, 5, 6)), nullptr};
  const auto full = BlockBytes(Keep(Sharp(&images, 100)));
  EXPECT_EQ(BlockBytes(Keep(Sharp(&images, 101))), full);
  EXPECT_EQ(BlockBytes(Keep(Sharp(&images, 255))), full);
  EXPECT_NE(BlockBytes(Keep(Sharp(&images, 99))), full);
}

TEST_F(FilterExportsTest, RemoveNoiseWorkedCases) {
  // A bright pixel among dark ones takes a dark neighbour's whole colour; a
  // flat area stays.
  ImageHandles spot{Picture({{{0, 0, 9}, {0, 9, 0}, {9, 0, 0}},
                             {{0, 5, 0}, {250, 250, 250}, {5, 0, 0}},
                             {{1, 1, 1}, {0, 0, 5}, {3, 3, 3}}}),
                    nullptr};
  HGLOBAL median = Keep(RemoveNoise(&spot, 0, 0));
  // Luminances 1 5 2 / 2 250 1 / 1 0 3 (row order): sorted stably, index 4
  // is the first 2, the pixel (2, 0).
  EXPECT_EQ(RowOf(median, 1)[1], (Colour{9, 0, 0}));
  ImageHandles flat{Picture({Greys({60, 60}), Greys({60, 60})}), nullptr};
  EXPECT_EQ(BlockBytes(Keep(RemoveNoise(&flat, 0, 0))), BlockBytes(flat.Picture));
  // A corner sorts four and takes index 2, the upper middle.
  ImageHandles corner{Picture({Greys({10, 40}), Greys({20, 30})}), nullptr};
  EXPECT_EQ(RowOf(Keep(RemoveNoise(&corner, 0, 0)), 0)[0], (Colour{30, 30, 30}));
  // Method 1: level 0 (threshold 255) changes nothing; level 255 takes the
  // median of the eight neighbours, index 4, in every channel that differs.
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 6, 5, 7)), nullptr};
  EXPECT_EQ(BlockBytes(Keep(RemoveNoise(&images, 1, 0))), BlockBytes(images.Picture));
  ImageHandles red{Picture({{{1, 50, 60}, {2, 50, 60}, {3, 50, 60}},
                            {{4, 50, 60}, {200, 50, 60}, {5, 50, 60}},
                            {{6, 50, 60}, {7, 50, 60}, {8, 50, 60}}}),
                   nullptr};
  EXPECT_EQ(RowOf(Keep(RemoveNoise(&red, 1, 255)), 1)[1], (Colour{5, 50, 60}));
  // The farthest neighbour is 199 away: threshold 198 (level 57) lets the
  // median in, 199 (level 56) does not.
  EXPECT_EQ(RowOf(Keep(RemoveNoise(&red, 1, 57)), 1)[1], (Colour{5, 50, 60}));
  EXPECT_EQ(RowOf(Keep(RemoveNoise(&red, 1, 56)), 1)[1], (Colour{200, 50, 60}));
  for (BYTE method : {2, 255}) {
    SetErrorStatus(0);
    EXPECT_EQ(
        Refusal(QVRemoveNoise(nullptr, 1, nullptr, 0, nullptr, TRUE, method, 0, TRUE, 0, 0, 0)), 5);
  }
}

TEST_F(FilterExportsTest, WrittenThirtyTwoBitPixelsLoseTheirFourthByte) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb32, 4, 2, 3));
  HGLOBAL mask = Keep(MakeMask({"#..#", ".##."}));
  ImageHandles images{picture, mask};
  HGLOBAL result = Keep(Blur(&images, 1, 0));
  const Grid in = Decode(picture), out = Decode(result);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      const bool selected = (x == 0 || x == 3) == (y == 0);
      EXPECT_EQ(out.At(x, y).alpha, selected ? 0 : in.At(x, y).alpha) << x << "," << y;
    }
}

TEST_F(FilterExportsTest, MasksSelectByColourNotByIndex) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 5, 3, 8));
  // White first in the table: the zero bits are the selected ones.
  HGLOBAL swapped = Keep(MakeMask({".....", ".###.", "....."}, true));
  ImageHandles images{picture, swapped};
  const Grid in = Decode(picture), out = Decode(Keep(Blur(&images, 1, 0)));
  const Grid all = Decode(Keep(Blur(&images, 1)));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      const bool selected = y == 1 && x >= 1 && x <= 3;
      EXPECT_EQ(out.At(x, y), selected ? all.At(x, y) : in.At(x, y)) << x << "," << y;
    }
  // A mask whose two colours are both black selects nothing.
  HGLOBAL black = Keep(MakeMask({"#.#.#", ".#.#.", "#.#.#"}));
  auto* table = static_cast<RGBQUAD*>(GlobalLock(black)) + 10;
  table[1] = RGBQUAD{0, 0, 0, 0};
  GlobalUnlock(black);
  ImageHandles none{picture, black};
  EXPECT_EQ(BlockBytes(Keep(AntiAlias(&none, 0))), BlockBytes(picture));
}

TEST_F(FilterExportsTest, GreyPicturesAreFilteredAsGreyIndices) {
  HGLOBAL grey = Keep(MakePicture(Layout::kGrey8, 3, 1, 1));
  auto* bits = static_cast<BYTE*>(GlobalLock(grey)) + 40 + 1024;
  bits[0] = 10;
  bits[1] = 21;
  bits[2] = 200;
  GlobalUnlock(grey);
  ImageHandles images{grey, nullptr};
  HGLOBAL result = Keep(AntiAlias(&images));
  const BYTE* out = static_cast<const BYTE*>(GlobalLock(result)) + 40 + 1024;
  EXPECT_EQ(out[0], 15);
  EXPECT_EQ(out[1], 77);
  EXPECT_EQ(out[2], 110);
  GlobalUnlock(result);
}

TEST_F(FilterExportsTest, PicturesTheFiltersRefuse) {
  for (Layout layout : {Layout::kPalette1, Layout::kPalette4, Layout::kGrey4, Layout::kPalette8}) {
    ImageHandles images{Keep(MakePicture(layout, 4, 3, 2)), nullptr};
    SetErrorStatus(0);
    EXPECT_EQ(Refusal(Blur(&images, 2)), 7) << NameOf(layout);
    SetErrorStatus(0);
    EXPECT_EQ(Refusal(AntiAlias(&images)), 7) << NameOf(layout);
  }
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Blur(nullptr, 2)), 7);
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 4, 3, 2)), nullptr};
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(Blur(&images, 2, 4)), 5);
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(AntiAlias(&images, 3)), 5);  // a null ellipse rectangle is all zero
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(AntiAlias(&images, 0)), 7);  // mode 0 without a mask
}

TEST_F(FilterExportsTest, ProgressPerRowOfTheWorkRectangle) {
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 10, 12, 4)), nullptr};
  const RECT ellipse{2, 3, 9, 10};
  const auto reports = RecordProgress([&] { return Blur(&images, 3, 3, &ellipse); });
  ASSERT_EQ(reports.size(), 8u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(reports[i].done, i);
    EXPECT_EQ(reports[i].total, 7);
    EXPECT_EQ(reports[i].percentFrom, 0);
    EXPECT_EQ(reports[i].percentTo, 100);
    EXPECT_EQ(reports[i].noDialog, TRUE);
  }
  ScopedProgressHandler cancel([](const ProgressReport& r) { return r.done < 11; });
  SetErrorStatus(0);
  EXPECT_EQ(Refusal(AntiAlias(&images)), 1);
}

// Every export with an ellipse selection, the window shown or not.
using ExportCall = std::function<HGLOBAL(ImageHandles*, BOOL noDialog)>;
const std::vector<std::pair<const char*, ExportCall>>& Exports() {
  static const RECT e{1, 0, 8, 5};
  static const std::vector<std::pair<const char*, ExportCall>> all = {
      {"Blur",
       [](ImageHandles* i, BOOL n) { return QVBlur(i, 3, nullptr, 0, &e, 1, 2, n, 0, 0, 0); }},
      {"AntiAlias",
       [](ImageHandles* i, BOOL n) { return QVAntiAlias(i, 3, nullptr, 0, &e, 0, n, 0, 0, 0); }},
      {"CustomFilter",
       [](ImageHandles* i, BOOL n) {
         static const FilterKernel k = KernelOf({{-1, -1, 3}, {0, 0, 5}, {4, 2, -2}});
         return QVCustomFilter(i, 3, nullptr, 0, &e, 1, &k, 3, 9, 1, 0, 1, n, 0, 0, 0);
       }},
      {"Emboss", [](ImageHandles* i,
                    BOOL n) { return QVEmboss(i, 3, nullptr, 0, &e, 1, 5, 2, 128, n, 0, 0, 0); }},
      {"Outline", [](ImageHandles* i,
                     BOOL n) { return QVOutline(i, 3, nullptr, 0, &e, 1, 0, 2, 30, n, 0, 0, 0); }},
      {"Sharp",
       [](ImageHandles* i, BOOL n) { return QVSharp(i, 3, nullptr, 0, &e, 1, 40, n, 0, 0, 0); }},
      {"RemoveNoise 0",
       [](ImageHandles* i, BOOL n) {
         return QVRemoveNoise(i, 3, nullptr, 0, &e, 1, 0, 0, n, 0, 0, 0);
       }},
      {"RemoveNoise 1",
       [](ImageHandles* i, BOOL n) {
         return QVRemoveNoise(i, 3, nullptr, 0, &e, 1, 1, 230, n, 0, 0, 0);
       }},
      {"CustomFilter direct",
       [](ImageHandles* i, BOOL n) {
         static const FilterKernel k = KernelOf({{-1, -1, 3}, {0, 0, 5}, {4, 2, -2}});
         return QVCustomFilter(i, 3, nullptr, 1000000, &e, 0, &k, 3, 9, 1, 0, 1, n, 0, 0, 0);
       }},
  };
  return all;
}

TEST_F(FilterExportsTest, EveryExportCleansUpAfterFailuresAndCancels) {
  HGLOBAL pictures[] = {Keep(MakePicture(Layout::kRgb24, 9, 6, 2)),
                        Keep(MakePicture(Layout::kGrey8, 9, 6, 2)),
                        Keep(MakePicture(Layout::kRgb565, 9, 6, 2))};
  for (const auto& [name, call] : Exports())
    for (HGLOBAL picture : pictures) {
      ImageHandles images{picture, nullptr};
      HGLOBAL probe = call(&images, TRUE);
      if (!probe) continue;  // a depth the export does not take
      GlobalFree(probe);
      SCOPED_TRACE(std::string(name) + " on " + std::to_string(PictureView(picture).BitCount()) +
                   " bits");
      // A lock that fails while the ellipse is drawn reports 2, as drawing failures do.
      ExpectCleanFailures([&] { return call(&images, TRUE); }, {2, 3});
      ExpectCleanCancels([&] { return call(&images, TRUE); });
    }
}

TEST_F(FilterExportsTest, AFailedProgressWindowRunsNothing) {
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 4, 4, 2)), nullptr};
  QvxComSetDlgOpenHandler([](void*, DWORD, DWORD, DWORD) -> BOOL { return FALSE; }, nullptr);
  for (const auto& [name, call] : Exports()) {
    SetErrorStatus(0);
    EXPECT_EQ(Refusal(call(&images, FALSE)), 2) << name;
  }
}

}  // namespace
}  // namespace qvx::test
