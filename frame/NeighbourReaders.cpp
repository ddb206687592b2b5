// The neighbour readers: step the cursor to the neighbour, read it with the
// frame's own cursor read, and put the cursor back.
#include "frame/NeighbourReaders.h"

#include <cstddef>

namespace qvx {
namespace {

// dx: -1, 0 or +1 columns; dy: -1 (up, one stride higher in memory), 0 or
// +1 (down).
void ReadNeighbour(DibAccess* record, int dx, int dy) {
  BYTE* const pixel = record->Pixel;
  const std::int32_t byteInRow = record->ByteInRow;
  const std::int32_t bitInByte = record->BitInByte;
  BYTE* p = pixel - static_cast<std::ptrdiff_t>(dy) * static_cast<std::ptrdiff_t>(record->RowBytes);
  std::int32_t bit = bitInByte;
  std::int32_t byte = byteInRow;
  switch (record->BitCount) {
    case 1:
    case 4: {
      // Sub-byte pixels: the bit (or nibble) position moves, crossing into
      // the next byte past its last position and into the previous one
      // before its first.
      const std::int32_t last = record->BitCount == 1 ? 7 : 1;
      bit += dx;
      if (bit > last) {
        bit = 0;
        ++p;
        ++byte;
      } else if (bit < 0) {
        bit = last;
        --p;
        --byte;
      }
      break;
    }
    case 8:
      p += dx;
      break;
    case 16:
      p += 2 * dx;
      break;
    case 24:
      p += 3 * dx;
      break;
    case 32:
      p += 4 * dx;
      break;
    default:
      return;  // not a picture depth: the record stays as it is
  }
  record->Pixel = p;
  record->ByteInRow = byte;
  record->BitInByte = bit;
  ReadNextDibPixel(record);
  record->Pixel = pixel;
  record->ByteInRow = byteInRow;
  record->BitInByte = bitInByte;
}

}  // namespace

void GetDibPixelRight(DibAccess* record) { ReadNeighbour(record, 1, 0); }
void GetDibPixelLeft(DibAccess* record) { ReadNeighbour(record, -1, 0); }
void GetDibPixelUp(DibAccess* record) { ReadNeighbour(record, 0, -1); }
void GetDibPixelDown(DibAccess* record) { ReadNeighbour(record, 0, 1); }
void GetDibPixelDownRight(DibAccess* record) { ReadNeighbour(record, 1, 1); }
void GetDibPixelDownLeft(DibAccess* record) { ReadNeighbour(record, -1, 1); }
void GetDibPixelUpRight(DibAccess* record) { ReadNeighbour(record, 1, -1); }
void GetDibPixelUpLeft(DibAccess* record) { ReadNeighbour(record, -1, -1); }

NeighbourReader NeighbourReaderFor(int dx, int dy) {
  static constexpr NeighbourReader kReaders[3][3] = {
      {GetDibPixelUpLeft, GetDibPixelUp, GetDibPixelUpRight},
      {GetDibPixelLeft, nullptr, GetDibPixelRight},
      {GetDibPixelDownLeft, GetDibPixelDown, GetDibPixelDownRight},
  };
  if (dx < -1 || dx > 1 || dy < -1 || dy > 1) return nullptr;
  return kReaders[dy + 1][dx + 1];
}

}  // namespace qvx
