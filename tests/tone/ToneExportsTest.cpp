// The tone and colour exports: the worked cases of each effect, refusals,
// palette versus pixel pictures, progress, and the fixture's failure and
// cancellation runs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "support/Fixture.h"
#include "support/Pictures.h"
#include "tone/ToneModel.h"

namespace qvx::test {
namespace {

class ToneExportsTest : public QvxTest {
 protected:
  // A one-row picture of the given colours (24 or 32 bits).
  HGLOBAL Row(const std::vector<Colour>& colours, Layout layout = Layout::kRgb24) {
    HGLOBAL picture = MakePicture(layout, static_cast<int>(colours.size()), 1, 5);
    PictureView view(picture);
    auto* row = const_cast<std::uint8_t*>(view.Row(0));
    const int step = BitCountOf(layout) / 8;
    for (std::size_t x = 0; x < colours.size(); ++x) {
      row[step * x] = static_cast<BYTE>(colours[x].b);
      row[step * x + 1] = static_cast<BYTE>(colours[x].g);
      row[step * x + 2] = static_cast<BYTE>(colours[x].r);
    }
    return Keep(picture);
  }
  static Colour At(HGLOBAL picture, int x, int y = 0) {
    const Pixel p = PictureView(picture).At(x, y);
    return {p.red, p.green, p.blue};
  }
  // Each colour of a row through an effect on the whole picture.
  template <class Effect>
  std::vector<Colour> Through(const std::vector<Colour>& colours, Effect&& effect) {
    ImageHandles images{Row(colours), nullptr};
    HGLOBAL result = Keep(effect(&images));
    std::vector<Colour> out;
    if (!result) return out;
    for (std::size_t x = 0; x < colours.size(); ++x) out.push_back(At(result, static_cast<int>(x)));
    return out;
  }
};

using Colours = std::vector<Colour>;

// The exports, on the whole picture unless a test says otherwise.
HGLOBAL Gamma(ImageHandles* i, double r, double g, double b, BYTE mode = 1) {
  return QVRGBGamma(i, mode, nullptr, 0, nullptr, TRUE, r, g, b, TRUE, 0, 0, 0);
}
HGLOBAL Level(ImageHandles* i, int r, int g, int b) {
  return QVRGBLevel(i, 1, nullptr, 0, nullptr, TRUE, r, g, b, TRUE, 0, 0, 0);
}
HGLOBAL Rev(ImageHandles* i, BYTE mode = 1) {
  return QVRGBRev(i, mode, nullptr, 0, nullptr, TRUE, TRUE, TRUE, TRUE, TRUE, 0, 0, 0);
}
HGLOBAL Spline(ImageHandles* i, const std::vector<POINT>& p, int count = -1) {
  return QVRGBSpline(i, 1, nullptr, 0, nullptr, TRUE, p.data(),
                     count < 0 ? static_cast<int>(p.size()) : count, TRUE, TRUE, TRUE, TRUE, 0, 0,
                     0);
}
HGLOBAL YccGamma(ImageHandles* i, double y, double cr, double cb) {
  return QVYCCGamma(i, 1, nullptr, 0, nullptr, TRUE, y, cr, cb, TRUE, 0, 0, 0);
}
HGLOBAL YccLevel(ImageHandles* i, int y, int cr, int cb) {
  return QVYCCLevel(i, 1, nullptr, 0, nullptr, TRUE, y, cr, cb, TRUE, 0, 0, 0);
}
HGLOBAL YccRev(ImageHandles* i, BOOL y, BOOL cr, BOOL cb) {
  return QVYCCRev(i, 1, nullptr, 0, nullptr, TRUE, y, cr, cb, TRUE, 0, 0, 0);
}
HGLOBAL YccSpline(ImageHandles* i, const std::vector<POINT>& p, BOOL y, BOOL cr, BOOL cb) {
  return QVYCCSpline(i, 1, nullptr, 0, nullptr, TRUE, p.data(), static_cast<int>(p.size()), y, cr,
                     cb, TRUE, 0, 0, 0);
}
HGLOBAL Grey(ImageHandles* i) { return QVSetGray(i ? i->Picture : nullptr, TRUE, 0, 0, 0); }
HGLOBAL Unify(ImageHandles* i, BYTE r, BYTE g, BYTE b, BYTE t) {
  return QVUnifyColor(i, 1, nullptr, 0, nullptr, TRUE, r, g, b, t, TRUE, 0, 0, 0);
}
HGLOBAL Chroma(ImageHandles* i, int amount, BYTE mode = 1) {
  return QVChroma(i, mode, nullptr, 0, nullptr, TRUE, amount, TRUE, 0, 0, 0);
}
HGLOBAL RedEye(ImageHandles* i, BYTE r, BYTE g, BYTE b, BYTE t) {
  return QVRedEyeRemoval(i, 1, nullptr, 0, nullptr, TRUE, r, g, b, t, TRUE, 0, 0, 0);
}

TEST_F(ToneExportsTest, RgbCurvesWorkedCases) {
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 7, 3, 11)), nullptr};
  EXPECT_EQ(BlockBytes(Keep(Gamma(&images, 0, 0, 0))), BlockBytes(images.Picture));
  EXPECT_EQ(Through({{128, 64, 7}}, [](ImageHandles* i) { return Gamma(i, 1, -1, 0); }),
            Colours({{64, 128, 7}}));
  EXPECT_EQ(Through({{0, 250, 17}}, [](ImageHandles* i) { return Level(i, 300, -300, 20); }),
            Colours({{255, 0, 37}}));
  EXPECT_EQ(BlockBytes(Keep(Level(&images, 300, -300, 0))),
            BlockBytes(Keep(Level(&images, 255, -255, 0))));
  EXPECT_EQ(Through({{0, 100, 255}}, [](ImageHandles* i) { return Rev(i); }),
            Colours({{255, 155, 0}}));
  EXPECT_EQ(BlockBytes(Keep(Spline(&images, {{0, 0}, {255, 255}}))), BlockBytes(images.Picture));
  EXPECT_EQ(BlockBytes(Keep(Spline(&images, {}))), BlockBytes(images.Picture));
  EXPECT_EQ(Through({{128, 63, 193}},
                    [](ImageHandles* i) {
                      return Spline(i, {{64, 0}, {192, 255}});
                    }),
            Colours({{127, 63, 193}}));
}

TEST_F(ToneExportsTest, GammasThatAreNotNumbersGiveDefinedLevels) {
  // pow(x, NaN) is NaN but for x = 1; a NaN level converts as the processor
  // converts it (to the smallest int) and clamps to 0.
  const double nan = std::nan("");
  EXPECT_EQ(Through({{0, 128, 255}}, [&](ImageHandles* i) { return Gamma(i, nan, nan, nan); }),
            Colours({{0, 0, 255}}));
  const double inf = HUGE_VAL;
  EXPECT_EQ(Through({{0, 128, 255}}, [&](ImageHandles* i) { return Gamma(i, inf, -inf, 0); }),
            Colours({{0, 255, 255}}));
  EXPECT_EQ(
      Through({{9, 128, 250}}, [&](ImageHandles* i) { return YccGamma(i, nan, nan, nan); }).size(),
      1u);
}

TEST_F(ToneExportsTest, CurveRefusalsComeBeforeThePictureIsRead) {
  const std::vector<POINT> backwards = {{10, 0}, {5, 100}};
  const std::vector<POINT> many(33, POINT{1, 1});
  // A null picture would give 7 if it were locked first.
  for (auto call : {+[](const std::vector<POINT>* p) { return Spline(nullptr, *p); },
                    +[](const std::vector<POINT>* p) { return YccSpline(nullptr, *p, 1, 1, 1); }}) {
    for (const auto* points : {&backwards, &many}) {
      SetErrorStatus(0);
      EXPECT_EQ(call(points), nullptr);
      EXPECT_EQ(GetErrorStatus(), 5);
    }
  }
  SetErrorStatus(0);
  EXPECT_EQ(QVRGBSpline(nullptr, 1, nullptr, 0, nullptr, TRUE, nullptr, 3, 1, 1, 1, TRUE, 0, 0, 0),
            nullptr);
  EXPECT_EQ(GetErrorStatus(), 5);
  // Equal neighbours pass; 32 points are allowed.
  ImageHandles images{Row({{1, 2, 3}}), nullptr};
  EXPECT_NE(Keep(Spline(&images, {{5, 0}, {5, 100}})), nullptr);
  EXPECT_NE(Keep(Spline(&images, std::vector<POINT>(32, POINT{9, 9}))), nullptr);
}

TEST_F(ToneExportsTest, YccCurvesWorkedCases) {
  const Colours colours = {{255, 0, 0}, {200, 50, 30}, {0, 0, 0}, {77, 77, 77}, {255, 255, 255}};
  const Colours roundTrip = {{254, 0, 0}, {201, 50, 31}, {0, 0, 0}, {77, 77, 77}, {255, 255, 255}};
  EXPECT_EQ(Through(colours, [](ImageHandles* i) { return YccGamma(i, 0, 0, 0); }), roundTrip);
  EXPECT_EQ(Through(colours, [](ImageHandles* i) { return YccLevel(i, 0, 0, 0); }), roundTrip);
  EXPECT_EQ(Through(colours, [](ImageHandles* i) { return YccRev(i, 0, 0, 0); }), roundTrip);
  EXPECT_EQ(Through(colours,
                    [](ImageHandles* i) {
                      return YccSpline(i, {{0, 9}}, 0, 0, 0);
                    }),
            roundTrip);
  EXPECT_EQ(
      Through({{30, 30, 30}, {200, 200, 200}}, [](ImageHandles* i) { return YccRev(i, 1, 0, 0); }),
      Colours({{225, 225, 225}, {55, 55, 55}}));
  EXPECT_EQ(Through({{2, 2, 2}, {128, 128, 128}, {254, 254, 254}},
                    [](ImageHandles* i) { return YccRev(i, 0, 1, 0); }),
            Colours({{1, 3, 2}, {127, 129, 128}, {253, 255, 254}}));
  // Y' = 457 is not limited before the conversion back.
  EXPECT_EQ(Through({{100, 255, 200}}, [](ImageHandles* i) { return YccLevel(i, 255, 0, 0); }),
            Colours({{255, 255, 255}}));
  EXPECT_EQ(Through({{128, 128, 128}}, [](ImageHandles* i) { return YccLevel(i, 0, 50, 0); }),
            Colours({{198, 92, 128}}));
  EXPECT_EQ(Through({{128, 128, 128}}, [](ImageHandles* i) { return YccLevel(i, 0, 900, 0); }),
            Through({{128, 128, 128}}, [](ImageHandles* i) { return YccLevel(i, 0, 255, 0); }));
}

TEST_F(ToneExportsTest, GreyAndUnifyWorkedCases) {
  EXPECT_EQ(Through({{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {0, 0, 0}}, Grey),
            Colours({{76, 76, 76}, {149, 149, 149}, {29, 29, 29}, {255, 255, 255}, {0, 0, 0}}));
  ImageHandles grey{Keep(MakePicture(Layout::kGrey8, 9, 4, 3)), nullptr};
  EXPECT_EQ(BlockBytes(Keep(Grey(&grey))), BlockBytes(grey.Picture));
  const Colours near = {{105, 95, 110}, {111, 100, 100}, {89, 90, 90}, {100, 100, 100}};
  EXPECT_EQ(Through(near, [](ImageHandles* i) { return Unify(i, 100, 100, 100, 10); }),
            Colours({{100, 100, 100}, {111, 100, 100}, {89, 90, 90}, {100, 100, 100}}));
  EXPECT_EQ(Through(near, [](ImageHandles* i) { return Unify(i, 100, 100, 100, 0); }), near);
  EXPECT_EQ(Through(near, [](ImageHandles* i) { return Unify(i, 1, 2, 3, 255); }),
            Colours(4, Colour{1, 2, 3}));
  // Grey levels 45 to 55 become 50.
  HGLOBAL ramp = Keep(MakePicture(Layout::kGrey8, 256, 1, 1));
  auto* row = const_cast<std::uint8_t*>(PictureView(ramp).Row(0));
  for (int x = 0; x < 256; ++x) row[x] = static_cast<BYTE>(x);
  ImageHandles images{ramp, nullptr};
  HGLOBAL unified = Keep(Unify(&images, 50, 50, 50, 5));
  PictureView view(unified);
  for (int x = 0; x < 256; ++x)
    EXPECT_EQ(view.Row(0)[x], x >= 45 && x <= 55 ? 50 : x) << "level " << x;
}

TEST_F(ToneExportsTest, ChromaAndRedEyeWorkedCases) {
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 6, 3, 8)), nullptr};
  EXPECT_EQ(BlockBytes(Keep(Chroma(&images, 0))), BlockBytes(images.Picture));
  EXPECT_EQ(Through({{255, 0, 0}}, [](ImageHandles* i) { return Chroma(i, -100); }),
            Colours({{76, 76, 76}}));
  EXPECT_EQ(BlockBytes(Keep(Chroma(&images, 1500))), BlockBytes(Keep(Chroma(&images, 1000))));
  EXPECT_EQ(BlockBytes(Keep(Chroma(&images, -300))), BlockBytes(Keep(Chroma(&images, -100))));
  ImageHandles grey{Keep(MakePicture(Layout::kGrey8, 9, 4, 3)), nullptr};
  EXPECT_EQ(BlockBytes(Keep(Chroma(&grey, 700))), BlockBytes(grey.Picture));
  // 200 - 40 = 160 > 100; luminance 87.83 rounds to 88; 88/255 of the colour.
  EXPECT_EQ(Through({{200, 40, 40}, {150, 100, 100}},
                    [](ImageHandles* i) { return RedEye(i, 200, 100, 50, 100); }),
            Colours({{69, 34, 17}, {150, 100, 100}}));
  EXPECT_EQ(Through({{200, 40, 40}, {150, 100, 100}},
                    [](ImageHandles* i) { return RedEye(i, 0, 0, 0, 50); }),
            Colours({{0, 0, 0}, {150, 100, 100}}));
  EXPECT_EQ(BlockBytes(Keep(RedEye(&images, 9, 9, 9, 255))), BlockBytes(images.Picture));
}

TEST_F(ToneExportsTest, ThirtyTwoBitPixelsLoseTheirFourthByteOnlyWhereWritten) {
  HGLOBAL source = Keep(MakePicture(Layout::kRgb32, 4, 2, 21));
  HGLOBAL mask = Keep(MakeMask({"#..#", ".##."}));
  ImageHandles images{source, mask};
  PictureView in(source);
  for (HGLOBAL result : {Keep(Chroma(&images, 0, 0)), Keep(Gamma(&images, 0, 0, 0, 0))}) {
    PictureView out(result);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 4; ++x) {
        const bool selected = (y == 0) == (x == 0 || x == 3);
        EXPECT_EQ(out.At(x, y).alpha, selected ? 0 : in.At(x, y).alpha) << x << "," << y;
        EXPECT_EQ(out.Row(y)[4 * x], in.Row(y)[4 * x]);
      }
  }
}

TEST_F(ToneExportsTest, PaletteAndPixelTwinsGetTheSameColours) {
  HGLOBAL palette = Keep(MakePicture(Layout::kPalette8, 16, 16, 99));
  HGLOBAL twin = Keep(MakeBlankPicture(Layout::kRgb24, 16, 16));
  {
    PictureView from(palette), to(twin);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const Pixel p = from.At(x, y);
        auto* row = const_cast<std::uint8_t*>(to.Row(y));
        row[3 * x] = static_cast<BYTE>(p.blue);
        row[3 * x + 1] = static_cast<BYTE>(p.green);
        row[3 * x + 2] = static_cast<BYTE>(p.red);
      }
  }
  const POINT curve[3] = {{0, 30}, {100, 80}, {255, 200}};
  const std::vector<std::pair<const char*, std::function<HGLOBAL(ImageHandles*)>>> effects = {
      {"RGBGamma", [](ImageHandles* i) { return Gamma(i, 0.7, -2, 1.5); }},
      {"RGBLevel", [](ImageHandles* i) { return Level(i, 40, -90, 7); }},
      {"RGBRev", [](ImageHandles* i) { return Rev(i); }},
      {"RGBSpline",
       [&](ImageHandles* i) {
         return QVRGBSpline(i, 1, nullptr, 0, nullptr, TRUE, curve, 3, 1, 0, 1, TRUE, 0, 0, 0);
       }},
      {"YCCGamma", [](ImageHandles* i) { return YccGamma(i, 0.4, -0.5, 1); }},
      {"YCCLevel", [](ImageHandles* i) { return YccLevel(i, -30, 20, 60); }},
      {"YCCRev", [](ImageHandles* i) { return YccRev(i, 1, 0, 1); }},
      {"YCCSpline",
       [](ImageHandles* i) {
         return YccSpline(i, {{0, 30}, {100, 80}, {255, 200}}, 1, 1, 0);
       }},
      {"SetGray", Grey},
      {"Chroma", [](ImageHandles* i) { return Chroma(i, 250); }},
  };
  for (const auto& [name, effect] : effects) {
    ImageHandles a{palette, nullptr}, b{twin, nullptr};
    HGLOBAL mapped = Keep(effect(&a)), direct = Keep(effect(&b));
    ASSERT_TRUE(mapped && direct) << name;
    PictureView in(palette), viaTable(mapped), viaPixels(direct);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const Pixel p = viaTable.At(x, y), q = viaPixels.At(x, y);
        EXPECT_EQ(p.index, in.At(x, y).index) << name << ": indices are kept";
        EXPECT_TRUE(p.red == q.red && p.green == q.green && p.blue == q.blue)
            << name << " at " << x << "," << y << ": " << ToString(p) << " vs " << ToString(q);
      }
  }
}

TEST_F(ToneExportsTest, PicturesEachEffectRefuses) {
  HGLOBAL grey4 = Keep(MakePicture(Layout::kGrey4, 5, 2, 1));
  HGLOBAL palette4 = Keep(MakePicture(Layout::kPalette4, 5, 2, 1));
  HGLOBAL palette8 = Keep(MakePicture(Layout::kPalette8, 5, 2, 1));
  HGLOBAL grey8 = Keep(MakePicture(Layout::kGrey8, 5, 2, 1));
  auto status = [](HGLOBAL picture, const std::function<HGLOBAL(ImageHandles*)>& effect) {
    SetErrorStatus(42);
    ImageHandles images{picture, nullptr};
    HGLOBAL result = effect(&images);
    const bool made = result != nullptr;
    if (result) GlobalFree(result);
    return made ? 0 : GetErrorStatus();
  };
  auto unify = [](ImageHandles* i) { return Unify(i, 1, 1, 1, 1); };
  auto redEye = [](ImageHandles* i) { return RedEye(i, 1, 1, 1, 1); };
  // 4-bit grey-ramp pictures: nothing done, status left alone.
  EXPECT_EQ(status(grey4, [](ImageHandles* i) { return Rev(i); }), 42);
  EXPECT_EQ(status(grey4, Grey), 42);
  EXPECT_EQ(status(grey4, [](ImageHandles* i) { return Chroma(i, 5); }), 42);
  EXPECT_EQ(status(grey4, [](ImageHandles* i) { return YccRev(i, 1, 1, 1); }), 42);
  EXPECT_EQ(status(palette4, Grey), 0);
  for (HGLOBAL picture : {grey4, palette4, palette8}) EXPECT_EQ(status(picture, unify), 7);
  EXPECT_EQ(status(grey8, unify), 0);
  for (HGLOBAL picture : {grey4, palette8, grey8}) EXPECT_EQ(status(picture, redEye), 7);
  EXPECT_EQ(status(nullptr, [](ImageHandles* i) { return Rev(i); }), 7);
  EXPECT_EQ(status(nullptr, Grey), 7);
}

TEST_F(ToneExportsTest, SelectionArgumentsAreChecked) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 4, 3, 1));
  HGLOBAL narrow = Keep(MakeMask({"###", "###", "###"}));
  HGLOBAL deep = Keep(MakePicture(Layout::kPalette8, 4, 3, 1));
  const RECT flat{1, 1, 1, 3};
  struct Case {
    HGLOBAL mask;
    BYTE mode;
    const RECT* rect;
    int code;
  } cases[] = {{nullptr, 4, nullptr, 5}, {nullptr, 0, nullptr, 7}, {narrow, 0, nullptr, 7},
               {deep, 0, nullptr, 7},    {nullptr, 3, &flat, 5},   {nullptr, 3, nullptr, 5},
               {nullptr, 2, nullptr, 5}};
  for (const Case& c : cases) {
    ImageHandles images{picture, c.mask};
    SetErrorStatus(0);
    EXPECT_EQ(QVRGBRev(&images, c.mode, nullptr, 0, c.rect, TRUE, 1, 1, 1, TRUE, 0, 0, 0), nullptr);
    EXPECT_EQ(GetErrorStatus(), c.code) << "mode " << int{c.mode};
    SetErrorStatus(0);
    EXPECT_EQ(QVChroma(&images, c.mode, nullptr, 0, c.rect, TRUE, 50, TRUE, 0, 0, 0), nullptr);
    EXPECT_EQ(GetErrorStatus(), c.code) << "mode " << int{c.mode};
  }
  // Mode 1 ignores the rectangle; a colour-table picture ignores the mask.
  const RECT small{0, 0, 1, 1};
  ImageHandles images{picture, nullptr};
  EXPECT_EQ(
      BlockBytes(Keep(QVRGBRev(&images, 1, nullptr, 0, &small, TRUE, 1, 1, 1, TRUE, 0, 0, 0))),
      BlockBytes(Keep(Rev(&images))));
  HGLOBAL none = Keep(MakeMask({"....", "....", "...."}));
  ImageHandles masked{deep, none}, whole{deep, nullptr};
  EXPECT_EQ(BlockBytes(Keep(Rev(&masked, 0))), BlockBytes(Keep(Rev(&whole))));
}

TEST_F(ToneExportsTest, ProgressPerRowOfTheWorkRectangleOrPerTableEntry) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 10, 12, 4));
  ImageHandles images{picture, nullptr};
  POINT triangle[3] = {{2, 3}, {8, 3}, {5, 9}};
  auto reports = RecordProgress(
      [&] { return QVYCCRev(&images, 2, triangle, 3, nullptr, TRUE, 1, 1, 1, TRUE, 0, 0, 0); });
  ASSERT_EQ(reports.size(), 7u);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(reports[i].done, i);
    EXPECT_EQ(reports[i].total, 6);
    EXPECT_EQ(reports[i].percentFrom, 0);
    EXPECT_EQ(reports[i].percentTo, 100);
    EXPECT_EQ(reports[i].noDialog, TRUE);
  }
  ImageHandles palette{Keep(MakePicture(Layout::kPalette4, 10, 12, 4)), nullptr};
  reports = RecordProgress([&] { return Grey(&palette); });
  ASSERT_EQ(reports.size(), 16u);
  EXPECT_EQ(reports.back().done, 15);
  EXPECT_EQ(reports.back().total, 15);
  // The first report's cancel ends the call with 1.
  ScopedProgressHandler cancel([](const ProgressReport&) { return FALSE; });
  SetErrorStatus(0);
  EXPECT_EQ(Gamma(&images, 1, 1, 1), nullptr);
  EXPECT_EQ(GetErrorStatus(), 1);
}

TEST_F(ToneExportsTest, EveryExportCleansUpAfterFailuresAndCancels) {
  HGLOBAL pictures[] = {Keep(MakePicture(Layout::kRgb24, 9, 5, 2)),
                        Keep(MakePicture(Layout::kGrey8, 9, 5, 2)),
                        Keep(MakePicture(Layout::kPalette4, 9, 5, 2))};
  const RECT ellipse{1, 0, 8, 5};
  const POINT curve[2] = {{0, 20}, {255, 240}};
  const std::vector<std::pair<const char*, std::function<HGLOBAL(ImageHandles*)>>> exports = {
      {"RGBGamma",
       [&](ImageHandles* i) {
         return QVRGBGamma(i, 3, nullptr, 0, &ellipse, 1, 1, 0, -1, 1, 0, 0, 0);
       }},
      {"RGBLevel",
       [&](ImageHandles* i) {
         return QVRGBLevel(i, 3, nullptr, 0, &ellipse, 1, 9, 0, -9, 1, 0, 0, 0);
       }},
      {"RGBRev",
       [&](ImageHandles* i) {
         return QVRGBRev(i, 3, nullptr, 0, &ellipse, 0, 1, 0, 1, 1, 0, 0, 0);
       }},
      {"RGBSpline",
       [&](ImageHandles* i) {
         return QVRGBSpline(i, 3, nullptr, 0, &ellipse, 1, curve, 2, 1, 1, 1, 1, 0, 0, 0);
       }},
      {"YCCGamma",
       [&](ImageHandles* i) {
         return QVYCCGamma(i, 3, nullptr, 0, &ellipse, 1, 1, 0, -1, 1, 0, 0, 0);
       }},
      {"YCCLevel",
       [&](ImageHandles* i) {
         return QVYCCLevel(i, 3, nullptr, 0, &ellipse, 1, 9, 0, -9, 1, 0, 0, 0);
       }},
      {"YCCRev",
       [&](ImageHandles* i) {
         return QVYCCRev(i, 3, nullptr, 0, &ellipse, 0, 1, 0, 1, 1, 0, 0, 0);
       }},
      {"YCCSpline",
       [&](ImageHandles* i) {
         return QVYCCSpline(i, 3, nullptr, 0, &ellipse, 1, curve, 2, 1, 1, 1, 1, 0, 0, 0);
       }},
      {"SetGray", [&](ImageHandles* i) { return QVSetGray(i->Picture, 1, 0, 0, 0); }},
      {"Chroma",
       [&](ImageHandles* i) { return QVChroma(i, 3, nullptr, 0, &ellipse, 1, 70, 1, 0, 0, 0); }},
      {"UnifyColor",
       [&](ImageHandles* i) {
         return QVUnifyColor(i, 3, nullptr, 0, &ellipse, 1, 90, 90, 90, 60, 1, 0, 0, 0);
       }},
      {"RedEyeRemoval",
       [&](ImageHandles* i) {
         return QVRedEyeRemoval(i, 3, nullptr, 0, &ellipse, 1, 9, 9, 9, 0, 1, 0, 0, 0);
       }},
  };
  for (const auto& [name, call] : exports)
    for (HGLOBAL picture : pictures) {
      ImageHandles images{picture, nullptr};
      SetErrorStatus(42);
      HGLOBAL probe = call(&images);
      if (!probe) continue;  // a depth the effect does not take
      GlobalFree(probe);
      SCOPED_TRACE(std::string(name) + " on " + std::to_string(PictureView(picture).BitCount()) +
                   " bits");
      // A lock that fails while the ellipse is drawn reports 2, as drawing failures do.
      ExpectCleanFailures([&] { return call(&images); }, {2, 3});
      ExpectCleanCancels([&] { return call(&images); });
    }
}

TEST_F(ToneExportsTest, LargeJobsCleanUpWhenTheirLookupTablesCannotBeHad) {
  // Big enough for the per-call lookup tables.
  HGLOBAL rgb = Keep(MakePicture(Layout::kRgb24, 520, 520, 6));
  HGLOBAL words = Keep(MakePicture(Layout::kRgb565, 520, 520, 6));
  ImageHandles a{rgb, nullptr}, b{words, nullptr};
  ExpectCleanFailures([&] { return Rev(&a); });
  ExpectCleanFailures([&] { return Grey(&a); });
  ExpectCleanFailures([&] { return YccRev(&a, 1, 0, 1); });
  ExpectCleanFailures([&] { return Chroma(&b, 30); });
  ExpectCleanFailures([&] { return RedEye(&b, 1, 2, 3, 4); });
}

}  // namespace
}  // namespace qvx::test
