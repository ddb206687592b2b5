// Power curves on red, green and blue.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "tone/ToneEffects.h"
#include "tone/ToneTables.h"

namespace qvx {
namespace {

struct GammaCurves : ChannelCurves {
  double gamma[3];
  WorkBlock tables;
  bool Prepare(std::int64_t) {
    if (!MakeGammaTables(gamma[0], gamma[1], gamma[2], tables)) return false;
    const LevelTable* t = GammaTables(tables);
    Fill([&](int c, int v) { return ClampByte(RoundHalfAway(t[c][v])); });
    return true;
  }
};

}  // namespace

HGLOBAL RunRGBGamma(const SelectionArgs& args, double red, double green, double blue, BOOL noDialog,
                    PixelRoute route) {
  GammaCurves curves{{}, {red, green, blue}, {}};
  return RunTone(args, ToneSetup{kDepthAll, false, noDialog, route}, curves);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVRGBGamma(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                  const RECT* rect, BOOL inside, double red, double green,
                                  double blue, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                  DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunRGBGamma(qvx::CopySelection(images, mode, points, pointCount, rect, inside), red,
                            green, blue, noDialog);
  });
}
