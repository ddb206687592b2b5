// Rectifying a slanted quadrilateral (rates in megapixels of the RESULT per
// second) and joining two photographs (megapixels of the SECOND picture).
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

// Two 3000 x 2000 pictures; the second one's segment is 1000 pixels long
// and level, the base's 1100 pixels at 5 degrees (1096 across, 96 up).
void BM_Panorama24(benchmark::State& state) {
  HGLOBAL base = MakeBenchPicture(24, 3000, 2000);
  HGLOBAL second = MakeBenchPicture(24, 3000, 2000);
  for (auto _ : state)
    TakeResult(state, QVPanorama(base, second, 0, 1000, 1000, 2096, 904, 500, 1000, 1500, 1000,
                                 0, 0, 0, TRUE, 0, 0, 0));
  GlobalFree(base);
  GlobalFree(second);
  SetMegapixels(state, 3000.0 * 2000.0);
}
BENCHMARK(BM_Panorama24)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvx::bench
