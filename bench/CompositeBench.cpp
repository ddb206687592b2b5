// Layering, pasting and RGBA pictures. A 2000 x 1500 picture laid or pasted
// over the middle of a 4000 x 3000 24-bit one; rates are megapixels of the
// SMALLER picture per second (the pixels mixed in). Making and splitting
// RGBA pictures work on 4000 x 3000 and count all of them.
#include "BenchPictures.h"

namespace qvx::bench {
namespace {

constexpr int kLayerWidth = kWidth / 2;
constexpr int kLayerHeight = kHeight / 2;

// Calls `call(base, layer)` per iteration with a 24-bit base and a layer of
// `layerBits` bits per pixel.
template <class Call>
void RunOnPair(benchmark::State& state, int layerBits, Call&& call) {
  HGLOBAL base = MakeBenchPicture(24);
  HGLOBAL layer = MakeBenchPicture(layerBits, kLayerWidth, kLayerHeight);
  for (auto _ : state) TakeResult(state, call(base, layer));
  GlobalFree(layer);
  GlobalFree(base);
  SetMegapixels(state, double{kLayerWidth} * kLayerHeight);
}

HGLOBAL Layer(HGLOBAL base, HGLOBAL layer, int opacity, BOOL keyOn, BOOL alpha) {
  return QVLayerEx(base, layer, BYTE(opacity), keyOn, 128, 128, 128, 0, 0, 0, kLayerWidth / 2,
                   kLayerHeight / 2, TRUE, alpha, TRUE, 0, 0, 0);
}

void BM_LayerOpacity128(benchmark::State& state) {
  RunOnPair(state, 24, [](HGLOBAL b, HGLOBAL l) { return Layer(b, l, 128, FALSE, FALSE); });
}
void BM_LayerColourKey(benchmark::State& state) {
  RunOnPair(state, 24, [](HGLOBAL b, HGLOBAL l) { return Layer(b, l, 255, TRUE, FALSE); });
}
void BM_LayerExAlpha32(benchmark::State& state) {
  RunOnPair(state, 32, [](HGLOBAL b, HGLOBAL l) { return Layer(b, l, 255, FALSE, TRUE); });
}
BENCHMARK(BM_LayerOpacity128)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayerColourKey)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayerExAlpha32)->Unit(benchmark::kMillisecond);

void Paste(benchmark::State& state, int angle) {
  RunOnPair(state, 24, [angle](HGLOBAL target, HGLOBAL pasted) {
    ImageHandles in{pasted, nullptr};
    return QVPasteImage(target, &in, angle, FALSE, FALSE, 255, FALSE, 0, 0, 0, 0, 0, 0,
                        kWidth / 2, kHeight / 2, TRUE, TRUE, 0, 0, 0);
  });
}
void BM_Paste0(benchmark::State& state) { Paste(state, 0); }
void BM_Paste90(benchmark::State& state) { Paste(state, 9000); }
void BM_Paste30(benchmark::State& state) { Paste(state, 3000); }
BENCHMARK(BM_Paste0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paste90)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Paste30)->Unit(benchmark::kMillisecond);

void BM_MakeRgba(benchmark::State& state) {
  HGLOBAL colour = MakeBenchPicture(24);
  HGLOBAL alpha = MakeBenchPicture(8);
  for (auto _ : state) TakeResult(state, QVMakeRGBAImage(colour, alpha, TRUE, 0, 0, 0));
  GlobalFree(alpha);
  GlobalFree(colour);
  SetMegapixels(state, double{kWidth} * kHeight);
}
void BM_SplitRgba(benchmark::State& state) {
  HGLOBAL rgba = MakeBenchPicture(32);
  for (auto _ : state) {
    HGLOBAL colour = nullptr, alpha = nullptr;
    QVSplitRGBAImage(rgba, &colour, &alpha, TRUE, 0, 0, 0);
    if (alpha) GlobalFree(alpha);
    TakeResult(state, colour);
  }
  GlobalFree(rgba);
  SetMegapixels(state, double{kWidth} * kHeight);
}
BENCHMARK(BM_MakeRgba)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitRgba)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvx::bench
