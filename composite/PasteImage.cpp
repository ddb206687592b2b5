// QVPasteImage and the paste worker.
//
// Positions are given in coordinates centred on the pasted picture: its
// column c has x = c + left, where left = -(W / 2), plus 1 for an even W
// (so the left of the two middle columns is 0), and target pixel (X, Y) has
// (X - px, Y - py). A result position reads the pasted picture at its
// position turned back by the angle: exactly, in integers, at quarter turns;
// otherwise by the sign-directed bilinear blend of the four pixels around
// it, where pixels cut away by the mask or the colour key are replaced by
// the target (or the fill colour).
#include "composite/PasteImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "composite/Composite.h"
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "frame/LockedPicture.h"
#include "frame/Resources.h"
#include "frame/Simd.h"
#include "geometry/MirrorFlip.h"
#include "geometry/Rotation.h"
#include "geometry/Sampling.h"

namespace qvx {
namespace {

// A box of centred coordinates, inclusive; 64 bits, since placements near
// the int limits put the target's frame beyond them.
struct Box {
  std::int64_t left, top, right, bottom;
  std::int64_t Width() const { return right - left + 1; }
  std::int64_t Height() const { return bottom - top + 1; }
};

CentredFrame PastedFrameOf(int width, int height) {
  return {-(width / 2) + (width % 2 == 0), -(height / 2) + (height % 2 == 0), width / 2,
          height / 2};
}

// Everything the passes share.
struct Paste {
  const PastePlacement* placement;
  int a;  // the angle in 0..35999
  DibAccess* target;
  DibAccess* pasted;
  DibAccess* mask;     // null without a mask
  CentredFrame frame;  // the pasted picture's
  Box area;            // the pasted area
  Box result;          // the result's frame
  BOOL noDialog;
};

bool QuarterTurn(int a) { return a % 9000 == 0; }

// Pixels a base row is moved in when it is not copied as bytes. The size
// hardly matters: pasting at 0, 90 and 30 degrees on 4000 x 3000 24-bit
// ran at 158 / 154 / 48 Mpx/s with 512, 159 / 149 / 49 with 1024 and
// 154 / 147 / 50 with 2048 (one run each, same conditions).
constexpr int kChunk = 1024;

// The pasted area: the bounding box of the pasted picture (its corners, or
// its selected mask pixels) turned by -t. The mask pass reports each mask
// row into `slice`.
bool FindPastedArea(Paste& p, ProgressSlice slice) {
  TurnedBounds bounds(p.a);
  const CentredFrame& f = p.frame;
  if (!p.mask) {
    bounds.Add(f.left, f.top);
    bounds.Add(f.left, f.bottom);
    bounds.Add(f.right, f.bottom);
    bounds.Add(f.right, f.top);
  } else {
    const MaskSelection selection = MaskSelectionOf(*p.mask);
    const int width = p.mask->Width, height = p.mask->Height;
    WorkBlock row;
    if (!row.Allocate(static_cast<std::size_t>(width))) return false;
    BYTE* indices = row.As<BYTE>();
    // For a fixed y the turned coordinates move monotonically with x, so the
    // first and last selected pixels of a row give its extremes.
    const bool walked = WalkRows(height, height - 1, slice, p.noDialog, [&](int r) {
      ReadIndexRun(*p.mask, 0, r, width, indices);
      int first = 0, last = width - 1;
      while (first < width && !selection.selects[indices[first]]) ++first;
      if (first == width) return true;
      while (!selection.selects[indices[last]]) --last;
      bounds.Add(first + f.left, r + f.top);
      bounds.Add(last + f.left, r + f.top);
      return true;
    });
    if (!walked) return false;
  }
  const CentredFrame area = bounds.Truncated(!QuarterTurn(p.a));
  p.area = {area.left, area.top, area.right, area.bottom};
  return true;
}

Box ResultFrame(const Paste& p) {
  const PastePlacement& at = *p.placement;
  const Box target{-std::int64_t{at.px}, -std::int64_t{at.py},
                   std::int64_t{p.target->Width} - 1 - at.px,
                   std::int64_t{p.target->Height} - 1 - at.py};
  if (at.clip) return target;
  return {std::min(target.left, p.area.left), std::min(target.top, p.area.top),
          std::max(target.right, p.area.right), std::max(target.bottom, p.area.bottom)};
}

// The pasted picture decoded once: every pixel's value, and whether it may
// be pasted (selected by the mask and not of the key colour). Colours carry
// that in their fourth byte (255 usable, 0 not), which the paste never
// writes out, so one load gives both; indices have a byte table beside.
// Quarter turns of 90 and 270 degrees read the picture column by column
// along a result row, so for them the tables hold it column after column
// (transposed), and the rows read it in memory order.
template <class Pixels>
struct PastedPixels {
  using Value = typename Pixels::Value;
  static constexpr bool kColours = std::is_same_v<Value, Bgra>;
  // Rows decoded before they are spread into the columns of a transposed
  // table.
  static constexpr int kBlockRows = 8;
  WorkBlock values, usable;
  int width = 0, height = 0;
  bool transposed = false;

  // Without `tables` only the size is taken: the rows then read the
  // picture itself.
  bool Decode(const Paste& p, Value key, bool transpose, bool tables) {
    width = p.pasted->Width;
    height = p.pasted->Height;
    transposed = transpose;
    const std::uint64_t count = std::uint64_t(width) * std::uint64_t(height);
    // A table the size of a 32-bit address space cannot be had anyway.
    if (count * (sizeof(Value) + 1) > 0x7FFFFFFFu) {
      SetErrorStatus(kErrorNoMemory);
      return false;
    }
    if (!tables) return true;
    if (!values.Allocate(count * sizeof(Value)) || (!kColours && !usable.Allocate(count)))
      return false;
    WorkBlock maskRow, block;
    if (p.mask && !maskRow.Allocate(static_cast<std::size_t>(width))) return false;
    const std::size_t blockPixels = std::size_t(kBlockRows) * width;
    if (transpose && !block.Allocate(blockPixels * (sizeof(Value) + 1))) return false;
    Value* blockValues = block.As<Value>();
    BYTE* blockUsable = reinterpret_cast<BYTE*>(blockValues + blockPixels);
    const MaskSelection selection = p.mask ? MaskSelectionOf(*p.mask) : MaskSelection{{true, true}};
    const bool keyOn = p.placement->keyOn != 0;
    // Rows in memory order (bottom-up) where the order does not matter.
    for (int i = 0; i < height; ++i) {
      const int r = transpose ? i : height - 1 - i;
      const std::size_t at =
          transpose ? std::size_t(r % kBlockRows) * width : std::size_t(r) * width;
      Value* row = (transpose ? blockValues : Values()) + at;
      BYTE* ok = kColours ? nullptr : (transpose ? blockUsable : usable.As<BYTE>()) + at;
      Pixels::Read(*p.pasted, 0, r, width, row);
      if (p.mask) ReadIndexRun(*p.mask, 0, r, width, maskRow.As<BYTE>());
      if (!p.mask && !keyOn) {
        if constexpr (kColours)
          Vectorised<SetFourthBytes>(&row->blue, width, BYTE{255});
        else
          std::memset(ok, 1, std::size_t(width));
      } else {
        for (int c = 0; c < width; ++c) {
          const bool usableHere = (!p.mask || selection.selects[maskRow.As<BYTE>()[c]]) &&
                                  !(keyOn && Pixels::Matches(row[c], key));
          if constexpr (kColours)
            row[c].alpha = usableHere ? 255 : 0;
          else
            ok[c] = usableHere;
        }
      }
      if (transpose && (r % kBlockRows == kBlockRows - 1 || r == height - 1)) {
        // Rows first..r go to entries first..r of every column.
        const int first = r - r % kBlockRows, n = r - first + 1;
        for (int c = 0; c < width; ++c) {
          const std::size_t to = std::size_t(c) * height + first;
          for (int j = 0; j < n; ++j) {
            Values()[to + j] = blockValues[std::size_t(j) * width + c];
            if constexpr (!kColours)
              usable.As<BYTE>()[to + j] = blockUsable[std::size_t(j) * width + c];
          }
        }
      }
    }
    return true;
  }
  Value* Values() const { return values.As<Value>(); }
  // The entry of pixel (c, r).
  std::int64_t IndexOf(std::int64_t c, std::int64_t r) const {
    return transposed ? c * height + r : r * width + c;
  }
  bool UsableAt(std::size_t i) const {
    if constexpr (kColours)
      return Values()[i].alpha != 0;
    else
      return usable.As<BYTE>()[i] != 0;
  }
};

// `count` colours pasted over the target: pasted pixel k * step (where it
// may be pasted, its fourth byte 255; otherwise the opacity counts as 0)
// mixed over `under`. kStep 0: any step; otherwise that step, known to the
// compiler.
template <int kStep>
QVX_LOOP_BODY void MixPastedRun(Bgra* out, const Bgra* under, const Bgra* over, std::ptrdiff_t step,
                                int count, int a) {
  if (kStep) step = kStep;
  int k = 0;
  for (; k + 4 <= count; k += 4) {
    Byte16 u, o;
    std::memcpy(&u, under + k, 16);
    if (kStep == 1) {
      std::memcpy(&o, over + k, 16);
    } else {
      Bgra colours[4];
      for (int j = 0; j < 4; ++j) colours[j] = over[(k + j) * step];
      std::memcpy(&o, colours, 16);
    }
    // The fourth byte 255 (usable) makes the word negative.
    const Int4 words = reinterpret_cast<Int4>(o);
    const Byte16 v = WithFourth(
        a == 255 ? reinterpret_cast<Byte16>(words < 0 ? words : reinterpret_cast<Int4>(u))
                 : MixLanes((words >> 24) & a, u, o),
        0);
    std::memcpy(out + k, &v, 16);
  }
  for (; k < count; ++k) {
    const Bgra o = over[k * step];
    out[k] = ColourPixels::Mix(o.alpha ? a : 0, under[k], o);
  }
}

// One row of the result: the base colours (target, or fill), then the
// pasted span mixed in.
template <class Pixels>
class PasteRows {
 public:
  using Value = typename Pixels::Value;

  PasteRows(const Paste& p, DibAccess& result, const PastedPixels<Pixels>& pixels, Value fill)
      : p_(p), result_(result), pixels_(pixels), fill_(fill) {
    const PastePlacement& at = *p.placement;
    width_ = result.Width;
    // Result columns t0..t1 lie over target columns; 64 bits for the
    // placements near the int limits.
    const std::int64_t t0 = -std::int64_t{at.px} - p.result.left;
    const std::int64_t t1 = t0 + p.target->Width - 1;
    targetFrom_ = ClampColumn(t0, 0, width_);
    targetTo_ = ClampColumn(t1, -1, width_ - 1);
    // The target column of targetFrom_; used only when the run is not empty,
    // and then it lies in the target.
    if (targetFrom_ <= targetTo_) targetX_ = static_cast<int>(targetFrom_ - t0);
    spanFrom_ = ClampColumn(p.area.left - p.result.left, 0, width_);
    spanTo_ = ClampColumn(p.area.right - p.result.left, -1, width_ - 1);
    // Quarter turns other than 0 read the picture along its columns or
    // backwards, which only byte copies do without the decoded tables.
    plain_ = QuarterTurn(p.a) && !p.mask && !at.keyOn && at.opacity == 255 &&
             (p.a == 0 || RunsCopyAsBytes(*p.pasted, result));
    const double t = AngleRadians(p.a);
    cos_ = std::cos(t);
    sin_ = std::sin(t);
  }

  bool Allocate() {
    const std::size_t span = spanTo_ >= spanFrom_ ? std::size_t(spanTo_ - spanFrom_ + 1) : 0;
    // Plain turns of 90 and 270 degrees copy through a tile of 3-byte
    // pixels.
    const std::size_t tile = plain_ && p_.a % 18000 != 0 ? kTurnedRows * kTileColumns * 3 : 0;
    if (!buffer_.Allocate(std::max(std::max<std::size_t>(2 * span, kChunk) * sizeof(Value), tile)))
      return false;
    if (QuarterTurn(p_.a) || spanTo_ < spanFrom_) return true;
    // x cos t and x sin t of every column of the span, computed once; three
    // more columns so that groups of four may start at any column.
    if (!columns_.Allocate(2 * (span + 3) * sizeof(double))) return false;
    xCos_ = columns_.As<double>();
    xSin_ = xCos_ + span + 3;
    for (int i = spanFrom_; i <= spanTo_; ++i) {
      const double x = static_cast<double>(p_.result.left + i);
      xCos_[i - spanFrom_] = x * cos_;
      xSin_[i - spanFrom_] = x * sin_;
    }
    return true;
  }

  QVX_LOOP_BODY void Row(int ry) {
    const std::int64_t y = p_.result.top + ry;
    const std::int64_t ty = y + p_.placement->py;
    const bool rowInTarget = ty >= 0 && ty < p_.target->Height;
    targetY_ = static_cast<int>(ty);
    const bool pastedRow = y >= p_.area.top && y <= p_.area.bottom && spanFrom_ <= spanTo_;
    if constexpr (std::is_same_v<Value, Bgra>) {
      if (pastedRow && !QuarterTurn(p_.a)) {
        BlendedRow(ry, y, rowInTarget);
        return;
      }
    }
    WriteBase(ry, rowInTarget, pastedRow);
    if (!pastedRow) return;
    if (plain_) {
      PlainRow(ry, y, rowInTarget);
      return;
    }
    Value* under = buffer_.As<Value>();
    const int count = spanTo_ - spanFrom_ + 1;
    Value* out = under + count;
    const double ys = static_cast<double>(y) * sin_, yc = static_cast<double>(y) * cos_;
    const BYTE a = p_.placement->opacity;
    ReadUnder(under, 0, count - 1, rowInTarget);
    const QuarterLine line = QuarterTurn(p_.a) ? QuarterLineOf(y) : QuarterLine{};
    const Value* values = pixels_.Values();
    // Quarter turns of colours over the target mix in one loop.
    int fastFrom = 0, fastTo = -1;
    if constexpr (std::is_same_v<Value, Bgra>) {
      if (QuarterTurn(p_.a) && rowInTarget) {
        fastFrom = static_cast<int>(std::max<std::int64_t>(spanFrom_ + line.lo, targetFrom_));
        fastTo = static_cast<int>(std::min<std::int64_t>(spanFrom_ + line.hi, targetTo_));
        if (fastFrom <= fastTo) {
          const std::int64_t i = line.first + line.step * (fastFrom - spanFrom_);
          Bgra* runOut = out + (fastFrom - spanFrom_);
          const Bgra* runUnder = under + (fastFrom - spanFrom_);
          const int n = fastTo - fastFrom + 1;
          if (line.step == 1)
            MixPastedRun<1>(runOut, runUnder, values + i, 1, n, int{a});
          else
            MixPastedRun<0>(runOut, runUnder, values + i, static_cast<std::ptrdiff_t>(line.step), n,
                            int{a});
        }
      }
    }
    for (int rx = spanFrom_; rx <= spanTo_; ++rx) {
      if (rx == fastFrom && fastFrom <= fastTo) rx = fastTo + 1;
      if (rx > spanTo_) break;
      out[rx - spanFrom_] = PixelAt(rx, line, ys, yc, rowInTarget, under[rx - spanFrom_], a);
    }
    Pixels::Write(result_, spanFrom_, ry, spanTo_ - spanFrom_ + 1, out);
  }

 public:
  // At a quarter turn, without mask and key and at full opacity every
  // pixel of the pasted picture replaces what lies under it: its rows (or
  // columns) are copied across, without the decoded tables.
  bool plain_ = false;

 private:
  // The span of row ry (centred y) of a plain paste.
  void PlainRow(int ry, std::int64_t y, bool rowInTarget) {
    const QuarterLine line = QuarterLineOf(y);
    const int lo = static_cast<int>(std::max<std::int64_t>(line.lo, 0));
    const int hi = static_cast<int>(std::min<std::int64_t>(line.hi, spanTo_ - spanFrom_));
    WriteBaseColumns(ry, rowInTarget, spanFrom_, spanFrom_ + std::min(lo, hi + 1) - 1);
    WriteBaseColumns(ry, rowInTarget, spanFrom_ + std::max(hi, lo - 1) + 1, spanTo_);
    if (lo > hi) return;
    const std::int64_t first = line.first + line.step * lo;
    const int c = static_cast<int>(first % pixels_.width),
              r = static_cast<int>(first / pixels_.width);
    if (p_.a == 0) {
      CopyToResult(*p_.pasted, c, r, spanFrom_ + lo, ry, hi - lo + 1);
      return;
    }
    const DibAccess& from = *p_.pasted;
    const std::ptrdiff_t bytes = from.BitCount / 8;
    if (p_.a == 18000) {
      // Backwards along a row.
      const BYTE* in = DibRow(from, r) + bytes * c;
      BYTE* out = DibRow(result_, ry) + bytes * (spanFrom_ + lo);
      if (bytes == 3)
        for (int i = lo; i <= hi; ++i, in -= 3, out += 3) std::memcpy(out, in, 3);
      else
        for (int i = lo; i <= hi; ++i, --in, ++out) *out = *in;
      return;
    }
    // At 90 and 270 degrees a result row reads down or up one column of the
    // picture, and its neighbour rows read the neighbouring columns. The
    // rows are copied kTurnedRows at a time through a tile, so that each
    // picture row is read in one stretch of adjacent pixels and each result
    // row written in long runs. (The rows come bottom-up; called in another
    // order they are still right, only copied more than once.)
    if (ry >= turnedFrom_ && ry <= turnedTo_) return;
    turnedFrom_ = std::max(0, ry - kTurnedRows + 1);
    turnedTo_ = ry;
    const int dr = p_.a == 9000 ? 1 : -1;
    const std::ptrdiff_t step = DibRow(from, r + (hi > lo ? dr : 0)) - DibRow(from, r);
    // Every non-empty line of these rows covers span columns lo..hi, from
    // the picture rows r on: the rows differ only in the column they read.
    const BYTE* in[kTurnedRows];
    BYTE* out[kTurnedRows];
    int n = 0;
    for (int j = turnedFrom_; j <= turnedTo_; ++j) {
      const QuarterLine other = QuarterLineOf(p_.result.top + j);
      if (std::max<std::int64_t>(other.lo, 0) > std::min<std::int64_t>(other.hi, hi)) continue;
      const int column = static_cast<int>((other.first + other.step * lo) % pixels_.width);
      in[n] = DibRow(from, r) + bytes * column;
      out[n++] = DibRow(result_, j) + bytes * (spanFrom_ + lo);
    }
    BYTE* tile = buffer_.As<BYTE>();
    const int count = hi - lo + 1;
    const auto copy = [&](auto size) {
      for (int done = 0; done < count; done += kTileColumns) {
        const int m = std::min(kTileColumns, count - done);
        for (int i = 0; i < m; ++i) {
          // Picture rows a few steps ahead, every pixel of them from a
          // different line: fetched early, they arrive together.
          const std::ptrdiff_t ahead = step * std::min(done + i + kPrefetchRows, count - 1);
          __builtin_prefetch(in[0] + ahead);
          __builtin_prefetch(in[n - 1] + ahead);
          for (int j = 0; j < n; ++j)
            std::memcpy(tile + size * (std::size_t(j) * kTileColumns + i),
                        in[j] + step * (done + i), size);
        }
        for (int j = 0; j < n; ++j)
          std::memcpy(out[j] + size * done, tile + size * std::size_t(j) * kTileColumns, size * m);
      }
    };
    if (bytes == 3)
      copy(std::integral_constant<std::size_t, 3>{});
    else
      copy(std::integral_constant<std::size_t, 1>{});
  }

  // Result rows copied together at turns of 90 and 270 degrees, and the
  // rows already copied.
  static constexpr int kTurnedRows = 16;
  static constexpr int kPrefetchRows = 16;
  static constexpr int kTileColumns = 1024;
  int turnedFrom_ = 0, turnedTo_ = -1;

  // `count` pixels of `from` from (x, y) on copied to the result from (to,
  // ry) on, a 32-bit result's fourth bytes 0.
  void CopyToResult(const DibAccess& from, int x, int y, int to, int ry, int count) {
    if (RunsCopyAsBytes(from, result_)) {
      CopyRunBytes(from, x, y, result_, to, ry, count);
      return;
    }
    Value* buffer = buffer_.As<Value>();
    for (int done = 0; done < count; done += kChunk) {
      const int n = std::min(kChunk, count - done);
      Pixels::Read(from, x + done, y, n, buffer);
      for (int i = 0; i < n; ++i) Pixels::SetAlpha(buffer[i], 0);
      Pixels::Write(result_, to + done, ry, n, buffer);
    }
  }

  // Row ry (centred y) of colours at a general angle. Only the columns
  // whose position falls in the pasted picture's frame can be pasted; the
  // rest of the row is its base, copied as such. Where every position
  // blends four pixels inside the picture, the tests at the picture's
  // edges are left out, and at full opacity with every pixel usable the
  // target under them is not read either.
  QVX_LOOP_BODY void BlendedRow(int ry, std::int64_t y, bool rowInTarget) {
    const int count = spanTo_ - spanFrom_ + 1;
    Bgra* under = buffer_.As<Bgra>();
    Bgra* out = under + count;
    const double ys = static_cast<double>(y) * sin_, yc = static_cast<double>(y) * cos_;
    const BYTE a = p_.placement->opacity;
    const CentredFrame& f = p_.frame;
    // trunc(sx) lies in left..right exactly when left - 1 < sx < right + 1.
    Run reach = RunOf(
        ys, yc, count, f.left - 1, f.right + 1, f.top - 1, f.bottom + 1, [&](double sx, double sy) {
          return sx > f.left - 1 && sx < f.right + 1 && sy > f.top - 1 && sy < f.bottom + 1;
        });
    if (reach.from > reach.to) reach = {0, count - 1};
    WriteBaseColumns(ry, rowInTarget, 0, spanFrom_ + reach.from - 1);
    WriteBaseColumns(ry, rowInTarget, spanFrom_ + reach.to + 1, width_ - 1);
    // (sx, sy) in left + 1 .. right - 1 by top + 1 .. bottom - 1 puts the
    // pixel (trunc(sx), trunc(sy)) and its three neighbours toward the
    // signs inside the picture.
    const Run inner = RunOf(
        ys, yc, count, f.left + 1, f.right - 1, f.top + 1, f.bottom - 1, [&](double sx, double sy) {
          return sx >= f.left + 1 && sx <= f.right - 1 && sy >= f.top + 1 && sy <= f.bottom - 1;
        });
    if (inner.from <= inner.to) {
      if (a == 255 && allUsable_) {
        ReadUnder(under, reach.from, inner.from - 1, rowInTarget);
        ReadUnder(under, inner.to + 1, reach.to, rowInTarget);
      } else {
        ReadUnder(under, reach.from, reach.to, rowInTarget);
      }
      BlendedRun(under, out, ys, yc, rowInTarget, a, reach.from, inner.from - 1);
      InteriorRun(under, out, ys, yc, rowInTarget, a, inner.from, inner.to);
      BlendedRun(under, out, ys, yc, rowInTarget, a, inner.to + 1, reach.to);
    } else {
      ReadUnder(under, reach.from, reach.to, rowInTarget);
      BlendedRun(under, out, ys, yc, rowInTarget, a, reach.from, reach.to);
    }
    ColourPixels::Write(result_, spanFrom_ + reach.from, ry, reach.to - reach.from + 1,
                        out + reach.from);
  }

  // Span columns kFrom..kTo of the current row as they are without the
  // pasted picture, into under[kFrom..kTo]: the target where the row lies
  // over it, the fill colour elsewhere.
  void ReadUnder(Value* under, int kFrom, int kTo, bool rowInTarget) {
    if (kFrom > kTo) return;
    std::fill(under + kFrom, under + kTo + 1, Value{fill_});
    const int from = std::max(spanFrom_ + kFrom, targetFrom_);
    const int to = std::min(spanFrom_ + kTo, targetTo_);
    if (rowInTarget && from <= to)
      Pixels::Read(*p_.target, targetX_ + (from - targetFrom_), targetY_, to - from + 1,
                   under + (from - spanFrom_));
  }

  // The span columns of a row of a general angle whose position (sx, sy)
  // satisfies `inside`, a test of sx against two bounds and of sy against
  // two bounds (roughly lowX..highX by lowY..highY). Along a row sx and sy
  // are monotonic in the column (each the column times one constant, less
  // or plus another, every step rounding monotonically), so those columns
  // form one run. It is found around a point inside it, estimated from the
  // real-valued lines and checked, by bisection on the very doubles the
  // blend uses. Empty (from > to) when the estimate misses: then the run
  // is empty or too short to matter.
  struct Run {
    int from = 0, to = -1;
  };
  template <class Inside>
  Run RunOf(double ys, double yc, int count, double lowX, double highX, double lowY, double highY,
            Inside inside) const {
    const auto insideAt = [&](int k) { return inside(xCos_[k] - ys, xSin_[k] + yc); };
    const double x0 = static_cast<double>(p_.result.left + spanFrom_);
    double lo = 0, hi = count - 1;
    // Narrows lo..hi to the k with low <= at0 + slope k <= high.
    const auto narrow = [&](double at0, double slope, double low, double high) {
      if (std::fabs(slope) < 1e-9) {
        if (at0 < low || at0 > high) hi = lo - 1;
        return;
      }
      double k0 = (low - at0) / slope, k1 = (high - at0) / slope;
      if (k0 > k1) std::swap(k0, k1);
      lo = std::max(lo, k0);
      hi = std::min(hi, k1);
    };
    narrow(x0 * cos_ - ys, cos_, lowX, highX);
    narrow(x0 * sin_ + yc, sin_, lowY, highY);
    Run run;
    if (!(lo <= hi)) return run;
    const int m = static_cast<int>((lo + hi) / 2);
    if (!insideAt(m)) return run;
    // The first column of the run in 0..m and the last in m..count - 1.
    int a = 0, b = m;
    while (a < b) {
      const int mid = a + (b - a) / 2;
      if (insideAt(mid))
        b = mid;
      else
        a = mid + 1;
    }
    run.from = a;
    a = m, b = count - 1;
    while (a < b) {
      const int mid = b - (b - a) / 2;
      if (insideAt(mid))
        a = mid;
      else
        b = mid - 1;
    }
    run.to = b;
    return run;
  }

  // The result row as it is without the pasted picture: the target where
  // the row lies over it, the fill colour elsewhere; with `spanWritten`,
  // outside the pasted span only.
  void WriteBase(int ry, bool rowInTarget, bool spanWritten) {
    if (!spanWritten || spanTo_ < spanFrom_) {
      WriteBaseColumns(ry, rowInTarget, 0, width_ - 1);
      return;
    }
    // The span's columns are written with the pasted picture mixed in.
    WriteBaseColumns(ry, rowInTarget, 0, spanFrom_ - 1);
    WriteBaseColumns(ry, rowInTarget, spanTo_ + 1, width_ - 1);
  }

  // Columns x0..x1 of WriteBase's row.
  void WriteBaseColumns(int ry, bool rowInTarget, int x0, int x1) {
    if (x0 > x1) return;
    const int from = rowInTarget ? std::max(targetFrom_, x0) : x1 + 1;
    const int to = rowInTarget ? std::min(targetTo_, x1) : x1;
    if (from > to) {
      Pixels::Fill(result_, x0, ry, x1 - x0 + 1, fill_);
      return;
    }
    if (from > x0) Pixels::Fill(result_, x0, ry, from - x0, fill_);
    if (to < x1) Pixels::Fill(result_, to + 1, ry, x1 - to, fill_);
    CopyToResult(*p_.target, targetX_ + (from - targetFrom_), targetY_, from, ry, to - from + 1);
  }

  // Where a quarter turn reads the pasted picture along the pasted span of
  // row y: column k of the span (rx = spanFrom_ + k) reads table entry
  // first + step k, for k in lo..hi (empty when lo > hi).
  struct QuarterLine {
    std::int64_t first = 0, step = 0;
    std::int64_t lo = 0, hi = -1;
  };

  // Column x, row y reads pasted pixel (x - left, y - top) at 0 degrees,
  // (-y - left, x - top) at 90, (-x - left, -y - top) at 180 and
  // (y - left, -x - top) at 270.
  QuarterLine QuarterLineOf(std::int64_t y) const {
    const CentredFrame& f = p_.frame;
    const std::int64_t x = p_.result.left + spanFrom_;
    std::int64_t c0, r0;
    int dc, dr;
    switch (p_.a) {
      case 0:
        c0 = x - f.left, dc = 1, r0 = y - f.top, dr = 0;
        break;
      case 9000:
        c0 = -y - f.left, dc = 0, r0 = x - f.top, dr = 1;
        break;
      case 18000:
        c0 = -x - f.left, dc = -1, r0 = -y - f.top, dr = 0;
        break;
      default:
        c0 = y - f.left, dc = 0, r0 = -x - f.top, dr = -1;
    }
    QuarterLine line;
    line.hi = spanTo_ - spanFrom_;
    ClipToSource(c0, dc, pixels_.width, line.lo, line.hi);
    ClipToSource(r0, dr, pixels_.height, line.lo, line.hi);
    if (line.lo <= line.hi) {
      line.first = pixels_.IndexOf(c0, r0);
      line.step = pixels_.IndexOf(dc, dr);
    }
    return line;
  }

  // Result column rx of the span over `base` (the target or the fill).
  QVX_LOOP_BODY Value PixelAt(int rx, const QuarterLine& line, double ys, double yc,
                              bool rowInTarget, Value base, int a) const {
    const bool inTarget = rowInTarget && rx >= targetFrom_ && rx <= targetTo_;
    Value over{};
    bool laid = false;
    if (QuarterTurn(p_.a)) {
      const int k = rx - spanFrom_;
      if (k >= line.lo && k <= line.hi) {
        const std::size_t i = static_cast<std::size_t>(line.first + line.step * k);
        laid = pixels_.UsableAt(i);
        over = pixels_.Values()[i];
      }
    } else {
      laid = BlendedPixel(rx, ys, yc, inTarget, over);
    }
    Value v = Compose<Pixels>(a, laid, inTarget || !laid ? base : over, over);
    Pixels::SetAlpha(v, 0);
    return v;
  }

  // Span columns kFrom..kTo of a general angle's colours, four at a time.
  // A group whose four positions each blend four pixels inside the pasted
  // picture goes to BlendGroup; a group wholly outside the pasted picture
  // keeps its base colours; any other goes pixel by pixel.
  QVX_LOOP_BODY void BlendedRun(const Bgra* under, Bgra* out, double ys, double yc,
                                bool rowInTarget, int a, int kFrom, int kTo) const {
    const CentredFrame& f = p_.frame;
    const int W = pixels_.width, H = pixels_.height;
    // trunc(sx) lies in left..right exactly when left - 1 < sx < right + 1;
    // sx taken into left - 1 .. right + 1 first converts in every lane and
    // keeps that test.
    const Double4 loX = Double4{} + double(f.left - 1), hiX = Double4{} + double(f.right + 1);
    const Double4 loY = Double4{} + double(f.top - 1), hiY = Double4{} + double(f.bottom + 1);
    const QuarterLine none;
    int k = kFrom;
    for (; k + 4 <= kTo + 1; k += 4) {
      Double4 sx, sy;
      PositionsAt(k, ys, yc, sx, sy);
      const Double4 cx = sx < loX ? loX : (sx > hiX ? hiX : sx);
      const Double4 cy = sy < loY ? loY : (sy > hiY ? hiY : sy);
      const Int4 ix = __builtin_convertvector(cx, Int4), iy = __builtin_convertvector(cy, Int4);
      const Int4 c = ix - f.left, r = iy - f.top;
      const Int4 inFrame = (c >= 0) & (c < W) & (r >= 0) & (r < H);
      if (NoLanes(inFrame)) {
        Byte16 u;
        std::memcpy(&u, under + k, 16);
        const Byte16 v = WithFourth(u, 0);
        std::memcpy(out + k, &v, 16);
        continue;
      }
      const Int4 hx = StepsToward(sx), vy = StepsToward(sy);
      const Int4 c1 = c + hx, r1 = r + vy;
      const Int4 inside = inFrame & (c1 >= 0) & (c1 < W) & (r1 >= 0) & (r1 < H);
      if (AllLanes(inside) && BlendGroup(k, sx, sy, ix, iy, hx, vy, under, out, rowInTarget, a))
        continue;
      for (int j = k; j < k + 4; ++j)
        out[j] = PixelAt(spanFrom_ + j, none, ys, yc, rowInTarget, under[j], a);
    }
    for (; k <= kTo; ++k) out[k] = PixelAt(spanFrom_ + k, none, ys, yc, rowInTarget, under[k], a);
  }

  // Span columns kFrom..kTo of a general angle's colours, all of them
  // inside the run where every position blends four pixels inside the
  // picture (see BlendedRow): no edge tests.
  QVX_LOOP_BODY void InteriorRun(const Bgra* under, Bgra* out, double ys, double yc,
                                 bool rowInTarget, int a, int kFrom, int kTo) const {
    const QuarterLine none;
    int k = kFrom;
    for (; k + 4 <= kTo + 1; k += 4) {
      Double4 sx, sy;
      PositionsAt(k, ys, yc, sx, sy);
      const Int4 ix = __builtin_convertvector(sx, Int4), iy = __builtin_convertvector(sy, Int4);
      if (BlendGroup(k, sx, sy, ix, iy, StepsToward(sx), StepsToward(sy), under, out, rowInTarget,
                     a))
        continue;
      for (int j = k; j < k + 4; ++j)
        out[j] = PixelAt(spanFrom_ + j, none, ys, yc, rowInTarget, under[j], a);
    }
    for (; k <= kTo; ++k) out[k] = PixelAt(spanFrom_ + k, none, ys, yc, rowInTarget, under[k], a);
  }

  // The positions (sx, sy) of span columns k..k+3 of the row whose y sin t
  // and y cos t are ys and yc.
  QVX_LOOP_BODY void PositionsAt(int k, double ys, double yc, Double4& sx, Double4& sy) const {
    Double4 xCos, xSin;
    std::memcpy(&xCos, xCos_ + k, sizeof xCos);
    std::memcpy(&xSin, xSin_ + k, sizeof xSin);
    sx = xCos - ys;
    sy = xSin + yc;
  }

  // The step toward the sign of each lane: 1 where s > 0, else -1.
  QVX_LOOP_BODY static Int4 StepsToward(Double4 s) {
    const Long4 two = reinterpret_cast<Long4>(Double4{} + 2.0);
    return __builtin_convertvector(reinterpret_cast<Double4>((s > 0) & two) - 1.0, Int4);
  }

  // Span columns k..k+3 at positions (sx, sy) whose pixels (ix, iy) and
  // their neighbours one step (hx, vy) away all lie inside the pasted
  // picture: blended in lanes, one channel of the four positions at a time,
  // with BlendedPixel's arithmetic, and mixed over under[k..k+3] into
  // out[k..k+3]. False, with nothing written, when one of the sixteen
  // pixels may not be pasted.
  QVX_LOOP_BODY bool BlendGroup(int k, Double4 sx, Double4 sy, Int4 ix, Int4 iy, Int4 hx, Int4 vy,
                                const Bgra* under, Bgra* out, bool rowInTarget, int a) const {
    const CentredFrame& f = p_.frame;
    const int W = pixels_.width;
    // Each pixel and its horizontal neighbour are one load from the left
    // one of the two.
    const Int4 left = (iy - f.top) * W + (ix - f.left) + (hx >> 1);
    Int4 top0, top1, bottom0, bottom1;
    GatherWordPairs(pixels_.Values(), left, top0, top1);
    GatherWordPairs(pixels_.Values(), left + vy * W, bottom0, bottom1);
    const Int4 right = hx > 0;
    const Int4 w00 = right ? top0 : top1, w10 = right ? top1 : top0;
    const Int4 w01 = right ? bottom0 : bottom1, w11 = right ? bottom1 : bottom0;
    // Usable pixels have the fourth byte's top bit set.
    if (!allUsable_ && !AllLanes((w00 & w10 & w01 & w11) < 0)) return false;
    const Double4 x1 = AbsLanes(sx - DoubleLanes(ix)), y1 = AbsLanes(sy - DoubleLanes(iy));
    const Double4 x0 = 1.0 - x1, y0 = 1.0 - y1;
    // Each channel's blend lies in 0..255.
    Int4 blended{};
    for (int ch = 0; ch < 3; ++ch)
      blended |= BlendLanes(x0, x1, y0, y1, ChannelLanes(w00, ch), ChannelLanes(w10, ch),
                            ChannelLanes(w01, ch), ChannelLanes(w11, ch))
                 << (8 * ch);
    const Byte16 o = reinterpret_cast<Byte16>(blended);
    if (a == 255) {
      std::memcpy(out + k, &o, 16);
      return true;
    }
    // Outside the target the pasted colour is its own base.
    Byte16 u;
    std::memcpy(&u, under + k, 16);
    const Int4 rxs = Int4{0, 1, 2, 3} + (spanFrom_ + k);
    const Int4 inTarget = rowInTarget ? (rxs >= targetFrom_) & (rxs <= targetTo_) : Int4{};
    const Byte16 base = reinterpret_cast<Byte16>(inTarget ? reinterpret_cast<Int4>(u) : blended);
    const Byte16 v = WithFourth(MixLanes(Int4{} + a, base, o), 0);
    std::memcpy(out + k, &v, 16);
    return true;
  }

  // The pasted colour at result column rx of a general angle, if any.
  QVX_LOOP_BODY bool BlendedPixel(int rx, double ys, double yc, bool inTarget, Value& over) const {
    const double sx = xCos_[rx - spanFrom_] - ys, sy = xSin_[rx - spanFrom_] + yc;
    const CentredFrame& f = p_.frame;
    // trunc(sx) lies in left..right exactly when left - 1 < sx < right + 1.
    if (!(sx > f.left - 1 && sx < f.right + 1 && sy > f.top - 1 && sy < f.bottom + 1)) return false;
    const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
    const int c = ix - f.left, r = iy - f.top;
    if constexpr (std::is_same_v<Value, BYTE>) {
      // Colour-table results take the pixel itself, without blending.
      const std::size_t i = std::size_t(r) * pixels_.width + std::size_t(c);
      if (!pixels_.UsableAt(i)) return false;
      over = pixels_.Values()[i];
      return true;
    } else {
      const int hx = sx > 0 ? 1 : -1, vy = sy > 0 ? 1 : -1;
      const BlendWeights w = WeightsFor(std::fabs(sx - ix), std::fabs(sy - iy));
      // Most positions have all four pixels inside the picture and usable.
      const int W = pixels_.width;
      if (c + hx >= 0 && c + hx < W && r + vy >= 0 && r + vy < pixels_.height) {
        const std::size_t i00 = std::size_t(r) * W + std::size_t(c);
        const std::size_t i10 = i00 + hx, i01 = i00 + std::ptrdiff_t{vy} * W, i11 = i01 + hx;
        const Value* at = pixels_.Values();
        if (at[i00].alpha & at[i10].alpha & at[i01].alpha & at[i11].alpha) {
          // BlendChannel on blue, green and red at once.
          const unsigned blended = PackLanes(BlendLanes(
              w.x0, w.x1, w.y0, w.y1, LanesOfBytes(&at[i00].blue), LanesOfBytes(&at[i10].blue),
              LanesOfBytes(&at[i01].blue), LanesOfBytes(&at[i11].blue)));
          std::memcpy(&over, &blended, 4);
          return true;
        }
      }
      const int tx = targetX_ + (rx - targetFrom_);  // target column of rx
      Value c00, h, v, d;
      const int usable =
          Neighbour(c, r, 0, 0, tx, inTarget, c00) + Neighbour(c, r, hx, 0, tx, inTarget, h) +
          Neighbour(c, r, 0, vy, tx, inTarget, v) + Neighbour(c, r, hx, vy, tx, inTarget, d);
      if (usable == 0) return false;
      const auto rgb = [](Value b) { return Rgb{b.red, b.green, b.blue}; };
      const Rgb blended = BlendColours(w, rgb(c00), rgb(h), rgb(v), rgb(d));
      over = {blended.blue, blended.green, blended.red, 0};
      return true;
    }
  }

  // Neighbour (c + dx, r + dy) of the pasted picture into `out`; 1 when it
  // is usable. A neighbour outside the picture is the fill colour, cut away
  // when the mask's index 0 does not select or the fill matches the key. A
  // neighbour cut away is replaced by the target pixel one step (dx, dy)
  // from the current one (tx, targetY_) when the current position lies in
  // the target and that pixel does, and by the fill colour otherwise.
  int Neighbour(int c, int r, int dx, int dy, int tx, bool inTarget, Value& out) const {
    const int nc = c + dx, nr = r + dy;
    bool usable;
    if (nc >= 0 && nc < pixels_.width && nr >= 0 && nr < pixels_.height) {
      const std::size_t i = std::size_t(nr) * pixels_.width + std::size_t(nc);
      usable = pixels_.UsableAt(i);
      out = pixels_.Values()[i];
    } else {
      usable = outsideUsable_;
      out = fill_;
    }
    if (usable) return 1;
    out = fill_;
    const int x = tx + dx, y = targetY_ + dy;
    if (inTarget && x >= 0 && x < p_.target->Width && y >= 0 && y < p_.target->Height)
      Pixels::Read(*p_.target, x, y, 1, &out);
    return 0;
  }

 public:
  // Whether a neighbour outside the pasted picture counts as pasted.
  bool outsideUsable_ = true;
  // Whether every pixel of the pasted picture may be pasted (no mask, no
  // colour key).
  bool allUsable_ = false;

 private:
  const Paste& p_;
  DibAccess& result_;
  const PastedPixels<Pixels>& pixels_;
  Value fill_;
  int width_ = 0;
  int targetFrom_ = 0, targetTo_ = -1, targetX_ = 0, targetY_ = 0;
  int spanFrom_ = 0, spanTo_ = -1;
  double cos_ = 1, sin_ = 0;
  double *xCos_ = nullptr, *xSin_ = nullptr;
  WorkBlock buffer_, columns_;
};

// Row ry of the result, compiled for the baseline and the AVX2 processor.
template <class Pixels>
QVX_LOOP_BODY void PasteRow(PasteRows<Pixels>* rows, int ry) {
  rows->Row(ry);
}

template <class Pixels>
bool RunPaste(const Paste& p, DibAccess& result, ProgressSlice slice) {
  using Value = typename Pixels::Value;
  const PastePlacement& at = *p.placement;
  const Bgra keyColour = LevelsOf(at.keyRed, at.keyGreen, at.keyBlue);
  const Bgra fillColour = LevelsOf(at.fillRed, at.fillGreen, at.fillBlue);
  const Value key = Pixels::Of(*p.pasted, keyColour);
  const Value fill = Pixels::Of(result, fillColour);
  PastedPixels<Pixels> pixels;
  PasteRows<Pixels> rows(p, result, pixels, fill);
  if (!pixels.Decode(p, key, !rows.plain_ && (p.a == 9000 || p.a == 27000), !rows.plain_))
    return false;
  rows.allUsable_ = !p.mask && !at.keyOn;
  rows.outsideUsable_ =
      (!p.mask || MaskSelectionOf(*p.mask).selects[0]) && !(at.keyOn && Pixels::Matches(fill, key));
  if (!rows.Allocate()) return false;
  const int height = result.Height;
  return WalkRows(height, height - 1, slice, p.noDialog, [&](int ry) {
    Vectorised<PasteRow<Pixels>>(&rows, ry);
    return true;
  });
}

BYTE Percent(int value) { return static_cast<BYTE>(value); }

}  // namespace

HGLOBAL PasteImages(HGLOBAL target, HGLOBAL pasted, HGLOBAL pastedMask,
                    const PastePlacement& placement, ProgressRange range, BOOL noDialog) {
  TwoPictures pictures;
  if (!pictures.Lock(target, kDepthAll, pasted, kDepthAll, pastedMask)) return nullptr;
  Paste p{};
  p.placement = &placement;
  p.a = NormaliseAngle(placement.angle);
  p.target = &pictures.First();
  p.pasted = &pictures.Second();
  p.mask = pictures.HasMask() ? &pictures.Mask() : nullptr;
  p.noDialog = noDialog;

  // Mirror and flip work on copies. The mirror takes the first fifth of the
  // progress range, the flip the next twentieth and one step, the mask pass
  // the fifth after that, the main pass the rest.
  const int span = range.to - range.from;
  const int fifth = static_cast<int>(0.2 * span), twentieth = static_cast<int>(0.05 * span);
  int next = range.from;
  LockedPicture pastedCopy, maskCopy;
  if (placement.mirror || placement.flip) {
    if (!pastedCopy.MakeCopy(*p.pasted) || (p.mask && !maskCopy.MakeCopy(*p.mask))) return nullptr;
    p.pasted = &pastedCopy.Record();
    DibAccess noMask{};
    DibAccess* maskArg = p.mask ? (p.mask = &maskCopy.Record()) : &noMask;
    if (placement.mirror) {
      if (!MirrorDibImage(p.pasted, maskArg, {Percent(next), Percent(next + fifth)}, noDialog))
        return nullptr;
      next += fifth + 1;
    }
    if (placement.flip) {
      if (!FlipDibImage(p.pasted, maskArg, {Percent(next), Percent(next + twentieth)}, noDialog))
        return nullptr;
      next += twentieth + 1;
    }
  }

  p.frame = PastedFrameOf(p.pasted->Width, p.pasted->Height);
  if (p.mask) {
    if (!FindPastedArea(p, {next, next + fifth})) return nullptr;
    next += fifth + 1;
  } else {
    FindPastedArea(p, {});
  }
  p.result = ResultFrame(p);
  const CompositeFormat format = DecideCompositeFormat(*p.target, *p.pasted, placement.opacity);
  LockedPicture result;
  if (!MakeComposite(result, *p.target, format, placement.opacity, p.result.Width(),
                     p.result.Height()))
    return nullptr;
  const bool done = DispatchPixelValues(format.trueColour, [&](auto pixels) {
    return RunPaste<decltype(pixels)>(p, result.Record(), {next, range.to});
  });
  return done ? result.Release() : nullptr;
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVPasteImage(HGLOBAL target, ImageHandles* pasted, int angle, BOOL mirror,
                                    BOOL flip, BYTE opacity, BOOL keyOn, int keyRed, int keyGreen,
                                    int keyBlue, int fillRed, int fillGreen, int fillBlue, int px,
                                    int py, BOOL clip, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                    DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [=] {
    const ImageHandles in = qvx::CopyHandles(pasted);
    const qvx::PastePlacement placement{angle,    mirror,   flip,    opacity, keyOn,
                                        keyRed,   keyGreen, keyBlue, fillRed, fillGreen,
                                        fillBlue, px,       py,      clip};
    return qvx::PasteImages(target, in.Picture, in.Mask, placement, qvx::kWholeProgress, noDialog);
  });
}
