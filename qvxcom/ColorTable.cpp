// Colour-table questions of the stand-in sibling library.
//
// Rules (also in the README):
//  - 1, 4 and 8 bits: the table has biClrUsed entries when 0 < biClrUsed <
//    2^bits, otherwise 2^bits entries.
//  - 16 and 32 bits: BI_BITFIELDS pictures carry the three channel masks
//    (12 bytes) between header and rows; BI_RGB pictures carry nothing.
//    biClrUsed is ignored at these depths and at 24 bits.
//  - Any other bit count has no table.
//  - 16 bits: BI_RGB is 5-5-5 (answer 1); BI_BITFIELDS with 5-5-5 masks
//    answers 3, with 5-6-5 masks 2; anything else 0 (unusable).
//  - 32 bits: BI_RGB answers 0; BI_BITFIELDS with red 0x00FF0000, green
//    0x0000FF00, blue 0x000000FF answers 1; anything else -1 (unusable).
//  - GetRgbtoPal: the entry with the least squared distance in red, green and
//    blue; on a tie the lowest index wins. Without a table the answer is 0.
//  - IsGrayImage: a palette picture whose entries all have red = green = blue.
//    Is8BitGrayScale: an 8-bit picture with the 256-level grey ramp.
#include "platform/QvxCom.h"

namespace {

const DWORD* BitFields(const BITMAPINFOHEADER* header) {
  return reinterpret_cast<const DWORD*>(reinterpret_cast<const BYTE*>(header) + header->biSize);
}

const RGBQUAD* Table(const BITMAPINFOHEADER* header) {
  return reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(header) + header->biSize);
}

}  // namespace

extern "C" {

UINT WINAPI DibNumColors(const BITMAPINFOHEADER* header) {
  if (!header) return 0;
  switch (header->biBitCount) {
    case 1:
    case 4:
    case 8: {
      const UINT full = 1u << header->biBitCount;
      const DWORD used = header->biClrUsed;
      return used > 0 && used < full ? used : full;
    }
    default:
      return 0;
  }
}

UINT WINAPI GetDibPalSize(const BITMAPINFOHEADER* header) {
  if (!header) return 0;
  switch (header->biBitCount) {
    case 1:
    case 4:
    case 8:
      return DibNumColors(header) * sizeof(RGBQUAD);
    case 16:
    case 32:
      return header->biCompression == BI_BITFIELDS ? 3 * sizeof(DWORD) : 0;
    default:
      return 0;
  }
}

int WINAPI GetBmp16Info(const BITMAPINFOHEADER* header) {
  if (!header || header->biBitCount != 16) return 0;
  if (header->biCompression == BI_RGB) return 1;
  if (header->biCompression != BI_BITFIELDS) return 0;
  const DWORD* masks = BitFields(header);
  if (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F) return 3;
  if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) return 2;
  return 0;
}

int WINAPI GetBmp32Info(const BITMAPINFOHEADER* header) {
  if (!header || header->biBitCount != 32) return -1;
  if (header->biCompression == BI_RGB) return 0;
  if (header->biCompression != BI_BITFIELDS) return -1;
  const DWORD* masks = BitFields(header);
  if (masks[0] == 0x00FF0000 && masks[1] == 0x0000FF00 && masks[2] == 0x000000FF) return 1;
  return -1;
}

BYTE WINAPI GetRgbtoPal(const BITMAPINFOHEADER* header, BYTE red, BYTE green, BYTE blue) {
  const UINT count = DibNumColors(header);
  const RGBQUAD* table = count ? Table(header) : nullptr;
  UINT best = 0;
  long bestDistance = -1;
  for (UINT i = 0; i < count; ++i) {
    const long dr = long{table[i].rgbRed} - red;
    const long dg = long{table[i].rgbGreen} - green;
    const long db = long{table[i].rgbBlue} - blue;
    const long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      best = i;
      if (distance == 0) break;
    }
  }
  return static_cast<BYTE>(best);
}

BOOL WINAPI IsGrayImage(const BITMAPINFOHEADER* header) {
  const UINT count = DibNumColors(header);
  if (count == 0) return FALSE;
  const RGBQUAD* table = Table(header);
  for (UINT i = 0; i < count; ++i)
    if (table[i].rgbRed != table[i].rgbGreen || table[i].rgbGreen != table[i].rgbBlue) return FALSE;
  return TRUE;
}

BOOL WINAPI Is8BitGrayScale(const BITMAPINFOHEADER* header) {
  if (!header || header->biBitCount != 8) return FALSE;
  if (header->biClrUsed != 0 && header->biClrUsed != 256) return FALSE;
  const RGBQUAD* table = Table(header);
  for (UINT i = 0; i < 256; ++i)
    if (table[i].rgbRed != i || table[i].rgbGreen != i || table[i].rgbBlue != i) return FALSE;
  return TRUE;
}

}  // extern "C"
