// The negative of the chosen channels.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "tone/ToneEffects.h"

namespace qvx {
namespace {

struct NegativeCurves : ChannelCurves {
  BOOL invert[3];
  bool Prepare(std::int64_t) {
    Fill([&](int c, int v) { return static_cast<BYTE>(invert[c] ? 255 - v : v); });
    return true;
  }
};

}  // namespace

HGLOBAL RunRGBRev(const SelectionArgs& args, BOOL red, BOOL green, BOOL blue, BOOL noDialog,
                  PixelRoute route) {
  NegativeCurves curves{{}, {red, green, blue}};
  return RunTone(args, ToneSetup{kDepthAll, false, noDialog, route}, curves);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVRGBRev(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, BOOL red, BOOL green, BOOL blue,
                                BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunRGBRev(qvx::CopySelection(images, mode, points, pointCount, rect, inside), red,
                          green, blue, noDialog);
  });
}
