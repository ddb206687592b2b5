// Sharpening on the luminance: each pixel's luminance raised by a multiple
// of its difference from the 3 x 3 neighbourhood, its own chrominance kept.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "filters/FilterEffects.h"
#include "filters/Luminance.h"

namespace qvx {
namespace {

// The rule: the new luminance (difference x gain + luminance) converted
// back with the pixel's own chrominance, in doubles.
QVX_LOOP_BODY Bgra SharpPixel(Bgra source, double lum, const double* c) {
  const int cr = CrOf(source.red, source.green, source.blue, c);
  const int cb = CbOf(source.red, source.green, source.blue, c);
  return {ClampByte(RoundHalfAway(lum + 1.772 * cb)),
          ClampByte(RoundHalfAway(lum - 0.34414 * cb - 0.71414 * cr)),
          ClampByte(RoundHalfAway(lum + 1.402 * cr)), 1};
}

// The conversion back in whole numbers, eight pixels at a time. Each
// channel's value + 0.5 is a fraction with a fixed denominator:
//   R' + 0.5 = (1000 Y' + 1402 Cr + 500) / 1000, with 1000 Y' = 30 s D + 1000 Yc
//   (the gain is 3 s / 100), B' likewise with 1772 Cb;
//   G' + 0.5 = (100000 Y' - 34414 Cb - 71414 Cr + 50000) / 100000.
// The doubles of SharpPixel stay within 1e-11 of these values (a few
// roundings of numbers below 2^13), and a fraction that is not a whole
// number lies at least 1 / denominator away from one, so both give the same
// integer part. Where a fraction is a whole number the doubles may fall
// just below it, and those pixels (about one in 300) are worked out in
// doubles whole. Numerators stay below 2^30.
struct SharpGain {
  double k = 0;   // (3 x strength) x 0.01
  int k1000 = 0;  // 30 x strength: 1000 k
  // The multipliers of the conversion back, values rather than literals
  // for the reason given at WholeChroma.
  int crToRed = 1402, cbToBlue = 1772, cbToGreen = 34414, crToGreen = 71414;
  int hundred = 100, thousand = 1000, hundredThousand = 100000;
};

// A channel from the numerator n of its value + 0.5 over 1000 (kShift 0,
// kDivisor 1000) or 100000 (5, 3125): the integer part clamped to 0..255.
// The lanes whose value + 0.5 is a whole number are marked in `tie`: the
// doubles may fall just below it there. (Where the quotient is 256 or more
// the floats are no longer exact, but it clamps to 255 either way.)
template <int kShift, int kDivisor>
QVX_LOOP_BODY Int8 ClampedChannel(Int8 n, Int8 denominator, Int8& tie) {
  const Int8 q = FloorQuotient<kShift, kDivisor>(n);
  tie |= n == q * denominator;
  // In this order GCC makes a minimum and a maximum of it.
  const Int8 high = q > 255 ? Int8{} + 255 : q;
  return high > 0 ? high : Int8{};
}

// The luminance rows above, at and below a pixel row, each readable from
// column -1 to the row's end + 1; a row outside the picture reads as zeros
// and is not counted in `rows`.
struct Neighbourhood {
  const BYTE* up;
  const BYTE* at;
  const BYTE* down;
  int rows;
};

// n x luminance - the luminance sum of the neighbourhood of pixel i, with
// or without the columns to its left and right.
QVX_LOOP_BODY int Difference(const Neighbourhood& n, int i, bool left, bool right) {
  int sum = 0, columns = 0;
  for (int x = left ? i - 1 : i; x <= (right ? i + 1 : i); ++x, ++columns)
    sum += n.up[x] + n.at[x] + n.down[x];
  return columns * n.rows * n.at[i] - sum;
}

// A run of pixels first..last of a row (counted from the rectangle's left
// column) and where the picture's first and last columns fall in that count.
struct SharpRun {
  int first, last;
  int pictureFirst, pictureLast;
  Neighbourhood n;
  int Difference(int i) const { return qvx::Difference(n, i, i > pictureFirst, i < pictureLast); }
};

// 1000 (Y' + 0.5) = 30 s D + 1000 Yc + 500 of pixels first..last, as if
// each had columns on both sides: with D = n Yc - sum, that is
// (30 s n + 1000) Yc - 30 s sum + 500. The sums of the three rows' columns
// first - 1..last + 1 go to `columns` first, each to be added thrice.
QVX_LOOP_BODY void Levels(int* out, std::uint16_t* columns, Neighbourhood n, int first, int last,
                          int pixels, int k1000) {
  for (int i = first - 1; i <= last + 1; ++i)
    columns[i - first + 1] = static_cast<std::uint16_t>(n.up[i] + n.at[i] + n.down[i]);
  const int own = pixels * k1000 + 1000;
  for (int i = first; i <= last; ++i) {
    const int sum = columns[i - first] + columns[i - first + 1] + columns[i - first + 2];
    out[i - first] = n.at[i] * own - sum * k1000 + 500;
  }
}

// The colours of a run from its levels (1000 (Y' + 0.5), levels[i - first]).
QVX_LOOP_BODY void SharpRow(Bgra* out, const Bgra* source, const int* levels, SharpRun run,
                            SharpGain gain, const double* chroma, WholeChroma whole) {
  // The coefficients in locals: the stores through `out` could alias them
  // for all the compiler knows.
  const double c[6] = {chroma[0], chroma[1], chroma[2], chroma[3], chroma[4], chroma[5]};
  const auto plain = [&](int i) {
    out[i] = SharpPixel(source[i], run.Difference(i) * gain.k + run.n.at[i], c);
  };
  const Int8 thousand = Int8{} + gain.thousand, hundredThousand = Int8{} + gain.hundredThousand;
  int i = run.first;
  for (; i + 8 <= run.last + 1; i += 8) {
    Int8 level, cr, cb;
    std::memcpy(&level, levels + (i - run.first), sizeof level);
    ChromaLanes(source + i, whole, cr, cb);
    Int8 tie{};
    const Int8 red = ClampedChannel<0, 1000>(level + cr * gain.crToRed, thousand, tie);
    const Int8 blue = ClampedChannel<0, 1000>(level + cb * gain.cbToBlue, thousand, tie);
    const Int8 green = ClampedChannel<5, 3125>(
        level * gain.hundred - cb * gain.cbToGreen - cr * gain.crToGreen, hundredThousand, tie);
    // The fourth bytes are not stored.
    const Int8 words = blue | (green << 8) | (red << 16);
    std::memcpy(out + i, &words, sizeof words);
    if (!NoLanes(tie))
      for (unsigned ties = LaneBits(tie); ties; ties &= ties - 1) plain(i + __builtin_ctz(ties));
  }
  for (; i <= run.last; ++i) plain(i);
}

// The neighbourhood of a pixel stops at the picture's edges (it is not
// clamped): n is 9 inside, 6 on an edge, 4 in a corner.
struct SharpFilter {
  // Runs are worked in chunks of columns, so that the levels need a small
  // block whatever the row's width.
  static constexpr int kChunk = 2048;
  SharpGain gain;
  WorkBlock products;
  LuminanceRows luminance;
  WorkBlock zeros;    // the luminances of a row outside the picture
  WorkBlock levels;   // per column of a chunk: 1000 (Y' + 0.5)
  WorkBlock columns;  // for Levels: a chunk's columns and one on each side
  WorkBlock halves;   // CrHalves
  double chroma[6] = {};

  bool Prepare(FilterJob& job) {
    if (!MakeYccTables(products) || !job.rows.Allocate(3, 1) ||
        !luminance.Allocate(job, 3, 1, products) ||
        !zeros.Allocate(static_cast<std::size_t>(job.Columns()) + 2) ||
        !levels.Allocate(sizeof(int) * kChunk) ||
        !columns.Allocate(sizeof(std::uint16_t) * (kChunk + 2)) ||
        !halves.Allocate(sizeof(CrHalves)))
      return false;
    const ChromaCoefficients coefficients(YccTables(products));
    std::copy(coefficients.c, coefficients.c + 6, chroma);
    halves.As<CrHalves>()->Fill(chroma);
    return true;
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    const BYTE* zero = zeros.As<BYTE>() + 1;
    const bool above = y > 0, below = y + 1 < job.height;
    const Neighbourhood n{above ? luminance.Row(job, y - 1) : zero, luminance.Row(job, y),
                          below ? luminance.Row(job, y + 1) : zero, 1 + above + below};
    const Bgra* source = job.rows.Row(y);
    int* level = levels.As<int>();
    for (int first = x0 - job.rect.left, end = x1 - job.rect.left; first <= end; first += kChunk) {
      const SharpRun run{first, std::min(end, first + kChunk - 1), -job.rect.left,
                         job.width - 1 - job.rect.left, n};
      Vectorised<Levels>(level, columns.As<std::uint16_t>(), n, run.first, run.last, 3 * n.rows,
                         gain.k1000);
      // A pixel in the picture's first or last column has one column fewer.
      for (int i : {run.pictureFirst, run.pictureLast})
        if (i >= run.first && i <= run.last)
          level[i - run.first] = run.Difference(i) * gain.k1000 + 1000 * n.at[i] + 500;
      Vectorised<SharpRow>(out, source, static_cast<const int*>(level), run, gain,
                           static_cast<const double*>(chroma),
                           WholeChroma{halves.As<const CrHalves>()});
    }
  }
};

}  // namespace

HGLOBAL RunSharp(const SelectionArgs& args, BYTE strength, BOOL noDialog, PixelRoute route) {
  SharpFilter filter;
  const int s = strength > 100 ? 100 : strength;
  filter.gain = {(3 * s) * 0.01, 30 * s};
  return RunFilter(args, FilterSetup{kDepthGreyAndTrue, noDialog, route}, filter);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVSharp(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                               const RECT* rect, BOOL inside, BYTE strength, BOOL noDialog,
                               DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunSharp(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                         strength, noDialog);
  });
}
