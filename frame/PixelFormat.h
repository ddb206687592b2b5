// Formulas shared by every pixel path: 16-bit channel expansion and
// reduction, the grey mix, and the library's rounding.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

#include "platform/WinTypes.h"

namespace qvx {

// Conversion toward zero as the processor makes it: NaN and values outside
// the int range give INT_MIN instead of undefined behaviour.
inline int TruncToInt(double value) {
  if (value > -2147483649.0 && value < 2147483648.0) return static_cast<int>(value);
  return INT32_MIN;
}

// Half away from zero, then toward zero: the library's "rounded", for any
// double.
inline int RoundHalfAway(double value) { return TruncToInt(value + std::copysign(0.5, value)); }

[[gnu::always_inline]] inline BYTE ClampByte(int value) {
  return static_cast<BYTE>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// 16-bit words keep 5 (or 6 for the green of 5-6-5) bits per channel. Reads
// widen with trunc(v * 255/31 + 0.5), writes narrow with
// trunc(c * 31 * (1/255) + 0.5), both in doubles; the tables hold exactly
// those values.
struct Channel16Tables {
  std::array<BYTE, 32> expand5;
  std::array<BYTE, 64> expand6;
  std::array<BYTE, 256> reduce5;
  std::array<BYTE, 256> reduce6;
};

constexpr Channel16Tables MakeChannel16Tables() {
  Channel16Tables t{};
  for (int v = 0; v < 32; ++v) t.expand5[v] = static_cast<BYTE>(v * 8.225806451612902 + 0.5);
  for (int v = 0; v < 64; ++v) t.expand6[v] = static_cast<BYTE>(v * 4.0476190476190474 + 0.5);
  for (int c = 0; c < 256; ++c) {
    t.reduce5[c] = static_cast<BYTE>(static_cast<double>(c * 31) * 0.00392156862745098 + 0.5);
    t.reduce6[c] = static_cast<BYTE>(static_cast<double>(c * 63) * 0.00392156862745098 + 0.5);
  }
  return t;
}

inline constexpr Channel16Tables kChannel16 = MakeChannel16Tables();

struct Rgb {
  BYTE red;
  BYTE green;
  BYTE blue;
};

// A colour in the byte order of a 32-bit pixel. The fourth byte is the alpha
// of a 32-bit pixel (0 for other depths). In source rows decoded for a
// filter it is undefined, and filters that skip pixels use it in their
// results as a written flag (0: not written).
struct Bgra {
  BYTE blue;
  BYTE green;
  BYTE red;
  BYTE alpha;
  bool operator==(const Bgra&) const = default;
};
static_assert(sizeof(Bgra) == 4);

// A 5-5-5 picture is recognised by its red mask; every other 16-bit
// picture is 5-6-5.
constexpr std::uint16_t kRedMask555 = 0x7C00;

inline Rgb Expand16(std::uint16_t word, bool is555) {
  if (is555)
    return {kChannel16.expand5[(word >> 10) & 31], kChannel16.expand5[(word >> 5) & 31],
            kChannel16.expand5[word & 31]};
  return {kChannel16.expand5[(word >> 11) & 31], kChannel16.expand6[(word >> 5) & 63],
          kChannel16.expand5[word & 31]};
}

inline std::uint16_t Reduce16(BYTE red, BYTE green, BYTE blue, bool is555) {
  if (is555)
    return static_cast<std::uint16_t>((kChannel16.reduce5[red] << 10) |
                                      (kChannel16.reduce5[green] << 5) | kChannel16.reduce5[blue]);
  return static_cast<std::uint16_t>((kChannel16.reduce5[red] << 11) |
                                    (kChannel16.reduce6[green] << 5) | kChannel16.reduce5[blue]);
}

// The grey level of a colour: (0.587 G + 0.299 R) + 0.114 B, products added
// in that order, rounded.
inline BYTE GreyMix(double red, double green, double blue) {
  return static_cast<BYTE>(static_cast<int>(0.587 * green + 0.299 * red + 0.114 * blue + 0.5));
}

// Grey index of a colour as the geometric effects store it in 8-bit
// grey-ramp pictures: rnd(0.299 red + 0.587 green + 0.114 blue).
inline BYTE GreyIndex(double red, double green, double blue) {
  return static_cast<BYTE>(RoundHalfAway(0.299 * red + 0.587 * green + 0.114 * blue));
}

}  // namespace qvx
