// Rectifying a slanted quadrilateral; rates are megapixels of the RESULT
// per second.
#include "BenchPictures.h"

namespace qvx::bench {
namespace {

// Corners of a quadrilateral covering most of a 4000 x 3000 picture, each
// edge leaning by 100 to 150 pixels; the result is 3650 x 2850.
void BM_Affine24(benchmark::State& state) {
  HGLOBAL source = MakeBenchPicture(24);
  for (auto _ : state)
    TakeResult(state, QVAffine(source, 150, 100, 3950, 0, 3800, 2950, 0, 2999, TRUE, 0, 0, 0));
  GlobalFree(source);
  SetMegapixels(state, 3650.0 * 2850.0);
}
BENCHMARK(BM_Affine24)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvx::bench
