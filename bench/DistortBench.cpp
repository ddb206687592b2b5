// Distortions and textures on 4000 x 3000 24-bit pictures, whole-picture
// selection, no progress window, each at a typical setting.
#include "BenchPictures.h"

namespace qvx::bench {
namespace {

// Rings 40 pixels apart, 6 pixels high; state.range(0): scaling mode.
void BM_Ripple(benchmark::State& state) {
  const BOOL scaling = static_cast<BOOL>(state.range(0));
  const double amplitude = scaling ? 0.9 : 6;
  RunOn(state, 24, [=](ImageHandles* images) {
    return QVRipple(images, 1, nullptr, 0, nullptr, TRUE, amplitude, 20.0, 0.0, FALSE, scaling,
                    0, 0, 0, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_Ripple)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Wavelength 120, amplitude 15, wrapped; state.range(0): the direction.
void BM_Waves(benchmark::State& state) {
  const BYTE direction = static_cast<BYTE>(state.range(0));
  RunOn(state, 24, [=](ImageHandles* images) {
    return QVWaves(images, 1, nullptr, 0, nullptr, TRUE, direction, 0, 120, 15, 0.25, 2, 0, 0, 0,
                   TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_Waves)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A whirl of 90 degrees with pinch 0.5 over the inscribed circle.
void BM_WhirlPinch(benchmark::State& state) {
  RunOn(state, 24, [=](ImageHandles* images) {
    return QVWhirlPinch(images, 1, nullptr, 0, nullptr, TRUE, 90.0, 0.5, 1.0, 0, 0, 0, TRUE, 0, 0,
                        0);
  });
}
BENCHMARK(BM_WhirlPinch)->Unit(benchmark::kMillisecond);

// Refractive index 1.5, the corners filled.
void BM_Lens(benchmark::State& state) {
  RunOn(state, 24, [=](ImageHandles* images) {
    return QVLens(images, 1, nullptr, 0, nullptr, TRUE, 1.5, TRUE, 0, 0, 0, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_Lens)->Unit(benchmark::kMillisecond);

// Strength 10 (the relief as it is); state.range(0): the orientation.
void BM_Canvas(benchmark::State& state) {
  const BYTE orientation = static_cast<BYTE>(state.range(0));
  RunOn(state, 24, [=](ImageHandles* images) {
    return QVCanvas(images, 1, nullptr, 0, nullptr, TRUE, orientation, 10, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_Canvas)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

// Tiles of 40 x 30.
void BM_GlassTile(benchmark::State& state) {
  RunOn(state, 24, [=](ImageHandles* images) {
    return QVGlassTile(images, 1, nullptr, 0, nullptr, TRUE, 40, 30, TRUE, 0, 0, 0);
  });
}
BENCHMARK(BM_GlassTile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvx::bench
