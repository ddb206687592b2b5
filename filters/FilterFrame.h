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

#include "frame/PixelPolicy.h"
#include "frame/Progress.h"
#include "frame/Resources.h"
#include "frame/Selection.h"
#include "tone/ToneFrame.h"

namespace qvx {

// A colour as filters see it, in the byte order of a 32-bit pixel: blue,
// green, red and a spare byte (the written flag of filters that skip).
struct Bgrx {
  BYTE blue;
  BYTE green;
  BYTE red;
  BYTE spare;
};
static_assert(sizeof(Bgrx) == 4);

inline Bgrx ToBgrx(Rgb c) { return {c.blue, c.green, c.red, 1}; }

// Four 32-bit lanes: blue, green, red and spare sums of a colour.
using Int4 = std::int32_t __attribute__((vector_size(16)));

inline Int4 Widen(Bgrx c) { return Int4{c.blue, c.green, c.red, c.spare}; }

// floor(s / n) by one multiplication, for 0 <= s <= 255 * n and 1 <= n <
// 4096: with m = ceil(2^32 / n), s * m / 2^32 exceeds s / n by less than
// s * n / 2^32 / n < 1 / n, which never reaches the next integer.
class SmallDivisor {
 public:
  SmallDivisor() = default;
  explicit SmallDivisor(std::uint32_t n) : m_(((std::uint64_t{1} << 32) + n - 1) / n) {}
  BYTE operator()(std::int32_t s) const {
    return static_cast<BYTE>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(s)) * m_) >>
                             32);
  }
  Bgrx operator()(Int4 s) const { return {(*this)(s[0]), (*this)(s[1]), (*this)(s[2]), 1}; }

 private:
  std::uint64_t m_ = 0;
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
  auto p = Px::Pos(row, x);
  for (; x <= end; ++x, p = Px::Next(p)) *out++ = ToBgrx(px.Read(p));
  if (x <= to) {
    const Bgrx last = ToBgrx(px.Read(Px::Pos(row, maxX)));
    for (; x <= to; ++x) *out++ = last;
  }
}

template <class Px, class Row>
void StoreRun(const Px& dst, Row row, int x0, int x1, const Bgrx* colours, bool skips) {
  auto p = Px::Pos(row, x0);
  for (int x = x0; x <= x1; ++x, ++colours, p = Px::Next(p))
    if (!skips || colours->spare) dst.Write(p, colours->red, colours->green, colours->blue);
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
  ToneResult result;
  if (!result.Start(source, !writesAll)) return nullptr;
  if (selection.Rect().Empty()) return result.Finish();
  const bool done = [&] {
    if (setup.route == PixelRoute::kRecord)
      return filter_detail::FilterRows(selection, source, result.Record(), PxRecord(&source),
                                       PxRecord(&result.Record()), filter, writesAll,
                                       setup.noDialog);
    return DispatchPixels(source, [&](auto src) {
      const decltype(src) dst{&result.Record()};
      return filter_detail::FilterRows(selection, source, result.Record(), src, dst, filter,
                                       writesAll, setup.noDialog);
    });
  }();
  return done ? result.Finish() : nullptr;
}

// Parameter refusals of the filters: error 5, before anything is locked.
inline HGLOBAL RefuseParameter() {
  SetErrorStatus(kErrorBadParameter);
  return nullptr;
}

}  // namespace qvx
