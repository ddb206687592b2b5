// Sampling rules shared by the geometric effects and the filters that
// sample between pixel centres: the nearest-pixel mapping, the box average
// spans, the bilinear blend (forward and sign-directed) and the grey index.
//
// The blends work in doubles in a fixed order of operations, so every
// caller that blends the same colours with the same weights gets the same
// bits. Nothing here allocates, reports progress or sets the error status.
#pragma once

#include <algorithm>

#include "frame/DibAccess.h"
#include "frame/PixelFormat.h"

namespace qvx {

// Narrows lo..hi to the k for which start + step k lies in 0..size - 1
// (step -1, 0 or 1, as the quarter turns walk a source row or column;
// empty when lo > hi).
template <class Int>
void ClipToSource(Int start, int step, int size, Int& lo, Int& hi) {
  if (step == 0) {
    if (start < 0 || start >= size) hi = lo - 1;
  } else if (step > 0) {
    lo = std::max(lo, -start);
    hi = std::min(hi, static_cast<Int>(size - 1 - start));
  } else {
    lo = std::max(lo, static_cast<Int>(start - (size - 1)));
    hi = std::min(hi, start);
  }
}

// Nearest-pixel mapping: the source index of result index `i` when `size`
// source pixels map onto a result with ratio = size / resultSize (computed
// by the caller in doubles): rnd(i * ratio), clamped to 0..size-1. Index 0
// maps to 0: the mapping aligns the first pixels, not the pixel centres.
inline int NearestSourceIndex(int i, double ratio, int size) {
  const int s = RoundHalfAway(i * ratio);
  return s < 0 ? 0 : (s > size - 1 ? size - 1 : s);
}

// Box average: result index i covers source indices first <= s < end, with
// first = rnd(i * ratio) clamped to at most size-1 and end = rnd((i+1) *
// ratio) clamped to at most size. With ratio >= 1 a span holds at least one
// pixel; a larger result than source can give empty spans (end <= first).
struct BoxSpan {
  int first;
  int end;
};

inline BoxSpan BoxSpanFor(int i, double ratio, int size) {
  int first = RoundHalfAway(i * ratio);
  int end = RoundHalfAway((i + 1) * ratio);
  if (first > size - 1) first = size - 1;
  if (end > size) end = size;
  return {first, end};
}

// Bilinear weights of one sample, computed once and shared by the channels:
// x0 = 1 - fx, x1 = fx, y0 = 1 - fy, y1 = fy.
struct BlendWeights {
  double x0, x1, y0, y1;
};

inline BlendWeights WeightsFor(double fx, double fy) { return {1.0 - fx, fx, 1.0 - fy, fy}; }

// One channel of the blend of a pixel c00, its horizontal neighbour c10,
// its vertical neighbour c01 and the diagonal one c11:
// trunc((c00 (1-fx) + c10 fx) (1-fy) + (c01 (1-fx) + c11 fx) fy + 0.5).
inline BYTE BlendChannel(const BlendWeights& w, double c00, double c10, double c01, double c11) {
  return static_cast<BYTE>(
      static_cast<int>((c00 * w.x0 + c10 * w.x1) * w.y0 + (c01 * w.x0 + c11 * w.x1) * w.y1 + 0.5));
}

// The horizontal half of the blend, (c00 (1-fx) + c10 fx), and the vertical
// step that finishes it; blending in two steps gives the same bits as
// BlendChannel, which lets a caller reuse the first step along a row.
inline double BlendAcross(double x0, double x1, double c0, double c1) { return c0 * x0 + c1 * x1; }
inline BYTE BlendDown(double y0, double y1, double top, double bottom) {
  return static_cast<BYTE>(static_cast<int>(top * y0 + bottom * y1 + 0.5));
}

Rgb BlendColours(const BlendWeights& w, Rgb c00, Rgb c10, Rgb c01, Rgb c11);

// Forward bilinear blend on a locked picture from pixel (ix, iy) with the
// weights dx, dy: (ix, iy) is read with GetDibPixel, its right, lower and
// lower-right neighbours with the neighbour readers when they lie inside
// the picture; a neighbour that is not read counts as black, so the caller
// gives it weight 0. Red, green and blue are blended; Alpha is not.
// Palette pictures deliver colours only when the record's UseRgb is set.
Rgb ForwardBilinearAt(DibAccess* source, int ix, int iy, double dx, double dy);

// The same from a position fx, fy >= 0: ix = trunc(fx), dx = fx - ix, and
// likewise for y.
Rgb ForwardBilinear(DibAccess* source, double fx, double fy);

// Sign-directed bilinear blend at (sx, sy), given in coordinates centred on
// the picture: column c has coordinate c + left, row r has r + top. The
// pixel (trunc(sx), trunc(sy)) must lie inside the picture. The horizontal
// neighbour is the right one when sx > 0 and the left one otherwise, the
// vertical one below when sy > 0 and above otherwise, the diagonal one
// combines both; a neighbour outside the picture takes `background`. The
// weights are |sx - trunc(sx)| and |sy - trunc(sy)|.
Rgb SignDirectedBilinear(DibAccess* source, double sx, double sy, int left, int top,
                         Rgb background);

}  // namespace qvx
