#include "tone/YccCurves.h"

#include "tone/ToneFrame.h"

namespace qvx {

bool YccCurves::PrepareTables(std::int64_t colours) {
  if (colours < kTabulateFrom) return true;
  if (!tables.Allocate(sizeof(ConversionTables))) return false;
  auto* t = tables.As<ConversionTables>();
  t->FillForward(YccTables(products));
  t->FillBack([&](int l, int c) { return RedFromYcc(y[l], cr[c]); },
              [&](int l, int c) { return BlueFromYcc(y[l], cb[c]); },
              [&](int l, int c) { return y[l] - greenCb[c]; });
  fast = t;
  return true;
}

}  // namespace qvx
