// Shared pieces of the portable mask rasteriser: writes into the rows of a
// 1-bit picture, clipped to it, and exact integer helpers for geometry that
// may lie anywhere in the 32-bit coordinate range.
#pragma once

#include <cstdint>

#include "platform/MaskRaster.h"

namespace qvx::mask {

// True when the rows describe a picture that can be drawn into: pixels, a
// positive size and rows long enough for the width. Anything else is treated
// as a drawing surface that cannot be made.
bool Usable(const MonoRows& rows);

// Row y (from the top) of the picture; y must be inside it.
inline BYTE* RowAt(const MonoRows& rows, int y) {
  return rows.bits +
         static_cast<std::size_t>(rows.rowBytes) * static_cast<std::size_t>(rows.height - 1 - y);
}

inline bool PixelSet(const BYTE* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// Sets pixels x0..x1 (both included) of row y to 1 (white), after cutting the
// span to the picture. Unclipped 64-bit geometry may be passed straight in;
// nothing outside the picture, and no bit past the width, is ever written.
void FillSpan(const MonoRows& rows, std::int64_t y, std::int64_t x0, std::int64_t x1);

inline void SetPixel(const MonoRows& rows, std::int64_t x, std::int64_t y) {
  FillSpan(rows, y, x, x);
}

// floor(n / c) for c > 0.
inline std::int64_t FloorDiv(std::int64_t n, std::int64_t c) {
  const std::int64_t q = n / c;
  return (n % c < 0) ? q - 1 : q;
}

// floor((a * b + d) / c), exactly, for c > 0, 0 <= b < 2^32, |a| <= 2^34,
// |d| <= 2^40, whenever the result itself stays within 2^40. The product
// a * b may need 66 bits, so b is split into 16-bit halves and the division
// is done in two steps, each of whose intermediates fits 52 bits.
inline std::int64_t FloorMulDiv(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
  const std::int64_t high = b >> 16;
  const std::int64_t low = b & 0xFFFF;
  const std::int64_t q1 = FloorDiv(a * high, c);
  const std::int64_t r1 = a * high - q1 * c;  // 0 <= r1 < c
  return q1 * 65536 + FloorDiv(r1 * 65536 + a * low + d, c);
}

// Draws the line rule (first point set, last not) from (x1, y1) to (x2, y2)
// into the picture; shared by lines and polygon outlines.
void DrawLine(const MonoRows& rows, std::int64_t x1, std::int64_t y1, std::int64_t x2,
              std::int64_t y2);

}  // namespace qvx::mask
