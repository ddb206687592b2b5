// Colour-picked selection and hidden marks on 4000 x 3000 24-bit pictures,
// no progress window.
#include <cstring>

#include "BenchPictures.h"

namespace qvx::bench {
namespace {

// Both pictures of a pair freed; the benchmark fails without them.
void TakePair(benchmark::State& state, ImageHandlesResult result) {
  const ImageHandles pair = UnpackHandles(result);
  if (pair.Mask) GlobalFree(pair.Mask);
  TakeResult(state, pair.Picture);
}

// Rate over the cut-out: the ellipse's box.
void BM_SelectImageEllipse(benchmark::State& state) {
  HGLOBAL source = MakeBenchPicture(24);
  const RECT ellipse{200, 150, 3800, 2850};
  for (auto _ : state)
    TakePair(state,
             QVSelectImage(source, 3, nullptr, 0, &ellipse, TRUE, 0, 128, 255, TRUE, 0, 0, 0));
  GlobalFree(source);
  SetMegapixels(state, 3600.0 * 2700.0);
}
BENCHMARK(BM_SelectImageEllipse)->Unit(benchmark::kMillisecond);

// Arg: match mode 0 (RGB), 1 (chrominance), 2 (luminance); whole picture.
void BM_AutoSelectImage(benchmark::State& state) {
  HGLOBAL source = MakeBenchPicture(24);
  const BYTE mode = static_cast<BYTE>(state.range(0));
  for (auto _ : state)
    TakePair(state, QVAutoSelectImage(source, 1, nullptr, 0, nullptr, TRUE, 120, 100, 80, mode, 12,
                                      TRUE, 0, 0, 0));
  GlobalFree(source);
  SetMegapixels(state, double{kWidth} * kHeight);
}
BENCHMARK(BM_AutoSelectImage)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Arg: a 2000 x 1000 mask of stripes (1: half its pixels marked), or a
// 4000 x 3000 one (0: every pixel); rate over the mask's area.
void BM_SetSecretImageMask(benchmark::State& state) {
  HGLOBAL source = MakeBenchPicture(24);
  const bool stripes = state.range(0) != 0;
  const int w = stripes ? 2000 : kWidth, h = stripes ? 1000 : kHeight, rowBytes = (w + 31) / 32 * 4;
  HGLOBAL mask = GlobalAlloc(GHND, 48 + static_cast<std::size_t>(rowBytes) * h);
  auto* data = static_cast<BYTE*>(GlobalLock(mask));
  const BITMAPINFOHEADER header{40, w, h, 1, 1, BI_RGB, DWORD(rowBytes * h), 0, 0, 0, 0};
  std::memcpy(data, &header, 40);
  std::memset(data + 44, 255, 3);  // entry 1 white
  for (int y = 0; y < h; ++y)
    std::memset(data + 48 + y * rowBytes, !stripes ? 0xFF : (y % 4 < 2 ? 0xF0 : 0x0F), rowBytes);
  GlobalUnlock(mask);
  for (auto _ : state)
    TakeResult(state,
               QVSetSecretImage(source, mask, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, 5,
                                stripes ? 1000 : 0, stripes ? 1000 : 0, 0, 0, TRUE, 0, 0, 0));
  GlobalFree(mask);
  GlobalFree(source);
  SetMegapixels(state, static_cast<double>(w) * h);
}
BENCHMARK(BM_SetSecretImageMask)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_CheckSecretImage(benchmark::State& state) {
  HGLOBAL first = MakeBenchPicture(24);
  ImageHandles images{first, nullptr};
  HGLOBAL second = QVYCCLevel(&images, 1, nullptr, 0, nullptr, TRUE, 3, 0, 0, TRUE, 0, 0, 0);
  for (auto _ : state) TakeResult(state, QVCheckSecretImage(first, second, 3, TRUE, 0, 0, 0));
  GlobalFree(second);
  GlobalFree(first);
  SetMegapixels(state, double{kWidth} * kHeight);
}
BENCHMARK(BM_CheckSecretImage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvx::bench
