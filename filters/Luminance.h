// Source luminances of the filters that look at brightness (outline,
// sharpening, noise removal): floor(T_R[red] + T_G[green] + T_B[blue]) with
// the luminance weight tables, 0..255, worked out once per source row; and
// the rounded chrominance of the sharpening, eight colours at a time.
//
// Both are made in whole numbers. Each weight or product table entry is
// i x coefficient in double precision, and the coefficients have five or
// six decimals, so 10^6 (10^5) times a sum of entries is an integer N up to
// an error below 1e-7 (sums of doubles below 2^8 with a few roundings).
// Where the exact value N / 10^6 is not itself the edge the doubles' rule
// looks for (a whole number for the truncation, a half for the rounding),
// it lies at least 10^-6 from it, and integer arithmetic on N gives the
// doubles' answer; the few colours on an edge are worked out from the
// doubles.
#pragma once

#include <cstdint>
#include <cstring>

#include "filters/FilterFrame.h"
#include "frame/ColourTables.h"

namespace qvx {

// 10^6 x the luminance weights.
inline constexpr int kRedLuminance = 298912, kGreenLuminance = 586611, kBlueLuminance = 114478;

// N = 298912 R + 586611 G + 114478 B of eight colours (Bgra words, the
// fourth bytes whatever they are).
QVX_LOOP_BODY Int8 LuminanceNumerators(const Bgra* colours) {
  Int8 v;
  std::memcpy(&v, colours, sizeof v);
  return ((v >> 16) & 255) * kRedLuminance + ((v >> 8) & 255) * kGreenLuminance +
         (v & 255) * kBlueLuminance;
}

// N (below 2^28) is a multiple of 10^6 for a handful of colours only; the
// others truncate to floor(N / 10^6).
QVX_LOOP_BODY void LuminanceRow(BYTE* out, const Bgra* row, int count, double red, double green,
                                double blue) {
  const auto plain = [&](int i) {
    out[i] = static_cast<BYTE>(row[i].red * red + row[i].green * green + row[i].blue * blue);
  };
  // Sixteen at a time: GCC narrows 16-bit lanes to bytes in a few
  // instructions.
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    const Int8 n0 = LuminanceNumerators(row + i), n1 = LuminanceNumerators(row + i + 8);
    const Int8 q0 = FloorQuotient<6, 15625>(n0),
               q1 = FloorQuotient<6, 15625>(n1);  // 10^6 = 2^6 x 15625
    const Word8 w0 = __builtin_convertvector(q0, Word8), w1 = __builtin_convertvector(q1, Word8);
    const Byte16 bytes = __builtin_convertvector(
        __builtin_shufflevector(w0, w1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
        Byte16);
    std::memcpy(out + i, &bytes, sizeof bytes);
    const Int8 whole0 = n0 == q0 * 1000000, whole1 = n1 == q1 * 1000000;
    if (!NoLanes(whole0 | whole1))
      for (unsigned bits = LaneBits(whole0) | LaneBits(whole1) << 8; bits; bits &= bits - 1)
        plain(i + __builtin_ctz(bits));
  }
  for (; i < count; ++i) plain(i);
}

// A ring of luminance rows over the job's source rows.
class LuminanceRows {
 public:
  // `tables` are luminance weight tables (MakeLuminanceTables) or the first
  // three of the luminance/chrominance product tables (MakeYccTables).
  bool Allocate(FilterJob& job, int slots, int pad, const WorkBlock& tables) {
    weights_ = tables.As<LevelTable>();
    return rows_.Allocate(slots, pad, job.Columns(), 1, job.height);
  }
  const BYTE* Row(FilterJob& job, int y) {
    return rows_.Row(job.rows, y, [this](BYTE* out, const Bgra* row, int count) {
      Vectorised<LuminanceRow>(out, row, count, weights_[0][1], weights_[1][1], weights_[2][1]);
    });
  }

 private:
  DerivedRows<BYTE> rows_;
  const LevelTable* weights_ = nullptr;
};

// The chrominance coefficients of the product tables (entry 1 of each),
// red, green, blue to Cr, then red, green, blue to Cb.
struct ChromaCoefficients {
  double c[6];
  explicit ChromaCoefficients(const LevelTable* t)
      : c{t[kRedToCr][1], t[kGreenToCr][1], t[kBlueToCr][1],
          t[kRedToCb][1], t[kGreenToCb][1], t[kBlueToCb][1]} {}
};

// Cr = rnd(0.5 R - 0.41869 G - 0.08131 B) and Cb = rnd(-0.16874 R -
// 0.33126 G + 0.5 B), summed in doubles as from the product tables (entry i
// is i x entry 1 to the bit), halves away from zero.
QVX_LOOP_BODY int CrOf(int r, int g, int b, const double* c) {
  return RoundHalfAway(r * c[0] + g * c[1] + b * c[2]);
}
QVX_LOOP_BODY int CbOf(int r, int g, int b, const double* c) {
  return RoundHalfAway(r * c[3] + g * c[4] + b * c[5]);
}

// 10^5 Cr = 50000 (R - B) - 41869 (G - B); as 41869 and 50000 have no
// common factor, that is an odd multiple of 50000 (Cr a whole number and a
// half) only where G = B and R - B is odd. 10^5 Cb = 50000 (B - G) -
// 16874 (R - G), with 16874 = 2 x 8437 and 8437 prime to 25000: a half only
// where R = G and B - G is odd. Elsewhere the rounding is floor((N + 50000)
// / 10^5), which on a half rounds up.
// On Cb's halves the doubles round away from zero, as the exact value
// does (down where it is negative; the tests walk every colour). On Cr's
// they lie on either side, with no pattern to speak of: a table built per
// call says which, by red << 8 | green (blue = green), as an offset into
// kHalfDownLanes: 0 where the doubles round down, 8 where they do not.
struct CrHalves {
  std::uint8_t lane[65536];

  // Fills the entries of the halves; the others are 0.
  void Fill(const double* c) {
    std::memset(lane, 0, sizeof lane);
    for (int r = 0; r < 256; ++r)
      for (int g = 1 - (r & 1); g < 256; g += 2)  // r - g odd
        lane[r << 8 | g] = (r - g + 1) / 2 == CrOf(r, g, g, c) ? 8 : 0;
  }
};

// Entry k < 8 is -1 in lane k and 0 elsewhere; entries 8..15 are 0.
struct HalfDownLanes {
  alignas(32) std::int32_t lanes[16][8];
  constexpr HalfDownLanes() : lanes() {
    for (int k = 0; k < 8; ++k) lanes[k][k] = -1;
  }
};
inline constexpr HalfDownLanes kHalfDownLanes;

// What the whole-number chrominance needs. The multipliers are values
// handed in rather than literals: GCC turns a product by a literal into a
// chain of shifts and additions several times longer than the one
// multiplication.
struct WholeChroma {
  const CrHalves* halves;
  int half = 50000, greenToCr = 41869, redToCb = 16874;
};

// Cr and Cb of the eight colours at `colours`, as CrOf and CbOf make them.
QVX_LOOP_BODY void ChromaLanes(const Bgra* colours, WholeChroma whole, Int8& cr, Int8& cb) {
  Int8 v;
  std::memcpy(&v, colours, sizeof v);
  const Int8 r = (v >> 16) & 255, g = (v >> 8) & 255, b = v & 255;
  // Offsets of 128 x 10^5 keep the numerators positive (below 2^25);
  // 10^5 = 2^5 x 3125.
  const Int8 rb = r - b, gb = g - b, rg = r - g, bg = b - g;
  const int half = whole.half;
  cr = FloorQuotient<5, 3125>(rb * half - gb * whole.greenToCr + (50000 + 12800000)) - 128;
  // Cb's halves below zero round down: one less in a negative numerator
  // moves those across a multiple of 10^5 and no others.
  const Int8 cbNumerator = bg * half - rg * whole.redToCb;
  cb = FloorQuotient<5, 3125>(cbNumerator + (cbNumerator >> 31) + (50000 + 12800000)) - 128;
  // Cr's halves: one colour in 512 of random ones, more in smooth
  // pictures. The first of a group is settled without a branch (k = 8:
  // none, which adds a row of zeros), the others in a loop.
  unsigned halvesOfCr = LaneBits((gb == 0) & (rb << 31));  // the top bit: rb odd
  const auto settle = [&](unsigned k) {
    const Bgra c = colours[k & 7];
    Int8 down;
    std::memcpy(&down, kHalfDownLanes.lanes[k | whole.halves->lane[c.red << 8 | c.green]],
                sizeof down);
    cr += down;
  };
  settle(static_cast<unsigned>(__builtin_ctz(halvesOfCr | 256)));
  for (halvesOfCr &= halvesOfCr - 1; halvesOfCr; halvesOfCr &= halvesOfCr - 1)
    settle(static_cast<unsigned>(__builtin_ctz(halvesOfCr)));
}

}  // namespace qvx
