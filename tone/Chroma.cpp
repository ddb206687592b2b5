// Chrominance scaled by one factor, luminance kept.
#include "exports/ExportFrame.h"
#include "exports/QvxEffect.h"
#include "tone/ToneEffects.h"
#include "tone/ToneTables.h"

namespace qvx {
namespace {

// Unlike the tone curves, the chrominance here is signed and both
// conversions truncate.
struct ChromaMap {
  double factor;
  WorkBlock products;
  bool Prepare() { return MakeYccTables(products); }
  Rgb operator()(Rgb c) const {
    if (factor == 1.0) return c;
    const LevelTable* t = YccTables(products);
    const int y = static_cast<int>(t[kRedToY][c.red] + t[kGreenToY][c.green] + t[kBlueToY][c.blue]);
    const int cr =
        static_cast<int>(t[kRedToCr][c.red] + t[kGreenToCr][c.green] + t[kBlueToCr][c.blue]);
    const int cb =
        static_cast<int>(t[kRedToCb][c.red] + t[kGreenToCb][c.green] + t[kBlueToCb][c.blue]);
    const int crScaled = RoundToInt(cr * factor);
    const int cbScaled = RoundToInt(cb * factor);
    return {ClampLevel(TruncToInt(y + 1.402 * crScaled)),
            ClampLevel(TruncToInt((y - 0.34414 * cbScaled) - 0.71414 * crScaled)),
            ClampLevel(TruncToInt(y + 1.772 * cbScaled))};
  }
};

}  // namespace

HGLOBAL RunChroma(const SelectionArgs& args, int amount, BOOL noDialog, PixelRoute route) {
  const int limited = amount > 1000 ? 1000 : (amount < -100 ? -100 : amount);
  ChromaMap map{(limited + 100) * 0.01, {}};
  return RunTone(args, ToneSetup{kDepthAll, false, noDialog, route}, map);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVChroma(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, int amount, BOOL noDialog,
                                DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunChroma(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                          amount, noDialog);
  });
}
