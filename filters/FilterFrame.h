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
//     row of colours for each run of selected pixels (a piece of at most
//     kPieceColumns at a time) and the frame stores them (16-bit packing, 0
//     in the fourth byte of 32-bit pixels, the grey mix as the index of
//     grey-ramp pictures), asking for the next rows' bytes ahead;
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
//   void Run(FilterJob& job, int y, int x0, int x1, Bgra* out)
//                                  colours of pixels x0..x1 of row y into
//                                  out[x - rect.left]
// and may provide
//   void StartRow(FilterJob& job, int y)   called before the runs of row y
//   static constexpr bool kSkips = true    a colour whose alpha byte is 0 is
//                                          not written (the pixel keeps the
//                                          source's bytes)
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "frame/LockedPicture.h"
#include "frame/PixelPolicy.h"
#include "frame/Progress.h"
#include "frame/Resources.h"
#include "frame/Selection.h"
#include "frame/Simd.h"
#include "frame/SourceRows.h"

namespace qvx {

// Byte shuffles keep the conversions in vector registers.
QVX_LOOP_BODY Int4 Widen(Bgra c) {
  Byte16 bytes{};
  std::memcpy(&bytes, &c, 4);
  const Byte16 zero{};
  return reinterpret_cast<Int4>(
      Shuffle<0, 16, 16, 16, 1, 16, 16, 16, 2, 16, 16, 16, 3, 16, 16, 16>(bytes, zero));
}

// The low byte of each lane.
QVX_LOOP_BODY Bgra Narrow(Int4 v) {
  const Byte16 low =
      Shuffle<0, 4, 8, 12, 0, 4, 8, 12, 0, 4, 8, 12, 0, 4, 8, 12>(reinterpret_cast<Byte16>(v));
  Bgra c;
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
  Int4 operator()(Int4 sum) const { return DivideLanes(sum, Float4{} + inverse_); }
  // The same for each lane of a vector of sums, with the inverses of its
  // own counts.
  template <class Ints, class Floats>
  QVX_LOOP_BODY static Ints DivideLanes(Ints sum, Floats inverse) {
    return __builtin_convertvector((__builtin_convertvector(sum, Floats) + 0.5f) * inverse, Ints);
  }
  // The same for one lane, for loops over lanes.
  static float Inverse(int n) { return 1.0f / static_cast<float>(n); }
  static std::int32_t Divide(std::int32_t sum, float inverse) {
    return static_cast<std::int32_t>((static_cast<float>(sum) + 0.5f) * inverse);
  }

 private:
  float inverse_ = 1.0f;
};

// floor(n / (2^kShift d)) lane by lane, for n >= 0 and quotients q with
// d (q + 1) < 2^22: the shift is a floor of its own (floor(floor(n / 2^k) / d)
// is floor(n / (2^k d))), and the mean division above stays exact as long
// as its two roundings, below (q + 1) 2^-23, keep under 0.5 / d.
template <int kShift, int kDivisor>
QVX_LOOP_BODY Int8 FloorQuotient(Int8 n) {
  static_assert(kDivisor <= 16384);
  return MeanDivisor::DivideLanes(n >> kShift, Float8{} + 1.0f / kDivisor);
}

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

// Stores the colours of pixels x0..x1 of a result row.
template <class Px, class Row>
void StoreRun(const Px& dst, Row row, int x0, int x1, const Bgra* colours, bool skips) {
  auto p = Px::At(row, x0);
  for (int x = x0; x <= x1; ++x, ++colours, p = Px::Next(p))
    if (!skips || colours->alpha) dst.Write(p, colours->red, colours->green, colours->blue);
}

// Runs that skip pixels the same way, each byte taking the new colour's
// where its pixel is written and keeping its own otherwise.
// Sixteen pixels at a time, so that no read of the row overlaps an
// earlier write still in flight.
QVX_LOOP_BODY void Store24Written(BYTE* p, int count, const Bgra* colours) {
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    Byte16 c[4], old[3];
    std::memcpy(c, colours + i, sizeof c);
    std::memcpy(old, p + 3 * i, sizeof old);
    const Byte16 bytes[3] = {
        Shuffle<0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 16, 17, 18, 20>(c[0], c[1]),
        Shuffle<5, 6, 8, 9, 10, 12, 13, 14, 16, 17, 18, 20, 21, 22, 24, 25>(c[1], c[2]),
        Shuffle<10, 12, 13, 14, 16, 17, 18, 20, 21, 22, 24, 25, 26, 28, 29, 30>(c[2], c[3])};
    const Byte16 written[3] = {
        Shuffle<3, 3, 3, 7, 7, 7, 11, 11, 11, 15, 15, 15, 19, 19, 19, 23>(c[0], c[1]),
        Shuffle<7, 7, 11, 11, 11, 15, 15, 15, 19, 19, 19, 23, 23, 23, 27, 27>(c[1], c[2]),
        Shuffle<11, 15, 15, 15, 19, 19, 19, 23, 23, 23, 27, 27, 27, 31, 31, 31>(c[2], c[3])};
    for (int k = 0; k < 3; ++k) old[k] = written[k] != 0 ? bytes[k] : old[k];
    std::memcpy(p + 3 * i, old, sizeof old);
  }
  for (; i < count; ++i)
    if (colours[i].alpha) Px24::Write(p + 3 * i, colours[i].red, colours[i].green, colours[i].blue);
}
inline void StoreRun(const Px24&, BYTE* row, int x0, int x1, const Bgra* colours, bool skips) {
  if (skips) return Vectorised<Store24Written>(Px24::At(row, x0), x1 - x0 + 1, colours);
  Vectorised<Pack24>(Px24::At(row, x0), x1 - x0 + 1, &colours->blue);
}

inline void StoreRun(const Px32& dst, BYTE* row, int x0, int x1, const Bgra* colours, bool skips) {
  if (skips) return StoreRun<Px32, BYTE*>(dst, row, x0, x1, colours, true);
  BYTE* p = Px32::At(row, x0);
  for (int x = x0; x <= x1; ++x, ++colours, p += 4) {
    std::uint32_t word;
    std::memcpy(&word, colours, 4);
    word &= 0x00FFFFFFu;
    std::memcpy(p, &word, 4);
  }
}

inline constexpr int kPieceColumns = 512;

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
  if (!outBlock.Allocate(sizeof(Bgra) * static_cast<std::size_t>(job.Columns()))) return false;
  Bgra* out = outBlock.As<Bgra>();
  if (!filter.Prepare(job)) return false;
  for (int y = rect.top; y <= rect.bottom; ++y) {
    if constexpr (requires { filter.StartRow(job, y); }) filter.StartRow(job, y);
    const auto row = dst.Row(y);
    // Runs go to the filter in pieces, each preceded by a request for the
    // same columns of the source row decoded after this row's and of the
    // next result row: spread out like this, the requests overlap the
    // filter's work instead of stalling it all at once.
    const int ahead = job.rows.Newest() + 2;
    selection.ForEachRun(y, [&](int x0, int x1) {
      for (int a = x0; a <= x1; a += kPieceColumns) {
        const int b = std::min(x1, a + kPieceColumns - 1);
        if (ahead > 1 && ahead < job.height) PrefetchRow<false>(src, ahead, a, b - a + 1);
        if (y < rect.bottom) PrefetchRow<true>(dst, y + 1, a, b - a + 1);
        filter.Run(job, y, a, b, out);
        StoreRun(dst, row, a, b, out + (a - rect.left), Skips<Filter>());
      }
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
  LockedPicture result;
  if (!result.Make(source, !writesAll)) return nullptr;
  if (selection.Rect().Empty()) return result.Release();
  const bool done = DispatchPixels(setup.route, source, result.Record(), [&](auto src, auto dst) {
    return filter_detail::FilterRows(selection, source, result.Record(), src, dst, filter,
                                     writesAll, setup.noDialog);
  });
  return done ? result.Release() : nullptr;
}

// Parameter refusals of the filters: error 5, before anything is locked.
inline HGLOBAL RefuseParameter() {
  SetErrorStatus(kErrorBadParameter);
  return nullptr;
}

}  // namespace qvx
