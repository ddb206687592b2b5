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
#include <cstdint>
#include <limits>

#include "exports/ExportFrame.h"
#include "exports/QvxEffect.h"
#include "filters/FilterFrame.h"
#include "filters/MosaicEffects.h"
#include "platform/QvxCom.h"

namespace qvx {
namespace {

// Colour-table pictures through the record's cursor: reads give the table
// colour of the index, writes store the nearest table entry.
struct PxTable {
  DibAccess* rec;
  using Where = PxRecord::Where;
  int Row(int y) const { return y; }
  static Where Pos(int row, int x) { return {x, row}; }
  static Where Next(Where p) { return {p.x + 1, p.y}; }
  Rgb Read(Where p) const {
    GetDibPixel(rec, p.x, p.y);
    return {rec->Red, rec->Green, rec->Blue};
  }
  void Write(Where p, BYTE r, BYTE g, BYTE b) const {
    rec->Index = GetRgbtoPal(rec->Header, r, g, b);
    const std::int32_t useRgb = rec->UseRgb;
    rec->UseRgb = 0;
    SetDibPixel(rec, p.x, p.y);
    rec->UseRgb = useRgb;
  }
};

struct CellSum {
  std::uint64_t red, green, blue;
};

struct MosaicJob {
  const Selection& selection;
  DibAccess& source;
  DibAccess& result;
  std::int64_t cellWidth, cellHeight;
  CellSum* sums;  // one per cell of a cell row
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
  const auto cellOf = [&](int x) { return static_cast<int>((x - rect.left) / job.cellWidth); };
  for (std::int64_t top = rect.top; top <= rect.bottom; top += job.cellHeight) {
    const int y0 = static_cast<int>(top);
    const int y1 = static_cast<int>(std::min(height, top + job.cellHeight));  // exclusive
    std::fill(job.sums, job.sums + cells, CellSum{0, 0, 0});
    for (int y = y0; y < y1; ++y) {
      auto p = Px::Pos(src.Row(y), rect.left);
      for (int x = rect.left; x < end;) {
        CellSum& sum = job.sums[cellOf(x)];
        const int stop = static_cast<int>(std::min<std::int64_t>(end, x + job.cellWidth));
        std::uint32_t r = 0, g = 0, b = 0;
        for (; x < stop; ++x, p = Px::Next(p)) {
          const Rgb c = src.Read(p);
          r += c.red;
          g += c.green;
          b += c.blue;
        }
        sum.red += r;
        sum.green += g;
        sum.blue += b;
      }
    }
    // The means, kept in the sums' place.
    for (int k = 0; k < cells; ++k) {
      const std::int64_t cx = rect.left + k * job.cellWidth;
      const std::uint64_t count =
          static_cast<std::uint64_t>((std::min(width, cx + job.cellWidth) - cx) * (y1 - y0));
      CellSum& s = job.sums[k];
      s = {s.red / count, s.green / count, s.blue / count};
    }
    if (!job.selection.NoneSelected()) {
      const bool all = job.selection.AllSelected();
      for (int y = y0; y < y1; ++y) {
        const MaskRow mask = all ? MaskRow{} : job.selection.Row(y);
        auto p = Px::Pos(dst.Row(y), rect.left);
        for (int x = rect.left; x < end;) {
          const CellSum& mean = job.sums[cellOf(x)];
          const BYTE r = static_cast<BYTE>(mean.red), g = static_cast<BYTE>(mean.green),
                     b = static_cast<BYTE>(mean.blue);
          const int stop = static_cast<int>(std::min<std::int64_t>(end, x + job.cellWidth));
          for (; x < stop; ++x, p = Px::Next(p))
            if (all || mask.Selected(x)) dst.Write(p, r, g, b);
        }
        if (job.padRows) CopyRowPadding(job.source, job.result, y);
      }
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
  ToneResult result;
  if (!result.Start(source, !writesAll)) return nullptr;
  if (rect.Empty()) return result.Finish();
  WorkBlock sums;
  const std::int64_t cells = (rect.right - rect.left) / std::int64_t{cellWidth} + 1;
  if (!sums.Allocate(sizeof(CellSum) * static_cast<std::size_t>(cells))) return nullptr;
  const MosaicJob job{selection,          source,    result.Record(), cellWidth, cellHeight,
                      sums.As<CellSum>(), writesAll, noDialog};
  bool done;
  if (route == PixelRoute::kRecord && source.BitCount >= 16)
    done = MosaicRows(job, PxRecord(&source), PxRecord(&result.Record()));
  else
    switch (source.BitCount) {
      case 32:
        done = MosaicRows(job, Px32{&source}, Px32{&result.Record()});
        break;
      case 24:
        done = MosaicRows(job, Px24{&source}, Px24{&result.Record()});
        break;
      case 16:
        done = MosaicRows(job, Px16{&source}, Px16{&result.Record()});
        break;
      default:
        source.UseRgb = 1;
        done = MosaicRows(job, PxTable{&source}, PxTable{&result.Record()});
        break;
    }
  return done ? result.Finish() : nullptr;
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
