// Pictures for the benchmarks: 4000 x 3000 by default, filled with a
// deterministic pattern, throughput reported in megapixels per second.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

#include "exports/Exported.h"

namespace qvx::bench {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A new picture of the given depth (8 means the 256-level grey ramp) whose
// pixels are a smooth pattern with noise, like a photograph.
HGLOBAL MakeBenchPicture(int bitCount, int width = kWidth, int height = kHeight);

// Counts `pixels` per iteration as the benchmark's rate, in megapixels.
inline void SetMegapixels(benchmark::State& state, double pixels) {
  state.counters["Mpx/s"] = benchmark::Counter(pixels / 1e6 * state.iterations(),
                                               benchmark::Counter::kIsRate);
}

// Frees a picture an effect returned, failing the benchmark when there is
// none.
inline void TakeResult(benchmark::State& state, HGLOBAL result) {
  if (!result) {
    state.SkipWithError("the effect failed");
    return;
  }
  GlobalFree(result);
}

// Runs `effect(images)` on a whole-picture selection of a new picture of
// `bitCount` bits per pixel, counting its pixels per iteration.
template <class Effect>
void RunOn(benchmark::State& state, int bitCount, Effect&& effect) {
  HGLOBAL source = MakeBenchPicture(bitCount);
  ImageHandles images{source, nullptr};
  for (auto _ : state) TakeResult(state, effect(&images));
  GlobalFree(source);
  SetMegapixels(state, double{kWidth} * kHeight);
}

}  // namespace qvx::bench
