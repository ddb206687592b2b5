// Row movers of the geometric workers (private to geometry/), over the
// pixel policies of frame/PixelPolicy.h, with 24-bit forms that move
// several bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/LockedPicture.h"
#include "frame/PixelPolicy.h"
#include "geometry/Sampling.h"

namespace qvx {

// Row y of `dst` takes, pixel by pixel, the pixels columns[x] of row sy of
// `src` (Transfer without alpha).
template <class Px>
void GatherRow(const Px& dst, int y, const Px& src, int sy, const int* columns, int width) {
  const auto row = src.Row(sy);
  auto d = dst.At(dst.Row(y), 0);
  for (int x = 0; x < width; ++x, d = dst.Next(d))
    dst.Transfer(d, src, src.At(row, columns[x]), false);
}

// 24-bit pixels are read as 4 bytes and written two at a time as 8 bytes,
// the surplus bytes being overwritten by the next pixels. A 4-byte read of
// a row's last pixel stays inside the block unless the row is the last one
// in memory (the top row) and has no padding; that row, and the last pixels
// of every row, move bytewise.
inline void GatherRow(const Px24& dst, int y, const Px24& src, int sy, const int* columns,
                      int width) {
  const BYTE* row = src.Row(sy);
  BYTE* d = dst.Row(y);
  int x = 0;
  const bool wideReads = sy != 0 || src.stride > 3 * static_cast<std::ptrdiff_t>(src.rec->Width);
  if (wideReads) {
    const auto load = [row](int column) {
      std::uint32_t v;
      std::memcpy(&v, row + 3 * static_cast<std::ptrdiff_t>(column), 4);
      return std::uint64_t{v & 0xFFFFFFu};
    };
    for (; x + 2 < width; x += 2, d += 6) {
      const std::uint64_t pair = load(columns[x]) | (load(columns[x + 1]) << 24);
      std::memcpy(d, &pair, 8);
    }
  }
  for (; x < width; ++x, d += 3)
    Px24::Transfer(d, src, row + 3 * static_cast<std::ptrdiff_t>(columns[x]), false);
}

// `count` result pixels from d rightwards take the source pixels from s on
// in steps of (dx, dy).
template <class Px, class Pos, class SourcePos>
void TransferRun(const Px& dst, Pos d, const Px& src, SourcePos s, int count, int dx, int dy,
                 bool keepAlpha) {
  for (int i = 0; i < count; ++i, d = dst.Next(d), s = src.Step(s, dx, dy))
    dst.Transfer(d, src, s, keepAlpha);
}

// 24-bit pixels move as one 4-byte load and store each: the load starts a
// byte before the pixel (the header lies before the first one), the store's
// fourth byte is overwritten by the next pixel; the last pixel moves bytewise.
inline void TransferRun(const Px24&, BYTE* d, const Px24& src, const BYTE* s, int count, int dx,
                        int dy, bool) {
  const std::ptrdiff_t step = 3 * dx - dy * src.stride;
  for (int i = 0; i < count - 1; ++i, d += 3, s += step) {
    std::uint32_t v;
    std::memcpy(&v, s - 1, 4);
    v >>= 8;
    std::memcpy(d, &v, 4);
  }
  Px24::Transfer(d, src, s, false);
}

}  // namespace qvx
