#include "tone/ConvertRows.h"

#include <cstring>
#include <type_traits>


namespace qvx {
void ReadColourRow(DibAccess& source, int kind, int y, Rgb* colours) {
  const bool direct = WithDirectPolicy(source, kind, [&](const auto& px) {
    using Px = std::decay_t<decltype(px)>;
    auto p = Px::At(px.Row(y), 0);
    for (int x = 0; x < source.Width; ++x, p = Px::Next(p)) colours[x] = px.Read(p);
  });
  if (direct) return;
  // Colour-table pictures through the cursor, which looks the table up.
  SeekDibPixel(&source, 0, y);
  for (int x = 0; x < source.Width; ++x) {
    ReadNextDibPixel(&source);
    colours[x] = {source.Red, source.Green, source.Blue};
  }
}

void ReadIndexRow(DibAccess& source, int y, BYTE* indices) {
  if (source.BitCount == 8) {
    std::memcpy(indices, DibRow(source, y), static_cast<std::size_t>(source.Width));
    return;
  }
  SeekDibPixel(&source, 0, y);
  for (int x = 0; x < source.Width; ++x) {
    ReadNextDibPixel(&source);
    indices[x] = source.Index;
  }
}

void WriteIndexRow(DibAccess& result, int y, const BYTE* indices) {
  BYTE* const row = DibRow(result, y);
  const int width = result.Width;
  // Whole bytes are written: the bits after the last pixel stay 0, as in
  // the zero-filled rows of a new picture.
  switch (result.BitCount) {
    case 8:
      std::memcpy(row, indices, static_cast<std::size_t>(width));
      return;
    case 4:
      for (int x = 0; x < width; x += 2) {
        const int low = x + 1 < width ? indices[x + 1] & 15 : 0;
        row[x / 2] = static_cast<BYTE>((indices[x] & 15) << 4 | low);
      }
      return;
    default: {
      int x = 0;
      for (; x + 8 <= width; x += 8) {
        const BYTE* i = indices + x;
        row[x / 8] = static_cast<BYTE>((i[0] & 1) << 7 | (i[1] & 1) << 6 | (i[2] & 1) << 5 |
                                       (i[3] & 1) << 4 | (i[4] & 1) << 3 | (i[5] & 1) << 2 |
                                       (i[6] & 1) << 1 | (i[7] & 1));
      }
      for (; x < width; x += 8) {
        int bits = 0;
        for (int k = 0; k < 8; ++k) bits = bits << 1 | (x + k < width ? indices[x + k] & 1 : 0);
        row[x / 8] = static_cast<BYTE>(bits);
      }
    }
  }
}

void WriteColourRow(DibAccess& result, int y, const Rgb* colours) {
  WithDirectPolicy(result, result.BitCount, [&](const auto& px) {
    using Px = std::decay_t<decltype(px)>;
    auto p = Px::At(px.Row(y), 0);
    for (int x = 0; x < result.Width; ++x, p = Px::Next(p))
      px.Write(p, colours[x].red, colours[x].green, colours[x].blue);
  });
}

}  // namespace qvx
