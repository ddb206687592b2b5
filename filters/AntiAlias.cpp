// Horizontal three-pixel average inside the work rectangle.
#include "exports/ExportFrame.h"
#include "exports/QvxEffect.h"
#include "filters/FilterEffects.h"
#include "filters/FilterFrame.h"

namespace qvx {
namespace {

struct AntiAliasFilter {
  bool Prepare(FilterJob& job) { return job.rows.Allocate(1, 0); }

  // Each pixel with its left and right neighbours, as far as they lie in
  // the work rectangle.
  void Run(FilterJob& job, int y, int x0, int x1, Bgrx* out) const {
    const Bgrx* row = job.rows.Row(y);
    const int last = job.Columns() - 1;
    for (int i = x0 - job.rect.left; i <= x1 - job.rect.left; ++i) {
      Int4 sum = Widen(row[i]);
      int count = 1;
      if (i > 0) {
        sum += Widen(row[i - 1]);
        ++count;
      }
      if (i < last) {
        sum += Widen(row[i + 1]);
        ++count;
      }
      out[i] = {static_cast<BYTE>(sum[0] / count), static_cast<BYTE>(sum[1] / count),
                static_cast<BYTE>(sum[2] / count), 1};
    }
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
