#include "frame/PixelPolicy.h"

namespace qvx {

PxRecord::PxRecord(DibAccess* record) : rec(record), grey(GetDibKind(record) == kKindGrey256) {
  if (grey) rec->UseRgb = 1;
}

Rgb PxRecord::Read(Where p) const {
  GetDibPixel(rec, p.x, p.y);
  return {rec->Red, rec->Green, rec->Blue};
}

void PxRecord::Write(Where p, BYTE r, BYTE g, BYTE b) const {
  rec->Red = r;
  rec->Green = g;
  rec->Blue = b;
  rec->Alpha = 0;
  const std::int32_t useRgb = rec->UseRgb;
  if (grey) {
    rec->Index = GreyMix(r, g, b);
    rec->UseRgb = 0;
  }
  SetDibPixel(rec, p.x, p.y);
  rec->UseRgb = useRgb;
}

void PxRecord::Copy(Where d, const PxRecord& from, Where s) const {
  GetDibPixel(from.rec, s.x, s.y);
  rec->Index = from.rec->Index;
  rec->Red = from.rec->Red;
  rec->Green = from.rec->Green;
  rec->Blue = from.rec->Blue;
  rec->Alpha = from.rec->Alpha;
  const std::int32_t useRgb = rec->UseRgb;
  rec->UseRgb = 0;
  SetDibPixel(rec, d.x, d.y);
  rec->UseRgb = useRgb;
}

}  // namespace qvx
