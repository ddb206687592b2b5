// Square box blur: the exact integer mean of the (2r+1) x (2r+1) window
// around each pixel, clipped to the work rectangle.
//
// The cost does not depend on the radius: column sums over the window's
// rows move down by one row added and one row taken away, and the sum over
// the window's columns is the difference of two prefix sums of the row.
#include "exports/ExportFrame.h"
#include "exports/QvxEffect.h"
#include "filters/FilterEffects.h"
#include "filters/FilterFrame.h"

namespace qvx {
namespace {

constexpr int kMaxRadius = 20;

struct BlurFilter {
  int r = 1;
  WorkBlock sums;
  Int4* column = nullptr;  // per column of the rectangle: sum over rows y0..y1
  Int4* prefix = nullptr;  // prefix[i]: sum of column[0 .. i-1]
  int y0 = 0, y1 = -1;     // the window rows the column sums hold
  SmallDivisor inner;      // divides by the full window of this row

  bool Prepare(FilterJob& job) {
    const int n = job.Columns();
    if (!job.rows.Allocate(2 * r + 2, 0) ||
        !sums.Allocate(sizeof(Int4) * (2 * static_cast<std::size_t>(n) + 1)))
      return false;
    column = sums.As<Int4>();
    prefix = column + n;
    y0 = job.rect.top;
    y1 = job.rect.top - 1;
    return true;
  }

  void StartRow(FilterJob& job, int y) {
    const int n = job.Columns();
    const int top = std::max(y - r, job.rect.top);
    const int bottom = std::min(y + r, job.rect.bottom);
    while (y1 < bottom) {
      const Bgrx* row = job.rows.Row(++y1);
      for (int i = 0; i < n; ++i) column[i] += Widen(row[i]);
    }
    for (; y0 < top; ++y0) {
      const Bgrx* row = job.rows.Row(y0);
      for (int i = 0; i < n; ++i) column[i] -= Widen(row[i]);
    }
    Int4 sum{};
    prefix[0] = sum;
    for (int i = 0; i < n; ++i) prefix[i + 1] = sum += column[i];
    inner = SmallDivisor(static_cast<std::uint32_t>((y1 - y0 + 1) * (2 * r + 1)));
  }

  void Run(FilterJob& job, int, int x0, int x1, Bgrx* out) const {
    const int last = job.Columns() - 1;
    const int rows = y1 - y0 + 1;
    for (int i = x0 - job.rect.left; i <= x1 - job.rect.left; ++i) {
      const int a = std::max(i - r, 0);
      const int b = std::min(i + r, last);
      const Int4 sum = prefix[b + 1] - prefix[a];
      out[i] = b - a == 2 * r ? inner(sum)
                              : SmallDivisor(static_cast<std::uint32_t>(rows * (b - a + 1)))(sum);
    }
  }
};

}  // namespace

HGLOBAL RunBlur(const SelectionArgs& args, BYTE radius, BOOL noDialog, PixelRoute route) {
  BlurFilter filter;
  filter.r = radius < 1 ? 1 : (radius > kMaxRadius ? kMaxRadius : radius);
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVBlur(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                              const RECT* rect, BOOL inside, BYTE radius, BOOL noDialog,
                              DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunBlur(qvx::CopySelection(images, mode, points, pointCount, rect, inside), radius,
                        noDialog);
  });
}
