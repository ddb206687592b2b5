#include "filters/Convolution.h"

#include <cstdlib>

namespace qvx {
namespace {

// Adds (or, for the first tap, sets) one tap's products into the sums.
QVX_LOOP_BODY void AddTap(std::uint32_t* sums, const BYTE* source, std::uint32_t weight, int lanes,
                          bool first) {
  if (first)
    for (int k = 0; k < lanes; ++k) sums[k] = weight * source[k];
  else
    for (int k = 0; k < lanes; ++k) sums[k] += weight * source[k];
}

// sum / divisor truncated toward zero, as sum * (1 / divisor) nudged 2^-19
// away from zero: a quotient that is not an integer lies at least 1/255
// from one, and the product misses the exact quotient by less than
// 2^31 * 2^-52 = 2^-21, so the nudge lands exact quotients on the right
// side of their integer and moves no other across one. Then bias, clamp.
QVX_LOOP_BODY void FinishSums(BYTE* out, const std::uint32_t* sums, int lanes, double inverse,
                              int bias) {
  constexpr double kNudge = 1.0 / (1 << 19);
  for (int k = 0; k < lanes; ++k) {
    const auto sum = static_cast<std::int32_t>(sums[k]);
    double q = sum * inverse + (sum < 0 ? -kNudge : kNudge);
    q = q < -256.0 ? -256.0 : (q > 256.0 ? 256.0 : q);
    const int value = static_cast<int>(q) + bias;
    out[k] = static_cast<BYTE>(value < 0 ? 0 : (value > 255 ? 255 : value));
  }
}

}  // namespace

void Convolution::SetKernel(const std::int32_t* weights, int divisor, int bias) {
  count_ = 0;
  reach_ = 0;
  for (int ky = 0; ky < kSize; ++ky)
    for (int kx = 0; kx < kSize; ++kx) {
      const std::int32_t w = weights[kSize * ky + kx];
      if (w == 0) continue;
      taps_[count_++] = {kx - 4, ky - 4, static_cast<std::uint32_t>(w)};
      reach_ = std::max({reach_, std::abs(kx - 4), std::abs(ky - 4)});
    }
  inverse_ = 1.0 / divisor;
  bias_ = bias;
}

bool Convolution::Prepare(FilterJob& job) {
  return job.rows.Allocate(2 * reach_ + 1, reach_) &&
         sums_.Allocate(sizeof(std::uint32_t) * 4 * kChunk);
}

void Convolution::Run(FilterJob& job, int y, int x0, int x1, Bgrx* out) {
  std::uint32_t* sums = sums_.As<std::uint32_t>();
  for (int from = x0 - job.rect.left, to = x1 - job.rect.left; from <= to; from += kChunk) {
    const int lanes = 4 * std::min(kChunk, to - from + 1);
    if (count_ == 0) std::fill(sums, sums + lanes, 0u);
    for (int t = 0; t < count_; ++t) {
      const ConvolutionTap& tap = taps_[t];
      const auto* source = reinterpret_cast<const BYTE*>(job.rows.Row(y + tap.dy) + from + tap.dx);
      Vectorised<AddTap>(sums, source, tap.weight, lanes, t == 0);
    }
    Vectorised<FinishSums>(reinterpret_cast<BYTE*>(out + from),
                           static_cast<const std::uint32_t*>(sums), lanes, inverse_, bias_);
  }
}

}  // namespace qvx
