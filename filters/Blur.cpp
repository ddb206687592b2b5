// Square box blur: the exact integer mean of the (2r+1) x (2r+1) window
// around each pixel, clipped to the work rectangle.
//
// The cost does not depend on the radius: column sums over the window's
// rows move down by one row added and one row taken away, and the sum over
// the window's columns is the difference of two prefix sums of the row.
#include <cstring>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "filters/FilterEffects.h"
#include "filters/FilterFrame.h"

namespace qvx {
namespace {

constexpr int kMaxRadius = 20;

// The loops run over the bytes of rows of colours (four lanes per pixel),
// so that they work on whole vectors.
// Moves the column sums down by one row (adding row `in`, taking away row
// `out`, either of which may be null) and makes their prefix sums.
QVX_LOOP_BODY void SlideColumns(Int4* column, Int4* prefix, const Bgrx* in, const Bgrx* out,
                                int columns) {
  Int4 sum = prefix[0];
  for (int i = 0; i < columns; ++i) {
    Int4 c = column[i];
    if (in) c += Widen(in[i]);
    if (out) c -= Widen(out[i]);
    column[i] = c;
    prefix[i + 1] = sum += c;
  }
}

// Means of the windows from lo[k] (exclusive) to hi[k] (inclusive).
QVX_LOOP_BODY void MeanLanes(BYTE* out, const std::int32_t* hi, const std::int32_t* lo, int lanes,
                             float inverse) {
  for (int k = 0; k < lanes; ++k)
    out[k] = static_cast<BYTE>(MeanDivisor::Divide(hi[k] - lo[k], inverse));
}

struct BlurFilter {
  int r = 1;
  WorkBlock sums;
  Int4* column = nullptr;  // per column of the rectangle: sum over rows y0..y1
  Int4* prefix = nullptr;  // prefix[i]: sum of columns 0 .. i-1
  int y0 = 0, y1 = -1;     // the window rows the column sums hold

  bool Prepare(FilterJob& job) {
    const std::size_t columns = static_cast<std::size_t>(job.Columns());
    if (!job.rows.Allocate(2 * r + 2, 0) || !sums.Allocate(sizeof(Int4) * (2 * columns + 1)))
      return false;
    column = sums.As<Int4>();
    prefix = column + columns;
    y0 = job.rect.top;
    y1 = job.rect.top - 1;
    return true;
  }

  void StartRow(FilterJob& job, int y) {
    const int top = std::max(y - r, job.rect.top);
    const int bottom = std::min(y + r, job.rect.bottom);
    // The first row takes its first rows in; later rows move by at most one.
    while (y1 < bottom || y0 < top) {
      const Bgrx* in = y1 < bottom ? job.rows.Row(++y1) : nullptr;
      const Bgrx* out = y0 < top ? job.rows.Row(y0++) : nullptr;
      Vectorised<SlideColumns>(column, prefix, in, out, job.Columns());
    }
  }

  void Run(FilterJob& job, int, int x0, int x1, Bgrx* out) const {
    const int last = job.Columns() - 1;
    const int rows = y1 - y0 + 1;
    const int from = x0 - job.rect.left, to = x1 - job.rect.left;
    const auto edge = [&](int i) {
      const int a = std::max(i - r, 0), b = std::min(i + r, last);
      out[i] = Narrow(MeanDivisor(rows * (b - a + 1))(prefix[b + 1] - prefix[a]));
    };
    // Pixels whose window reaches neither end of the row share one divisor.
    const int first = std::max(from, r), inner = std::min(to, last - r);
    for (int i = from; i <= to && i < first; ++i) edge(i);
    if (first <= inner) {
      const float inverse = MeanDivisor::Inverse(rows * (2 * r + 1));
      const auto* lanes = reinterpret_cast<const std::int32_t*>(prefix + first);
      Vectorised<MeanLanes>(reinterpret_cast<BYTE*>(out + first), lanes + 4 * (r + 1),
                            lanes - 4 * r, 4 * (inner + 1 - first), inverse);
    }
    for (int i = std::max(first, inner + 1); i <= to; ++i) edge(i);
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
