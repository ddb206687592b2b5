// Row movers of the geometric workers (private to geometry/), over the
// pixel policies of frame/PixelPolicy.h, with 24-bit forms that move
// several bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/LockedPicture.h"
#include "frame/PixelPolicy.h"
#include "frame/Simd.h"
#include "geometry/Sampling.h"

namespace qvx {

// Per-column work tables cover at most this many result columns at a time
// (a few megabytes at most), so that their size stays in proportion to the
// picture whatever its width. Results up to this width, which are nearly
// all, are worked on in one chunk, with their tables made once per call.
inline constexpr int kColumnChunk = 1 << 15;
inline int ColumnChunk(int width) { return width < kColumnChunk ? width : kColumnChunk; }

// Result pixels first..first+n-1 of row y of `dst` take, pixel by pixel, the
// pixels columns[0..n-1] of row sy of `src` (Transfer without alpha).
template <class Px>
void GatherRow(const Px& dst, int y, int first, const Px& src, int sy, const int* columns,
               int n) {
  const auto row = src.Row(sy);
  auto d = dst.At(dst.Row(y), first);
  for (int x = 0; x < n; ++x, d = dst.Next(d)) dst.Transfer(d, src, src.At(row, columns[x]), false);
}

// 24-bit pixels are read as 4 bytes and written two at a time as 8 bytes,
// the surplus bytes being overwritten by the next pixels. A 4-byte read of
// a row's last pixel stays inside the block unless the row is the last one
// in memory (the top row) and has no padding; that row, and the last pixels
// of every run, move bytewise.
inline void GatherRow(const Px24& dst, int y, int first, const Px24& src, int sy,
                      const int* columns, int n) {
  const BYTE* row = src.Row(sy);
  BYTE* d = dst.Row(y) + 3 * static_cast<std::ptrdiff_t>(first);
  int x = 0;
  const bool wideReads = sy != 0 || src.stride > 3 * static_cast<std::ptrdiff_t>(src.rec->Width);
  if (wideReads) {
    const auto load = [row](int column) {
      std::uint32_t v;
      std::memcpy(&v, row + 3 * static_cast<std::ptrdiff_t>(column), 4);
      return std::uint64_t{v & 0xFFFFFFu};
    };
    for (; x + 2 < n; x += 2, d += 6) {
      const std::uint64_t pair = load(columns[x]) | (load(columns[x + 1]) << 24);
      std::memcpy(d, &pair, 8);
    }
  }
  for (; x < n; ++x, d += 3)
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

// `count` 24-bit pixels from d on take the pixels from s on, `step` bytes
// apart, as one 4-byte load and store each: the load starts a byte before
// the pixel (the header lies before the first one), the store's fourth byte
// is overwritten by the next pixel; the last pixel moves bytewise.
QVX_LOOP_BODY void StepRun24(BYTE* d, const BYTE* s, int count, std::ptrdiff_t step) {
  for (int i = 0; i < count - 1; ++i, d += 3, s += step) {
    std::uint32_t v;
    std::memcpy(&v, s - 1, 4);
    v >>= 8;
    std::memcpy(d, &v, 4);
  }
  d[0] = s[0];
  d[1] = s[1];
  d[2] = s[2];
}

// A run read leftwards from s (a row turned end for end): four pixels per
// 16-byte move. The load ends with the fourth pixel's last byte, so it
// starts four bytes before its group of four pixels (inside the block: the
// header lies before the first row); the store's last four bytes are
// overwritten by the next step, which is why the wide steps run while six
// pixels remain.
QVX_LOOP_BODY void ReverseRun24(BYTE* d, const BYTE* s, int count) {
  int i = 0;
  for (; i + 6 <= count; i += 4, d += 12, s -= 12) {
    Byte16 v;
    std::memcpy(&v, s - 13, 16);
    v = Shuffle<13, 14, 15, 10, 11, 12, 7, 8, 9, 4, 5, 6, 0, 1, 2, 3>(v);
    std::memcpy(d, &v, 16);
  }
  StepRun24(d, s, count - i, -3);
}

// The same for 32-bit pixels, whose fourth bytes stay when `keepAlpha`
// and become 0 otherwise.
QVX_LOOP_BODY void ReverseRun32(BYTE* d, const BYTE* s, int count, bool keepAlpha) {
  const Byte16 keep = keepAlpha ? Byte16{} + 255 : Byte16{255, 255, 255, 0, 255, 255, 255, 0,
                                                          255, 255, 255, 0, 255, 255, 255, 0};
  int i = 0;
  for (; i + 4 <= count; i += 4, d += 16, s -= 16) {
    Byte16 v;
    std::memcpy(&v, s - 12, 16);
    v = Shuffle<12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3>(v) & keep;
    std::memcpy(d, &v, 16);
  }
  for (; i < count; ++i, d += 4, s -= 4) {
    std::memcpy(d, s, 4);
    d[3] = keepAlpha ? s[3] : 0;
  }
}

// `count` 24-bit pixels from d on in one colour: five pixels per 16-byte
// store, whose last byte the next store overwrites.
QVX_LOOP_BODY void FillRun24(BYTE* d, Rgb c, int count) {
  Byte16 five;
  for (int k = 0; k < 16; k += 3) {
    five[k] = c.blue;
    if (k + 1 < 16) five[k + 1] = c.green;
    if (k + 2 < 16) five[k + 2] = c.red;
  }
  int i = 0;
  for (; i + 5 < count; i += 5, d += 15) std::memcpy(d, &five, 16);
  for (; i < count; ++i, d += 3) Px24::Write(d, c.red, c.green, c.blue);
}

// `count` pixels from d on take the whole pixel w (Fill), or its colour
// (Store: the grey index on grey ramps) when `asColour`.
template <class Px, class Pos>
void FillRun(const Px& dst, Pos d, int count, const WholePixel& w, bool asColour) {
  for (int i = 0; i < count; ++i, d = dst.Next(d)) {
    if (asColour)
      dst.Store(d, w.colour);
    else
      dst.Fill(d, w);
  }
}
inline void FillRun(const Px24&, BYTE* d, int count, const WholePixel& w, bool) {
  FillRun24(d, w.colour, count);
}

// (The source position is not const so that these overloads, not the
// template, match the policies' positions.)
inline void TransferRun(const Px24&, BYTE* d, const Px24& src, BYTE* s, int count, int dx, int dy,
                        bool) {
  if (dx == -1 && dy == 0)
    Vectorised<ReverseRun24>(d, s, count);
  else
    StepRun24(d, s, count, 3 * dx - dy * src.stride);
}

inline void TransferRun(const Px32& dst, BYTE* d, const Px32& src, BYTE* s, int count, int dx,
                        int dy, bool keepAlpha) {
  if (dx == -1 && dy == 0)
    Vectorised<ReverseRun32>(d, s, count, keepAlpha);
  else
    for (int i = 0; i < count; ++i, d += 4, s += 4 * dx - dy * src.stride)
      dst.Transfer(d, src, s, keepAlpha);
}

}  // namespace qvx
