// Floyd-Steinberg error diffusion, serpentine: even rows (from the top) run
// left to right, odd rows right to left. Each pixel's working colour is
// clamped to 0..255 and matched to a palette entry; the difference is
// spread in integer shares truncated toward zero: 7/16 to the next pixel of
// the row, 5/16 below, 3/16 below and behind, 1/16 below and ahead, each
// only inside the row. Three rows of working values live in a ring: row y
// in slot y % 3, row y + 2 loaded while row y is processed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/PixelFormat.h"

namespace qvx {

namespace dither_detail {
inline int Clamp(std::int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
}  // namespace dither_detail

// ring: 3 * 3 * width working values. load(y, values) puts row y's colours
// as blue, green, red per pixel; store(y, indices) takes the finished row
// and answers false to stop (the error status already set).
template <class Match, class Load, class Store>
bool DiffuseErrors(const Match& match, int width, int height, std::int32_t* ring, BYTE* indices,
                   Load&& load, Store&& store) {
  const std::size_t stride = 3 * static_cast<std::size_t>(width);
  const auto slot = [&](int y) { return ring + static_cast<std::size_t>(y % 3) * stride; };
  load(0, slot(0));
  if (height > 1) load(1, slot(1));
  for (int y = 0; y < height; ++y) {
    if (y + 2 < height) load(y + 2, slot(y + 2));
    std::int32_t* const row = slot(y);
    std::int32_t* const below = y + 1 < height ? slot(y + 1) : nullptr;
    const int dir = y % 2 == 0 ? 1 : -1;
    int x = dir > 0 ? 0 : width - 1;
    for (int n = 0; n < width; ++n, x += dir) {
      std::int32_t* const w = row + 3 * static_cast<std::ptrdiff_t>(x);
      const int b = dither_detail::Clamp(w[0]), g = dither_detail::Clamp(w[1]),
                r = dither_detail::Clamp(w[2]);
      const BYTE index = match(r, g, b);
      indices[x] = index;
      const Rgb& entry = match.Entry(index);
      const int error[3] = {b - entry.blue, g - entry.green, r - entry.red};
      const bool ahead = n + 1 < width, behind = n > 0;
      const std::ptrdiff_t step = 3 * dir;
      for (int k = 0; k < 3; ++k) {
        const int e = error[k];
        if (ahead) w[step + k] += 7 * e / 16;
        if (!below) continue;
        std::int32_t* const d = below + 3 * static_cast<std::ptrdiff_t>(x);
        d[k] += 5 * e / 16;
        if (behind) d[k - step] += 3 * e / 16;
        if (ahead) d[k + step] += e / 16;
      }
    }
    if (!store(y, indices)) return false;
  }
  return true;
}

}  // namespace qvx
