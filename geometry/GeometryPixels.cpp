// The record policy of the geometric workers.
#include "geometry/GeometryPixels.h"

#include "platform/QvxCom.h"

namespace qvx {

GeoRecord::GeoRecord(DibAccess* record) : rec(record), grey(GetDibKind(record) == kKindGrey256) {
  if (grey) rec->UseRgb = 1;
}

Rgb GeoRecord::Colour(Pos p) const {
  GetDibPixel(rec, p.x, p.y);
  return {rec->Red, rec->Green, rec->Blue};
}

Rgb GeoRecord::Neighbour(Pos p, int dx, int dy) const {
  GetDibPixel(rec, p.x, p.y);
  NeighbourReaderFor(dx, dy)(rec);
  return {rec->Red, rec->Green, rec->Blue};
}

void GeoRecord::WriteFields(Pos d) const {
  const std::int32_t useRgb = rec->UseRgb;
  rec->UseRgb = 0;
  SetDibPixel(rec, d.x, d.y);
  rec->UseRgb = useRgb;
}

void GeoRecord::Transfer(Pos d, const GeoRecord& from, Pos s, bool keepAlpha) const {
  GetDibPixel(from.rec, s.x, s.y);
  rec->Index = from.rec->Index;
  rec->Red = from.rec->Red;
  rec->Green = from.rec->Green;
  rec->Blue = from.rec->Blue;
  rec->Alpha = keepAlpha ? from.rec->Alpha : 0;
  WriteFields(d);
}

void GeoRecord::Fill(Pos d, const WholePixel& w) const {
  rec->Index = w.index;
  rec->Red = w.colour.red;
  rec->Green = w.colour.green;
  rec->Blue = w.colour.blue;
  rec->Alpha = 0;
  WriteFields(d);
}

void GeoRecord::Store(Pos d, Rgb c) const {
  if (grey)
    rec->Index = GreyIndex(c.red, c.green, c.blue);
  else if (rec->BitCount <= 8)
    rec->Index = GetRgbtoPal(rec->Header, c.red, c.green, c.blue);
  rec->Red = c.red;
  rec->Green = c.green;
  rec->Blue = c.blue;
  rec->Alpha = 0;
  WriteFields(d);
}

void GeoRecord::CopyRow(int to, int from, int width) const {
  for (int x = 0; x < width; ++x) Transfer({x, to}, *this, {x, from}, true);
}

}  // namespace qvx
