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
  MirroredPixels<double, true, true> sines;  // the sine of each pixel's distance

  bool Prepare(FilterJob& job) {
    const WorkRect& r = job.rect;
    cx = (r.left + r.right) * 0.5;
    cy = (r.top + r.bottom) * 0.5;
    const double hw = (r.right - r.left) * 0.5, hh = (r.bottom - r.top) * 0.5;
    sx = hw < hh ? hh / hw : 1;
    sy = hw > hh ? hw / hh : 1;
    return sines.Prepare(r) && picture.Prepare(job);
  }

  // The sine of the distance of (x, y) from the centre, in waves.
  double Sine(int x, int y) const {
    const double dx = (x - cx) * sx, dy = (y - cy) * sy;
    const double r = std::sqrt(dx * dx + dy * dy) / (2 * wavelength);
    return std::sin(r * kTwoPi + phase);
  }

  QVX_LOOP_BODY Bgra Pixel(int x, int y) {
    const double dx = (x - cx) * sx, dy = (y - cy) * sy;
    const double s = sines.At(x);
    double u, v;
    if (scaling) {
      const double a = std::fabs(s) * amplitude;
      u = Unstretched(dx * a, sx) + cx;
      v = Unstretched(dy * a, sy) + cy;
    } else {
      const double a = s * amplitude;
      u = Unstretched(dx + a, sx) + cx;
      v = Unstretched(dy + a, sy) + cy;
    }
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

  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    sines.Fill(y, x0, x1, [&](int c, int r) { return Sine(c, r); });
    RunPixels(*this, job, y, x0, x1, out);
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
