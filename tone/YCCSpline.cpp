// A curve through control points, applied to the chosen luminance and
// chrominance channels.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "tone/ToneEffects.h"
#include "tone/YccCurves.h"

namespace qvx {
namespace {

struct YccSplineCurves : YccCurves {
  const POINT* points;
  int count;
  BOOL apply[3];
  WorkBlock table;
  bool Prepare(std::int64_t colours) {
    if (!MakeYccTables(products) || !MakeSplineTable(points, count, table)) return false;
    const BYTE* curve = SplineTable(table);
    return Fill(colours, [&](int c, int v) { return apply[c] ? curve[v] : v; });
  }
};

}  // namespace

HGLOBAL RunYCCSpline(const SelectionArgs& args, const POINT* points, int count, BOOL y, BOOL cr,
                     BOOL cb, BOOL noDialog, PixelRoute route) {
  if (!CheckCurvePoints(points, count)) return nullptr;
  YccSplineCurves curves{{}, points, count, {y, cr, cb}, {}};
  return RunTone(args, ToneSetup{kDepthAll, false, noDialog, route}, curves);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVYCCSpline(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                   const RECT* rect, BOOL inside, const POINT* curvePoints,
                                   int curveCount, BOOL y, BOOL cr, BOOL cb, BOOL noDialog,
                                   DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunYCCSpline(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                             curvePoints, curveCount, y, cr, cb, noDialog);
  });
}
