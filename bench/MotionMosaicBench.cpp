// Mosaic, oil paint and motion blur on 4000 x 3000 24-bit pictures,
// whole-picture selection, no progress window.
#include "BenchPictures.h"

namespace qvx::bench {
namespace {

// Cells of side state.range(0).
void BM_Mosaic(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  RunOn(state, 24, [=](ImageHandles* images) {
    return QVMosaic(images, 1, nullptr, 0, nullptr, TRUE, side, side, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_Mosaic)->Arg(8)->Unit(benchmark::kMillisecond);

// Brush size 5, method state.range(0).
void BM_OilPaint(benchmark::State& state) {
  const BYTE method = static_cast<BYTE>(state.range(0));
  RunOn(state, 24, [=](ImageHandles* images) {
    return QVOilPaint(images, 1, nullptr, 0, nullptr, TRUE, method, 5, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_OilPaint)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Kind state.range(0): linear 10 samples at 30 degrees, spin of 10
// degrees, zoom 10 samples.
void BM_MotionBlur(benchmark::State& state) {
  const BYTE kind = static_cast<BYTE>(state.range(0));
  const int degrees = kind == 1 ? 10 : 30;
  RunOn(state, 24, [=](ImageHandles* images) {
    return QVMotionBlur(images, 1, nullptr, 0, nullptr, TRUE, kind, 10, degrees, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_MotionBlur)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvx::bench
