// BMP files: a 14-byte file header, an info header of one of several sizes,
// optional channel masks, a colour table, and rows found at the file
// header's pixel offset.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/ImageFile.h"
#include "cli/ImageFileDib.h"

namespace qvx {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kCoreHeaderBytes = 12;  // OS/2 1.x: 16-bit sizes, 3-byte entries
constexpr std::uint32_t kOs2HeaderBytes = 64;   // OS/2 2.x: compression 3 means Huffman
constexpr DWORD kRle8 = 1, kRle4 = 2, kJpeg = 4, kPng = 5, kAlphaBitFields = 6;

// What the reader needs from whichever info header the file has.
struct BmpHeader {
  std::int64_t width = 0;
  std::int64_t height = 0;  // made positive; topDown keeps the sign
  bool topDown = false;
  int bitCount = 0;
  DWORD compression = BI_RGB;
  DWORD clrUsed = 0;
  std::int32_t xPelsPerMeter = 0;
  std::int32_t yPelsPerMeter = 0;
  std::size_t entryBytes = 4;
  std::size_t tableStart = 0;  // first byte after the headers and masks
  std::uint32_t masks[3] = {};
};

bool Fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

std::string Hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", v);
  return text;
}

bool IsKnownInfoSize(std::uint32_t size) {
  return size == kCoreHeaderBytes || size == 40 || size == 52 || size == 56 ||
         size == kOs2HeaderBytes || size == 108 || size == 124;
}

bool ReadHeader(const std::uint8_t* data, std::size_t size, BmpHeader& h, std::string& error) {
  if (size < 2 || data[0] != 'B' || data[1] != 'M') return Fail(error, "not a BMP file");
  if (size < kFileHeaderBytes + 4) {
    return Fail(error, "truncated BMP file (" + std::to_string(size) + " bytes)");
  }
  const std::uint8_t* info = data + kFileHeaderBytes;
  const std::uint32_t infoSize = ReadLe32(info);
  if (!IsKnownInfoSize(infoSize)) {
    return Fail(error, "unsupported BMP header size " + std::to_string(infoSize));
  }
  if (size - kFileHeaderBytes < infoSize) return Fail(error, "truncated BMP header");
  h.tableStart = kFileHeaderBytes + infoSize;

  if (infoSize == kCoreHeaderBytes) {
    h.width = ReadLe16(info + 4);
    h.height = ReadLe16(info + 6);
    h.bitCount = ReadLe16(info + 10);
    h.entryBytes = 3;
  } else {
    h.width = static_cast<std::int32_t>(ReadLe32(info + 4));
    h.height = static_cast<std::int32_t>(ReadLe32(info + 8));
    h.bitCount = ReadLe16(info + 14);
    h.compression = ReadLe32(info + 16);
    h.xPelsPerMeter = static_cast<std::int32_t>(ReadLe32(info + 24));
    h.yPelsPerMeter = static_cast<std::int32_t>(ReadLe32(info + 28));
    h.clrUsed = ReadLe32(info + 32);
  }
  h.topDown = h.height < 0;
  h.height = h.topDown ? -h.height : h.height;

  switch (h.bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      return Fail(error, "unsupported BMP bit count " + std::to_string(h.bitCount));
  }
  switch (h.compression) {
    case BI_RGB:
      return true;
    case kRle8:
    case kRle4:
      if (h.bitCount != (h.compression == kRle8 ? 8 : 4)) {
        return Fail(error, "BMP run-length compression " + std::to_string(h.compression) +
                               " does not fit " + std::to_string(h.bitCount) + " bits");
      }
      if (h.topDown) return Fail(error, "run-length BMP files cannot be top-down");
      return true;
    case kJpeg:
    case kPng:
      return Fail(error, "BMP files holding JPEG or PNG data are not supported");
    case BI_BITFIELDS:
    case kAlphaBitFields:
      if (infoSize != kOs2HeaderBytes) break;
      [[fallthrough]];
    default:
      return Fail(error, "unsupported BMP compression " + std::to_string(h.compression));
  }
  if (h.bitCount != 16 && h.bitCount != 32) {
    return Fail(error, "BMP channel masks need 16 or 32 bits, not " + std::to_string(h.bitCount));
  }
  // Headers of 52 bytes and more hold the masks; after a 40-byte header they
  // follow it (with a fourth, alpha mask for BI_ALPHABITFIELDS).
  const std::uint8_t* masks = info + 40;
  if (infoSize == 40) {
    const std::size_t maskBytes = h.compression == kAlphaBitFields ? 16 : 12;
    if (size - h.tableStart < maskBytes) return Fail(error, "truncated BMP channel masks");
    masks = data + h.tableStart;
    h.tableStart += maskBytes;
  }
  for (int i = 0; i < 3; ++i) h.masks[i] = ReadLe32(masks + 4 * i);
  return true;
}

bool SameMasks(const std::uint32_t* a, const std::uint32_t* b) {
  return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// Byte of a 32-bit pixel that a mask of one whole byte selects, or -1.
int MaskByte(std::uint32_t mask) {
  for (int i = 0; i < 4; ++i) {
    if (mask == 0xFFu << 8 * i) return i;
  }
  return -1;
}

// Rows of 32-bit files whose masks put the channels in other bytes are
// rearranged into blue, green, red, fourth byte.
bool ChannelOrder(const std::uint32_t* masks, int order[4]) {
  order[0] = MaskByte(masks[2]);
  order[1] = MaskByte(masks[1]);
  order[2] = MaskByte(masks[0]);
  if (order[0] < 0 || order[1] < 0 || order[2] < 0 || order[0] == order[1] ||
      order[0] == order[2] || order[1] == order[2]) {
    return false;
  }
  order[3] = 6 - order[0] - order[1] - order[2];  // the byte no colour uses
  return true;
}

void CopyTable(const std::uint8_t* src, std::size_t entryBytes, std::uint32_t count,
               RGBQUAD* table) {
  for (std::uint32_t i = 0; i < count; ++i, src += entryBytes) {
    table[i] = RGBQUAD{src[0], src[1], src[2], entryBytes == 4 ? src[3] : BYTE{0}};
  }
}

// Unpacks RLE8 or RLE4 data into the rows of `dib`. Runs are pairs (count,
// index or two nibbles); a zero count escapes to end of line (0), end of
// picture (1), a move right and up (2, dx, dy), or a literal run (3..255
// pixels, padded to an even byte count). Pixels the data skips stay index 0.
// Every run and move is checked against the picture's edges and the data's
// end, so a hostile file can neither write outside the rows nor loop.
bool UnpackRle(const std::uint8_t* src, std::size_t size, int bitCount, const DibLayout& layout,
               std::uint8_t* dib, std::string& error) {
  const auto put = [&](std::int32_t x, std::int32_t y, std::uint32_t index) {
    std::uint8_t* row = dib + layout.bitsOffset + static_cast<std::size_t>(y) * layout.rowBytes;
    if (bitCount == 8) {
      row[x] = static_cast<std::uint8_t>(index);
    } else if (x & 1) {
      row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0xF0) | (index & 15));
    } else {
      row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & 0x0F) | (index & 15) << 4);
    }
  };
  // Rows count from the bottom, as the file stores them.
  std::int32_t x = 0, y = 0;
  std::size_t at = 0;
  const auto runTooLong = [&](std::uint32_t count) {
    return Fail(error, "BMP run of " + std::to_string(count) + " pixels at (" + std::to_string(x) +
                           ", " + std::to_string(y) + ") passes the right edge");
  };
  while (true) {
    if (size - at < 2) return Fail(error, "truncated BMP run-length data");
    const std::uint32_t count = src[at], value = src[at + 1];
    at += 2;
    if (count > 0) {
      if (y >= layout.height) return Fail(error, "BMP run-length data passes the top row");
      if (count > static_cast<std::uint32_t>(layout.width - x)) return runTooLong(count);
      for (std::uint32_t i = 0; i < count; ++i, ++x)
        put(x, y, bitCount == 8 ? value : i & 1 ? value & 15 : value >> 4);
      continue;
    }
    if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      return true;
    } else if (value == 2) {
      if (size - at < 2) return Fail(error, "truncated BMP run-length data");
      x += src[at];
      y += src[at + 1];
      at += 2;
      if (x > layout.width || y > layout.height)
        return Fail(error, "BMP run-length move leaves the picture");
    } else {
      const std::size_t bytes = bitCount == 8 ? value : (value + 1) / 2;
      const std::size_t padded = (bytes + 1) & ~std::size_t{1};
      if (size - at < padded) return Fail(error, "truncated BMP run-length data");
      if (y >= layout.height) return Fail(error, "BMP run-length data passes the top row");
      if (value > static_cast<std::uint32_t>(layout.width - x)) return runTooLong(value);
      for (std::uint32_t i = 0; i < value; ++i, ++x) {
        const std::uint8_t byte = src[at + (bitCount == 8 ? i : i / 2)];
        put(x, y, bitCount == 8 ? byte : i & 1 ? byte & 15 : byte >> 4);
      }
      at += padded;
    }
  }
}

}  // namespace

bool DecodeBmp(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& dib,
               std::string& error, std::uint64_t maxPixels) {
  dib.clear();
  BmpHeader h;
  if (!ReadHeader(data, size, h, error)) return false;
  if (!CheckPictureSize(h.width, h.height, h.bitCount, error) ||
      !CheckPixelBudget(h.width, h.height, maxPixels, error))
    return false;

  const std::uint32_t offBits = ReadLe32(data + 10);
  if (offBits < h.tableStart || offBits > size) {
    return Fail(error, "BMP pixel offset " + std::to_string(offBits) +
                           (offBits > size ? " lies past the end of the file"
                                           : " points into the headers"));
  }
  const bool rle = h.compression == kRle8 || h.compression == kRle4;
  const std::uint64_t rowBytes = DibRowBytes(h.bitCount, h.width);
  const std::uint64_t pixelBytes = rowBytes * static_cast<std::uint64_t>(h.height);
  // Two bytes of run-length data cover at most 255 x 255 pixels (a move),
  // so a short file cannot make us allocate a huge picture.
  if (rle && static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.height) >
                 (size - offBits) * std::uint64_t{32768}) {
    return Fail(error, "BMP run-length data is too short for a " + std::to_string(h.width) +
                           " x " + std::to_string(h.height) + " picture");
  }
  if (!rle && size - offBits < pixelBytes) {
    return Fail(error, "truncated BMP file: the rows need " + std::to_string(pixelBytes) +
                           " bytes, " + std::to_string(size - offBits) + " are present");
  }

  std::uint32_t colorCount = 0;
  std::uint32_t tableInFile = 0;
  const std::uint32_t* masks = nullptr;
  int order[4] = {0, 1, 2, 3};
  bool reorder = false;
  if (h.bitCount <= 8) {
    const std::uint32_t full = 1u << h.bitCount;
    colorCount = h.clrUsed > 0 && h.clrUsed < full ? h.clrUsed : full;
    // Entries missing before the pixel offset stay black.
    tableInFile = static_cast<std::uint32_t>(
        std::min<std::size_t>(colorCount, (offBits - h.tableStart) / h.entryBytes));
    if (tableInFile == 0) return Fail(error, "BMP colour table is missing");
  } else if (h.compression != BI_RGB && h.bitCount == 16) {
    if (SameMasks(h.masks, kMasks555)) {
      masks = kMasks555;
    } else if (SameMasks(h.masks, kMasks565)) {
      masks = kMasks565;
    } else {
      return Fail(error, "unsupported 16-bit BMP channel masks " + Hex(h.masks[0]) + "/" +
                             Hex(h.masks[1]) + "/" + Hex(h.masks[2]) + " (only 5-5-5 and 5-6-5)");
    }
  } else if (h.compression != BI_RGB && h.bitCount == 32) {
    if (SameMasks(h.masks, kMasks888)) {
      masks = kMasks888;
    } else if (ChannelOrder(h.masks, order)) {
      reorder = true;
    } else {
      return Fail(error, "unsupported 32-bit BMP channel masks " + Hex(h.masks[0]) + "/" +
                             Hex(h.masks[1]) + "/" + Hex(h.masks[2]));
    }
  }

  const DibLayout layout =
      NewDib(dib, static_cast<std::int32_t>(h.width), static_cast<std::int32_t>(h.height),
             h.bitCount, colorCount, masks);
  CopyTable(data + h.tableStart, h.entryBytes, tableInFile, DibTable(dib));
  SetPixelsPerMeter(dib, h.xPelsPerMeter, h.yPelsPerMeter);
  if (rle) {
    if (!UnpackRle(data + offBits, size - offBits, h.bitCount, layout, dib.data(), error)) {
      dib.clear();
      return false;
    }
    return true;
  }

  const std::uint8_t* src = data + offBits;
  for (std::int32_t r = 0; r < layout.height; ++r, src += layout.rowBytes) {
    // File row r is the bottom row r, or the top row r of a top-down file.
    std::uint8_t* dst = DibRow(dib.data(), layout, h.topDown ? r : layout.height - 1 - r);
    if (!reorder) {
      std::memcpy(dst, src, layout.rowBytes);
      continue;
    }
    for (std::int32_t x = 0; x < layout.width; ++x) {
      for (int c = 0; c < 4; ++c) dst[4 * x + c] = src[4 * x + order[c]];
    }
  }
  return true;
}

bool EncodeBmp(const std::vector<std::uint8_t>& dib, std::vector<std::uint8_t>& file,
               std::string& error, const EncodeOptions& options) {
  file.clear();
  DibLayout layout;
  if (!InspectDib(dib.data(), dib.size(), layout, error)) return false;
  const bool palette = layout.bitCount <= 8;
  const std::size_t tableBytes = palette ? layout.tableBytes : layout.is565 ? 12 : 0;
  const std::size_t offBits = kFileHeaderBytes + sizeof(BITMAPINFOHEADER) + tableBytes;
  const std::size_t total = offBits + layout.imageBytes;

  file.assign(total, 0);
  file[0] = 'B';
  file[1] = 'M';
  WriteLe32(&file[2], static_cast<std::uint32_t>(total));
  WriteLe32(&file[10], static_cast<std::uint32_t>(offBits));

  BITMAPINFOHEADER header;
  std::memcpy(&header, dib.data(), sizeof header);
  header.biPlanes = 1;
  header.biCompression = layout.is565 ? BI_BITFIELDS : BI_RGB;
  header.biSizeImage = static_cast<DWORD>(layout.imageBytes);
  header.biClrUsed = palette && layout.colorCount < (1u << layout.bitCount) ? layout.colorCount : 0;
  header.biClrImportant = 0;
  std::uint8_t* out = file.data() + kFileHeaderBytes;
  std::memcpy(out, &header, sizeof header);
  out += sizeof header;
  if (palette) {
    std::memcpy(out, dib.data() + sizeof header, tableBytes);
  } else if (layout.is565) {
    for (int i = 0; i < 3; ++i) WriteLe32(out + 4 * i, kMasks565[i]);
  }
  std::memcpy(file.data() + offBits, dib.data() + layout.bitsOffset, layout.imageBytes);
  const ImageExtras* extras = options.extras;
  if (extras && layout.bitCount == 32 &&
      extras->alpha.size() == static_cast<std::size_t>(layout.width) * layout.height) {
    for (std::int32_t y = 0; y < layout.height; ++y) {
      std::uint8_t* row = file.data() + offBits +
                          static_cast<std::size_t>(layout.height - 1 - y) * layout.rowBytes;
      const std::uint8_t* alpha = &extras->alpha[static_cast<std::size_t>(y) * layout.width];
      for (std::int32_t x = 0; x < layout.width; ++x) row[4 * x + 3] = alpha[x];
    }
  }
  return true;
}

}  // namespace qvx
