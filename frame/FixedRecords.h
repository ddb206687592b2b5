// Records with a fixed layout that cross the exported interface besides
// DibAccess and ImageHandles.
#pragma once

#include <cstddef>

#include "platform/WinTypes.h"

// The records are declared in the public header; their layouts are checked
// here.
static_assert(sizeof(FilterKernel) == 324, "FilterKernel is 81 32-bit weights");

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
