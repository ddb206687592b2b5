// The record forms of the bilinear blends: positions and neighbours through
// GetDibPixel and the neighbour readers.
#include "geometry/Sampling.h"

#include <cmath>

#include "frame/NeighbourReaders.h"

namespace qvx {
namespace {

Rgb Colours(const DibAccess* record) { return {record->Red, record->Green, record->Blue}; }

// The neighbour (dx, dy) of the record's current pixel when `inside`,
// otherwise `missing`. The record stays positioned.
Rgb NeighbourOr(DibAccess* record, int dx, int dy, bool inside, Rgb missing) {
  if (!inside) return missing;
  NeighbourReaderFor(dx, dy)(record);
  return Colours(record);
}

}  // namespace

Rgb BlendColours(const BlendWeights& w, Rgb c00, Rgb c10, Rgb c01, Rgb c11) {
  return {BlendChannel(w, c00.red, c10.red, c01.red, c11.red),
          BlendChannel(w, c00.green, c10.green, c01.green, c11.green),
          BlendChannel(w, c00.blue, c10.blue, c01.blue, c11.blue)};
}

Rgb ForwardBilinearAt(DibAccess* source, int ix, int iy, double dx, double dy) {
  GetDibPixel(source, ix, iy);
  const Rgb c00 = Colours(source);
  const bool right = ix + 1 < source->Width, down = iy + 1 < source->Height;
  constexpr Rgb kNone{0, 0, 0};
  const Rgb c10 = NeighbourOr(source, 1, 0, right, kNone);
  const Rgb c01 = NeighbourOr(source, 0, 1, down, kNone);
  const Rgb c11 = NeighbourOr(source, 1, 1, right && down, kNone);
  return BlendColours(WeightsFor(dx, dy), c00, c10, c01, c11);
}

Rgb ForwardBilinear(DibAccess* source, double fx, double fy) {
  const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  return ForwardBilinearAt(source, ix, iy, fx - ix, fy - iy);
}

Rgb SignDirectedBilinear(DibAccess* source, double sx, double sy, int left, int top,
                         Rgb background) {
  const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
  const double fx = std::fabs(sx - ix), fy = std::fabs(sy - iy);
  const int px = ix - left, py = iy - top;
  const int dx = sx > 0 ? 1 : -1, dy = sy > 0 ? 1 : -1;
  const bool across = dx > 0 ? px < source->Width - 1 : px > 0;
  const bool along = dy > 0 ? py < source->Height - 1 : py > 0;
  GetDibPixel(source, px, py);
  const Rgb c00 = Colours(source);
  const Rgb h = NeighbourOr(source, dx, 0, across, background);
  const Rgb v = NeighbourOr(source, 0, dy, along, background);
  const Rgb d = NeighbourOr(source, dx, dy, across && along, background);
  return BlendColours(WeightsFor(fx, fy), c00, h, v, d);
}

}  // namespace qvx
