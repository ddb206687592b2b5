// QVRotation, QVRotationEx and the rotation worker.
#include "geometry/Rotation.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <utility>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "frame/Resources.h"
#include "frame/Simd.h"
#include "geometry/GeometryPixels.h"
#include "geometry/MirrorFlip.h"
#include "geometry/ProgressRange.h"
#include "geometry/Sampling.h"

namespace qvx {

CentredFrame CentredFrameOf(int width, int height) {
  return {-(width / 2), -(height / 2), width % 2 ? width / 2 : width / 2 - 1,
          height % 2 ? height / 2 : height / 2 - 1};
}

namespace {

// One whole unit further from zero, then truncated.
int PushOut(double v) { return static_cast<int>(v < 0 ? v - 1.0 : v + 1.0); }

}  // namespace

TurnedBounds::TurnedBounds(int a) : c(std::cos(-AngleRadians(a))), s(std::sin(-AngleRadians(a))) {}

void TurnedBounds::Add(double x, double y) {
  const double tx = x * c - y * s;
  const double ty = x * s + y * c;
  minX = std::min(minX, tx);
  maxX = std::max(maxX, tx);
  minY = std::min(minY, ty);
  maxY = std::max(maxY, ty);
}

CentredFrame TurnedBounds::Truncated(bool pushOut) const {
  if (pushOut) return {PushOut(minX), PushOut(minY), PushOut(maxX), PushOut(maxY)};
  return {static_cast<int>(minX), static_cast<int>(minY), static_cast<int>(maxX),
          static_cast<int>(maxY)};
}

CentredFrame TurnedFrame(const CentredFrame& frame, int a) {
  TurnedBounds bounds(a);
  bounds.Add(frame.left, frame.top);
  bounds.Add(frame.left, frame.bottom);
  bounds.Add(frame.right, frame.bottom);
  bounds.Add(frame.right, frame.top);
  return bounds.Truncated(true);
}

namespace {

// What turning one picture (the mask or the picture) needs.
struct Turn {
  int a;
  bool keepSize;
  bool smooth;
  WholePixel background;
  CentredFrame source;  // the source's centred frame
  CentredFrame result;  // the result's, in the same coordinates
  ProgressRange range;
  BOOL noDialog;
  PixelRoute path;
};

// ---- quarter turns -----------------------------------------------------------

// Result pixel (x, y) reads source pixel (x0 + xx x + xy y, y0 + yx x + yy y);
// one of xx, yx is 0 and the other +-1.
struct QuarterMap {
  int x0, xx, xy;
  int y0, yx, yy;
};

template <class Px>
bool QuarterRows(const Px& src, const Px& dst, const QuarterMap& m, bool keepAlpha,
                 const Turn& turn, int sw, int sh, int width, int height) {
  for (int y = 0; y < height; ++y) {
    const int sx = m.x0 + m.xy * y, sy = m.y0 + m.yy * y;  // source of x = 0
    int lo = 0, hi = width - 1;
    ClipToSource(sx, m.xx, sw, lo, hi);
    ClipToSource(sy, m.yx, sh, lo, hi);
    auto d = dst.At(dst.Row(y), 0);
    int x = 0;
    for (; x < lo && x < width; ++x, d = dst.Next(d)) dst.Fill(d, turn.background);
    if (lo <= hi) {
      TransferRun(dst, d, src, src.At(src.Row(sy + m.yx * lo), sx + m.xx * lo), hi - lo + 1, m.xx,
                  m.yx, keepAlpha);
      d = dst.At(dst.Row(y), hi + 1);
      x = hi + 1;
    }
    for (; x < width; ++x, d = dst.Next(d)) dst.Fill(d, turn.background);
    if (!ReportRow(y, height, turn.range, turn.noDialog)) return false;
  }
  return true;
}

// The map of a quarter turn (a = 9000, 18000 or 27000) of a w x h source.
// Without keep size the 90- and 270-degree results are h x w; with it they
// keep w x h and centre the turned picture, d = h - w split into d2 = d / 2
// and d1 = d - d2.
QuarterMap QuarterMapFor(int a, bool keepSize, int w, int h) {
  const int d = h - w, d2 = d / 2, d1 = d - d2;
  switch (a) {
    case 9000:
      return keepSize ? QuarterMap{d1 + w - 1, 0, -1, d2, 1, 0} : QuarterMap{w - 1, 0, -1, 0, 1, 0};
    case 27000:
      return keepSize ? QuarterMap{-d1, 0, 1, h - 1 - d2, -1, 0}
                      : QuarterMap{0, 0, 1, h - 1, -1, 0};
    default:
      return QuarterMap{w - 1, -1, 0, h - 1, 0, -1};
  }
}

// ---- general angles ----------------------------------------------------------

struct GeneralTables {
  WorkBlock columns, rows;
  double* xc = nullptr;  // x cos t per result column
  double* xs = nullptr;  // x sin t
};

template <class Px>
using RowOf = decltype(std::declval<const Px&>().Row(0));

// The turning of general angles: the angle's sine and cosine, and per
// result column x cos t and x sin t.
struct Turning {
  double c, s;
  const double* xc;
  const double* xs;
};

// Result pixels i0..i1-1 of result row j of a general angle: every result
// pixel reads the source at its turned position, truncated or (kSmooth)
// blended. The frame is copied into locals: the pixel stores could
// otherwise alias it.
template <bool kSmooth, class Px>
QVX_LOOP_BODY void GeneralRun(const Px& src, const Px& dst, const Turn& turn, int sw, int sh,
                              const RowOf<Px>* rows, const Turning& g, int j, int i0, int i1) {
  const int left = turn.source.left, top = turn.source.top, right = turn.source.right,
            bottom = turn.source.bottom;
  const double y = turn.result.top + j;
  const double ys = y * g.s, yc = y * g.c;
  const double* xc = g.xc;
  const double* xs = g.xs;
  const WholePixel background = turn.background;
  const Double4 backgroundLanes = LanesOf(background.colour);
  auto d = dst.At(dst.Row(j), i0);
  for (int i = i0; i < i1; ++i, d = dst.Next(d)) {
    const double sx = xc[i] - ys, sy = xs[i] + yc;
    const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
    if (ix < left || ix > right || iy < top || iy > bottom) {
      if (kSmooth)
        dst.Store(d, background.colour);
      else
        dst.Fill(d, background);
      continue;
    }
    const int px = ix - left, py = iy - top;
    const auto p = src.At(rows[py], px);
    if (!kSmooth) {
      dst.Transfer(d, src, p, false);
      continue;
    }
    // The neighbours on the side of the true position; those outside the
    // picture are the background.
    const int hx = sx > 0 ? 1 : -1, vy = sy > 0 ? 1 : -1;
    const bool across = hx > 0 ? px < sw - 1 : px > 0;
    const bool along = vy > 0 ? py < sh - 1 : py > 0;
    const Double4 c00 = src.Lanes(p);
    const Double4 h = across ? src.NeighbourLanes(p, hx, 0) : backgroundLanes;
    const Double4 v = along ? src.NeighbourLanes(p, 0, vy) : backgroundLanes;
    const Double4 dg = across && along ? src.NeighbourLanes(p, hx, vy) : backgroundLanes;
    const BlendWeights w = WeightsFor(std::fabs(sx - ix), std::fabs(sy - iy));
    dst.StoreLanes(d, BlendLanes(w.x0, w.x1, w.y0, w.y1, c00, h, v, dg));
  }
}

// Result rows j0..j1-1 of a general angle, walked in tiles of kTileWidth
// columns so that the source pixels one tile reads (a slanted strip of the
// source) stay in the cache while the band's rows use them, whatever the
// angle and the picture's size. Smooth rotation by 30 degrees of 24-bit
// pictures, 12 / 48 Mpx: tiles of 256 columns ran at 88-93 / 97-104 Mpx/s,
// 512 at 109-116 / 110-114, 1024 at 120-121 / 107-115 (three runs each, one
// core busy with other work). 512 keeps the tile edges within the widths
// the random tests reach.
constexpr int kBandRows = 16;
constexpr int kTileWidth = 512;

template <bool kSmooth, class Px>
QVX_LOOP_BODY void GeneralBand(const Px& src, const Px& dst, const Turn& turn, int sw, int sh,
                               const RowOf<Px>* rows, const Turning& g, int width, int j0,
                               int j1) {
  for (int i0 = 0; i0 < width; i0 += kTileWidth) {
    const int i1 = std::min(width, i0 + kTileWidth);
    for (int j = j0; j < j1; ++j) GeneralRun<kSmooth>(src, dst, turn, sw, sh, rows, g, j, i0, i1);
  }
}

template <class Px>
bool GeneralRows(const Px& src, const Px& dst, const Turn& turn, int sw, int sh, GeneralTables& t) {
  using Row = RowOf<Px>;
  if (!t.rows.Allocate(static_cast<std::size_t>(sh) * sizeof(Row))) return false;
  Row* rows = t.rows.As<Row>();
  for (int y = 0; y < sh; ++y) rows[y] = src.Row(y);
  const CentredFrame& r = turn.result;
  const double angle = AngleRadians(turn.a);
  const double c = std::cos(angle), s = std::sin(angle);
  const int width = r.right - r.left + 1, height = r.bottom - r.top + 1;
  for (int i = 0; i < width; ++i) {
    t.xc[i] = (r.left + i) * c;
    t.xs[i] = (r.left + i) * s;
  }
  const Turning g{c, s, t.xc, t.xs};
  for (int j0 = 0; j0 < height; j0 += kBandRows) {
    const int j1 = std::min(height, j0 + kBandRows);
    if (turn.smooth)
      Vectorised<GeneralBand<true, Px>>(src, dst, std::cref(turn), sw, sh, rows, std::cref(g),
                                        width, j0, j1);
    else
      Vectorised<GeneralBand<false, Px>>(src, dst, std::cref(turn), sw, sh, rows, std::cref(g),
                                         width, j0, j1);
    for (int j = j0; j < j1; ++j)
      if (!ReportRow(j, height, turn.range, turn.noDialog)) return false;
  }
  return true;
}

// ---- one picture -------------------------------------------------------------------

bool TurnPicture(DibAccess& src, DibAccess& dst, const Turn& turn) {
  const int sw = src.Width, sh = src.Height;
  if (turn.a == 0) {
    // The rows as they are, alpha and padding included.
    for (int y = 0; y < sh; ++y) {
      std::memcpy(DibRow(dst, y), DibRow(src, y), dst.RowBytes);
      if (!ReportRow(y, sh, turn.range, turn.noDialog)) return false;
    }
    return true;
  }
  if (turn.a % 9000 == 0) {
    const QuarterMap map = QuarterMapFor(turn.a, turn.keepSize, sw, sh);
    // The line-based turns keep alpha; the keep-size turns move pixels as
    // index and colours.
    const bool keepAlpha = !turn.keepSize || turn.a == 18000;
    return DispatchPixels(turn.path, src, dst, [&](const auto& s, const auto& d) {
      return QuarterRows(s, d, map, keepAlpha, turn, sw, sh, dst.Width, dst.Height);
    });
  }
  GeneralTables tables;
  const std::size_t width = static_cast<std::size_t>(dst.Width);
  if (!tables.columns.Allocate(2 * width * sizeof(double))) return false;
  tables.xc = tables.columns.As<double>();
  tables.xs = tables.xc + width;
  return DispatchPixels(turn.path, src, dst, [&](const auto& s, const auto& d) {
    return GeneralRows(s, d, turn, sw, sh, tables);
  });
}

BYTE Percent(int value) { return static_cast<BYTE>(value); }

}  // namespace

ImageHandles RotateImages(HGLOBAL picture, HGLOBAL mask, int angle, BOOL mirror, BOOL flip,
                          BOOL smooth, int red, int green, int blue, BOOL keepSize, BOOL noDialog,
                          PixelRoute path) {
  const ImageHandles none{nullptr, nullptr};
  const int a = NormaliseAngle(angle);
  LockedDib source, sourceMask;
  if (!source.Start(picture, kDepthAll)) return none;
  if (mask) {
    if (!sourceMask.Start(mask, kDepthMaskPicture)) return none;
    if (sourceMask->Width != source->Width || sourceMask->Height != source->Height) {
      SetErrorStatus(kErrorBadParameter);
      return none;
    }
  }
  DibAccess* src = &source.Record();
  DibAccess* srcMask = mask ? &sourceMask.Record() : nullptr;

  // Mirror and flip work on copies; the progress budget gives the mirror
  // 0..20, the flip the next 6 steps, the mask the next 41 and the picture
  // the rest.
  int next = 0;
  LockedPicture pictureCopy, maskCopy;
  if (mirror || flip) {
    if (!pictureCopy.MakeCopy(*src) || (srcMask && !maskCopy.MakeCopy(*srcMask))) return none;
    src = &pictureCopy.Record();
    DibAccess noMask{};
    DibAccess* maskArg = srcMask ? (srcMask = &maskCopy.Record()) : &noMask;
    if (mirror) {
      if (!MirrorDibImage(src, maskArg, {0, 20}, noDialog, path)) return none;
      next = 21;
    }
    if (flip) {
      if (!FlipDibImage(src, maskArg, {Percent(next), Percent(next + 5)}, noDialog)) return none;
      next += 6;
    }
  }

  const int w = src->Width, h = src->Height;
  const CentredFrame frame = CentredFrameOf(w, h);
  CentredFrame turned = frame;
  int width = w, height = h;
  if (!keepSize && (a == 9000 || a == 27000)) {
    width = h;
    height = w;
  } else if (!keepSize && a % 9000 != 0) {
    turned = TurnedFrame(frame, a);
    width = turned.right - turned.left + 1;
    height = turned.bottom - turned.top + 1;
  }
  LockedPicture result, resultMask;
  if (!result.MakeLike(*src, width, height)) return none;
  if (srcMask && !resultMask.MakeLike(*srcMask, width, height)) return none;

  const Rgb colour{static_cast<BYTE>(red), static_cast<BYTE>(green), static_cast<BYTE>(blue)};
  const WholePixel background{GetRgbtoPal(src->Header, colour.red, colour.green, colour.blue),
                              colour};
  // Blending needs colours: 16, 24 and 32 bits and the 8-bit grey ramp.
  const bool blendable = src->BitCount > 8 || GetDibKind(src) == kKindGrey256;
  if (srcMask) {
    const WholePixel black{GetRgbtoPal(srcMask->Header, 0, 0, 0), {0, 0, 0}};
    const Turn maskTurn{
        a,        keepSize != 0, false, black, frame, turned, {Percent(next), Percent(next + 40)},
        noDialog, path};
    if (!TurnPicture(*srcMask, resultMask.Record(), maskTurn)) return none;
    next += 41;
  }
  const Turn pictureTurn{a,     keepSize != 0, smooth && blendable,  background,
                         frame, turned,        {Percent(next), 100}, noDialog,
                         path};
  if (!TurnPicture(*src, result.Record(), pictureTurn)) return none;
  const HGLOBAL newMask = srcMask ? resultMask.Release() : nullptr;
  return {result.Release(), newMask};
}

namespace {

// The worker call of both exports, run once the progress window is open.
auto RotationCall(const ImageHandles* images, int angle, BOOL mirror, BOOL flip, BOOL smooth,
                  int red, int green, int blue, BOOL keepSize, BOOL noDialog) {
  return [=] {
    const ImageHandles in = CopyHandles(images);
    return RotateImages(in.Picture, in.Mask, angle, mirror, flip, smooth, red, green, blue,
                        keepSize, noDialog);
  };
}

}  // namespace
}  // namespace qvx

QVX_API ImageHandlesResult WINAPI QVRotation(ImageHandles* images, int angle, BOOL mirror,
                                             BOOL flip, BOOL smooth, int red, int green, int blue,
                                             BOOL keepSize, BOOL noDialog, DWORD dlgArg1,
                                             DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunPairEffect(
      {noDialog, dlgArg1, dlgArg2, dlgArg3},
      qvx::RotationCall(images, angle, mirror, flip, smooth, red, green, blue, keepSize, noDialog));
}

QVX_API BOOL WINAPI QVRotationEx(ImageHandles* images, ImageHandles* result, int angle, BOOL mirror,
                                 BOOL flip, BOOL smooth, int red, int green, int blue,
                                 BOOL keepSize, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                 DWORD dlgArg3) {
  return qvx::RunPairEffectEx(
      {noDialog, dlgArg1, dlgArg2, dlgArg3}, result,
      qvx::RotationCall(images, angle, mirror, flip, smooth, red, green, blue, keepSize, noDialog));
}
