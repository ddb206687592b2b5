// Motion blur: each pixel becomes the integer mean of samples taken along a
// path through it, reading the source only inside the work rectangle.
//
//   linear  samples i = 0 .. L-1 at (x + i cos a, y + i sin a); the path
//           ends at its first sample outside the rectangle;
//   zoom    samples i = 0 .. Z-1 at the pixel's offset from the centre
//           scaled by 1 + 0.02 i; the ray ends at its first sample outside;
//   spin    samples on an arc around the centre, through a table of N
//           angles walked with a stride that grows toward the centre;
//           samples outside the rectangle are skipped.
// Sample coordinates are truncated toward zero. A pixel without samples
// keeps its source value.
//
// Along a linear or zoom path the sample's column depends only on the
// pixel's column and the sample's number, and its row only on the pixel's
// row: the columns are worked out once per call and the rows once per row,
// in the same double arithmetic, and a path's length is the shorter of the
// two lengths before its column or its row leaves the rectangle.
#include <cmath>
#include <cstdint>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "filters/FilterFrame.h"
#include "filters/MosaicEffects.h"

namespace qvx {
namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr int kFullTurnDegrees = 360;

enum MotionKind : BYTE { kLinear = 0, kSpin = 1, kZoom = 2 };

// Sample i of a path along one axis, for the pixel at `at` (its column or
// row) on an axis whose centre is `centre`.
struct PathAxis {
  MotionKind kind;
  double step;  // linear: cos a or sin a
  int centre;   // zoom
  int At(int at, int i) const {
    if (kind == kLinear) return static_cast<int>(at + i * step);
    const double scale = 1 + 0.02 * i;
    return static_cast<int>(scale * (at - centre) + centre);
  }
};

// Sums the samples of pixels from..to (rectangle columns) and stores their
// means; counts[i] samples for pixel i, columns[k * stride + i] its k-th
// sample's column, rows[k] the k-th sample's row.
QVX_LOOP_BODY void PathMeans(const Bgrx* const* rows, const int* columns,
                             const std::uint8_t* counts, int stride, int from, int to, Bgrx* out) {
  for (int i = from; i <= to; ++i) {
    const int n = counts[i];
    if (n == 0) {
      out[i].spare = 0;
      continue;
    }
    Int4 sum{};
    for (int k = 0; k < n; ++k) sum += Widen(rows[k][columns[k * stride + i]]);
    out[i] = Narrow(MeanDivisor(n)(sum));
    out[i].spare = 1;
  }
}

// Linear and zoom blur. Skips: whether pixels without samples (L or Z of 0)
// are possible.
template <bool Skips>
struct PathFilter {
  static constexpr bool kSkips = Skips;
  PathAxis horizontal{}, vertical{};
  int samples = 0;
  WorkBlock tables;
  int* columns = nullptr;             // samples x rectangle columns, from the left edge
  std::uint8_t* columnRun = nullptr;  // per column: samples before one leaves
  std::uint8_t* counts = nullptr;     // per column, for the current row
  const Bgrx* rows[256] = {};
  int rowRun = 0;

  bool Prepare(FilterJob& job) {
    const WorkRect& rect = job.rect;
    horizontal.centre = (rect.left + rect.right) / 2;
    vertical.centre = (rect.top + rect.bottom) / 2;
    const std::size_t n = static_cast<std::size_t>(job.Columns());
    const std::size_t cells = static_cast<std::size_t>(samples) * n;
    if (!tables.Allocate(sizeof(int) * cells + 2 * n)) return false;
    columns = tables.As<int>();
    columnRun = reinterpret_cast<std::uint8_t*>(columns + cells);
    counts = columnRun + n;
    for (int x = rect.left; x <= rect.right; ++x) {
      const std::size_t i = static_cast<std::size_t>(x - rect.left);
      int k = 0;
      for (; k < samples; ++k) {
        const int c = horizontal.At(x, k);
        if (c < rect.left || c > rect.right) break;
        columns[static_cast<std::size_t>(k) * n + i] = c - rect.left;
      }
      columnRun[i] = static_cast<std::uint8_t>(k);
    }
    // Linear rows stay within `samples` rows of the pixel's; zoom rows may
    // reach across the rectangle.
    const int slots = horizontal.kind == kLinear ? samples + 1 : rect.bottom - rect.top + 1;
    return job.rows.Allocate(slots, 0);
  }

  void StartRow(FilterJob& job, int y) {
    rowRun = 0;
    for (; rowRun < samples; ++rowRun) {
      const int r = vertical.At(y, rowRun);
      if (r < job.rect.top || r > job.rect.bottom) break;
      rows[rowRun] = job.rows.Row(r);
    }
  }

  void Run(FilterJob& job, int, int x0, int x1, Bgrx* out) const {
    const int from = x0 - job.rect.left, to = x1 - job.rect.left;
    for (int i = from; i <= to; ++i)
      counts[i] = static_cast<std::uint8_t>(std::min<int>(columnRun[i], rowRun));
    Vectorised<PathMeans>(static_cast<const Bgrx* const*>(rows), static_cast<const int*>(columns),
                          static_cast<const std::uint8_t*>(counts), job.Columns(), from, to, out);
  }
};

struct SpinFilter {
  static constexpr bool kSkips = true;
  double arc = 0;  // radians, not negative
  int cx = 0, cy = 0, angles = 0;
  double reach = 0;  // the farthest distance from the centre
  WorkBlock table;
  const double* sines = nullptr;
  const double* cosines = nullptr;
  // The rectangle's decoded rows, looked up once each: arcs reach across
  // the rectangle, and the ring holds all of its rows.
  WorkBlock rowBlock;
  const Bgrx** rowOf = nullptr;

  bool Prepare(FilterJob& job) {
    const WorkRect& rect = job.rect;
    cx = (rect.left + rect.right) / 2;
    cy = (rect.top + rect.bottom) / 2;
    const double rx = std::max(cx, rect.right - rect.left + 1 - cx);
    const double ry = std::max(cy, rect.bottom - rect.top + 1 - cy);
    reach = std::sqrt(rx * rx + ry * ry);
    const double count = std::sqrt(reach) * arc * 4 + 2;
    // A table too large for memory fails as an allocation would.
    if (!(count < double{1 << 26})) {
      SetErrorStatus(kErrorNoMemory);
      return false;
    }
    angles = static_cast<int>(count);
    if (angles <= 1) {
      SetErrorStatus(kErrorBadParameter);
      return false;
    }
    if (!table.Allocate(16 * static_cast<std::size_t>(angles))) return false;
    double* s = table.As<double>();
    double* c = s + angles;
    const double step = arc / (angles - 1);
    for (int k = 0; k < angles; ++k) {
      const double angle = k * step - arc / 2;
      s[k] = std::sin(angle);
      c[k] = std::cos(angle);
    }
    sines = s;
    cosines = c;
    const std::size_t rows = static_cast<std::size_t>(rect.bottom - rect.top + 1);
    if (!rowBlock.Allocate(sizeof(Bgrx*) * rows)) return false;
    rowOf = rowBlock.As<const Bgrx*>();
    std::fill_n(rowOf, rows, nullptr);
    return job.rows.Allocate(static_cast<int>(rows), 0);
  }

  const Bgrx* Row(FilterJob& job, int y) const {
    const Bgrx*& row = rowOf[y - job.rect.top];
    if (!row) row = job.rows.Row(y);
    return row;
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgrx* out) const {
    const WorkRect& rect = job.rect;
    const int dy = y - cy;
    for (int x = x0; x <= x1; ++x) {
      const int dx = x - cx;
      const double r = std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy);
      // The centre's samples are all the centre: one angle apart will do.
      int stride = 1;
      if (r > 0) {
        const double s = reach / r;
        stride = s >= angles - 1 ? angles - 1 : std::max(1, static_cast<int>(s));
      }
      // Sums in plain integers: samples land in scattered rows, one at a
      // time, where lanes would only add shuffles. Up to 2^26 samples of
      // 255 need more than 32 bits.
      std::int64_t red = 0, green = 0, blue = 0;
      int n = 0;
      for (int k = 0; k < angles; k += stride) {
        const int sx = static_cast<int>(dx * cosines[k] - dy * sines[k] + cx);
        const int sy = static_cast<int>(dx * sines[k] + dy * cosines[k] + cy);
        if (sx < rect.left || sx > rect.right || sy < rect.top || sy > rect.bottom) continue;
        const Bgrx c = Row(job, sy)[sx - rect.left];
        red += c.red;
        green += c.green;
        blue += c.blue;
        ++n;
      }
      Bgrx& o = out[x - rect.left];
      if (n == 0) {
        o.spare = 0;
        continue;
      }
      // n can exceed the mean divisor's range: plain integer division.
      o = {static_cast<BYTE>(blue / n), static_cast<BYTE>(green / n), static_cast<BYTE>(red / n),
           1};
    }
  }
};

}  // namespace

HGLOBAL RunMotionBlur(const SelectionArgs& args, BYTE kind, BYTE samples, int degrees,
                      BOOL noDialog, PixelRoute route) {
  // Unknown kinds and spins backwards (fewer than two angles) have no rule.
  // An arc past a full turn only walks again over pixels its first turn
  // sampled, while its angle count, and with it every pixel's work, keeps
  // growing: it is refused rather than run for minutes.
  if (kind > kZoom || (kind == kSpin && (degrees < 0 || degrees > kFullTurnDegrees)))
    return RefuseParameter();
  const FilterSetup setup{kDepthGreyAndTrue, noDialog, route};
  if (kind == kSpin) {
    SpinFilter filter;
    filter.arc = degrees * kRadiansPerDegree;
    return RunFilter(args, setup, filter);
  }
  const auto run = [&](auto& filter) {
    filter.samples = samples;
    if (kind == kLinear) {
      const double a = degrees * kRadiansPerDegree;
      filter.horizontal = {kLinear, std::cos(a), 0};
      filter.vertical = {kLinear, std::sin(a), 0};
    } else {
      filter.horizontal = {kZoom, 0, 0};
      filter.vertical = {kZoom, 0, 0};
    }
    return RunFilter(args, setup, filter);
  };
  if (samples == 0) {
    PathFilter<true> filter;
    return run(filter);
  }
  PathFilter<false> filter;
  return run(filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVMotionBlur(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                    const RECT* rect, BOOL inside, BYTE kind, BYTE samples,
                                    int degrees, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                    DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunMotionBlur(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                              kind, samples, degrees, noDialog);
  });
}
