// A curve through control points, applied to the chosen channels.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "tone/ToneEffects.h"
#include "tone/ToneTables.h"

namespace qvx {
namespace {

struct SplineCurves : ChannelCurves {
  const POINT* points;
  int count;
  BOOL apply[3];
  WorkBlock table;
  bool Prepare(std::int64_t) {
    if (!MakeSplineTable(points, count, table)) return false;
    const BYTE* curve = SplineTable(table);
    Fill([&](int c, int v) { return apply[c] ? curve[v] : static_cast<BYTE>(v); });
    return true;
  }
};

}  // namespace

HGLOBAL RunRGBSpline(const SelectionArgs& args, const POINT* points, int count, BOOL red,
                     BOOL green, BOOL blue, BOOL noDialog, PixelRoute route) {
  if (!CheckCurvePoints(points, count)) return nullptr;
  SplineCurves curves{{}, points, count, {red, green, blue}, {}};
  return RunTone(args, ToneSetup{kDepthAll, false, noDialog, route}, curves);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVRGBSpline(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                   const RECT* rect, BOOL inside, const POINT* curvePoints,
                                   int curveCount, BOOL red, BOOL green, BOOL blue, BOOL noDialog,
                                   DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunRGBSpline(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                             curvePoints, curveCount, red, green, blue, noDialog);
  });
}
