// The neighbourhood filters on 4000 x 3000 pictures, whole-picture
// selection, no progress window.
#include "BenchPictures.h"

namespace qvx::bench {
namespace {

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

// A 3 x 3 sharpening kernel in the middle of the field, or a dense 9 x 9
// one with every weight non-zero.
void BM_CustomFilter(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  FilterKernel kernel{};
  for (int ky = 4 - side / 2; ky <= 4 + side / 2; ++ky)
    for (int kx = 4 - side / 2; kx <= 4 + side / 2; ++kx)
      kernel.weights[9 * ky + kx] = side == 3 ? -1 : 1 + (kx + ky) % 3;
  if (side == 3) kernel.weights[40] = 9;
  const int divisor = side == 3 ? 1 : 162;
  RunOn(state, 24, [&](ImageHandles* images) {
    return QVCustomFilter(images, 1, nullptr, 0, nullptr, TRUE, &kernel, divisor, 0, TRUE, TRUE,
                          TRUE, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_CustomFilter)->Arg(3)->Arg(9)->Unit(benchmark::kMillisecond);

void BM_Emboss(benchmark::State& state) {
  RunOn(state, 24, [](ImageHandles* images) {
    return QVEmboss(images, 1, nullptr, 0, nullptr, TRUE, 1, 3, 128, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_Emboss)->Unit(benchmark::kMillisecond);

// Outline on the luminance: operator 0 simple, 1 Roberts, 2 Sobel.
void BM_Outline(benchmark::State& state) {
  const BYTE op = static_cast<BYTE>(state.range(0));
  RunOn(state, 24, [=](ImageHandles* images) {
    return QVOutline(images, 1, nullptr, 0, nullptr, TRUE, 0, op, 20, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_Outline)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_Sharp(benchmark::State& state) {
  RunOn(state, 24, [](ImageHandles* images) {
    return QVSharp(images, 1, nullptr, 0, nullptr, TRUE, 60, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_Sharp)->Unit(benchmark::kMillisecond);

// Method 0 luminance median, 1 selective median (level 235).
void BM_RemoveNoise(benchmark::State& state) {
  const BYTE method = static_cast<BYTE>(state.range(0));
  RunOn(state, 24, [=](ImageHandles* images) {
    return QVRemoveNoise(images, 1, nullptr, 0, nullptr, TRUE, method, 235, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_RemoveNoise)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvx::bench
