// Canvas: the relief of a woven canvas added to every channel. The relief
// (kCanvasRelief) is tiled from the picture's top-left corner, whatever the
// work rectangle, in one of four orientations; its height d at a pixel
// becomes the offset trunc(d x strength x 0.1 + 0.5), added to red, green
// and blue and clamped to 0..255.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "distort/DistortEffects.h"
#include "exports/ExportFrame.h"
#include "exports/Exported.h"

namespace qvx {
namespace {

constexpr int kMask = kCanvasSide - 1;
// Offset rows hold two texture widths, so that a run of up to one width
// finds its offsets side by side from any column on.
constexpr int kStride = 2 * kCanvasSide;

// out[i] = in[i] + offsets[i] per byte, clamped to 0..255, for `count`
// pixels; offsets[4 k + c] is pixel k's offset for byte c.
QVX_LOOP_BODY void AddOffsets(const Bgra* in, const std::int16_t* offsets, int count, Bgra* out) {
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    Byte16 bytes;
    Short16 add;
    std::memcpy(&bytes, in + i, 16);
    std::memcpy(&add, offsets + 4 * i, 32);
    Short16 sum = __builtin_convertvector(bytes, Short16) + add;
    sum = sum < 0 ? Short16{} : sum;
    sum = sum > 255 ? Short16{} + 255 : sum;
    const Byte16 result = __builtin_convertvector(sum, Byte16);
    std::memcpy(out + i, &result, 16);
  }
  for (; i < count; ++i) {
    const std::int16_t o = offsets[4 * i];
    out[i] = {ClampByte(in[i].blue + o), ClampByte(in[i].green + o), ClampByte(in[i].red + o), 1};
  }
}

struct CanvasFilter {
  BYTE orientation = 0;
  int strength = 0;
  WorkBlock table;
  std::int16_t* offsets = nullptr;  // kCanvasSide rows of kStride x 4

  // The relief at texture column tx, row ty, in the orientation.
  int Height(int tx, int ty) const {
    switch (orientation) {
      case 1:
        return kCanvasRelief[ty * kCanvasSide + (kMask - tx)];
      case 2:
        return kCanvasRelief[tx * kCanvasSide + ty];
      case 3:
        return kCanvasRelief[tx * kCanvasSide + (kMask - ty)];
      default:
        return kCanvasRelief[ty * kCanvasSide + tx];
    }
  }

  bool Prepare(FilterJob& job) {
    if (!table.Allocate(sizeof(std::int16_t) * 4 * kStride * kCanvasSide)) return false;
    offsets = table.As<std::int16_t>();
    const double k = strength * 0.1;
    for (int ty = 0; ty < kCanvasSide; ++ty)
      for (int i = 0; i < kStride; ++i) {
        // Offsets beyond a channel's whole range act as that range.
        const double o = std::trunc(Height(i & kMask, ty) * k + 0.5);
        const auto clamped = static_cast<std::int16_t>(o < -256 ? -256 : (o > 256 ? 256 : o));
        std::int16_t* at = offsets + 4 * (ty * kStride + i);
        at[0] = at[1] = at[2] = at[3] = clamped;
      }
    return job.rows.Allocate(1, 0);
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    const int left = job.rect.left;
    const Bgra* in = job.rows.Row(y);
    const std::int16_t* row = offsets + 4 * kStride * (y & kMask);
    // Runs of at most one texture width.
    for (int x = x0; x <= x1;) {
      const int n = std::min(x1 - x + 1, kCanvasSide);
      Vectorised<AddOffsets>(in + (x - left), static_cast<const std::int16_t*>(row + 4 * (x & kMask)),
                             n, out + (x - left));
      x += n;
    }
  }
};

}  // namespace

HGLOBAL RunCanvas(const SelectionArgs& args, BYTE orientation, int strength, BOOL noDialog,
                  PixelRoute route) {
  CanvasFilter filter;
  filter.orientation = orientation;
  filter.strength = strength;
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVCanvas(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, BYTE orientation, int strength,
                                BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunCanvas(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                          orientation, strength, noDialog);
  });
}
