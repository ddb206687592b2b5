// The negative of the chosen luminance and chrominance channels.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "tone/ToneEffects.h"
#include "tone/YccCurves.h"

namespace qvx {
namespace {

struct YccNegativeCurves : YccCurves {
  BOOL invert[3];
  bool Prepare(std::int64_t colours) {
    if (!MakeYccTables(products)) return false;
    return Fill(colours, [&](int c, int v) { return invert[c] ? 255 - v : v; });
  }
};

}  // namespace

HGLOBAL RunYCCRev(const SelectionArgs& args, BOOL y, BOOL cr, BOOL cb, BOOL noDialog,
                  PixelRoute route) {
  YccNegativeCurves curves{{}, {y, cr, cb}};
  return RunTone(args, ToneSetup{kDepthAll, false, noDialog, route}, curves);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVYCCRev(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, BOOL y, BOOL cr, BOOL cb,
                                BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunYCCRev(qvx::CopySelection(images, mode, points, pointCount, rect, inside), y, cr,
                          cb, noDialog);
  });
}
