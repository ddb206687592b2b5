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

// New luminance (difference x gain + luminance) converted back with the
// pixel's own chrominance. Each product table entry is i x coefficient in
// double precision, and entry 1 is the coefficient itself, so multiplying
// gives the entries' very bits without a lookup per channel.
QVX_LOOP_BODY Bgra SharpPixel(Bgra source, double lum, const double* c) {
  const double r = source.red, g = source.green, b = source.blue;
  const int cr = RoundHalfAway(r * c[0] + g * c[1] + b * c[2]);
  const int cb = RoundHalfAway(r * c[3] + g * c[4] + b * c[5]);
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
// integer part. Where a fraction is a whole number 1..255 the doubles may
// fall just below it, and those pixels (about one in 500) are worked out in
// doubles whole. Numerators stay below 2^30. Cr and Cb themselves end in
// exactly one half too often for that (every colour with green equal to
// blue and red an odd step from green, for Cr), so they are made in
// doubles.
struct WholeSharp {
  int gain1000;  // 30 x strength: 1000 x the gain
};

// floor(n / (2^kShift d)) for 0 <= n <= 2^kShift x 255 d, d <= 16384: the
// division by 2^kShift is a shift, the rest a mean's division (MeanDivisor).
template <int kShift, int kDivisor>
QVX_LOOP_BODY Int8 Quotient(Int8 n) {
  return MeanDivisor::DivideLanes(n >> kShift, Float8{} + 1.0f / kDivisor);
}

// A channel from the numerator of its value + 0.5 over 1000 (kShift 0,
// kDivisor 1000) or 100000 (5, 3125): the integer part clamped to 0..255.
// The lanes whose value + 0.5 is a whole number 1..255 are marked in `tie`
// (outside that range either way clamps to the same end).
template <int kShift, int kDivisor>
QVX_LOOP_BODY Int8 ClampedChannel(Int8 n, Int8& tie) {
  constexpr int kDenominator = kDivisor << kShift;
  const Int8 top = Int8{} + 255 * kDenominator;
  const Int8 q = Quotient<kShift, kDivisor>(n < 0 ? Int8{} : (n > top ? top : n));
  tie |= (n == q * kDenominator) & (q > 0);
  return q;
}

// Cr and Cb of four pixels, as SharpPixel makes them.
QVX_LOOP_BODY void ChromaLanes(Int4 colours, const double* c, Int4& cr, Int4& cb) {
  const Double4 r = ChannelLanes(colours, 2), g = ChannelLanes(colours, 1),
                b = ChannelLanes(colours, 0);
  cr = RoundLanes(r * c[0] + g * c[1] + b * c[2]);
  cb = RoundLanes(r * c[3] + g * c[4] + b * c[5]);
}

QVX_LOOP_BODY void SharpRow(Bgra* out, const Bgra* source, const BYTE* luminance,
                            const int* differences, int count, double gain, WholeSharp whole,
                            const double* chroma) {
  // The coefficients in locals: the stores through `out` could alias them
  // for all the compiler knows.
  const double c[6] = {chroma[0], chroma[1], chroma[2], chroma[3], chroma[4], chroma[5]};
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    Int4 low, high, crLow, crHigh, cbLow, cbHigh;
    std::memcpy(&low, source + i, sizeof low);
    std::memcpy(&high, source + i + 4, sizeof high);
    ChromaLanes(low, c, crLow, cbLow);
    ChromaLanes(high, c, crHigh, cbHigh);
    const Int8 cr{crLow[0],  crLow[1],  crLow[2],  crLow[3],
                  crHigh[0], crHigh[1], crHigh[2], crHigh[3]};
    const Int8 cb{cbLow[0],  cbLow[1],  cbLow[2],  cbLow[3],
                  cbHigh[0], cbHigh[1], cbHigh[2], cbHigh[3]};
    Int8 d;
    std::memcpy(&d, differences + i, sizeof d);
    const BYTE* l = luminance + i;
    const Int8 own{l[0], l[1], l[2], l[3], l[4], l[5], l[6], l[7]};
    const Int8 y1000 = d * whole.gain1000 + own * 1000;
    Int8 tie{};
    const Int8 red = ClampedChannel<0, 1000>(y1000 + cr * 1402 + 500, tie);
    const Int8 blue = ClampedChannel<0, 1000>(y1000 + cb * 1772 + 500, tie);
    const Int8 green =
        ClampedChannel<5, 3125>(y1000 * 100 - cb * 34414 - cr * 71414 + 50000, tie);
    if (NoLanes(tie)) {
      const Int8 words = blue | (green << 8) | (red << 16) | (1 << 24);
      std::memcpy(out + i, &words, sizeof words);
    } else {
      for (int k = i; k < i + 8; ++k)
        out[k] = SharpPixel(source[k], differences[k] * gain + luminance[k], c);
    }
  }
  for (; i < count; ++i) out[i] = SharpPixel(source[i], differences[i] * gain + luminance[i], c);
}

// Luminance sums of the rows that exist, column by column.
QVX_LOOP_BODY void ColumnSums(int* out, const BYTE* at, const BYTE* up, const BYTE* down,
                              int count) {
  for (int i = 0; i < count; ++i) out[i] = at[i];
  if (up)
    for (int i = 0; i < count; ++i) out[i] += up[i];
  if (down)
    for (int i = 0; i < count; ++i) out[i] += down[i];
}

// n x luminance - the sum over three columns (n = `pixels`).
QVX_LOOP_BODY void Differences(int* out, const int* column, const BYTE* luminance, int count,
                               int pixels) {
  for (int i = 0; i < count; ++i)
    out[i] = pixels * luminance[i] - (column[i - 1] + column[i] + column[i + 1]);
}

// The neighbourhood of a pixel stops at the picture's edges (it is not
// clamped): n is 9 inside, 6 on an edge, 4 in a corner.
struct SharpFilter {
  // Runs are worked in chunks of columns, so that the sums and differences
  // need a small block whatever the row's width.
  static constexpr int kChunk = 2048;
  double gain = 0;  // (3 x strength) x 0.01
  WholeSharp whole{};
  WorkBlock products;
  LuminanceRows luminance;
  WorkBlock columns;  // per column of a chunk: the luminance sum of the rows that exist
  double chroma[6] = {};

  bool Prepare(FilterJob& job) {
    if (!MakeYccTables(products) || !job.rows.Allocate(3, 1) ||
        !luminance.Allocate(job, 3, 1, products) ||
        !columns.Allocate(sizeof(int) * (2 * std::size_t{kChunk} + 6)))
      return false;
    const LevelTable* t = YccTables(products);
    const double c[6] = {t[kRedToCr][1], t[kGreenToCr][1], t[kBlueToCr][1],
                         t[kRedToCb][1], t[kGreenToCb][1], t[kBlueToCb][1]};
    std::copy(c, c + 6, chroma);
    return true;
  }

  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
    const BYTE* at = luminance.Row(job, y);
    const BYTE* up = y > 0 ? luminance.Row(job, y - 1) : nullptr;
    const BYTE* down = y + 1 < job.height ? luminance.Row(job, y + 1) : nullptr;
    const Bgra* source = job.rows.Row(y);
    for (int first = x0 - job.rect.left, end = x1 - job.rect.left; first <= end; first += kChunk)
      RunChunk(job, first, std::min(end, first + kChunk - 1), at, up, down, source, out);
  }

  // Pixels first..last, counted from the rectangle's left column.
  void RunChunk(const FilterJob& job, int first, int last, const BYTE* at, const BYTE* up,
                const BYTE* down, const Bgra* source, Bgra* out) {
    const int rows = 1 + (up ? 1 : 0) + (down ? 1 : 0);
    // column[i + 1 - first] for picture column left + i, i = first - 1 .. last + 1.
    int* column = columns.As<int>() + 1;
    Vectorised<ColumnSums>(column - 1, at + first - 1, up ? up + first - 1 : nullptr,
                           down ? down + first - 1 : nullptr, last - first + 3);
    int* differences = column + (last - first + 3);
    Vectorised<Differences>(differences, static_cast<const int*>(column), at + first,
                            last - first + 1, 3 * rows);
    // A pixel in the picture's first or last column has one column fewer.
    const auto edge = [&](int i, int missing) {
      differences[i - first] += column[missing - first] - rows * at[i];
    };
    if (job.rect.left + first == 0) edge(first, first - 1);
    if (job.rect.left + last == job.width - 1) edge(last, last + 1);
    Vectorised<SharpRow>(out + first, source + first, at + first,
                         static_cast<const int*>(differences), last - first + 1, gain, whole,
                         static_cast<const double*>(chroma));
  }
};

}  // namespace

HGLOBAL RunSharp(const SelectionArgs& args, BYTE strength, BOOL noDialog, PixelRoute route) {
  SharpFilter filter;
  const int s = strength > 100 ? 100 : strength;
  filter.gain = (3 * s) * 0.01;
  filter.whole.gain1000 = 30 * s;
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
