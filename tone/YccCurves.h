// The map of the luminance/chrominance tone curves: each colour converted to
// Y, Cr and Cb levels, each level remapped by its channel function, and the
// result converted back to red, green and blue.
#pragma once

#include "frame/PixelFormat.h"
#include "frame/Resources.h"
#include "tone/ToneTables.h"

namespace qvx {

struct YccCurves {
  // The channel functions: Y' for each Y level, and the centred Cr', Cb'
  // (level minus 128 after the curve) for each chrominance level.
  int y[256];
  int cr[256];
  int cb[256];
  WorkBlock products;

  Rgb operator()(Rgb c) const {
    const YccLevels levels = ToYccLevels(YccTables(products), c.red, c.green, c.blue);
    const int yp = y[levels.y];
    const int crp = cr[levels.cr];
    const int cbp = cb[levels.cb];
    return {RedFromYcc(yp, crp), GreenFromYcc(yp, crp, cbp), BlueFromYcc(yp, cbp)};
  }

  // Fills the channel functions from level(channel, v), channel 0 = Y,
  // 1 = Cr, 2 = Cb; the chrominance results are centred here.
  template <class Level>
  void Fill(Level&& level) {
    for (int v = 0; v < 256; ++v) {
      y[v] = level(0, v);
      cr[v] = level(1, v) - 128;
      cb[v] = level(2, v) - 128;
    }
  }
};

}  // namespace qvx
