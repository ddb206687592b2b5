// Records with a fixed layout that cross the exported interface besides
// DibAccess and ImageHandles.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/WinTypes.h"

// A caller's 9 x 9 convolution kernel: row-major, weights[9 * ky + kx] for
// the source pixel kx - 4 columns and ky - 4 rows from the output pixel.
struct FilterKernel {
  std::int32_t weights[81];
};
static_assert(sizeof(FilterKernel) == 324, "FilterKernel is 81 32-bit weights");

// The description of a text mark, handed by value to the sibling library's
// font chooser (200 bytes, byte-packed).
#pragma pack(push, 1)
struct MarkTextSpec {
  BYTE Reserved[20];       // zero
  DWORD TextColor;         // COLORREF of the text
  DWORD BackColor;         // COLORREF of the background
  char FaceName[32];       // zero-terminated, at most 31 characters
  std::uint16_t FontSize;  // 1 or more
  BYTE StyleBytes[4];      // passed on unchanged
  BYTE Transparent;        // 0: opaque background
  BYTE Direction;          // 0..3
  std::uint16_t Angle;     // 0, 90, 180 or 270
  BYTE HAlign;             // 1 = centred
  BYTE VAlign;             // 1 = centred
  char Text[128];          // zero-terminated, at most 127 characters
};
#pragma pack(pop)
static_assert(sizeof(MarkTextSpec) == 200, "MarkTextSpec is 200 bytes");
static_assert(offsetof(MarkTextSpec, TextColor) == 20);
static_assert(offsetof(MarkTextSpec, FaceName) == 28);
static_assert(offsetof(MarkTextSpec, FontSize) == 60);
static_assert(offsetof(MarkTextSpec, StyleBytes) == 62);
static_assert(offsetof(MarkTextSpec, Transparent) == 66);
static_assert(offsetof(MarkTextSpec, Direction) == 67);
static_assert(offsetof(MarkTextSpec, Angle) == 68);
static_assert(offsetof(MarkTextSpec, HAlign) == 70);
static_assert(offsetof(MarkTextSpec, VAlign) == 71);
static_assert(offsetof(MarkTextSpec, Text) == 72);
