// Strongly red pixels become a given colour darkened to their luminance.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "tone/ToneEffects.h"
#include "tone/ToneTables.h"

namespace qvx {
namespace {

struct RedEyeMap {
  Rgb replacement;
  int threshold;
  WorkBlock weights;
  WorkBlock pairs;            // large jobs only
  Rgb darkened[256];          // the replacement at each luminance
  std::uint32_t packed[256];  // the same, red | green << 8 | blue << 16

  bool Prepare(std::int64_t colours) {
    if (!MakeLuminanceTables(weights)) return false;
    for (int level = 0; level < 256; ++level) {
      const double s = level * kOneOver255;
      darkened[level] = {static_cast<BYTE>(static_cast<int>(replacement.red * s)),
                         static_cast<BYTE>(static_cast<int>(replacement.green * s)),
                         static_cast<BYTE>(static_cast<int>(replacement.blue * s))};
      const Rgb& d = darkened[level];
      packed[level] = d.red | d.green << 8 | d.blue << 16;
    }
    return colours < kTabulateFrom || MakeLuminancePairs(LuminanceTables(weights), pairs);
  }

  bool IsRed(Rgb c) const { return c.red - (c.green + c.blue) / 2 > threshold; }

  Rgb operator()(Rgb c) const {
    if (!IsRed(c)) return c;
    // At most 255.000255, so the rounded luminance indexes the table.
    return darkened[RoundClampLevel(
        LuminanceSum(LuminanceTables(weights), c.red, c.green, c.blue))];
  }

  // For large jobs: the luminance from the (red, green) sums, worked out
  // for every pixel so that the choice between the pixel and its
  // replacement is a mask, not a branch.
  struct Tabulated {
    const double* pair;
    const double* blue;
    const std::uint32_t* darkened;  // red | green << 8 | blue << 16
    int threshold;
    Rgb operator()(Rgb c) const {
      const std::uint32_t dark =
          darkened[static_cast<int>(pair[c.red << 8 | c.green] + blue[c.blue] + 0.5)];
      const std::uint32_t own = c.red | c.green << 8 | c.blue << 16;
      const std::uint32_t take = 0u - (c.red - (c.green + c.blue) / 2 > threshold);
      const std::uint32_t out = (dark & take) | (own & ~take);
      return {static_cast<BYTE>(out), static_cast<BYTE>(out >> 8), static_cast<BYTE>(out >> 16)};
    }
  };
  template <class Body>
  void WithKernel(Body&& body) const {
    if (pairs.Data())
      body(Tabulated{pairs.As<double>(), LuminanceTables(weights)[2], packed, threshold});
    else
      body([this](Rgb c) { return (*this)(c); });
  }
};

}  // namespace

HGLOBAL RunRedEyeRemoval(const SelectionArgs& args, BYTE red, BYTE green, BYTE blue, BYTE threshold,
                         BOOL noDialog, PixelRoute route) {
  RedEyeMap map{Rgb{red, green, blue}, threshold, {}, {}, {}, {}};
  return RunTone(args, ToneSetup{kDepthTrue, false, noDialog, route}, map);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVRedEyeRemoval(ImageHandles* images, BYTE mode, POINT* points,
                                       int pointCount, const RECT* rect, BOOL inside, BYTE red,
                                       BYTE green, BYTE blue, BYTE threshold, BOOL noDialog,
                                       DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunRedEyeRemoval(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                                 red, green, blue, threshold, noDialog);
  });
}
