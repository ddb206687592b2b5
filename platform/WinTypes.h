// Windows types used by the library's interface.
//
// On Windows these come from <windows.h>. Elsewhere this header declares the
// same names with the same sizes and layouts, so that code above the platform
// layer is written once against one vocabulary.
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// Leftovers of 16-bit pointers that windows.h defines as empty macros; they
// would swallow ordinary names such as `near` and `far`.
#undef near
#undef far
#else
#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using BOOL = int;
using SIZE_T = std::size_t;
using LPVOID = void*;
using LPCVOID = const void*;
using HGLOBAL = void*;

#define WINAPI
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct POINT {
  LONG x;
  LONG y;
};

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

// Text drawing: a device context and a font are the platform layer's own
// records (platform/TextDraw.h).
struct QvxTextDc;
struct QvxTextFont;
using HDC = QvxTextDc*;
using HFONT = QvxTextFont*;
using COLORREF = DWORD;

struct SIZE {
  LONG cx;
  LONG cy;
};

#define BI_RGB 0L
#define BI_BITFIELDS 3L

#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)

#endif

static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");
static_assert(sizeof(RGBQUAD) == 4, "RGBQUAD is 4 bytes");
static_assert(sizeof(POINT) == 8 && sizeof(RECT) == 16, "POINT and RECT are 32-bit pairs");
