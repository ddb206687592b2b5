// Floyd-Steinberg error diffusion, serpentine: even rows (from the top) run
// left to right, odd rows right to left. Each pixel's working colour is
// clamped to 0..255 and matched to a palette entry; the difference is
// spread in integer shares truncated toward zero: 7/16 to the next pixel of
// the row, 5/16 below, 3/16 below and behind, 1/16 below and ahead, each
// only inside the row. Three rows of working values (blue, green, red per
// pixel) live in a ring: row y in slot y % 3, row y + 2 loaded while row y
// is processed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/PixelFormat.h"
#include "frame/Simd.h"

namespace qvx {

namespace dither_detail {
inline int Clamp(std::int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
}  // namespace dither_detail

// ring: 3 * 3 * width working values. load(y, values) puts row y's colours;
// store(y, indices) takes the finished row and answers false to stop (the
// error status already set). The share for the next pixel of the row is
// carried in registers rather than through the row.
template <class Match, class Load, class Store>
QVX_LOOP_BODY bool DiffuseErrors(const Match& match, int width, int height, std::int32_t* ring,
                                 BYTE* indices, Load&& load, Store&& store) {
  const std::size_t stride = 3 * static_cast<std::size_t>(width);
  const auto slot = [&](int y) { return ring + static_cast<std::size_t>(y % 3) * stride; };
  load(0, slot(0));
  if (height > 1) load(1, slot(1));
  for (int y = 0; y < height; ++y) {
    if (y + 2 < height) load(y + 2, slot(y + 2));
    const std::int32_t* const row = slot(y);
    std::int32_t* const below = y + 1 < height ? slot(y + 1) : nullptr;
    const int dir = y % 2 == 0 ? 1 : -1;
    const std::ptrdiff_t step = 3 * dir;
    int x = dir > 0 ? 0 : width - 1;
    int carryB = 0, carryG = 0, carryR = 0;
    for (int n = 0; n < width; ++n, x += dir) {
      const std::int32_t* const w = row + 3 * static_cast<std::ptrdiff_t>(x);
      const int b = dither_detail::Clamp(w[0] + carryB);
      const int g = dither_detail::Clamp(w[1] + carryG);
      const int r = dither_detail::Clamp(w[2] + carryR);
      Rgb entry;
      indices[x] = match.Settle(r, g, b, entry);
      const int eb = b - entry.blue, eg = g - entry.green, er = r - entry.red;
      carryB = 7 * eb / 16;
      carryG = 7 * eg / 16;
      carryR = 7 * er / 16;
      if (!below) continue;
      std::int32_t* const d = below + 3 * static_cast<std::ptrdiff_t>(x);
      d[0] += 5 * eb / 16;
      d[1] += 5 * eg / 16;
      d[2] += 5 * er / 16;
      if (n > 0) {
        d[0 - step] += 3 * eb / 16;
        d[1 - step] += 3 * eg / 16;
        d[2 - step] += 3 * er / 16;
      }
      if (n + 1 < width) {
        d[0 + step] += eb / 16;
        d[1 + step] += eg / 16;
        d[2 + step] += er / 16;
      }
    }
    if (!store(y, indices)) return false;
  }
  return true;
}

}  // namespace qvx
