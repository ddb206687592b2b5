// Mosaic: the work rectangle cut into cells from its top-left corner, each
// cell painted with the integer mean of its colours.
//
// A cell is started while its corner lies in the work rectangle and is
// clipped to the picture, not to the rectangle: its mean includes, and its
// paint reaches, the columns and rows beyond the rectangle's right and
// bottom edges that it covers (painted where they pass the selection test).
//
// Unlike the other filters the mosaic takes every depth. Colour-table
// pictures (grey ramps included) are read through their table and store the
// table entry nearest to the cell's mean.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "filters/FilterFrame.h"
#include "filters/MosaicEffects.h"
#include "platform/QvxCom.h"

namespace qvx {
namespace {

struct CellSum {
  std::uint64_t red, green, blue;
};

// Per-byte sums of a band of rows, over the bytes of the columns the cells
// cover: three bytes a pixel straight from 24-bit rows, four from 32-bit
// rows and from decoded colours (blue, green, red, alpha). Bands of at most
// kBandRows rows keep them within 16 bits.
constexpr int kBandRows = 257;  // 257 x 255 = 65535

QVX_LOOP_BODY void AddBytes(std::uint16_t* sums, const BYTE* bytes, int count) {
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    Byte16 b;
    Word16 sum;
    std::memcpy(&b, bytes + i, sizeof b);
    std::memcpy(&sum, sums + i, sizeof sum);
    sum += __builtin_convertvector(b, Word16);
    std::memcpy(sums + i, &sum, sizeof sum);
  }
  for (; i < count; ++i) sums[i] = static_cast<std::uint16_t>(sums[i] + bytes[i]);
}

// Rows are worked in segments of at most kChunk columns, so that the work
// buffers do not grow with the row: whole cells, as many as fit, or a piece
// of a cell wider than that.
constexpr int kChunk = 4096;

struct WorkBuffers {
  Bgra* row;                // a decoded segment of a row
  std::uint16_t* byteSums;  // per byte of a segment
  CellSum* totals;          // per cell of a segment
  Bgra* painted;            // the paint of a segment
};

struct MosaicJob {
  const Selection& selection;
  DibAccess& source;
  DibAccess& result;
  std::int64_t cellWidth, cellHeight;
  WorkBuffers buffers;
  bool padRows;
  BOOL noDialog;
};

// One pass over the cell rows: sums, means, then the paint, segment by
// segment.
template <class Px>
bool MosaicRows(const MosaicJob& job, const Px& src, const Px& dst) {
  const WorkRect& rect = job.selection.Rect();
  const std::int64_t width = job.source.Width, height = job.source.Height;
  const std::int64_t cw = job.cellWidth;
  const std::int64_t cells = (rect.right - rect.left) / cw + 1;
  // Columns covered by the cells of a row (relative to rect.left): up to
  // the end of the last cell, clipped to the picture.
  const std::int64_t span = std::min(width, rect.left + cells * cw) - rect.left;
  const auto cellEnd = [&](std::int64_t k) { return std::min(span, (k + 1) * cw); };
  // Named copies rather than a structured binding, which lambdas cannot
  // capture under every compiler.
  Bgra* const row = job.buffers.row;
  std::uint16_t* const byteSums = job.buffers.byteSums;
  CellSum* const totals = job.buffers.totals;
  Bgra* const painted = job.buffers.painted;
  // 24- and 32-bit rows are summed as they are, other pixels decoded first.
  constexpr bool kRawRows = std::is_same_v<Px, Px24> || std::is_same_v<Px, Px32>;
  constexpr int kStride = std::is_same_v<Px, Px24> ? 3 : 4;
  // Rows of bit-packed pictures share bytes with their neighbours' pixels.
  const int pixelBits = job.source.BitCount;
  for (std::int64_t top = rect.top; top <= rect.bottom; top += job.cellHeight) {
    const int y0 = static_cast<int>(top);
    const int y1 = static_cast<int>(std::min(height, top + job.cellHeight));  // exclusive
    // Paints columns a..b-1 of the cell row with painted[0 .. b-a-1].
    const auto paint = [&](std::int64_t a, std::int64_t b) {
      const int x0 = static_cast<int>(rect.left + a), x1 = static_cast<int>(rect.left + b - 1);
      for (int y = y0; y < y1; ++y) {
        // Whole rows of byte-aligned pixels repeat the cell row's first row.
        if (y > y0 && job.selection.AllSelected() && pixelBits >= 8) {
          const std::size_t from = static_cast<std::size_t>(x0) * pixelBits / 8;
          std::memcpy(DibRow(job.result, y) + from, DibRow(job.result, y0) + from,
                      static_cast<std::size_t>(b - a) * pixelBits / 8);
        } else {
          const auto out = dst.Row(y);
          job.selection.ForEachRunIn(y, x0, x1, [&](int r0, int r1) {
            filter_detail::StoreRun(dst, out, r0, r1, painted + (r0 - x0), false);
          });
        }
      }
    };
    for (std::int64_t a = 0; a < span;) {
      // The segment a..b-1 and the cells it touches, first..last.
      const std::int64_t first = a / cw;
      const std::int64_t b = cw < kChunk ? std::min(span, (first + kChunk / cw) * cw)
                                         : std::min(cellEnd(first), a + kChunk);
      const std::int64_t last = (b - 1) / cw;
      const int columns = static_cast<int>(b - a);
      // A cell wider than a segment keeps its total from piece to piece.
      if (a == first * cw) std::fill(totals, totals + (last - first + 1), CellSum{0, 0, 0});
      for (int band = y0; band < y1; band += kBandRows) {
        const int bandEnd = band + std::min(kBandRows, y1 - band);
        std::fill(byteSums, byteSums + kStride * columns, std::uint16_t{0});
        for (int y = band; y < bandEnd; ++y) {
          const int x0 = static_cast<int>(rect.left + a);
          const BYTE* bytes = reinterpret_cast<const BYTE*>(row);
          if constexpr (kRawRows)
            bytes = Px::At(DibRow(job.source, y), x0);
          else
            DecodeRow<Px>(&src, y, x0, x0 + columns - 1, job.source.Width - 1, row);
          Vectorised<AddBytes>(byteSums, bytes, kStride * columns);
        }
        for (std::int64_t k = first; k <= last; ++k) {
          std::uint32_t blue = 0, green = 0, red = 0;
          for (std::int64_t i = std::max(a, k * cw) - a, stop = std::min(b, cellEnd(k)) - a;
               i < stop; ++i) {
            const std::uint16_t* sum = byteSums + kStride * i;
            blue += sum[0];
            green += sum[1];
            red += sum[2];
          }
          CellSum& total = totals[k - first];
          total.blue += blue;
          total.green += green;
          total.red += red;
        }
      }
      // Each cell's mean over its columns; cells that end in the segment
      // are painted.
      const auto mean = [&](std::int64_t k) {
        const std::uint64_t count = static_cast<std::uint64_t>(cellEnd(k) - k * cw) * (y1 - y0);
        const CellSum& s = totals[k - first];
        return Bgra{static_cast<BYTE>(s.blue / count), static_cast<BYTE>(s.green / count),
                    static_cast<BYTE>(s.red / count), 1};
      };
      if (cw < kChunk) {
        for (std::int64_t k = first; k <= last; ++k)
          std::fill(painted + (k * cw - a), painted + (cellEnd(k) - a), mean(k));
        paint(a, b);
      } else if (b == cellEnd(first)) {
        std::fill(painted, painted + std::min<std::int64_t>(kChunk, b - first * cw), mean(first));
        for (std::int64_t p = first * cw; p < b; p += kChunk) paint(p, std::min(b, p + kChunk));
      }
      a = b;
    }
    if (job.padRows)
      for (int y = y0; y < y1; ++y) CopyRowPadding(job.source, job.result, y);
    if (!ReportProgress(y0 - rect.top, rect.bottom - rect.top, 0, 100, job.noDialog)) return false;
  }
  return true;
}

}  // namespace

HGLOBAL RunMosaic(const SelectionArgs& args, int cellWidth, int cellHeight, BOOL noDialog,
                  PixelRoute route) {
  if (cellWidth < 1 || cellHeight < 1 || (cellWidth == 1 && cellHeight == 1))
    return RefuseParameter();
  Selection selection;
  if (!selection.Begin(args, kDepthAll)) return nullptr;
  DibAccess& source = selection.Source().Record();
  const WorkRect& rect = selection.Rect();
  // Every pixel is painted when the whole picture is selected; the rows
  // need not be copied first (bit-packed rows are, for their spare bits).
  const bool writesAll = SelectsWholePicture(selection) && source.BitCount >= 8;
  LockedPicture result;
  if (!result.Make(source, !writesAll)) return nullptr;
  if (rect.Empty()) return result.Release();
  // Buffers over the columns of a segment: a decoded row, the byte sums,
  // the cell totals and the painted row.
  const std::size_t chunk = kChunk;
  WorkBlock rowBlock, sumsBlock, totalsBlock, paintedBlock;
  if (!rowBlock.Allocate(sizeof(Bgra) * chunk) ||
      !sumsBlock.Allocate(4 * sizeof(std::uint16_t) * chunk) ||
      !totalsBlock.Allocate(sizeof(CellSum) * (chunk + 1)) ||
      !paintedBlock.Allocate(sizeof(Bgra) * chunk))
    return nullptr;
  const MosaicJob job{selection,
                      source,
                      result.Record(),
                      cellWidth,
                      cellHeight,
                      {rowBlock.As<Bgra>(), sumsBlock.As<std::uint16_t>(),
                       totalsBlock.As<CellSum>(), paintedBlock.As<Bgra>()},
                      writesAll,
                      noDialog};
  // Colour-table pictures (grey ramps included) are read through their
  // table and store the nearest table entry.
  const bool done = DispatchPixels(
      route, source, result.Record(), [&](auto src, auto dst) { return MosaicRows(job, src, dst); },
      PaletteWrites::kNearest);
  return done ? result.Release() : nullptr;
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVMosaic(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, int cellWidth, int cellHeight,
                                BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunMosaic(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                          cellWidth, cellHeight, noDialog);
  });
}
