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
// rows and from decoded colours (blue, green, red, spare). Bands of at most
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

struct WorkBuffers {
  Bgrx* row;
  std::uint16_t* byteSums;
  CellSum* totals;
  Bgrx* painted;
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

// One pass over the cell rows: sums, means, then the paint.
template <class Px>
bool MosaicRows(const MosaicJob& job, const Px& src, const Px& dst) {
  const WorkRect& rect = job.selection.Rect();
  const std::int64_t width = job.source.Width, height = job.source.Height;
  const int cells = static_cast<int>((rect.right - rect.left) / job.cellWidth + 1);
  // Columns covered by the cells of a row: up to the end of the last cell,
  // clipped to the picture.
  const std::int64_t lastStart = rect.left + (cells - 1) * job.cellWidth;
  const int end = static_cast<int>(std::min(width, lastStart + job.cellWidth));  // exclusive
  const int span = end - rect.left;
  const auto cellEnd = [&](int k) {  // exclusive, relative to rect.left
    return static_cast<int>(std::min<std::int64_t>(span, (k + 1) * job.cellWidth));
  };
  // Named copies rather than a structured binding, which lambdas cannot
  // capture under every compiler.
  Bgrx* const row = job.buffers.row;
  std::uint16_t* const byteSums = job.buffers.byteSums;
  CellSum* const totals = job.buffers.totals;
  Bgrx* const painted = job.buffers.painted;
  // 24- and 32-bit rows are summed as they are, other pixels decoded first.
  constexpr bool kRawRows = std::is_same_v<Px, Px24> || std::is_same_v<Px, Px32>;
  constexpr int kStride = std::is_same_v<Px, Px24> ? 3 : 4;
  // Rows of bit-packed pictures share bytes with their neighbours' pixels.
  const int pixelBits = job.source.BitCount;
  for (std::int64_t top = rect.top; top <= rect.bottom; top += job.cellHeight) {
    const int y0 = static_cast<int>(top);
    const int y1 = static_cast<int>(std::min(height, top + job.cellHeight));  // exclusive
    std::fill(totals, totals + cells, CellSum{0, 0, 0});
    for (int band = y0; band < y1; band += kBandRows) {
      const int bandEnd = band + std::min(kBandRows, y1 - band);
      std::fill(byteSums, byteSums + kStride * span, std::uint16_t{0});
      for (int y = band; y < bandEnd; ++y) {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(row);
        if constexpr (kRawRows)
          bytes = Px::At(DibRow(job.source, y), rect.left);
        else
          DecodeRow<Px>(&src, y, rect.left, end - 1, job.source.Width - 1, row);
        Vectorised<AddBytes>(byteSums, bytes, kStride * span);
      }
      for (int k = 0, i = 0; k < cells; ++k) {
        std::uint32_t blue = 0, green = 0, red = 0;
        for (const int stop = cellEnd(k); i < stop; ++i) {
          const std::uint16_t* sum = byteSums + kStride * i;
          blue += sum[0];
          green += sum[1];
          red += sum[2];
        }
        totals[k].blue += blue;
        totals[k].green += green;
        totals[k].red += red;
      }
    }
    // The painted row: each cell's mean over its columns.
    for (int k = 0, i = 0; k < cells; ++k) {
      const std::uint64_t count =
          static_cast<std::uint64_t>(cellEnd(k) - k * job.cellWidth) * (y1 - y0);
      const CellSum& s = totals[k];
      const Bgrx mean{static_cast<BYTE>(s.blue / count), static_cast<BYTE>(s.green / count),
                      static_cast<BYTE>(s.red / count), 1};
      for (const int stop = cellEnd(k); i < stop; ++i) painted[i] = mean;
    }
    for (int y = y0; y < y1; ++y) {
      // Whole rows of byte-aligned pixels repeat the cell row's first row.
      if (y > y0 && job.selection.AllSelected() && pixelBits >= 8) {
        const std::size_t from = static_cast<std::size_t>(rect.left) * pixelBits / 8;
        std::memcpy(DibRow(job.result, y) + from, DibRow(job.result, y0) + from,
                    static_cast<std::size_t>(span) * pixelBits / 8);
      } else {
        const auto out = dst.Row(y);
        job.selection.ForEachRunIn(y, rect.left, end - 1, [&](int x0, int x1) {
          filter_detail::StoreRun(dst, out, x0, x1, painted + (x0 - rect.left), false);
        });
      }
      if (job.padRows) CopyRowPadding(job.source, job.result, y);
    }
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
  // Buffers over the columns the cells cover: a decoded row, the byte sums,
  // the cell totals and the painted row.
  const std::int64_t cells = (rect.right - rect.left) / std::int64_t{cellWidth} + 1;
  const std::int64_t span =
      std::min<std::int64_t>(source.Width, rect.left + cells * std::int64_t{cellWidth}) - rect.left;
  WorkBlock rowBlock, sumsBlock, totalsBlock, paintedBlock;
  if (!rowBlock.Allocate(sizeof(Bgrx) * static_cast<std::size_t>(span)) ||
      !sumsBlock.Allocate(4 * sizeof(std::uint16_t) * static_cast<std::size_t>(span)) ||
      !totalsBlock.Allocate(sizeof(CellSum) * static_cast<std::size_t>(cells)) ||
      !paintedBlock.Allocate(sizeof(Bgrx) * static_cast<std::size_t>(span)))
    return nullptr;
  const MosaicJob job{selection,
                      source,
                      result.Record(),
                      cellWidth,
                      cellHeight,
                      {rowBlock.As<Bgrx>(), sumsBlock.As<std::uint16_t>(),
                       totalsBlock.As<CellSum>(), paintedBlock.As<Bgrx>()},
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
