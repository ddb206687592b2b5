// The packed DIB picture model and its pixel access.
//
// A picture is one movable global block: a 40-byte BITMAPINFOHEADER, the
// colour table (its size from GetDibPalSize) and bottom-up rows padded to 4
// bytes. Pixels are addressed by column x from the left and row y from the
// TOP. A locked picture is read and written through a DibAccess record, whose
// 132-byte packed layout callers see through the pixel exports.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/WinTypes.h"

// The record is declared in the public header; its layout is checked here.
#if !defined(_WIN64) && (defined(_WIN32) || defined(__i386__))
static_assert(sizeof(void*) == 4);
static_assert(sizeof(DibAccess) == 132, "DibAccess is 132 bytes");
static_assert(offsetof(DibAccess, Header) == 4);
static_assert(offsetof(DibAccess, ColorTable) == 8);
static_assert(offsetof(DibAccess, Bits) == 12);
static_assert(offsetof(DibAccess, Pixel) == 16);
static_assert(offsetof(DibAccess, ByteInRow) == 20);
static_assert(offsetof(DibAccess, BitInByte) == 24);
static_assert(offsetof(DibAccess, BitCount) == 28);
static_assert(offsetof(DibAccess, Width) == 30);
static_assert(offsetof(DibAccess, Height) == 34);
static_assert(offsetof(DibAccess, MaxX) == 38);
static_assert(offsetof(DibAccess, MaxY) == 42);
static_assert(offsetof(DibAccess, RowBytes) == 46);
static_assert(offsetof(DibAccess, RedMask) == 50);
static_assert(offsetof(DibAccess, GreenMask) == 52);
static_assert(offsetof(DibAccess, BlueMask) == 54);
static_assert(offsetof(DibAccess, ColorCount) == 56);
static_assert(offsetof(DibAccess, UseRgb) == 60);
static_assert(offsetof(DibAccess, Alpha) == 64);
#else
// Wider pointers move the later fields; the record keeps its order and the
// same 67 reserved bytes.
static_assert(offsetof(DibAccess, Alpha) + 1 + 67 == sizeof(DibAccess));
#endif

namespace qvx {

// Picture kinds: the bit count, or 40 / 80 for 4- and 8-bit grey ramps.
enum DibKind : int {
  kKind1 = 1,
  kKind4 = 4,
  kKind8 = 8,
  kKind16 = 16,
  kKind24 = 24,
  kKind32 = 32,
  kKindGrey16 = 40,
  kKindGrey256 = 80,
};

// Accepted depths, as a bit set given to StartDibAccess.
enum DepthMask : unsigned {
  kDepth1 = 0x01,
  kDepth4 = 0x02,
  kDepthGrey8 = 0x04,  // 8-bit with the 256-level grey table only
  kDepth8 = 0x08,
  kDepth16 = 0x10,
  kDepth24 = 0x20,
  kDepth32 = 0x40,
  kDepthAll = 0x7F,
  kDepthGreyAndTrue = 0x74,  // grey 8-bit, 16, 24, 32
  kDepthTrue = 0x70,
  kDepthMaskPicture = 0x01,
};

// Row stride in bytes, computed without overflow; 0 when it would not fit
// in 32 bits.
std::uint32_t RowBytesFor(int bitCount, std::int64_t width);

// Lock a picture and fill the record. On failure the record is cleared, the
// block is not left locked and the error status says why.
BOOL StartDibAccess(HGLOBAL picture, DibAccess* record, unsigned depthMask);
BOOL EndDibAccess(HGLOBAL picture, DibAccess* record);

// Fills `record` for a header already locked in a block of `blockBytes`, as
// StartDibAccess does; false (record cleared, no error status set) when the
// header is refused.
bool DescribeLockedDib(BITMAPINFOHEADER* header, SIZE_T blockBytes, unsigned depthMask,
                       DibAccess* record);

BOOL GetDibPixel(DibAccess* record, int x, int y);
BOOL SetDibPixel(DibAccess* record, int x, int y);
BOOL SeekDibPixel(DibAccess* record, int x, int y);
BOOL ReadNextDibPixel(DibAccess* record);
BOOL WriteNextDibPixel(DibAccess* record);
BOOL SkipDibPixel(DibAccess* record);

int GetDibKind(const DibAccess* record);
bool IsGrey256Table(const BITMAPINFOHEADER* header);
bool IsGrey16Table(const BITMAPINFOHEADER* header);

// What the rows of a new picture hold: zeros, or zeros after each row's
// last whole pixel byte and unwritten pixels, for a caller that writes every
// pixel (a picture-sized block is then not passed over twice).
enum class NewRows { kZero, kPixelsUnwritten };

// New unlocked pictures (null with the error status set on failure). A full
// copy (copyAll) ignores `rows`.
HGLOBAL NewDibLike(const BITMAPINFOHEADER* source, int width, int height, BOOL copyAll,
                   NewRows rows = NewRows::kZero);
HGLOBAL NewDibOfKind(const DibAccess* source, int kind, int width, int height,
                     NewRows rows = NewRows::kZero);

// A new zero-filled picture of the source's size and header fields but
// `bitCount` bits per pixel, uncompressed, with room for `slots` colour-table
// entries (biClrUsed says how many, or 0 when they fill the depth's table).
HGLOBAL NewDibOfDepth(const BITMAPINFOHEADER* source, int bitCount, std::uint32_t slots);

// The standard colour table of a kind: black and white (1), the 16 colours
// of new 4-bit pictures (4), the 6 x 6 x 6 cube, entry 36 b + 6 g + r
// holding (51 r, 51 g, 51 b) (8), the grey ramps (40, 80). Writes it when
// `table` is not null and returns its entry count (0 for kinds without).
std::uint32_t StandardColorTable(int kind, RGBQUAD* table);

void ClampRectToDib(const BITMAPINFOHEADER* header, int& x1, int& y1, int& x2, int& y2);
// The same for two points (whose coordinates are LONG, a long on Windows).
inline void ClampPointsToDib(const BITMAPINFOHEADER* header, POINT& a, POINT& b) {
  int x1 = a.x, y1 = a.y, x2 = b.x, y2 = b.y;
  ClampRectToDib(header, x1, y1, x2, y2);
  a = {x1, y1};
  b = {x2, y2};
}

// Start of row y (counted from the top) of a locked picture.
inline BYTE* DibRow(const DibAccess& record, int y) {
  return record.Bits +
         static_cast<std::size_t>(record.RowBytes) * static_cast<std::size_t>(record.MaxY - y);
}

}  // namespace qvx
