// What layering and pasting share: the format of the composite, the two
// ways pixels travel (as colours or as colour-table indices), and the rule
// that mixes a pixel laid over another.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "frame/DibAccess.h"
#include "frame/PictureRows.h"
#include "frame/Simd.h"
#include "frame/TwoPictures.h"
#include "platform/QvxCom.h"

namespace qvx {

// The composite's format, decided from the picture underneath (base or
// target), the picture laid over it (layer or pasted picture) and the
// opacity:
//   both 8-bit grey ramps                       -> 8-bit grey, same format
//   either above 8 bits per pixel               -> the larger bit count,
//                                                  same format when equal
//   equal bit counts (8 or fewer), equal table
//   sizes and bytes, opacity 0 or 255           -> that bit count, same format
//   anything else                               -> 24 bits
// Above 8 bits the pixels travel as colours (palette pictures through their
// tables); otherwise as indices, grey levels for the grey result.
struct CompositeFormat {
  int kind;
  bool sameFormat;
  bool trueColour;
};
CompositeFormat DecideCompositeFormat(const DibAccess& under, const DibAccess& over, int opacity);

// Makes and locks the composite picture from the picture underneath. A
// 4-bit grey picture underneath keeps its own table when the format is the
// same and the opacity 0 or 255 (the kind's standard table would replace a
// grey ramp by colours). Its pixels are left unwritten (the padding is
// zero): the composite writes every one.
bool MakeComposite(LockedPicture& result, const DibAccess& under, const CompositeFormat& format,
                   int opacity, std::int64_t width, std::int64_t height);

// One channel (or grey level) of a pixel mixed over another with opacity a:
// ((255 - a) * under + a * over) / 255, truncated. Exactly `under` at a = 0
// and `over` at a = 255, so a loop may apply it to every pixel.
inline BYTE MixLevel(int a, int under, int over) {
  return static_cast<BYTE>(((255 - a) * under + a * over) / 255);
}

// MixLevel on sixteen bytes at once, byte k mixed with opacity a[k] in
// 0..255 (MixBytes), or on four pixels, every byte of pixel k (blue, green,
// red and the fourth) with opacity a[k] (MixLanes). n = (255 - a) under +
// a over is at most 255 * 255, where (n + 1 + (n >> 8)) >> 8 is n / 255
// exactly, so 16-bit lanes hold every step.
QVX_LOOP_BODY Byte16 MixBytes(Word16 a, Byte16 under, Byte16 over) {
  const Word16 n = (255 - a) * __builtin_convertvector(under, Word16) +
                   a * __builtin_convertvector(over, Word16);
  return __builtin_convertvector((n + 1 + (n >> 8)) >> 8, Byte16);
}
QVX_LOOP_BODY Byte16 MixLanes(Int4 a, Byte16 under, Byte16 over) {
  const Byte16 spread =
      Shuffle<0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12>(reinterpret_cast<Byte16>(a));
  return MixBytes(__builtin_convertvector(spread, Word16), under, over);
}

// The fourth byte of each of four pixels replaced by `fourth`.
QVX_LOOP_BODY Byte16 WithFourth(Byte16 pixels, BYTE fourth) {
  const Int4 colour = reinterpret_cast<Int4>(pixels) & 0x00FFFFFF;
  return reinterpret_cast<Byte16>(colour | static_cast<std::int32_t>(std::uint32_t{fourth} << 24));
}

// The fourth byte of `count` four-byte pixels set to `fourth`.
QVX_LOOP_BODY void SetFourthBytes(BYTE* pixels, int count, BYTE fourth) {
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    Byte16 v;
    std::memcpy(&v, pixels + 4 * i, 16);
    v = WithFourth(v, fourth);
    std::memcpy(pixels + 4 * i, &v, 16);
  }
  for (; i < count; ++i) pixels[4 * i + 3] = fourth;
}

// Pixels as colours: composites of more than 8 bits per pixel.
struct ColourPixels {
  using Value = Bgra;
  static void Read(const DibAccess& p, int x, int y, int n, Value* out) {
    ReadColourRun(p, x, y, n, out);
  }
  static void Write(const DibAccess& p, int x, int y, int n, const Value* in) {
    WriteColourRun(p, x, y, n, in);
  }
  static void Fill(const DibAccess& p, int x, int y, int n, Value v) {
    FillColourRun(p, x, y, n, v);
  }
  static bool Matches(Value v, Value key) {
    return v.red == key.red && v.green == key.green && v.blue == key.blue;
  }
  static Value Mix(int a, Value under, Value over) {
    return {MixLevel(a, under.blue, over.blue), MixLevel(a, under.green, over.green),
            MixLevel(a, under.red, over.red), 0};
  }
  // The value of a colour given as levels; `table` is not needed.
  static Value Of(const DibAccess&, Bgra colour) { return colour; }
  // The fourth byte a written pixel gets.
  static void SetAlpha(Value& v, BYTE alpha) { v.alpha = alpha; }
};

// Pixels as colour-table indices: composites of 8 bits or fewer.
struct IndexPixels {
  using Value = BYTE;
  static void Read(const DibAccess& p, int x, int y, int n, Value* out) {
    ReadIndexRun(p, x, y, n, out);
  }
  static void Write(const DibAccess& p, int x, int y, int n, const Value* in) {
    WriteIndexRun(p, x, y, n, in);
  }
  static void Fill(const DibAccess& p, int x, int y, int n, Value v) {
    FillIndexRun(p, x, y, n, v);
  }
  static bool Matches(Value v, Value key) { return v == key; }
  static Value Mix(int a, Value under, Value over) { return MixLevel(a, under, over); }
  // The entry of `table`'s colour table that best represents the colour.
  static Value Of(const DibAccess& table, Bgra colour) {
    return GetRgbtoPal(table.Header, colour.red, colour.green, colour.blue);
  }
  static void SetAlpha(Value&, BYTE) {}
};

// The pixel rule: the pixel underneath when the opacity is 0 or nothing is
// laid there, the pixel laid over it at opacity 255, else the mix.
template <class Pixels>
typename Pixels::Value Compose(int a, bool laid, typename Pixels::Value under,
                               typename Pixels::Value over) {
  if (a == 0 || !laid) return under;
  if (a == 255) return over;
  return Pixels::Mix(a, under, over);
}

// Calls body(ColourPixels{}) or body(IndexPixels{}).
template <class Body>
decltype(auto) DispatchPixelValues(bool trueColour, Body&& body) {
  if (trueColour) return body(ColourPixels{});
  return body(IndexPixels{});
}

// A 64-bit column or row number taken into lo..hi: offsets near the int
// limits put the pictures' edges beyond them.
inline int ClampColumn(std::int64_t v, int lo, int hi) {
  return static_cast<int>(std::min<std::int64_t>(std::max<std::int64_t>(v, lo), hi));
}

// A colour given as three levels, each taken from the low byte of its
// argument.
inline Bgra LevelsOf(int red, int green, int blue) {
  return {static_cast<BYTE>(blue), static_cast<BYTE>(green), static_cast<BYTE>(red), 0};
}

}  // namespace qvx
