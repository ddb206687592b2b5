// Convolution with a kernel of up to 9 x 9 integer weights: the arithmetic
// shared by the custom filter and the emboss.
//
// For each pixel and each colour channel, every non-zero weight (a tap,
// visited row by row from the top, left to right) times the channel of the
// source pixel at the tap's offset is added into a signed 32-bit sum
// (wrapping as 32-bit arithmetic does); neighbour coordinates are clamped
// into the picture, not the work rectangle. The channel is then
// sum / divisor (truncated toward zero) + bias, clamped to 0..255.
#pragma once

#include <cstdint>

#include "filters/FilterFrame.h"

namespace qvx {

struct ConvolutionTap {
  int dx, dy;
  std::uint32_t weight;  // the signed weight's bits: products wrap as 32-bit ones
};

class Convolution {
 public:
  static constexpr int kSize = 9;  // kernel side; offsets -4..4

  // The taps of weights[9 * ky + kx] (offset kx - 4, ky - 4), divisor 1..255
  // and bias 0..255.
  void SetKernel(const std::int32_t* weights, int divisor, int bias);

  // Source rows and sums for the job; false with error 3.
  bool Prepare(FilterJob& job);

  // All four lanes of pixels x0..x1 of row y into out[x - rect.left].
  void Run(FilterJob& job, int y, int x0, int x1, Bgra* out);

  using SmallKernelRun = void (*)(BYTE*, const std::uint16_t* const*, const std::uint16_t*, int,
                                  int, int);

 private:
  // Pixels summed at a time, so that the sums stay in the cache. Measured
  // under load on 4000 x 3000 24-bit pictures (Mpx/s, custom 3 x 3 / custom
  // 9 x 9 / emboss): 256: 554 / 111 / 668; 512: 618 / 120 / 705; 1024:
  // 606 / 125 / 723. 512 and 1024 are level within the noise.
  static constexpr int kChunk = 512;
  ConvolutionTap taps_[kSize * kSize];
  std::uint32_t weights_[kSize * kSize];
  std::uint16_t narrowWeights_[kSize * kSize];
  int count_ = 0;
  bool narrow_ = false;             // the sums fit 16-bit lanes from low_ up
  SmallKernelRun small_ = nullptr;  // sums and finish in signed 16-bit lanes
  int low_ = 0;
  int reach_ = 0;  // the largest offset of a tap
  int divisor_ = 1;
  float inverse_ = 1.0f;
  int bias_ = 0;
  WorkBlock sums_;
  // Source rows widened to 16-bit lanes.
  const std::uint16_t* WordRow(FilterJob& job, int y);
  DerivedRows<std::uint16_t> words_;
};

}  // namespace qvx
