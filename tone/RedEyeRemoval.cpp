// Strongly red pixels become a given colour darkened to their luminance.
#include "exports/ExportFrame.h"
#include "exports/QvxEffect.h"
#include "tone/ToneEffects.h"
#include "tone/ToneTables.h"

namespace qvx {
namespace {

struct RedEyeMap {
  Rgb replacement;
  int threshold;
  WorkBlock weights;
  Rgb darkened[256];  // the replacement at each luminance

  bool Prepare(std::int64_t) {
    if (!MakeLuminanceTables(weights)) return false;
    for (int level = 0; level < 256; ++level) {
      const double s = level * kOneOver255;
      darkened[level] = {static_cast<BYTE>(static_cast<int>(replacement.red * s)),
                         static_cast<BYTE>(static_cast<int>(replacement.green * s)),
                         static_cast<BYTE>(static_cast<int>(replacement.blue * s))};
    }
    return true;
  }
  Rgb operator()(Rgb c) const {
    if (c.red - (c.green + c.blue) / 2 <= threshold) return c;
    // At most 255.000255, so the rounded luminance indexes the table.
    return darkened[RoundToInt(LuminanceSum(LuminanceTables(weights), c.red, c.green, c.blue))];
  }
};

}  // namespace

HGLOBAL RunRedEyeRemoval(const SelectionArgs& args, BYTE red, BYTE green, BYTE blue, BYTE threshold,
                         BOOL noDialog, PixelRoute route) {
  RedEyeMap map{Rgb{red, green, blue}, threshold, {}, {}};
  return RunTone(args, ToneSetup{kDepthTrue, false, noDialog, route}, map);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVRedEyeRemoval(ImageHandles* images, BYTE mode, POINT* points,
                                       int pointCount, const RECT* rect, BOOL inside, BYTE red,
                                       BYTE green, BYTE blue, BYTE threshold, BOOL noDialog,
                                       DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunRedEyeRemoval(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                                 red, green, blue, threshold, noDialog);
  });
}
