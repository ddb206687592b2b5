// The tone and colour exports: worked cases of each effect (colours worked
// by hand from the effects' arithmetic), refusals, progress, and the
// fixture's failure and cancellation runs of every export.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <tuple>

#include "support/Fixture.h"
#include "support/Pictures.h"
#include "tone/ToneModel.h"

namespace qvx::test {
namespace {

using Colours = std::vector<Colour>;

// The selection arguments of an export call (polygons without vertices).
struct Sel {
  BYTE mode = 1;
  const RECT* rect = nullptr;
  BOOL inside = TRUE;
};
using Effect = std::function<HGLOBAL(ImageHandles*, const Sel&)>;

// An export with its own arguments bound, silent.
template <class Export, class... Args>
Effect Bind(Export call, Args... args) {
  return [=](ImageHandles* i, const Sel& s) {
    return call(i, s.mode, nullptr, 0, s.rect, s.inside, args..., TRUE, 0, 0, 0);
  };
}
template <class Export>
Effect Curve(Export call, std::vector<POINT> points, BOOL a = TRUE, BOOL b = TRUE, BOOL c = TRUE) {
  return [=](ImageHandles* i, const Sel& s) {
    return call(i, s.mode, nullptr, 0, s.rect, s.inside, points.data(),
                static_cast<int>(points.size()), a, b, c, TRUE, 0, 0, 0);
  };
}
const Effect kGrey = [](ImageHandles* i, const Sel&) {
  return QVSetGray(i ? i->Picture : nullptr, TRUE, 0, 0, 0);
};

class ToneExportsTest : public QvxTest {
 protected:
  // Each colour of a one-row 24-bit picture through an effect on the whole
  // picture.
  Colours Through(const Colours& colours, const Effect& effect) {
    HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, static_cast<int>(colours.size()), 1, 5));
    auto* row = static_cast<BYTE*>(GlobalLock(picture)) + 40;  // bottom-up: the only row
    for (const Colour& c : colours) *row++ = BYTE(c.b), *row++ = BYTE(c.g), *row++ = BYTE(c.r);
    GlobalUnlock(picture);
    ImageHandles images{picture, nullptr};
    HGLOBAL result = Keep(effect(&images, Sel{}));
    Colours out;
    for (int x = 0; result && x < static_cast<int>(colours.size()); ++x) {
      const Pixel p = PictureView(result).At(x, 0);
      out.push_back({p.red, p.green, p.blue});
    }
    return out;
  }
};

TEST_F(ToneExportsTest, WorkedCasesAndCurveRefusals) {
  const double nan = std::nan(""), inf = HUGE_VAL;
  const Colours ycc = {{255, 0, 0}, {200, 50, 30}, {0, 0, 0}, {77, 77, 77}, {255, 255, 255}};
  const Colours yccBack = {{254, 0, 0}, {201, 50, 31}, {0, 0, 0}, {77, 77, 77}, {255, 255, 255}};
  const Colours near = {{105, 95, 110}, {111, 100, 100}, {89, 90, 90}, {100, 100, 100}};
  const Colours some = {{0, 1, 2}, {128, 63, 193}, {255, 254, 9}};
  const std::tuple<Effect, Colours, Colours> cases[] = {
      // 255 (128/255)^2 = 64.25; 255 (64/255)^(1/2) = 127.75.
      {Bind(QVRGBGamma, 1.0, -1.0, 0.0), {{128, 64, 7}}, {{64, 128, 7}}},
      // pow(x, NaN) is NaN but for x = 1: NaN levels become 0.
      {Bind(QVRGBGamma, nan, nan, nan), {{0, 128, 255}}, {{0, 0, 255}}},
      {Bind(QVRGBGamma, inf, -inf, 0.0), {{0, 128, 255}}, {{0, 255, 255}}},
      // Offsets are taken into -255..255 before they are added.
      {Bind(QVRGBLevel, INT_MAX, INT_MIN, 20), {{0, 250, 17}}, {{255, 0, 37}}},
      {Bind(QVRGBRev, TRUE, TRUE, TRUE), {{0, 100, 255}}, {{255, 155, 0}}},
      // Curves: levels outside the points' x range map to themselves, the
      // others to the spline's value, truncated and clamped. The line
      // (64, 0)-(192, 255) at 128 and 129: 127.5 and 129.49.
      {Curve(QVRGBSpline, {{64, 0}, {192, 255}}), {{63, 64, 128}, {129, 192, 193}},
       {{63, 0, 127}, {129, 255, 193}}},
      // The natural cubic spline through (0, 0), (85, 255), (170, 0), (255, 255):
      // second derivatives -36/255 and 36/255 at the inner points give
      // 182.28 at 40, 125.50 at 128 and 26.06 at 200.
      {Curve(QVRGBSpline, {{0, 0}, {85, 255}, {170, 0}, {255, 255}}), {{40, 128, 200}},
       {{182, 125, 26}}},
      {Curve(QVRGBSpline, {{100, 40}}), {{99, 100, 101}}, {{99, 40, 101}}},
      // A point beyond 255 still puts 255 in the range, one below 0 puts 0.
      {Curve(QVRGBSpline, {{300, 100}}), {{254, 255, 0}}, {{254, 100, 0}}},
      {Curve(QVRGBSpline, {{-5, 50}}), {{0, 1, 2}}, {{50, 1, 2}}},
      // Of neighbours with equal x the last counts: the line (0, 0)-(100, 90).
      {Curve(QVRGBSpline, {{0, 0}, {100, 10}, {100, 90}}), {{50, 100, 101}}, {{45, 90, 101}}},
      {Curve(QVRGBSpline, {}), some, some},
      // Y, Cr, Cb rounded and converted back, without any change between.
      {Bind(QVYCCGamma, 0.0, 0.0, 0.0), ycc, yccBack},
      {Curve(QVYCCSpline, {{0, 9}}, FALSE, FALSE, FALSE), ycc, yccBack},
      // Reversed centred Cr is 127 - Cr: -1 for the middle level 128.
      {Bind(QVYCCRev, FALSE, TRUE, FALSE), {{2, 2, 2}, {128, 128, 128}, {254, 254, 254}},
       {{1, 3, 2}, {127, 129, 128}, {253, 255, 254}}},
      // Y' = 457 is not limited before the conversion back.
      {Bind(QVYCCLevel, 255, 0, 0), {{100, 255, 200}}, {{255, 255, 255}}},
      // Cr' = 50: 128 + 1.402 * 50 = 198.1, 128 - 0.71414 * 50 = 92.3; Cr' =
      // 255: 128 + 357.51 clamps to 255, 128 - 182.11 to 0.
      {Bind(QVYCCLevel, 0, 50, 0), {{128, 128, 128}}, {{198, 92, 128}}},
      {Bind(QVYCCLevel, 0, INT_MAX, 0), {{128, 128, 128}}, {{255, 0, 128}}},
      // The luminance sums 76.22, 149.59 and 29.19, truncated.
      {kGrey, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {0, 0, 0}},
       {{76, 76, 76}, {149, 149, 149}, {29, 29, 29}, {255, 255, 255}, {0, 0, 0}}},
      {Bind(QVUnifyColor, 100, 100, 100, 10), near,
       {{100, 100, 100}, {111, 100, 100}, {89, 90, 90}, {100, 100, 100}}},
      // Chroma -100 leaves the luminance; below -100 is -100.
      {Bind(QVChroma, 0), some, some},
      {Bind(QVChroma, -100), {{255, 0, 0}}, {{76, 76, 76}}},
      {Bind(QVChroma, -300), {{255, 0, 0}}, {{76, 76, 76}}},
      // 1500 is 1000: Y 116, Cr -11 and Cb 13 times 11 give -121 and 143;
      // 116 - 169.6 -> 0, 116 - 49.2 + 86.4 -> 153, 116 + 253.4 -> 255.
      {Bind(QVChroma, 1500), {{100, 120, 140}}, {{0, 153, 255}}},
      // 200 - 40 = 160 > 100; luminance 87.83 rounds to 88; 88/255 of the colour.
      {Bind(QVRedEyeRemoval, 200, 100, 50, 100), {{200, 40, 40}, {150, 100, 100}},
       {{69, 34, 17}, {150, 100, 100}}},
      {Bind(QVRedEyeRemoval, 9, 9, 9, 255), {{255, 0, 0}}, {{255, 0, 0}}},
  };
  int i = 0;
  for (const auto& [effect, in, out] : cases) EXPECT_EQ(Through(in, effect), out) << "row " << i++;
  // NaN gammas of the YCC curves still give a picture.
  EXPECT_EQ(Through(some, Bind(QVYCCGamma, nan, nan, nan)).size(), some.size());
  // Curves with points out of order, more than 32 of them or none for a
  // count are refused with 5 before the picture is read (a null one gives 7).
  std::vector<POINT> backwards{{10, 0}, {5, 100}}, many(33, {1, 1});
  for (const auto& call : {QVRGBSpline, QVYCCSpline})
    for (const auto& [points, count] : {std::pair{backwards.data(), 2}, {many.data(), 33},
                                        {static_cast<POINT*>(nullptr), 3}}) {
      SetErrorStatus(0);
      EXPECT_EQ(call(nullptr, 1, nullptr, 0, nullptr, TRUE, points, count, 1, 1, 1, TRUE, 0, 0, 0),
                nullptr);
      EXPECT_EQ(GetErrorStatus(), 5) << count << " points";
    }
  // 32 points are allowed (equal neighbours pass: see the worked cases).
  EXPECT_EQ(Through({{1, 2, 3}}, Curve(QVRGBSpline, std::vector<POINT>(32, {9, 9}))).size(), 1u);
}

// Every export with some parameters.
std::vector<std::pair<const char*, Effect>> Exports() {
  const std::vector<POINT> curve{{0, 20}, {255, 240}};
  return {{"RGBGamma", Bind(QVRGBGamma, 1.0, 0.0, -1.0)}, {"RGBLevel", Bind(QVRGBLevel, 9, 0, -9)},
          {"RGBRev", Bind(QVRGBRev, TRUE, FALSE, TRUE)},  {"RGBSpline", Curve(QVRGBSpline, curve)},
          {"YCCGamma", Bind(QVYCCGamma, 1.0, 0.0, -1.0)}, {"YCCLevel", Bind(QVYCCLevel, 9, 0, -9)},
          {"YCCRev", Bind(QVYCCRev, TRUE, FALSE, TRUE)},  {"YCCSpline", Curve(QVYCCSpline, curve)},
          {"Chroma", Bind(QVChroma, 70)}, {"UnifyColor", Bind(QVUnifyColor, 90, 90, 90, 60)},
          {"RedEyeRemoval", Bind(QVRedEyeRemoval, 9, 9, 9, 0)}, {"SetGray", kGrey}};
}

// Every export checks its selection arguments, cleans up after failures
// and stops when cancelled. Progress goes per row of the work rectangle
// (the ellipse's 4 rows inside, the picture's 5 outside), or per table
// entry where the table is mapped. Large jobs build per-call lookup tables
// besides the tables every call builds: any of them that cannot be had is
// out of memory.
TEST_F(ToneExportsTest, EveryExportChecksItsSelectionReportsProgressAndCleansUp) {
  HGLOBAL rgb = Keep(MakePicture(Layout::kRgb24, 9, 5, 2));
  HGLOBAL narrow = Keep(MakeMask({"###", "###", "###", "###", "###"}));
  const RECT flat{1, 1, 1, 3}, ellipse{1, 1, 8, 5};
  // A bad mode, an unusable mask, a flat ellipse, a polygon without
  // vertices, no picture.
  const std::tuple<HGLOBAL, HGLOBAL, Sel, int> refused[] = {
      {rgb, nullptr, {4}, 5}, {rgb, narrow, {0}, 7},   {rgb, nullptr, {3, &flat}, 5},
      {rgb, nullptr, {2}, 5}, {nullptr, nullptr, {1}, 7}};
  ImageHandles large[] = {{Keep(MakePicture(Layout::kRgb24, 520, 520, 6)), nullptr},
                          {Keep(MakePicture(Layout::kRgb565, 520, 520, 6)), nullptr}};
  for (const auto& entry : Exports()) {
    const auto& [name, effect] = entry;
    SCOPED_TRACE(name);
    for (ImageHandles& images : large)
      ExpectCleanFailures([&] { return entry.second(&images, {}); });
    const bool grey = std::string(name) == "SetGray";  // takes no selection, maps grey tables
    for (const auto& [picture, mask, sel, code] : refused) {
      if (grey) break;
      ImageHandles images{picture, mask};
      SetErrorStatus(0);
      EXPECT_EQ(Keep(effect(&images, sel)), nullptr) << "mode " << int{sel.mode};
      EXPECT_EQ(GetErrorStatus(), code) << "mode " << int{sel.mode};
    }
    for (HGLOBAL picture : {rgb, Keep(MakePicture(Layout::kGrey8, 9, 5, 2)),
                            Keep(MakePicture(Layout::kPalette4, 9, 5, 2))})
      for (const BOOL inside : {TRUE, FALSE}) {
        ImageHandles images{picture, nullptr};
        const auto call = [&] { return entry.second(&images, Sel{3, &ellipse, inside}); };
        if (!Keep(call())) continue;  // a depth the effect does not take
        const int bits = PictureView(picture).BitCount();
        SCOPED_TRACE(testing::Message() << bits << " bits, inside " << inside);
        // A lock that fails while the ellipse is drawn reports 2, as drawing failures do.
        ExpectCleanFailures(call, {2, 3});
        const std::vector<ProgressReport> reports = ExpectCleanCancels(call);
        const int steps = bits < 8 || (grey && bits == 8) ? 1 << bits : (inside && !grey ? 4 : 5);
        ASSERT_EQ(reports.size(), std::size_t(steps));
        for (int i = 0; i < steps; ++i) {
          const ProgressReport& r = reports[i];
          EXPECT_EQ(std::vector<int>({r.done, r.total, r.percentFrom, r.percentTo, r.noDialog}),
                    std::vector<int>({i, steps - 1, 0, 100, TRUE}));
        }
      }
  }
}

}  // namespace
}  // namespace qvx::test
