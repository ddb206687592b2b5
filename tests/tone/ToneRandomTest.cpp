// Every tone and colour effect against an independent model, written here
// from the effects' description, on random pictures of every layout at
// awkward widths, random parameters and random selections; and the direct
// pixel route against the record's, bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>

#include "frame/Selection.h"
#include "support/Fixture.h"
#include "support/Pictures.h"
#include "tone/ToneEffects.h"
#include "tone/ToneModel.h"
#include "tone/ToneTables.h"

namespace qvx::test {
namespace {

using ColourMap = std::function<Colour(Colour)>;

constexpr double kStep = 0.00392156862745098;  // 1/255

// 255 (v / 255)^e with e = g + 1 for g >= 0 and 1 / |g - 1| below.
double Gamma(int v, double g) {
  return 255 * std::pow(v * kStep, g >= 0 ? g + 1 : 1 / std::fabs(g - 1));
}
int Limited(int offset) { return std::max(-255, std::min(255, offset)); }
// The luminance and chrominance sums, products added in this order.
double Luma(Colour c) { return c.r * 0.298912 + c.g * 0.586611 + c.b * 0.114478; }
double Cr(Colour c) { return c.r * 0.5 + c.g * -0.41869 + c.b * -0.08131; }
double Cb(Colour c) { return c.r * -0.16874 + c.g * -0.33126 + c.b * 0.5; }

// The curve table of control points. The curve itself is checked on its own
// (SplineTableTest: hand-worked curves and its properties); here it is the
// library's table, and what is checked is its application to the pixels.
std::vector<int> SplineTableOf(const std::vector<POINT>& points) {
  WorkBlock block;
  if (!MakeSplineTable(points.data(), static_cast<int>(points.size()), block)) return {};
  const BYTE* table = SplineTable(block);
  return std::vector<int>(table, table + 256);
}

// The YCC effects: levels Y, Cr, Cb from the colour (each rounded and
// clamped), through the channel functions of the level and the channel's
// parameter (the chrominance ones centred), and back, each channel rounded
// and clamped.
template <class Level, class Param>
ColourMap YccOf(Level level, Param py, Param pcr, Param pcb) {
  return [=](Colour c) {
    const auto in = [](double v) { return Clamped(Rounded(v)); };
    const double y = level(in(Luma(c)), py);
    const double cr = level(in(Cr(c) + 128.0), pcr) - 128;
    const double cb = level(in(Cb(c) + 128.0), pcb) - 128;
    return Colour{in(y + 1.402 * cr), in((y - 0.34414 * cb) - 0.71414 * cr), in(y + 1.772 * cb)};
  };
}

// The per-channel RGB effects: the channel function on each channel.
template <class Level, class Param>
ColourMap RgbOf(Level level, Param r, Param g, Param b) {
  return [=](Colour c) { return Colour{level(c.r, r), level(c.g, g), level(c.b, b)}; };
}

struct Case {
  std::string what;  // the effect and its parameters, for failure messages
  std::function<HGLOBAL(const SelectionArgs&, PixelRoute)> run;
  ColourMap map;
  unsigned depthMask = kDepthAll;
  bool greyByTable = false, usesSelection = true;
};

// A case of a worker that takes (selection, parameters..., noDialog, route).
template <class Run, class... Params>
Case Make(const std::string& name, ColourMap map, Run run, Params... params) {
  std::ostringstream what(name, std::ios::ate);
  ((what << ' ' << +params), ...);
  return {what.str(),
          [=](const SelectionArgs& a, PixelRoute route) { return run(a, params..., TRUE, route); },
          std::move(map)};
}

std::vector<Case> RandomCases(std::mt19937& random) {
  auto flag = [&] { return static_cast<BOOL>(random() % 2); };
  auto level = [&] { return static_cast<BYTE>(random()); };
  auto gamma = [&] {
    return random() % 5 == 0 ? 0.0 : std::uniform_real_distribution<double>(-3, 3)(random);
  };
  auto offset = [&] { return static_cast<int>(random() % 801) - 400; };
  // pow(x, NaN) is NaN but for x = 1; a NaN level converts as the processor
  // converts it (to the smallest int) and clamps to 0.
  const auto rgbGamma = [](int v, double g) {
    const double value = Gamma(v, g);
    return std::isnan(value) ? 0 : Clamped(Rounded(value));
  };
  const auto yccGamma = [](int v, double g) { return Rounded(Gamma(v, g)); };
  const auto add = [](int v, int d) { return Clamped(v + Limited(d)); };
  const auto shift = [](int v, int d) { return v + Limited(d); };
  const auto rev = [](int v, BOOL on) { return on ? 255 - v : v; };  // centred Cr: 127 - v

  std::vector<Case> cases;
  // An RGB effect and its YCC twin, each with three parameters drawn anew.
  const auto twins = [&](const std::string& name, auto draw, auto rgbLevel, auto rgbRun,
                         auto yccLevel, auto yccRun) {
    auto r = draw(), g = draw(), b = draw();
    cases.push_back(Make("RGB" + name, RgbOf(rgbLevel, r, g, b), rgbRun, r, g, b));
    r = draw(), g = draw(), b = draw();
    cases.push_back(Make("YCC" + name, YccOf(yccLevel, r, g, b), yccRun, r, g, b));
  };
  twins("Gamma", gamma, rgbGamma, RunRGBGamma, yccGamma, RunYCCGamma);
  twins("Level", offset, add, RunRGBLevel, shift, RunYCCLevel);
  twins("Rev", flag, rev, RunRGBRev, rev, RunYCCRev);
  // The curve's points drawn from x in -20..59 rising by 0..89 (sometimes
  // the same x again).
  auto curve = std::make_shared<std::vector<POINT>>(random() % 7);
  int x = static_cast<int>(random() % 80) - 20;
  std::ostringstream text;
  for (POINT& p : *curve) {
    p = {x, static_cast<LONG>(random() % 360) - 50};
    x += static_cast<int>(random() % 90);
    text << " (" << p.x << "," << p.y << ")";
  }
  const std::vector<int> table = SplineTableOf(*curve);
  const auto curveOf = [table](int v, BOOL on) { return on ? table[v] : v; };
  const auto withCurve = [curve](auto run) {
    return [curve, run](const SelectionArgs& args, BOOL a, BOOL b, BOOL c, BOOL noDialog,
                        PixelRoute route) {
      return run(args, curve->data(), static_cast<int>(curve->size()), a, b, c, noDialog, route);
    };
  };
  twins("Spline", flag, curveOf, withCurve(RunRGBSpline), curveOf, withCurve(RunYCCSpline));
  cases[cases.size() - 2].what += text.str();
  cases.back().what += text.str();
  // Grey: the luminance sum truncated, on every picture whatever the selection.
  const auto grey = [](Colour c) {
    const int l = static_cast<int>(Luma(c));
    return Colour{l, l, l};
  };
  cases.push_back({"SetGray",
                   [](const SelectionArgs& a, PixelRoute r) { return RunSetGray(a.picture, TRUE, r); },
                   grey, kDepthAll, true, false});
  // Colours within tolerance of the target in every channel become it.
  const BYTE ur = level(), ug = level(), ub = level(), ut = random() % 4 ? random() % 60 : level();
  const auto unify = [=](Colour c) {
    const auto near = [=](int v, int target) { return std::abs(v - target) <= ut; };
    return near(c.r, ur) && near(c.g, ug) && near(c.b, ub) ? Colour{ur, ug, ub} : c;
  };
  cases.push_back(Make("UnifyColor", unify, RunUnifyColor, ur, ug, ub, ut));
  cases.back().depthMask = kDepthGreyAndTrue;
  // Chroma: the chrominance (truncated) scaled by (amount + 100) / 100,
  // amount taken into -100..1000; luminance and result truncated.
  const int amount = random() % 6 == 0 ? 0 : static_cast<int>(random() % 1400) - 200;
  const auto chroma = [=](Colour c) {
    const double f = (std::max(-100, std::min(1000, amount)) + 100) * 0.01;
    if (f == 1) return c;
    const int y = static_cast<int>(Luma(c));
    const int crp = Rounded(static_cast<int>(Cr(c)) * f);
    const int cbp = Rounded(static_cast<int>(Cb(c)) * f);
    return Colour{Clamped(static_cast<int>(y + 1.402 * crp)),
                  Clamped(static_cast<int>((y - 0.34414 * cbp) - 0.71414 * crp)),
                  Clamped(static_cast<int>(y + 1.772 * cbp))};
  };
  cases.push_back(Make("Chroma", chroma, RunChroma, amount));
  // Red eye: colours with red - (green + blue) / 2 above the threshold
  // become the target scaled by their rounded luminance / 255, truncated.
  const BYTE er = level(), eg = level(), eb = level(), et = random() % 120;
  const auto redEye = [=](Colour c) {
    if (c.r - (c.g + c.b) / 2 <= et) return c;
    const double s = Rounded(Luma(c)) * kStep;
    return Colour{static_cast<int>(er * s), static_cast<int>(eg * s), static_cast<int>(eb * s)};
  };
  cases.push_back(Make("RedEyeRemoval", redEye, RunRedEyeRemoval, er, eg, eb, et));
  cases.back().depthMask = kDepthTrue;
  return cases;
}

// A level narrowed to 5 or 6 bits, rounded.
int Narrow(int c, int bits) { return static_cast<int>(c * (bits == 5 ? 31 : 63) * kStep + 0.5); }

// The expected result of a tone effect on `source`: colour-table pictures
// (and 8-bit grey-ramp ones when `greyByTable`) get their table mapped;
// other pictures get every selected pixel mapped and written back (16-bit
// packing, 0 in the fourth byte of 32-bit pixels, the grey mix
// trunc(0.587 G + 0.299 R + 0.114 B + 0.5) as the index of grey ramps).
HGLOBAL ExpectedTone(HGLOBAL source, bool greyRamp, const ColourMap& map,
                     const Selected& selected, bool greyByTable) {
  const std::vector<std::uint8_t> bytes = BlockBytes(source);
  HGLOBAL expected = GlobalAlloc(GHND, bytes.size());
  std::memcpy(GlobalLock(expected), bytes.data(), bytes.size());
  GlobalUnlock(expected);
  PictureView in(source), out(expected);
  const int bits = in.BitCount();
  if (bits <= 8 && (!greyRamp || greyByTable)) {
    auto* table = const_cast<RGBQUAD*>(out.Table());
    for (int i = 0; i < 1 << bits; ++i) {
      const Colour c = map({table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue});
      table[i] = {static_cast<BYTE>(c.b), static_cast<BYTE>(c.g), static_cast<BYTE>(c.r), 0};
    }
    return expected;
  }
  const bool is565 = bits == 16 && in.Header()->biCompression == BI_BITFIELDS &&
                     reinterpret_cast<const DWORD*>(in.Table())[0] == 0xF800;
  for (int y = 0; y < in.Height(); ++y) {
    auto* row = const_cast<std::uint8_t*>(out.Row(y));
    for (int x = 0; x < in.Width(); ++x) {
      if (!selected(x, y)) continue;
      const Pixel p = in.At(x, y);
      const Colour c = map({p.red, p.green, p.blue});
      if (bits == 8) {
        row[x] = static_cast<std::uint8_t>(0.587 * c.g + 0.299 * c.r + 0.114 * c.b + 0.5);
      } else if (bits == 16) {
        const int word = Narrow(c.r, 5) << (is565 ? 11 : 10) | Narrow(c.g, is565 ? 6 : 5) << 5 |
                         Narrow(c.b, 5);
        row[2 * x] = BYTE(word), row[2 * x + 1] = BYTE(word >> 8);
      } else {
        std::uint8_t* q = row + bits / 8 * x;
        q[0] = BYTE(c.b), q[1] = BYTE(c.g), q[2] = BYTE(c.r);
        if (bits == 32) q[3] = 0;
      }
    }
  }
  return expected;
}

// Whether an effect of these depths takes the layout (4-bit grey ramps are
// taken but left alone: null, error status unchanged).
bool Accepts(unsigned depthMask, Layout layout) {
  if (BitCountOf(layout) < 8 || layout == Layout::kPalette8) return depthMask == kDepthAll;
  return layout != Layout::kGrey8 || depthMask != kDepthTrue;
}

// Runs every random case on a random picture of the layout under a random
// selection (one that keeps the whole picture as the work rectangle when
// `whole`); returns how many results were compared with the model.
int CheckRandomCases(Layout layout, int width, int height, std::uint32_t seed, bool whole,
                     std::mt19937& random) {
  int compared = 0;
  HGLOBAL source = MakePicture(layout, width, height, seed);
  for (const Case& c : RandomCases(random)) {
    // The whole picture; a mask of random bits under a random table (an
    // entry selects when not black in red, green or blue; the fourth byte
    // does not count); or an ellipse around the picture, whose pixels are
    // those of the mask the builder draws for it (tested on its own) within
    // its work rectangle.
    SelectionArgs args{source};
    const BYTE modes[] = {kSelectWhole, kSelectMask, kSelectEllipse};
    args.mode = modes[random() % (whole ? 2 : 3)];
    args.inside = random() % 3 != 0;
    HGLOBAL mask = nullptr;
    WorkRect rect{0, 0, width - 1, height - 1};
    std::ostringstream at, what;
    what << ", mode " << int{args.mode} << (args.inside ? " inside" : " outside");
    if (args.mode == kSelectMask) {
      args.mask = mask = MakePicture(Layout::kPalette1, width, height, random());
      const RGBQUAD entries[] = {{0, 0, 0, 0}, {0, 0, 0, 255}, {255, 255, 255, 0},
                                 {1, 0, 0, 0}, {0, 0, 1, 0},   {0, 128, 0, 0}};
      const int e0 = static_cast<int>(random() % 6), e1 = static_cast<int>(random() % 6);
      auto* table = reinterpret_cast<RGBQUAD*>(static_cast<BYTE*>(GlobalLock(mask)) + 40);
      table[0] = entries[e0], table[1] = entries[e1];
      GlobalUnlock(mask);
      what << ", table entries " << e0 << " " << e1;
    } else if (args.mode == kSelectEllipse) {
      RECT& e = args.rect;
      const auto near = [&](int size) { return static_cast<LONG>(random() % (size + 6)) - 3; };
      do e = {near(width), near(height), near(width), near(height)};
      while (e.left == e.right || e.top == e.bottom);
      what << " rect " << e.left << "," << e.top << "," << e.right << "," << e.bottom;
      mask = BuildSelectionMask(3, nullptr, 0, e.left, e.top, e.right, e.bottom, args.inside,
                                &rect, TRUE);
    }
    Selected selected = [](int, int) { return true; };
    if (mask && c.usesSelection)
      selected = [bits = MaskSelection(mask), rect](int x, int y) {
        return x >= rect.left && x <= rect.right && y >= rect.top && y <= rect.bottom && bits(x, y);
      };
    at << c.what << " on " << NameOf(layout) << " " << width << "x" << height << ", seed " << seed
       << (c.usesSelection ? what.str() : std::string());
    const std::string where = at.str();
    if (!Accepts(c.depthMask, layout) || layout == Layout::kGrey4) {
      SetErrorStatus(42);
      HGLOBAL refused = c.run(args, PixelRoute::kDirect);
      EXPECT_EQ(refused, nullptr) << where;
      EXPECT_EQ(GetErrorStatus(), Accepts(c.depthMask, layout) ? 42 : 7) << where;
      if (refused) GlobalFree(refused);
    } else {
      // The direct route must give the model's result, the record route the
      // same bytes.
      HGLOBAL direct = c.run(args, PixelRoute::kDirect), generic = c.run(args, PixelRoute::kRecord);
      HGLOBAL expected =
          ExpectedTone(source, layout == Layout::kGrey8, c.map, selected, c.greyByTable);
      EXPECT_TRUE(direct && generic) << where << ": error " << GetErrorStatus();
      if (direct && generic) {
        EXPECT_EQ(BlockBytes(direct), BlockBytes(expected))
            << where << ": " << FirstDifference(expected, direct);
        EXPECT_EQ(BlockBytes(generic), BlockBytes(direct))
            << where << ": record route differs, " << FirstDifference(direct, generic);
      }
      for (HGLOBAL picture : {direct, expected, generic})
        if (picture) GlobalFree(picture);
      ++compared;
    }
    if (mask) GlobalFree(mask);
  }
  GlobalFree(source);
  return compared;
}

class ToneRandomTest : public QvxTest {};

TEST_F(ToneRandomTest, EveryEffectMatchesTheModelOnEveryLayoutAndSelection) {
  const int widths[] = {1, 2, 3, 5, 7, 13, 31, 33};
  int compared = 0;
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 random(seed);
    for (Layout layout : AllLayouts()) {
      const int width = widths[random() % 8], height = 1 + static_cast<int>(random() % 6);
      compared += CheckRandomCases(layout, width, height, seed * 31 + width, false, random);
    }
  }
  EXPECT_GT(compared, 4000);
}

// Large jobs map through per-call lookup tables; they must give what the
// model and the record route give.
TEST_F(ToneRandomTest, LargePicturesThroughLookupTablesMatchTheModel) {
  std::mt19937 random(2024);
  for (Layout layout :
       {Layout::kRgb24, Layout::kRgb32, Layout::kRgb565, Layout::kRgb555, Layout::kGrey8})
    CheckRandomCases(layout, 521, 512, static_cast<std::uint32_t>(layout) + 7, true, random);
}

}  // namespace
}  // namespace qvx::test
