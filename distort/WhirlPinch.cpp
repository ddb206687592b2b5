// Whirl and pinch: inside a circle around the work rectangle's centre each
// pixel is turned by an angle that falls from `degrees` at the centre to 0
// at the circle, and pulled toward the centre by a power of a sine of its
// distance (the pinch); then resampled bilinearly, samples beyond the
// picture taking the background colour.
//
// The rule writes each pixel (x, y) visited, and also its point mirror
// (left + right - x, top + bottom - y) from the mirrored source position;
// the later write wins. So a pixel visited before its mirror ends up with
// the mirror of the mirror's sample, and the middle pixel of a rectangle
// of odd size with the mirror of its own; the filter works out that last
// write directly, once per pixel. Pixels outside the circle keep the source.
#include <cmath>

#include "distort/DistortEffects.h"
#include "exports/ExportFrame.h"
#include "exports/Exported.h"

namespace qvx {
namespace {

// The turn of a pixel inside the circle at offsets dx, dy (stretched) from
// the centre, pinch included: u and v take cosine * dx - sine * dy and
// sine * dx + cosine * dy. Equal for a pixel and its mirrors.
struct Turn {
  double cosine, sine;
};

struct WhirlPinchFilter {
  static constexpr bool kSkips = true;
  double whirl = 0, pinch = 0, factor = 1;  // whirl in radians, sign inverted
  Bgra background{};
  double cx = 0, cy = 0, sx = 1, sy = 1, radius = 1, limit = 0;
  int left = 0, right = 0, top = 0, bottom = 0;
  PictureRows picture;
  BandRows band;
  MirroredPixels<Turn, true, true> turns;

  bool Prepare(FilterJob& job) {
    const WorkRect& r = job.rect;
    left = r.left, right = r.right, top = r.top, bottom = r.bottom;
    const double a = (r.right - r.left + 1) * 0.5, b = (r.bottom - r.top + 1) * 0.5;
    cx = (r.left + r.right) * 0.5;
    cy = (r.top + r.bottom) * 0.5;
    sx = a < b ? b / a : 1;
    sy = a > b ? a / b : 1;
    radius = std::max(a, b);
    limit = radius * radius * factor;
    return turns.Prepare(r) && picture.Prepare(job) && band.Prepare(r);
  }

  // The turn of the pixel (x, y).
  Turn TurnAt(int x, int y) const {
    const double dx = (x - cx) * sx, dy = (y - cy) * sy;
    const double r2 = dx * dx + dy * dy;
    if (r2 >= limit) return {0, 0};
    return TurnOf(std::sqrt(r2 / factor) / radius);
  }
  // The turn at distance d inside the circle (1 at its edge).
  Turn TurnOf(double d) const {
    // Powers 0 and 1 are exact without pow.
    const double sine = std::sin(d * kHalfPi);
    const double s = pinch == 0 ? 1.0 : (pinch == 1 ? sine : std::pow(sine, pinch));
    const double t = (1 - d) * (1 - d) * whirl;
    return {std::cos(t) * s, std::sin(t) * s};
  }
  // The turns of pixels x..x+3 of row y, into out[0..3].
  void TurnsAt(int x, int y, Turn* out) const {
    double distances[4];
    unsigned inside = 0;
    Vectorised<Distances>(this, x, y, distances, &inside);
    for (int i = 0; i < 4; ++i) out[i] = inside >> i & 1 ? TurnOf(distances[i]) : Turn{0, 0};
  }
  // Their distances d, and in bit i whether pixel x + i lies inside the
  // circle.
  QVX_LOOP_BODY static void Distances(const WhirlPinchFilter* f, int x, int y, double* distances,
                                      unsigned* inside) {
    const Double4 dx = (ColumnLanes(x) - f->cx) * f->sx;
    const double dy = (y - f->cy) * f->sy;
    const Double4 r2 = dx * dx + dy * dy;
    const Double4 d = SqrtLanes(r2 / f->factor) / f->radius;
    std::memcpy(distances, &d, sizeof d);
    // As TurnAt's test, so that a NaN limit lets every pixel in.
    std::int64_t beyond[4];
    const auto lanes = r2 >= f->limit;
    std::memcpy(beyond, &lanes, sizeof beyond);
    for (int i = 0; i < 4; ++i) *inside |= (beyond[i] ? 0u : 1u) << i;
  }

  // The colour the pixel (x, y) gives itself, mirrored through the centre
  // when `mirrored`; not written outside the circle.
  QVX_LOOP_BODY Bgra Sample(int x, int y, bool mirrored) {
    const double dx = (x - cx) * sx, dy = (y - cy) * sy;
    const double r2 = dx * dx + dy * dy;
    if (r2 >= limit) return kNotWritten;
    const Turn& turn = turns.At(x);
    double u = Unstretched(turn.cosine * dx - turn.sine * dy, sx) + cx;
    double v = Unstretched(turn.sine * dx + turn.cosine * dy, sy) + cy;
    if (mirrored) {
      u = 2 * cx - u;
      v = 2 * cy - v;
    }
    if (!IsSamplePosition(u) || !IsSamplePosition(v)) return background;
    const int x0 = static_cast<int>(u < 0 ? u - 1 : u), y0 = static_cast<int>(v < 0 ? v - 1 : v);
    const BlendWeights w =
        WeightsFor(std::fabs(u - static_cast<int>(u)), std::fabs(v - static_cast<int>(v)));
    return picture.Blend(x0, y0, w, background);
  }

  QVX_LOOP_BODY Bgra Pixel(int x, int y) {
    const int mx = left + right - x, my = top + bottom - y;
    // Visited after its mirror: its own write is the last.
    const bool own = y > my || (y == my && x > mx);
    return own ? Sample(x, y, false) : Sample(mx, my, true);
  }

  // The blocks and weights of Sample for the columns of lanes `columns` in
  // row y at once; false when a lane lies outside the circle or its
  // position cannot be sampled, which Sample handles alone.
  // The turns of columns x..x+3 (and of their mirror columns).
  QVX_LOOP_BODY void TurnsOfFour(int x, Double4& cosine, Double4& sine) const {
    bool reversed;
    if (const Turn* at = turns.Four(x, reversed)) {
      Double4 first, second;  // cosine and sine of two columns each
      std::memcpy(&first, at, sizeof first);
      std::memcpy(&second, at + 2, sizeof second);
      if (reversed) {
        cosine = Shuffle<6, 4, 2, 0>(first, second);
        sine = Shuffle<7, 5, 3, 1>(first, second);
      } else {
        cosine = Shuffle<0, 2, 4, 6>(first, second);
        sine = Shuffle<1, 3, 5, 7>(first, second);
      }
      return;
    }
    for (int i = 0; i < 4; ++i) {
      const Turn& turn = turns.At(x + i);
      cosine[i] = turn.cosine;
      sine[i] = turn.sine;
    }
  }

  // Lane i: column columns[i] of row y, whose turn is that of column x + i.
  QVX_LOOP_BODY bool PlaceFour(int x, Int4 columns, int y, bool mirrored, Int4& x0, Int4& y0,
                               Double4& fx, Double4& fy) const {
    const Double4 dx = (DoubleLanes(columns) - cx) * sx;
    const double dy = (y - cy) * sy;
    const Double4 r2 = dx * dx + dy * dy;
    if (!AllLanes(r2 < limit)) return false;
    Double4 cosine, sine;
    TurnsOfFour(x, cosine, sine);
    Double4 u = Unstretched(cosine * dx - sine * dy, sx) + cx;
    Double4 v = Unstretched(sine * dx + cosine * dy, sy) + cy;
    if (mirrored) {
      u = 2 * cx - u;
      v = 2 * cy - v;
    }
    if (!AreSamplePositions(u, v)) return false;
    x0 = __builtin_convertvector(u < 0 ? u - 1 : u, Int4);
    y0 = __builtin_convertvector(v < 0 ? v - 1 : v, Int4);
    fx = AbsLanes(u - DoubleLanes(__builtin_convertvector(u, Int4)));
    fy = AbsLanes(v - DoubleLanes(__builtin_convertvector(v, Int4)));
    return true;
  }

  // The blocks and weights of pixels x..x+3 of row y: their own samples
  // below the middle row, their mirrors' mirrored above it.
  QVX_LOOP_BODY bool Place(int x, int y, Int4& x0, Int4& y0, Double4& fx, Double4& fy) const {
    const int mx = left + right - x, my = top + bottom - y;
    if (y > my) return PlaceFour(x, Int4{x, x + 1, x + 2, x + 3}, y, false, x0, y0, fx, fy);
    if (y < my) return PlaceFour(x, Int4{mx, mx - 1, mx - 2, mx - 3}, my, true, x0, y0, fx, fy);
    return false;
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    band.Run(y, x0, x1, out, [&](int row, int a, int b, Bgra* colours) {
      turns.Fill(
          row, a, b, [&](int c, int r) { return TurnAt(c, r); },
          [&](int c, int r, Turn* values) { TurnsAt(c, r, values); });
      RunSampled(*this, job, row, a, b, colours);
    });
  }
};

}  // namespace

HGLOBAL RunWhirlPinch(const SelectionArgs& args, double degrees, double pinch, double factor,
                      Rgb background, BOOL noDialog, PixelRoute route) {
  WhirlPinchFilter filter;
  filter.whirl = degrees * -kRadiansPerDegree;
  filter.pinch = std::fabs(pinch);
  filter.factor = factor;
  filter.background = ToBgrxColour(background);
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVWhirlPinch(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                    const RECT* rect, BOOL inside, double degrees, double pinch,
                                    double factor, BYTE red, BYTE green, BYTE blue, BOOL noDialog,
                                    DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunWhirlPinch(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                              degrees, pinch, factor, {red, green, blue}, noDialog);
  });
}
