// Every effect export with its most expensive parameters on a large
// picture stays within a time budget per megapixel: no parameter makes an
// effect's work grow beyond what its pictures can show. The budgets are
// generous ceilings, not measurements of speed.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSide = 600;             // sanitized code runs several times slower
constexpr double kSecondsPerMpx = 60;
#else
constexpr int kSide = 2000;
constexpr double kSecondsPerMpx = 15;
#endif
constexpr double kSecondsAtLeast = 5;

struct BudgetCase {
  std::string what;
  int height;  // of the picture; the width is always kSide
  std::function<HGLOBAL(ImageHandles*)> call;
};

#define WHOLE(in) in, 1, nullptr, 0, nullptr, TRUE
#define QUIET TRUE, 0, 0, 0

using BudgetTest = QvxTest;

TEST_F(BudgetTest, EveryEffectWithExtremeParametersStaysWithinItsTimeBudget) {
  // The brush and arc effects on a strip of the full width: their cost per
  // pixel is the largest, and the width is what sizes their tables.
  const int strip = kSide / 20;
  FilterKernel kernel;
  for (int i = 0; i < 81; ++i) kernel.weights[i] = i % 7 - 3;
  POINT curve[32];
  for (int i = 0; i < 32; ++i) curve[i] = {i * 8, 255 - (i * 37) % 256};
  const std::vector<BudgetCase> cases = {
      {"blur radius 255", kSide, [](ImageHandles* in) { return QVBlur(WHOLE(in), 255, QUIET); }},
      {"anti-alias", kSide, [](ImageHandles* in) { return QVAntiAlias(WHOLE(in), QUIET); }},
      {"sharp 255", kSide, [](ImageHandles* in) { return QVSharp(WHOLE(in), 255, QUIET); }},
      {"emboss", kSide, [](ImageHandles* in) { return QVEmboss(WHOLE(in), 7, 255, 255, QUIET); }},
      {"outline Sobel", kSide,
       [](ImageHandles* in) { return QVOutline(WHOLE(in), 3, 2, 255, QUIET); }},
      {"remove noise", kSide,
       [](ImageHandles* in) { return QVRemoveNoise(WHOLE(in), 1, 255, QUIET); }},
      {"custom filter 9 x 9", kSide,
       [&](ImageHandles* in) { return QVCustomFilter(WHOLE(in), &kernel, 1, 0, 1, 1, 1, QUIET); }},
      {"mosaic one cell", kSide,
       [](ImageHandles* in) { return QVMosaic(WHOLE(in), kSide, kSide, QUIET); }},
      {"mosaic 1 x 2", kSide, [](ImageHandles* in) { return QVMosaic(WHOLE(in), 1, 2, QUIET); }},
      {"oil paint channels 255", strip,
       [](ImageHandles* in) { return QVOilPaint(WHOLE(in), 0, 255, QUIET); }},
      {"oil paint luminance 255", strip,
       [](ImageHandles* in) { return QVOilPaint(WHOLE(in), 1, 255, QUIET); }},
      {"motion blur linear 255", kSide,
       [](ImageHandles* in) { return QVMotionBlur(WHOLE(in), 0, 255, 45, QUIET); }},
      {"motion blur zoom 255", kSide,
       [](ImageHandles* in) { return QVMotionBlur(WHOLE(in), 2, 255, 0, QUIET); }},
      {"spin blur 360", strip,
       [](ImageHandles* in) { return QVMotionBlur(WHOLE(in), 1, 0, 360, QUIET); }},
      {"RGB gamma", kSide,
       [](ImageHandles* in) { return QVRGBGamma(WHOLE(in), 1e300, -1e300, 0.5, QUIET); }},
      {"YCC gamma", kSide,
       [](ImageHandles* in) { return QVYCCGamma(WHOLE(in), 1e300, -1e300, 0.5, QUIET); }},
      {"RGB spline 32 points", kSide,
       [&](ImageHandles* in) { return QVRGBSpline(WHOLE(in), curve, 32, 1, 1, 1, QUIET); }},
      {"chroma", kSide, [](ImageHandles* in) { return QVChroma(WHOLE(in), 1000, QUIET); }},
      {"resize to double", kSide, [](ImageHandles* in) {
         ImageHandles out{};
         QVResizeEx(in, &out, 2 * kSide, 2 * kSide, TRUE, QUIET);
         return out.Picture;
       }},
      {"resize to one pixel", kSide, [](ImageHandles* in) {
         ImageHandles out{};
         QVResizeEx(in, &out, 1, 1, TRUE, QUIET);
         return out.Picture;
       }},
      {"rotation 45 degrees", kSide, [](ImageHandles* in) {
         ImageHandles out{};
         QVRotationEx(in, &out, 4500, TRUE, TRUE, TRUE, 1, 2, 3, FALSE, QUIET);
         return out.Picture;
       }},
  };
  for (const BudgetCase& c : cases) {
    HGLOBAL picture = MakePicture(Layout::kRgb24, kSide, c.height, 3);
    ASSERT_NE(picture, nullptr) << c.what;
    ImageHandles in{picture, nullptr};
    const auto start = std::chrono::steady_clock::now();
    HGLOBAL result = c.call(&in);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NE(result, nullptr) << c.what << ": error " << GetErrorStatus();
    double megapixels = double{1.0} * kSide * c.height / 1e6;
    if (result) {
      DibAccess record;
      if (QVStartDibAccess(result, &record)) {
        megapixels += double{1.0} * record.Width * record.Height / 1e6;
        QVEndDibAccess(result, &record);
      }
      GlobalFree(result);
    }
    GlobalFree(picture);
    const double budget = kSecondsAtLeast + kSecondsPerMpx * megapixels;
    EXPECT_LT(seconds, budget) << c.what << " took " << seconds << " s";
    RecordProperty(c.what, std::to_string(seconds));
  }
}

}  // namespace
}  // namespace qvx::test
