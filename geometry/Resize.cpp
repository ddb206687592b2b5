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

// The source columns of one chunk of result columns.
struct NearestTables {
  WorkBlock columns;
  int chunk = 0;
  bool Allocate(int width) {
    chunk = ColumnChunk(width);
    return columns.Allocate(static_cast<std::size_t>(chunk) * sizeof(int));
  }
};

template <class Px>
bool NearestRows(const Px& src, const Px& dst, int* columns, int chunk, double rx, double ry,
                 int sw, int sh, int width, int height, ProgressRange range, BOOL noDialog) {
  const auto fill = [&](int first, int n) {
    for (int i = 0; i < n; ++i) columns[i] = NearestSourceIndex(first + i, rx, sw);
  };
  const bool whole = chunk == width;
  if (whole) fill(0, width);
  int previous = -1;
  for (int y = 0; y < height; ++y) {
    const int sy = NearestSourceIndex(y, ry, sh);
    if (sy == previous) {
      dst.CopyRow(y, y - 1, width);
    } else {
      for (int first = 0; first < width; first += chunk) {
        const int n = std::min(chunk, width - first);
        if (!whole) fill(first, n);
        GatherRow(dst, y, first, src, sy, columns, n);
      }
    }
    previous = sy;
    if (!ReportRow(y, height, range, noDialog)) return false;
  }
  return true;
}

// The picture (or mask) scaled by nearest pixel into `result`: indices of
// palette pictures move unchanged, the alpha of 32-bit pixels becomes 0.
bool NearestPass(DibAccess& source, LockedPicture& result, NearestTables& tables,
                 ProgressRange range, BOOL noDialog, PixelRoute path) {
  const int width = result.Record().Width, height = result.Record().Height;
  const double rx = static_cast<double>(source.Width) / width;
  const double ry = static_cast<double>(source.Height) / height;
  return DispatchPixels(path, source, result.Record(), [&](const auto& s, const auto& d) {
    return NearestRows(s, d, tables.columns.As<int>(), tables.chunk, rx, ry, source.Width,
                       source.Height, width, height, range, noDialog);
  });
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

// The tables of one chunk of result columns.
struct GrowTables {
  WorkBlock columns, weights, rows;
  int chunk = 0;
  int* column = nullptr;
  double* x0 = nullptr;  // 1 - dx per result column
  double* x1 = nullptr;  // dx
  // The horizontal blends of source rows iy and iy + 1: blue, green, red
  // per result column, and one spare double.
  double* top = nullptr;
  double* bottom = nullptr;
  bool Allocate(int width) {
    chunk = ColumnChunk(width);
    const std::size_t n = static_cast<std::size_t>(chunk);
    const std::size_t row = 3 * n + 1;
    if (!columns.Allocate(n * sizeof(int)) || !weights.Allocate(2 * n * sizeof(double)) ||
        !rows.Allocate(2 * row * sizeof(double)))
      return false;
    column = columns.As<int>();
    x0 = weights.As<double>();
    x1 = x0 + n;
    top = rows.As<double>();
    bottom = top + row;
    return true;
  }
};

// Finishes the blend of result pixels first..first+n-1 of row y from the
// horizontal blends of the two source rows above and below them.
template <class Px>
void StoreBlendedRow(const Px& dst, int y, int first, const double* top, const double* bottom,
                     double y0, double y1, int n) {
  auto d = dst.At(dst.Row(y), first);
  for (int x = 0; x < n; ++x, top += 3, bottom += 3, d = dst.Next(d))
    dst.Store(d, Rgb{BlendDown(y0, y1, top[2], bottom[2]), BlendDown(y0, y1, top[1], bottom[1]),
                     BlendDown(y0, y1, top[0], bottom[0])});
}

// 24-bit rows hold blue, green, red like the blends, so the run is one run
// of bytes.
QVX_LOOP_BODY void BlendDownBytes(BYTE* d, const double* top, const double* bottom, double y0,
                                  double y1, int n) {
  for (int i = 0; i < n; ++i) d[i] = BlendDown(y0, y1, top[i], bottom[i]);
}
void StoreBlendedRow(const Px24& dst, int y, int first, const double* top, const double* bottom,
                     double y0, double y1, int n) {
  Vectorised<BlendDownBytes>(dst.Row(y) + 3 * static_cast<std::ptrdiff_t>(first), top, bottom, y0,
                             y1, 3 * n);
}

// The horizontal halves of the blends of the chunk's n result columns from
// source row sy of a source sw pixels wide: blue, green, red per column.
template <class Px>
void BlendAcrossRow(const Px& src, int sy, int sw, const GrowTables& t, double* out, int n) {
  const auto row = src.Row(sy);
  for (int x = 0; x < n; ++x, out += 3) {
    const auto p = src.At(row, t.column[x]);
    const Rgb c0 = src.Read(p);
    const Rgb c1 = sw >= 2 ? src.Neighbour(p, 1, 0) : Rgb{0, 0, 0};
    out[0] = BlendAcross(t.x0[x], t.x1[x], c0.blue, c1.blue);
    out[1] = BlendAcross(t.x0[x], t.x1[x], c0.green, c1.green);
    out[2] = BlendAcross(t.x0[x], t.x1[x], c0.red, c1.red);
  }
}

// 24 and 32 bits: each result column's pair of source pixels as one
// eight-byte load that ends with the pair (24 bits: the two bytes before it
// lie inside the block, the header coming before the first row), turned
// into four lanes each (blue, green, red and a byte of no meaning), blended
// in four lanes and stored as blue, green, red and a fourth value that the
// next column overwrites (the spare double of the row takes the last one).
template <int kBytes>
QVX_LOOP_BODY void BlendAcrossPairs(const BYTE* row, const GrowTables& t, double* out, int n) {
  constexpr int kBefore = 8 - 2 * kBytes;  // bytes loaded before the pair
  // The tables in locals: the stores through `out` could alias them for
  // all the compiler knows.
  const int* const column = t.column;
  const double* const x0 = t.x0;
  const double* const x1 = t.x1;
  for (int x = 0; x < n; ++x) {
    const Byte16 pair =
        LoadEightBytes(row + kBytes * static_cast<std::ptrdiff_t>(column[x]) - kBefore);
    const Double4 blend =
        ByteLanes<kBefore>(pair) * x0[x] + ByteLanes<kBefore + kBytes>(pair) * x1[x];
    std::memcpy(out + 3 * static_cast<std::ptrdiff_t>(x), &blend, sizeof blend);
  }
}

void BlendAcrossRow(const Px24& src, int sy, int sw, const GrowTables& t, double* out, int n) {
  if (sw < 2) return BlendAcrossRow<Px24>(src, sy, sw, t, out, n);
  Vectorised<BlendAcrossPairs<3>>(src.Row(sy), std::cref(t), out, n);
}

void BlendAcrossRow(const Px32& src, int sy, int sw, const GrowTables& t, double* out, int n) {
  if (sw < 2) return BlendAcrossRow<Px32>(src, sy, sw, t, out, n);
  Vectorised<BlendAcrossPairs<4>>(src.Row(sy), std::cref(t), out, n);
}

// Result rows by the forward bilinear blend from a source of sw x sh
// pixels. The horizontal half of the blend of a source row is computed once
// and kept while consecutive result rows use it (when one chunk holds the
// whole row).
template <class Px>
bool GrowRows(const Px& src, int sw, int sh, const Px& dst, int width, int height, GrowTables& t,
              ProgressRange range, BOOL noDialog) {
  const double rx = static_cast<double>(sw) / width;
  const double ry = static_cast<double>(sh) / height;
  const auto fill = [&](int first, int n) {
    for (int i = 0; i < n; ++i) {
      const double fx = (first + i) * rx;
      int ix = static_cast<int>(fx);
      double dx = fx - ix;
      ClampToLastPair(ix, dx, sw);
      t.column[i] = ix;
      t.x0[i] = 1.0 - dx;
      t.x1[i] = dx;
    }
  };
  const int chunk = t.chunk;
  const bool whole = chunk == width;
  if (whole) fill(0, width);
  double* top = t.top;
  double* bottom = t.bottom;  // zero while the source has a single row
  int held = -1;              // the source row `top` holds
  for (int y = 0; y < height; ++y) {
    const double fy = y * ry;
    int iy = static_cast<int>(fy);
    double dy = fy - iy;
    ClampToLastPair(iy, dy, sh);
    for (int first = 0; first < width; first += chunk) {
      const int n = std::min(chunk, width - first);
      if (!whole) {
        fill(first, n);
        held = -1;
      }
      if (iy != held) {
        if (held >= 0 && iy == held + 1)
          std::swap(top, bottom);
        else
          BlendAcrossRow(src, iy, sw, t, top, n);
        if (sh >= 2) BlendAcrossRow(src, iy + 1, sw, t, bottom, n);
        held = iy;
      }
      StoreBlendedRow(dst, y, first, top, bottom, 1.0 - dy, dy, n);
    }
    if (!ReportRow(y, height, range, noDialog)) return false;
  }
  return true;
}

// ---- the passes -------------------------------------------------------------------

// What the picture pass needs besides its result, made before any pass
// runs so that no work is done for a call that cannot finish for want of
// memory.
struct PicturePlan {
  bool smoothing = false;
  bool shrink = false, grow = false;
  bool grey = false;
  ProgressRange shrinkRange{}, growRange{};
  LockedPicture temporary;  // the shrinking stage's result when a growing stage follows
  BoxTables box;
  GrowTables growth;

  bool Prepare(const DibAccess& source, int width, int height, ProgressRange range) {
    if (!smoothing) return true;
    grey = GetDibKind(&source) == kKindGrey256;
    const int sw = source.Width, sh = source.Height;
    shrink = width < sw || height < sh;
    grow = !(width < sw && height < sh);
    shrinkRange = growRange = range;
    const int wr = std::min(width, sw), hr = std::min(height, sh);
    if (shrink && grow) {
      const ProgressHalves halves = SplitProgress(range);
      shrinkRange = halves.first;
      growRange = halves.second;
      if (!temporary.MakeLike(source, wr, hr, NewRows::kPixelsUnwritten)) return false;
      if (grey) temporary.Record().UseRgb = 1;
    }
    if (shrink && !box.Allocate(wr, sw, source.BitCount)) return false;
    return !grow || growth.Allocate(width);
  }
};

// Dimensions that shrink are box-averaged, into the result or (when the
// other one grows) into the temporary picture; dimensions that grow are
// blended bilinearly from there.
bool SmoothPass(DibAccess& source, LockedPicture& result, PicturePlan& plan, BOOL noDialog,
                PixelRoute path) {
  const int width = result.Record().Width, height = result.Record().Height;
  if (plan.grey) source.UseRgb = 1;
  DibAccess* growSource = &source;
  if (plan.shrink) {
    DibAccess* target = plan.grow ? &plan.temporary.Record() : &result.Record();
    const int wr = target->Width, hr = target->Height;
    const SourceArea whole{0, 0, source.Width, source.Height};
    if (!DispatchPixels(path, source, *target, [&](const auto& s, const auto& d) {
          return BoxAverageRows(s, whole, d, wr, hr, plan.box, &plan.shrinkRange, noDialog);
        }))
      return false;
    growSource = target;
  }
  if (plan.grow) {
    const int gw = growSource->Width, gh = growSource->Height;
    if (!DispatchPixels(path, *growSource, result.Record(), [&](const auto& s, const auto& d) {
          return GrowRows(s, gw, gh, d, width, height, plan.growth, plan.growRange, noDialog);
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
  ProgressRange pictureRange = range, maskRange = range;
  if (mask) {
    const ProgressHalves halves = SplitProgress(range);
    maskRange = halves.first;
    pictureRange = halves.second;
  }
  // Palette pictures other than the grey ramp keep their indices: they are
  // never blended.
  const bool blendable = source->BitCount > 8 || GetDibKind(&source.Record()) == kKindGrey256;
  const bool sameSize = width == source->Width && height == source->Height;
  const bool single = source->Width == 1 && source->Height == 1;
  // Every picture and table of the call is made before either pass runs,
  // so a call that cannot finish does no work on the mask.
  PicturePlan plan;
  plan.smoothing = smooth && blendable && !sameSize && !single;
  LockedPicture result, newMask;
  NearestTables nearest;
  if (!result.MakeLike(source.Record(), width, height, NewRows::kPixelsUnwritten) ||
      (mask && !newMask.MakeLike(maskDib.Record(), width, height)) ||
      ((mask || !plan.smoothing) && !nearest.Allocate(width)) ||
      !plan.Prepare(source.Record(), width, height, pictureRange))
    return none;
  if (mask) {
    if (!NearestPass(maskDib.Record(), newMask, nearest, maskRange, noDialog, path)) return none;
    maskDib.End();
  }
  if (!(plan.smoothing ? SmoothPass(source.Record(), result, plan, noDialog, path)
                       : NearestPass(source.Record(), result, nearest, pictureRange, noDialog,
                                     path)))
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
