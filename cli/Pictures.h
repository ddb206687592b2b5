// Pictures on their way between files and the library: copies into and out
// of movable global memory, as a Windows caller hands them over, masks made
// from any picture file, and names for the kinds of picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/GlobalMemory.h"
#include "platform/WinTypes.h"

namespace qvx::cli {

using Bytes = std::vector<std::uint8_t>;

// A global block the tool hands to the library: owned (freed with GlobalFree
// when it goes) or borrowed from a buffer that outlives it.
class GlobalPicture {
 public:
  GlobalPicture() = default;
  explicit GlobalPicture(HGLOBAL handle) : handle_(handle) {}
  static GlobalPicture Borrowed(HGLOBAL handle) {
    GlobalPicture picture(handle);
    picture.owned_ = false;
    return picture;
  }
  GlobalPicture(const GlobalPicture&) = delete;
  GlobalPicture& operator=(const GlobalPicture&) = delete;
  GlobalPicture(GlobalPicture&& other) noexcept
      : owned_(other.owned_), handle_(other.Release()) {}
  GlobalPicture& operator=(GlobalPicture&& other) noexcept;
  ~GlobalPicture() { Reset(); }

  HGLOBAL get() const { return handle_; }
  HGLOBAL Release();
  void Reset(HGLOBAL handle = nullptr);

 private:
  bool owned_ = true;
  HGLOBAL handle_ = nullptr;
};

// The packed DIB as a global block for the library to read: the block the
// bytes already live in when they are one of the tool's large buffers (no
// copy), else a new movable block holding a copy; null when memory cannot
// be had.
GlobalPicture ToGlobal(const Bytes& dib);
// The packed DIB a block holds, sized from its header. False when the block
// cannot be locked or is too short for what its header says.
bool CopyFromGlobal(HGLOBAL block, Bytes& dib, std::string& error);

// A 1-bit selection mask (black = 0, white = 1) of a picture: its non-black
// pixels are selected, or with `invert` its black ones.
bool MakeMask(const Bytes& picture, bool invert, Bytes& mask, std::string& error);

// An 8-bit grey-ramp (or 24-bit grey) picture whose levels are a plane of
// width x height bytes, rows from the top.
Bytes PlanePicture(const Bytes& plane, int width, int height, int bitCount);
// The grey levels of a picture (its green channel) as a plane, rows from the
// top; false when the block is not a picture.
bool PictureToPlane(const Bytes& dib, Bytes& plane);
// The picture at 24 bits, blue-green-red, for effects that refuse its depth.
Bytes To24Bit(const Bytes& dib);

// Width and height of a packed DIB (0, 0 when it is shorter than a header).
void PictureSize(const Bytes& dib, int& width, int& height);
// "24-bit", "8-bit grey", "4-bit palette", "16-bit 5-6-5", ...
std::string DescribePicture(const Bytes& dib);

}  // namespace qvx::cli
