// The map of the luminance/chrominance tone curves: each colour converted to
// Y, Cr and Cb levels, each level remapped by its channel function, and the
// result converted back to red, green and blue.
#pragma once

#include <cstdint>

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
  // Green's chrominance terms by level.
  double greenCb[256];
  double greenCr[257];  // 256 holds what 255 holds
  // Large jobs work out more per call.
  WorkBlock tables;
  const ConversionTables* fast = nullptr;

  // The per-colour function for large jobs, from the per-call tables.
  struct Tabulated {
    const ConversionTables* t;
    const double* greenCr;
    Rgb operator()(Rgb c) const {
      // The sums are at least 0 (0.5 for the chrominance), so the levels
      // need no clamping below; chrominance level 256 has its own table
      // rows, and luminance stays below 256. Adding 0 to the luminance
      // changes nothing.
      const Double4 sums = ((t->pair[c.red << 8 | c.green].Lanes() + t->blue[c.blue].Lanes()) +
                            Double4{0.0, 128.0, 128.0, 0.0}) +
                           0.5;
      const Int4 levels = __builtin_convertvector(sums, Int4);
      const Int4 index = levels << 8 | levels[0];
      const auto crRow = static_cast<unsigned>(index[1]);
      const auto cbRow = static_cast<unsigned>(index[2]);
      return {t->redBack[crRow], RoundClampLevel(t->greenYCb[cbRow] - greenCr[levels[1]]),
              t->blueBack[cbRow]};
    }
  };

  // The per-colour function for small jobs, from the product tables.
  Rgb Direct(Rgb c) const {
    const YccLevels l = ToYccLevels(YccTables(products), c.red, c.green, c.blue);
    return {RedFromYcc(y[l.y], cr[l.cr]), RoundClampLevel((y[l.y] - greenCb[l.cb]) - greenCr[l.cr]),
            BlueFromYcc(y[l.y], cb[l.cb])};
  }

  Rgb operator()(Rgb c) const { return fast ? Tabulated{fast, greenCr}(c) : Direct(c); }

  template <class Body>
  void WithKernel(Body&& body) const {
    if (fast)
      body(Tabulated{fast, greenCr});
    else
      body([this](Rgb c) { return Direct(c); });
  }

  // Fills the channel functions from level(channel, v), channel 0 = Y,
  // 1 = Cr, 2 = Cb (the chrominance results are centred here), then the
  // tables of the conversion back. Levels are kept within +-100000, where
  // every result has long saturated, so that no sum can overflow (only a
  // gamma that is not a number gets there). False with error 3 when a table
  // cannot be had.
  template <class Level>
  bool Fill(std::int64_t colours, Level&& level) {
    for (int v = 0; v < 256; ++v) {
      y[v] = Bound(level(0, v));
      cr[v] = Bound(level(1, v)) - 128;
      cb[v] = Bound(level(2, v)) - 128;
      greenCb[v] = 0.34414 * cb[v];
      greenCr[v] = 0.71414 * cr[v];
    }
    greenCr[256] = greenCr[255];
    return PrepareTables(colours);
  }

 private:
  static int Bound(long long v) {
    return static_cast<int>(v < -100000 ? -100000 : (v > 100000 ? 100000 : v));
  }
  bool PrepareTables(std::int64_t colours);
};

}  // namespace qvx
