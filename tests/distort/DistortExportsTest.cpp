// The distortion and texture exports: worked cases, parameters at and beyond
// their limits, NaN and infinite doubles, refusals, and the canvas relief.
// Failure and cancel runs of every export: FilterExportsTest; random
// pictures: DistortRandomTest.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "distort/DistortEffects.h"
#include "geometry/GeometryReference.h"

namespace qvx::test {
namespace {

using Colours = std::vector<Colour>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class DistortExportsTest : public QvxTest {
 protected:
  ImageHandles Painted(int width, int height, const std::function<Colour(int x, int y)>& colour) {
    return {Keep(PaintedPicture(width, height, colour)), nullptr};
  }
  ImageHandles Random(int width, int height, std::uint32_t seed = 7) {
    return {Keep(MakePicture(Layout::kRgb24, width, height, seed)), nullptr};
  }
  Grid Out(HGLOBAL result) { return Decode(Keep(result)); }
  // Whether a result holds exactly the bytes of another picture.
  bool Same(HGLOBAL result, HGLOBAL picture) {
    return BlockBytes(Keep(result)) == BlockBytes(picture);
  }
  static Colours Column(const Grid& g, int x) {
    Colours c;
    for (int y = 0; y < g.height; ++y) c.push_back(ColourOf(g, x, y));
    return c;
  }
  static Colours RowOf(const Grid& g, int y) {
    Colours c;
    for (int x = 0; x < g.width; ++x) c.push_back(ColourOf(g, x, y));
    return c;
  }
};

// The exports over the whole picture or a selection, the window not shown.
template <auto F, typename... P>
HGLOBAL Whole(ImageHandles* i, P... p) {
  return F(i, 1, nullptr, 0, nullptr, TRUE, p..., TRUE, 0, 0, 0);
}
template <auto F, typename... P>
HGLOBAL Polygon(ImageHandles* i, std::vector<POINT> points, P... p) {
  return F(i, 2, points.data(), int(points.size()), nullptr, TRUE, p..., TRUE, 0, 0, 0);
}
HGLOBAL Ripple(ImageHandles* i, double a, double l, double phase, BOOL clamp, BOOL scaling,
               Colour bg = {1, 2, 3}) {
  return Whole<QVRipple>(i, a, l, phase, clamp, scaling, BYTE(bg.r), BYTE(bg.g), BYTE(bg.b));
}
HGLOBAL Waves(ImageHandles* i, BYTE direction, BYTE shape, int p, int m, double phase, BYTE edge,
              Colour bg = {100, 100, 100}) {
  return Whole<QVWaves>(i, direction, shape, p, m, phase, edge, BYTE(bg.r), BYTE(bg.g),
                        BYTE(bg.b));
}

TEST_F(DistortExportsTest, RippleWorkedCases) {
  // Amplitude 0, additive, on a square: every pixel samples itself.
  ImageHandles square = Random(9, 9);
  EXPECT_TRUE(Same(Ripple(&square, 0, 3.5, 40, 0, 0), square.Picture));
  // Scaling with amplitude 0: every pixel is the centre sample, here the
  // middle of four pixels: red (10 + 20) / 4 + (30 + 41) / 4 + 0.5 = 25.75.
  ImageHandles four = Painted(4, 4, [](int x, int y) {
    return x >= 1 && x <= 2 && y >= 1 && y <= 2 ? Colour{10 + 10 * (x - 1) + 20 * (y - 1) +
                                                              (x == 2 && y == 2),
                                                          0, 7}
                                                : Colour{200, 200, 200};
  });
  EXPECT_EQ(RowOf(Out(Ripple(&four, 0, 2, 0, 0, 1)), 3), Colours(4, Colour{25, 0, 7}));
  // An infinite wavelength and phase 90: s = 1 everywhere, every pixel
  // samples 10 pixels right and down: beyond the picture the background;
  // clamped, the first pixel becomes (2, 2) with weight 1 (the border
  // stretched).
  const Grid outside = Out(Ripple(&four, 10, kInf, 90, 0, 0, {9, 8, 7}));
  EXPECT_EQ(RowOf(outside, 0), Colours(4, Colour{9, 8, 7}));
  const Grid clamped = Out(Ripple(&four, 10, kInf, 90, 1, 0));
  EXPECT_EQ(RowOf(clamped, 1), Colours(4, Colour{41, 0, 7}));
  // NaN amplitude or phase: no position, the background; wavelength 0 is
  // refused before the picture is looked at, a NaN one is not 0.
  EXPECT_EQ(RowOf(Out(Ripple(&four, kNaN, 3, 0, 1, 1, {4, 5, 6})), 2), Colours(4, {4, 5, 6}));
  EXPECT_EQ(RowOf(Out(Ripple(&four, 2, 3, kInf, 0, 0, {4, 5, 6})), 2), Colours(4, {4, 5, 6}));
  EXPECT_EQ(RefusalOf([] { return Ripple(nullptr, 1, 0, 0, 0, 0); }), 5);
  EXPECT_EQ(RefusalOf([] { return Ripple(nullptr, 1, -0.0, 0, 0, 0); }), 5);
  EXPECT_EQ(RefusalOf([] { return Ripple(nullptr, 1, kNaN, 0, 0, 0); }), 7);
}

TEST_F(DistortExportsTest, WavesWorkedCases) {
  // Green 10 x row, red 3 x row, blue 200; two columns of eight rows.
  const auto ramp = [](int, int y) { return Colour{3 * y, 10 * y, 200}; };
  ImageHandles tall = Painted(2, 8, ramp);
  // Sine, wavelength 4, amplitude 1: column 0 spans y .. y + 2 (steep: the
  // mean of rows y and y + 1); column 1 spans y + 1 .. y + 1 + 1e-16 and
  // blends rows y + 1 and y + 2 half and half. Clamped at the bottom row.
  const Grid sine = Out(Waves(&tall, 0, 0, 4, 1, 0, 1));
  EXPECT_EQ(Column(sine, 0), (Colours{{1, 5, 200},
                                      {4, 15, 200},
                                      {7, 25, 200},
                                      {10, 35, 200},
                                      {13, 45, 200},
                                      {16, 55, 200},
                                      {19, 65, 200},
                                      {21, 70, 200}}));
  EXPECT_EQ(Column(sine, 1), (Colours{{4, 15, 200},
                                      {7, 25, 200},
                                      {10, 35, 200},
                                      {13, 45, 200},
                                      {16, 55, 200},
                                      {19, 65, 200},
                                      {21, 70, 200},
                                      {21, 70, 200}}));
  // Triangle, wavelength 2, amplitude 2: column 0 runs from y + 2 back to
  // y - 1: the mean of rows y .. y + 2, the background (100) beyond row 7.
  const Grid steep = Out(Waves(&tall, 0, 1, 2, 2, 0, 0));
  EXPECT_EQ(ColourOf(steep, 0, 0), (Colour{3, 10, 200}));
  EXPECT_EQ(ColourOf(steep, 0, 6), (Colour{(18 + 21 + 100) / 3, (60 + 70 + 100) / 3, 166}));
  EXPECT_EQ(ColourOf(steep, 0, 7), (Colour{(21 + 200) / 3, (70 + 200) / 3, 133}));
  // Triangle of wavelength 1 is 1 everywhere: amplitude 3 moves every
  // column up by 3. Wrapped, the top three rows come in at the bottom;
  // clamped, the bottom row repeats; otherwise the background.
  const auto shifted = [&](BYTE edge) { return Column(Out(Waves(&tall, 0, 1, 1, 3, 0, edge)), 1); };
  Colours wrapped, repeated, filled;
  for (int y = 0; y < 8; ++y) {
    wrapped.push_back(ramp(1, (y + 3) % 8));
    repeated.push_back(ramp(1, std::min(y + 3, 7)));
    filled.push_back(y + 3 < 8 ? ramp(1, y + 3) : Colour{100, 100, 100});
  }
  EXPECT_EQ(shifted(2), wrapped);
  EXPECT_EQ(shifted(1), repeated);
  EXPECT_EQ(shifted(0), filled);
  // Rows (direction 1) move left the same way.
  ImageHandles wide = Painted(8, 2, [&](int x, int y) { return ramp(y, x); });
  EXPECT_EQ(RowOf(Out(Waves(&wide, 1, 1, 1, 3, 0, 2)), 1), wrapped);
}

TEST_F(DistortExportsTest, WavesParametersAtAndBeyondTheirLimits) {
  ImageHandles images = Random(13, 9);
  // Amplitude 0 (and below) changes nothing, whatever the rest.
  for (BYTE direction : {0, 1})
    for (BYTE shape : {0, 1})
      for (BYTE edge : {0, 1, 2, 7})
        for (int m : {0, -4})
          EXPECT_TRUE(Same(Waves(&images, direction, shape, 6, m, 0.3, edge), images.Picture))
              << int(direction) << " " << int(shape) << " " << int(edge) << " " << m;
  // Wavelengths below 1 act as 1, phases beyond 0..1 as its ends.
  for (BYTE shape : {0, 1}) {
    HGLOBAL one = Keep(Waves(&images, 0, shape, 1, 2, 0.5, 2));
    EXPECT_TRUE(Same(Waves(&images, 0, shape, 0, 2, 0.5, 2), one));
    EXPECT_TRUE(Same(Waves(&images, 0, shape, -9, 2, 0.5, 2), one));
    HGLOBAL end = Keep(Waves(&images, 1, shape, 7, 3, 1.0, 0));
    EXPECT_TRUE(Same(Waves(&images, 1, shape, 7, 3, 1.5, 0), end));
    HGLOBAL start = Keep(Waves(&images, 1, shape, 7, 3, 0.0, 0));
    EXPECT_TRUE(Same(Waves(&images, 1, shape, 7, 3, -0.2, 0), start));
    // A NaN phase gives no positions: the background everywhere.
    EXPECT_EQ(RowOf(Out(Waves(&images, 0, shape, 7, 3, kNaN, 1, {5, 6, 7})), 4),
              Colours(13, {5, 6, 7}));
    // The largest amplitude, wrapped: whole turns of the column and no hang.
    EXPECT_NE(Keep(Waves(&images, 0, shape, 3, 2147483647, 0.1, 2)), nullptr);
  }
  EXPECT_EQ(RefusalOf([] { return Waves(nullptr, 2, 0, 5, 5, 0, 0); }), 5);
  EXPECT_EQ(RefusalOf([] { return Waves(nullptr, 0, 2, 5, 5, 0, 0); }), 5);
  EXPECT_EQ(RefusalOf([] { return Waves(nullptr, 1, 1, 5, 5, 0, 0); }), 7);
}

TEST_F(DistortExportsTest, WhirlPinchWorkedCases) {
  ImageHandles images = Random(9, 9);
  const auto whirl = [&](double degrees, double pinch, double factor) {
    return Whole<QVWhirlPinch>(&images, degrees, pinch, factor, BYTE(1), BYTE(2), BYTE(3));
  };
  // No turn, no pinch: every pixel samples itself.
  EXPECT_TRUE(Same(whirl(0, 0, 1), images.Picture));
  // Factor 0 or below: nothing is inside the circle.
  for (double f : {0.0, -1.0, -kInf}) EXPECT_TRUE(Same(whirl(300, 2, f), images.Picture)) << f;
  // Only the pinch's magnitude counts.
  EXPECT_TRUE(Same(whirl(45, -1.5, 1), Keep(whirl(45, 1.5, 1))));
  // With factor 1 the corners of a square lie outside the circle.
  const Grid turned = Out(whirl(200, 0.5, 1));
  const Grid source = Decode(images.Picture);
  for (const auto& [x, y] : {std::pair{0, 0}, {8, 0}, {0, 8}, {8, 8}})
    EXPECT_EQ(turned.At(x, y), source.At(x, y)) << x << ", " << y;
  EXPECT_NE(Mismatch(source, Keep(whirl(200, 0.5, 1))), "");
  // A NaN factor lets every pixel in, at no position: the background.
  EXPECT_EQ(RowOf(Out(whirl(10, 1, kNaN)), 0), Colours(9, {1, 2, 3}));
}

TEST_F(DistortExportsTest, LensWorkedCases) {
  const auto lens = [](ImageHandles* i, double n, BOOL fill) {
    return Whole<QVLens>(i, n, fill, BYTE(9), BYTE(8), BYTE(7));
  };
  // Two by two, index 1: each pixel samples half a pixel right and down;
  // the right column and the bottom row repeat (weight 1 on the last).
  ImageHandles two = Painted(2, 2, [](int x, int y) {
    const int v = 10 + 10 * x + 20 * y;
    return Colour{v, v, v};
  });
  const Grid blended = Out(lens(&two, 1, 0));
  EXPECT_EQ(RowOf(blended, 0), (Colours{{25, 25, 25}, {30, 30, 30}}));
  EXPECT_EQ(RowOf(blended, 1), (Colours{{35, 35, 35}, {40, 40, 40}}));
  // Indices below 1 act as 1; NaN gives no position and keeps the source.
  ImageHandles images = Random(11, 8);
  HGLOBAL one = Keep(lens(&images, 1.0, 1));
  for (double n : {0.5, -3.0, -kInf}) EXPECT_TRUE(Same(lens(&images, n, 1), one)) << n;
  EXPECT_FALSE(Same(lens(&images, 1.7, 1), one));
  EXPECT_TRUE(Same(lens(&images, kNaN, 0), images.Picture));
  // The fill paints the selected corners outside the ellipse; pixels
  // outside the selection keep the source.
  HGLOBAL mask = Keep(MakeMask({"######", "######", "######", "######", "######", "#####."}));
  ImageHandles six{Random(6, 6).Picture, mask};
  const Grid filled = Out(QVLens(&six, 0, nullptr, 0, nullptr, TRUE, 1.5, TRUE, 9, 8, 7, TRUE,
                                 0, 0, 0));
  const Grid source = Decode(six.Picture);
  EXPECT_EQ(ColourOf(filled, 0, 0), (Colour{9, 8, 7}));
  EXPECT_EQ(ColourOf(filled, 5, 0), (Colour{9, 8, 7}));
  EXPECT_EQ(filled.At(5, 5), source.At(5, 5));
  EXPECT_NE(ColourOf(filled, 2, 2), (Colour{9, 8, 7}));
}

TEST_F(DistortExportsTest, CanvasWorkedCases) {
  ImageHandles flat = Painted(130, 130, [](int, int) { return Colour{100, 100, 100}; });
  const auto canvas = [&](BYTE orientation, int strength) {
    return Out(Whole<QVCanvas>(&flat, orientation, strength));
  };
  EXPECT_TRUE(Same(Whole<QVCanvas>(&flat, BYTE(0), 0), flat.Picture));
  // Strength 10 adds the relief: 0 at (0, 0), 5 at (1, 0), -10 at (0, 1)
  // (-9.5 truncated toward zero: -9), -13 at (3, 0).
  const Grid raw = canvas(0, 10);
  EXPECT_EQ(raw.At(0, 0).red, 100);
  EXPECT_EQ(raw.At(1, 0).red, 105);
  EXPECT_EQ(raw.At(0, 1).red, 91);
  EXPECT_EQ(raw.At(3, 0).green, 88);
  // Offsets are d x k + 0.5 truncated: strength 3 turns 5 into 2 (1.5 + 0.5)
  // and -5 into -1; strength 1 turns -13 into 0 and -47 into -4.
  EXPECT_EQ(canvas(0, 3).At(1, 0).blue, 102);
  EXPECT_EQ(canvas(0, 3).At(1, 1).blue, 99);
  EXPECT_EQ(canvas(0, 1).At(3, 0).blue, 100);
  EXPECT_EQ(canvas(0, 1).At(3, 1).blue, 96);
  // The orientations: mirrored, (127, 0) takes column 0 and (126, 0)
  // column 1; transposed, (0, 1) takes row 0, column 1; transposed and
  // mirrored, (1, 127) takes row 1, column 0; others as 0. The texture
  // repeats every 128 pixels.
  EXPECT_EQ(canvas(1, 10).At(127, 0).red, 100);
  EXPECT_EQ(canvas(1, 10).At(126, 0).red, 105);
  EXPECT_EQ(canvas(2, 10).At(0, 1).red, 105);
  EXPECT_EQ(canvas(3, 10).At(1, 127).red, 91);
  EXPECT_EQ(RowOf(canvas(77, 10), 1), RowOf(raw, 1));
  EXPECT_EQ(raw.At(129, 128), raw.At(1, 0));
  // The largest strengths push every channel to an end, except where the
  // relief is 0.
  const Grid strong = canvas(0, 2147483647);
  EXPECT_EQ(strong.At(0, 0).red, 100);
  EXPECT_EQ(strong.At(1, 0).red, 255);
  EXPECT_EQ(strong.At(0, 1).red, 0);
  EXPECT_EQ(canvas(0, -2147483647 - 1).At(1, 0).red, 0);
  // The relief is anchored at the picture's corner, not the rectangle's.
  ImageHandles images = Random(140, 12);
  const Grid part =
      Out(Polygon<QVCanvas>(&images, {{130, 5}, {139, 5}, {139, 11}, {130, 11}}, BYTE(0), 17));
  EXPECT_EQ(part.At(132, 7), Out(Whole<QVCanvas>(&images, BYTE(0), 17)).At(132, 7));
}

// The relief as the library holds it: the given first values, the range,
// a mean of almost 0, about 150 distinct values.
TEST_F(DistortExportsTest, CanvasRelief) {
  const std::vector<int> first(kCanvasRelief, kCanvasRelief + 8);
  const std::vector<int> second(kCanvasRelief + 128, kCanvasRelief + 136);
  EXPECT_EQ(first, (std::vector<int>{0, 5, -3, -13, 13, 10, -11, 6}));
  EXPECT_EQ(second, (std::vector<int>{-10, -5, -24, -47, -9, -7, -39, -3}));
  long sum = 0;
  std::set<int> values;
  for (int i = 0; i < 128 * 128; ++i) {
    const int d = kCanvasRelief[i];
    EXPECT_TRUE(d >= -75 && d <= 75) << i << ": " << d;
    sum += d;
    values.insert(d);
  }
  EXPECT_LE(std::fabs(sum / 16384.0), 0.05);
  EXPECT_GE(values.size(), 140u);
  EXPECT_LE(values.size(), 151u);
}

TEST_F(DistortExportsTest, GlassTileWorkedCases) {
  ImageHandles images = Painted(30, 30, [](int x, int y) { return Colour{x, y, 0}; });
  const auto tiles = [&](int w, int h) { return Whole<QVGlassTile>(&images, w, h); };
  // Sizes beyond 10..100 act as its ends.
  EXPECT_TRUE(Same(tiles(5, -3), Keep(tiles(10, 10))));
  EXPECT_TRUE(Same(tiles(150, 2147483647), Keep(tiles(100, 100))));
  // In 10 x 10 tiles the halves show every second pixel of the tile.
  const Grid ten = Out(tiles(10, 12));
  const std::vector<int> columns = {0, 2, 4, 6, 8, 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 10};
  for (int x = 0; x < 16; ++x) EXPECT_EQ(ten.At(x, 0).red, columns[x]) << x;
  // Tiles 12 high: rows 0 .. 5 show 0 .. 10, rows 6 .. 11 again; the tile
  // from row 24 samples rows 24, 26, 28 and then beyond the picture (the
  // last row).
  const std::vector<int> rows = {0, 2, 4, 6, 8, 10, 0, 2, 4, 6, 8, 10, 12};
  for (int y = 0; y < 13; ++y) EXPECT_EQ(ten.At(3, y).green, rows[y]) << y;
  EXPECT_EQ(ten.At(3, 27).green, 29);
  // Odd tiles: the second half starts one pixel before the tile (clamped to
  // the picture for the first).
  const Grid odd = Out(tiles(11, 11));
  EXPECT_EQ(odd.At(5, 0).red, 0);
  EXPECT_EQ(odd.At(16, 0).red, 10);
  EXPECT_EQ(odd.At(15, 0).red, 19);
  // A tile cut off by the rectangle still samples its whole extent.
  const Grid cut = Out(Polygon<QVGlassTile>(&images, {{0, 0}, {16, 0}, {16, 16}, {0, 16}}, 10, 10));
  EXPECT_EQ(cut.At(14, 3).red, 18);
  EXPECT_EQ(cut.At(20, 3).red, 20);  // beyond the rectangle: unchanged
}

}  // namespace
}  // namespace qvx::test
