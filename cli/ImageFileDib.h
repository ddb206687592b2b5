// Packed-DIB helpers shared by the BMP, PNG and JPEG codecs: checking a
// picture handed in for writing, building a picture being read, and turning
// rows of any depth into blue-green-red bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

namespace qvx {

constexpr std::int64_t kMaxImageSide = 30000;
constexpr std::uint64_t kMaxImageBytes = std::uint64_t{1} << 30;

constexpr std::uint32_t kMasks555[3] = {0x7C00, 0x03E0, 0x001F};
constexpr std::uint32_t kMasks565[3] = {0xF800, 0x07E0, 0x001F};
constexpr std::uint32_t kMasks888[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};

// Where the parts of a checked packed DIB lie.
struct DibLayout {
  std::int32_t width = 0;
  std::int32_t height = 0;
  int bitCount = 0;
  std::uint32_t colorCount = 0;  // palette entries (1, 4 and 8 bits only)
  std::uint32_t tableBytes = 0;  // bytes between the header and the rows
  std::uint32_t rowBytes = 0;
  std::size_t bitsOffset = 0;  // 40 + tableBytes
  std::size_t imageBytes = 0;  // rowBytes * height
  bool is565 = false;          // 16 bits: 5-6-5 rather than 5-5-5
  bool greyRamp = false;       // 8 bits with the 256-level grey table
};

inline std::uint16_t ReadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t ReadLe32(const std::uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline void WriteLe16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void WriteLe32(std::uint8_t* p, std::uint32_t v) {
  WriteLe16(p, v);
  WriteLe16(p + 2, v >> 16);
}

// Stride of one row: bits rounded up to whole 32-bit words.
std::uint64_t DibRowBytes(int bitCount, std::int64_t width);

// Refuses empty pictures and those over the size limits, naming the size.
bool CheckPictureSize(std::int64_t width, std::int64_t height, int bitCount, std::string& error);
// Whether a picture being read stays within the reader's pixel budget.
bool CheckPixelBudget(std::int64_t width, std::int64_t height, std::uint64_t maxPixels,
                      std::string& error);

// Checks that a block is a packed DIB this layer can write, and where its
// parts lie. Rows of 1, 4, 8 and 24 bits are taken as uncompressed whatever
// biCompression says, as the library does.
bool InspectDib(const std::uint8_t* dib, std::size_t size, DibLayout& layout, std::string& error);

// Replaces `dib` with a zero-filled picture (header, table, rows). Palette
// depths get `colorCount` table entries; 16- and 32-bit pictures given
// masks get BI_BITFIELDS and the masks, otherwise BI_RGB. The caller has
// checked the size with CheckPictureSize.
DibLayout NewDib(std::vector<std::uint8_t>& dib, std::int32_t width, std::int32_t height,
                 int bitCount, std::uint32_t colorCount, const std::uint32_t* masks = nullptr);

inline RGBQUAD* DibTable(std::vector<std::uint8_t>& dib) {
  return reinterpret_cast<RGBQUAD*>(dib.data() + sizeof(BITMAPINFOHEADER));
}
inline const RGBQUAD* DibTable(const std::uint8_t* dib) {
  return reinterpret_cast<const RGBQUAD*>(dib + sizeof(BITMAPINFOHEADER));
}
// Row y counted from the top.
inline std::uint8_t* DibRow(std::uint8_t* dib, const DibLayout& layout, std::int32_t y) {
  return dib + layout.bitsOffset +
         static_cast<std::size_t>(layout.height - 1 - y) * layout.rowBytes;
}
inline const std::uint8_t* DibRow(const std::uint8_t* dib, const DibLayout& layout,
                                  std::int32_t y) {
  return dib + layout.bitsOffset +
         static_cast<std::size_t>(layout.height - 1 - y) * layout.rowBytes;
}

void SetGreyRamp(RGBQUAD* table);
void SetPixelsPerMeter(std::vector<std::uint8_t>& dib, std::int32_t x, std::int32_t y);

// Palette index of pixel x of a 1-, 4- or 8-bit row.
inline std::uint32_t PaletteIndex(const std::uint8_t* row, int bitCount, std::int32_t x) {
  switch (bitCount) {
    case 1:
      return row[x >> 3] >> (7 - (x & 7)) & 1;
    case 4:
      return x & 1 ? row[x >> 1] & 15 : row[x >> 1] >> 4;
    default:
      return row[x];
  }
}

// Highest palette index any pixel uses.
std::uint32_t MaxPaletteIndex(const std::uint8_t* dib, const DibLayout& layout);

// Row y (from the top) as blue, green, red bytes, three per pixel; palette
// pixels through the table (indices past its end read black), 16-bit
// channels widened to 0..255 with rounding.
void ReadRowBgr(const std::uint8_t* dib, const DibLayout& layout, std::int32_t y,
                std::uint8_t* bgr);

}  // namespace qvx
