// Ripple: concentric rings around the work rectangle's centre. Each pixel
// is moved along the line through the centre by a sine of its distance from
// it and resampled bilinearly from the source.
//
// Distances are measured in stretched space (the shorter half-size of the
// rectangle scaled up to the longer), so an elongated rectangle gets
// circular rings. In scaling mode the offset from the centre is multiplied
// by |s| A; in additive mode s A is added to both of its coordinates.
#include <cmath>

#include "distort/DistortEffects.h"
#include "exports/ExportFrame.h"
#include "exports/Exported.h"

namespace qvx {
namespace {

struct RippleFilter {
  double amplitude = 0, wavelength = 1, phase = 0;  // phase in radians
  bool clamp = false, scaling = false;
  Bgra background{};
  double cx = 0, cy = 0, sx = 1, sy = 1;
  PictureRows picture;
  BandRows band;
  MirroredPixels<double, true, true> sines;  // the sine of each pixel's distance

  bool Prepare(FilterJob& job) {
    const WorkRect& r = job.rect;
    cx = (r.left + r.right) * 0.5;
    cy = (r.top + r.bottom) * 0.5;
    const double hw = (r.right - r.left) * 0.5, hh = (r.bottom - r.top) * 0.5;
    sx = hw < hh ? hh / hw : 1;
    sy = hw > hh ? hw / hh : 1;
    return sines.Prepare(r) && picture.Prepare(job) && band.Prepare(r);
  }

  // The sine of the distance of (x, y) from the centre, in waves.
  double Sine(int x, int y) const {
    const double dx = (x - cx) * sx, dy = (y - cy) * sy;
    const double r = std::sqrt(dx * dx + dy * dy) / (2 * wavelength);
    return std::sin(r * kTwoPi + phase);
  }
  // The same for pixels x..x+3, into out[0..3].
  void SinesOfFour(int x, int y, double* out) const {
    double arguments[4];
    Vectorised<SineArguments>(this, x, y, arguments);
    for (int i = 0; i < 4; ++i) out[i] = std::sin(arguments[i]);
  }
  QVX_LOOP_BODY static void SineArguments(const RippleFilter* f, int x, int y, double* out) {
    const Double4 dx = (ColumnLanes(x) - f->cx) * f->sx;
    const double dy = (y - f->cy) * f->sy;
    const Double4 r = SqrtLanes(dx * dx + dy * dy) / (2 * f->wavelength);
    const Double4 arguments = r * kTwoPi + f->phase;
    std::memcpy(out, &arguments, sizeof arguments);
  }

  // The source position (u, v) of offsets dx, dy whose distance has sine
  // s: doubles, or lanes of pixels in one row.
  template <class Offset>
  QVX_LOOP_BODY void Source(Offset dx, double dy, Offset s, Offset& u, Offset& v) const {
    if (scaling) {
      Offset a;
      if constexpr (std::is_same_v<Offset, double>)
        a = std::fabs(s) * amplitude;
      else
        a = AbsLanes(s) * amplitude;
      u = Unstretched(dx * a, sx) + cx;
      v = Unstretched(dy * a, sy) + cy;
    } else {
      const Offset a = s * amplitude;
      u = Unstretched(dx + a, sx) + cx;
      v = Unstretched(dy + a, sy) + cy;
    }
  }

  QVX_LOOP_BODY Bgra Pixel(int x, int y) {
    const double dx = (x - cx) * sx, dy = (y - cy) * sy;
    double u, v;
    Source(dx, dy, sines.At(x), u, v);
    if (!IsSamplePosition(u) || !IsSamplePosition(v)) return background;
    int x0 = static_cast<int>(u), y0 = static_cast<int>(v);
    const BlendWeights w = WeightsFor(std::fabs(u - x0), std::fabs(v - y0));
    if (clamp) {
      // The lower bound first: a picture one pixel wide or high leaves -1.
      x0 = std::min(std::max(x0, 0), picture.Width() - 2);
      y0 = std::min(std::max(y0, 0), picture.Height() - 2);
    }
    return picture.Blend(x0, y0, w, background);
  }

  // The blocks and weights of pixels x..x+3, worked out lane by lane;
  // false when a position cannot be sampled.
  QVX_LOOP_BODY bool Place(int x, int y, Int4& x0, Int4& y0, Double4& fx, Double4& fy) {
    const Double4 dx = (ColumnLanes(x) - cx) * sx;
    const double dy = (y - cy) * sy;
    Double4 s;
    bool reversed;
    if (const double* at = sines.Four(x, reversed)) {
      std::memcpy(&s, at, sizeof s);
      if (reversed) s = Shuffle<3, 2, 1, 0>(s);
    } else {
      s = Double4{sines.At(x), sines.At(x + 1), sines.At(x + 2), sines.At(x + 3)};
    }
    Double4 u, v;
    Source(dx, dy, s, u, v);
    if (!AreSamplePositions(u, v)) return false;
    x0 = __builtin_convertvector(u, Int4), y0 = __builtin_convertvector(v, Int4);
    fx = AbsLanes(u - DoubleLanes(x0)), fy = AbsLanes(v - DoubleLanes(y0));
    if (clamp) {
      x0 = x0 < 0 ? Int4{} : x0;
      x0 = x0 > picture.Width() - 2 ? Int4{} + (picture.Width() - 2) : x0;
      y0 = y0 < 0 ? Int4{} : y0;
      y0 = y0 > picture.Height() - 2 ? Int4{} + (picture.Height() - 2) : y0;
    }
    return true;
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    band.Run(y, x0, x1, out, [&](int row, int a, int b, Bgra* colours) {
      sines.Fill(
          row, a, b, [&](int c, int r) { return Sine(c, r); },
          [&](int c, int r, double* values) { SinesOfFour(c, r, values); });
      RunSampled(*this, job, row, a, b, colours);
    });
  }
};

}  // namespace

HGLOBAL RunRipple(const SelectionArgs& args, double amplitude, double wavelength, double degrees,
                  BOOL clamp, BOOL scaling, Rgb background, BOOL noDialog, PixelRoute route) {
  if (wavelength == 0) return RefuseParameter();
  RippleFilter filter;
  filter.amplitude = amplitude;
  filter.wavelength = wavelength;
  filter.phase = degrees * kRadiansPerDegree;
  filter.clamp = clamp != 0;
  filter.scaling = scaling != 0;
  filter.background = ToBgrxColour(background);
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVRipple(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, double amplitude, double wavelength,
                                double degrees, BOOL clamp, BOOL scaling, BYTE red, BYTE green,
                                BYTE blue, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunRipple(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                          amplitude, wavelength, degrees, clamp, scaling, {red, green, blue},
                          noDialog);
  });
}
