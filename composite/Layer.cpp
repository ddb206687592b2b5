// QVLayer and QVLayerEx: one picture laid over another at an offset, with
// one opacity or, from a 32-bit layer, each pixel's own fourth byte.
#include <algorithm>
#include <cstring>

#include "composite/Composite.h"
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "frame/Packed24.h"
#include "frame/Resources.h"
#include "frame/Simd.h"

namespace qvx {
namespace {

struct LayerPlacement {
  BYTE opacity;
  BOOL keyOn;
  Bgra key;
  Bgra fill;
  int dx, dy;
  BOOL clip;
  BOOL alpha;  // QVLayerEx's alpha flag
};

// What both paths need, besides the pictures.
template <class Pixels>
struct LayerRule {
  using Value = typename Pixels::Value;
  int opacity;
  bool alphaMode;  // opacity from each 32-bit layer pixel
  bool keyOn;
  Value key, fill;
  BYTE resultAlpha;

  // The result over `under` where layer pixel `over` lies; `inBase` false
  // when there is no base there (the layer then shows at full strength
  // unless transparent).
  Value Over(Value under, Value over, bool inBase) const {
    const bool shows = !(keyOn && Pixels::Matches(over, key));
    int a = opacity;
    if constexpr (std::is_same_v<Value, Bgra>)
      if (alphaMode) a = over.alpha;
    Value v = Compose<Pixels>(a, shows, inBase || !shows ? under : over, over);
    Pixels::SetAlpha(v, resultAlpha);
    return v;
  }
};

// Row buffers of the two pictures' values.
template <class Value>
struct LayerBuffers {
  WorkBlock block;
  Value* under = nullptr;
  Value* over = nullptr;
  bool Allocate(std::int64_t width) {
    if (!block.Allocate(2 * static_cast<std::size_t>(width) * sizeof(Value))) return false;
    under = block.As<Value>();
    over = under + width;
    return true;
  }
};

// Four pixels of kStep bytes (3 or 4) at the start of v as four-byte
// pixels; 24-bit ones get a fourth byte 0.
template <int kStep>
QVX_LOOP_BODY Byte16 FourBytePixels(Byte16 v) {
  if constexpr (kStep == 4)
    return v;
  else
    return Shuffle<0, 1, 2, 16, 3, 4, 5, 16, 6, 7, 8, 16, 9, 10, 11, 16>(v, Byte16{});
}

// `count` layer pixels of kOverStep bytes (24 or 32 bits) mixed over the
// pixels of kUnderStep bytes at `under` into `out` (which may be `under`),
// whose pixels have the larger of the two sizes: the rule with the opacity
// taken as 0 for a key-coloured pixel, which the mix turns into the base
// pixel. Four pixels at a time while a 16-byte move stays inside the runs.
template <int kUnderStep, int kOverStep>
QVX_LOOP_BODY void MixRunBody(BYTE* out, const BYTE* under, const BYTE* over, int count,
                              const LayerRule<ColourPixels>* rules) {
  constexpr int kOutStep = kUnderStep > kOverStep ? kUnderStep : kOverStep;
  constexpr int kWideSteps = kUnderStep == 3 || kOverStep == 3 ? 6 : 4;
  const LayerRule<ColourPixels> rule = *rules;
  const Bgra key = rule.key;
  const bool alphaMode = kOverStep == 4 && rule.alphaMode;
  const Int4 keyWord = Int4{} + (key.blue | key.green << 8 | key.red << 16);
  if constexpr (kUnderStep == 3 && kOverStep == 3) {
    if (!rule.keyOn) {
      // One opacity treats every channel alike: the runs mix as bytes.
      const int bytes = 3 * count;
      const Word16 a = Word16{} + static_cast<std::uint16_t>(rule.opacity);
      int j = 0;
      for (; j + 16 <= bytes; j += 16) {
        Byte16 u, o;
        std::memcpy(&u, under + j, 16);
        std::memcpy(&o, over + j, 16);
        const Byte16 v = MixBytes(a, u, o);
        std::memcpy(out + j, &v, 16);
      }
      for (; j < bytes; ++j) out[j] = MixLevel(rule.opacity, under[j], over[j]);
      return;
    }
  }
  int i = 0;
  for (; i + kWideSteps <= count; i += 4) {
    Byte16 u, o;
    std::memcpy(&u, under + kUnderStep * i, 16);
    std::memcpy(&o, over + kOverStep * i, 16);
    const Byte16 u4 = FourBytePixels<kUnderStep>(u), o4 = FourBytePixels<kOverStep>(o);
    const Int4 colours = reinterpret_cast<Int4>(o4);
    Int4 a = alphaMode ? (colours >> 24) & 255 : Int4{} + rule.opacity;
    if (rule.keyOn) a &= ~((colours & 0x00FFFFFF) == keyWord);
    const Byte16 mixed = MixLanes(a, u4, o4);
    // Twelve bytes only for 24 bits: a store reaching into the next step's
    // load would hold that load up.
    const Byte16 v =
        kOutStep == 4 ? WithFourth(mixed, rule.resultAlpha) : Pack24Lanes(mixed, mixed);
    std::memcpy(out + kOutStep * i, &v, 4 * kOutStep);
  }
  out += kOutStep * i;
  under += kUnderStep * i;
  over += kOverStep * i;
  for (; i < count; ++i, out += kOutStep, under += kUnderStep, over += kOverStep) {
    int a = alphaMode ? over[3] : rule.opacity;
    if (rule.keyOn && over[0] == key.blue && over[1] == key.green && over[2] == key.red) a = 0;
    for (int c = 0; c < 3; ++c) out[c] = MixLevel(a, under[c], over[c]);
    if (kOutStep == 4) out[3] = rule.resultAlpha;
  }
}
template <int kUnderStep, int kOverStep = kUnderStep>
void MixRun(BYTE* out, const BYTE* under, const BYTE* over, int count,
            const LayerRule<ColourPixels>& rule) {
  Vectorised<MixRunBody<kUnderStep, kOverStep>>(out, under, over, count, &rule);
}

// Whether the pixels of a same-format layer are mixed as their stored bytes.
template <class Pixels>
bool MixesAsBytes(const DibAccess& result) {
  return std::is_same_v<Pixels, ColourPixels> && (result.BitCount == 24 || result.BitCount == 32);
}

// The layer fits (or is cut to) the base and shares its format: the base's
// rows are copied and only the layer's pixels visited.
template <class Pixels>
bool SameFormatLayer(DibAccess& base, DibAccess& layer, DibAccess& result,
                     const LayerRule<Pixels>& rule, const LayerPlacement& at, BOOL noDialog) {
  const std::int64_t dx = at.dx, dy = at.dy;
  // Base rows under the layer are copied just before the layer is mixed
  // into them, while they are still in the cache; the others first, as the
  // two blocks of memory they are (the rows of both pictures have the same
  // size), below the layer and above it.
  const std::size_t rowBytes = base.RowBytes;
  const std::int64_t layerTop = std::max<std::int64_t>(dy, 0);
  const std::int64_t layerBottom = std::min<std::int64_t>(dy + layer.Height - 1, base.Height - 1);
  const auto copyRows = [&](std::int64_t top, std::int64_t bottom) {
    if (top > bottom) return;
    const std::size_t offset = rowBytes * std::size_t(base.MaxY - bottom);
    std::memcpy(result.Bits + offset, base.Bits + offset, rowBytes * std::size_t(bottom - top + 1));
  };
  if (layerTop > layerBottom) {
    copyRows(0, base.Height - 1);
  } else {
    copyRows(layerBottom + 1, base.Height - 1);
    copyRows(0, layerTop - 1);
  }
  // Layer columns whose base column x + dx lies in the base.
  const int from = ClampColumn(-dx, 0, layer.Width);
  const int to = ClampColumn(base.Width - 1 - dx, -1, layer.Width - 1);
  LayerBuffers<typename Pixels::Value> rows;
  if (from <= to && !rows.Allocate(to - from + 1)) return false;
  return WalkRows(layer.Height, base.Height - 1, {}, noDialog, [&](int y) {
    const std::int64_t ty = y + dy;
    if (ty < 0 || ty >= base.Height) return true;
    const int n = to - from + 1, bx = static_cast<int>(from + dx), by = static_cast<int>(ty);
    if constexpr (std::is_same_v<Pixels, ColourPixels>) {
      if (from <= to && MixesAsBytes<Pixels>(result)) {
        // The base's bytes around the layer are copied, the ones under it
        // mixed straight into the result.
        const std::size_t step = result.BitCount / 8;
        const std::size_t start = step * std::size_t(bx), end = start + step * std::size_t(n);
        // In memory order: the bytes left of the layer, under it, right of it.
        std::memcpy(DibRow(result, by), DibRow(base, by), start);
        const BYTE* over = DibRow(layer, y) + step * std::size_t(from);
        (step == 3 ? MixRun<3> : MixRun<4>)(DibRow(result, by) + start, DibRow(base, by) + start,
                                            over, n, rule);
        std::memcpy(DibRow(result, by) + end, DibRow(base, by) + end, rowBytes - end);
        return true;
      }
    }
    std::memcpy(DibRow(result, by), DibRow(base, by), rowBytes);
    if (from > to) return true;
    Pixels::Read(layer, from, y, n, rows.over);
    Pixels::Read(result, bx, by, n, rows.under);
    for (int i = 0; i < n; ++i) rows.under[i] = rule.Over(rows.under[i], rows.over[i], true);
    Pixels::Write(result, bx, by, n, rows.under);
    return true;
  });
}

// Every result pixel from the base, the layer or the fill colour; the
// result's frame (left, top) is in base coordinates.
template <class Pixels>
bool GeneralLayer(DibAccess& base, DibAccess& layer, DibAccess& result,
                  const LayerRule<Pixels>& rule, const LayerPlacement& at, std::int64_t left,
                  std::int64_t top, BOOL noDialog) {
  const int width = result.Width, height = result.Height;
  LayerBuffers<typename Pixels::Value> rows;
  if (!rows.Allocate(width)) return false;
  // Result columns of the base and of the layer.
  const int baseFrom = static_cast<int>(-left), baseTo = static_cast<int>(base.Width - 1 - left);
  const std::int64_t l0 = at.dx - left, l1 = l0 + layer.Width - 1;
  const int layerFrom = ClampColumn(l0, 0, width);
  const int layerTo = ClampColumn(l1, -1, width - 1);
  using Value = typename Pixels::Value;
  // 32-bit colours are worked on where they lie: the result's row, and the
  // layer's row when it has 32 bits too.
  constexpr bool kColours = std::is_same_v<Pixels, ColourPixels>;
  const bool inResult = kColours && result.BitCount == 32;
  const bool inLayer = kColours && layer.BitCount == 32;
  // A 24-bit base under a 32-bit result is unpacked straight into the
  // result's rows, and mixed with the layer from its own rows, every pixel
  // getting its fourth byte on the way: each row is passed over once.
  const bool direct = inResult && base.BitCount == 24;
  Value fill = rule.fill;
  Pixels::SetAlpha(fill, rule.resultAlpha);
  return WalkRows(height, height - 1, {}, noDialog, [&](int ry) {
    const std::int64_t y = top + ry, ly = y - at.dy;
    const bool rowInBase = y >= 0 && y < base.Height;
    const bool layerRow = ly >= 0 && ly < layer.Height && layerFrom <= layerTo;
    const bool directRow = direct && rowInBase;
    Value* under = inResult ? reinterpret_cast<Value*>(DibRow(result, ry)) : rows.under;
    const int n = layerTo - layerFrom + 1;
    const Value* over = rows.over;
    if (layerRow) {
      const int lx = static_cast<int>(layerFrom - l0);
      if (inLayer)
        over = reinterpret_cast<const Value*>(DibRow(layer, static_cast<int>(ly))) + lx;
      else
        Pixels::Read(layer, lx, static_cast<int>(ly), n, rows.over);
    }
    // Colours over the base mix in one loop; the rest pixel by pixel.
    int mixedFrom = 0, mixedTo = -1;
    if (kColours && rowInBase && layerRow)
      mixedFrom = std::max(layerFrom, baseFrom), mixedTo = std::min(layerTo, baseTo);
    if (rowInBase) {
      std::fill(under, under + baseFrom, directRow ? fill : rule.fill);
      std::fill(under + baseTo + 1, under + width, directRow ? fill : rule.fill);
    } else {
      std::fill(under, under + width, rule.fill);
    }
    if constexpr (kColours) {
      if (directRow) {
        const BYTE* baseRow = DibRow(base, static_cast<int>(y));
        const auto unpack = [&](int x0, int x1) {
          if (x0 <= x1)
            Vectorised<Unpack24WithFourth>(baseRow + 3 * std::size_t(x0 - baseFrom), x1 - x0 + 1,
                                           &under[x0].blue, rule.resultAlpha);
        };
        if (mixedFrom <= mixedTo) {
          unpack(baseFrom, mixedFrom - 1);
          unpack(mixedTo + 1, baseTo);
          MixRun<3, 4>(&under[mixedFrom].blue, baseRow + 3 * std::size_t(mixedFrom - baseFrom),
                       &over[mixedFrom - layerFrom].blue, mixedTo - mixedFrom + 1, rule);
        } else {
          unpack(baseFrom, baseTo);
        }
      }
    }
    if (rowInBase && !directRow) {
      Pixels::Read(base, 0, static_cast<int>(y), base.Width, under + baseFrom);
      if constexpr (kColours)
        if (mixedFrom <= mixedTo)
          MixRun<4>(&under[mixedFrom].blue, &under[mixedFrom].blue,
                    &over[mixedFrom - layerFrom].blue, mixedTo - mixedFrom + 1, rule);
    }
    // The layer's columns x0..x1 outside the mixed run.
    const auto layOver = [&](int x0, int x1) {
      for (int x = x0; x <= x1; ++x) {
        const bool inBase = rowInBase && x >= baseFrom && x <= baseTo;
        under[x] = rule.Over(under[x], over[x - layerFrom], inBase);
      }
    };
    if (layerRow && mixedFrom <= mixedTo) {
      layOver(layerFrom, mixedFrom - 1);
      layOver(mixedTo + 1, layerTo);
    } else if (layerRow) {
      layOver(layerFrom, layerTo);
    }
    if constexpr (kColours)
      if (!directRow)
        Vectorised<SetFourthBytes>(reinterpret_cast<BYTE*>(under), width, rule.resultAlpha);
    if (!inResult) Pixels::Write(result, 0, ry, width, under);
    return true;
  });
}

HGLOBAL LayerImages(HGLOBAL basePicture, HGLOBAL layerPicture, const LayerPlacement& at,
                    BOOL noDialog) {
  TwoPictures pictures;
  if (!pictures.Lock(basePicture, kDepthAll, layerPicture, kDepthAll)) return nullptr;
  DibAccess& base = pictures.First();
  DibAccess& layer = pictures.Second();
  const bool alphaMode = at.alpha && GetDibKind(&layer) == kKind32;

  // The result's frame in base coordinates; 64 bits, since offsets near the
  // int limits reach beyond them.
  const std::int64_t dx = at.dx, dy = at.dy;
  std::int64_t left = 0, top = 0, right = base.Width - 1, bottom = base.Height - 1;
  if (!at.clip) {
    left = std::min<std::int64_t>(dx, 0);
    top = std::min<std::int64_t>(dy, 0);
    right = std::max<std::int64_t>(right, layer.Width - 1 + dx);
    bottom = std::max<std::int64_t>(bottom, layer.Height - 1 + dy);
  }
  const CompositeFormat format = DecideCompositeFormat(base, layer, at.opacity);
  LockedPicture made;
  if (!MakeComposite(made, base, format, at.opacity, right - left + 1, bottom - top + 1))
    return nullptr;
  DibAccess& result = made.Record();
  const bool layerInside = dx >= 0 && dy >= 0 && layer.Width - 1 + dx <= base.Width - 1 &&
                           layer.Height - 1 + dy <= base.Height - 1;
  const bool done = DispatchPixelValues(format.trueColour, [&](auto pixels) {
    using Pixels = decltype(pixels);
    const LayerRule<Pixels> rule{at.opacity,
                                 alphaMode,
                                 at.keyOn != 0,
                                 Pixels::Of(layer, at.key),
                                 Pixels::Of(result, at.fill),
                                 static_cast<BYTE>(at.alpha ? 255 : 0)};
    if (format.sameFormat && (at.clip || layerInside))
      return SameFormatLayer(base, layer, result, rule, at, noDialog);
    return GeneralLayer(base, layer, result, rule, at, left, top, noDialog);
  });
  return done ? made.Release() : nullptr;
}

HGLOBAL LayerCall(HGLOBAL base, HGLOBAL layer, BYTE opacity, BOOL keyOn, int keyRed, int keyGreen,
                  int keyBlue, int fillRed, int fillGreen, int fillBlue, int dx, int dy, BOOL clip,
                  BOOL alpha, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  const LayerPlacement at{opacity,
                          keyOn,
                          LevelsOf(keyRed, keyGreen, keyBlue),
                          LevelsOf(fillRed, fillGreen, fillBlue),
                          dx,
                          dy,
                          clip,
                          alpha};
  return RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3},
                   [&] { return LayerImages(base, layer, at, noDialog); });
}

}  // namespace
}  // namespace qvx

QVX_API HGLOBAL WINAPI QVLayer(HGLOBAL base, HGLOBAL layer, BYTE opacity, BOOL keyOn, int keyRed,
                               int keyGreen, int keyBlue, int fillRed, int fillGreen, int fillBlue,
                               int dx, int dy, BOOL clip, BOOL noDialog, DWORD dlgArg1,
                               DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::LayerCall(base, layer, opacity, keyOn, keyRed, keyGreen, keyBlue, fillRed, fillGreen,
                        fillBlue, dx, dy, clip, FALSE, noDialog, dlgArg1, dlgArg2, dlgArg3);
}

QVX_API HGLOBAL WINAPI QVLayerEx(HGLOBAL base, HGLOBAL layer, BYTE opacity, BOOL keyOn, int keyRed,
                                 int keyGreen, int keyBlue, int fillRed, int fillGreen,
                                 int fillBlue, int dx, int dy, BOOL clip, BOOL alpha, BOOL noDialog,
                                 DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::LayerCall(base, layer, opacity, keyOn, keyRed, keyGreen, keyBlue, fillRed, fillGreen,
                        fillBlue, dx, dy, clip, alpha, noDialog, dlgArg1, dlgArg2, dlgArg3);
}
