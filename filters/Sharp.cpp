// Sharpening on the luminance: each pixel's luminance raised by a multiple
// of its difference from the 3 x 3 neighbourhood, its own chrominance kept.
#include "exports/ExportFrame.h"
#include "exports/QvxEffect.h"
#include "filters/FilterEffects.h"
#include "filters/Luminance.h"

namespace qvx {
namespace {

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
           columns.Allocate(sizeof(int) * (static_cast<std::size_t>(job.Columns()) + 2));
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgrx* out) {
    const int first = x0 - job.rect.left, last = x1 - job.rect.left;
    const BYTE* at = luminance.Row(job, y);
    const BYTE* up = y > 0 ? luminance.Row(job, y - 1) : nullptr;
    const BYTE* down = y + 1 < job.height ? luminance.Row(job, y + 1) : nullptr;
    const int rows = 1 + (up ? 1 : 0) + (down ? 1 : 0);
    // column[i + 1] for picture column left + i, i = first - 1 .. last + 1.
    int* column = columns.As<int>() + 1;
    for (int i = first - 1; i <= last + 1; ++i)
      column[i - first] = at[i] + (up ? up[i] : 0) + (down ? down[i] : 0);
    const Bgrx* source = job.rows.Row(y);
    const LevelTable* t = YccTables(products);
    for (int i = first; i <= last; ++i) {
      const int x = job.rect.left + i;
      int sum = column[i - first], n = rows;
      if (x > 0) sum += column[i - first - 1], n += rows;
      if (x + 1 < job.width) sum += column[i - first + 1], n += rows;
      const int centre = at[i];
      const int difference = n * centre - sum;
      const double lum = difference * gain + centre;
      const Bgrx c = source[i];
      const int cr =
          RoundHalfAway(t[kRedToCr][c.red] + t[kGreenToCr][c.green] + t[kBlueToCr][c.blue]);
      const int cb =
          RoundHalfAway(t[kRedToCb][c.red] + t[kGreenToCb][c.green] + t[kBlueToCb][c.blue]);
      out[i] = {ClampByte(RoundHalfAway(lum + 1.772 * cb)),
                ClampByte(RoundHalfAway(lum - 0.34414 * cb - 0.71414 * cr)),
                ClampByte(RoundHalfAway(lum + 1.402 * cr)), 1};
    }
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
