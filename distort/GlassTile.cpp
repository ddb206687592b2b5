// Glass tiles: the work rectangle cut into tiles of tw x th pixels from its
// top-left corner; each tile shows its own content at half size, twice
// across and twice down, as through a pane of small glass blocks.
//
// A pixel c columns into its tile copies tile column 2c while c < tw / 2 and
// 2c - tw after that (so an odd tile's second half starts one pixel before
// the tile); rows likewise. The tiles at the rectangle's right and bottom
// edges are cut off but sample from their own origin, which may reach past
// the rectangle; sources are clamped into the picture.
#include <cstdint>

#include "distort/DistortEffects.h"
#include "exports/ExportFrame.h"
#include "exports/Exported.h"

namespace qvx {
namespace {

constexpr int kMinTile = 10, kMaxTile = 100;

// The source of position p (a column or row) in tiles of `size` from
// `origin`, clamped to 0..last.
int TileSource(int p, int origin, int size, int last) {
  const int c = (p - origin) % size, tileStart = p - c;
  const int s = c < size / 2 ? tileStart + 2 * c : tileStart + 2 * c - size;
  return s < 0 ? 0 : (s > last ? last : s);
}

QVX_LOOP_BODY void Gather(const Bgra* row, const int* columns, int count, Bgra* out) {
  for (int i = 0; i < count; ++i) out[i] = row[columns[i]];
}

struct GlassTileFilter {
  int tw = kMinTile, th = kMinTile;
  WorkBlock table;
  const int* columns = nullptr;  // per rectangle column: its source, from the left edge

  bool Prepare(FilterJob& job) {
    const WorkRect& r = job.rect;
    const int n = job.Columns();
    if (!table.Allocate(sizeof(int) * static_cast<std::size_t>(n))) return false;
    int* c = table.As<int>();
    for (int i = 0; i < n; ++i) c[i] = TileSource(r.left + i, r.left, tw, job.width - 1) - r.left;
    columns = c;
    // Sources reach one column left of a tile and up to tw - 2 right of its
    // start; a tile's rows stay within th + 1 rows.
    return job.rows.Allocate(th + 2, kMaxTile);
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    const WorkRect& r = job.rect;
    const Bgra* row = job.rows.Row(TileSource(y, r.top, th, job.height - 1));
    const int from = x0 - r.left;
    Vectorised<Gather>(row, columns + from, x1 - x0 + 1, out + from);
  }
};

}  // namespace

HGLOBAL RunGlassTile(const SelectionArgs& args, int tileWidth, int tileHeight, BOOL noDialog,
                     PixelRoute route) {
  GlassTileFilter filter;
  filter.tw = tileWidth < kMinTile ? kMinTile : (tileWidth > kMaxTile ? kMaxTile : tileWidth);
  filter.th = tileHeight < kMinTile ? kMinTile : (tileHeight > kMaxTile ? kMaxTile : tileHeight);
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVGlassTile(ImageHandles* images, BYTE mode, POINT* points,
                                   int pointCount, const RECT* rect, BOOL inside, int tileWidth,
                                   int tileHeight, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                   DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunGlassTile(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                             tileWidth, tileHeight, noDialog);
  });
}
