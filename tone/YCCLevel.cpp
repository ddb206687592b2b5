// Offsets added to luminance and chrominance.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "tone/ToneEffects.h"
#include "tone/YccCurves.h"

namespace qvx {
namespace {

// The offset levels are not limited to 0..255 before the conversion back.
struct YccLevelCurves : YccCurves {
  int offset[3];
  bool Prepare(std::int64_t colours) {
    if (!MakeYccTables(products)) return false;
    return Fill(colours, [&](int c, int v) { return v + offset[c]; });
  }
};

}  // namespace

HGLOBAL RunYCCLevel(const SelectionArgs& args, int y, int cr, int cb, BOOL noDialog,
                    PixelRoute route) {
  YccLevelCurves curves{{}, {LimitOffset(y), LimitOffset(cr), LimitOffset(cb)}};
  return RunTone(args, ToneSetup{kDepthAll, false, noDialog, route}, curves);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVYCCLevel(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                  const RECT* rect, BOOL inside, int y, int cr, int cb,
                                  BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunYCCLevel(qvx::CopySelection(images, mode, points, pointCount, rect, inside), y,
                            cr, cb, noDialog);
  });
}
