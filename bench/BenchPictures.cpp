#include "BenchPictures.h"

#include <cstring>

#include "frame/DibAccess.h"

namespace qvx::bench {

HGLOBAL MakeBenchPicture(int bitCount, int width, int height) {
  const int tableEntries = bitCount <= 8 ? (1 << bitCount) : 0;
  const std::uint32_t rowBytes = RowBytesFor(bitCount, width);
  const std::size_t bytes = 40 + tableEntries * 4 + std::size_t{rowBytes} * height;
  HGLOBAL block = GlobalAlloc(GHND, bytes);
  auto* data = static_cast<BYTE*>(GlobalLock(block));
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(data);
  *header = BITMAPINFOHEADER{40, width, height, 1, static_cast<WORD>(bitCount), BI_RGB,
                             static_cast<DWORD>(rowBytes * height), 0, 0, 0, 0};
  auto* table = reinterpret_cast<RGBQUAD*>(data + 40);
  for (int i = 0; i < tableEntries; ++i) {
    const BYTE level = static_cast<BYTE>(i * 255 / (tableEntries - 1));
    table[i] = RGBQUAD{level, level, level, 0};
  }
  BYTE* rows = data + 40 + tableEntries * 4;
  std::uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    BYTE* row = rows + std::size_t{rowBytes} * y;
    for (std::uint32_t i = 0; i < rowBytes; ++i) {
      noise = noise * 1664525u + 1013904223u;
      row[i] = static_cast<BYTE>((i * 7 + y * 3) / 16 + (noise >> 28));
    }
  }
  GlobalUnlock(block);
  return block;
}

}  // namespace qvx::bench
