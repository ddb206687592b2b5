// A picture and the mask that goes with it.
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

#pragma pack(push, 4)
struct ImageHandles {
  HGLOBAL Picture;  // packed DIB
  HGLOBAL Mask;     // its 1-bit mask picture, or 0
};
#pragma pack(pop)

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ImageHandles) == 8, "ImageHandles is two 32-bit handles");
// A pair returned by value travels as one 64-bit value: Picture in the low
// half, Mask in the high half (EDX:EAX).
using ImageHandlesResult = std::uint64_t;
#else
// Where handles are wider than 32 bits the pair is returned as the record.
using ImageHandlesResult = ImageHandles;
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
