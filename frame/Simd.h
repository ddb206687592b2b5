// Wider instructions for the hottest loops.
//
// A loop body written once as an always-inline function is compiled twice:
// for the baseline processor and, on x86 with GCC or Clang, for AVX2, and
// the AVX2 copy runs when the processor has it. The arithmetic is the same
// IEEE double operations in the same order either way (contraction into
// fused multiply-adds stays off), so both copies give the same bits.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// QVX_BASELINE_ONLY builds only the baseline copies (the sanitizer build
// does, so that the tests run them on processors that have AVX2).
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && !defined(QVX_BASELINE_ONLY)
#define QVX_AVX2_COPY 1
#define QVX_TARGET_AVX2 [[gnu::target("avx2")]]
#else
#define QVX_AVX2_COPY 0
#define QVX_TARGET_AVX2
#endif
#define QVX_LOOP_BODY [[gnu::always_inline]] inline

// Lane types cross no function boundary that is not inlined, so the
// difference between the baseline and AVX2 ways of passing them does not
// arise.
#if defined(__GNUC__)  // GCC and Clang
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace qvx {

namespace simd_detail {
inline bool ProcessorHasAvx2() {
#if QVX_AVX2_COPY
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}
// QVX_BASELINE=1 in the environment makes an AVX2 build run its baseline
// copies, so that one test run (or benchmark) can check (or time) both.
inline std::atomic<bool> baselineOnly{std::getenv("QVX_BASELINE") != nullptr &&
                                      std::getenv("QVX_BASELINE")[0] == '1'};
}  // namespace simd_detail

// Whether the AVX2 copies run: the processor has AVX2 and the baseline copy
// is not forced.
inline bool HasAvx2() {
  static const bool has = simd_detail::ProcessorHasAvx2();
  return has && !simd_detail::baselineOnly.load(std::memory_order_relaxed);
}

// Forces the baseline copies (true) or lets the processor choose (false),
// for tests and benchmarks; returns the previous setting.
inline bool ForceBaseline(bool on) { return simd_detail::baselineOnly.exchange(on); }

// Hot loops are written once as an always-inline body and run through
// Vectorised<Body>(...), which calls the copy compiled for AVX2 when
// HasAvx2() and the baseline copy otherwise.
namespace simd_detail {
template <auto Body, class... Args>
void RunBase(Args... args) {
  Body(args...);
}
template <auto Body, class... Args>
QVX_TARGET_AVX2 void RunAvx2(Args... args) {
  Body(args...);
}
}  // namespace simd_detail

template <auto Body, class... Args>
void Vectorised(Args... args) {
  (HasAvx2() ? simd_detail::RunAvx2<Body, Args...> : simd_detail::RunBase<Body, Args...>)(args...);
}

// Lane types. The operators work lane by lane.
using Byte16 = std::uint8_t __attribute__((vector_size(16)));
using Byte32 = std::uint8_t __attribute__((vector_size(32)));
using Word8 = std::uint16_t __attribute__((vector_size(16)));
using Word16 = std::uint16_t __attribute__((vector_size(32)));
using Short16 = std::int16_t __attribute__((vector_size(32)));
using Lanes8 = std::uint32_t __attribute__((vector_size(32)));
using Int4 = std::int32_t __attribute__((vector_size(16)));
using Unsigned4 = std::uint32_t __attribute__((vector_size(16)));
using Long4 = std::int64_t __attribute__((vector_size(32)));
using Int8 = std::int32_t __attribute__((vector_size(32)));
using Float4 = float __attribute__((vector_size(16)));
using Float8 = float __attribute__((vector_size(32)));
using Double4 = double __attribute__((vector_size(32)));

// Lanes picked by constant indices: Shuffle<I...>(v) gives v[I]...;
// Shuffle<I...>(a, b) picks from a (indices below the lane count) and b
// (the lane count and above).
template <int... I, class V>
QVX_LOOP_BODY V Shuffle(V a, V b) {
#if defined(__clang__)
  return __builtin_shufflevector(a, b, I...);
#else
  // Integer lanes of the lanes' width (a comparison's result), so that
  // floating lanes can be picked too.
  using Index = decltype(a < a);
  return __builtin_shuffle(a, b, Index{I...});
#endif
}
template <int... I, class V>
QVX_LOOP_BODY V Shuffle(V v) {
  return Shuffle<I...>(v, v);
}

// Square roots of four lanes, each exactly std::sqrt of its lane.
QVX_LOOP_BODY Double4 SqrtLanes(Double4 v) {
#if defined(__SSE2__)
  using Double2 = double __attribute__((vector_size(16)));
  const Double2 low = __builtin_ia32_sqrtpd(Double2{v[0], v[1]});
  const Double2 high = __builtin_ia32_sqrtpd(Double2{v[2], v[3]});
  return Double4{low[0], low[1], high[0], high[1]};
#else
  return Double4{__builtin_sqrt(v[0]), __builtin_sqrt(v[1]), __builtin_sqrt(v[2]),
                 __builtin_sqrt(v[3])};
#endif
}

// Byte values as doubles: a load is cheaper than a conversion here.
struct ByteDoubles {
  double value[256];
  constexpr ByteDoubles() : value() {
    for (int i = 0; i < 256; ++i) value[i] = i;
  }
};
inline constexpr ByteDoubles kByteDoubles;

// Lanes of three bytes (the fourth lane 0).
QVX_LOOP_BODY Double4 LanesOfBytes(const unsigned char* p) {
  const double* v = kByteDoubles.value;
  return Double4{v[p[0]], v[p[1]], v[p[2]], 0};
}

// The low bytes of four lanes, lane 0 lowest.
QVX_LOOP_BODY unsigned PackLanes(Int4 v) {
  const Byte16 low =
      Shuffle<0, 4, 8, 12, 0, 4, 8, 12, 0, 4, 8, 12, 0, 4, 8, 12>(reinterpret_cast<Byte16>(v));
  return reinterpret_cast<Int4>(low)[0];
}

// Four integers as doubles. Written lane by lane, which GCC turns into one
// conversion where __builtin_convertvector makes four instructions.
QVX_LOOP_BODY Double4 DoubleLanes(Int4 v) {
  return Double4{static_cast<double>(v[0]), static_cast<double>(v[1]), static_cast<double>(v[2]),
                 static_cast<double>(v[3])};
}

// Eight bytes from p in the low half of a vector, the high half 0 (built
// in a register: a wider load of a vector just stored in eight bytes would
// stall).
QVX_LOOP_BODY Byte16 LoadEightBytes(const void* p) {
  using Long2 = std::int64_t __attribute__((vector_size(16)));
  std::int64_t v;
  std::memcpy(&v, p, 8);
  return reinterpret_cast<Byte16>(Long2{v, 0});
}

// Bytes kFirst..kFirst+3 of `v` as double lanes: one byte shuffle and one
// conversion instead of a load per byte.
template <int kFirst>
QVX_LOOP_BODY Double4 ByteLanes(Byte16 v) {
  constexpr int z = 16;  // a byte of the zero vector
  const Byte16 words =
      Shuffle<kFirst, z, z, z, kFirst + 1, z, z, z, kFirst + 2, z, z, z, kFirst + 3, z, z, z>(
          v, Byte16{});
  return DoubleLanes(reinterpret_cast<Int4>(words));
}

// Channel c (0 blue, 1 green, 2 red) of four Bgra colours (the words
// of `v`), as doubles.
QVX_LOOP_BODY Double4 ChannelLanes(Int4 v, int c) { return DoubleLanes((v >> (8 * c)) & 255); }

// Each lane rounded half away from zero (RoundHalfAway of PixelFormat.h)
// and truncated, for lanes whose results lie within 32 bits.
QVX_LOOP_BODY Int4 RoundLanes(Double4 v) {
  const Double4 half = v < 0 ? Double4{} - 0.5 : Double4{} + 0.5;
  return __builtin_convertvector(v + half, Int4);
}

// The absolute value of each lane, exactly std::fabs (the sign bit cleared).
QVX_LOOP_BODY Double4 AbsLanes(Double4 v) {
  return reinterpret_cast<Double4>(reinterpret_cast<Long4>(v) & INT64_MAX);
}

// Whether every lane (none of the lanes) of a comparison's result is true;
// the lanes are all ones or all zeros.
template <class Mask>
QVX_LOOP_BODY bool AllLanes(Mask m) {
  std::uint64_t words[sizeof(Mask) / 8];
  std::memcpy(words, &m, sizeof(Mask));
  std::uint64_t all = ~std::uint64_t{0};
  for (std::uint64_t w : words) all &= w;
  return all == ~std::uint64_t{0};
}
template <class Mask>
QVX_LOOP_BODY bool NoLanes(Mask m) {
#if defined(__SSE2__)
  if constexpr (sizeof(Mask) == 32) {
    // The two halves folded into one, then its bytes' top bits.
    const Int8 lanes = reinterpret_cast<Int8>(m);
    const Int4 either = __builtin_shufflevector(lanes, lanes, 0, 1, 2, 3) |
                        __builtin_shufflevector(lanes, lanes, 4, 5, 6, 7);
    using Char16 = char __attribute__((vector_size(16)));
    return __builtin_ia32_pmovmskb128(reinterpret_cast<Char16>(either)) == 0;
  }
#endif
  std::uint64_t words[sizeof(Mask) / 8];
  std::memcpy(words, &m, sizeof(Mask));
  std::uint64_t any = 0;
  for (std::uint64_t w : words) any |= w;
  return any == 0;
}

// Bit k set where lane k of `m` has its top bit set (a comparison's
// result: where it is true).
QVX_LOOP_BODY unsigned LaneBits(Int8 m) {
#if defined(__SSE__)
  const Int4 low = __builtin_shufflevector(m, m, 0, 1, 2, 3);
  const Int4 high = __builtin_shufflevector(m, m, 4, 5, 6, 7);
  return static_cast<unsigned>(__builtin_ia32_movmskps(reinterpret_cast<Float4>(low)) |
                               __builtin_ia32_movmskps(reinterpret_cast<Float4>(high)) << 4);
#else
  unsigned bits = 0;
  for (int k = 0; k < 8; ++k) bits |= static_cast<unsigned>(m[k] < 0) << k;
  return bits;
#endif
}

// The four-byte words at at[0..3] (first) and the words after them
// (second), each pair one eight-byte load, the lanes built in registers.
QVX_LOOP_BODY void GatherPairsAt(const void* const at[4], Int4& first, Int4& second) {
  using Long2 = std::int64_t __attribute__((vector_size(16)));
  std::int64_t pair[4];
  for (int j = 0; j < 4; ++j) std::memcpy(&pair[j], at[j], 8);
  const Int4 low = reinterpret_cast<Int4>(Long2{pair[0], pair[1]});
  const Int4 high = reinterpret_cast<Int4>(Long2{pair[2], pair[3]});
  first = Shuffle<0, 2, 4, 6>(low, high);
  second = Shuffle<1, 3, 5, 7>(low, high);
}

// The four-byte words at indices i[0..3] of `words` (first) and at the
// indices one higher (second).
QVX_LOOP_BODY void GatherWordPairs(const void* words, Int4 i, Int4& first, Int4& second) {
  const auto* bytes = static_cast<const unsigned char*>(words);
  const void* at[4];
  for (int j = 0; j < 4; ++j) at[j] = bytes + 4 * static_cast<std::ptrdiff_t>(i[j]);
  GatherPairsAt(at, first, second);
}

// Bit i set where byte i of `v` (all ones or zeros) is set.
QVX_LOOP_BODY unsigned ByteMaskBits(Byte16 v) {
#if defined(__SSE2__)
  using Char16 = char __attribute__((vector_size(16)));
  return static_cast<unsigned>(__builtin_ia32_pmovmskb128(reinterpret_cast<Char16>(v)));
#else
  unsigned bits = 0;
  for (int i = 0; i < 16; ++i) bits |= static_cast<unsigned>(v[i] & 1) << i;
  return bits;
#endif
}

// Each lane clamped to 0..255.
QVX_LOOP_BODY Int4 ClampLanes(Int4 v) { return v < 0 ? Int4{} : (v > 255 ? Int4{} + 255 : v); }

// The bilinear blend of Sampling.h (BlendChannel) on four lanes at once:
// the same operations in the same order in every lane, truncated. The
// weights are one double for all lanes (the channels of one pixel), or a
// Double4 with each lane's own (one channel of four pixels).
template <class Weight>
QVX_LOOP_BODY Int4 BlendLanes(Weight x0, Weight x1, Weight y0, Weight y1, Double4 c00, Double4 c10,
                              Double4 c01, Double4 c11) {
  return __builtin_convertvector((c00 * x0 + c10 * x1) * y0 + (c01 * x0 + c11 * x1) * y1 + 0.5,
                                 Int4);
}

}  // namespace qvx
