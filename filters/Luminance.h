// Source luminances of the filters that look at brightness (outline,
// sharpening, noise removal): floor(T_R[red] + T_G[green] + T_B[blue]) with
// the luminance weight tables, 0..255, worked out once per source row.
#pragma once

#include <cstring>

#include "filters/FilterFrame.h"
#include "frame/ColourTables.h"

namespace qvx {

// Each weight table entry is i x weight in double precision, so the
// products are made directly, with the same bits as the entries.
QVX_LOOP_BODY void LuminanceRow(BYTE* out, const Bgra* row, int count, double red, double green,
                                double blue) {
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    Int4 v;
    std::memcpy(&v, row + i, sizeof v);
    const Double4 sum = ChannelLanes(v, 2) * red + ChannelLanes(v, 1) * green +
                        ChannelLanes(v, 0) * blue;
    const unsigned bytes = PackLanes(__builtin_convertvector(sum, Int4));
    std::memcpy(out + i, &bytes, 4);
  }
  for (; i < count; ++i)
    out[i] = static_cast<BYTE>(row[i].red * red + row[i].green * green + row[i].blue * blue);
}

// A ring of luminance rows over the job's source rows.
class LuminanceRows {
 public:
  // `tables` are luminance weight tables (MakeLuminanceTables) or the first
  // three of the luminance/chrominance product tables (MakeYccTables).
  bool Allocate(FilterJob& job, int slots, int pad, const WorkBlock& tables) {
    weights_ = tables.As<LevelTable>();
    return rows_.Allocate(slots, pad, job.Columns(), 1, job.height);
  }
  const BYTE* Row(FilterJob& job, int y) {
    return rows_.Row(job.rows, y, [this](BYTE* out, const Bgra* row, int count) {
      Vectorised<LuminanceRow>(out, row, count, weights_[0][1], weights_[1][1], weights_[2][1]);
    });
  }

 private:
  DerivedRows<BYTE> rows_;
  const LevelTable* weights_ = nullptr;
};

}  // namespace qvx
