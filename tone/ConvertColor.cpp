// Conversion of a whole picture to another depth or kind: grey ramps by
// luminance, true colour by copying colours, deeper colour tables by
// copying (or matching) the table, and shallower ones by reducing the
// colours to a standard or median-cut palette, with or without error
// diffusion.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "frame/ErrorCodes.h"
#include "frame/PixelPolicy.h"
#include "frame/Progress.h"
#include "frame/Resources.h"
#include "tone/ConvertRows.h"
#include "tone/Dither.h"
#include "tone/MedianCut.h"
#include "tone/PaletteMatch.h"
#include "tone/ToneEffects.h"
#include "frame/ColourTables.h"

namespace qvx {
namespace {

bool IsTargetKind(int kind) {
  switch (kind) {
    case kKind1:
    case kKind4:
    case kKind8:
    case kKindGrey16:
    case kKindGrey256:
    case kKind16:
    case kKind24:
    case kKind32:
      return true;
    default:
      return false;
  }
}

int BitsOf(int kind) {
  return kind == kKindGrey16 ? 4 : (kind == kKindGrey256 ? 8 : kind);
}

// Colour-table entries of the result: the depth's full table, except 216
// for the standard 8-bit palette from anything but a grey ramp.
std::uint32_t SlotsOf(int target, bool standard, int sourceKind) {
  switch (target) {
    case kKind1:
      return 2;
    case kKind4:
    case kKindGrey16:
      return 16;
    case kKind8:
      return standard && sourceKind != kKindGrey256 ? 216 : 256;
    case kKindGrey256:
      return 256;
    default:
      return 0;
  }
}

RGBQUAD Quad(const Rgb& c) { return RGBQUAD{c.blue, c.green, c.red, 0}; }

void StandardPalette(int kind, Palette& palette) {
  RGBQUAD table[256];
  palette.count = static_cast<int>(StandardColorTable(kind, table));
  for (int i = 0; i < palette.count; ++i)
    palette.entry[i] = {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue};
}

// The pictures of one conversion and its row buffers.
struct Conversion {
  DibAccess& source;
  int sourceKind;
  DibAccess& result;
  BOOL noDialog;
  Rgb* colours;   // one row
  BYTE* indices;  // one row

  int Last() const { return source.Height - 1; }
};

// The truncated luminance levels of n pixels of a 24- or 32-bit row, read
// straight from its bytes (blue, green, red).
template <int kStep>
QVX_LOOP_BODY void LuminanceLevels(const BYTE* s, const LevelTable* w, BYTE* levels, int n) {
  for (int x = 0; x < n; ++x, s += kStep)
    levels[x] = static_cast<BYTE>(static_cast<int>(LuminanceSum(w, s[2], s[1], s[0])));
}

// 16- or 256-level grey by the truncated luminance.
bool ConvertToGrey(Conversion& c, int target) {
  WorkBlock weights;
  if (!MakeLuminanceTables(weights)) return false;
  const LevelTable* w = LuminanceTables(weights);
  StandardColorTable(target, c.result.ColorTable);
  const int width = c.source.Width;
  for (int y = 0; y <= c.Last(); ++y) {
    if (c.sourceKind == kKind24) {
      Vectorised<LuminanceLevels<3>>(static_cast<const BYTE*>(DibRow(c.source, y)), w, c.indices,
                                     width);
    } else if (c.sourceKind == kKind32) {
      Vectorised<LuminanceLevels<4>>(static_cast<const BYTE*>(DibRow(c.source, y)), w, c.indices,
                                     width);
    } else {
      ReadColourRow(c.source, c.sourceKind, y, c.colours);
      for (int x = 0; x < width; ++x) {
        const Rgb& p = c.colours[x];
        c.indices[x] = static_cast<BYTE>(static_cast<int>(LuminanceSum(w, p.red, p.green, p.blue)));
      }
    }
    if (target == kKindGrey16)
      for (int x = 0; x < width; ++x) c.indices[x] = static_cast<BYTE>(c.indices[x] / 17);
    WriteIndexRow(c.result, y, c.indices);
    if (!ReportProgress(y, c.Last(), 0, 100, c.noDialog)) return false;
  }
  return true;
}

// 24-bit pixels into 32-bit ones: 4-byte loads whose fourth byte (the next
// pixel's) is cleared; the last pixel bytewise, since its 4-byte load could
// leave the block.
QVX_LOOP_BODY void Widen24To32(const BYTE* s, BYTE* d, int n) {
  int x = 0;
  for (; x + 1 < n; ++x, s += 3, d += 4) {
    std::uint32_t v;
    std::memcpy(&v, s, 4);
    v &= 0xFFFFFFu;
    std::memcpy(d, &v, 4);
  }
  if (x < n) {
    const std::uint32_t v = s[0] | s[1] << 8 | s[2] << 16;
    std::memcpy(d, &v, 4);
  }
}

// 24-bit pixels packed into 16-bit words of the layout.
template <bool k555>
QVX_LOOP_BODY void Narrow24To16(const BYTE* s, BYTE* d, int n) {
  for (int x = 0; x < n; ++x, s += 3, d += 2) {
    const std::uint16_t w = Reduce16(s[2], s[1], s[0], k555);
    std::memcpy(d, &w, 2);
  }
}

// The rows of a 24-bit source into a 16- or 32-bit result by the loops
// above; false when cancelled.
bool CopyFrom24(Conversion& c) {
  const bool is555 = c.result.RedMask == kRedMask555;
  for (int y = 0; y <= c.Last(); ++y) {
    const BYTE* s = DibRow(c.source, y);
    BYTE* d = DibRow(c.result, y);
    if (c.result.BitCount == 32)
      Vectorised<Widen24To32>(s, d, c.source.Width);
    else if (is555)
      Vectorised<Narrow24To16<true>>(s, d, c.source.Width);
    else
      Vectorised<Narrow24To16<false>>(s, d, c.source.Width);
    if (!ReportProgress(y, c.Last(), 0, 100, c.noDialog)) return false;
  }
  return true;
}

// Sources read by a direct pixel policy go straight from row to row;
// colour-table sources through the row of colours.
bool CopyTrueColour(Conversion& c) {
  if (c.sourceKind == kKind24 && (c.result.BitCount == 16 || c.result.BitCount == 32))
    return CopyFrom24(c);
  const bool direct = c.sourceKind == kKind16 || c.sourceKind == kKind24 ||
                      c.sourceKind == kKind32 || c.sourceKind == kKindGrey256;
  bool done = true;
  if (direct) {
    WithDirectPolicy(c.source, c.sourceKind, [&](const auto& src) {
      WithDirectPolicy(c.result, c.result.BitCount, [&](const auto& dst) {
        using Src = std::decay_t<decltype(src)>;
        using Dst = std::decay_t<decltype(dst)>;
        for (int y = 0; done && y <= c.Last(); ++y) {
          auto s = Src::At(src.Row(y), 0);
          auto d = Dst::At(dst.Row(y), 0);
          for (int x = 0; x < c.source.Width; ++x, s = Src::Next(s), d = Dst::Next(d)) {
            const Rgb p = src.Read(s);
            dst.Write(d, p.red, p.green, p.blue);
          }
          done = ReportProgress(y, c.Last(), 0, 100, c.noDialog);
        }
      });
    });
    return done;
  }
  for (int y = 0; y <= c.Last(); ++y) {
    ReadColourRow(c.source, c.sourceKind, y, c.colours);
    WriteColourRow(c.result, y, c.colours);
    if (!ReportProgress(y, c.Last(), 0, 100, c.noDialog)) return false;
  }
  return true;
}

// A colour-table source to a table at least as deep: the source's table
// and indices, or the standard table with each source entry matched to its
// nearest standard entry.
bool CopyColourTable(Conversion& c, int target, bool standard) {
  BYTE map[256];
  for (int i = 0; i < 256; ++i) map[i] = static_cast<BYTE>(i);
  const std::uint32_t sourceEntries = std::min(c.source.ColorCount, c.result.ColorCount);
  if (!standard) {
    std::memcpy(c.result.ColorTable, c.source.ColorTable, sourceEntries * sizeof(RGBQUAD));
  } else {
    Palette palette;
    StandardPalette(target, palette);
    const PaletteLanes lanes(palette);
    for (int i = 0; i < palette.count; ++i) c.result.ColorTable[i] = Quad(palette.entry[i]);
    // Indices past a short source table read as black.
    for (std::uint32_t i = 0; i < 256; ++i) {
      const RGBQUAD q = i < sourceEntries ? c.source.ColorTable[i] : RGBQUAD{0, 0, 0, 0};
      map[i] = static_cast<BYTE>(
          NearestEntry(lanes, 0, palette.count, q.rgbRed, q.rgbGreen, q.rgbBlue));
    }
  }
  for (int y = 0; y <= c.Last(); ++y) {
    ReadIndexRow(c.source, y, c.indices);
    for (int x = 0; x < c.source.Width; ++x) c.indices[x] = map[c.indices[x]];
    WriteIndexRow(c.result, y, c.indices);
    if (!ReportProgress(y, c.Last(), 0, 100, c.noDialog)) return false;
  }
  return true;
}

template <class Match>
QVX_LOOP_BODY void MatchRun(const Match& match, const Rgb* colours, BYTE* indices, int width) {
  for (int x = 0; x < width; ++x)
    indices[x] = match(colours[x].red, colours[x].green, colours[x].blue);
}

template <class Match>
QVX_TARGET_AVX2 void MatchRunAvx2(const Match& match, const Rgb* colours, BYTE* indices,
                                  int width) {
  MatchRun(match, colours, indices, width);
}

template <class Match, class Load, class Store>
QVX_TARGET_AVX2 bool DiffuseErrorsAvx2(const Match& match, int width, int height,
                                       std::int32_t* ring, BYTE* indices, Load& load,
                                       Store& store) {
  return DiffuseErrors(match, width, height, ring, indices, load, store);
}

template <class Match>
bool MapRows(Conversion& c, const Match& match, bool dither, int percentFrom) {
  const int width = c.source.Width;
  if (!dither) {
    for (int y = 0; y <= c.Last(); ++y) {
      ReadColourRow(c.source, c.sourceKind, y, c.colours);
      if (HasAvx2())
        MatchRunAvx2(match, c.colours, c.indices, width);
      else
        MatchRun(match, c.colours, c.indices, width);
      WriteIndexRow(c.result, y, c.indices);
      if (!ReportProgress(y, c.Last(), percentFrom, 100, c.noDialog)) return false;
    }
    return true;
  }
  WorkBlock ring;
  if (!ring.Allocate(3 * kDitherLanes * static_cast<std::size_t>(width) * sizeof(std::int32_t)))
    return false;
  const auto load = [&](int y, std::int32_t* values) {
    ReadColourRow(c.source, c.sourceKind, y, c.colours);
    for (int x = 0; x < width; ++x, values += kDitherLanes) {
      values[0] = c.colours[x].blue;
      values[1] = c.colours[x].green;
      values[2] = c.colours[x].red;
      values[3] = 0;
    }
  };
  const auto store = [&](int y, const BYTE* indices) {
    WriteIndexRow(c.result, y, indices);
    return ReportProgress(y, c.Last(), percentFrom, 100, c.noDialog);
  };
  std::int32_t* const lanes = ring.As<std::int32_t>();
  if (HasAvx2())
    return DiffuseErrorsAvx2(match, width, c.source.Height, lanes, c.indices, load, store);
  return DiffuseErrors(match, width, c.source.Height, lanes, c.indices, load, store);
}

// Fewer colours than the source has: a standard palette (always for black
// and white and for 16 greys) or a median-cut one, then every pixel mapped.
bool Reduce(Conversion& c, int target, bool standard, bool dither, BYTE threshold) {
  Palette palette;
  int percentFrom = 0;
  if (target == kKind1 || target == kKindGrey16 || standard) {
    StandardPalette(target, palette);
  } else {
    percentFrom = target == kKind4 ? 30 : 50;
    if (!BuildMedianCutPalette(c.source, c.sourceKind, target == kKind4 ? 16 : 256, percentFrom,
                               c.noDialog, c.colours, palette))
      return false;
  }
  for (int i = 0; i < palette.count; ++i) c.result.ColorTable[i] = Quad(palette.entry[i]);
  if (target == kKind1) {
    WorkBlock weights, leastBlue;
    if (!MakeLuminanceTables(weights)) return false;
    if (!leastBlue.Allocate(65536 * sizeof(std::uint16_t))) return false;
    ThresholdMatch::Fill(LuminanceTables(weights), threshold, leastBlue.As<std::uint16_t>());
    return MapRows(c, ThresholdMatch{leastBlue.As<std::uint16_t>()}, dither, percentFrom);
  }
  if (!standard && target != kKindGrey16) return MapRows(c, BucketMatch(&palette), dither, percentFrom);
  if (target == kKind8) return MapRows(c, CubeMatch(), dither, percentFrom);
  return MapRows(c, Nearest16Match{&palette}, dither, percentFrom);
}

}  // namespace

HGLOBAL RunConvertColor(HGLOBAL picture, int target, BOOL standardPalette, BOOL dither,
                        BYTE threshold, BOOL noDialog) {
  LockedDib source;
  if (!source.Start(picture, kDepthAll)) return nullptr;
  source->UseRgb = 1;
  const int sourceKind = GetDibKind(&source.Record());
  if (!IsTargetKind(target) || target == sourceKind) {
    SetErrorStatus(kErrorBadParameter);
    return nullptr;
  }
  const bool standard = standardPalette != 0;
  OwnedBlock block(NewDibOfDepth(source->Header, BitsOf(target),
                                 SlotsOf(target, standard, sourceKind)));
  if (!block) return nullptr;
  LockedDib result;
  if (!result.Start(block.Get(), kDepthAll)) return nullptr;
  WorkBlock rowColours, rowIndices;
  const std::size_t width = static_cast<std::size_t>(source->Width);
  if (!rowColours.Allocate(width * sizeof(Rgb)) || !rowIndices.Allocate(width)) return nullptr;
  Conversion c{source.Record(), sourceKind, result.Record(), noDialog, rowColours.As<Rgb>(),
               rowIndices.As<BYTE>()};
  const int sourceBits = source->BitCount;
  bool done;
  if (target == kKindGrey16 && sourceBits > 4 && dither)
    done = Reduce(c, target, true, true, threshold);
  else if (target == kKindGrey16 || target == kKindGrey256)
    done = ConvertToGrey(c, target);
  else if (target == kKind16 || target == kKind24 || target == kKind32)
    done = CopyTrueColour(c);
  else if (target < sourceBits)
    done = Reduce(c, target, standard, dither != 0, threshold);
  else
    done = CopyColourTable(c, target, standard);
  if (!done) return nullptr;
  result.End();
  return block.Release();
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVConvertColor(HGLOBAL picture, WORD targetKind, BOOL standardPalette,
                                      BOOL dither, BYTE threshold, BOOL noDialog, DWORD dlgArg1,
                                      DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunConvertColor(picture, targetKind, standardPalette, dither, threshold, noDialog);
  });
}
