// The neighbourhood filters on 4000 x 3000 pictures, whole-picture
// selection, no progress window.
#include "BenchPictures.h"

namespace qvx::bench {
namespace {

constexpr double kPixels = double{kWidth} * kHeight;

// Runs `effect(images)` on a picture of `bitCount` bits per pixel.
template <class Effect>
void RunOn(benchmark::State& state, int bitCount, Effect&& effect) {
  HGLOBAL source = MakeBenchPicture(bitCount);
  ImageHandles images{source, nullptr};
  for (auto _ : state) TakeResult(state, effect(&images));
  GlobalFree(source);
  SetMegapixels(state, kPixels);
}

void BM_Blur(benchmark::State& state) {
  const BYTE radius = static_cast<BYTE>(state.range(0));
  RunOn(state, 24, [=](ImageHandles* images) {
    return QVBlur(images, 1, nullptr, 0, nullptr, TRUE, radius, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_Blur)->Arg(1)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond);

void BM_AntiAlias(benchmark::State& state) {
  RunOn(state, 24, [](ImageHandles* images) {
    return QVAntiAlias(images, 1, nullptr, 0, nullptr, TRUE, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_AntiAlias)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvx::bench
