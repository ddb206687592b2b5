// Allocating a result picture: every effect pays this once per call.
#include "BenchPictures.h"
#include "frame/Resources.h"

namespace qvx::bench {
namespace {

void BM_NewDibLikeCopy24(benchmark::State& state) {
  HGLOBAL source = MakeBenchPicture(24);
  LockedDib locked;
  locked.Start(source, kDepthAll);
  for (auto _ : state) TakeResult(state, NewDibLike(locked->Header, kWidth, kHeight, TRUE));
  locked.End();
  GlobalFree(source);
  SetMegapixels(state, double{kWidth} * kHeight);
}
BENCHMARK(BM_NewDibLikeCopy24)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvx::bench
