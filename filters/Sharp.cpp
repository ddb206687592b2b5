// Sharpening on the luminance: each pixel's luminance raised by a multiple
// of its difference from the 3 x 3 neighbourhood, its own chrominance kept.
#include <cmath>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "filters/FilterEffects.h"
#include "filters/Luminance.h"

namespace qvx {
namespace {

// New luminance difference x gain + luminance, converted back with the
// pixel's own chrominance. Each product table entry is i x coefficient in
// double precision, and entry 1 is the coefficient itself, so multiplying
// gives the entries' very bits without a lookup per channel.
QVX_LOOP_BODY void SharpRow(Bgrx* out, const Bgrx* source, const BYTE* luminance,
                            const int* differences, int count, double gain, const double* c) {
  for (int i = 0; i < count; ++i) {
    const double lum = differences[i] * gain + luminance[i];
    const double r = source[i].red, g = source[i].green, b = source[i].blue;
    const int cr = RoundHalfAway(r * c[0] + g * c[1] + b * c[2]);
    const int cb = RoundHalfAway(r * c[3] + g * c[4] + b * c[5]);
    out[i] = {ClampByte(RoundHalfAway(lum + 1.772 * cb)),
              ClampByte(RoundHalfAway(lum - 0.34414 * cb - 0.71414 * cr)),
              ClampByte(RoundHalfAway(lum + 1.402 * cr)), 1};
  }
}

// Luminance sums of the rows that exist, column by column.
QVX_LOOP_BODY void ColumnSums(int* out, const BYTE* at, const BYTE* up, const BYTE* down,
                              int count) {
  for (int i = 0; i < count; ++i) out[i] = at[i];
  if (up)
    for (int i = 0; i < count; ++i) out[i] += up[i];
  if (down)
    for (int i = 0; i < count; ++i) out[i] += down[i];
}

// n x luminance - the sum over three columns (n = `pixels`).
QVX_LOOP_BODY void Differences(int* out, const int* column, const BYTE* luminance, int count,
                               int pixels) {
  for (int i = 0; i < count; ++i)
    out[i] = pixels * luminance[i] - (column[i - 1] + column[i] + column[i + 1]);
}

// The neighbourhood of a pixel stops at the picture's edges (it is not
// clamped): n is 9 inside, 6 on an edge, 4 in a corner.
struct SharpFilter {
  double gain = 0;  // (3 x strength) x 0.01
  WorkBlock products;
  LuminanceRows luminance;
  WorkBlock columns;  // per column: the luminance sum of the rows that exist

  bool Prepare(FilterJob& job) {
    return MakeYccTables(products) && job.rows.Allocate(3, 1) &&
           luminance.Allocate(job, 3, 1, products) &&
           columns.Allocate(sizeof(int) * (2 * static_cast<std::size_t>(job.Columns()) + 6));
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgrx* out) {
    const int first = x0 - job.rect.left, last = x1 - job.rect.left;
    const BYTE* at = luminance.Row(job, y);
    const BYTE* up = y > 0 ? luminance.Row(job, y - 1) : nullptr;
    const BYTE* down = y + 1 < job.height ? luminance.Row(job, y + 1) : nullptr;
    const int rows = 1 + (up ? 1 : 0) + (down ? 1 : 0);
    // column[i + 1] for picture column left + i, i = first - 1 .. last + 1.
    int* column = columns.As<int>() + 1;
    Vectorised<ColumnSums>(column - 1, at + first - 1, up ? up + first - 1 : nullptr,
                           down ? down + first - 1 : nullptr, last - first + 3);
    int* differences = column + (last - first + 3);
    Vectorised<Differences>(differences, static_cast<const int*>(column), at + first,
                            last - first + 1, 3 * rows);
    // A pixel in the picture's first or last column has one column fewer.
    const auto edge = [&](int i, int missing) {
      differences[i - first] += column[missing - first] - rows * at[i];
    };
    if (job.rect.left + first == 0) edge(first, first - 1);
    if (job.rect.left + last == job.width - 1) edge(last, last + 1);
    const LevelTable* t = YccTables(products);
    const double chroma[6] = {t[kRedToCr][1], t[kGreenToCr][1], t[kBlueToCr][1],
                              t[kRedToCb][1], t[kGreenToCb][1], t[kBlueToCb][1]};
    Vectorised<SharpRow>(out + first, job.rows.Row(y) + first, at + first,
                         static_cast<const int*>(differences), last - first + 1, gain,
                         static_cast<const double*>(chroma));
  }
};

}  // namespace

HGLOBAL RunSharp(const SelectionArgs& args, BYTE strength, BOOL noDialog, PixelRoute route) {
  SharpFilter filter;
  filter.gain = (3 * (strength > 100 ? 100 : strength)) * 0.01;
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVSharp(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                               const RECT* rect, BOOL inside, BYTE strength, BOOL noDialog,
                               DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunSharp(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                         strength, noDialog);
  });
}
