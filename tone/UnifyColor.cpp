// Colours within a tolerance of a target colour become the target.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "tone/ToneEffects.h"

namespace qvx {
namespace {

struct UnifyMap {
  Rgb target;
  int tolerance;
  bool Prepare(std::int64_t) { return true; }
  static bool Near(int level, int goal, int tolerance) {
    return goal - tolerance <= level && level <= goal + tolerance;
  }
  Rgb operator()(Rgb c) const {
    const bool match = Near(c.red, target.red, tolerance) &&
                       Near(c.green, target.green, tolerance) &&
                       Near(c.blue, target.blue, tolerance);
    return match ? target : c;
  }
};

}  // namespace

HGLOBAL RunUnifyColor(const SelectionArgs& args, BYTE red, BYTE green, BYTE blue, BYTE tolerance,
                      BOOL noDialog, PixelRoute route) {
  UnifyMap map{Rgb{red, green, blue}, tolerance};
  return RunTone(args, ToneSetup{kDepthGreyAndTrue, false, noDialog, route}, map);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVUnifyColor(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                    const RECT* rect, BOOL inside, BYTE red, BYTE green, BYTE blue,
                                    BYTE tolerance, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                    DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunUnifyColor(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                              red, green, blue, tolerance, noDialog);
  });
}
