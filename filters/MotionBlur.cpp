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
// Linear paths are fixed taps. Sample k of the pixel in column x lies in
// column trunc(x + k cos a): x plus a whole offset that, once x + k cos a is
// no longer negative, takes one of two values (the sum's rounding reaches the
// next whole number only from some column on). A row thus splits into a few
// spans of columns whose pixels share every sample's offset and their path
// length; the spans are found once per call in the same double arithmetic
// as the rule's, and a span's pixels are summed from shifted rows.
//
// Zoom paths spread out from the centre, so their sample columns are
// tabulated per column (once per call, or per row in chunks when a table of
// the whole width would be large) and gathered.
//
// Along either path the sample's row depends only on the pixel's row and
// the sample's number: rows are worked out once per row, and a path's
// length is the shorter of the two lengths before its column or its row
// leaves the rectangle. Sums of up to 255 samples fit 16-bit halves of
// 32-bit lanes, eight pixels to a vector.
//
// Spin arcs work out the positions of four neighbouring pixels' samples in
// the lanes of one vector where the pixels share their stride.
//
// Measured under load on 4000 x 3000 pictures, against a pixel at a time
// with every sample's column read from a table: linear 10 samples 420-600
// Mpx/s (from 75), 50 samples 140-170; zoom 10 samples 130-200 (from
// 75-145); spin of 10 degrees 12-13 (from 3-6).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "filters/FilterFrame.h"
#include "filters/MosaicEffects.h"

namespace qvx {
namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr int kFullTurnDegrees = 360;
constexpr int kMaxSamples = 255;

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

// Channel sums of at most 257 colours in 16-bit halves of 32-bit lanes:
// blue and red of a colour in its even lane, green (and the alpha byte) in
// its odd one.
QVX_LOOP_BODY void AddColours(Lanes8 v, Lanes8& even, Lanes8& odd) {
  even += v & 0x00FF00FFu;
  odd += (v >> 8) & 0x00FF00FFu;
}

QVX_LOOP_BODY Lanes8 DivideSums(Lanes8 sums, Float8 inverse) {
  return reinterpret_cast<Lanes8>(MeanDivisor::DivideLanes(reinterpret_cast<Int8>(sums), inverse));
}

// Eight means from their sums, each lane with the inverse of its count;
// the alpha byte is `alpha`.
QVX_LOOP_BODY Lanes8 MeansOf(Lanes8 even, Lanes8 odd, Float8 inverse, Lanes8 alpha) {
  const Lanes8 blue = DivideSums(even & 0xFFFFu, inverse);
  const Lanes8 red = DivideSums(even >> 16, inverse);
  const Lanes8 green = DivideSums(odd & 0xFFFFu, inverse);
  return blue | green << 8 | red << 16 | alpha << 24;
}

// The mean of one pixel's samples, lane sums as above.
inline Bgra MeanOf(std::uint32_t even, std::uint32_t odd, float inverse) {
  return {static_cast<BYTE>(MeanDivisor::Divide(even & 0xFFFF, inverse)),
          static_cast<BYTE>(MeanDivisor::Divide(odd & 0xFFFF, inverse)),
          static_cast<BYTE>(MeanDivisor::Divide(even >> 16, inverse)), 1};
}

inline std::uint32_t Word(const Bgra& c) {
  std::uint32_t word;
  std::memcpy(&word, &c, 4);
  return word;
}

// Means of pixels i0..i1 over n fixed taps: pixel i's k-th sample is
// taps[k][i].
QVX_LOOP_BODY void TapMeans(const Bgra* const* taps, int n, int i0, int i1, Bgra* out) {
  const float inverse = MeanDivisor::Inverse(n);
  int i = i0;
  for (; i + 7 <= i1; i += 8) {
    Lanes8 even{}, odd{};
    for (int k = 0; k < n; ++k) {
      Lanes8 v;
      std::memcpy(&v, taps[k] + i, sizeof v);
      AddColours(v, even, odd);
    }
    const Lanes8 means = MeansOf(even, odd, Float8{} + inverse, Lanes8{} + 1);
    std::memcpy(out + i, &means, sizeof means);
  }
  for (; i <= i1; ++i) {
    std::uint32_t even = 0, odd = 0;
    for (int k = 0; k < n; ++k) {
      const std::uint32_t v = Word(taps[k][i]);
      even += v & 0x00FF00FFu;
      odd += (v >> 8) & 0x00FF00FFu;
    }
    out[i] = MeanOf(even, odd, inverse);
  }
}

// Means of pixels i0..i1 whose samples are gathered: pixel i's k-th sample
// is rows[k][columns[k * stride + i]] for k below the smaller of runs[i] and
// rowRun; rows and columns are valid for every k below `samples`.
// inverses[n] is the inverse of n (0 for 0).
struct Gather {
  const Bgra* const* rows;
  const int* columns;
  const std::uint8_t* runs;
  std::size_t stride;
  int rowRun;
  const float* inverses;
};
QVX_LOOP_BODY void GatherMeans(const Gather* g, int i0, int i1, Bgra* out) {
  int i = i0;
  for (; i + 7 <= i1; i += 8) {
    Int8 counts;
    for (int j = 0; j < 8; ++j) counts[j] = std::min<int>(g->runs[i + j], g->rowRun);
    int most = 0;
    for (int j = 0; j < 8; ++j) most = std::max(most, counts[j]);
    Lanes8 even{}, odd{};
    for (int k = 0; k < most; ++k) {
      const Bgra* row = g->rows[k];
      const int* column = g->columns + k * g->stride + i;
      Lanes8 v;
      for (int j = 0; j < 8; ++j) v[j] = Word(row[column[j]]);
      v &= reinterpret_cast<Lanes8>(Int8{} + k < counts);
      AddColours(v, even, odd);
    }
    Float8 inverse;
    for (int j = 0; j < 8; ++j) inverse[j] = g->inverses[counts[j]];
    const Lanes8 means =
        MeansOf(even, odd, inverse, reinterpret_cast<Lanes8>(counts > 0) & 1u);
    std::memcpy(out + i, &means, sizeof means);
  }
  for (; i <= i1; ++i) {
    const int n = std::min<int>(g->runs[i], g->rowRun);
    std::uint32_t even = 0, odd = 0;
    for (int k = 0; k < n; ++k) {
      const std::uint32_t v = Word(g->rows[k][g->columns[k * g->stride + i]]);
      even += v & 0x00FF00FFu;
      odd += (v >> 8) & 0x00FF00FFu;
    }
    out[i] = MeanOf(even, odd, g->inverses[n]);
    out[i].alpha = n > 0;
  }
}

// What linear and zoom paths share: the rows of the current row's samples.
struct PathRows {
  PathAxis vertical{};
  int samples = 0;
  const Bgra* rows[kMaxSamples] = {};
  int rowRun = 0;  // samples before the path's row leaves the rectangle

  void Start(FilterJob& job, int y) {
    rowRun = 0;
    for (; rowRun < samples; ++rowRun) {
      const int r = vertical.At(y, rowRun);
      if (r < job.rect.top || r > job.rect.bottom) break;
      rows[rowRun] = job.rows.Row(r);
    }
    // Gathers read every sample's row, the ones beyond the run masked off.
    for (int k = rowRun; k < samples; ++k) rows[k] = rows[0];
  }
};

// Columns whose pixels share their samples' offsets from the pixel and
// their path length within the columns (`run`), from column `from` (relative
// to the rectangle's left) to the next span's.
struct Span {
  int from;
  int run;
  std::size_t taps;  // the offsets' place in the tap table
};

template <bool Skips>
struct LinearFilter {
  static constexpr bool kSkips = Skips;
  PathAxis horizontal{};
  PathRows path;
  WorkBlock spanBlock, tapBlock;
  Span* spans = nullptr;
  int* taps = nullptr;
  int spanCount = 0;

  // Walks the columns, calling found(from, run, offsets) at each column
  // whose offsets or run differ from the previous column's; the number of
  // spans.
  template <class Found>
  int WalkSpans(const WorkRect& rect, Found&& found) const {
    int offsets[2][kMaxSamples];
    int previousRun = -1, count = 0;
    for (int x = rect.left; x <= rect.right; ++x) {
      int* now = offsets[count % 2];
      const int* before = offsets[(count + 1) % 2];
      int run = 0;
      for (; run < path.samples; ++run) {
        const int c = horizontal.At(x, run);
        if (c < rect.left || c > rect.right) break;
        now[run] = c - x;
      }
      if (run == previousRun && std::equal(now, now + run, before)) continue;
      found(count, x - rect.left, run, static_cast<const int*>(now));
      previousRun = run;
      ++count;
    }
    return count;
  }

  bool Prepare(FilterJob& job) {
    std::size_t tapCount = 0;
    spanCount = WalkSpans(job.rect, [&](int, int, int run, const int*) {
      tapCount += static_cast<std::size_t>(run);
    });
    if (!spanBlock.Allocate(sizeof(Span) * (static_cast<std::size_t>(spanCount) + 1)) ||
        !tapBlock.Allocate(sizeof(int) * (tapCount + 1)))
      return false;
    spans = spanBlock.As<Span>();
    taps = tapBlock.As<int>();
    tapCount = 0;
    WalkSpans(job.rect, [&](int n, int from, int run, const int* offsets) {
      spans[n] = {from, run, tapCount};
      std::copy_n(offsets, run, taps + tapCount);
      tapCount += static_cast<std::size_t>(run);
    });
    spans[spanCount] = {job.Columns(), 0, tapCount};
    // Rows of a path stay within `samples` rows of the pixel's.
    return job.rows.Allocate(path.samples + 1, 0);
  }

  void StartRow(FilterJob& job, int y) { path.Start(job, y); }

  void Run(FilterJob& job, int, int x0, int x1, Bgra* out) const {
    const int from = x0 - job.rect.left, to = x1 - job.rect.left;
    // The span holding `from`: the last one starting at or before it.
    const Span* span = std::upper_bound(spans, spans + spanCount, from,
                                        [](int i, const Span& s) { return i < s.from; }) -
                       1;
    const Bgra* shifted[kMaxSamples];
    for (int i = from; i <= to; ++span) {
      const int end = std::min(to, span[1].from - 1);
      const int n = std::min(span->run, path.rowRun);
      if (n == 0) {
        for (int j = i; j <= end; ++j) out[j].alpha = 0;
      } else {
        for (int k = 0; k < n; ++k) shifted[k] = path.rows[k] + taps[span->taps + k];
        Vectorised<TapMeans>(static_cast<const Bgra* const*>(shifted), n, i, end, out);
      }
      i = end + 1;
    }
  }
};

// Zoom blur: the columns of each pixel's samples, tabulated for a chunk of
// columns at a time.
template <bool Skips>
struct ZoomFilter {
  static constexpr bool kSkips = Skips;
  // A table of the whole width up to this size; wider ones are made in
  // chunks, row by row.
  static constexpr std::size_t kTableBytes = std::size_t{16} << 20;
  static constexpr int kMinChunk = 256;
  PathAxis horizontal{};
  PathRows path;
  WorkBlock tableBlock;
  int chunk = 0;  // columns per chunk
  int held = -1;  // the chunk in the table
  int* columns = nullptr;        // samples x chunk columns, from the left edge
  std::uint8_t* runs = nullptr;  // per column: samples before one leaves
  float inverses[kMaxSamples + 1] = {};

  bool Prepare(FilterJob& job) {
    horizontal.centre = (job.rect.left + job.rect.right) / 2;
    path.vertical.centre = (job.rect.top + job.rect.bottom) / 2;
    const std::size_t perColumn = sizeof(int) * static_cast<std::size_t>(path.samples) + 1;
    chunk = static_cast<int>(std::min<std::size_t>(
        static_cast<std::size_t>(job.Columns()),
        std::max<std::size_t>(kMinChunk, kTableBytes / perColumn)));
    // Gathers read eight columns at a time past a chunk's end.
    const std::size_t cells = static_cast<std::size_t>(path.samples) * chunk + 8;
    if (!tableBlock.Allocate(sizeof(int) * cells + chunk + 8)) return false;
    columns = tableBlock.As<int>();
    runs = reinterpret_cast<std::uint8_t*>(columns + cells);
    for (int n = 1; n <= kMaxSamples; ++n) inverses[n] = MeanDivisor::Inverse(n);
    // Rays may reach across the rectangle.
    return job.rows.Allocate(job.rect.bottom - job.rect.top + 1, 0);
  }

  // Makes the table of chunk c.
  void Hold(const WorkRect& rect, int c) {
    if (held == c) return;
    held = c;
    const int first = c * chunk;
    const int count = std::min(chunk, rect.right - rect.left + 1 - first);
    for (int i = 0; i < count; ++i) {
      const int x = rect.left + first + i;
      int k = 0;
      for (; k < path.samples; ++k) {
        const int column = horizontal.At(x, k);
        if (column < rect.left || column > rect.right) break;
        columns[static_cast<std::size_t>(k) * chunk + i] = column - rect.left;
      }
      // Beyond the run: any column of the rectangle, masked off.
      for (int j = k; j < path.samples; ++j) columns[static_cast<std::size_t>(j) * chunk + i] = 0;
      runs[i] = static_cast<std::uint8_t>(k);
    }
  }

  void StartRow(FilterJob& job, int y) { path.Start(job, y); }

  void Run(FilterJob& job, int, int x0, int x1, Bgra* out) {
    const int from = x0 - job.rect.left, to = x1 - job.rect.left;
    for (int i = from; i <= to;) {
      const int c = i / chunk, first = c * chunk;
      const int end = std::min(to, first + chunk - 1);
      Hold(job.rect, c);
      const Gather gather{path.rows, columns, runs, static_cast<std::size_t>(chunk),
                          path.rowRun, inverses};
      Vectorised<GatherMeans>(&gather, i - first, end - first, out + first);
      i = end + 1;
    }
  }
};

// The stride through the angle table of a pixel at distance r from the
// centre.
inline int SpinStride(double reach, double r, int angles) {
  // The centre's samples are all the centre: one angle apart will do.
  if (!(r > 0)) return 1;
  const double s = reach / r;
  return s >= angles - 1 ? angles - 1 : std::max(1, static_cast<int>(s));
}

// Arcs of four neighbouring pixels of a row that share their stride: the
// sample positions in four lanes, in the rule's arithmetic, and the sums
// in the lanes of one vector per pixel. Each pixel takes fewer than 2^23
// samples (the angle count grows with the square root of the picture's
// size), so 32-bit sums do not overflow.
struct Arcs {
  const double* sines;
  const double* cosines;
  const Bgra* const* rowOf;  // the rectangle's rows, from its top
  WorkRect rect;
  int cx, cy, angles;
};
QVX_LOOP_BODY void SpinFour(const Arcs* a, int x, int dy, int stride, Int4* sums, int* counts) {
  // Everything the loop reads is a local, so that the sums stay in
  // registers.
  const double* const sines = a->sines;
  const double* const cosines = a->cosines;
  const Bgra* const* const rowOf = a->rowOf;
  const int angles = a->angles, left = a->rect.left, top = a->rect.top;
  const double cx = a->cx, cy = a->cy;
  const Double4 dx = Double4{0, 1, 2, 3} + static_cast<double>(x - a->cx);
  const unsigned width = static_cast<unsigned>(a->rect.right - left);
  const unsigned height = static_cast<unsigned>(a->rect.bottom - top);
  Int4 sum0{}, sum1{}, sum2{}, sum3{};
  int n0 = 0, n1 = 0, n2 = 0, n3 = 0;
  for (int k = 0; k < angles; k += stride) {
    const double c = cosines[k], s = sines[k];
    const Double4 sx = dx * c - dy * s + cx;
    const Double4 sy = dx * s + dy * c + cy;
    const Int4 column = __builtin_convertvector(sx, Int4) - left;
    const Int4 row = __builtin_convertvector(sy, Int4) - top;
    const auto take = [&](int j, Int4& sum, int& n) {
      if (static_cast<unsigned>(column[j]) > width || static_cast<unsigned>(row[j]) > height)
        return;
      sum += Widen(rowOf[row[j]][column[j]]);
      ++n;
    };
    take(0, sum0, n0);
    take(1, sum1, n1);
    take(2, sum2, n2);
    take(3, sum3, n3);
  }
  sums[0] = sum0, sums[1] = sum1, sums[2] = sum2, sums[3] = sum3;
  counts[0] = n0, counts[1] = n1, counts[2] = n2, counts[3] = n3;
}

struct SpinFilter {
  static constexpr bool kSkips = true;
  double arc = 0;  // radians, not negative
  int cx = 0, cy = 0, angles = 0;
  double reach = 0;  // the farthest distance from the centre
  WorkBlock table;
  const double* sines = nullptr;
  const double* cosines = nullptr;
  // The rectangle's decoded rows, all held: arcs reach across it.
  WorkBlock rowBlock;
  const Bgra** rowOf = nullptr;

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
    const int rows = rect.bottom - rect.top + 1;
    if (!rowBlock.Allocate(sizeof(Bgra*) * static_cast<std::size_t>(rows))) return false;
    rowOf = rowBlock.As<const Bgra*>();
    if (!job.rows.Allocate(rows, 0)) return false;
    for (int y = rect.top; y <= rect.bottom; ++y) rowOf[y - rect.top] = job.rows.Row(y);
    return true;
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) const {
    const WorkRect& rect = job.rect;
    const Arcs arcs{sines, cosines, rowOf, rect, cx, cy, angles};
    const int dy = y - cy;
    const auto stride = [&](int x) {
      const int dx = x - cx;
      return SpinStride(reach, std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy),
                        angles);
    };
    for (int x = x0; x <= x1;) {
      // Four pixels at a time where they share a stride, else one.
      const int s = stride(x);
      const int lanes = x + 3 <= x1 && stride(x + 1) == s && stride(x + 2) == s && stride(x + 3) == s
                            ? 4
                            : 1;
      Int4 sums[4] = {};
      int counts[4] = {};
      if (lanes == 4)
        Vectorised<SpinFour>(&arcs, x, dy, s, sums, counts);
      else
        SpinOne(arcs, x, dy, s, sums[0], counts[0]);
      for (int j = 0; j < lanes; ++j) {
        Bgra& o = out[x + j - rect.left];
        const int n = counts[j];
        // n can exceed the mean divisor's range: plain integer division.
        o = n == 0 ? Bgra{0, 0, 0, 0}
                   : Bgra{static_cast<BYTE>(sums[j][0] / n), static_cast<BYTE>(sums[j][1] / n),
                          static_cast<BYTE>(sums[j][2] / n), 1};
      }
      x += lanes;
    }
  }

  // The arc of one pixel.
  static void SpinOne(const Arcs& a, int x, int dy, int stride, Int4& sum, int& count) {
    const int dx = x - a.cx;
    for (int k = 0; k < a.angles; k += stride) {
      const int sx = static_cast<int>(dx * a.cosines[k] - dy * a.sines[k] + a.cx);
      const int sy = static_cast<int>(dx * a.sines[k] + dy * a.cosines[k] + a.cy);
      if (sx < a.rect.left || sx > a.rect.right || sy < a.rect.top || sy > a.rect.bottom) continue;
      sum += Widen(a.rowOf[sy - a.rect.top][sx - a.rect.left]);
      ++count;
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
  // Without samples every pixel keeps its value: only then may a filter
  // skip pixels.
  const auto run = [&](auto skips) {
    constexpr bool kSkips = decltype(skips)::value;
    const auto start = [&](auto& filter) {
      filter.path.samples = samples;
      return RunFilter(args, setup, filter);
    };
    if (kind == kLinear) {
      const double a = degrees * kRadiansPerDegree;
      LinearFilter<kSkips> filter;
      filter.horizontal = {kLinear, std::cos(a), 0};
      filter.path.vertical = {kLinear, std::sin(a), 0};
      return start(filter);
    }
    ZoomFilter<kSkips> filter;
    filter.horizontal = {kZoom, 0, 0};
    filter.path.vertical = {kZoom, 0, 0};
    return start(filter);
  };
  return samples == 0 ? run(std::true_type{}) : run(std::false_type{});
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
