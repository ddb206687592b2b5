// Copying part of a row of a locked picture as it is stored, whatever the
// depth: whole bytes, with 1- and 4-bit rows that start inside a byte
// shifted so that the copy starts on a byte. Used by the workers that cut
// an upright rectangle out of a picture.
#pragma once

#include <cstddef>
#include <cstring>

#include "frame/DibAccess.h"

namespace qvx {

// Writes the `width` pixels of row y (from the top) of `src` that start at
// column `left` to `d`, as stored. The bits after the last pixel of the
// last byte written come from the source's following pixels (or 0 past the
// end of its row).
inline void CopyStoredRow(BYTE* d, const DibAccess& src, int y, int left, int width) {
  const int bits = src.BitCount;
  const std::size_t firstByte = static_cast<std::size_t>(left) * bits / 8;
  const int shift = static_cast<int>((static_cast<std::size_t>(left) * bits) % 8);
  const std::size_t count = (static_cast<std::size_t>(width) * bits + 7) / 8;
  const BYTE* s = DibRow(src, y) + firstByte;
  if (!shift) {
    std::memcpy(d, s, count);
    return;
  }
  const std::size_t available = src.RowBytes - firstByte;
  for (std::size_t i = 0; i < count; ++i) {
    const int next = i + 1 < available ? s[i + 1] : 0;
    d[i] = static_cast<BYTE>((s[i] << shift) | (next >> (8 - shift)));
  }
}

}  // namespace qvx
