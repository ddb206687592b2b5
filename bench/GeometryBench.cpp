// Resizing, rotating and cutting a 4000 x 3000 picture; rates are megapixels
// of the SOURCE per second.
#include "BenchPictures.h"

namespace qvx::bench {
namespace {

// A benchmark over one 4000 x 3000 source of the given depth; `call` makes
// one result pair from it.
template <class Call>
void RunOnSource(benchmark::State& state, int bitCount, Call&& call, int width = kWidth,
                 int height = kHeight) {
  HGLOBAL source = MakeBenchPicture(bitCount, width, height);
  // One call before measuring: a process's first mapping of a result of
  // hundreds of megabytes costs several times the effect (0.7 s against
  // 0.2 s for the 48-megapixel enlargement), and a row whose call takes
  // longer than the minimum time would measure that call alone.
  const ImageHandles first = call(source);
  if (first.Mask) GlobalFree(first.Mask);
  if (first.Picture) GlobalFree(first.Picture);
  for (auto _ : state) {
    const ImageHandles out = call(source);
    if (out.Mask) GlobalFree(out.Mask);
    TakeResult(state, out.Picture);
  }
  GlobalFree(source);
  SetMegapixels(state, static_cast<double>(width) * height);
}

// `scale` times the source's size on both sides: 1 for 4000 x 3000, 2 for
// 8000 x 6000 (48 megapixels, to see that the rate holds with size).
void Resize(benchmark::State& state, int bitCount, int width, int height, BOOL smooth,
            int scale = 1) {
  RunOnSource(
      state, bitCount,
      [&](HGLOBAL source) {
        ImageHandles in{source, nullptr};
        return UnpackHandles(QVResize(&in, width * scale, height * scale, smooth, TRUE, 0, 0, 0));
      },
      kWidth * scale, kHeight * scale);
}

void BM_ResizeNearestToThreeHalves24(benchmark::State& state) {
  Resize(state, 24, kWidth * 3 / 2, kHeight * 3 / 2, FALSE);
}
void BM_ResizeNearestToThird24(benchmark::State& state) {
  Resize(state, 24, kWidth / 3, kHeight / 3, FALSE);
}
void BM_ResizeSmoothToThreeHalves24(benchmark::State& state) {
  Resize(state, 24, kWidth * 3 / 2, kHeight * 3 / 2, TRUE);
}
void BM_ResizeSmoothToThird24(benchmark::State& state) {
  Resize(state, 24, kWidth / 3, kHeight / 3, TRUE);
}
void BM_ResizeSmoothToThreeHalves32(benchmark::State& state) {
  Resize(state, 32, kWidth * 3 / 2, kHeight * 3 / 2, TRUE);
}
void BM_ResizeSmoothToThirdGrey8(benchmark::State& state) {
  Resize(state, 8, kWidth / 3, kHeight / 3, TRUE);
}
void BM_ResizeSmoothToThreeHalves24At48(benchmark::State& state) {
  Resize(state, 24, kWidth * 3 / 2, kHeight * 3 / 2, TRUE, 2);
}
BENCHMARK(BM_ResizeNearestToThreeHalves24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeNearestToThird24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeSmoothToThreeHalves24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeSmoothToThird24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeSmoothToThreeHalves24At48)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeSmoothToThreeHalves32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeSmoothToThirdGrey8)->Unit(benchmark::kMillisecond);

void Rotate(benchmark::State& state, int bitCount, int angle, BOOL smooth, BOOL keepSize,
            int scale = 1) {
  RunOnSource(
      state, bitCount,
      [&](HGLOBAL source) {
        ImageHandles in{source, nullptr};
        return UnpackHandles(
            QVRotation(&in, angle, FALSE, FALSE, smooth, 255, 255, 255, keepSize, TRUE, 0, 0, 0));
      },
      kWidth * scale, kHeight * scale);
}

void BM_Rotate90_24(benchmark::State& state) { Rotate(state, 24, 9000, FALSE, FALSE); }
void BM_Rotate90KeepSize24(benchmark::State& state) { Rotate(state, 24, 9000, FALSE, TRUE); }
void BM_Rotate180_24(benchmark::State& state) { Rotate(state, 24, 18000, FALSE, FALSE); }
void BM_Rotate30_24(benchmark::State& state) { Rotate(state, 24, 3000, FALSE, FALSE); }
void BM_Rotate30Smooth24(benchmark::State& state) { Rotate(state, 24, 3000, TRUE, FALSE); }
void BM_Rotate30Smooth24At48(benchmark::State& state) { Rotate(state, 24, 3000, TRUE, FALSE, 2); }
void BM_Rotate30Smooth32(benchmark::State& state) { Rotate(state, 32, 3000, TRUE, FALSE); }
BENCHMARK(BM_Rotate90_24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate90KeepSize24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate180_24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate30_24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate30Smooth24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate30Smooth24At48)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate30Smooth32)->Unit(benchmark::kMillisecond);

// Smooth rotation by other angles (hundredths of a degree), at 12 and at
// 48 Mpx: the result is walked in tiles whose source strips slant with the
// angle.
void BM_RotateSmooth24(benchmark::State& state) {
  Rotate(state, 24, static_cast<int>(state.range(0)), TRUE, FALSE,
         static_cast<int>(state.range(1)));
}
BENCHMARK(BM_RotateSmooth24)
    ->ArgsProduct({{1000, 4500, 6000, 8000}, {1, 2}})
    ->Unit(benchmark::kMillisecond);

// Cut the middle half (2000 x 3000) of the picture.
void BM_CutHalf24(benchmark::State& state) {
  RunOnSource(state, 24, [](HGLOBAL source) {
    RECT rect{1000, 0, 2999, kHeight - 1};
    return ImageHandles{QVCutRectImage(source, &rect, TRUE, 0, 0, 0), nullptr};
  });
}
BENCHMARK(BM_CutHalf24)->Unit(benchmark::kMillisecond);

void BM_ResizeColorBitToThird24(benchmark::State& state) {
  RunOnSource(state, 24, [](HGLOBAL source) {
    return ImageHandles{
        ResizeColorBit(source, 0, 0, kWidth - 1, kHeight - 1, kWidth / 3, kHeight / 3), nullptr};
  });
}
BENCHMARK(BM_ResizeColorBitToThird24)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvx::bench
