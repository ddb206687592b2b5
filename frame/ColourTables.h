// Colour tables shared by the effect families: luminance weights and
// luminance/chrominance products, the conversions built on them, and the
// clamped conversions of levels.
//
// Every table is built per call in a zero-initialised global work block and
// released with it; a builder that cannot get its block sets error 3 and
// answers false.
#pragma once

#include <climits>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "frame/PixelFormat.h"
#include "frame/Resources.h"
#include "frame/Simd.h"
#include "platform/WinTypes.h"

namespace qvx {

// One value per input level 0..255.
using LevelTable = double[256];

// The nearest double to 1/255.
inline constexpr double kOneOver255 = 0.00392156862745098;

// Truncated toward zero and clamped to 0..255, for any double that is a
// number: clamping before the conversion gives the same level and keeps the
// conversion in range.
inline BYTE TruncClampLevel(double value) {
#if defined(__SSE2__)
  const __m128d clamped =
      _mm_min_sd(_mm_max_sd(_mm_set_sd(value), _mm_setzero_pd()), _mm_set_sd(255.0));
  return static_cast<BYTE>(_mm_cvttsd_si32(clamped));
#else
  return static_cast<BYTE>(static_cast<int>(value < 0 ? 0 : (value > 255 ? 255 : value)));
#endif
}

// Rounded and clamped to 0..255: a negative value clamps to 0 whichever
// way it rounds, so the rule for positive values serves for all.
inline BYTE RoundClampLevel(double value) { return TruncClampLevel(value + 0.5); }

// Luminance weight tables: red, green and blue products of 0.298912,
// 0.586611 and 0.114478.
bool MakeLuminanceTables(WorkBlock& tables);
inline const LevelTable* LuminanceTables(const WorkBlock& tables) {
  return tables.As<LevelTable>();
}

// The luminance sum (red + green) + blue of the weight tables.
inline double LuminanceSum(const LevelTable* weights, BYTE red, BYTE green, BYTE blue) {
  return weights[0][red] + weights[1][green] + weights[2][blue];
}

// For many colours, built per call: the first addition of the luminance sum
// (red weight + green weight) for every (red, green) pair, index
// red << 8 | green, so that the sum takes one more addition, as it is made.
// False with error 3 when the block cannot be had.
bool MakeLuminancePairs(const LevelTable* weights, WorkBlock& pairs);

// Luminance/chrominance product tables, in this order.
enum YccTable : int {
  kRedToY,
  kGreenToY,
  kBlueToY,
  kRedToCr,
  kGreenToCr,
  kBlueToCr,
  kRedToCb,
  kGreenToCb,
  kBlueToCb,
  kYccTableCount,
};
bool MakeYccTables(WorkBlock& tables);
inline const LevelTable* YccTables(const WorkBlock& tables) { return tables.As<LevelTable>(); }

// A colour as luminance and chrominance levels 0..255, the chrominance
// offset by 128.
struct YccLevels {
  int y, cr, cb;
};

// Forward conversion of the tone curves: each sum rounded (the 128 of the
// chrominance included), then clamped to 0..255.
inline YccLevels ToYccLevels(const LevelTable* t, BYTE red, BYTE green, BYTE blue) {
  const double y = t[kRedToY][red] + t[kGreenToY][green] + t[kBlueToY][blue];
  const double cr = t[kRedToCr][red] + t[kGreenToCr][green] + t[kBlueToCr][blue] + 128.0;
  const double cb = t[kRedToCb][red] + t[kGreenToCb][green] + t[kBlueToCb][blue] + 128.0;
  return {RoundClampLevel(y), RoundClampLevel(cr), RoundClampLevel(cb)};
}

// Inverse conversion of the tone curves from luminance and centred
// chrominance: each channel rounded, then clamped.
inline constexpr double kCrToRed = 1.402, kCbToGreen = 0.34414, kCrToGreen = 0.71414,
                        kCbToBlue = 1.772;
inline BYTE RedFromYcc(int y, int crCentred) { return RoundClampLevel(y + kCrToRed * crCentred); }
inline BYTE GreenFromYcc(int y, int crCentred, int cbCentred) {
  return RoundClampLevel((y - kCbToGreen * cbCentred) - kCrToGreen * crCentred);
}
inline BYTE BlueFromYcc(int y, int cbCentred) { return RoundClampLevel(y + kCbToBlue * cbCentred); }

// RoundClampLevel of four lanes.
QVX_LOOP_BODY Int4 RoundClampLevelLanes(Double4 value) {
  const Double4 v = value + 0.5;
  return __builtin_convertvector(v < 0.0 ? Double4{} : (v > 255.0 ? Double4{} + 255.0 : v), Int4);
}

// The inverse conversion of four colours at once, from luminance and
// centred chrominance levels (whole numbers as doubles): the same
// operations in the same order as RedFromYcc, GreenFromYcc and BlueFromYcc.
struct RgbLanes {
  Int4 red, green, blue;
};
QVX_LOOP_BODY RgbLanes RgbFromYccLanes(Double4 y, Double4 crCentred, Double4 cbCentred) {
  return {RoundClampLevelLanes(y + kCrToRed * crCentred),
          RoundClampLevelLanes((y - kCbToGreen * cbCentred) - kCrToGreen * crCentred),
          RoundClampLevelLanes(y + kCbToBlue * cbCentred)};
}

// The parts of the three sums of a conversion to luminance and chrominance,
// side by side so that the three are added as one (lane by lane, each
// exactly as a lone double would be).
struct YccParts {
  double y, cr, cb;
  double unused;  // 0, makes the record four lanes
  QVX_LOOP_BODY Double4 Lanes() const {
    Double4 lanes;
    std::memcpy(&lanes, this, sizeof lanes);  // no alignment assumed
    return lanes;
  }
};

// What converting many colours to luminance and chrominance and back works
// out once per call.
//
// Forward: the first addition of each sum (red product + green product)
// for every (red, green) pair, and the blue products, so that each sum
// takes one more addition, as the conversion makes it.
//
// Back: red by (Cr, Y) levels, blue by (Cb, Y), and green's first
// difference (luminance minus the Cb term) by (Cb, Y), indexed
// chrominance << 8 | luminance. Chrominance level 256 holds what 255
// holds, so that a sum rounded up to 256 needs no clamping.
struct ConversionTables {
  YccParts pair[65536];  // index red << 8 | green
  YccParts blue[256];
  double greenYCb[257 * 256];
  BYTE redBack[257 * 256];
  BYTE blueBack[257 * 256];

  void FillForward(const LevelTable* products);
  // Fills the tables back from red(y, cr), blue(y, cb) and greenYCb(y, cb).
  template <class Red, class Blue, class Green>
  void FillBack(Red&& redOf, Blue&& blueOf, Green&& greenOf) {
    for (int c = 0; c < 257; ++c)
      for (int l = 0; l < 256; ++l) {
        const int chroma = c < 256 ? c : 255;
        redBack[c << 8 | l] = redOf(l, chroma);
        blueBack[c << 8 | l] = blueOf(l, chroma);
        greenYCb[c << 8 | l] = greenOf(l, chroma);
      }
  }
};

}  // namespace qvx
