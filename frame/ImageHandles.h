// A picture and the mask that goes with it.
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ImageHandles) == 8, "ImageHandles is two 32-bit handles");
static_assert(sizeof(ImageHandlesResult) == 8, "the pair travels as one 64-bit value");
#endif

namespace qvx {

inline ImageHandlesResult PackHandles(ImageHandles pair) {
#if defined(_WIN32) && !defined(_WIN64)
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pair.Picture)) |
         (static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pair.Mask)) << 32);
#else
  return pair;
#endif
}

inline ImageHandles UnpackHandles(ImageHandlesResult value) {
#if defined(_WIN32) && !defined(_WIN64)
  return ImageHandles{reinterpret_cast<HGLOBAL>(static_cast<std::uintptr_t>(value & 0xFFFFFFFFu)),
                      reinterpret_cast<HGLOBAL>(static_cast<std::uintptr_t>(value >> 32))};
#else
  return value;
#endif
}

}  // namespace qvx
