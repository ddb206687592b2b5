// Floyd-Steinberg error diffusion, serpentine: even rows (from the top) run
// left to right, odd rows right to left. Each pixel's working colour is
// clamped to 0..255 and matched to a palette entry; the difference is
// spread in integer shares truncated toward zero: 7/16 to the next pixel of
// the row, 5/16 below, 3/16 below and behind, 1/16 below and ahead, each
// only inside the row. Three rows of working values (blue, green, red and
// a fourth lane of no meaning per pixel, so that a pixel is one vector)
// live in a ring: row y in slot y % 3, row y + 2 loaded while row y is
// processed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/PixelFormat.h"
#include "frame/Simd.h"

namespace qvx {

namespace dither_detail {
inline int Clamp(std::int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
}  // namespace dither_detail

// Working values per pixel in the ring.
inline constexpr int kDitherLanes = 4;

// ring: 3 * kDitherLanes * width working values. load(y, values) puts row
// y's colours (blue, green, red, 0 per pixel); store(y, indices) takes the
// finished row and answers false to stop (the error status already set).
// The share for the next pixel of the row is carried in registers rather
// than through the row. Shares are divided by 16 with truncation toward
// zero.
template <class Match, class Load, class Store>
QVX_LOOP_BODY bool DiffuseErrors(const Match& match, int width, int height, std::int32_t* ring,
                                 BYTE* indices, Load&& load, Store&& store) {
  const std::size_t stride = kDitherLanes * static_cast<std::size_t>(width);
  const auto slot = [&](int y) { return ring + static_cast<std::size_t>(y % 3) * stride; };
  const auto at = [](std::int32_t* values, int x) {
    return values + kDitherLanes * static_cast<std::ptrdiff_t>(x);
  };
  const auto get = [](const std::int32_t* p) {
    Int4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
  };
  const auto add = [&](std::int32_t* p, Int4 v) {
    v += get(p);
    std::memcpy(p, &v, sizeof v);
  };
  load(0, slot(0));
  if (height > 1) load(1, slot(1));
  for (int y = 0; y < height; ++y) {
    if (y + 2 < height) load(y + 2, slot(y + 2));
    std::int32_t* const row = slot(y);
    std::int32_t* const below = y + 1 < height ? slot(y + 1) : nullptr;
    const int dir = y % 2 == 0 ? 1 : -1;
    const std::ptrdiff_t step = kDitherLanes * dir;
    int x = dir > 0 ? 0 : width - 1;
    // The pixel-to-pixel chain stays in scalar registers (moving between
    // them and vectors would lengthen it); the shares for the row below
    // are worked out and added as vectors.
    int carryB = 0, carryG = 0, carryR = 0;
    for (int n = 0; n < width; ++n, x += dir) {
      const std::int32_t* const w = at(row, x);
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
      const Int4 e{eb, eg, er, 0};
      std::int32_t* const d = at(below, x);
      add(d, ((e << 2) + e) / 16);
      if (n > 0) add(d - step, ((e << 1) + e) / 16);
      if (n + 1 < width) add(d + step, e / 16);
    }
    if (!store(y, indices)) return false;
  }
  return true;
}

}  // namespace qvx
