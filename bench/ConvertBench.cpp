// Colour depth conversion of a 4000 x 3000 24-bit picture to every other
// target: arguments target kind, standard palette, dither.
#include "BenchPictures.h"

namespace qvx::bench {
namespace {

void BM_ConvertColor(benchmark::State& state) {
  const auto target = static_cast<WORD>(state.range(0));
  const auto standard = static_cast<BOOL>(state.range(1));
  const auto dither = static_cast<BOOL>(state.range(2));
  RunOn(state, 24, [&](ImageHandles* images) {
    return QVConvertColor(images->Picture, target, standard, dither, 128, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_ConvertColor)
    ->ArgNames({"target", "standard", "dither"})
    ->Args({1, 1, 0})
    ->Args({1, 1, 1})
    ->Args({4, 1, 0})
    ->Args({4, 1, 1})
    ->Args({4, 0, 0})
    ->Args({4, 0, 1})
    ->Args({8, 1, 0})
    ->Args({8, 1, 1})
    ->Args({8, 0, 0})
    ->Args({8, 0, 1})
    ->Args({40, 0, 0})
    ->Args({40, 0, 1})
    ->Args({80, 0, 0})
    ->Args({16, 0, 0})
    ->Args({32, 0, 0})
    ->Unit(benchmark::kMillisecond);

// The one true-colour target a 24-bit source cannot have: from 32 bits.
void BM_ConvertColor32To24(benchmark::State& state) {
  RunOn(state, 32, [](ImageHandles* images) {
    return QVConvertColor(images->Picture, 24, FALSE, FALSE, 128, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_ConvertColor32To24)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvx::bench
