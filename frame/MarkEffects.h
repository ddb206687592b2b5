// Colour-picked selection and hidden marks: the workers of the four
// selection exports and the two mark exports, and the colour tests they
// share.
#pragma once

#include "frame/ColourTables.h"
#include "frame/ImageHandles.h"
#include "frame/PixelPolicy.h"
#include "frame/Resources.h"
#include "frame/Selection.h"
#include "frame/SelectionArgs.h"

namespace qvx {

// ---- colour-picked selection ------------------------------------------------

enum MatchMode : BYTE {
  kMatchRgb = 0,        // red, green and blue each within the tolerance
  kMatchChroma = 1,     // Cr and Cb each within the tolerance
  kMatchLuminance = 2,  // Y within the tolerance
};

// Whether a colour matches the reference colour of an auto-selection. The
// levels are the product-table sums truncated toward zero (not rounded), the
// chrominance offset by 128.
class ColourMatch {
 public:
  ColourMatch(const LevelTable* products, BYTE mode, BYTE tolerance, BYTE red, BYTE green,
              BYTE blue);
  bool Matches(BYTE red, BYTE green, BYTE blue) const;
  // For every (red, green) pair, index red << 8 | green, the blue levels
  // lo..hi (inclusive, empty when lo > hi) that match: each level is a
  // monotonic function of blue, so the matching blues are one interval.
  void FillBlueIntervals(BYTE* lo, BYTE* hi) const;

 private:
  int Luminance(BYTE red, BYTE green, BYTE blue) const;
  int Cr(BYTE red, BYTE green, BYTE blue) const;
  int Cb(BYTE red, BYTE green, BYTE blue) const;
  bool Near(int value, int reference) const {
    const int d = value - reference;
    return (d < 0 ? -d : d) <= tolerance_;
  }

  const LevelTable* t_;
  BYTE mode_;
  int tolerance_;
  BYTE red_, green_, blue_;
  int y_, cr_, cb_;
};

// Calls run(x0, x1, set) for every maximal run x0..x1 (inclusive) of equal
// bits within columns from..to of a 1-bit row, from left to right.
template <class Run>
void ForEachBitRun(const BYTE* bits, int from, int to, Run&& run) {
  int x = from;
  while (x <= to) {
    const bool set = (bits[x >> 3] >> (7 - (x & 7))) & 1;
    const BYTE whole = set ? 0xFF : 0x00;
    const int start = x;
    ++x;
    while (x <= to) {
      if ((x & 7) == 0 && x + 7 <= to && bits[x >> 3] == whole) {
        x += 8;
      } else if (((bits[x >> 3] >> (7 - (x & 7))) & 1) == set) {
        ++x;
      } else {
        break;
      }
    }
    run(start, x - 1, set);
  }
}

// Bits ORed into a 1-bit row from left to right, column after column from
// the first one given, each byte written once when complete (or at Flush):
// a byte written once per pixel would hold every pixel up.
class BitRowWriter {
 public:
  BitRowWriter(BYTE* bits, int x) : bits_(bits), x_(x) {}
  // The bit of the next column: 1 sets it, 0 leaves it.
  void Put(unsigned bit) {
    pending_ = static_cast<BYTE>(pending_ | bit << (7 - (x_ & 7)));
    if ((x_ & 7) == 7) {
      bits_[x_ >> 3] = static_cast<BYTE>(bits_[x_ >> 3] | pending_);
      pending_ = 0;
    }
    ++x_;
  }
  void Flush() {
    if (x_ & 7) bits_[x_ >> 3] = static_cast<BYTE>(bits_[x_ >> 3] | pending_);
    pending_ = 0;
  }

 private:
  BYTE* bits_;
  int x_;
  BYTE pending_ = 0;
};

// The selection arguments of an export whose first argument is a plain
// picture handle (selection mode 0 is refused by its worker).
inline SelectionArgs PictureSelection(HGLOBAL picture, BYTE mode, POINT* points, int pointCount,
                                      const RECT* rect, BOOL inside) {
  return SelectionArgs{picture, nullptr, mode, points, pointCount, rect ? *rect : RECT{0, 0, 0, 0},
                       inside};
}

// The picture is args.picture.
ImageHandles RunSelectImage(const SelectionArgs& args, BYTE red, BYTE green, BYTE blue,
                            BOOL noDialog, PixelRoute route = PixelRoute::kDirect);
ImageHandles RunAutoSelectImage(const SelectionArgs& args, BYTE red, BYTE green, BYTE blue,
                                BYTE matchMode, BYTE tolerance, BOOL noDialog,
                                PixelRoute route = PixelRoute::kDirect);

// ---- hidden marks -----------------------------------------------------------

// Luminance and centred chrominance of a colour, each sum rounded half away
// from zero.
struct CentredYcc {
  int y, cr, cb;
};
// From the three sums (red + green) + blue of the product tables, lanes 0
// (luminance), 1 (Cr) and 2 (Cb). The luminance sum lies in 0..255.000255
// (the weights are positive and add up to 1.000001), where rounding and
// clamping never differ from rounding.
QVX_LOOP_BODY CentredYcc CentredYccOf(Double4 sums) {
  return {RoundClampLevel(sums[0]), RoundHalfAway(sums[1]), RoundHalfAway(sums[2])};
}
// Rounded luminance only, from the luminance sum.
inline int RoundedLuminance(double sum) { return RoundClampLevel(sum); }

// The luminance shift of a mark and the threshold of a check are taken
// into -20..20.
inline int LimitShift(int value) { return value > 20 ? 20 : (value < -20 ? -20 : value); }

// What the text mode of a mark asks for; the strings need not be
// terminated within their limits.
struct MarkTextArgs {
  const char* text;
  const char* faceName;
  WORD fontSize;
  BYTE style[4];
  BYTE direction;
  WORD angle;
};

HGLOBAL RunSetSecretImage(HGLOBAL picture, HGLOBAL mark, const MarkTextArgs& textArgs, int shift,
                          RECT rect, BOOL noDialog);
HGLOBAL RunCheckSecretImage(HGLOBAL first, HGLOBAL second, int threshold, BOOL noDialog);

}  // namespace qvx
