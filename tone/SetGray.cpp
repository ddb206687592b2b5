// Every colour becomes its luminance, truncated.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "tone/ToneEffects.h"
#include "tone/ToneTables.h"

namespace qvx {
namespace {

// The luminance is at most 255.000255, so the truncated level fits a byte.
BYTE Level(double luminance) { return static_cast<BYTE>(static_cast<int>(luminance)); }

struct GreyMap {
  WorkBlock weights;
  WorkBlock pairs;  // large jobs only

  bool Prepare(std::int64_t colours) {
    if (!MakeLuminanceTables(weights)) return false;
    return colours < kTabulateFrom || MakeLuminancePairs(LuminanceTables(weights), pairs);
  }
  Rgb operator()(Rgb c) const {
    const BYTE level = Level(LuminanceSum(LuminanceTables(weights), c.red, c.green, c.blue));
    return {level, level, level};
  }

  // From the (red, green) sums for large jobs.
  struct Tabulated {
    const double* pair;
    const double* blue;
    Rgb operator()(Rgb c) const {
      const BYTE level = Level(pair[c.red << 8 | c.green] + blue[c.blue]);
      return {level, level, level};
    }
  };
  template <class Body>
  void WithKernel(Body&& body) const {
    if (pairs.Data())
      body(Tabulated{pairs.As<double>(), LuminanceTables(weights)[2]});
    else
      body([this](Rgb c) { return (*this)(c); });
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
