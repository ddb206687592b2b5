// GetDibLine and SetDibLine, pixel by pixel through the record.
#include "geometry/DibLine.h"

#include "frame/ErrorCodes.h"
#include "platform/QvxCom.h"

namespace qvx {
namespace {

BOOL Refuse() {
  SetErrorStatus(kErrorBadParameter);
  return FALSE;
}

}  // namespace

BOOL GetDibLine(DibAccess* record, int x, int y, int direction, BYTE* cells, int count) {
  if (!SeekDibPixel(record, x, y)) return FALSE;
  int dx = 0, dy = 0;
  bool leaves = false;
  switch (direction) {
    case kLineRight:
      dx = 1;
      leaves = static_cast<long long>(x) + count > record->Width;
      break;
    case kLineLeft:
      dx = -1;
      leaves = static_cast<long long>(x) - count < -1;
      break;
    case kLineDown:
      dy = 1;
      leaves = static_cast<long long>(y) + count > record->Height;
      break;
    case kLineUp:
      dy = -1;
      leaves = static_cast<long long>(y) - count < -1;
      break;
    default:
      return Refuse();
  }
  if (leaves) return Refuse();
  for (int i = 0; i < count; ++i, x += dx, y += dy, cells += 4) {
    GetDibPixel(record, x, y);
    cells[0] = record->BitCount == 32 ? record->Alpha : record->Index;
    cells[1] = record->Red;
    cells[2] = record->Green;
    cells[3] = record->Blue;
  }
  return TRUE;
}

BOOL SetDibLine(DibAccess* record, int x, int y, const BYTE* cells, int count) {
  if (!SeekDibPixel(record, x, y)) return FALSE;
  if (static_cast<long long>(x) + count > record->Width) return Refuse();
  const std::int32_t useRgb = record->UseRgb;
  record->UseRgb = 0;
  for (int i = 0; i < count; ++i, ++x, cells += 4) {
    record->Index = cells[0];
    if (record->BitCount == 32) record->Alpha = cells[0];
    record->Red = cells[1];
    record->Green = cells[2];
    record->Blue = cells[3];
    SetDibPixel(record, x, y);
  }
  record->UseRgb = useRgb;
  return TRUE;
}

}  // namespace qvx
