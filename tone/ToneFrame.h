// The frame every tone and colour effect runs in.
//
// An effect is a colour map: a function from one colour to another, with
// the tables it needs built by Prepare() once the result picture exists.
// The frame does the rest: the selection, the result picture, and the path
// by picture kind:
//   - colour-table pictures (kinds 1, 4, 8) remap their colour table only,
//     ignoring the selection; their cost is the table's, not the picture's;
//   - 16-, 24-, 32-bit and 8-bit grey-ramp pictures map every selected pixel
//     of the work rectangle, grey-ramp pictures storing the grey mix of the
//     mapped colour as their index;
//   - 4-bit grey-ramp pictures are not handled: null, error status unchanged.
// Progress is reported per colour-table entry or per row.
//
// A map type provides
//   bool Prepare(colours)        build its tables for mapping that many
//                                colours; false with the error set
//   Rgb operator()(Rgb) const    the mapping
// and may derive from ChannelCurves when every output channel is a table of
// the same input channel, which lets rows be mapped byte by byte. A map may
// also offer WithKernel(body), calling body with a small copyable function
// object equal to operator(), for the pixel loops.
#pragma once

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "frame/LockedPicture.h"
#include "frame/PixelFormat.h"
#include "frame/PixelPolicy.h"
#include "frame/Progress.h"
#include "frame/Resources.h"
#include "frame/Selection.h"
#include "frame/Simd.h"

namespace qvx {

struct ToneSetup {
  unsigned depthMask = kDepthAll;
  // 8-bit grey-ramp pictures remap their colour table like other palette
  // pictures instead of their pixels.
  bool greyRampByTable = false;
  BOOL noDialog = FALSE;
  PixelRoute route = PixelRoute::kDirect;
};

// A map whose output channels are tables of the same input channel.
struct ChannelCurves {
  BYTE red[256];
  BYTE green[256];
  BYTE blue[256];
  Rgb operator()(Rgb c) const { return {red[c.red], green[c.green], blue[c.blue]}; }
  // Fills the tables from level(channel, v): channel 0 red, 1 green, 2 blue.
  template <class Level>
  void Fill(Level&& level) {
    for (int v = 0; v < 256; ++v) {
      red[v] = level(0, v);
      green[v] = level(1, v);
      blue[v] = level(2, v);
    }
  }
};

// Jobs of at least this many colours pay for per-call lookup tables that
// a few thousand colours would not.
inline constexpr std::int64_t kTabulateFrom = std::int64_t{1} << 18;

namespace tone_detail {

// Calls body(kernel) with the map's per-colour function as a small
// copyable object the loop can keep in registers: what map.WithKernel hands
// over for maps that have one, otherwise a reference to the map.
template <class Map, class Body>
void WithKernel(const Map& map, Body&& body) {
  if constexpr (requires { map.WithKernel(body); })
    map.WithKernel(body);
  else
    body([&map](Rgb c) { return map(c); });
}

// Maps the pixels x0..x1 of one row through kernel, one pixel at a time
// (run through Vectorised).
template <class Px, class Kernel, class Row>
QVX_LOOP_BODY void MapRun(const Px& src, const Px& dst, Kernel kernel, Row srow, Row drow, int x0,
                          int x1) {
  auto s = Px::At(srow, x0);
  auto d = Px::At(drow, x0);
  for (int x = x0; x <= x1; ++x) {
    const Rgb c = kernel(src.Read(s));
    dst.Write(d, c.red, c.green, c.blue);
    s = Px::Next(s);
    d = Px::Next(d);
  }
}

template <class Px, class Map>
struct PixelByPixel {
  template <class Row>
  void Run(Row srow, Row drow, int x0, int x1) const {
    WithKernel(map, [&](auto kernel) {
      Vectorised<MapRun<Px, decltype(kernel), Row>>(src, dst, kernel, srow, drow, x0, x1);
    });
  }
  const Px& src;
  const Px& dst;
  const Map& map;
};

// How the rows of a picture are mapped: pixel by pixel unless the depth
// and the map allow better. Ready() is false (error 3 set) when a lookup
// table could not be had.
template <class Px, class Map>
struct RowMapper : PixelByPixel<Px, Map> {
  RowMapper(const Px& source, const Px& result, const Map& m, std::int64_t)
      : PixelByPixel<Px, Map>{source, result, m} {}
  bool Ready() const { return true; }
};

// Grey-ramp pictures: the written index depends only on the read one, so
// the 256 answers are worked out once.
template <class Map>
struct RowMapper<Px8, Map> {
  RowMapper(const Px8&, const Px8&, const Map& map, std::int64_t) {
    for (int v = 0; v < 256; ++v) {
      const BYTE level = static_cast<BYTE>(v);
      const Rgb c = map(Rgb{level, level, level});
      index[v] = GreyMix(c.red, c.green, c.blue);
    }
  }
  bool Ready() const { return true; }
  void Run(const BYTE* srow, BYTE* drow, int x0, int x1) const {
    for (int x = x0; x <= x1; ++x) drow[x] = index[srow[x]];
  }
  BYTE index[256];
};

inline std::uint16_t LoadWord(const BYTE* p) {
  std::uint16_t w;
  std::memcpy(&w, p, 2);
  return w;
}
inline void StoreWord(BYTE* p, std::uint16_t w) { std::memcpy(p, &w, 2); }

// 16-bit pictures: the written word depends only on the read one, so large
// jobs work out all 65536 answers first.
template <class Map>
struct RowMapper<Px16, Map> {
  RowMapper(const Px16& source, const Px16& result, const Map& m, std::int64_t colours)
      : each{source, result, m} {
    if (colours < kTabulateFrom) return;
    if (!table.Allocate(65536 * sizeof(std::uint16_t))) {
      ready = false;
      return;
    }
    words = table.As<std::uint16_t>();
    for (int w = 0; w < 65536; ++w) {
      BYTE in[2] = {static_cast<BYTE>(w), static_cast<BYTE>(w >> 8)};
      BYTE out[2];
      const Rgb c = m(source.Read(in));
      result.Write(out, c.red, c.green, c.blue);
      words[w] = LoadWord(out);
    }
  }
  bool Ready() const { return ready; }
  void Run(BYTE* srow, BYTE* drow, int x0, int x1) const {
    if (!words) return each.Run(srow, drow, x0, x1);
    for (int x = x0; x <= x1; ++x) StoreWord(drow + 2 * x, words[LoadWord(srow + 2 * x)]);
  }
  PixelByPixel<Px16, Map> each;
  WorkBlock table;
  std::uint16_t* words = nullptr;
  bool ready = true;
};

template <class Map>
constexpr bool kPerChannel = std::is_base_of_v<ChannelCurves, Map>;

// 24-bit pictures under per-channel curves: a row is a run of bytes blue,
// green, red, each mapped through its channel's table. Large jobs map two
// bytes at a time: two pixels are the byte pairs (blue, green), (red,
// blue), (green, red), each with a table of 65536 answers.
template <class Map>
requires kPerChannel<Map>
struct RowMapper<Px24, Map> {
  RowMapper(const Px24&, const Px24&, const Map& m, std::int64_t colours) : map(m) {
    if (colours < kTabulateFrom) return;
    if (!table.Allocate(3 * 65536 * sizeof(std::uint16_t))) {
      ready = false;
      return;
    }
    pairs = table.As<std::uint16_t>();
    // Byte i of a row belongs to channel i % 3; pair k holds bytes 2k, 2k + 1.
    const BYTE* const channel[3] = {map.blue, map.green, map.red};
    for (int k = 0; k < 3; ++k)
      for (int w = 0; w < 65536; ++w)
        pairs[k * 65536 + w] = static_cast<std::uint16_t>(channel[2 * k % 3][w & 255] |
                                                          channel[(2 * k + 1) % 3][w >> 8] << 8);
  }
  bool Ready() const { return ready; }
  void Run(const BYTE* srow, BYTE* drow, int x0, int x1) const {
    const BYTE* s = srow + 3 * static_cast<std::ptrdiff_t>(x0);
    BYTE* d = drow + 3 * static_cast<std::ptrdiff_t>(x0);
    int x = x0;
    // Four pixels are twelve bytes read and written as 8 + 4; the table
    // pointer is held locally, as the byte stores could otherwise change it.
    if (const std::uint16_t* const t = pairs) {
      for (; x + 3 <= x1; x += 4, s += 12, d += 12) {
        std::uint64_t low;
        std::uint32_t high;
        std::memcpy(&low, s, 8);
        std::memcpy(&high, s + 8, 4);
        const std::uint64_t outLow =
            std::uint64_t{t[low & 0xFFFF]} | std::uint64_t{t[65536 + ((low >> 16) & 0xFFFF)]} << 16 |
            std::uint64_t{t[2 * 65536 + ((low >> 32) & 0xFFFF)]} << 32 |
            std::uint64_t{t[low >> 48]} << 48;
        const std::uint32_t outHigh =
            std::uint32_t{t[65536 + (high & 0xFFFF)]} | std::uint32_t{t[2 * 65536 + (high >> 16)]} << 16;
        std::memcpy(d, &outLow, 8);
        std::memcpy(d + 8, &outHigh, 4);
      }
      for (; x < x1; x += 2, s += 6, d += 6) {
        StoreWord(d, t[LoadWord(s)]);
        StoreWord(d + 2, t[65536 + LoadWord(s + 2)]);
        StoreWord(d + 4, t[2 * 65536 + LoadWord(s + 4)]);
      }
    }
    for (; x <= x1; ++x, s += 3, d += 3) {
      d[0] = map.blue[s[0]];
      d[1] = map.green[s[1]];
      d[2] = map.red[s[2]];
    }
  }
  const Map& map;
  WorkBlock table;
  std::uint16_t* pairs = nullptr;
  bool ready = true;
};

// 32-bit pictures under per-channel curves: the fourth byte becomes 0.
template <class Map>
requires kPerChannel<Map>
struct RowMapper<Px32, Map> {
  RowMapper(const Px32&, const Px32&, const Map& m, std::int64_t) : map(m) {}
  bool Ready() const { return true; }
  void Run(const BYTE* srow, BYTE* drow, int x0, int x1) const {
    const BYTE* s = srow + 4 * static_cast<std::ptrdiff_t>(x0);
    BYTE* d = drow + 4 * static_cast<std::ptrdiff_t>(x0);
    for (int x = x0; x <= x1; ++x, s += 4, d += 4) {
      std::uint32_t word;
      std::memcpy(&word, s, 4);
      word = std::uint32_t{map.blue[word & 255]} |
             (std::uint32_t{map.green[(word >> 8) & 255]} << 8) |
             (std::uint32_t{map.red[(word >> 16) & 255]} << 16);
      std::memcpy(d, &word, 4);
    }
  }
  const Map& map;
};

template <class Px, class Map>
bool MapRows(const Selection& selection, DibAccess& source, DibAccess& result, const Px& src,
             const Px& dst, const Map& map, std::int64_t colours, bool padRows, BOOL noDialog) {
  const WorkRect& rect = selection.Rect();
  const RowMapper<Px, Map> mapper(src, dst, map, colours);
  if (!mapper.Ready()) return false;
  for (int y = rect.top; y <= rect.bottom; ++y) {
    const auto srow = src.Row(y);
    const auto drow = dst.Row(y);
    selection.ForEachRun(y, [&](int x0, int x1) { mapper.Run(srow, drow, x0, x1); });
    if (padRows) CopyRowPadding(source, result, y);
    if (!ReportProgress(y - rect.top, rect.bottom - rect.top, 0, 100, noDialog)) return false;
  }
  return true;
}

template <class Map>
bool MapPixels(const Selection& selection, DibAccess& source, DibAccess& result, const Map& map,
               std::int64_t colours, bool padRows, const ToneSetup& setup) {
  return DispatchPixels(setup.route, source, result, [&](auto src, auto dst) {
    return MapRows(selection, source, result, src, dst, map, colours, padRows, setup.noDialog);
  });
}

template <class Map>
bool MapColorTable(DibAccess& result, const Map& map, BOOL noDialog) {
  const int last = static_cast<int>(result.ColorCount) - 1;
  for (int i = 0; i <= last; ++i) {
    RGBQUAD& entry = result.ColorTable[i];
    const Rgb c = map(Rgb{entry.rgbRed, entry.rgbGreen, entry.rgbBlue});
    entry.rgbRed = c.red;
    entry.rgbGreen = c.green;
    entry.rgbBlue = c.blue;
    if (!ReportProgress(i, last, 0, 100, noDialog)) return false;
  }
  return true;
}

}  // namespace tone_detail

// Runs a tone effect: null with the error status set on failure (or left
// as it was for 4-bit grey-ramp pictures).
template <class Map>
HGLOBAL RunTone(const SelectionArgs& args, const ToneSetup& setup, Map& map) {
  Selection selection;
  if (!selection.Begin(args, setup.depthMask)) return nullptr;
  DibAccess& source = selection.Source().Record();
  const int kind = GetDibKind(&source);
  if (kind == kKindGrey16) return nullptr;
  const bool byTable = kind == kKind1 || kind == kKind4 || kind == kKind8 ||
                       (kind == kKindGrey256 && setup.greyRampByTable);
  // A pixel path that writes every pixel need not copy the rows first.
  const bool writesAll = !byTable && SelectsWholePicture(selection);
  const WorkRect& rect = selection.Rect();
  // How many colours the map will be asked for: a grey-ramp picture's
  // pixels are worked out once per level.
  const std::int64_t area =
      rect.Empty() ? 0 : std::int64_t{rect.right - rect.left + 1} * (rect.bottom - rect.top + 1);
  const std::int64_t colours =
      byTable ? source.ColorCount
              : (kind == kKindGrey256 ? std::min<std::int64_t>(area, 256) : area);
  LockedPicture result;
  if (!result.Make(source, !writesAll)) return nullptr;
  if (!map.Prepare(colours)) return nullptr;
  const bool done = byTable ? tone_detail::MapColorTable(result.Record(), map, setup.noDialog)
                            : tone_detail::MapPixels(selection, source, result.Record(), map,
                                                     colours, writesAll, setup);
  return done ? result.Release() : nullptr;
}

}  // namespace qvx
