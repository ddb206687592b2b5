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

// Brushes of state.range(1) pixels either side of the size where the
// winner search changes (kPassBrush), method state.range(0).
void BM_OilPaintBrush(benchmark::State& state) {
  const BYTE method = static_cast<BYTE>(state.range(0));
  const BYTE brush = static_cast<BYTE>(state.range(1));
  RunOn(state, 24, [=](ImageHandles* images) {
    return QVOilPaint(images, 1, nullptr, 0, nullptr, TRUE, method, brush, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_OilPaintBrush)
    ->Args({0, 12})
    ->Args({0, 24})
    ->Args({1, 12})
    ->Args({1, 24})
    ->Unit(benchmark::kMillisecond);

// Brush size 5, method state.range(0), on a picture of state.range(1) x
// state.range(2) pixels: the rate should hold from 1 to 48 megapixels.
void BM_OilPaintSized(benchmark::State& state) {
  const BYTE method = static_cast<BYTE>(state.range(0));
  const int width = static_cast<int>(state.range(1)), height = static_cast<int>(state.range(2));
  HGLOBAL source = MakeBenchPicture(24, width, height);
  ImageHandles images{source, nullptr};
  for (auto _ : state)
    TakeResult(state, QVOilPaint(&images, 1, nullptr, 0, nullptr, TRUE, method, 5, TRUE, 0, 0, 0));
  GlobalFree(source);
  SetMegapixels(state, double{1.0} * width * height);
}
BENCHMARK(BM_OilPaintSized)
    ->Args({0, 1155, 866})
    ->Args({0, 8000, 6000})
    ->Args({1, 1155, 866})
    ->Args({1, 8000, 6000})
    ->Unit(benchmark::kMillisecond);

// Kind state.range(0) with state.range(1) samples: linear at 30 degrees,
// spin of 10 degrees (no samples count), zoom.
void BM_MotionBlur(benchmark::State& state) {
  const BYTE kind = static_cast<BYTE>(state.range(0));
  const BYTE samples = static_cast<BYTE>(state.range(1));
  const int degrees = kind == 1 ? 10 : 30;
  RunOn(state, 24, [=](ImageHandles* images) {
    return QVMotionBlur(images, 1, nullptr, 0, nullptr, TRUE, kind, samples, degrees, TRUE, 0, 0,
                        0);
  });
}
BENCHMARK(BM_MotionBlur)
    ->Args({0, 10})
    ->Args({0, 50})
    ->Args({1, 10})
    ->Args({2, 10})
    ->Args({2, 50})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvx::bench
