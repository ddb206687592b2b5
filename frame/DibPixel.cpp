// Reading and writing single pixels through a DibAccess record, and the
// seek-then-run cursor of row loops.
#include "frame/DibAccess.h"
#include "frame/ErrorCodes.h"
#include "frame/PixelFormat.h"
#include "platform/QvxCom.h"

namespace qvx {
namespace {

bool Inside(const DibAccess* record, int x, int y) {
  return x >= 0 && x <= record->MaxX && y >= 0 && y <= record->MaxY;
}

// Puts the cursor on (x, y); the caller has checked the coordinates.
void PlaceCursor(DibAccess* record, int x, int y) {
  BYTE* row = DibRow(*record, y);
  switch (record->BitCount) {
    case 1:
      record->ByteInRow = x >> 3;
      record->BitInByte = x & 7;
      record->Pixel = row + record->ByteInRow;
      break;
    case 4:
      record->ByteInRow = x >> 1;
      record->BitInByte = x & 1;
      record->Pixel = row + record->ByteInRow;
      break;
    case 8:
      record->Pixel = row + x;
      break;
    case 16:
      record->Pixel = row + 2 * static_cast<std::size_t>(x);
      break;
    case 24:
      record->Pixel = row + 3 * static_cast<std::size_t>(x);
      break;
    case 32:
      record->Pixel = row + 4 * static_cast<std::size_t>(x);
      break;
  }
}

void ReadAtCursor(DibAccess* record) {
  const BYTE* p = record->Pixel;
  switch (record->BitCount) {
    case 1:
      record->Index = static_cast<BYTE>((*p >> (7 - record->BitInByte)) & 1);
      break;
    case 4:
      record->Index = static_cast<BYTE>(record->BitInByte ? (*p & 0x0F) : (*p >> 4));
      break;
    case 8:
      record->Index = *p;
      break;
    case 16: {
      const Rgb c =
          Expand16(static_cast<std::uint16_t>(p[0] | (p[1] << 8)), record->RedMask == kRedMask555);
      record->Red = c.red;
      record->Green = c.green;
      record->Blue = c.blue;
      return;
    }
    case 32:
      record->Alpha = p[3];
      [[fallthrough]];
    case 24:
      record->Red = p[2];
      record->Green = p[1];
      record->Blue = p[0];
      return;
    default:
      return;
  }
  if (record->UseRgb) {
    // An index past a short colour table reads as black rather than as
    // whatever follows the table.
    if (record->Index < record->ColorCount) {
      const RGBQUAD& entry = record->ColorTable[record->Index];
      record->Red = entry.rgbRed;
      record->Green = entry.rgbGreen;
      record->Blue = entry.rgbBlue;
    } else {
      record->Red = record->Green = record->Blue = 0;
    }
  }
}

void WriteAtCursor(DibAccess* record) {
  BYTE* p = record->Pixel;
  const int bits = record->BitCount;
  if ((bits == 1 || bits == 4 || bits == 8) && record->UseRgb)
    record->Index = GetRgbtoPal(record->Header, record->Red, record->Green, record->Blue);
  switch (bits) {
    case 1: {
      const BYTE bit = static_cast<BYTE>(0x80 >> record->BitInByte);
      *p = static_cast<BYTE>(record->Index ? (*p | bit) : (*p & ~bit));
      break;
    }
    case 4:
      if (record->BitInByte)
        *p = static_cast<BYTE>((*p & 0xF0) | (record->Index & 0x0F));
      else
        *p = static_cast<BYTE>((*p & 0x0F) | ((record->Index & 0x0F) << 4));
      break;
    case 8:
      *p = record->Index;
      break;
    case 16: {
      const std::uint16_t word =
          Reduce16(record->Red, record->Green, record->Blue, record->RedMask == kRedMask555);
      p[0] = static_cast<BYTE>(word);
      p[1] = static_cast<BYTE>(word >> 8);
      break;
    }
    case 32:
      p[3] = record->Alpha;
      [[fallthrough]];
    case 24:
      p[2] = record->Red;
      p[1] = record->Green;
      p[0] = record->Blue;
      break;
  }
}

void Advance(DibAccess* record) {
  switch (record->BitCount) {
    case 1:
    case 4:
      if (++record->BitInByte > (record->BitCount == 1 ? 7 : 1)) {
        record->BitInByte = 0;
        ++record->Pixel;
        ++record->ByteInRow;
      }
      break;
    case 8:
      record->Pixel += 1;
      break;
    case 16:
      record->Pixel += 2;
      break;
    case 24:
      record->Pixel += 3;
      break;
    case 32:
      record->Pixel += 4;
      break;
  }
}

bool FailBadParameter() {
  SetErrorStatus(kErrorBadParameter);
  return false;
}

}  // namespace

BOOL GetDibPixel(DibAccess* record, int x, int y) {
  if (!record) return FailBadParameter();
  if (!Inside(record, x, y)) {
    record->Index = record->Red = record->Green = record->Blue = 0;
    return FailBadParameter();
  }
  PlaceCursor(record, x, y);
  ReadAtCursor(record);
  return TRUE;
}

BOOL SetDibPixel(DibAccess* record, int x, int y) {
  if (!record || !Inside(record, x, y)) return FailBadParameter();
  PlaceCursor(record, x, y);
  WriteAtCursor(record);
  return TRUE;
}

BOOL SeekDibPixel(DibAccess* record, int x, int y) {
  if (!record || !Inside(record, x, y)) return FailBadParameter();
  PlaceCursor(record, x, y);
  return TRUE;
}

BOOL ReadNextDibPixel(DibAccess* record) {
  if (!record) return FailBadParameter();
  ReadAtCursor(record);
  Advance(record);
  return TRUE;
}

BOOL WriteNextDibPixel(DibAccess* record) {
  if (!record) return FailBadParameter();
  WriteAtCursor(record);
  Advance(record);
  return TRUE;
}

BOOL SkipDibPixel(DibAccess* record) {
  if (!record) return FailBadParameter();
  Advance(record);
  return TRUE;
}

}  // namespace qvx
