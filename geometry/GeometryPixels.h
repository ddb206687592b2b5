// Pixel policies of the geometric workers (private to geometry/).
//
// A worker writes its loops once as a template over a policy and picks the
// policy once per call (DispatchGeometry). The direct policies address
// pixels by pointer and extend the frame's per-depth policies; GeoRecord
// goes through GetDibPixel, SetDibPixel and the neighbour readers for every
// depth and is the reference the direct ones are tested against. 1- and
// 4-bit pictures always take GeoRecord.
//
// Every policy has, besides Row(y), At(row, x) and Next(pos):
//   Transfer(dst, from, src, keepAlpha)  copy a pixel as its index and
//       colours, as GetDibPixel then SetDibPixel move it: 16-bit words lose
//       the unused top bit of 5-5-5, 32-bit pixels get alpha 0 unless kept
//   Fill(dst, pixel)           write a whole pixel: index for palette
//                              pictures, colours otherwise (alpha 0)
//   Colour(pos), Neighbour(pos, dx, dy)  colours of a pixel and of one of
//       its eight neighbours (grey pictures: the grey level)
//   CopyRow(to, from, width)   repeat a result row already written
//   Lanes(pos), NeighbourLanes(pos, dx, dy)  the colours as four double
//       lanes: blue, green, red and a lane of no meaning
//   StoreLanes(pos, lanes)     Store of truncated lanes (blue, green, red)
//   Store(pos, rgb)            write a computed colour: 16 bits packed,
//                              32 bits with alpha 0, 8-bit grey as the grey
//                              index of the colour (GeoRecord: other
//                              palette pictures as the nearest table entry)
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/PixelPolicy.h"
#include "frame/Resources.h"
#include "geometry/NeighbourReaders.h"
#include "geometry/Sampling.h"
#include "frame/Simd.h"

namespace qvx {

// A whole pixel: the palette index and the colours.
struct WholePixel {
  BYTE index;
  Rgb colour;
};

// Which policies a worker runs on: the direct ones where a depth has one,
// or the record operations for every depth.
enum class PixelPath { kFast, kGeneric };

QVX_LOOP_BODY Double4 LanesOf(Rgb c) {
  return Double4{static_cast<double>(c.blue), static_cast<double>(c.green),
                 static_cast<double>(c.red), 0};
}
QVX_LOOP_BODY Rgb RgbOf(Int4 v) {
  return {static_cast<BYTE>(v[2]), static_cast<BYTE>(v[1]), static_cast<BYTE>(v[0])};
}

template <class Base>
struct GeoDirect : Base {
  using Pos = BYTE*;
  std::ptrdiff_t stride;
  explicit GeoDirect(const DibAccess* record)
      : Base{record}, stride(static_cast<std::ptrdiff_t>(record->RowBytes)) {}
  static Pos At(BYTE* row, int x) { return Base::Pos(row, x); }
  Pos Step(Pos p, int dx, int dy) const { return p + dx * Base::kStep - dy * stride; }
  Rgb Colour(const BYTE* p) const { return this->Read(p); }
  Rgb Neighbour(const BYTE* p, int dx, int dy) const {
    return this->Read(p + dx * Base::kStep - dy * stride);
  }
  void Store(BYTE* p, Rgb c) const { this->Write(p, c.red, c.green, c.blue); }
  void Fill(BYTE* p, const WholePixel& w) const { Store(p, w.colour); }
  [[gnu::always_inline]] Double4 Lanes(const BYTE* p) const { return LanesOf(this->Read(p)); }
  [[gnu::always_inline]] Double4 NeighbourLanes(const BYTE* p, int dx, int dy) const {
    return Lanes(p + dx * Base::kStep - dy * stride);
  }
  [[gnu::always_inline]] void StoreLanes(BYTE* p, Int4 v) const { Store(p, RgbOf(v)); }
  // Row `to` becomes a copy of row `from`, already written by the caller.
  void CopyRow(int to, int from, int) const {
    std::memcpy(this->Row(to), this->Row(from), static_cast<std::size_t>(stride));
  }
};

struct GeoPx24 : GeoDirect<Px24> {
  using GeoDirect::GeoDirect;
  static void Transfer(BYTE* d, const GeoPx24&, const BYTE* s, bool) { Px24::Copy(d, s); }
  [[gnu::always_inline]] static Double4 Lanes(const BYTE* p) { return LanesOfBytes(p); }
  [[gnu::always_inline]] Double4 NeighbourLanes(const BYTE* p, int dx, int dy) const {
    return Lanes(p + 3 * dx - dy * stride);
  }
  [[gnu::always_inline]] static void StoreLanes(BYTE* p, Int4 v) {
    const unsigned bytes = PackLanes(v);
    const std::uint16_t blueGreen = static_cast<std::uint16_t>(bytes);
    std::memcpy(p, &blueGreen, 2);
    p[2] = static_cast<BYTE>(bytes >> 16);
  }
};

struct GeoPx32 : GeoDirect<Px32> {
  using GeoDirect::GeoDirect;
  static void Transfer(BYTE* d, const GeoPx32&, const BYTE* s, bool keepAlpha) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
    d[3] = keepAlpha ? s[3] : 0;
  }
  [[gnu::always_inline]] static Double4 Lanes(const BYTE* p) { return LanesOfBytes(p); }
  [[gnu::always_inline]] Double4 NeighbourLanes(const BYTE* p, int dx, int dy) const {
    return Lanes(p + 4 * dx - dy * stride);
  }
  [[gnu::always_inline]] static void StoreLanes(BYTE* p, Int4 v) {
    const unsigned bytes = PackLanes(v) & 0xFFFFFFu;  // alpha 0
    std::memcpy(p, &bytes, 4);
  }
};

struct GeoPx16 : GeoDirect<Px16> {
  using GeoDirect::GeoDirect;
  void Transfer(BYTE* d, const GeoPx16&, const BYTE* s, bool) const {
    // Expanding a channel and reducing it again gives the channel back; only
    // the bit 5-5-5 leaves unused is lost.
    d[0] = s[0];
    d[1] = static_cast<BYTE>(is555 ? s[1] & 0x7F : s[1]);
  }
};

// 8-bit pictures: indices move as they are; colours exist for the grey ramp
// only, whose index is its grey level.
struct GeoPx8 : GeoDirect<PxGrey8> {
  using GeoDirect::GeoDirect;
  static void Transfer(BYTE* d, const GeoPx8&, const BYTE* s, bool) { d[0] = s[0]; }
  static void Fill(BYTE* d, const WholePixel& w) { d[0] = w.index; }
  static void Store(BYTE* d, Rgb c) { d[0] = GreyIndex(c.red, c.green, c.blue); }
  [[gnu::always_inline]] static Double4 Lanes(const BYTE* p) {
    const double level = p[0];
    return Double4{level, level, level, 0};
  }
  [[gnu::always_inline]] Double4 NeighbourLanes(const BYTE* p, int dx, int dy) const {
    return Lanes(p + dx - dy * stride);
  }
  [[gnu::always_inline]] static void StoreLanes(BYTE* d, Int4 v) {
    d[0] = GreyIndex(v[2], v[1], v[0]);
  }
};

// Any depth, through the record operations. Colours of a grey-ramp picture
// are read with UseRgb set, so that its grey levels arrive as colours; other
// palette pictures deliver colours when the caller has set UseRgb.
struct GeoRecord {
  struct Pos {
    int x, y;
  };
  DibAccess* rec;
  bool grey;
  explicit GeoRecord(DibAccess* record);
  int Row(int y) const { return y; }
  static Pos At(int row, int x) { return {x, row}; }
  static Pos Next(Pos p) { return {p.x + 1, p.y}; }
  static Pos Step(Pos p, int dx, int dy) { return {p.x + dx, p.y + dy}; }
  Rgb Colour(Pos p) const;
  Rgb Neighbour(Pos p, int dx, int dy) const;
  void Transfer(Pos d, const GeoRecord& from, Pos s, bool keepAlpha) const;
  void Fill(Pos d, const WholePixel& w) const;
  void Store(Pos d, Rgb c) const;
  [[gnu::always_inline]] Double4 Lanes(Pos p) const { return LanesOf(Colour(p)); }
  [[gnu::always_inline]] Double4 NeighbourLanes(Pos p, int dx, int dy) const {
    return LanesOf(Neighbour(p, dx, dy));
  }
  [[gnu::always_inline]] void StoreLanes(Pos d, Int4 v) const { Store(d, RgbOf(v)); }
  void CopyRow(int to, int from, int width) const;

 private:
  // SetDibPixel with the record's fields as given, index included.
  void WriteFields(Pos d) const;
};

// Row y of `dst` takes, pixel by pixel, the pixels columns[x] of row sy of
// `src` (Transfer without alpha).
template <class Px>
void GatherRow(const Px& dst, int y, const Px& src, int sy, const int* columns, int width) {
  const auto row = src.Row(sy);
  auto d = dst.At(dst.Row(y), 0);
  for (int x = 0; x < width; ++x, d = dst.Next(d))
    dst.Transfer(d, src, src.At(row, columns[x]), false);
}

// 24-bit pixels are read as 4 bytes and written two at a time as 8 bytes,
// the surplus bytes being overwritten by the next pixels. A 4-byte read of
// a row's last pixel stays inside the block unless the row is the last one
// in memory (the top row) and has no padding; that row, and the last pixels
// of every row, move bytewise.
inline void GatherRow(const GeoPx24& dst, int y, const GeoPx24& src, int sy, const int* columns,
                      int width) {
  const BYTE* row = src.Row(sy);
  BYTE* d = dst.Row(y);
  int x = 0;
  const bool wideReads = sy != 0 || src.stride > 3 * static_cast<std::ptrdiff_t>(src.rec->Width);
  if (wideReads) {
    const auto load = [row](int column) {
      std::uint32_t v;
      std::memcpy(&v, row + 3 * static_cast<std::ptrdiff_t>(column), 4);
      return std::uint64_t{v & 0xFFFFFFu};
    };
    for (; x + 2 < width; x += 2, d += 6) {
      const std::uint64_t pair = load(columns[x]) | (load(columns[x + 1]) << 24);
      std::memcpy(d, &pair, 8);
    }
  }
  for (; x < width; ++x, d += 3) Px24::Copy(d, row + 3 * static_cast<std::ptrdiff_t>(columns[x]));
}

// `count` result pixels from d rightwards take the source pixels from s on
// in steps of (dx, dy).
template <class Px, class Pos, class SourcePos>
void TransferRun(const Px& dst, Pos d, const Px& src, SourcePos s, int count, int dx, int dy,
                 bool keepAlpha) {
  for (int i = 0; i < count; ++i, d = dst.Next(d), s = src.Step(s, dx, dy))
    dst.Transfer(d, src, s, keepAlpha);
}

// 24-bit pixels move as one 4-byte load and store each: the load starts a
// byte before the pixel (the header lies before the first one), the store's
// fourth byte is overwritten by the next pixel; the last pixel moves bytewise.
inline void TransferRun(const GeoPx24&, BYTE* d, const GeoPx24& src, const BYTE* s, int count,
                        int dx, int dy, bool) {
  const std::ptrdiff_t step = 3 * dx - dy * src.stride;
  for (int i = 0; i < count - 1; ++i, d += 3, s += step) {
    std::uint32_t v;
    std::memcpy(&v, s - 1, 4);
    v >>= 8;
    std::memcpy(d, &v, 4);
  }
  Px24::Copy(d, s);
}

// Calls body(source policy, result policy) for two locked pictures of the
// same format.
template <class Body>
decltype(auto) DispatchGeometry(DibAccess& source, DibAccess& result, PixelPath path, Body&& body) {
  if (path == PixelPath::kFast) switch (source.BitCount) {
      case 8:
        return body(GeoPx8(&source), GeoPx8(&result));
      case 16:
        return body(GeoPx16(&source), GeoPx16(&result));
      case 24:
        return body(GeoPx24(&source), GeoPx24(&result));
      case 32:
        return body(GeoPx32(&source), GeoPx32(&result));
    }
  return body(GeoRecord(&source), GeoRecord(&result));
}

// A new picture of the geometric workers, locked for the object's life and
// freed with it unless released.
struct LockedPicture {
  OwnedBlock block;
  LockedDib dib;
  // A full copy of a locked picture, rows included.
  bool MakeCopy(const DibAccess& picture) {
    block.Reset(NewDibLike(picture.Header, picture.Width, picture.Height, TRUE));
    return block && dib.Start(block.Get(), kDepthAll);
  }
  // A picture of the same format and another size, rows zero.
  bool MakeLike(const DibAccess& like, int width, int height) {
    block.Reset(NewDibLike(like.Header, width, height, FALSE));
    return block && dib.Start(block.Get(), kDepthAll);
  }
  DibAccess& Record() { return dib.Record(); }
  HGLOBAL Release() {
    dib.End();
    return block.Release();
  }
};

}  // namespace qvx
