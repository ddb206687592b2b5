// A caller's 9 x 9 convolution kernel, with two implementations behind one
// export: the standard filter, and a direct 24-bit variant (chosen by adding
// 1,000,000 to the polygon's vertex count) that draws its own selection mask
// over the work rectangle only, visits rows from the bottom up and keeps the
// source's value in the channels it does not filter.
#include <algorithm>
#include <cstring>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "filters/Convolution.h"
#include "filters/FilterEffects.h"

namespace qvx {
namespace {

constexpr int kDirectVariant = 1000000;

// Bits of a colour word kept for the enabled channels (blue, green, red).
std::uint32_t ChannelMask(BOOL red, BOOL green, BOOL blue) {
  return (blue ? 0x0000FFu : 0u) | (green ? 0x00FF00u : 0u) | (red ? 0xFF0000u : 0u);
}

QVX_LOOP_BODY void KeepChannels(Bgra* colours, int count, std::uint32_t keep) {
  for (int i = 0; i < count; ++i) {
    std::uint32_t word;
    std::memcpy(&word, colours + i, 4);
    word &= keep;
    std::memcpy(colours + i, &word, 4);
  }
}

// The standard filter: channels not enabled are written as 0.
struct CustomKernelFilter {
  Convolution convolution;
  std::uint32_t keep = 0;

  bool Prepare(FilterJob& job) { return convolution.Prepare(job); }
  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    convolution.Run(job, y, x0, x1, out);
    if (keep != 0xFFFFFFu) Vectorised<KeepChannels>(out + (x0 - job.rect.left), x1 - x0 + 1, keep);
  }
};

// ---- the direct 24-bit variant --------------------------------------------

// The variant's own mask: a 1-bit picture of the work rectangle's size,
// bit 1 selecting, read without its colour table.
struct DirectSelection {
  WorkRect rect;
  OwnedBlock mask;  // declared before its lock, so the lock goes first
  LockedDib locked;
  const DibAccess* record = nullptr;  // the mask in use, or null for none
  bool Selected(int x, int y) const {
    if (!record) return true;
    const BYTE* row = DibRow(*record, y - rect.top);
    const int mx = x - rect.left;
    return (row[mx >> 3] >> (7 - (mx & 7))) & 1;
  }
};

// Draws the polygon or ellipse of modes 2 and 3 into a mask covering only
// the work rectangle.
bool DrawDirectMask(const SelectionArgs& args, const DibAccess& source, DirectSelection& sel) {
  const int maxX = source.MaxX, maxY = source.MaxY;
  OwnedBlock vertices;
  POINT* points = nullptr;
  RECT shape{};
  if (args.mode == kSelectPolygon) {
    if (args.pointCount < 2 || !args.points) {
      SetErrorStatus(kErrorBadParameter);
      return false;
    }
    vertices.Reset(GlobalAlloc(GHND, sizeof(POINT) * static_cast<std::size_t>(args.pointCount)));
    points = vertices ? static_cast<POINT*>(GlobalLock(vertices.Get())) : nullptr;
    if (!points) {
      SetErrorStatus(kErrorNoMemory);
      return false;
    }
    sel.rect = {maxX, maxY, 0, 0};
    for (int i = 0; i < args.pointCount; ++i) {
      points[i] = {std::clamp<LONG>(args.points[i].x, 0, maxX), std::clamp<LONG>(args.points[i].y, 0, maxY)};
      sel.rect.left = std::min<int>(sel.rect.left, points[i].x);
      sel.rect.top = std::min<int>(sel.rect.top, points[i].y);
      sel.rect.right = std::max<int>(sel.rect.right, points[i].x);
      sel.rect.bottom = std::max<int>(sel.rect.bottom, points[i].y);
    }
    if (args.inside) {
      for (int i = 0; i < args.pointCount; ++i) {
        points[i].x -= sel.rect.left;
        points[i].y -= sel.rect.top;
      }
    } else {
      sel.rect = {0, 0, maxX, maxY};
    }
  } else {
    const int x1 = std::clamp<LONG>(args.rect.left, 0, maxX), x2 = std::clamp<LONG>(args.rect.right, 0, maxX);
    const int y1 = std::clamp<LONG>(args.rect.top, 0, maxY), y2 = std::clamp<LONG>(args.rect.bottom, 0, maxY);
    shape = {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
    if (args.inside) {
      sel.rect = {shape.left, shape.top, shape.right, shape.bottom};
      shape = {0, 0, shape.right - shape.left, shape.bottom - shape.top};
    } else {
      sel.rect = {0, 0, maxX, maxY};
    }
  }
  const int width = sel.rect.right - sel.rect.left + 1;
  const int height = sel.rect.bottom - sel.rect.top + 1;
  sel.mask.Reset(NewMaskPicture(width, height));
  if (!sel.mask) return false;
  const BOOL drawn =
      args.mode == kSelectPolygon
          ? DrawPolygonMask(sel.mask.Get(), points, args.pointCount)
          : DrawEllipseMask(sel.mask.Get(), shape.left, shape.top, shape.right, shape.bottom);
  if (!drawn || (!args.inside && !InvertMonoDib(sel.mask.Get(), RowBytesFor(1, width)))) {
    SetErrorStatus(kErrorCannotDo);
    return false;
  }
  return sel.locked.Start(sel.mask.Get(), kDepthMaskPicture);
}

bool SetUpDirectSelection(const SelectionArgs& args, const DibAccess& source,
                          DirectSelection& sel) {
  if (args.mode > kSelectEllipse) {
    SetErrorStatus(kErrorBadParameter);
    return false;
  }
  sel.rect = {0, 0, source.MaxX, source.MaxY};
  if (args.mode == kSelectWhole) return true;
  if (args.mode == kSelectMask) {
    if (!sel.locked.Start(args.mask, kDepthMaskPicture)) return false;
    if (sel.locked->Width != source.Width || sel.locked->Height != source.Height) {
      SetErrorStatus(kErrorBadPicture);
      return false;
    }
  } else if (!DrawDirectMask(args, source, sel)) {
    return false;
  }
  sel.record = &sel.locked.Record();
  return true;
}

// The variant's rows, from the bottom of the rectangle up; only the enabled
// channels of selected pixels change.
template <class Px>
bool DirectRows(const DirectSelection& sel, const DibAccess& source, const Px& src, const Px& dst,
                Convolution& convolution, std::uint32_t keep, BOOL noDialog) {
  FilterJob job;
  job.rect = sel.rect;
  job.width = source.Width;
  job.height = source.Height;
  job.rows.Bind(&src, &DecodeRow<Px>, job.rect.left, job.Columns(), job.width, job.height);
  WorkBlock outBlock;
  if (!outBlock.Allocate(sizeof(Bgra) * static_cast<std::size_t>(job.Columns())) ||
      !convolution.Prepare(job))
    return false;
  Bgra* out = outBlock.As<Bgra>();
  const WorkRect& rect = job.rect;
  for (int y = rect.bottom; y >= rect.top; --y) {
    convolution.Run(job, y, rect.left, rect.right, out);
    const Bgra* own = job.rows.Row(y);
    const auto row = dst.Row(y);
    auto p = Px::At(row, rect.left);
    for (int x = rect.left; x <= rect.right; ++x, p = Px::Next(p)) {
      if (!sel.Selected(x, y)) continue;
      std::uint32_t filtered, kept;
      std::memcpy(&filtered, out + (x - rect.left), 4);
      std::memcpy(&kept, own + (x - rect.left), 4);
      const std::uint32_t word = (filtered & keep) | (kept & ~keep);
      Bgra c;
      std::memcpy(&c, &word, 4);
      dst.Write(p, c.red, c.green, c.blue);
    }
    if (!ReportProgress(rect.bottom - y, rect.bottom - rect.top, 0, 100, noDialog)) return false;
  }
  return true;
}

HGLOBAL RunDirectVariant(const SelectionArgs& args, Convolution& convolution, std::uint32_t keep,
                         BOOL noDialog, PixelRoute route) {
  LockedDib source;
  if (!source.Start(args.picture, kDepthGrey8 | kDepth24)) return nullptr;
  if (source->BitCount != 24) {
    SetErrorStatus(kErrorDepth);
    return nullptr;
  }
  DirectSelection sel;
  if (!SetUpDirectSelection(args, source.Record(), sel)) return nullptr;
  const std::uint64_t bytes = std::uint64_t{40} + GetDibPalSize(source->Header) +
                              std::uint64_t{source->RowBytes} * source->Height;
  if (bytes > 0x7FFFFFFFu) {
    SetErrorStatus(kErrorNoMemory);
    return nullptr;
  }
  LockedPicture result;
  if (!result.Make(source.Record(), true)) return nullptr;
  const bool done =
      DispatchPixels(route, source.Record(), result.Record(), [&](auto src, auto dst) {
        return DirectRows(sel, source.Record(), src, dst, convolution, keep, noDialog);
      });
  return done ? result.Release() : nullptr;
}

}  // namespace

HGLOBAL RunCustomFilter(const SelectionArgs& args, const FilterKernel* kernel, int divisor,
                        int bias, BOOL red, BOOL green, BOOL blue, BOOL noDialog,
                        PixelRoute route) {
  // Only the low bytes count; a divisor of 0 has no meaning.
  if (!kernel || (divisor & 0xFF) == 0) return RefuseParameter();
  CustomKernelFilter filter;
  filter.convolution.SetKernel(kernel->weights, divisor & 0xFF, bias & 0xFF);
  filter.keep = ChannelMask(red, green, blue);
  if (args.pointCount >= kDirectVariant) {
    SelectionArgs own = args;
    own.pointCount -= kDirectVariant;
    return RunDirectVariant(own, filter.convolution, filter.keep, noDialog, route);
  }
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVCustomFilter(ImageHandles* images, BYTE mode, POINT* points,
                                      int pointCount, const RECT* rect, BOOL inside,
                                      const FilterKernel* kernel, int divisor, int bias, BOOL red,
                                      BOOL green, BOOL blue, BOOL noDialog, DWORD dlgArg1,
                                      DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunCustomFilter(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                                kernel, divisor, bias, red, green, blue, noDialog);
  });
}
