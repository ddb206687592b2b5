// Oil paint: each pixel becomes the most frequent colour of the brush
// window around it, clipped to the work rectangle.
//
// Method 0 picks the most frequent value of each channel on its own;
// method 1 counts luminance bins and takes the whole colour of the pixel
// whose visit made its bin the most frequent. The window is visited row by
// row, left to right, and a value only takes over with a strictly higher
// count, so on equal counts the value that reached the count first wins.
#include <cstdint>

#include "exports/ExportFrame.h"
#include "exports/QvxEffect.h"
#include "filters/FilterFrame.h"
#include "filters/MosaicEffects.h"

namespace qvx {
namespace {

// The luminance bin of a colour, 0..255.
inline int LuminanceBin(const Bgrx& c) { return (77 * c.red + 150 * c.green + 29 * c.blue) >> 8; }

struct OilPaintFilter {
  int method = 0;
  int start = 0, half = 0;  // window offsets start .. half in each direction
  WorkBlock histogramBlock;
  std::uint32_t* counts = nullptr;  // 3 x 256 counters, zero between pixels

  bool Prepare(FilterJob& job) {
    if (!histogramBlock.Allocate(3 * 256 * sizeof(std::uint32_t))) return false;
    counts = histogramBlock.As<std::uint32_t>();
    return job.rows.Allocate(half - start + 2, 0);
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgrx* out) const {
    const WorkRect& rect = job.rect;
    const int top = std::max(y + start, rect.top), bottom = std::min(y + half, rect.bottom);
    const Bgrx* rows[256];
    for (int wy = top; wy <= bottom; ++wy) rows[wy - top] = job.rows.Row(wy);
    const int windowRows = bottom - top + 1;
    for (int x = x0; x <= x1; ++x) {
      const int from = std::max(x + start, rect.left) - rect.left;
      const int to = std::min(x + half, rect.right) - rect.left;
      out[x - rect.left] = method == 0 ? ChannelModes(rows, windowRows, from, to)
                                       : LuminanceMode(rows, windowRows, from, to);
    }
  }

  // Counters are taken back down after each pixel instead of cleared.
  Bgrx ChannelModes(const Bgrx* const* rows, int windowRows, int from, int to) const {
    std::uint32_t* red = counts;
    std::uint32_t* green = counts + 256;
    std::uint32_t* blue = counts + 512;
    std::uint32_t bestRed = 0, bestGreen = 0, bestBlue = 0;
    Bgrx result{0, 0, 0, 1};
    for (int r = 0; r < windowRows; ++r)
      for (int i = from; i <= to; ++i) {
        const Bgrx c = rows[r][i];
        const std::uint32_t nr = ++red[c.red], ng = ++green[c.green], nb = ++blue[c.blue];
        if (nr > bestRed) bestRed = nr, result.red = c.red;
        if (ng > bestGreen) bestGreen = ng, result.green = c.green;
        if (nb > bestBlue) bestBlue = nb, result.blue = c.blue;
      }
    for (int r = 0; r < windowRows; ++r)
      for (int i = from; i <= to; ++i) {
        const Bgrx c = rows[r][i];
        --red[c.red];
        --green[c.green];
        --blue[c.blue];
      }
    return result;
  }

  Bgrx LuminanceMode(const Bgrx* const* rows, int windowRows, int from, int to) const {
    std::uint32_t best = 0;
    Bgrx result{0, 0, 0, 1};
    for (int r = 0; r < windowRows; ++r)
      for (int i = from; i <= to; ++i) {
        const Bgrx c = rows[r][i];
        const std::uint32_t n = ++counts[LuminanceBin(c)];
        if (n > best) best = n, result = c;
      }
    for (int r = 0; r < windowRows; ++r)
      for (int i = from; i <= to; ++i) --counts[LuminanceBin(rows[r][i])];
    return result;
  }
};

}  // namespace

HGLOBAL RunOilPaint(const SelectionArgs& args, BYTE method, BYTE size, BOOL noDialog,
                    PixelRoute route) {
  // Size 0 has no window and other methods no rule.
  if (method > 1 || size == 0) return RefuseParameter();
  OilPaintFilter filter;
  filter.method = method;
  filter.half = size / 2;
  filter.start = size % 2 ? -filter.half : 1 - filter.half;
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVOilPaint(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                  const RECT* rect, BOOL inside, BYTE method, BYTE size,
                                  BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunOilPaint(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                            method, size, noDialog);
  });
}
