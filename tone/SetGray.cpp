// Every colour becomes its luminance, truncated.
#include "exports/ExportFrame.h"
#include "exports/QvxEffect.h"
#include "tone/ToneEffects.h"
#include "tone/ToneTables.h"

namespace qvx {
namespace {

struct GreyMap {
  WorkBlock weights;
  bool Prepare(std::int64_t) { return MakeLuminanceTables(weights); }
  Rgb operator()(Rgb c) const {
    // At most 255.000255, so the truncated level fits a byte.
    const auto level = static_cast<BYTE>(
        static_cast<int>(LuminanceSum(LuminanceTables(weights), c.red, c.green, c.blue)));
    return {level, level, level};
  }
};

}  // namespace

HGLOBAL RunSetGray(HGLOBAL picture, BOOL noDialog, PixelRoute route) {
  SelectionArgs args;
  args.picture = picture;
  args.mode = kSelectWhole;
  GreyMap map;
  return RunTone(args, ToneSetup{kDepthAll, true, noDialog, route}, map);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVSetGray(HGLOBAL picture, BOOL noDialog, DWORD dlgArg1, DWORD dlgArg2,
                                 DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3},
                        [&] { return qvx::RunSetGray(picture, noDialog); });
}
