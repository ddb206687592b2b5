// Pixel-access policies: one algorithm body, instantiated per depth.
//
// An effect writes its pixel loop once as a template over a policy and
// dispatches on the picture's kind once per call (DispatchPixels). The
// direct policies address rows by pointer; PxRecord goes through the
// DibAccess cursor operations and is the reference every direct policy is
// tested against.
//
// Every policy has:
//   const BYTE* / BYTE* Row(y)       start of row y (from the top)
//   Pos(row, x)                      position of pixel x in that row
//   Next(pos)                        the position one pixel to the right
//   Rgb Read(pos)                    the colour there (grey level for kind 80)
//   Write(pos, r, g, b)              store a computed colour: 16-bit pictures
//                                    pack it, 32-bit pictures get 0 in the
//                                    fourth byte, kind 80 gets the grey mix
//   Copy(dst, src)                   copy a pixel unchanged, all bytes
#pragma once

#include <cstdint>

#include "frame/DibAccess.h"
#include "frame/PixelFormat.h"

namespace qvx {

struct Px24 {
  const DibAccess* rec;
  static constexpr int kStep = 3;
  BYTE* Row(int y) const { return DibRow(*rec, y); }
  static BYTE* Pos(BYTE* row, int x) { return row + 3 * static_cast<std::ptrdiff_t>(x); }
  static BYTE* Next(BYTE* p) { return p + 3; }
  static Rgb Read(const BYTE* p) { return {p[2], p[1], p[0]}; }
  static void Write(BYTE* p, BYTE r, BYTE g, BYTE b) {
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
  static void Copy(BYTE* d, const BYTE* s) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
  }
};

struct Px32 {
  const DibAccess* rec;
  static constexpr int kStep = 4;
  BYTE* Row(int y) const { return DibRow(*rec, y); }
  static BYTE* Pos(BYTE* row, int x) { return row + 4 * static_cast<std::ptrdiff_t>(x); }
  static BYTE* Next(BYTE* p) { return p + 4; }
  static Rgb Read(const BYTE* p) { return {p[2], p[1], p[0]}; }
  static void Write(BYTE* p, BYTE r, BYTE g, BYTE b) {
    p[0] = b;
    p[1] = g;
    p[2] = r;
    p[3] = 0;
  }
  static void Copy(BYTE* d, const BYTE* s) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
    d[3] = s[3];
  }
};

struct Px16 {
  const DibAccess* rec;
  bool is555;
  static constexpr int kStep = 2;
  explicit Px16(const DibAccess* record) : rec(record), is555(record->RedMask == kRedMask555) {}
  BYTE* Row(int y) const { return DibRow(*rec, y); }
  static BYTE* Pos(BYTE* row, int x) { return row + 2 * static_cast<std::ptrdiff_t>(x); }
  static BYTE* Next(BYTE* p) { return p + 2; }
  Rgb Read(const BYTE* p) const {
    return Expand16(static_cast<std::uint16_t>(p[0] | (p[1] << 8)), is555);
  }
  void Write(BYTE* p, BYTE r, BYTE g, BYTE b) const {
    const std::uint16_t w = Reduce16(r, g, b, is555);
    p[0] = static_cast<BYTE>(w);
    p[1] = static_cast<BYTE>(w >> 8);
  }
  static void Copy(BYTE* d, const BYTE* s) {
    d[0] = s[0];
    d[1] = s[1];
  }
};

// 8-bit grey-ramp pictures: the index is the grey level.
struct PxGrey8 {
  const DibAccess* rec;
  static constexpr int kStep = 1;
  BYTE* Row(int y) const { return DibRow(*rec, y); }
  static BYTE* Pos(BYTE* row, int x) { return row + x; }
  static BYTE* Next(BYTE* p) { return p + 1; }
  static Rgb Read(const BYTE* p) { return {p[0], p[0], p[0]}; }
  static void Write(BYTE* p, BYTE r, BYTE g, BYTE b) { p[0] = GreyMix(r, g, b); }
  static void Copy(BYTE* d, const BYTE* s) { d[0] = s[0]; }
};

// Through the record's cursor operations, for any accepted depth. A
// position is a pixel coordinate; the policy seeks before each access.
struct PxRecord {
  DibAccess* rec;
  bool grey;  // kind 80: read through the table, write the grey mix
  struct Where {
    int x, y;
  };
  static constexpr int kStep = 0;
  explicit PxRecord(DibAccess* record);
  int Row(int y) const { return y; }
  static Where Pos(int row, int x) { return {x, row}; }
  static Where Next(Where p) { return {p.x + 1, p.y}; }
  Rgb Read(Where p) const;
  void Write(Where p, BYTE r, BYTE g, BYTE b) const;
  void Copy(Where d, const PxRecord& from, Where s) const;
};

// Calls body(px) with the direct policy of the record's kind: Px24, Px32,
// Px16 or PxGrey8. The record must have been started with a mask that
// allows only grey 8-bit, 16, 24 and 32 bits (0x74 or narrower).
template <class Body>
decltype(auto) DispatchPixels(const DibAccess& record, Body&& body) {
  switch (record.BitCount) {
    case 32:
      return body(Px32{&record});
    case 16:
      return body(Px16{&record});
    case 8:
      return body(PxGrey8{&record});
    default:
      return body(Px24{&record});
  }
}

}  // namespace qvx
