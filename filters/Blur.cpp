// Square box blur: the exact integer mean of the (2r+1) x (2r+1) window
// around each pixel, clipped to the work rectangle.
//
// The cost does not depend on the radius: column sums over the window's
// rows move down by one row added and one row taken away, and the sum over
// the window's columns is the difference of two prefix sums of the row.
#include <cstdint>
#include <cstring>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "filters/FilterEffects.h"
#include "filters/FilterFrame.h"

namespace qvx {
namespace {

constexpr int kMaxRadius = 20;

// Column sums of up to 2 x 20 + 1 rows of bytes fit 16-bit lanes; the
// loops run over the lanes of rows of colours (four per pixel), so that
// they work on whole vectors.
using ColumnSum = std::uint16_t __attribute__((vector_size(8)));

// Moves the column sums down by one row: adds row `in`, takes away row
// `out` (either may be null).
QVX_LOOP_BODY void SlideColumns(std::uint16_t* column, const BYTE* in, const BYTE* out, int lanes) {
  if (in && out)
    for (int k = 0; k < lanes; ++k)
      column[k] = static_cast<std::uint16_t>(column[k] + in[k] - out[k]);
  else if (in)
    for (int k = 0; k < lanes; ++k) column[k] = static_cast<std::uint16_t>(column[k] + in[k]);
  else if (out)
    for (int k = 0; k < lanes; ++k) column[k] = static_cast<std::uint16_t>(column[k] - out[k]);
}

// prefix[i]: the sum of columns 0 .. i-1 (prefix[0] is 0).
QVX_LOOP_BODY void PrefixSums(Int4* prefix, const ColumnSum* column, int columns) {
  Int4 sum{};
  prefix[0] = sum;
  for (int i = 0; i < columns; ++i) prefix[i + 1] = sum += __builtin_convertvector(column[i], Int4);
}

// Means of the windows from lo[k] (exclusive) to hi[k] (inclusive).
QVX_LOOP_BODY void MeanLanes(BYTE* out, const std::int32_t* hi, const std::int32_t* lo, int lanes,
                             float inverse) {
  for (int k = 0; k < lanes; ++k)
    out[k] = static_cast<BYTE>(MeanDivisor::Divide(hi[k] - lo[k], inverse));
}

struct BlurFilter {
  // The window sums along a row come from prefix sums over chunks of this
  // many columns (and the window's reach on both sides), so that their
  // block does not grow with the row.
  static constexpr int kChunk = 4096;
  int r = 1;
  WorkBlock columnBlock, prefixBlock;
  ColumnSum* column = nullptr;  // per column of the rectangle: sum over rows y0..y1
  Int4* prefix = nullptr;
  int y0 = 0, y1 = -1;  // the window rows the column sums hold

  bool Prepare(FilterJob& job) {
    const std::size_t columns = static_cast<std::size_t>(job.Columns());
    if (!job.rows.Allocate(2 * r + 2, 0) ||
        !columnBlock.Allocate(sizeof(ColumnSum) * columns) ||
        !prefixBlock.Allocate(sizeof(Int4) * (std::size_t{kChunk} + 2 * r + 2)))
      return false;
    column = columnBlock.As<ColumnSum>();
    prefix = prefixBlock.As<Int4>();
    y0 = job.rect.top;
    y1 = job.rect.top - 1;
    return true;
  }

  void StartRow(FilterJob& job, int y) {
    const int top = std::max(y - r, job.rect.top);
    const int bottom = std::min(y + r, job.rect.bottom);
    // The first row takes its first rows in; later rows move by at most one.
    while (y1 < bottom || y0 < top) {
      const Bgra* in = y1 < bottom ? job.rows.Row(++y1) : nullptr;
      const Bgra* out = y0 < top ? job.rows.Row(y0++) : nullptr;
      Vectorised<SlideColumns>(reinterpret_cast<std::uint16_t*>(column),
                               reinterpret_cast<const BYTE*>(in),
                               reinterpret_cast<const BYTE*>(out), 4 * job.Columns());
    }
  }

  void Run(FilterJob& job, int, int x0, int x1, Bgra* out) const {
    for (int from = x0 - job.rect.left, to = x1 - job.rect.left; from <= to; from += kChunk)
      RunChunk(job, from, std::min(to, from + kChunk - 1), out);
  }

  // Pixels from..to, counted from the rectangle's left column.
  void RunChunk(const FilterJob& job, int from, int to, Bgra* out) const {
    const int last = job.Columns() - 1;
    const int rows = y1 - y0 + 1;
    // at(i) is prefix[i] of the whole row, for the columns the windows reach.
    const int lo = std::max(from - r, 0), hi = std::min(to + r, last);
    Vectorised<PrefixSums>(prefix, static_cast<const ColumnSum*>(column + lo), hi - lo + 1);
    const auto at = [&](int i) { return prefix + (i - lo); };
    const auto edge = [&](int i) {
      const int a = std::max(i - r, 0), b = std::min(i + r, last);
      out[i] = Narrow(MeanDivisor(rows * (b - a + 1))(*at(b + 1) - *at(a)));
    };
    // Pixels whose window reaches neither end of the row share one divisor.
    const int first = std::max(from, r), inner = std::min(to, last - r);
    for (int i = from; i <= to && i < first; ++i) edge(i);
    if (first <= inner) {
      const float inverse = MeanDivisor::Inverse(rows * (2 * r + 1));
      Vectorised<MeanLanes>(reinterpret_cast<BYTE*>(out + first),
                            reinterpret_cast<const std::int32_t*>(at(first + r + 1)),
                            reinterpret_cast<const std::int32_t*>(at(first - r)),
                            4 * (inner + 1 - first), inverse);
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
