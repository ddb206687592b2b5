// Waves: columns of the work rectangle shifted up and down (direction 0),
// or rows shifted left and right (direction 1), by a sine or triangle wave.
//
// Direction 0 is described here; direction 1 exchanges x and y. Column x
// (t = x - left) displaces the span of pixel y to yA = D(t) + y .. yB =
// D(t + 1) + y + 1, with D the wave times the amplitude; both ends are
// pushed half a pixel away from zero and truncated. Where they truncate to
// different rows the wave is steep and the pixel is the integer mean of the
// rows between them; otherwise it is the linear blend of the two rows around
// the shifted yA. Rows beyond the rectangle are clamped to its edge, wrapped
// around within it, or read as the background colour.
#include <cmath>
#include <cstdint>

#include "distort/DistortEffects.h"
#include "exports/ExportFrame.h"
#include "exports/Exported.h"

namespace qvx {
namespace {

enum WaveEdge : BYTE { kEdgeClamp = 1, kEdgeWrap = 2 };

// The sums of the last steep run of a line, positions first..last. The next
// pixel's run is usually the same run moved by one position, so it is
// reached by adding and taking away the positions at its ends; runs of any
// length cost a few additions each.
struct RunSum {
  std::int64_t first = 1, last = 0;  // empty
  std::int64_t sum[3] = {0, 0, 0};   // blue, green, red
};
// Beyond this many positions to add or take away, a run is summed anew.
constexpr std::int64_t kSlideLimit = 64;
// Runs up to this long take their means through MeanDivisor.
constexpr std::int64_t kMeanDivisorLimit = 16384;

// One column (or row) of the rectangle: at(i) for i in lo..hi.
template <class Line>
struct WaveLine {
  const Line& at;
  int lo, hi;
  BYTE edge;
  Bgra background;
  RunSum& run;

  std::int64_t Size() const { return std::int64_t{hi} - lo + 1; }
  Bgra Get(std::int64_t i) const {
    return i >= lo && i <= hi ? at(static_cast<int>(i)) : background;
  }
  // What position i of a steep run contributes under the edge mode.
  Bgra Mapped(std::int64_t i) const {
    if (i >= lo && i <= hi) return at(static_cast<int>(i));
    if (edge == kEdgeWrap) return at(static_cast<int>(lo + ((i - lo) % Size() + Size()) % Size()));
    if (edge == kEdgeClamp) return at(static_cast<int>(i < lo ? lo : (i > hi ? hi : i)));
    return Get(i);
  }
  void Add(std::int64_t i, int sign) {
    const Bgra c = Mapped(i);
    run.sum[0] += sign * c.blue;
    run.sum[1] += sign * c.green;
    run.sum[2] += sign * c.red;
  }
  // Makes `run` the run a..b (a <= b).
  void Slide(std::int64_t a, std::int64_t b) {
    const std::int64_t moves = (a > run.first ? a - run.first : run.first - a) +
                               (b > run.last ? b - run.last : run.last - b);
    if (run.first > run.last || moves > kSlideLimit) {
      run = RunSum{a, b, {0, 0, 0}};
      AddRun(a, b, run.sum);
      return;
    }
    // Additions and removals in any order give the sums of a..b.
    while (run.first < a) Add(run.first++, -1);
    while (run.first > a) Add(--run.first, 1);
    while (run.last < b) Add(++run.last, 1);
    while (run.last > b) Add(run.last--, -1);
  }

  // The sums of positions a..b (a <= b), each mapped by the edge mode.
  void AddRun(std::int64_t a, std::int64_t b, std::int64_t sum[3]) const {
    const auto add = [&](Bgra c, std::int64_t times) {
      sum[0] += c.blue * times;
      sum[1] += c.green * times;
      sum[2] += c.red * times;
    };
    if (edge == kEdgeWrap) {
      // Whole turns around the line, then what is left from a on.
      const std::int64_t n = b - a + 1, turns = n / Size();
      if (turns > 0)
        for (int i = lo; i <= hi; ++i) add(at(i), turns);
      std::int64_t i = lo + ((a - lo) % Size() + Size()) % Size();
      for (std::int64_t k = n % Size(); k > 0; --k, i = i == hi ? lo : i + 1) add(at(int(i)), 1);
      return;
    }
    // Below lo and above hi: clamped to the edge, or the background.
    if (a < lo) add(edge == kEdgeClamp ? at(lo) : background, std::min<std::int64_t>(b, lo - 1) - a + 1);
    if (b > hi) add(edge == kEdgeClamp ? at(hi) : background, b - std::max<std::int64_t>(a, hi + 1) + 1);
    for (std::int64_t i = std::max<std::int64_t>(a, lo); i <= std::min<std::int64_t>(b, hi); ++i)
      add(at(int(i)), 1);
  }

  // The pixel whose span runs from the shifted ends a to b, when both
  // cases read rows inside lo..hi and a steep run is one or two rows long
  // (gentle and moderate waves, nearly every pixel): both results are
  // worked out and one is kept, as the case changes from pixel to pixel
  // too irregularly for a branch. False for the others. The run sums are
  // not touched; Slide brings them up to date from wherever they are.
  QVX_LOOP_BODY bool ShortColour(double a, double b, Bgra& colour) const {
    if (!IsSamplePosition(a) || !IsSamplePosition(b)) return false;
    const int ia = static_cast<int>(a), ib = static_cast<int>(b);
    const bool steep = ia != ib;
    // Steep: the mean of rows r0..r1; otherwise the blend of rows ia and
    // ia + 1 by a - ia (every edge mode leaves a in lo..hi - 1 as it is).
    const int r0 = !steep ? ia : (ia < ib ? ia : ib + 1);
    const int r1 = !steep ? ia + 1 : (ia < ib ? ib - 1 : ia);
    if (r0 < lo || r1 > hi || r1 - r0 > 1 || (!steep && a < 0)) return false;
    const Int4 c0 = Widen(at(r0)), c1 = Widen(at(r1));
    const Int4 mean = (c0 + (r1 > r0 ? c1 : c0)) >> 1;
    const double f = a - ia;
    const Int4 blend =
        __builtin_convertvector(DoubleLanes(c0) * (1 - f) + DoubleLanes(c1) * f, Int4);
    const Int4 pick = Int4{} - static_cast<std::int32_t>(steep);
    colour = Written(Narrow((mean & pick) | (blend & ~pick)));
    return true;
  }

  // The pixel whose span runs from the shifted ends a to b.
  QVX_LOOP_BODY Bgra Colour(double a, double b) {
    Bgra fast;
    return ShortColour(a, b, fast) ? fast : AnyColour(a, b);
  }
  [[gnu::noinline]] Bgra AnyColour(double a, double b) {
    if (!IsSamplePosition(a) || !IsSamplePosition(b)) return background;
    const int ia = static_cast<int>(a), ib = static_cast<int>(b);
    if (ia != ib) {
      const std::int64_t first = ia < ib ? ia : std::int64_t{ib} + 1;
      const std::int64_t last = ia < ib ? std::int64_t{ib} - 1 : ia;
      Slide(first, last);
      const std::int64_t n = last - first + 1;
      if (n <= kMeanDivisorLimit) {
        const Int4 mean = MeanDivisor(static_cast<int>(n))(
            Int4{static_cast<std::int32_t>(run.sum[0]), static_cast<std::int32_t>(run.sum[1]),
                 static_cast<std::int32_t>(run.sum[2]), 0});
        return Written({static_cast<BYTE>(mean[0]), static_cast<BYTE>(mean[1]),
                        static_cast<BYTE>(mean[2]), 1});
      }
      return Written({static_cast<BYTE>(run.sum[0] / n), static_cast<BYTE>(run.sum[1] / n),
                      static_cast<BYTE>(run.sum[2] / n), 1});
    }
    double q = a, f;
    std::int64_t i0, i1;
    if (edge == kEdgeClamp || edge == kEdgeWrap) {
      if (edge == kEdgeClamp) {
        q = q < lo ? lo : (q > hi ? hi : q);
      } else {
        // Into lo .. lo + H in one step of whole turns. When 0 <= q - lo < H
        // as computed, the quotient truncates to 0 and neither correction
        // applies, so q stays as it is.
        const double size = static_cast<double>(Size());
        const double offset = q - lo;
        if (!(offset >= 0 && offset < size)) {
          q -= std::floor((q - lo) / size) * size;
          if (q < lo) q += size;
          if (q >= lo + size) q -= size;
        }
      }
      i0 = static_cast<std::int64_t>(q);
      f = q - i0;
      i1 = std::min<std::int64_t>(i0 + 1, hi);
    } else {
      const std::int64_t whole = static_cast<std::int64_t>(q);
      i0 = q < 0 ? static_cast<std::int64_t>(q - 1) : whole;
      f = q - whole + (q < 0 ? 1 : 0);
      i1 = i0 + 1;
    }
    const Bgra c0 = Get(i0), c1 = Get(i1);
    const double w0 = 1 - f;
    const auto channel = [&](BYTE v0, BYTE v1) {
      return static_cast<BYTE>(static_cast<int>(BlendAcross(w0, f, v0, v1)));
    };
    return Written(
        {channel(c0.blue, c1.blue), channel(c0.green, c1.green), channel(c0.red, c1.red), 1});
  }
};

// Half a pixel away from zero: one value, or four lanes.
double Shifted(double v) { return v < 0 ? v - 0.5 : v + 0.5; }
QVX_LOOP_BODY Double4 Shifted(Double4 v) { return v < 0 ? v - 0.5 : v + 0.5; }

struct WavesFilter {
  BYTE direction = 0, shape = 0, edge = 0;
  int period = 1, amplitude = 0;
  double phase = 0;
  Bgra background{};
  WorkBlock table;
  const double* starts = nullptr;  // D(t) for each t of the rectangle
  const double* ends = nullptr;    // D(t + 1)
  RunSum* runs = nullptr;          // the last steep run of each line t
  PictureRows picture;

  // The wave at position t + F (plus `extra`, added last), times the
  // amplitude; NaN for a NaN phase.
  double Displacement(int t, int extra) const {
    const double offset = period * phase;
    if (shape == 0) return std::sin((t + offset + extra) * kTwoPi / period) * amplitude;
    if (std::isnan(offset)) return offset;
    const std::int64_t k = static_cast<std::int64_t>(offset) + t + extra;
    return (std::fabs(static_cast<double>(k % period) / period * 4 - 2) - 1) * amplitude;
  }

  bool Prepare(FilterJob& job) {
    const WorkRect& r = job.rect;
    const int n = direction == 0 ? r.right - r.left + 1 : r.bottom - r.top + 1;
    const std::size_t lines = static_cast<std::size_t>(n);
    if (!table.Allocate((2 * sizeof(double) + sizeof(RunSum)) * lines)) return false;
    double* d = table.As<double>();
    for (int t = 0; t < n; ++t) {
      d[t] = Displacement(t, 0);
      d[n + t] = Displacement(t, 1);
    }
    starts = d;
    ends = d + n;
    runs = reinterpret_cast<RunSum*>(d + 2 * n);
    std::fill_n(runs, lines, RunSum{});
    return picture.Prepare(job, false);
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    Vectorised<RunRow>(this, &job.rect, y, x0, x1, out);
  }

  QVX_LOOP_BODY static void RunRow(WavesFilter* filter, const WorkRect* rect, int y, int x0, int x1,
                                   Bgra* out) {
    filter->Row(*rect, y, x0, x1, out);
  }

  QVX_LOOP_BODY void Row(const WorkRect& r, int y, int x0, int x1, Bgra* out) {
    if (direction == 0) {
      const auto at = [&](int x) { return [this, x](int row) { return picture.Row(row)[x]; }; };
      const double shift = y;
      int x = x0;
      while (x <= x1) {
        const int t = x - r.left;
        if (x + 3 <= x1) {
          Double4 start, end;
          std::memcpy(&start, starts + t, sizeof start);
          std::memcpy(&end, ends + t, sizeof end);
          const auto read = [&](int i, int row) { return picture.Row(row)[x + i]; };
          if (ShortFour(Shifted(start + shift), Shifted(end + shift + 1), r.top, r.bottom, read,
                        out + t)) {
            x += 4;
            continue;
          }
        }
        const auto column = at(x);
        WaveLine<decltype(column)> line{column, r.top, r.bottom, edge, background, runs[t]};
        out[t] = line.Colour(Shifted(starts[t] + y), Shifted(ends[t] + y + 1));
        ++x;
      }
    } else {
      const Bgra* row = picture.Row(y);
      const auto at = [row](int x) { return row[x]; };
      const auto read = [row](int, int x) { return row[x]; };
      const int t = y - r.top;
      WaveLine<decltype(at)> line{at, r.left, r.right, edge, background, runs[t]};
      int x = x0;
      while (x <= x1) {
        if (x + 3 <= x1) {
          const Double4 position = ColumnLanes(x);
          if (ShortFour(Shifted(starts[t] + position), Shifted(ends[t] + position + 1), r.left,
                        r.right, read, out + (x - r.left))) {
            x += 4;
            continue;
          }
        }
        out[x - r.left] = line.Colour(Shifted(starts[t] + x), Shifted(ends[t] + x + 1));
        ++x;
      }
    }
  }

  // Four pixels at once whose spans run from the shifted ends a to b (lane
  // by lane), when every lane is a case of WaveLine::ShortColour: the same
  // colours, into out[0..3]; false (nothing written) otherwise.
  // read(i, k) is position k of lane i's line.
  template <class Read>
  QVX_LOOP_BODY bool ShortFour(Double4 a, Double4 b, int lo, int hi, const Read& read,
                               Bgra* out) const {
    if (!AreSamplePositions(a) || !AreSamplePositions(b)) return false;
    const Int4 ia = __builtin_convertvector(a, Int4), ib = __builtin_convertvector(b, Int4);
    const Int4 steep = ia != ib;
    const Int4 r0 = steep ? (ia < ib ? ia : ib + 1) : ia;
    const Int4 r1 = steep ? (ia < ib ? ib - 1 : ia) : ia + 1;
    const Int4 negative = __builtin_convertvector(a < 0, Int4);
    // r1 >= r0: their difference is that of the unsigned lanes, which
    // cannot overflow.
    const Int4 twoAtMost = reinterpret_cast<Unsigned4>(r1) - reinterpret_cast<Unsigned4>(r0) <= 1u;
    if (!AllLanes((r0 >= lo) & (r1 <= hi) & twoAtMost & (steep | ~negative))) return false;
    // Built in registers: words stored one by one and loaded as a vector
    // would wait for the stores.
    const auto word = [&](int i, int k) {
      const Bgra c = read(i, k);
      std::int32_t w;
      std::memcpy(&w, &c, 4);
      return w;
    };
    const Int4 c0{word(0, r0[0]), word(1, r0[1]), word(2, r0[2]), word(3, r0[3])};
    const Int4 c1{word(0, r1[0]), word(1, r1[1]), word(2, r1[2]), word(3, r1[3])};
    const Double4 f = a - DoubleLanes(ia), w0 = 1 - f;
    Int4 colours = Int4{} + (1 << 24);  // written
    for (int c = 0; c < 3; ++c) {
      const Int4 v0 = (c0 >> (8 * c)) & 255, v1 = (c1 >> (8 * c)) & 255;
      const Int4 mean = (v0 + v1) >> 1;  // r1 is r0 or the next position
      const Int4 blend = __builtin_convertvector(DoubleLanes(v0) * w0 + DoubleLanes(v1) * f, Int4);
      colours |= (steep ? mean : blend) << (8 * c);
    }
    std::memcpy(out, &colours, sizeof colours);
    return true;
  }
};

}  // namespace

HGLOBAL RunWaves(const SelectionArgs& args, BYTE direction, BYTE shape, int wavelength,
                 int amplitude, double phase, BYTE edge, Rgb background, BOOL noDialog,
                 PixelRoute route) {
  if (direction > 1 || shape > 1) return RefuseParameter();
  WavesFilter filter;
  filter.direction = direction;
  filter.shape = shape;
  filter.period = wavelength < 1 ? 1 : wavelength;
  filter.amplitude = amplitude < 0 ? 0 : amplitude;
  filter.phase = phase < 0 ? 0 : (phase > 1 ? 1 : phase);
  filter.edge = edge;
  filter.background = ToBgrxColour(background);
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVWaves(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                               const RECT* rect, BOOL inside, BYTE direction, BYTE shape,
                               int wavelength, int amplitude, double phase, BYTE edge, BYTE red,
                               BYTE green, BYTE blue, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                               DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunWaves(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                         direction, shape, wavelength, amplitude, phase, edge,
                         {red, green, blue}, noDialog);
  });
}
