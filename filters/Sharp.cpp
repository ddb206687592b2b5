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

// The same for four pixels at a time, lane by lane.
QVX_LOOP_BODY void SharpRow(Bgra* out, const Bgra* source, const BYTE* luminance,
                            const int* differences, int count, double gain, const double* c) {
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    Int4 colours, d;
    std::memcpy(&colours, source + i, sizeof colours);
    std::memcpy(&d, differences + i, sizeof d);
    const Int4 own{luminance[i], luminance[i + 1], luminance[i + 2], luminance[i + 3]};
    const Double4 lum = DoubleLanes(d) * gain + DoubleLanes(own);
    const Double4 r = ChannelLanes(colours, 2), g = ChannelLanes(colours, 1),
                  b = ChannelLanes(colours, 0);
    const Double4 cr = DoubleLanes(RoundLanes(r * c[0] + g * c[1] + b * c[2]));
    const Double4 cb = DoubleLanes(RoundLanes(r * c[3] + g * c[4] + b * c[5]));
    const Int4 blue = ClampLanes(RoundLanes(lum + 1.772 * cb));
    const Int4 green = ClampLanes(RoundLanes(lum - 0.34414 * cb - 0.71414 * cr));
    const Int4 red = ClampLanes(RoundLanes(lum + 1.402 * cr));
    const Int4 words = blue | (green << 8) | (red << 16) | (1 << 24);
    std::memcpy(out + i, &words, sizeof words);
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
                         static_cast<const int*>(differences), last - first + 1, gain,
                         static_cast<const double*>(chroma));
  }
};

}  // namespace

HGLOBAL RunSharp(const SelectionArgs& args, BYTE strength, BOOL noDialog, PixelRoute route) {
  SharpFilter filter;
  filter.gain = (3 * (strength > 100 ? 100 : strength)) * 0.01;
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
