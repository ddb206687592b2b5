// Pixel-access policies: one algorithm body, instantiated per depth.
//
// An effect writes its pixel loop once as a template over a policy and
// dispatches on the picture's depth once per call (DispatchPixels). The
// direct policies address pixels by pointer; PxRecord goes through the
// DibAccess cursor operations for every depth and is the reference every
// direct policy is tested against. 1- and 4-bit pictures always take
// PxRecord.
//
// Every policy has:
//   Row(y)                       start of row y (from the top)
//   At(row, x)                   position of pixel x in that row
//   Next(pos), Step(pos, dx, dy) the pixel to the right, and (dx, dy) away
//   Rgb Read(pos)                the colour there (grey level for 8-bit
//                                grey ramps)
//   Neighbour(pos, dx, dy)       the colour of one of the eight neighbours
//   Write(pos, r, g, b)          store a computed colour: 16-bit pictures
//                                pack it, 32-bit pictures get 0 in the fourth
//                                byte, 8-bit grey ramps the grey mix
//   Store(pos, rgb)              the same with the grey index for 8-bit grey
//                                ramps (PxRecord: other palette pictures the
//                                nearest table entry)
//   Transfer(dst, from, src, keepAlpha)  copy a pixel as its index and
//       colours, as GetDibPixel then SetDibPixel move it: 16-bit words lose
//       the unused top bit of 5-5-5, 32-bit pixels get alpha 0 unless kept
//   Fill(dst, pixel)             a whole pixel: index for palette pictures,
//                                colours otherwise (alpha 0)
//   CopyRow(to, from, width)     repeat a result row already written
//   Lanes(pos), NeighbourLanes(pos, dx, dy), StoreLanes(pos, lanes)
//       the colours as four double lanes (blue, green, red, a lane of no
//       meaning) and Store of truncated lanes
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/DibAccess.h"
#include "frame/PixelFormat.h"
#include "frame/Simd.h"

namespace qvx {

// How an effect reaches the pixels: the direct per-depth policies, or the
// record's cursor operations (the reference the direct ones answer to).
enum class PixelRoute { kDirect, kRecord };

// A whole pixel: the palette index and the colours.
struct WholePixel {
  BYTE index;
  Rgb colour;
};

QVX_LOOP_BODY Double4 LanesOf(Rgb c) {
  return Double4{static_cast<double>(c.blue), static_cast<double>(c.green),
                 static_cast<double>(c.red), 0};
}
QVX_LOOP_BODY Rgb RgbOf(Int4 v) {
  return {static_cast<BYTE>(v[2]), static_cast<BYTE>(v[1]), static_cast<BYTE>(v[0])};
}

// What the direct policies share: addressing, and the colour operations in
// terms of the depth's Read and Write.
template <class Px, int Bytes>
struct PxDirect {
  const DibAccess* rec;
  std::ptrdiff_t stride;
  static constexpr int kStep = Bytes;
  explicit PxDirect(const DibAccess* record)
      : rec(record), stride(static_cast<std::ptrdiff_t>(record->RowBytes)) {}
  BYTE* Row(int y) const { return DibRow(*rec, y); }
  static BYTE* At(BYTE* row, int x) { return row + Bytes * static_cast<std::ptrdiff_t>(x); }
  static BYTE* Next(BYTE* p) { return p + Bytes; }
  BYTE* Step(BYTE* p, int dx, int dy) const { return p + dx * Bytes - dy * stride; }
  Rgb Neighbour(const BYTE* p, int dx, int dy) const {
    return self().Read(p + dx * Bytes - dy * stride);
  }
  void Store(BYTE* p, Rgb c) const { self().Write(p, c.red, c.green, c.blue); }
  void Fill(BYTE* p, const WholePixel& w) const { self().Store(p, w.colour); }
  [[gnu::always_inline]] Double4 Lanes(const BYTE* p) const { return LanesOf(self().Read(p)); }
  [[gnu::always_inline]] Double4 NeighbourLanes(const BYTE* p, int dx, int dy) const {
    return self().Lanes(p + dx * Bytes - dy * stride);
  }
  [[gnu::always_inline]] void StoreLanes(BYTE* p, Int4 v) const { self().Store(p, RgbOf(v)); }
  // Row `to` becomes a copy of row `from`, already written by the caller.
  void CopyRow(int to, int from, int) const {
    std::memcpy(Row(to), Row(from), static_cast<std::size_t>(stride));
  }

 private:
  const Px& self() const { return static_cast<const Px&>(*this); }
};

// Asks for the bytes of `count` pixels of row y from column x on ahead of
// their use (kWrite: to be written), for direct policies; rows read or
// written in bursts wait far less when their lines are on the way already.
template <bool kWrite, class Px>
void PrefetchRow(const Px& px, int y, int x, int count) {
  if constexpr (Px::kStep > 0) {
    const BYTE* p = Px::At(px.Row(y), x);
    const std::ptrdiff_t bytes = std::ptrdiff_t{Px::kStep} * count;
    for (std::ptrdiff_t i = 0; i < bytes; i += 64) __builtin_prefetch(p + i, kWrite);
    __builtin_prefetch(p + bytes - 1, kWrite);
  }
}

struct Px24 : PxDirect<Px24, 3> {
  using PxDirect::PxDirect;
  static Rgb Read(const BYTE* p) { return {p[2], p[1], p[0]}; }
  static void Write(BYTE* p, BYTE r, BYTE g, BYTE b) {
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
  static void Transfer(BYTE* d, const Px24&, const BYTE* s, bool) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
  }
  [[gnu::always_inline]] static Double4 Lanes(const BYTE* p) { return LanesOfBytes(p); }
  [[gnu::always_inline]] static void StoreLanes(BYTE* p, Int4 v) {
    const unsigned bytes = PackLanes(v);
    const std::uint16_t blueGreen = static_cast<std::uint16_t>(bytes);
    std::memcpy(p, &blueGreen, 2);
    p[2] = static_cast<BYTE>(bytes >> 16);
  }
};

struct Px32 : PxDirect<Px32, 4> {
  using PxDirect::PxDirect;
  static Rgb Read(const BYTE* p) { return {p[2], p[1], p[0]}; }
  static void Write(BYTE* p, BYTE r, BYTE g, BYTE b) {
    p[0] = b;
    p[1] = g;
    p[2] = r;
    p[3] = 0;
  }
  static void Transfer(BYTE* d, const Px32&, const BYTE* s, bool keepAlpha) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
    d[3] = keepAlpha ? s[3] : 0;
  }
  [[gnu::always_inline]] static Double4 Lanes(const BYTE* p) { return LanesOfBytes(p); }
  [[gnu::always_inline]] static void StoreLanes(BYTE* p, Int4 v) {
    const unsigned bytes = PackLanes(v) & 0xFFFFFFu;  // alpha 0
    std::memcpy(p, &bytes, 4);
  }
};

struct Px16 : PxDirect<Px16, 2> {
  bool is555;
  explicit Px16(const DibAccess* record)
      : PxDirect(record), is555(record->RedMask == kRedMask555) {}
  Rgb Read(const BYTE* p) const {
    return Expand16(static_cast<std::uint16_t>(p[0] | (p[1] << 8)), is555);
  }
  void Write(BYTE* p, BYTE r, BYTE g, BYTE b) const {
    const std::uint16_t w = Reduce16(r, g, b, is555);
    p[0] = static_cast<BYTE>(w);
    p[1] = static_cast<BYTE>(w >> 8);
  }
  void Transfer(BYTE* d, const Px16&, const BYTE* s, bool) const {
    // Expanding a channel and reducing it again gives the channel back; only
    // the bit 5-5-5 leaves unused is lost.
    d[0] = s[0];
    d[1] = static_cast<BYTE>(is555 ? s[1] & 0x7F : s[1]);
  }
};

// 8-bit pictures: indices move as they are; colours exist for the grey ramp
// only, whose index is its grey level.
struct Px8 : PxDirect<Px8, 1> {
  using PxDirect::PxDirect;
  static Rgb Read(const BYTE* p) { return {p[0], p[0], p[0]}; }
  static void Write(BYTE* p, BYTE r, BYTE g, BYTE b) { p[0] = GreyMix(r, g, b); }
  static void Store(BYTE* d, Rgb c) { d[0] = GreyIndex(c.red, c.green, c.blue); }
  static void Transfer(BYTE* d, const Px8&, const BYTE* s, bool) { d[0] = s[0]; }
  static void Fill(BYTE* d, const WholePixel& w) { d[0] = w.index; }
  [[gnu::always_inline]] static Double4 Lanes(const BYTE* p) {
    const double level = p[0];
    return Double4{level, level, level, 0};
  }
  [[gnu::always_inline]] static void StoreLanes(BYTE* d, Int4 v) {
    d[0] = GreyIndex(v[2], v[1], v[0]);
  }
};

// How PxRecord writes computed colours into palette pictures.
enum class PaletteWrites {
  kGreyRamp,  // Write: grey mix into grey ramps; Store: grey index into grey
              // ramps, the nearest table entry into other palettes
  kNearest,   // both: the nearest table entry into every palette picture
};

// Any depth, through the record's cursor operations. A position is a pixel
// coordinate; the policy seeks before each access. Palette pictures are
// read with UseRgb set where their colours are wanted (grey ramps, and
// every palette under kNearest); other palette pictures deliver colours
// when the caller has set UseRgb.
struct PxRecord {
  struct Where {
    int x, y;
  };
  DibAccess* rec;
  bool grey;
  bool nearest;  // palette writes store the nearest table entry
  static constexpr int kStep = 0;
  explicit PxRecord(DibAccess* record, PaletteWrites palette = PaletteWrites::kGreyRamp);
  int Row(int y) const { return y; }
  static Where At(int row, int x) { return {x, row}; }
  static Where Next(Where p) { return {p.x + 1, p.y}; }
  static Where Step(Where p, int dx, int dy) { return {p.x + dx, p.y + dy}; }
  Rgb Read(Where p) const;
  Rgb Neighbour(Where p, int dx, int dy) const;
  void Write(Where p, BYTE r, BYTE g, BYTE b) const;
  void Store(Where d, Rgb c) const;
  void Transfer(Where d, const PxRecord& from, Where s, bool keepAlpha) const;
  void Fill(Where d, const WholePixel& w) const;
  [[gnu::always_inline]] Double4 Lanes(Where p) const { return LanesOf(Read(p)); }
  [[gnu::always_inline]] Double4 NeighbourLanes(Where p, int dx, int dy) const {
    return LanesOf(Neighbour(p, dx, dy));
  }
  [[gnu::always_inline]] void StoreLanes(Where d, Int4 v) const { Store(d, RgbOf(v)); }
  void CopyRow(int to, int from, int width) const;

 private:
  // The nearest table entry, looked up once for a run of one colour.
  BYTE NearestIndex(Rgb c) const;
  // SetDibPixel of the colour fields (Index, Red, Green, Blue, Alpha).
  void WriteFields(Where d, BYTE index, Rgb c, BYTE alpha) const;
  mutable std::uint32_t lastColour_ = 0xFFFFFFFFu;  // 0x00RRGGBB of the last lookup
  mutable BYTE lastIndex_ = 0;
};

// Calls body(source policy, result policy) for two locked pictures of the
// same format: on the direct route the direct policy of the depth, chosen
// once outside the pixel loops; on the record route, for 1- and 4-bit
// pictures and, under PaletteWrites::kNearest, for every palette picture,
// the record policy.
template <class Body>
decltype(auto) DispatchPixels(PixelRoute route, DibAccess& source, DibAccess& result, Body&& body,
                              PaletteWrites palette = PaletteWrites::kGreyRamp) {
  const int depth = source.BitCount;
  assert(depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32);
  const bool byTable = palette == PaletteWrites::kNearest && depth <= 8;
  if (route == PixelRoute::kDirect && !byTable) switch (depth) {
      case 8:
        return body(Px8(&source), Px8(&result));
      case 16:
        return body(Px16(&source), Px16(&result));
      case 24:
        return body(Px24(&source), Px24(&result));
      case 32:
        return body(Px32(&source), Px32(&result));
    }
  return body(PxRecord(&source, palette), PxRecord(&result, palette));
}

}  // namespace qvx
