// Pictures between files and the library.
#include "cli/Pictures.h"

#include <algorithm>
#include <cstring>

#include "cli/ImageFileDib.h"
#include "cli/LargeBuffers.h"
#include "platform/QvxCom.h"

namespace qvx::cli {

namespace {

constexpr UINT kMoveable = 0x02;  // GMEM_MOVEABLE

bool IsGreyTable(const RGBQUAD* table, std::uint32_t count, int step) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const int level = static_cast<int>(i) * step;
    if (table[i].rgbRed != level || table[i].rgbGreen != level || table[i].rgbBlue != level)
      return false;
  }
  return true;
}

}  // namespace

GlobalPicture& GlobalPicture::operator=(GlobalPicture&& other) noexcept {
  if (this != &other) {
    const bool owned = other.owned_;
    Reset(other.Release());
    owned_ = owned;
  }
  return *this;
}

HGLOBAL GlobalPicture::Release() {
  HGLOBAL handle = handle_;
  handle_ = nullptr;
  return handle;
}

void GlobalPicture::Reset(HGLOBAL handle) {
  if (handle_ && handle_ != handle && owned_) GlobalFree(handle_);
  handle_ = handle;
  owned_ = true;
}

GlobalPicture ToGlobal(const Bytes& dib) {
  if (const HGLOBAL block = LargeBufferBlock(dib.data())) return GlobalPicture::Borrowed(block);
  // Every byte is written below, so the block need not start zeroed.
  GlobalPicture block(GlobalAlloc(kMoveable, dib.size()));
  if (!block.get()) return block;
  void* data = GlobalLock(block.get());
  if (!data) return GlobalPicture();
  std::memcpy(data, dib.data(), dib.size());
  GlobalUnlock(block.get());
  return block;
}

bool CopyFromGlobal(HGLOBAL block, Bytes& dib, std::string& error) {
  const SIZE_T size = GlobalSize(block);
  const auto* data = static_cast<const std::uint8_t*>(GlobalLock(block));
  if (!data) {
    error = "the result picture cannot be locked";
    return false;
  }
  bool ok = false;
  if (size >= sizeof(BITMAPINFOHEADER)) {
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(data);
    const std::uint64_t rows = DibRowBytes(header->biBitCount, header->biWidth) *
                               static_cast<std::uint64_t>(std::abs(header->biHeight));
    const std::uint64_t bytes = sizeof(BITMAPINFOHEADER) + GetDibPalSize(header) + rows;
    if (bytes <= size) {
      dib.assign(data, data + bytes);
      ok = true;
    }
  }
  GlobalUnlock(block);
  if (!ok) error = "the result picture is shorter than its header says";
  return ok;
}

bool MakeMask(const Bytes& picture, bool invert, Bytes& mask, std::string& error) {
  DibLayout source;
  if (!InspectDib(picture.data(), picture.size(), source, error)) return false;
  const DibLayout layout = NewDib(mask, source.width, source.height, 1, 2);
  RGBQUAD* table = DibTable(mask);
  table[0] = RGBQUAD{0, 0, 0, 0};
  table[1] = RGBQUAD{255, 255, 255, 0};
  std::vector<std::uint8_t> bgr(static_cast<std::size_t>(source.width) * 3);
  for (std::int32_t y = 0; y < source.height; ++y) {
    ReadRowBgr(picture.data(), source, y, bgr.data());
    std::uint8_t* row = DibRow(mask.data(), layout, y);
    for (std::int32_t x = 0; x < source.width; ++x) {
      const std::uint8_t* p = &bgr[static_cast<std::size_t>(x) * 3];
      const bool selected = (p[0] | p[1] | p[2]) != 0;
      if (selected != invert) row[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    }
  }
  return true;
}

Bytes PlanePicture(const Bytes& plane, int width, int height, int bitCount) {
  Bytes dib;
  const DibLayout layout = NewDib(dib, width, height, bitCount, bitCount == 8 ? 256 : 0);
  if (bitCount == 8) SetGreyRamp(DibTable(dib));
  for (std::int32_t y = 0; y < height; ++y) {
    const std::uint8_t* levels = &plane[static_cast<std::size_t>(y) * width];
    std::uint8_t* row = DibRow(dib.data(), layout, y);
    if (bitCount == 8) {
      std::memcpy(row, levels, static_cast<std::size_t>(width));
      continue;
    }
    for (std::int32_t x = 0; x < width; ++x) std::memset(row + 3 * x, levels[x], 3);
  }
  return dib;
}

bool PictureToPlane(const Bytes& dib, Bytes& plane) {
  DibLayout layout;
  std::string error;
  if (!InspectDib(dib.data(), dib.size(), layout, error)) return false;
  plane.resize(static_cast<std::size_t>(layout.width) * layout.height);
  std::vector<std::uint8_t> bgr(static_cast<std::size_t>(layout.width) * 3);
  for (std::int32_t y = 0; y < layout.height; ++y) {
    ReadRowBgr(dib.data(), layout, y, bgr.data());
    std::uint8_t* levels = &plane[static_cast<std::size_t>(y) * layout.width];
    for (std::int32_t x = 0; x < layout.width; ++x) levels[x] = bgr[3 * static_cast<std::size_t>(x) + 1];
  }
  return true;
}

Bytes To24Bit(const Bytes& dib) {
  DibLayout source;
  std::string error;
  Bytes result;
  if (!InspectDib(dib.data(), dib.size(), source, error)) return result;
  const DibLayout layout = NewDib(result, source.width, source.height, 24, 0);
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(dib.data());
  SetPixelsPerMeter(result, header->biXPelsPerMeter, header->biYPelsPerMeter);
  for (std::int32_t y = 0; y < source.height; ++y)
    ReadRowBgr(dib.data(), source, y, DibRow(result.data(), layout, y));
  return result;
}

void PictureSize(const Bytes& dib, int& width, int& height) {
  width = height = 0;
  if (dib.size() < sizeof(BITMAPINFOHEADER)) return;
  BITMAPINFOHEADER header;
  std::memcpy(&header, dib.data(), sizeof header);
  width = header.biWidth;
  height = std::abs(header.biHeight);
}

std::string DescribePicture(const Bytes& dib) {
  DibLayout layout;
  std::string error;
  if (!InspectDib(dib.data(), dib.size(), layout, error)) return "unreadable";
  const std::string bits = std::to_string(layout.bitCount) + "-bit";
  const RGBQUAD* table = DibTable(dib.data());
  switch (layout.bitCount) {
    case 1:
      return bits + " palette";
    case 4:
      return bits + (layout.colorCount == 16 && IsGreyTable(table, 16, 17) ? " grey" : " palette");
    case 8:
      return bits + (layout.greyRamp ? " grey" : " palette");
    case 16:
      return bits + (layout.is565 ? " 5-6-5" : " 5-5-5");
    default:
      return bits;
  }
}

}  // namespace qvx::cli
