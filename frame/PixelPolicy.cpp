#include "frame/PixelPolicy.h"

#include "frame/NeighbourReaders.h"
#include "platform/QvxCom.h"

namespace qvx {

PxRecord::PxRecord(DibAccess* record, PaletteWrites palette)
    : rec(record),
      grey(GetDibKind(record) == kKindGrey256),
      nearest(palette == PaletteWrites::kNearest && record->BitCount <= 8) {
  if (grey || nearest) rec->UseRgb = 1;
}

Rgb PxRecord::Read(Where p) const {
  GetDibPixel(rec, p.x, p.y);
  return {rec->Red, rec->Green, rec->Blue};
}

Rgb PxRecord::Neighbour(Where p, int dx, int dy) const {
  GetDibPixel(rec, p.x, p.y);
  NeighbourReaderFor(dx, dy)(rec);
  return {rec->Red, rec->Green, rec->Blue};
}

BYTE PxRecord::NearestIndex(Rgb c) const {
  const std::uint32_t colour = std::uint32_t{c.red} << 16 | std::uint32_t{c.green} << 8 | c.blue;
  if (colour != lastColour_) {
    lastColour_ = colour;
    lastIndex_ = GetRgbtoPal(rec->Header, c.red, c.green, c.blue);
  }
  return lastIndex_;
}

void PxRecord::WriteFields(Where d, BYTE index, Rgb c, BYTE alpha) const {
  rec->Index = index;
  rec->Red = c.red;
  rec->Green = c.green;
  rec->Blue = c.blue;
  rec->Alpha = alpha;
  const std::int32_t useRgb = rec->UseRgb;
  rec->UseRgb = 0;
  SetDibPixel(rec, d.x, d.y);
  rec->UseRgb = useRgb;
}

void PxRecord::Write(Where p, BYTE r, BYTE g, BYTE b) const {
  const Rgb c{r, g, b};
  if (nearest)
    WriteFields(p, NearestIndex(c), c, 0);
  else
    WriteFields(p, grey ? GreyMix(r, g, b) : rec->Index, c, 0);
}

void PxRecord::Store(Where d, Rgb c) const {
  if (nearest || (!grey && rec->BitCount <= 8))
    WriteFields(d, NearestIndex(c), c, 0);
  else
    WriteFields(d, grey ? GreyIndex(c.red, c.green, c.blue) : rec->Index, c, 0);
}

void PxRecord::Transfer(Where d, const PxRecord& from, Where s, bool keepAlpha) const {
  GetDibPixel(from.rec, s.x, s.y);
  const DibAccess& f = *from.rec;
  WriteFields(d, f.Index, {f.Red, f.Green, f.Blue}, keepAlpha ? f.Alpha : 0);
}

void PxRecord::Fill(Where d, const WholePixel& w) const { WriteFields(d, w.index, w.colour, 0); }

void PxRecord::CopyRow(int to, int from, int width) const {
  for (int x = 0; x < width; ++x) Transfer({x, to}, *this, {x, from}, true);
}

}  // namespace qvx
