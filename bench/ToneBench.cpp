// The tone and colour effects on 4000 x 3000 pictures, whole-picture
// selection, no progress window.
#include "BenchPictures.h"

namespace qvx::bench {
namespace {

void BM_RGBGamma(benchmark::State& state) {
  RunOn(state, static_cast<int>(state.range(0)), [](ImageHandles* images) {
    return QVRGBGamma(images, 1, nullptr, 0, nullptr, TRUE, 0.8, -0.5, 1.2, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_RGBGamma)->Arg(24)->Arg(32)->Arg(16)->Arg(8)->Unit(benchmark::kMillisecond);

void BM_RGBLevel(benchmark::State& state) {
  RunOn(state, 24, [](ImageHandles* images) {
    return QVRGBLevel(images, 1, nullptr, 0, nullptr, TRUE, 30, -20, 10, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_RGBLevel)->Unit(benchmark::kMillisecond);

void BM_RGBRev(benchmark::State& state) {
  RunOn(state, 24, [](ImageHandles* images) {
    return QVRGBRev(images, 1, nullptr, 0, nullptr, TRUE, TRUE, TRUE, TRUE, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_RGBRev)->Unit(benchmark::kMillisecond);

const POINT kCurve[] = {{0, 10}, {64, 50}, {128, 150}, {192, 220}, {255, 250}};

void BM_RGBSpline(benchmark::State& state) {
  RunOn(state, 24, [](ImageHandles* images) {
    return QVRGBSpline(images, 1, nullptr, 0, nullptr, TRUE, kCurve, 5, TRUE, TRUE, TRUE, TRUE, 0,
                       0, 0);
  });
}
BENCHMARK(BM_RGBSpline)->Unit(benchmark::kMillisecond);

void BM_YCCGamma(benchmark::State& state) {
  RunOn(state, static_cast<int>(state.range(0)), [](ImageHandles* images) {
    return QVYCCGamma(images, 1, nullptr, 0, nullptr, TRUE, 0.5, -0.3, 0.2, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_YCCGamma)->Arg(24)->Arg(32)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_YCCLevel(benchmark::State& state) {
  RunOn(state, 24, [](ImageHandles* images) {
    return QVYCCLevel(images, 1, nullptr, 0, nullptr, TRUE, 20, -10, 15, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_YCCLevel)->Unit(benchmark::kMillisecond);

void BM_YCCRev(benchmark::State& state) {
  RunOn(state, 24, [](ImageHandles* images) {
    return QVYCCRev(images, 1, nullptr, 0, nullptr, TRUE, TRUE, FALSE, TRUE, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_YCCRev)->Unit(benchmark::kMillisecond);

void BM_YCCSpline(benchmark::State& state) {
  RunOn(state, 24, [](ImageHandles* images) {
    return QVYCCSpline(images, 1, nullptr, 0, nullptr, TRUE, kCurve, 5, TRUE, TRUE, TRUE, TRUE, 0,
                       0, 0);
  });
}
BENCHMARK(BM_YCCSpline)->Unit(benchmark::kMillisecond);

void BM_SetGray(benchmark::State& state) {
  RunOn(state, static_cast<int>(state.range(0)),
        [](ImageHandles* images) { return QVSetGray(images->Picture, TRUE, 0, 0, 0); });
}
BENCHMARK(BM_SetGray)->Arg(24)->Arg(32)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_UnifyColor(benchmark::State& state) {
  RunOn(state, 24, [](ImageHandles* images) {
    return QVUnifyColor(images, 1, nullptr, 0, nullptr, TRUE, 120, 100, 90, 20, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_UnifyColor)->Unit(benchmark::kMillisecond);

void BM_Chroma(benchmark::State& state) {
  RunOn(state, static_cast<int>(state.range(0)), [](ImageHandles* images) {
    return QVChroma(images, 1, nullptr, 0, nullptr, TRUE, 60, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_Chroma)->Arg(24)->Arg(32)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_RedEyeRemoval(benchmark::State& state) {
  RunOn(state, 24, [](ImageHandles* images) {
    return QVRedEyeRemoval(images, 1, nullptr, 0, nullptr, TRUE, 40, 30, 30, 5, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_RedEyeRemoval)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvx::bench
