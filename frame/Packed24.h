// Runs of packed 24-bit pixels (blue, green, red) to and from four-byte
// pixels (blue, green, red, a fourth byte), four pixels per 16-byte move.
//
// A 16-byte move covers five and a third pixels, so the wide steps run
// while six pixels remain and never touch a byte beyond the run; the last
// pixels go one by one.
#pragma once

#include <cstdint>
#include <cstring>

#include "frame/Simd.h"

namespace qvx {

// Unpacks `count` pixels from p into out, four bytes each, the fourth byte
// of each `fourth`.
QVX_LOOP_BODY void Unpack24WithFourth(const unsigned char* p, int count, unsigned char* out,
                                      unsigned char fourth) {
  const Byte16 fourths = reinterpret_cast<Byte16>(Int4{} + static_cast<std::int32_t>(
                                                              std::uint32_t{fourth} << 24));
  int i = 0;
  for (; i + 6 <= count; i += 4) {
    Byte16 v;
    std::memcpy(&v, p + 3 * i, 16);
    v = Shuffle<0, 1, 2, 16, 3, 4, 5, 16, 6, 7, 8, 16, 9, 10, 11, 16>(v, Byte16{}) | fourths;
    std::memcpy(out + 4 * i, &v, 16);
  }
  for (; i < count; ++i) {
    std::memcpy(out + 4 * i, p + 3 * i, 3);
    out[4 * i + 3] = fourth;
  }
}

// Unpacks `count` pixels from p into out, four bytes each. The fourth byte
// is 0 when kZeroFourth; otherwise it is left undefined (the next pixel's
// blue, or 1).
template <bool kZeroFourth>
QVX_LOOP_BODY void Unpack24(const unsigned char* p, int count, unsigned char* out) {
  if constexpr (kZeroFourth) {
    Unpack24WithFourth(p, count, out, 0);
  } else {
    int i = 0;
    for (; i + 6 <= count; i += 4) {
      Byte16 v;
      std::memcpy(&v, p + 3 * i, 16);
      v = Shuffle<0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9, 10, 11, 12>(v);
      std::memcpy(out + 4 * i, &v, 16);
    }
    for (; i < count; ++i) {
      std::memcpy(out + 4 * i, p + 3 * i, 3);
      out[4 * i + 3] = 1;
    }
  }
}

// Four unpacked pixels packed into the first 12 bytes of a 16-byte move
// whose last four bytes are `after`'s (what the destination held there).
QVX_LOOP_BODY Byte16 Pack24Lanes(Byte16 pixels, Byte16 after) {
  return Shuffle<0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 28, 29, 30, 31>(pixels, after);
}

// Packs `count` four-byte pixels from in into p, dropping the fourth bytes.
// The wide steps write the four bytes after their twelve too; the next
// step overwrites them.
QVX_LOOP_BODY void Pack24(unsigned char* p, int count, const unsigned char* in) {
  int i = 0;
  for (; i + 6 <= count; i += 4) {
    Byte16 v;
    std::memcpy(&v, in + 4 * i, 16);
    v = Pack24Lanes(v, v);
    std::memcpy(p + 3 * i, &v, 16);
  }
  for (; i < count; ++i) std::memcpy(p + 3 * i, in + 4 * i, 3);
}

}  // namespace qvx
