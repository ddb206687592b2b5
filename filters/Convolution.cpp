#include "filters/Convolution.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace qvx {
namespace {

QVX_LOOP_BODY Word16 WordsAt(const std::uint16_t* p) {
  Word16 w;
  std::memcpy(&w, p, 32);
  return w;
}

QVX_LOOP_BODY void WidenRow(std::uint16_t* words, const BYTE* bytes, int lanes) {
  for (int k = 0; k < lanes; ++k) words[k] = bytes[k];
}

QVX_LOOP_BODY Lanes8 LowLanes(Word16 w) {
  return __builtin_convertvector(Word8{w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]}, Lanes8);
}
QVX_LOOP_BODY Lanes8 HighLanes(Word16 w) {
  return __builtin_convertvector(Word8{w[8], w[9], w[10], w[11], w[12], w[13], w[14], w[15]},
                                 Lanes8);
}

// The sums of all taps, 16 lanes at a time in registers, in 32-bit lanes
// that wrap as the sums do.
QVX_LOOP_BODY void SumTaps(std::uint32_t* sums, const std::uint16_t* const* sources,
                           const std::uint32_t* weights, int taps, int lanes) {
  int k = 0;
  for (; k + 16 <= lanes; k += 16) {
    Lanes8 low{}, high{};
    for (int t = 0; t < taps; ++t) {
      const Word16 v = WordsAt(sources[t] + k);
      low += LowLanes(v) * weights[t];
      high += HighLanes(v) * weights[t];
    }
    std::memcpy(sums + k, &low, 32);
    std::memcpy(sums + k + 8, &high, 32);
  }
  for (; k < lanes; ++k) {
    std::uint32_t sum = 0;
    for (int t = 0; t < taps; ++t) sum += weights[t] * sources[t][k];
    sums[k] = sum;
  }
}

// The same in 16-bit lanes, for kernels whose sums span fewer than 65536
// values from `low` up: the wrapped 16-bit sum, less `low`, is the exact
// distance from `low`. Taps = 0 means `taps` taps; a fixed count lets the
// compiler keep the weights in registers.
template <int Taps>
QVX_LOOP_BODY void SumTapsNarrow(std::uint32_t* sums, const std::uint16_t* const* sources,
                                 const std::uint16_t* weights, int taps, int lanes, int low) {
  if constexpr (Taps > 0) taps = Taps;
  const auto base = static_cast<std::uint16_t>(low);
  const auto store = [&](int at, Word16 sum) {
    sum -= base;
    const Lanes8 a = LowLanes(sum) + static_cast<std::uint32_t>(low);
    const Lanes8 b = HighLanes(sum) + static_cast<std::uint32_t>(low);
    std::memcpy(sums + at, &a, 32);
    std::memcpy(sums + at + 8, &b, 32);
  };
  int k = 0;
  // Four vectors per weight loaded, then one at a time.
  for (; k + 64 <= lanes; k += 64) {
    Word16 s0{}, s1{}, s2{}, s3{};
    for (int t = 0; t < taps; ++t) {
      const std::uint16_t* p = sources[t] + k;
      const std::uint16_t w = weights[t];
      s0 += WordsAt(p) * w;
      s1 += WordsAt(p + 16) * w;
      s2 += WordsAt(p + 32) * w;
      s3 += WordsAt(p + 48) * w;
    }
    store(k, s0);
    store(k + 16, s1);
    store(k + 32, s2);
    store(k + 48, s3);
  }
  for (; k + 16 <= lanes; k += 16) {
    Word16 sum{};
    for (int t = 0; t < taps; ++t) sum += WordsAt(sources[t] + k) * weights[t];
    store(k, sum);
  }
  for (; k < lanes; ++k) {
    std::uint16_t sum = 0;
    for (int t = 0; t < taps; ++t)
      sum = static_cast<std::uint16_t>(sum + weights[t] * sources[t][k]);
    sums[k] = static_cast<std::uint16_t>(sum - base) + static_cast<std::uint32_t>(low);
  }
}

using NarrowSums = void (*)(std::uint32_t*, const std::uint16_t* const*, const std::uint16_t*, int,
                            int, int);

// Small kernels (an emboss, a 3 x 3 field) get a copy for their count:
// NarrowSumsFor(taps) picks entry taps of a table of copies for 0..9 taps,
// 0 meaning any count.
template <int... Taps>
NarrowSums NarrowSumsFrom(std::integer_sequence<int, Taps...>, int taps) {
  static constexpr NarrowSums kCopies[] = {
      &Vectorised<SumTapsNarrow<Taps>, std::uint32_t*, const std::uint16_t* const*,
                  const std::uint16_t*, int, int, int>...};
  return kCopies[taps <= 9 ? taps : 0];
}
NarrowSums NarrowSumsFor(int taps) {
  return NarrowSumsFrom(std::make_integer_sequence<int, 10>{}, taps);
}

// Sums that fit signed 16-bit lanes, with a divisor known at compile time
// (the emboss's 1..5): the quotient, bias and clamp are worked out in the
// same lanes and the bytes stored at once. Division by a constant truncates
// toward zero as integer division does.
template <int Taps, int Divisor>
QVX_LOOP_BODY void SmallKernel(BYTE* out, const std::uint16_t* const* sources,
                               const std::uint16_t* weights, int taps, int lanes, int bias) {
  if constexpr (Taps > 0) taps = Taps;
  const auto finish = [bias](Short16 sum) {
    Short16 v = sum / static_cast<std::int16_t>(Divisor);
    v = v < 256 ? v : 256;
    v += static_cast<std::int16_t>(bias);
    v = v < 0 ? 0 : (v > 255 ? 255 : v);
    return __builtin_convertvector(v, Byte16);
  };
  int k = 0;
  for (; k + 32 <= lanes; k += 32) {
    Word16 s0{}, s1{};
    for (int t = 0; t < taps; ++t) {
      s0 += WordsAt(sources[t] + k) * weights[t];
      s1 += WordsAt(sources[t] + k + 16) * weights[t];
    }
    const Byte16 a = finish(reinterpret_cast<Short16>(s0));
    const Byte16 b = finish(reinterpret_cast<Short16>(s1));
    std::memcpy(out + k, &a, 16);
    std::memcpy(out + k + 16, &b, 16);
  }
  for (; k < lanes; ++k) {
    std::uint16_t sum = 0;
    for (int t = 0; t < taps; ++t)
      sum = static_cast<std::uint16_t>(sum + weights[t] * sources[t][k]);
    int v = static_cast<std::int16_t>(sum) / Divisor;
    v = (v < 256 ? v : 256) + bias;
    out[k] = static_cast<BYTE>(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
}

// The copy for divisor 1..5 (entry divisor - 1).
template <int Taps, int... Divisors>
Convolution::SmallKernelRun SmallKernelFrom(std::integer_sequence<int, Divisors...>, int divisor) {
  static constexpr Convolution::SmallKernelRun kCopies[] = {
      &Vectorised<SmallKernel<Taps, Divisors + 1>, BYTE*, const std::uint16_t* const*,
                  const std::uint16_t*, int, int, int>...};
  return kCopies[divisor - 1];
}
template <int Taps>
Convolution::SmallKernelRun SmallKernelOf(int divisor) {
  return SmallKernelFrom<Taps>(std::make_integer_sequence<int, 5>{}, divisor);
}

// sum / divisor truncated toward zero, plus bias, clamped. Sums beyond
// 256 divisors give 0 or 255 whatever the bias, so they are limited first;
// the quotient of the magnitude is estimated in single precision (off by
// less than 256 * 2^-23) and put right by its remainder.
QVX_LOOP_BODY void FinishSums(BYTE* out, const std::uint32_t* sums, int lanes, int divisor,
                              float inverse, int bias) {
  const int limit = 256 * divisor;
  for (int k = 0; k < lanes; ++k) {
    int sum = static_cast<std::int32_t>(sums[k]);
    sum = sum < -limit ? -limit : (sum > limit ? limit : sum);
    const int magnitude = sum < 0 ? -sum : sum;
    int q = static_cast<int>(static_cast<float>(magnitude) * inverse);
    const int remainder = magnitude - q * divisor;
    q += (remainder >= divisor ? 1 : 0) - (remainder < 0 ? 1 : 0);
    const int value = (sum < 0 ? -q : q) + bias;
    out[k] = static_cast<BYTE>(value < 0 ? 0 : (value > 255 ? 255 : value));
  }
}

// Divisor 1: the sum plus bias, clamped.
QVX_LOOP_BODY void FinishWholeSums(BYTE* out, const std::uint32_t* sums, int lanes, int bias) {
  for (int k = 0; k < lanes; ++k) {
    int sum = static_cast<std::int32_t>(sums[k]);
    sum = sum < -256 ? -256 : (sum > 256 ? 256 : sum);
    const int value = sum + bias;
    out[k] = static_cast<BYTE>(value < 0 ? 0 : (value > 255 ? 255 : value));
  }
}

}  // namespace

void Convolution::SetKernel(const std::int32_t* weights, int divisor, int bias) {
  count_ = 0;
  reach_ = 0;
  std::int64_t positive = 0, negative = 0;
  for (int ky = 0; ky < kSize; ++ky)
    for (int kx = 0; kx < kSize; ++kx) {
      const std::int32_t w = weights[kSize * ky + kx];
      if (w == 0) continue;
      taps_[count_] = {kx - 4, ky - 4, static_cast<std::uint32_t>(w)};
      narrowWeights_[count_++] = static_cast<std::uint16_t>(w);
      reach_ = std::max({reach_, std::abs(kx - 4), std::abs(ky - 4)});
      (w > 0 ? positive : negative) += std::abs(std::int64_t{w});
    }
  narrow_ = 255 * (positive + negative) < 65536;
  // Small divisors and sums within signed 16 bits: the fused path, with a
  // copy for the emboss's six taps and for full 3 x 3 fields.
  small_ = nullptr;
  if (255 * positive <= 32767 && 255 * negative <= 32768 && divisor <= 5)
    small_ = count_ == 6   ? SmallKernelOf<6>(divisor)
             : count_ == 9 ? SmallKernelOf<9>(divisor)
                           : SmallKernelOf<0>(divisor);
  low_ = -255 * static_cast<int>(narrow_ ? negative : 0);
  for (int t = 0; t < count_; ++t) weights_[t] = taps_[t].weight;
  divisor_ = divisor;
  inverse_ = 1.0f / static_cast<float>(divisor);
  bias_ = bias;
}

bool Convolution::Prepare(FilterJob& job) {
  const int slots = 2 * reach_ + 1;
  return job.rows.Allocate(slots, reach_) && sums_.Allocate(sizeof(std::uint32_t) * 4 * kChunk) &&
         words_.Allocate(slots, reach_, job.Columns(), 4, job.height);
}

const std::uint16_t* Convolution::WordRow(FilterJob& job, int y) {
  return words_.Row(job.rows, y, [](std::uint16_t* words, const Bgra* row, int count) {
    Vectorised<WidenRow>(words, reinterpret_cast<const BYTE*>(row), 4 * count);
  });
}

void Convolution::Run(FilterJob& job, int y, int x0, int x1, Bgra* out) {
  std::uint32_t* sums = sums_.As<std::uint32_t>();
  const std::uint16_t* sources[kSize * kSize];
  for (int from = x0 - job.rect.left, to = x1 - job.rect.left; from <= to; from += kChunk) {
    const int lanes = 4 * std::min(kChunk, to - from + 1);
    for (int t = 0; t < count_; ++t)
      sources[t] = WordRow(job, y + taps_[t].dy) + 4 * (from + taps_[t].dx);
    if (small_) {
      small_(reinterpret_cast<BYTE*>(out + from), sources, narrowWeights_, count_, lanes, bias_);
      continue;
    }
    if (narrow_)
      NarrowSumsFor(count_)(sums, sources, narrowWeights_, count_, lanes, low_);
    else
      Vectorised<SumTaps>(sums, static_cast<const std::uint16_t* const*>(sources),
                          static_cast<const std::uint32_t*>(weights_), count_, lanes);
    BYTE* bytes = reinterpret_cast<BYTE*>(out + from);
    if (divisor_ == 1)
      Vectorised<FinishWholeSums>(bytes, static_cast<const std::uint32_t*>(sums), lanes, bias_);
    else
      Vectorised<FinishSums>(bytes, static_cast<const std::uint32_t*>(sums), lanes, divisor_,
                             inverse_, bias_);
  }
}

}  // namespace qvx
