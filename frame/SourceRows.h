// Source rows decoded into colours, for frames whose effects read a pixel's
// neighbourhood: a ring of rows decoded on demand through a pixel policy,
// each widened by a margin whose columns repeat the picture's border pixels,
// rows outside the picture repeating its top or bottom row; and rings of
// rows derived from them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "frame/ErrorCodes.h"
#include "frame/Packed24.h"
#include "frame/PixelPolicy.h"
#include "frame/Resources.h"
#include "frame/Simd.h"
#include "platform/QvxCom.h"

namespace qvx {

inline Bgra ToBgra(Rgb c) { return {c.blue, c.green, c.red, 1}; }

// Decodes pixels from..to of picture row y, each column clamped into
// 0..maxX, into out (policy: one of the pixel policies).
using RowDecoder = void (*)(const void* policy, int y, int from, int to, int maxX, Bgra* out);

// A ring of decoded source rows. Row(y) gives picture row y clamped into
// the picture, as colours indexed from the work rectangle's left column:
// valid indices run from -pad to columns - 1 + pad, columns outside the
// picture repeating its first or last column. A slot holds one picture row,
// slot y mod slots, so any `slots` consecutive rows are held together.
class SourceRows {
 public:
  void Bind(const void* policy, RowDecoder decode, int left, int columns, int width, int height) {
    policy_ = policy;
    decode_ = decode;
    left_ = left;
    columns_ = columns;
    width_ = width;
    height_ = height;
  }
  // Error 3 when the ring cannot be had.
  bool Allocate(int slots, int pad);

  // The last picture row decoded, -1 before the first.
  int Newest() const { return newest_; }

  const Bgra* Row(int y) {
    const int cy = y < 0 ? 0 : (y >= height_ ? height_ - 1 : y);
    const int slot = cy % slots_;
    if (held_[slot] != cy) Load(slot, cy);
    return data_ + static_cast<std::ptrdiff_t>(slot) * stride_ + pad_;
  }

 private:
  void Load(int slot, int y);

  const void* policy_ = nullptr;
  RowDecoder decode_ = nullptr;
  int left_ = 0, columns_ = 0, width_ = 0, height_ = 0;
  int slots_ = 0, pad_ = 0, stride_ = 0;
  WorkBlock block_;
  Bgra* data_ = nullptr;
  int* held_ = nullptr;
  int newest_ = -1;
};

// A ring of rows derived from the source rows (luminances, wider lanes):
// `perPixel` values of T per column, the same columns as the source rows
// (from -pad on), picture row y in slot y mod slots.
template <class T>
class DerivedRows {
 public:
  // Error 3 when the ring cannot be had.
  bool Allocate(int slots, int pad, int columns, int perPixel, int height) {
    slots_ = std::max(1, std::min(slots, height));
    pad_ = pad;
    perPixel_ = perPixel;
    stride_ = (columns + 2 * pad) * perPixel;
    height_ = height;
    std::fill(held_, held_ + kMaxSlots, -1);
    if (slots_ > kMaxSlots) {
      SetErrorStatus(kErrorNoMemory);
      return false;
    }
    return block_.Allocate(sizeof(T) * static_cast<std::size_t>(stride_) * slots_);
  }
  // Row y clamped into the picture, indexed from the work rectangle's left
  // column; derive(out, source, count) fills a new row from the source row
  // (both starting at column -pad, count columns).
  template <class Derive>
  const T* Row(SourceRows& rows, int y, Derive&& derive) {
    const int cy = y < 0 ? 0 : (y >= height_ ? height_ - 1 : y);
    const int slot = cy % slots_;
    T* row = block_.As<T>() + static_cast<std::ptrdiff_t>(slot) * stride_;
    if (held_[slot] != cy) {
      held_[slot] = cy;
      derive(row, rows.Row(cy) - pad_, stride_ / perPixel_);
    }
    return row + pad_ * perPixel_;
  }

 private:
  static constexpr int kMaxSlots = 16;
  WorkBlock block_;
  int slots_ = 1, pad_ = 0, perPixel_ = 1, stride_ = 0, height_ = 1;
  int held_[kMaxSlots];
};

// Decoders of pixel runs into colours, one per policy (DecodeRow<Px> is
// the RowDecoder of policy Px).
// Decodes `count` pixels from position p on.
template <class Px, class Pos>
void DecodeRun(const Px& px, Pos p, int count, Bgra* out) {
  for (int i = 0; i < count; ++i, p = Px::Next(p)) out[i] = ToBgra(px.Read(p));
}

inline void DecodeRun(const Px24&, BYTE* p, int count, Bgra* out) {
  Vectorised<Unpack24<false>>(static_cast<const BYTE*>(p), count, &out->blue);
}

inline void DecodeRun(const Px32&, BYTE* p, int count, Bgra* out) {
  std::memcpy(out, p, sizeof(Bgra) * static_cast<std::size_t>(count));
}

template <class Px>
void DecodeRow(const void* policy, int y, int from, int to, int maxX, Bgra* out) {
  const Px& px = *static_cast<const Px*>(policy);
  const auto row = px.Row(y);
  int x = from;
  if (x < 0) {
    const Bgra first = ToBgra(px.Read(Px::At(row, 0)));
    for (; x < 0 && x <= to; ++x) *out++ = first;
  }
  const int end = std::min(to, maxX);
  if (x <= end) {
    DecodeRun(px, Px::At(row, x), end - x + 1, out);
    out += end - x + 1;
    x = end + 1;
  }
  if (x <= to) {
    const Bgra last = ToBgra(px.Read(Px::At(row, maxX)));
    for (; x <= to; ++x) *out++ = last;
  }
}

}  // namespace qvx
