// The box-average shrink shared by resizing and ResizeColorBit (private to
// geometry/): every result pixel is the truncated mean of the source box it
// covers, summed per channel in 32-bit integers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "frame/Resources.h"
#include "geometry/GeometryPixels.h"
#include "geometry/ProgressRange.h"

namespace qvx {

// The source area a box average reads: `width` x `height` pixels from
// (left, top) of the source picture.
struct SourceArea {
  int left, top, width, height;
};

// Work tables of one box-average pass: the column spans and the per-column
// sums of one chunk of a result row.
struct BoxTables {
  WorkBlock spans;
  WorkBlock sums;
  int chunk = 0;
  bool Allocate(int resultWidth) {
    chunk = ColumnChunk(resultWidth);
    const std::size_t n = static_cast<std::size_t>(chunk);
    return spans.Allocate(n * sizeof(BoxSpan)) && sums.Allocate(n * 3 * sizeof(std::uint32_t));
  }
};

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
