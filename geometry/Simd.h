// Wider instructions for the hottest loops (private to geometry/).
//
// A loop body written once as an always-inline function is compiled twice:
// for the baseline processor and, on x86 with GCC or Clang, for AVX2, and
// the AVX2 copy runs when the processor has it. The arithmetic is the same
// IEEE double operations in the same order either way (contraction into
// fused multiply-adds stays off), so both copies give the same bits.
#pragma once

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define QVX_AVX2_COPY 1
#define QVX_TARGET_AVX2 [[gnu::target("avx2")]]
#else
#define QVX_AVX2_COPY 0
#define QVX_TARGET_AVX2
#endif
#define QVX_LOOP_BODY [[gnu::always_inline]] inline

namespace qvx {

inline bool HasAvx2() {
#if QVX_AVX2_COPY
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

// Four doubles side by side; the operators work lane by lane.
using Double4 = double __attribute__((vector_size(32)));

}  // namespace qvx
