// The frame every neighbourhood filter (and every distortion) runs in.
//
// A filter computes colours from the source's neighbourhood of each pixel;
// the frame does everything else once:
//   - the selection: mode check, the source locked with the filter's depths
//     (grey 8-bit, 16, 24 and 32 bits unless said otherwise), the work
//     rectangle and the mask;
//   - the result: a copy of the source, every pixel the filter does not
//     write keeping the source's bytes;
//   - source access: rows decoded on demand into a ring of colour rows, each
//     row widened by a margin whose columns repeat the picture's border
//     pixels, and rows outside the picture repeating its top or bottom row;
//   - the rows of the work rectangle from top to bottom: the filter fills a
//     row of colours for each run of selected pixels and the frame stores
//     them (16-bit packing, 0 in the fourth byte of 32-bit pixels, the grey
//     mix as the index of grey-ramp pictures);
//   - progress after each row, cancellation, and releasing every block.
//
// Pixels are read and written through the per-depth policies of
// frame/PixelPolicy.h; the filter's own arithmetic sees only colours, so it
// is the same code for every depth and for the record route that the direct
// policies are tested against.
//
// A filter type provides
//   bool Prepare(FilterJob& job)   allocate its source rows (job.rows) and
//                                  tables once the result exists; false with
//                                  the error status set
//   void Run(FilterJob& job, int y, int x0, int x1, Bgrx* out)
//                                  colours of pixels x0..x1 of row y into
//                                  out[x - rect.left]
// and may provide
//   void StartRow(FilterJob& job, int y)   called before the runs of row y
//   static constexpr bool kSkips = true    a colour whose spare byte is 0 is
//                                          not written (the pixel keeps the
//                                          source's bytes)
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "frame/PixelPolicy.h"
#include "frame/Progress.h"
#include "frame/Resources.h"
#include "frame/Selection.h"
#include "frame/Simd.h"
#include "frame/EffectResult.h"

namespace qvx {

// A colour as filters see it, in the byte order of a 32-bit pixel: blue,
// green, red and a spare byte. Decoded source colours leave the spare byte
// undefined; filters that skip pixels set it in their results (0: not
// written).
struct Bgrx {
  BYTE blue;
  BYTE green;
  BYTE red;
  BYTE spare;
};
static_assert(sizeof(Bgrx) == 4);

inline Bgrx ToBgrx(Rgb c) { return {c.blue, c.green, c.red, 1}; }

// Four lanes, one per byte of a colour.
using Byte16 = std::uint8_t __attribute__((vector_size(16)));
using Int4 = std::int32_t __attribute__((vector_size(16)));
using Float4 = float __attribute__((vector_size(16)));

// Byte shuffles keep the conversions in vector registers.
QVX_LOOP_BODY Int4 Widen(Bgrx c) {
  Byte16 bytes{};
  std::memcpy(&bytes, &c, 4);
  const Byte16 zero{};
  return reinterpret_cast<Int4>(__builtin_shuffle(
      bytes, zero, Byte16{0, 16, 16, 16, 1, 16, 16, 16, 2, 16, 16, 16, 3, 16, 16, 16}));
}

// The low byte of each lane.
QVX_LOOP_BODY Bgrx Narrow(Int4 v) {
  const Byte16 low = __builtin_shuffle(reinterpret_cast<Byte16>(v),
                                       Byte16{0, 4, 8, 12, 0, 4, 8, 12, 0, 4, 8, 12, 0, 4, 8, 12});
  Bgrx c;
  std::memcpy(&c, &low, 4);
  return c;
}

// Integer means: floor(s / n) lane by lane, for 1 <= n <= 16384 and
// 0 <= s <= 255 n, as (s + 0.5) * (1 / n) in single precision, truncated.
// s + 0.5 is exact (below 2^23) and the two roundings move the quotient by
// less than 256 * 2^-23 < 0.5 / n, while (s + 0.5) / n lies at least 0.5 / n
// away from every integer: the truncation is that of s / n.
class MeanDivisor {
 public:
  MeanDivisor() = default;
  explicit MeanDivisor(int n) : inverse_(Inverse(n)) {}
  Int4 operator()(Int4 sum) const {
    const Float4 q = (__builtin_convertvector(sum, Float4) + 0.5f) * inverse_;
    return __builtin_convertvector(q, Int4);
  }
  // The same for one lane, for loops over lanes.
  static float Inverse(int n) { return 1.0f / static_cast<float>(n); }
  static std::int32_t Divide(std::int32_t sum, float inverse) {
    return static_cast<std::int32_t>((static_cast<float>(sum) + 0.5f) * inverse);
  }

 private:
  float inverse_ = 1.0f;
};

// Decodes pixels from..to of picture row y, each column clamped into
// 0..maxX, into out (policy: one of the pixel policies).
using RowDecoder = void (*)(const void* policy, int y, int from, int to, int maxX, Bgrx* out);

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

  const Bgrx* Row(int y) {
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
  Bgrx* data_ = nullptr;
  int* held_ = nullptr;
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
    return slots_ <= kMaxSlots &&
           block_.Allocate(sizeof(T) * static_cast<std::size_t>(stride_) * slots_);
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

// What a filter works on.
struct FilterJob {
  WorkRect rect;  // the work rectangle, not empty
  int width = 0;  // picture size
  int height = 0;
  SourceRows rows;  // the source, decoded
  int Columns() const { return rect.right - rect.left + 1; }
};

struct FilterSetup {
  unsigned depthMask = kDepthGreyAndTrue;
  BOOL noDialog = FALSE;
  PixelRoute route = PixelRoute::kDirect;
};

namespace filter_detail {

template <class Filter>
constexpr bool Skips() {
  if constexpr (requires { Filter::kSkips; })
    return Filter::kSkips;
  else
    return false;
}

// Decodes `count` pixels from position p on.
template <class Px, class Pos>
void DecodeRun(const Px& px, Pos p, int count, Bgrx* out) {
  for (int i = 0; i < count; ++i, p = Px::Next(p)) out[i] = ToBgrx(px.Read(p));
}

// 24-bit pixels are read as four bytes, the fourth belonging to the next
// pixel, except the last one (whose fourth byte may lie beyond the block).
// Four pixels at a time while 16 bytes can be read from the run.
QVX_LOOP_BODY void Decode24(const BYTE* p, int count, Bgrx* out) {
  int i = 0;
  for (; i + 6 <= count; i += 4) {
    Byte16 v;
    std::memcpy(&v, p + 3 * i, 16);
    v = __builtin_shuffle(v, Byte16{0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9, 10, 11, 12});
    std::memcpy(out + i, &v, 16);
  }
  for (; i < count - 1; ++i) std::memcpy(out + i, p + 3 * i, 4);
  if (i < count) out[i] = {p[3 * i], p[3 * i + 1], p[3 * i + 2], 1};
}
inline void DecodeRun(const Px24&, BYTE* p, int count, Bgrx* out) {
  Vectorised<Decode24>(p, count, out);
}

inline void DecodeRun(const Px32&, BYTE* p, int count, Bgrx* out) {
  std::memcpy(out, p, sizeof(Bgrx) * static_cast<std::size_t>(count));
}

template <class Px>
void DecodeRow(const void* policy, int y, int from, int to, int maxX, Bgrx* out) {
  const Px& px = *static_cast<const Px*>(policy);
  const auto row = px.Row(y);
  int x = from;
  if (x < 0) {
    const Bgrx first = ToBgrx(px.Read(Px::Pos(row, 0)));
    for (; x < 0 && x <= to; ++x) *out++ = first;
  }
  const int end = std::min(to, maxX);
  if (x <= end) {
    DecodeRun(px, Px::Pos(row, x), end - x + 1, out);
    out += end - x + 1;
    x = end + 1;
  }
  if (x <= to) {
    const Bgrx last = ToBgrx(px.Read(Px::Pos(row, maxX)));
    for (; x <= to; ++x) *out++ = last;
  }
}

// Stores the colours of pixels x0..x1 of a result row.
template <class Px, class Row>
void StoreRun(const Px& dst, Row row, int x0, int x1, const Bgrx* colours, bool skips) {
  auto p = Px::Pos(row, x0);
  for (int x = x0; x <= x1; ++x, ++colours, p = Px::Next(p))
    if (!skips || colours->spare) dst.Write(p, colours->red, colours->green, colours->blue);
}

// 24-bit runs are written four bytes at a time, each pixel's fourth byte
// overwritten by the next pixel; the last pixel writes its own three.
// Four pixels at a time while 16 bytes can be written inside the run.
QVX_LOOP_BODY void Store24(BYTE* p, int count, const Bgrx* colours) {
  int i = 0;
  for (; i + 6 <= count; i += 4) {
    Byte16 v;
    std::memcpy(&v, colours + i, 16);
    v = __builtin_shuffle(v, Byte16{0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 0, 0, 0, 0});
    std::memcpy(p + 3 * i, &v, 16);
  }
  for (; i < count - 1; ++i) std::memcpy(p + 3 * i, colours + i, 4);
  Px24::Write(p + 3 * i, colours[i].red, colours[i].green, colours[i].blue);
}
inline void StoreRun(const Px24& dst, BYTE* row, int x0, int x1, const Bgrx* colours, bool skips) {
  if (skips) return StoreRun<Px24, BYTE*>(dst, row, x0, x1, colours, true);
  Vectorised<Store24>(Px24::Pos(row, x0), x1 - x0 + 1, colours);
}

inline void StoreRun(const Px32& dst, BYTE* row, int x0, int x1, const Bgrx* colours, bool skips) {
  if (skips) return StoreRun<Px32, BYTE*>(dst, row, x0, x1, colours, true);
  BYTE* p = Px32::Pos(row, x0);
  for (int x = x0; x <= x1; ++x, ++colours, p += 4) {
    std::uint32_t word;
    std::memcpy(&word, colours, 4);
    word &= 0x00FFFFFFu;
    std::memcpy(p, &word, 4);
  }
}

template <class Px, class Filter>
bool FilterRows(const Selection& selection, DibAccess& source, DibAccess& result, const Px& src,
                const Px& dst, Filter& filter, bool padRows, BOOL noDialog) {
  FilterJob job;
  job.rect = selection.Rect();
  job.width = source.Width;
  job.height = source.Height;
  const WorkRect& rect = job.rect;
  job.rows.Bind(&src, &DecodeRow<Px>, rect.left, job.Columns(), job.width, job.height);
  WorkBlock outBlock;
  if (!outBlock.Allocate(sizeof(Bgrx) * static_cast<std::size_t>(job.Columns()))) return false;
  Bgrx* out = outBlock.As<Bgrx>();
  if (!filter.Prepare(job)) return false;
  for (int y = rect.top; y <= rect.bottom; ++y) {
    if constexpr (requires { filter.StartRow(job, y); }) filter.StartRow(job, y);
    const auto row = dst.Row(y);
    selection.ForEachRun(y, [&](int x0, int x1) {
      filter.Run(job, y, x0, x1, out);
      StoreRun(dst, row, x0, x1, out + (x0 - rect.left), Skips<Filter>());
    });
    if (padRows) CopyRowPadding(source, result, y);
    if (!ReportProgress(y - rect.top, rect.bottom - rect.top, 0, 100, noDialog)) return false;
  }
  return true;
}

}  // namespace filter_detail

// Runs a filter: the new picture, or null with the error status set.
template <class Filter>
HGLOBAL RunFilter(const SelectionArgs& args, const FilterSetup& setup, Filter& filter) {
  Selection selection;
  if (!selection.Begin(args, setup.depthMask)) return nullptr;
  DibAccess& source = selection.Source().Record();
  // A filter that writes every pixel of the whole picture need not copy
  // the source's rows first.
  const bool writesAll = !filter_detail::Skips<Filter>() && SelectsWholePicture(selection);
  EffectResult result;
  if (!result.Start(source, !writesAll)) return nullptr;
  if (selection.Rect().Empty()) return result.Finish();
  const bool done =
      DispatchPixelPair(setup.route, source, result.Record(), [&](auto src, auto dst) {
        return filter_detail::FilterRows(selection, source, result.Record(), src, dst, filter,
                                         writesAll, setup.noDialog);
      });
  return done ? result.Finish() : nullptr;
}

// Parameter refusals of the filters: error 5, before anything is locked.
inline HGLOBAL RefuseParameter() {
  SetErrorStatus(kErrorBadParameter);
  return nullptr;
}

}  // namespace qvx
