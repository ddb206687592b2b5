#include "cli/ImageFileDib.h"

#include <algorithm>
#include <cstring>

namespace qvx {

namespace {

bool IsDibDepth(int bitCount) {
  return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
         bitCount == 32;
}

bool IsPaletteDepth(int bitCount) { return bitCount <= 8; }

std::uint32_t TableEntries(int bitCount, std::uint32_t clrUsed) {
  const std::uint32_t full = 1u << bitCount;
  return clrUsed > 0 && clrUsed < full ? clrUsed : full;
}

bool MasksAre(const std::uint8_t* masks, const std::uint32_t* expected) {
  return ReadLe32(masks) == expected[0] && ReadLe32(masks + 4) == expected[1] &&
         ReadLe32(masks + 8) == expected[2];
}

bool IsGreyRamp(const RGBQUAD* table) {
  for (int i = 0; i < 256; ++i) {
    if (table[i].rgbRed != i || table[i].rgbGreen != i || table[i].rgbBlue != i) return false;
  }
  return true;
}

// Channel widening of 16-bit pixels: v * 255 / 31 (or / 63) rounded.
std::uint8_t Widen5(std::uint32_t v) {
  return static_cast<std::uint8_t>(static_cast<double>(v) * 8.225806451612902 + 0.5);
}
std::uint8_t Widen6(std::uint32_t v) {
  return static_cast<std::uint8_t>(static_cast<double>(v) * 4.0476190476190474 + 0.5);
}

}  // namespace

std::uint64_t DibRowBytes(int bitCount, std::int64_t width) {
  return (static_cast<std::uint64_t>(bitCount) * static_cast<std::uint64_t>(width) + 31) / 32 * 4;
}

bool CheckPictureSize(std::int64_t width, std::int64_t height, int bitCount, std::string& error) {
  const std::string size = std::to_string(width) + " x " + std::to_string(height);
  if (width < 1 || height < 1) {
    error = "picture has no pixels (" + size + ")";
    return false;
  }
  if (width > kMaxImageSide || height > kMaxImageSide) {
    error = "picture is too large (" + size + "; at most 30000 x 30000)";
    return false;
  }
  const std::uint64_t bytes = DibRowBytes(bitCount, width) * static_cast<std::uint64_t>(height);
  if (bytes > kMaxImageBytes) {
    error = "picture is too large (" + size + " at " + std::to_string(bitCount) + " bits needs " +
            std::to_string(bytes) + " bytes; at most 1 GiB)";
    return false;
  }
  return true;
}

bool CheckPixelBudget(std::int64_t width, std::int64_t height, std::uint64_t maxPixels,
                      std::string& error) {
  const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (pixels <= maxPixels) return true;
  error = "picture is too large (" + std::to_string(width) + " x " + std::to_string(height) +
          " is " + std::to_string(pixels) + " pixels; at most " + std::to_string(maxPixels) +
          ", see --max-pixels)";
  return false;
}

bool InspectDib(const std::uint8_t* dib, std::size_t size, DibLayout& layout, std::string& error) {
  layout = DibLayout{};
  if (!dib || size < sizeof(BITMAPINFOHEADER)) {
    error = "picture is shorter than its header";
    return false;
  }
  BITMAPINFOHEADER header;
  std::memcpy(&header, dib, sizeof header);
  if (header.biSize != sizeof(BITMAPINFOHEADER)) {
    error = "picture header size is " + std::to_string(header.biSize) + ", not 40";
    return false;
  }
  const int bits = header.biBitCount;
  if (!IsDibDepth(bits)) {
    error = "picture has an unsupported bit count (" + std::to_string(bits) + ")";
    return false;
  }
  if (!CheckPictureSize(header.biWidth, header.biHeight, bits, error)) return false;

  layout.width = header.biWidth;
  layout.height = header.biHeight;
  layout.bitCount = bits;
  layout.rowBytes = static_cast<std::uint32_t>(DibRowBytes(bits, header.biWidth));
  layout.imageBytes = static_cast<std::size_t>(layout.rowBytes) * layout.height;
  if (IsPaletteDepth(bits)) {
    layout.colorCount = TableEntries(bits, header.biClrUsed);
    layout.tableBytes = layout.colorCount * sizeof(RGBQUAD);
  } else if (bits == 16 || bits == 32) {
    if (header.biCompression == BI_BITFIELDS) {
      layout.tableBytes = 12;
    } else if (header.biCompression != BI_RGB) {
      error = "picture has an unsupported " + std::to_string(bits) + "-bit compression (" +
              std::to_string(header.biCompression) + ")";
      return false;
    }
  }
  layout.bitsOffset = sizeof(BITMAPINFOHEADER) + layout.tableBytes;
  if (size < layout.bitsOffset || size - layout.bitsOffset < layout.imageBytes) {
    error = "picture block is shorter than its header says (" + std::to_string(size) +
            " bytes, needs " + std::to_string(layout.bitsOffset + layout.imageBytes) + ")";
    return false;
  }
  if (bits >= 16 && layout.tableBytes == 12) {
    const std::uint8_t* masks = dib + sizeof(BITMAPINFOHEADER);
    const bool usable = bits == 16 ? MasksAre(masks, kMasks555) || MasksAre(masks, kMasks565)
                                   : MasksAre(masks, kMasks888);
    if (!usable) {
      error = "picture has unsupported " + std::to_string(bits) + "-bit channel masks";
      return false;
    }
    layout.is565 = bits == 16 && MasksAre(masks, kMasks565);
  }
  layout.greyRamp = bits == 8 && layout.colorCount == 256 && IsGreyRamp(DibTable(dib));
  return true;
}

DibLayout NewDib(std::vector<std::uint8_t>& dib, std::int32_t width, std::int32_t height,
                 int bitCount, std::uint32_t colorCount, const std::uint32_t* masks) {
  DibLayout layout;
  layout.width = width;
  layout.height = height;
  layout.bitCount = bitCount;
  layout.rowBytes = static_cast<std::uint32_t>(DibRowBytes(bitCount, width));
  layout.imageBytes = static_cast<std::size_t>(layout.rowBytes) * height;
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(bitCount);
  header.biCompression = BI_RGB;
  header.biSizeImage = static_cast<DWORD>(layout.imageBytes);
  if (IsPaletteDepth(bitCount)) {
    layout.colorCount = colorCount;
    layout.tableBytes = colorCount * sizeof(RGBQUAD);
    header.biClrUsed = colorCount < (1u << bitCount) ? colorCount : 0;
  } else if (masks && (bitCount == 16 || bitCount == 32)) {
    layout.tableBytes = 12;
    header.biCompression = BI_BITFIELDS;
    layout.is565 = bitCount == 16 && masks[0] == kMasks565[0];
  }
  layout.bitsOffset = sizeof header + layout.tableBytes;

  dib.assign(layout.bitsOffset + layout.imageBytes, 0);
  std::memcpy(dib.data(), &header, sizeof header);
  if (header.biCompression == BI_BITFIELDS) {
    for (int i = 0; i < 3; ++i) WriteLe32(dib.data() + sizeof header + 4 * i, masks[i]);
  }
  return layout;
}

void SetGreyRamp(RGBQUAD* table) {
  for (int i = 0; i < 256; ++i) {
    const BYTE level = static_cast<BYTE>(i);
    table[i] = RGBQUAD{level, level, level, 0};
  }
}

void SetPixelsPerMeter(std::vector<std::uint8_t>& dib, std::int32_t x, std::int32_t y) {
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(dib.data());
  header->biXPelsPerMeter = x;
  header->biYPelsPerMeter = y;
}

std::uint32_t MaxPaletteIndex(const std::uint8_t* dib, const DibLayout& layout) {
  std::uint32_t highest = 0;
  for (std::int32_t y = 0; y < layout.height; ++y) {
    const std::uint8_t* row = DibRow(dib, layout, y);
    for (std::int32_t x = 0; x < layout.width; ++x) {
      highest = std::max(highest, PaletteIndex(row, layout.bitCount, x));
    }
  }
  return highest;
}

void ReadRowBgr(const std::uint8_t* dib, const DibLayout& layout, std::int32_t y,
                std::uint8_t* bgr) {
  const std::uint8_t* row = DibRow(dib, layout, y);
  const RGBQUAD* table = DibTable(dib);
  switch (layout.bitCount) {
    case 1:
    case 4:
    case 8:
      for (std::int32_t x = 0; x < layout.width; ++x, bgr += 3) {
        const std::uint32_t index = PaletteIndex(row, layout.bitCount, x);
        const RGBQUAD entry = index < layout.colorCount ? table[index] : RGBQUAD{};
        bgr[0] = entry.rgbBlue;
        bgr[1] = entry.rgbGreen;
        bgr[2] = entry.rgbRed;
      }
      break;
    case 16: {
      const int redShift = layout.is565 ? 11 : 10;
      for (std::int32_t x = 0; x < layout.width; ++x, bgr += 3) {
        const std::uint32_t w = ReadLe16(row + 2 * x);
        bgr[0] = Widen5(w & 31);
        bgr[1] = layout.is565 ? Widen6(w >> 5 & 63) : Widen5(w >> 5 & 31);
        bgr[2] = Widen5(w >> redShift & 31);
      }
      break;
    }
    default: {
      const int step = layout.bitCount / 8;
      for (std::int32_t x = 0; x < layout.width; ++x, bgr += 3) std::memcpy(bgr, row + x * step, 3);
      break;
    }
  }
}

}  // namespace qvx
