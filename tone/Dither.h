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
#include "frame/Simd.h"

namespace qvx {

// The working values of one pixel: blue, green, red and an unused 0, so
// that the three channels are spread as one.
using DitherLanes = Int4;

// ring: 3 * width working values. load(y, values) puts row y's colours;
// store(y, indices) takes the finished row and answers false to stop (the
// error status already set).
template <class Match, class Load, class Store>
QVX_LOOP_BODY bool DiffuseErrors(const Match& match, int width, int height, DitherLanes* ring,
                                 BYTE* indices, Load&& load, Store&& store) {
  const std::size_t stride = static_cast<std::size_t>(width);
  const auto slot = [&](int y) { return ring + static_cast<std::size_t>(y % 3) * stride; };
  load(0, slot(0));
  if (height > 1) load(1, slot(1));
  const DitherLanes zero = {0, 0, 0, 0}, top = {255, 255, 255, 255};
  for (int y = 0; y < height; ++y) {
    if (y + 2 < height) load(y + 2, slot(y + 2));
    DitherLanes* const row = slot(y);
    DitherLanes* const below = y + 1 < height ? slot(y + 1) : nullptr;
    const int dir = y % 2 == 0 ? 1 : -1;
    int x = dir > 0 ? 0 : width - 1;
    for (int n = 0; n < width; ++n, x += dir) {
      DitherLanes c = row[x] < zero ? zero : row[x];
      c = c > top ? top : c;
      const BYTE index = match(c[2], c[1], c[0]);
      indices[x] = index;
      const Rgb& entry = match.Entry(index);
      const DitherLanes error = c - DitherLanes{entry.blue, entry.green, entry.red, 0};
      const bool ahead = n + 1 < width, behind = n > 0;
      if (ahead) row[x + dir] += 7 * error / 16;
      if (!below) continue;
      below[x] += 5 * error / 16;
      if (behind) below[x - dir] += 3 * error / 16;
      if (ahead) below[x + dir] += error / 16;
    }
    if (!store(y, indices)) return false;
  }
  return true;
}

}  // namespace qvx
