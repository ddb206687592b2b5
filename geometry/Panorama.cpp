// QVPanorama: two overlapping 24-bit photographs joined on two features
// marked in both. The second picture is scaled by the ratio of the two
// segments' lengths (smoothing resize), turned so that the segments point
// the same way and pasted so that its first point covers the base picture's
// first point (paste worker, the result growing to hold both). A seam along
// the line through the second picture's points can keep one side of it.
#include "geometry/Panorama.h"

#include <cmath>
#include <cstdint>

#include "composite/PasteImage.h"
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "frame/PixelFormat.h"
#include "frame/Resources.h"
#include "frame/Selection.h"
#include "geometry/ProgressRange.h"
#include "geometry/Resize.h"

namespace qvx {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr ProgressRange kResizeProgress{0, 50};
constexpr ProgressRange kPasteProgress{51, 100};

// Integer sums and differences wrap as 32-bit arithmetic does; only points
// of pictures beyond 46340 pixels, or a scale that is not a number, reach
// that.
int Wrap32(std::int64_t v) { return static_cast<int>(static_cast<std::uint32_t>(v)); }

// sqrt(dx^2 + dy^2), the squares summed in 32-bit integers.
double SegmentLength(int dx, int dy) {
  return std::sqrt(static_cast<double>(
      Wrap32(std::int64_t{dx} * dx + std::int64_t{dy} * dy)));
}

bool SamePoint(POINT a, POINT b) { return a.x == b.x && a.y == b.y; }

}  // namespace

double GetLineAngle(int xa, int ya, int xb, int yb) {
  const double dx = static_cast<double>(std::int64_t{xb} - xa);
  const double dy = static_cast<double>(std::int64_t{yb} - ya);
  if (dx == 0 && dy == 0) return 90;
  const double degrees = std::atan2(dy, dx) * 180.0 / kPi;
  return degrees < 0 ? degrees + 360.0 : degrees;
}

PanoramaJoin JoinPanorama(const PanoramaPoints& points, int baseHeight, int secondWidth,
                          int secondHeight) {
  // y upwards: y' = MaxY - y of the point's own picture.
  const int x0 = points.p0.x, x1 = points.p1.x, x2 = points.q0.x, x3 = points.q1.x;
  const int y0 = baseHeight - 1 - points.p0.y, y1 = baseHeight - 1 - points.p1.y;
  const int y2 = secondHeight - 1 - points.q0.y, y3 = secondHeight - 1 - points.q1.y;
  const double scale = SegmentLength(x1 - x0, y1 - y0) / SegmentLength(x3 - x2, y3 - y2);
  PanoramaJoin join;
  join.width = TruncToInt(secondWidth * scale);
  join.height = TruncToInt(secondHeight * scale);
  join.angle = TruncToInt((GetLineAngle(x0, y0, x1, y1) - GetLineAngle(x2, y2, x3, y3)) * 100.0);
  const double t = join.angle * 0.01 * kPi / 180.0;
  // Q0 in the scaled picture, from its centre, turned with it.
  const int X = Wrap32(std::int64_t{TruncToInt(x2 * scale)} - join.width / 2);
  const int Y = Wrap32(std::int64_t{TruncToInt(y2 * scale)} - join.height / 2);
  const int rx = TruncToInt(X * std::cos(t) - Y * std::sin(t));
  const int ry = TruncToInt(X * std::sin(t) + Y * std::cos(t));
  join.px = Wrap32(std::int64_t{points.p0.x} - rx);
  join.py = Wrap32(std::int64_t{ry} + points.p0.y);
  return join;
}

HGLOBAL BuildSeamMask(int width, int height, BYTE seam, POINT q0, POINT q1) {
  const int maxX = width - 1, maxY = height - 1;
  WorkRect whole{0, 0, maxX, maxY};
  OwnedBlock mask(BuildSelectionMask(0, nullptr, 0, 0, 0, 0, 0, TRUE, &whole, TRUE));
  if (!mask) return nullptr;
  // The line through Q0 and Q1, in upward coordinates, reaching beyond the
  // picture on both sides.
  const int x2 = q0.x, x3 = q1.x, y2 = maxY - q0.y, y3 = maxY - q1.y;
  int ax, ay, bx, by;
  if (x2 == x3) {
    ax = bx = x2, ay = -10, by = maxY + 10;
  } else if (y2 == y3) {
    ax = -10, bx = maxX + 10, ay = by = y2;
  } else {
    const double m = static_cast<double>(y3 - y2) / (x3 - x2);
    const double c = y2 - x2 * m;
    const int yL = RoundHalfAway(c), yR = RoundHalfAway(maxX * m + c);
    if (0 <= yL && yL <= maxY && 0 <= yR && yR <= maxY) {
      ax = -1, ay = yL, bx = maxX + 1, by = yR;
    } else {
      ax = RoundHalfAway(-c / m), ay = -1, bx = RoundHalfAway((maxY - c) / m), by = maxY + 1;
    }
  }
  if (!DrawLineMask(mask.Get(), ax, Wrap32(std::int64_t{maxY} - ay), bx,
                    Wrap32(std::int64_t{maxY} - by)))
    return nullptr;
  // The seed: the corner on the kept side, by the direction from Q0 to Q1;
  // mode 2 keeps the other side and seeds from the opposite corner.
  int seedX, seedY;
  if (q0.y <= q1.y)
    seedX = maxX, seedY = x2 >= x3 ? maxY : 0;
  else
    seedX = 0, seedY = x2 < x3 ? 0 : maxY;
  if (seam == 2) seedX = maxX - seedX, seedY = maxY - seedY;
  if (!FloodFillMask(mask.Get(), seedX, seedY)) return nullptr;
  return mask.Release();
}

HGLOBAL PanoramaImage(HGLOBAL base, HGLOBAL second, BYTE seam, PanoramaPoints points,
                      PanoramaFill fill, BOOL noDialog) {
  if (SamePoint(points.p0, points.p1) && SamePoint(points.q0, points.q1)) {
    SetErrorStatus(kErrorBadParameter);
    return nullptr;
  }
  LockedDib a, b;
  if (!a.Start(base, kDepth24) || !b.Start(second, kDepth24)) return nullptr;
  ClampPointsToDib(a->Header, points.p0, points.p1);
  ClampPointsToDib(b->Header, points.q0, points.q1);
  if (seam > 2) seam = 0;
  const PanoramaJoin join = JoinPanorama(points, a->Height, b->Width, b->Height);
  OwnedBlock seamMask;
  if (seam) {
    seamMask.Reset(BuildSeamMask(b->Width, b->Height, seam, points.q0, points.q1));
    if (!seamMask) {
      SetErrorStatus(kErrorCannotDo);
      return nullptr;
    }
  }
  a.End();
  b.End();
  // A scaled picture too large for any block fails as its allocation would,
  // before the seam mask (a 24th of its size) is scaled.
  if (join.width >= 1 && join.height >= 1 &&
      std::uint64_t{RowBytesFor(24, join.width)} * join.height - 1 >= 0xFFFFFFFFu) {
    SetErrorStatus(kErrorNoMemory);
    return nullptr;
  }
  // A scale of 0, infinity or no number gives a size below 1: error 5.
  const ImageHandles scaled = ResizeImages(second, seamMask.Get(), join.width, join.height, TRUE,
                                           kResizeProgress, noDialog);
  OwnedBlock scaledPicture(scaled.Picture), scaledMask(scaled.Mask);
  if (!scaledPicture) return nullptr;
  seamMask.Reset();
  PastePlacement placement;
  placement.angle = join.angle;
  placement.opacity = 255;
  placement.fillRed = fill.red;
  placement.fillGreen = fill.green;
  placement.fillBlue = fill.blue;
  placement.px = join.px;
  placement.py = join.py;
  placement.clip = FALSE;
  return PasteImages(base, scaledPicture.Get(), scaledMask.Get(), placement, kPasteProgress,
                     noDialog);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVPanorama(HGLOBAL base, HGLOBAL second, BYTE seam, int x0, int y0, int x1,
                                  int y1, int x2, int y2, int x3, int y3, int fillRed,
                                  int fillGreen, int fillBlue, BOOL noDialog, DWORD dlgArg1,
                                  DWORD dlgArg2, DWORD dlgArg3) {
  const qvx::PanoramaPoints points{{x0, y0}, {x1, y1}, {x2, y2}, {x3, y3}};
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::PanoramaImage(base, second, seam, points, {fillRed, fillGreen, fillBlue},
                              noDialog);
  });
}
