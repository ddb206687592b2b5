// Chrominance scaled by one factor, luminance kept.
#include "exports/ExportFrame.h"
#include "exports/Exported.h"
#include "tone/ToneEffects.h"
#include "tone/ToneFrame.h"
#include "tone/ToneTables.h"

namespace qvx {
namespace {

// Unlike the tone curves, the chrominance here is signed and both
// conversions truncate. Chrominance levels are -127..127, indexed here from
// 0 by adding 128.
struct ChromaMap {
  double factor;
  WorkBlock products;
  int scaled[256];  // the chrominance times the factor, rounded
  double greenCb[256];
  double greenCr[256];
  // Large jobs work out more per call.
  WorkBlock tables;
  const ConversionTables* fast = nullptr;

  static BYTE Red(int y, int crScaled) { return TruncClampLevel(y + 1.402 * crScaled); }
  static BYTE Blue(int y, int cbScaled) { return TruncClampLevel(y + 1.772 * cbScaled); }

  bool Prepare(std::int64_t colours) {
    if (!MakeYccTables(products)) return false;
    for (int c = 0; c < 256; ++c) {
      scaled[c] = RoundHalfAway((c - 128) * factor);
      greenCb[c] = 0.34414 * scaled[c];
      greenCr[c] = 0.71414 * scaled[c];
    }
    if (factor == 1.0 || colours < kTabulateFrom) return true;
    if (!tables.Allocate(sizeof(ConversionTables))) return false;
    auto* t = tables.As<ConversionTables>();
    t->FillForward(YccTables(products));
    t->FillBack([&](int y, int c) { return Red(y, scaled[c]); },
                [&](int y, int c) { return Blue(y, scaled[c]); },
                [&](int y, int c) { return y - greenCb[c]; });
    fast = t;
    return true;
  }

  // The per-colour function for large jobs, from the per-call tables.
  struct Tabulated {
    const ConversionTables* t;
    const double* greenCr;
    Rgb operator()(Rgb c) const {
      // Luminance at most 255.000255, chrominance within +-127.5.
      const Int4 levels =
          __builtin_convertvector(t->pair[c.red << 8 | c.green].Lanes() + t->blue[c.blue].Lanes(),
                                  Int4) +
          Int4{0, 128, 128, 0};
      const Int4 index = levels << 8 | levels[0];
      const auto cr = static_cast<unsigned>(index[1]);
      const auto cb = static_cast<unsigned>(index[2]);
      return {t->redBack[cr], TruncClampLevel(t->greenYCb[cb] - greenCr[levels[1]]),
              t->blueBack[cb]};
    }
  };

  // The per-colour function for small jobs, from the product tables.
  Rgb Direct(Rgb c) const {
    const LevelTable* t = YccTables(products);
    const int y = static_cast<int>(t[kRedToY][c.red] + t[kGreenToY][c.green] + t[kBlueToY][c.blue]);
    const int cr =
        static_cast<int>(t[kRedToCr][c.red] + t[kGreenToCr][c.green] + t[kBlueToCr][c.blue]) + 128;
    const int cb =
        static_cast<int>(t[kRedToCb][c.red] + t[kGreenToCb][c.green] + t[kBlueToCb][c.blue]) + 128;
    return {Red(y, scaled[cr]), TruncClampLevel((y - greenCb[cb]) - greenCr[cr]),
            Blue(y, scaled[cb])};
  }

  Rgb operator()(Rgb c) const {
    if (factor == 1.0) return c;
    return fast ? Tabulated{fast, greenCr}(c) : Direct(c);
  }

  template <class Body>
  void WithKernel(Body&& body) const {
    if (factor == 1.0)
      body([](Rgb c) { return c; });
    else if (fast)
      body(Tabulated{fast, greenCr});
    else
      body([this](Rgb c) { return Direct(c); });
  }
};

}  // namespace

HGLOBAL RunChroma(const SelectionArgs& args, int amount, BOOL noDialog, PixelRoute route) {
  const int limited = amount > 1000 ? 1000 : (amount < -100 ? -100 : amount);
  ChromaMap map{(limited + 100) * 0.01, {}, {}, {}, {}, {}, nullptr};
  return RunTone(args, ToneSetup{kDepthAll, false, noDialog, route}, map);
}

}  // namespace qvx

QVX_API HGLOBAL WINAPI QVChroma(ImageHandles* images, BYTE mode, POINT* points, int pointCount,
                                const RECT* rect, BOOL inside, int amount, BOOL noDialog,
                                DWORD dlgArg1, DWORD dlgArg2, DWORD dlgArg3) {
  return qvx::RunEffect({noDialog, dlgArg1, dlgArg2, dlgArg3}, [&] {
    return qvx::RunChroma(qvx::CopySelection(images, mode, points, pointCount, rect, inside),
                          amount, noDialog);
  });
}
