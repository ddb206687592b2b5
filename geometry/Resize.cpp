// QVResize, QVResizeEx and the resize worker.
#include "geometry/Resize.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "frame/Simd.h"
#include "geometry/BoxAverage.h"
#include "geometry/GeometryPixels.h"

namespace qvx {
namespace {

// ---- nearest pixel ----------------------------------------------------------

template <class Px>
bool NearestRows(const Px& src, const Px& dst, const int* columns, double ry, int sourceHeight,
                 int width, int height, ProgressRange range, BOOL noDialog) {
  int previous = -1;
  for (int y = 0; y < height; ++y) {
    const int sy = NearestSourceIndex(y, ry, sourceHeight);
    if (sy == previous) {
      dst.CopyRow(y, y - 1, width);
    } else {
      GatherRow(dst, y, src, sy, columns, width);
    }
    previous = sy;
    if (!ReportRow(y, height, range, noDialog)) return false;
  }
  return true;
}

// The picture (or mask) scaled by nearest pixel into `result`: indices of
// palette pictures move unchanged, the alpha of 32-bit pixels becomes 0.
bool NearestPass(DibAccess& source, LockedPicture& result, ProgressRange range, BOOL noDialog,
                 PixelRoute path) {
  const int width = result.Record().Width, height = result.Record().Height;
  WorkBlock columns;
  if (!columns.Allocate(static_cast<std::size_t>(width) * sizeof(int))) return false;
  int* column = columns.As<int>();
  const double rx = static_cast<double>(source.Width) / width;
  for (int x = 0; x < width; ++x) column[x] = NearestSourceIndex(x, rx, source.Width);
  const double ry = static_cast<double>(source.Height) / height;
  const bool done =
      DispatchPixels(path, source, result.Record(), [&](const auto& s, const auto& d) {
        return NearestRows(s, d, column, ry, source.Height, width, height, range, noDialog);
      });
  return done;
}

// ---- bilinear growth ----------------------------------------------------------

// Positions past the last pair of pixels blend that pair with the whole
// weight on its second pixel; a picture one pixel wide or high has no pair
// and uses its single pixel.
void ClampToLastPair(int& i, double& d, int size) {
  if (i <= size - 2) return;
  if (size < 2) {
    i = 0;
    d = 0;
  } else {
    i = size - 2;
    d = 1.0;
  }
}

// A block's start rounded up to 32 bytes, the alignment AVX2 code assumes
// for Double4 (the block holds one spare Double4 for it). alignof(Double4)
// would not do: without AVX the compiler caps it at 16.
Double4* AlignedDouble4(void* data) {
  const auto at = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t align = 32;
  return reinterpret_cast<Double4*>((at + align - 1) / align * align);
}

struct GrowTables {
  WorkBlock columns, weights, rows, levels;
  int* column = nullptr;
  double* x0 = nullptr;  // 1 - dx per result column
  double* x1 = nullptr;  // dx
  // The horizontal blends of source rows iy and iy + 1: blue, green, red
  // per result column, and one spare double.
  double* top = nullptr;
  double* bottom = nullptr;
  Double4* level = nullptr;  // a source row as doubles, four lanes per pixel
  bool Allocate(int width, int sourceWidth) {
    const std::size_t n = static_cast<std::size_t>(width);
    const std::size_t row = 3 * n + 1;
    if (!columns.Allocate(n * sizeof(int)) || !weights.Allocate(2 * n * sizeof(double)) ||
        !rows.Allocate(2 * row * sizeof(double)) ||
        !levels.Allocate((static_cast<std::size_t>(sourceWidth) + 1) * sizeof(Double4)))
      return false;
    column = columns.As<int>();
    x0 = weights.As<double>();
    x1 = x0 + n;
    top = rows.As<double>();
    bottom = top + row;
    level = AlignedDouble4(levels.Data());
    return true;
  }
};

// Finishes the blend of result row y from the horizontal blends of the two
// source rows above and below it.
template <class Px>
void StoreBlendedRow(const Px& dst, int y, const double* top, const double* bottom, double y0,
                     double y1, int width) {
  auto d = dst.At(dst.Row(y), 0);
  for (int x = 0; x < width; ++x, top += 3, bottom += 3, d = dst.Next(d))
    dst.Store(d, Rgb{BlendDown(y0, y1, top[2], bottom[2]), BlendDown(y0, y1, top[1], bottom[1]),
                     BlendDown(y0, y1, top[0], bottom[0])});
}

// 24-bit rows hold blue, green, red like the blends, so the row is one run
// of bytes.
QVX_LOOP_BODY void BlendDownBytes(BYTE* d, const double* top, const double* bottom, double y0,
                                  double y1, int n) {
  for (int i = 0; i < n; ++i) d[i] = BlendDown(y0, y1, top[i], bottom[i]);
}
void StoreBlendedRow(const Px24& dst, int y, const double* top, const double* bottom, double y0,
                     double y1, int width) {
  Vectorised<BlendDownBytes>(dst.Row(y), top, bottom, y0, y1, 3 * width);
}

// The horizontal halves of the blends of one result row from source row sy
// of a source sw pixels wide: blue, green, red per result column.
template <class Px>
void BlendAcrossRow(const Px& src, int sy, int sw, const GrowTables& t, double* out, int width) {
  const auto row = src.Row(sy);
  for (int x = 0; x < width; ++x, out += 3) {
    const auto p = src.At(row, t.column[x]);
    const Rgb c0 = src.Read(p);
    const Rgb c1 = sw >= 2 ? src.Neighbour(p, 1, 0) : Rgb{0, 0, 0};
    out[0] = BlendAcross(t.x0[x], t.x1[x], c0.blue, c1.blue);
    out[1] = BlendAcross(t.x0[x], t.x1[x], c0.green, c1.green);
    out[2] = BlendAcross(t.x0[x], t.x1[x], c0.red, c1.red);
  }
}

// 24 bits: the source row as doubles, four lanes per pixel (blue, green,
// red, 0), then each result column's pair of source pixels blended in four
// lanes and stored as blue, green, red and a fourth value that the next
// column overwrites (the spare double of the row takes the last one).
QVX_LOOP_BODY void BlendAcross24(const BYTE* row, int sw, const GrowTables& t, double* out,
                                 int width) {
  Double4* level = t.level;
  for (int i = 0; i < sw; ++i, row += 3) level[i] = LanesOfBytes(row);
  for (int x = 0; x < width; ++x) {
    const Double4* p = level + t.column[x];
    const Double4 blend = p[0] * t.x0[x] + p[1] * t.x1[x];
    std::memcpy(out + 3 * static_cast<std::ptrdiff_t>(x), &blend, sizeof blend);
  }
}

void BlendAcrossRow(const Px24& src, int sy, int sw, const GrowTables& t, double* out, int width) {
  if (sw < 2) return BlendAcrossRow<Px24>(src, sy, sw, t, out, width);
  Vectorised<BlendAcross24>(src.Row(sy), sw, std::cref(t), out, width);
}

// Result rows by the forward bilinear blend from a source of sw x sh
// pixels. The horizontal half of the blend of a source row is computed once
// and kept while consecutive result rows use it.
template <class Px>
bool GrowRows(const Px& src, int sw, int sh, const Px& dst, int width, int height, GrowTables& t,
              ProgressRange range, BOOL noDialog) {
  const double rx = static_cast<double>(sw) / width;
  const double ry = static_cast<double>(sh) / height;
  for (int x = 0; x < width; ++x) {
    const double fx = x * rx;
    int ix = static_cast<int>(fx);
    double dx = fx - ix;
    ClampToLastPair(ix, dx, sw);
    t.column[x] = ix;
    t.x0[x] = 1.0 - dx;
    t.x1[x] = dx;
  }
  const auto across = [&](int sy, double* out) { BlendAcrossRow(src, sy, sw, t, out, width); };
  double* top = t.top;
  double* bottom = t.bottom;  // zero while the source has a single row
  int held = -1;              // the source row `top` holds
  for (int y = 0; y < height; ++y) {
    const double fy = y * ry;
    int iy = static_cast<int>(fy);
    double dy = fy - iy;
    ClampToLastPair(iy, dy, sh);
    if (iy != held) {
      if (held >= 0 && iy == held + 1)
        std::swap(top, bottom);
      else
        across(iy, top);
      if (sh >= 2) across(iy + 1, bottom);
      held = iy;
    }
    StoreBlendedRow(dst, y, top, bottom, 1.0 - dy, dy, width);
    if (!ReportRow(y, height, range, noDialog)) return false;
  }
  return true;
}

// ---- smoothing pass -----------------------------------------------------------

bool SmoothPass(DibAccess& source, LockedPicture& result, ProgressRange range, BOOL noDialog,
                PixelRoute path) {
  const int width = result.Record().Width, height = result.Record().Height;
  const bool grey = GetDibKind(&source) == kKindGrey256;
  if (grey) source.UseRgb = 1;
  const int sw = source.Width, sh = source.Height;
  const bool shrink = width < sw || height < sh;
  const bool grow = !(width < sw && height < sh);
  ProgressRange shrinkRange = range, growRange = range;
  LockedPicture temporary;
  DibAccess* growSource = &source;
  if (shrink) {
    const int wr = std::min(width, sw), hr = std::min(height, sh);
    DibAccess* target = &result.Record();
    if (grow) {
      const ProgressHalves halves = SplitProgress(range);
      shrinkRange = halves.first;
      growRange = halves.second;
      if (!temporary.MakeLike(source, wr, hr)) return false;
      if (grey) temporary.Record().UseRgb = 1;
      target = growSource = &temporary.Record();
    }
    BoxTables tables;
    if (!tables.Allocate(wr)) return false;
    const SourceArea whole{0, 0, sw, sh};
    if (!DispatchPixels(path, source, *target, [&](const auto& s, const auto& d) {
          return BoxAverageRows(s, whole, d, wr, hr, tables, &shrinkRange, noDialog);
        }))
      return false;
  }
  if (grow) {
    GrowTables tables;
    if (!tables.Allocate(width, growSource->Width)) return false;
    const int gw = growSource->Width, gh = growSource->Height;
    if (!DispatchPixels(path, *growSource, result.Record(), [&](const auto& s, const auto& d) {
          return GrowRows(s, gw, gh, d, width, height, tables, growRange, noDialog);
        }))
      return false;
  }
  return true;
}

}  // namespace

ImageHandles ResizeImages(HGLOBAL picture, HGLOBAL mask, int width, int height, BOOL smooth,
                          ProgressRange range, BOOL noDialog, PixelRoute path) {
  const ImageHandles none{nullptr, nullptr};
  if (width < 1 || height < 1) {
    SetErrorStatus(kErrorBadParameter);
    return none;
  }
  LockedDib source, maskDib;
  if (!source.Start(picture, kDepthAll)) return none;
  if (mask) {
    if (!maskDib.Start(mask, kDepthMaskPicture)) return none;
    if (maskDib->Width != source->Width || maskDib->Height != source->Height) {
      SetErrorStatus(kErrorBadParameter);
      return none;
    }
  }
  // Both results are made before either is worked on, so a picture whose
  // result cannot exist costs no work on its mask.
  LockedPicture result, newMask;
  if (!result.MakeLike(source.Record(), width, height)) return none;
  if (mask && !newMask.MakeLike(maskDib.Record(), width, height)) return none;
  ProgressRange pictureRange = range;
  if (mask) {
    const ProgressHalves halves = SplitProgress(range);
    pictureRange = halves.second;
    if (!NearestPass(maskDib.Record(), newMask, halves.first, noDialog, path)) return none;
    maskDib.End();
  }
  // Palette pictures other than the grey ramp keep their indices: they are
  // never blended.
  const bool blendable = source->BitCount > 8 || GetDibKind(&source.Record()) == kKindGrey256;
  const bool sameSize = width == source->Width && height == source->Height;
  const bool single = source->Width == 1 && source->Height == 1;
  const bool smoothing = smooth && blendable && !sameSize && !single;
  if (!(smoothing ? SmoothPass(source.Record(), result, pictureRange, noDialog, path)
                  : NearestPass(source.Record(), result, pictureRange, noDialog, path)))
    return none;
  return {result.Release(), mask ? newMask.Release() : nullptr};
}

namespace {

// The worker call of both exports, run once the progress window is open.
auto ResizeCall(const ImageHandles* images, int width, int height, BOOL smooth, BOOL noDialog) {
  return [=] {
    const ImageHandles in = CopyHandles(images);
    return ResizeImages(in.Picture, in.Mask, width, height, smooth, kWholeProgress, noDialog);
  };
}

}  // namespace
}  // namespace qvx

QVX_API ImageHandlesResult WINAPI QVResize(ImageHandles* images, int width, int height, BOOL smooth,
                                           BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                           DWORD dlgArg3) {
  return qvx::RunPairEffect({noDialog, dlgArg1, dlgArg2, dlgArg3},
                            qvx::ResizeCall(images, width, height, smooth, noDialog));
}

QVX_API BOOL WINAPI QVResizeEx(ImageHandles* images, ImageHandles* result, int width, int height,
                               BOOL smooth, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                               DWORD dlgArg3) {
  return qvx::RunPairEffectEx({noDialog, dlgArg1, dlgArg2, dlgArg3}, result,
                              qvx::ResizeCall(images, width, height, smooth, noDialog));
}
