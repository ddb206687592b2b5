// Lens: the picture seen through a glass hemisphere standing on the ellipse
// inscribed in the work rectangle, with refractive index n (at least 1).
//
// For a pixel inside the ellipse, at offsets tx (right) and ty (up) from the
// rectangle's centre, the sphere's height z above it gives an angle of
// incidence in each axis; the refracted ray meets the picture Dx and Dy
// away, and the pixel samples the source there, half a pixel right and down
// of its own position. Near the right and bottom picture borders the last
// column and row are repeated. Pixels on or outside the ellipse take the
// fill colour when asked to, and otherwise keep the source.
#include <cmath>

#include "distort/DistortEffects.h"
#include "exports/ExportFrame.h"
#include "exports/Exported.h"

namespace qvx {
namespace {

// The shift of the refracted ray in one axis, for offset `t` from the
// centre under height z.
double RefractedShift(double t, double z, double index) {
  const double incidence = kHalfPi - std::acos(t / std::sqrt(t * t + z * z));
  const double refracted = std::asin(std::sin(incidence) / index);
  return z * std::tan(incidence - refracted);
}

// What a pixel shares with its mirror in the row: the sphere's height above
// it (-1 on or outside the ellipse) and the refracted ray's vertical shift
// (0 on or outside the ellipse). Its horizontal shift it shares with its
// mirror in the column; the height, with all three mirrors.
struct Height {
  double z, shiftUp;
};

struct LensFilter {
  static constexpr bool kSkips = true;
  double index = 1;
  bool fill = false;
  Bgra fillColour{};
  double a = 0, b = 0, a2 = 1, b2 = 1, m2 = 0;
  int left = 0, top = 0;
  PictureRows picture;
  MirroredPixels<Height, false, true> heights;
  MirroredPixels<double, true, false> sideways;  // the horizontal shifts

  bool Prepare(FilterJob& job) {
    const WorkRect& r = job.rect;
    left = r.left;
    top = r.top;
    a = (r.right - r.left + 1) * 0.5;
    b = (r.bottom - r.top + 1) * 0.5;
    a2 = a * a;
    b2 = b * b;
    const double m = std::min(a, b);
    m2 = m * m;
    return heights.Prepare(r) && sideways.Prepare(r) && picture.Prepare(job);
  }

  // Position p's first sample and its weight on the second, the first
  // taken at most `last` (with the whole weight on the second).
  QVX_LOOP_BODY static void SampleAxis(double p, int last, int& p0, double& weight) {
    p0 = static_cast<int>(std::fabs(p));
    weight = p - p0;
    if (p0 > last) {
      p0 = last;
      weight = 1.0;
    }
  }

  // The height and vertical shift of the pixel (x, y).
  Height HeightAt(int x, int y) const {
    const double tx = (x - left) - a + 0.5, ty = b - (y - top) - 0.5;
    const double z = HeightOver(tx, ty);
    if (z < 0) return {-1, 0};
    return {z, RefractedShift(ty, z, index)};
  }

  // The sphere's height above the pixel at offsets tx, ty; -1 on or
  // outside the ellipse.
  double HeightOver(double tx, double ty) const {
    const double across = tx * tx / a2, up = ty * ty / b2;
    if (across + up >= 1) return -1;
    return std::sqrt(m2 * (1 - across - up));
  }

  QVX_LOOP_BODY Bgra Pixel(int x, int y) {
    const double tx = (x - left) - a + 0.5, ty = b - (y - top) - 0.5;
    const double across = tx * tx / a2, up = ty * ty / b2;
    if (across + up >= 1) return fill ? fillColour : kNotWritten;
    const Height& h = heights.At(x);
    const double u = tx - sideways.At(x) + left + a;
    const double v = top - (ty - h.shiftUp) + b;
    if (!IsSamplePosition(u) || !IsSamplePosition(v)) return kNotWritten;
    int x0, y0;
    double fx, fy;
    SampleAxis(u, picture.Width() - 2, x0, fx);
    SampleAxis(v, picture.Height() - 2, y0, fy);
    // A first sample left of or above the picture (one pixel wide or high)
    // has weight 0; the colour it stands for does not matter.
    const Bgra* row0 = picture.Row(std::max(y0, 0));
    const Bgra* row1 = picture.Row(y0 + 1);
    return BlendSamples(WeightsFor(fx, fy), row0[x0], row0[x0 + 1], row1[x0], row1[x0 + 1]);
  }

  // Pixels x..x+3 of row y, lane by lane when all four lie inside the
  // ellipse and sample blocks inside the picture.
  QVX_LOOP_BODY void Four(int x, int y, Bgra* out) {
    const Double4 tx = DoubleLanes(Int4{x, x + 1, x + 2, x + 3} - left) - a + 0.5;
    const double ty = b - (y - top) - 0.5;
    const Double4 across = tx * tx / a2;
    const double up = ty * ty / b2;
    Double4 shiftUp, side;
    for (int i = 0; i < 4; ++i) {
      shiftUp[i] = heights.At(x + i).shiftUp;
      side[i] = sideways.At(x + i);
    }
    const Double4 u = tx - side + left + a;
    const Double4 v = top - (ty - shiftUp) + b;
    if (AllLanes(across + up < 1) && AreSamplePositions(u) && AreSamplePositions(v)) {
      Int4 x0, y0;
      Double4 fx, fy;
      SampleAxes(u, picture.Width() - 2, x0, fx);
      SampleAxes(v, picture.Height() - 2, y0, fy);
      if (picture.BlocksInside(x0, y0)) return picture.BlendFour(x0, y0, fx, fy, out);
    }
    for (int i = 0; i < 4; ++i) out[i] = Pixel(x + i, y);
  }

  // SampleAxis of four positions.
  QVX_LOOP_BODY static void SampleAxes(Double4 p, int last, Int4& p0, Double4& weight) {
    p0 = __builtin_convertvector(AbsLanes(p), Int4);
    const Double4 first = DoubleLanes(p0);
    const auto beyond = first > static_cast<double>(last);
    weight = beyond ? Double4{} + 1.0 : p - first;
    p0 = p0 > last ? Int4{} + last : p0;
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    heights.Fill(y, x0, x1, [&](int c, int r) { return HeightAt(c, r); });
    // Column c's height in row y is its height in the mirror row r too.
    sideways.Fill(y, x0, x1, [&](int c, int) {
      const double z = heights.At(c).z;
      return z < 0 ? 0.0 : RefractedShift((c - left) - a + 0.5, z, index);
    });
    RunPixels(*this, job, y, x0, x1, out);
  }
};

}  // namespace

HGLOBAL RunLens(const SelectionArgs& args, double index, BOOL fill, Rgb fillColour, BOOL noDialog,
                PixelRoute route) {
  LensFilter filter;
  filter.index = index < 1.0 ? 1.0 : index;
  filter.fill = fill != 0;
  filter.fillColour = ToBgrxColour(fillColour);
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVLens(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                              const RECT* rect, BOOL inside, double index, BOOL fill, BYTE red,
                              BYTE green, BYTE blue, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                              DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunLens(qvx::CopySelection(images, mode, points, pointCount, rect, inside), index,
                        fill, {red, green, blue}, noDialog);
  });
}
