// Horizontal three-pixel average inside the work rectangle.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "filters/FilterEffects.h"
#include "filters/FilterFrame.h"

namespace qvx {
namespace {

struct AntiAliasFilter {
  bool Prepare(FilterJob& job) { return job.rows.Allocate(1, 0); }

  // Each pixel with its left and right neighbours, as far as they lie in
  // the work rectangle.
  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) const {
    const Bgra* row = job.rows.Row(y);
    const int last = job.Columns() - 1;
    const int from = x0 - job.rect.left, to = x1 - job.rect.left;
    const auto edge = [&](int i) {
      const int a = std::max(i - 1, 0), b = std::min(i + 1, last);
      Int4 sum{};
      for (int k = a; k <= b; ++k) sum += Widen(row[k]);
      out[i] = Narrow(sum / (b - a + 1));
    };
    int i = from;
    if (i == 0) edge(i++);
    // Interior pixels: three bytes per lane, divided by 3.
    const int inner = std::min(to, last - 1);
    const BYTE* s = reinterpret_cast<const BYTE*>(row + i);
    BYTE* d = reinterpret_cast<BYTE*>(out + i);
    for (int k = 0; k < 4 * (inner - i + 1); ++k)
      d[k] = static_cast<BYTE>(static_cast<unsigned>(s[k - 4] + s[k] + s[k + 4]) / 3);
    i = std::max(i, inner + 1);
    for (; i <= to; ++i) edge(i);
  }
};

}  // namespace

HGLOBAL RunAntiAlias(const SelectionArgs& args, BOOL noDialog, PixelRoute route) {
  AntiAliasFilter filter;
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVAntiAlias(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                   const RECT* rect, BOOL inside, BOOL noDialog, DWORD dlgArg1,
                                   DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunAntiAlias(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                             noDialog);
  });
}
