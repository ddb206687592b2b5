// Runs of pixels decoded and encoded per depth.
#include "frame/PictureRows.h"

#include <cstring>

#include "frame/Packed24.h"
#include "frame/PixelFormat.h"

namespace qvx {
namespace {

BYTE* RunStart(const DibAccess& picture, int x, int y) {
  return DibRow(picture, y) + (static_cast<std::size_t>(x) * picture.BitCount) / 8;
}

// Index of pixel x of a palette row.
BYTE IndexAt(const BYTE* row, int bits, int x) {
  switch (bits) {
    case 1:
      return static_cast<BYTE>((row[x >> 3] >> (7 - (x & 7))) & 1);
    case 4:
      return static_cast<BYTE>(x & 1 ? row[x >> 1] & 0x0F : row[x >> 1] >> 4);
    default:
      return row[x];
  }
}

void PutIndex(BYTE* row, int bits, int x, BYTE index) {
  switch (bits) {
    case 1: {
      const BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
      row[x >> 3] = static_cast<BYTE>(index ? row[x >> 3] | bit : row[x >> 3] & ~bit);
      break;
    }
    case 4:
      row[x >> 1] = static_cast<BYTE>(x & 1 ? (row[x >> 1] & 0xF0) | (index & 0x0F)
                                            : (row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
      break;
    default:
      row[x] = index;
  }
}

Bgra Unpack16(const BYTE* p, bool is555) {
  const Rgb c = Expand16(static_cast<std::uint16_t>(p[0] | (p[1] << 8)), is555);
  return {c.blue, c.green, c.red, 0};
}

void Pack16(BYTE* p, Bgra c, bool is555) {
  const std::uint16_t word = Reduce16(c.red, c.green, c.blue, is555);
  p[0] = static_cast<BYTE>(word);
  p[1] = static_cast<BYTE>(word >> 8);
}

}  // namespace

void ReadColourRun(const DibAccess& picture, int x, int y, int count, Bgra* out) {
  const BYTE* row = DibRow(picture, y);
  switch (picture.BitCount) {
    case 16: {
      const bool is555 = picture.RedMask == kRedMask555;
      const BYTE* p = row + 2 * static_cast<std::size_t>(x);
      for (int i = 0; i < count; ++i, p += 2) out[i] = Unpack16(p, is555);
      return;
    }
    case 24:
      Vectorised<Unpack24<true>>(row + 3 * static_cast<std::size_t>(x), count, &out->blue);
      return;
    case 32:
      std::memcpy(out, row + 4 * static_cast<std::size_t>(x), 4 * static_cast<std::size_t>(count));
      return;
    default: {
      const RGBQUAD* table = picture.ColorTable;
      const std::uint32_t entries = picture.ColorCount;
      for (int i = 0; i < count; ++i) {
        const BYTE index = IndexAt(row, picture.BitCount, x + i);
        out[i] = index < entries
                     ? Bgra{table[index].rgbBlue, table[index].rgbGreen, table[index].rgbRed, 0}
                     : Bgra{0, 0, 0, 0};
      }
    }
  }
}

void WriteColourRun(const DibAccess& picture, int x, int y, int count, const Bgra* in) {
  BYTE* p = RunStart(picture, x, y);
  switch (picture.BitCount) {
    case 16: {
      const bool is555 = picture.RedMask == kRedMask555;
      for (int i = 0; i < count; ++i, p += 2) Pack16(p, in[i], is555);
      return;
    }
    case 24:
      Vectorised<Pack24>(p, count, &in->blue);
      return;
    case 32:
      std::memcpy(p, in, 4 * static_cast<std::size_t>(count));
      return;
  }
}

void FillColourRun(const DibAccess& picture, int x, int y, int count, Bgra colour) {
  BYTE* p = RunStart(picture, x, y);
  switch (picture.BitCount) {
    case 16: {
      BYTE word[2];
      Pack16(word, colour, picture.RedMask == kRedMask555);
      for (int i = 0; i < count; ++i, p += 2) std::memcpy(p, word, 2);
      return;
    }
    case 24:
      for (int i = 0; i < count; ++i, p += 3) {
        p[0] = colour.blue;
        p[1] = colour.green;
        p[2] = colour.red;
      }
      return;
    case 32:
      for (int i = 0; i < count; ++i, p += 4) std::memcpy(p, &colour, 4);
      return;
  }
}

void ReadIndexRun(const DibAccess& picture, int x, int y, int count, BYTE* out) {
  const BYTE* row = DibRow(picture, y);
  if (picture.BitCount == 8) {
    std::memcpy(out, row + x, static_cast<std::size_t>(count));
    return;
  }
  for (int i = 0; i < count; ++i) out[i] = IndexAt(row, picture.BitCount, x + i);
}

void WriteIndexRun(const DibAccess& picture, int x, int y, int count, const BYTE* in) {
  BYTE* row = DibRow(picture, y);
  if (picture.BitCount == 8) {
    std::memcpy(row + x, in, static_cast<std::size_t>(count));
    return;
  }
  for (int i = 0; i < count; ++i) PutIndex(row, picture.BitCount, x + i, in[i]);
}

void FillIndexRun(const DibAccess& picture, int x, int y, int count, BYTE index) {
  BYTE* row = DibRow(picture, y);
  if (picture.BitCount == 8) {
    std::memset(row + x, index, static_cast<std::size_t>(count));
    return;
  }
  for (int i = 0; i < count; ++i) PutIndex(row, picture.BitCount, x + i, index);
}

bool RunsCopyAsBytes(const DibAccess& from, const DibAccess& to) {
  return from.BitCount == to.BitCount && (from.BitCount == 8 || from.BitCount == 24);
}

void CopyRunBytes(const DibAccess& from, int fromX, int fromY, const DibAccess& to, int toX,
                  int toY, int count) {
  const std::size_t bytes = static_cast<std::size_t>(count) * (from.BitCount / 8);
  std::memcpy(RunStart(to, toX, toY), RunStart(from, fromX, fromY), bytes);
}

}  // namespace qvx
