// Offsets added to red, green and blue.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "tone/ToneEffects.h"

namespace qvx {
namespace {

struct LevelCurves : ChannelCurves {
  int offset[3];
  bool Prepare(std::int64_t) {
    Fill([&](int c, int v) { return ClampByte(v + offset[c]); });
    return true;
  }
};

}  // namespace

HGLOBAL RunRGBLevel(const SelectionArgs& args, int red, int green, int blue, BOOL noDialog,
                    PixelRoute route) {
  LevelCurves curves{{}, {LimitOffset(red), LimitOffset(green), LimitOffset(blue)}};
  return RunTone(args, ToneSetup{kDepthAll, false, noDialog, route}, curves);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVRGBLevel(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                  const RECT* rect, BOOL inside, int red, int green, int blue,
                                  BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunRGBLevel(qvx::CopySelection(images, mode, points, pointCount, rect, inside), red,
                            green, blue, noDialog);
  });
}
