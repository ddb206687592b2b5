// The box-average shrink shared by resizing and ResizeColorBit (private to
// geometry/): every result pixel is the truncated mean of the source box it
// covers, summed per channel in 32-bit integers.
//
// 24- and 32-bit pictures take a byte-wise route: the rows of a box are
// first summed down each byte column in vector lanes, then the column sums
// of each box are added across and divided. Both routes add the same
// integers and divide them exactly, so they give the same bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "frame/Resources.h"
#include "frame/Simd.h"
#include "geometry/GeometryPixels.h"
#include "geometry/ProgressRange.h"

namespace qvx {

// The source area a box average reads: `width` x `height` pixels from
// (left, top) of the source picture.
struct SourceArea {
  int left, top, width, height;
};

// Box sums divided by their pixel count through a multiply and a shift:
// with m = floor(2^24 / count) + 1, (sum * m) >> 24 is sum / count for every
// sum up to 255 * count when count * 255 * count stays below 2^24, that is
// for counts up to kMaxMultipliedCount (tested for every such count and
// sum); sum * m then stays below 2^32.
inline constexpr std::uint32_t kMaxMultipliedCount = 256;
inline constexpr int kMultiplierShift = 24;
inline std::uint32_t CountMultiplier(std::uint32_t count) {
  return (std::uint32_t{1} << kMultiplierShift) / count + 1;
}
inline std::uint32_t DivideByMultiplier(std::uint32_t sum, std::uint32_t multiplier) {
  return (sum * multiplier) >> kMultiplierShift;
}

// The byte-wise route's column sums are kept for source areas up to this
// many bytes across (its tables then take at most a few megabytes).
inline constexpr std::size_t kMaxSummedRowBytes = std::size_t{1} << 19;

// Work tables of one box-average pass: the column spans and the per-column
// sums of one chunk of a result row; for the byte-wise route, the sums down
// every byte column of the area and a multiplier per span width.
struct BoxTables {
  WorkBlock spans;
  WorkBlock sums;
  WorkBlock byteSums;
  WorkBlock multipliers;
  int chunk = 0;
  bool byteWise = false;
  // `areaWidth` pixels of `bitCount` bits are read across.
  bool Allocate(int resultWidth, int areaWidth, int bitCount) {
    chunk = ColumnChunk(resultWidth);
    const std::size_t n = static_cast<std::size_t>(chunk);
    const std::size_t rowBytes = static_cast<std::size_t>(areaWidth) * (bitCount / 8);
    byteWise = (bitCount == 24 || bitCount == 32) && chunk == resultWidth &&
               rowBytes <= kMaxSummedRowBytes;
    // Room after the sums: the last pixel's sums are read eight 16-bit or
    // four 32-bit sums at a time.
    if (byteWise && !(byteSums.Allocate((rowBytes + 8) * sizeof(std::uint32_t)) &&
                      multipliers.Allocate((static_cast<std::size_t>(areaWidth) + 1) *
                                           sizeof(std::uint32_t))))
      return false;
    return spans.Allocate(n * sizeof(BoxSpan)) && sums.Allocate(n * 3 * sizeof(std::uint32_t));
  }
};

// Up to this many rows are summed in 16 bits (257 x 255 < 2^16).
inline constexpr int kRowsIn16Bits = 257;

// sums[i] = the sum of the `count` bytes i of the rows from `first` on, each
// `step` bytes after the one before, for i below `bytes`. Sums of more than
// kRowsIn16Bits rows are 32-bit; they add 16-bit sums of runs of rows.
template <class Sum>
QVX_LOOP_BODY void SumByteColumns(const BYTE* first, std::ptrdiff_t step, int count, int bytes,
                                  Sum* sums) {
  int i = 0;
  for (; i + 16 <= bytes; i += 16) {
    Lanes8 low{}, high{};
    const BYTE* p = first + i;
    for (int done = 0; done < count;) {
      const int run = std::min(kRowsIn16Bits, count - done);
      Word16 run16{};
      for (int r = 0; r < run; ++r, p += step) {
        Byte16 b;
        std::memcpy(&b, p, 16);
        run16 += __builtin_convertvector(b, Word16);
      }
      done += run;
      if constexpr (sizeof(Sum) == 2) {
        std::memcpy(sums + i, &run16, 32);
      } else {
        Word8 halves[2];
        std::memcpy(halves, &run16, 32);
        low += __builtin_convertvector(halves[0], Lanes8);
        high += __builtin_convertvector(halves[1], Lanes8);
      }
    }
    if constexpr (sizeof(Sum) == 4) {
      std::memcpy(sums + i, &low, 32);
      std::memcpy(sums + i + 8, &high, 32);
    }
  }
  for (; i < bytes; ++i) {
    Sum sum = 0;
    const BYTE* p = first + i;
    for (int r = 0; r < count; ++r, p += step) sum = static_cast<Sum>(sum + *p);
    sums[i] = sum;
  }
}

// Four sums from p (the fourth of no meaning for 24-bit pixels) in 32-bit
// lanes; reads 16 bytes.
template <class Sum>
QVX_LOOP_BODY Int4 SumLanes(const Sum* p) {
  if constexpr (sizeof(Sum) == 2) {
    Word8 v;
    std::memcpy(&v, p, 16);
    return reinterpret_cast<Int4>(Shuffle<0, 8, 1, 8, 2, 8, 3, 8>(v, Word8{}));
  } else {
    Int4 v;
    std::memcpy(&v, p, 16);
    return v;
  }
}

// One result row from the column sums: pixel x of `out` (kBytes bytes each)
// is the mean of the sums of spans[x]. Multiplied when `multipliers` is set
// (indexed by span width), divided otherwise. A 24-bit pixel is stored as
// four bytes, the fourth overwritten by the next pixel, except the last.
template <int kBytes, class Sum>
QVX_LOOP_BODY void AverageAcross(const Sum* sums, const BoxSpan* spans, int n,
                                 std::uint32_t height, const std::uint32_t* multipliers,
                                 BYTE* out) {
  for (int x = 0; x < n; ++x, out += kBytes) {
    const int first = spans[x].first, end = spans[x].end;
    Int4 sum{};
    for (int sx = first; sx < end; ++sx) sum += SumLanes(sums + kBytes * sx);
    const auto width = static_cast<std::uint32_t>(end - first);
    Int4 mean;
    if (multipliers) {
      // Lane by lane DivideByMultiplier.
      mean = reinterpret_cast<Int4>((reinterpret_cast<Unsigned4>(sum) * multipliers[width]) >>
                                    kMultiplierShift);
    } else {
      const std::uint32_t count = width * height;
      mean = Int4{static_cast<std::int32_t>(static_cast<std::uint32_t>(sum[0]) / count),
                  static_cast<std::int32_t>(static_cast<std::uint32_t>(sum[1]) / count),
                  static_cast<std::int32_t>(static_cast<std::uint32_t>(sum[2]) / count), 0};
    }
    unsigned bytes = PackLanes(mean);
    if constexpr (kBytes == 4) bytes &= 0xFFFFFFu;
    if (kBytes == 4 || x + 1 < n)
      std::memcpy(out, &bytes, 4);
    else
      std::memcpy(out, &bytes, 3);
  }
}

// Fills result rows 0..resultHeight-1 of `dst` (resultWidth pixels each)
// with box averages of `area` of `src`. A span that would be empty (a
// result larger than the area) is widened to its first pixel. Reports each
// row into `range` unless `range` is null; false when cancelled.
template <class Px>
bool BoxAverageRows(const Px& src, SourceArea area, const Px& dst, int resultWidth,
                    int resultHeight, BoxTables& tables, const ProgressRange* range,
                    BOOL noDialog) {
  const double rx = static_cast<double>(area.width) / resultWidth;
  const double ry = static_cast<double>(area.height) / resultHeight;
  auto* spans = tables.spans.As<BoxSpan>();
  auto* sums = tables.sums.As<std::uint32_t>();
  const auto widened = [](BoxSpan span) {
    if (span.end <= span.first) span.end = span.first + 1;
    return span;
  };
  const auto fill = [&](int first, int n) {
    for (int x = 0; x < n; ++x) spans[x] = widened(BoxSpanFor(first + x, rx, area.width));
  };
  const int chunk = tables.chunk;
  const bool whole = chunk == resultWidth;
  if (whole) fill(0, resultWidth);
  if constexpr (std::is_same_v<Px, Px24> || std::is_same_v<Px, Px32>) {
    if (tables.byteWise) {
      constexpr int kBytes = std::is_same_v<Px, Px24> ? 3 : 4;
      auto* multipliers = tables.multipliers.As<std::uint32_t>();
      int widest = 1;
      for (int x = 0; x < resultWidth; ++x) widest = std::max(widest, spans[x].end - spans[x].first);
      // Result row y from source rows `first` on, `height` of them.
      const auto averageRow = [&](int y, int first, int height, auto* columnSums) {
        using Sum = std::remove_pointer_t<decltype(columnSums)>;
        Vectorised<SumByteColumns<Sum>>(
            static_cast<const BYTE*>(src.Row(area.top + first)) +
                kBytes * static_cast<std::ptrdiff_t>(area.left),
            -src.stride, height, kBytes * area.width, columnSums);
        const bool multiply =
            std::uint64_t{static_cast<std::uint32_t>(widest)} * height <= kMaxMultipliedCount;
        if (multiply)
          for (int w = 1; w <= widest; ++w)
            multipliers[w] = CountMultiplier(static_cast<std::uint32_t>(w * height));
        Vectorised<AverageAcross<kBytes, Sum>>(
            static_cast<const Sum*>(columnSums),
            static_cast<const BoxSpan*>(spans), resultWidth, static_cast<std::uint32_t>(height),
            static_cast<const std::uint32_t*>(multiply ? multipliers : nullptr), dst.Row(y));
      };
      for (int y = 0; y < resultHeight; ++y) {
        const BoxSpan rows = widened(BoxSpanFor(y, ry, area.height));
        const int height = rows.end - rows.first;
        if (height <= kRowsIn16Bits)
          averageRow(y, rows.first, height, tables.byteSums.As<std::uint16_t>());
        else
          averageRow(y, rows.first, height, tables.byteSums.As<std::uint32_t>());
        if (range && !ReportRow(y, resultHeight, *range, noDialog)) return false;
      }
      return true;
    }
  }
  for (int y = 0; y < resultHeight; ++y) {
    const BoxSpan rows = widened(BoxSpanFor(y, ry, area.height));
    const std::uint32_t height = static_cast<std::uint32_t>(rows.end - rows.first);
    for (int first = 0; first < resultWidth; first += chunk) {
      const int n = std::min(chunk, resultWidth - first);
      if (!whole) fill(first, n);
      std::memset(sums, 0, static_cast<std::size_t>(n) * 3 * sizeof(std::uint32_t));
      for (int sy = rows.first; sy < rows.end; ++sy) {
        const auto row = src.Row(area.top + sy);
        std::uint32_t* sum = sums;
        for (int x = 0; x < n; ++x, sum += 3) {
          auto p = src.At(row, area.left + spans[x].first);
          std::uint32_t r = 0, g = 0, b = 0;
          for (int sx = spans[x].first; sx < spans[x].end; ++sx, p = src.Next(p)) {
            const Rgb c = src.Read(p);
            r += c.red;
            g += c.green;
            b += c.blue;
          }
          sum[0] += r;
          sum[1] += g;
          sum[2] += b;
        }
      }
      auto d = dst.At(dst.Row(y), first);
      const std::uint32_t* sum = sums;
      for (int x = 0; x < n; ++x, sum += 3, d = dst.Next(d)) {
        const std::uint32_t count =
            static_cast<std::uint32_t>(spans[x].end - spans[x].first) * height;
        dst.Store(d, Rgb{static_cast<BYTE>(sum[0] / count), static_cast<BYTE>(sum[1] / count),
                         static_cast<BYTE>(sum[2] / count)});
      }
    }
    if (range && !ReportRow(y, resultHeight, *range, noDialog)) return false;
  }
  return true;
}

}  // namespace qvx
