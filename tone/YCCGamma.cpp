// Power curves on luminance and chrominance.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "tone/ToneEffects.h"
#include "tone/YccCurves.h"

namespace qvx {
namespace {

struct YccGammaCurves : YccCurves {
  double gamma[3];
  WorkBlock tables;
  bool Prepare(std::int64_t colours) {
    if (!MakeYccTables(products) || !MakeGammaTables(gamma[0], gamma[1], gamma[2], tables))
      return false;
    const LevelTable* t = GammaTables(tables);
    return Fill(colours, [&](int c, int v) { return RoundHalfAway(t[c][v]); });
  }
};

}  // namespace

HGLOBAL RunYCCGamma(const SelectionArgs& args, double y, double cr, double cb, BOOL noDialog,
                    PixelRoute route) {
  YccGammaCurves curves{{}, {y, cr, cb}, {}};
  return RunTone(args, ToneSetup{kDepthAll, false, noDialog, route}, curves);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVYCCGamma(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                  const RECT* rect, BOOL inside, double y, double cr, double cb,
                                  BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunYCCGamma(qvx::CopySelection(images, mode, points, pointCount, rect, inside), y,
                            cr, cb, noDialog);
  });
}
