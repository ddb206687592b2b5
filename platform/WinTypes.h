// Windows types used by the library's interface.
//
// On Windows these come from <windows.h>. Elsewhere the public header declares
// the names that cross the interface and this one the few more the library
// uses, with the same sizes and layouts, so that code above the platform
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
#endif

// The basic types and records of the interface (BYTE .. DWORD, POINT, RECT,
// BITMAPINFOHEADER, RGBQUAD) come from the public header, which declares
// them for C callers too.
#include "exports/QvxEffect.h"

#if !defined(_WIN32)
#include <cstddef>

using SIZE_T = std::size_t;
using LPVOID = void*;
using LPCVOID = const void*;

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

#endif


static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");
static_assert(sizeof(RGBQUAD) == 4, "RGBQUAD is 4 bytes");
static_assert(sizeof(POINT) == 8 && sizeof(RECT) == 16, "POINT and RECT are 32-bit pairs");
