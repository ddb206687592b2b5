// Every filter export against its rule on random pictures of every layout
// it takes, at awkward sizes, with random parameters and random selections,
// and the direct pixel route against the record's; the direct variant of
// the custom filter against its own selection rules.
#include <gtest/gtest.h>

#include "filters/FilterEffects.h"
#include "filters/FilterReference.h"
#include "filters/MosaicEffects.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

ref::Kernel RandomKernel(std::mt19937& random) {
  ref::Kernel k;
  const int reach = static_cast<int>(random() % 5);
  const int style = static_cast<int>(random() % 6);
  for (int ky = 4 - reach; ky <= 4 + reach; ++ky)
    for (int kx = 4 - reach; kx <= 4 + reach; ++kx) {
      if (random() % 3 == 0) continue;
      std::int32_t& w = k.weights[9 * ky + kx];
      if (style == 0)  // weights so large that the sums wrap
        w = static_cast<std::int32_t>(random());
      else
        w = static_cast<std::int32_t>(random() % 41) - 20;
    }
  k.divisor = random() % 5 == 0 ? static_cast<int>(random() % 1000) * 256 + 1 + random() % 255
                                : 1 + static_cast<int>(random() % 60);
  k.bias = random() % 4 == 0 ? static_cast<int>(random()) : static_cast<int>(random() % 256);
  k.red = random() % 4, k.green = random() % 4, k.blue = random() % 4;
  return k;
}

using Run = std::function<HGLOBAL(const SelectionArgs&, PixelRoute)>;

std::vector<RandomCase> NeighbourhoodCases(std::mt19937& random) {
  std::vector<RandomCase> cases;
  const BYTE radius = random() % 4 ? static_cast<BYTE>(random() % 5) : static_cast<BYTE>(random());
  cases.push_back(PixelCase(
      Describe("Blur", radius), [=](auto& a, PixelRoute r) { return RunBlur(a, radius, 1, r); },
      [=](auto& g, auto& rect, int x, int y) { return ref::Blur(g, rect, x, y, radius); }));
  cases.push_back(PixelCase(
      "AntiAlias", [](auto& a, PixelRoute r) { return RunAntiAlias(a, 1, r); },
      [](auto& g, auto& rect, int x, int y) { return ref::AntiAlias(g, rect, x, y); }));
  const ref::Kernel k = RandomKernel(random);
  cases.push_back(PixelCase(
      "CustomFilter " + k.Describe(),
      [=](auto& a, PixelRoute r) {
        return RunCustomFilter(a, reinterpret_cast<const FilterKernel*>(k.weights.data()),
                               k.divisor, k.bias, k.red, k.green, k.blue, TRUE, r);
      },
      [=](auto& g, auto&, int x, int y) { return ref::Custom(g, x, y, k, 0); }));
  const BYTE direction = random() % 8, depth = random() % 9, bias = random();
  cases.push_back(PixelCase(
      Describe("Emboss", direction, depth, bias),
      [=](auto& a, PixelRoute r) { return RunEmboss(a, direction, depth, bias, 1, r); },
      [=](auto& g, auto&, int x, int y) { return ref::Emboss(g, x, y, direction, depth, bias); }));
  const BYTE channel = random() % 4, op = random() % 3 ? random() % 3 : random(),
             gain = random() % 4 ? random() % 40 : random();
  cases.push_back(PixelCase(
      Describe("Outline", channel, op, gain),
      [=](auto& a, PixelRoute r) { return RunOutline(a, channel, op, gain, 1, r); },
      [=](auto& g, auto&, int x, int y) { return ref::Outline(g, x, y, channel, op, gain); }));
  const BYTE strength = random() % 4 ? random() % 101 : random();
  cases.push_back(PixelCase(
      Describe("Sharp", strength),
      [=](auto& a, PixelRoute r) { return RunSharp(a, strength, 1, r); },
      [=](auto& g, auto&, int x, int y) { return ref::Sharp(g, x, y, strength); }));
  for (BYTE method : {0, 1}) {
    const BYTE level = random() % 3 ? 200 + random() % 56 : random();
    cases.push_back(PixelCase(
        Describe("RemoveNoise", method, level),
        [=](auto& a, PixelRoute r) { return RunRemoveNoise(a, method, level, 1, r); },
        [=](auto& g, auto&, int x, int y) { return ref::RemoveNoise(g, x, y, method, level); }));
  }
  return cases;
}

// The direct variant's selection, worked out from the arguments with its
// own rules: vertices and rectangle clamped into the picture, shapes drawn
// over their own box (inside) or the whole picture, mask pictures read by
// bit (1 selects) whatever their colours.
void DirectSelection(const Grid& g, const SelectionArgs& args, WorkRect& rect, Selected& selected) {
  rect = {0, 0, g.width - 1, g.height - 1};
  selected = [](int, int) { return true; };
  if (args.mode == kSelectMask) {
    const Grid bits = Decode(args.mask);
    selected = [bits](int x, int y) { return bits.At(x, y).index == 1; };
  }
  if (args.mode != kSelectPolygon && args.mode != kSelectEllipse) return;
  const auto clampX = [&](LONG v) { return std::clamp<LONG>(v, 0, g.width - 1); };
  const auto clampY = [&](LONG v) { return std::clamp<LONG>(v, 0, g.height - 1); };
  std::vector<POINT> drawn;
  RECT shape{};
  if (args.mode == kSelectPolygon) {
    for (int i = 0; i < args.pointCount; ++i)
      drawn.push_back({clampX(args.points[i].x), clampY(args.points[i].y)});
    if (args.inside) {
      rect = {g.width, g.height, -1, -1};
      for (const POINT& p : drawn) {
        rect.left = std::min<int>(rect.left, p.x);
        rect.top = std::min<int>(rect.top, p.y);
        rect.right = std::max<int>(rect.right, p.x);
        rect.bottom = std::max<int>(rect.bottom, p.y);
      }
      for (POINT& p : drawn) p = {p.x - rect.left, p.y - rect.top};
    }
  } else {
    const LONG l = clampX(args.rect.left), r = clampX(args.rect.right);
    const LONG t = clampY(args.rect.top), b = clampY(args.rect.bottom);
    shape = {std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)};
    if (args.inside) {
      rect = {int(shape.left), int(shape.top), int(shape.right), int(shape.bottom)};
      shape = {0, 0, shape.right - shape.left, shape.bottom - shape.top};
    }
  }
  const int w = rect.right - rect.left + 1, h = rect.bottom - rect.top + 1;
  HGLOBAL mask = MakeMask(std::vector<std::string>(h, std::string(w, '.')));
  if (args.mode == kSelectPolygon)
    DrawPolygonMask(mask, drawn.data(), static_cast<int>(drawn.size()));
  else
    DrawEllipseMask(mask, shape.left, shape.top, shape.right, shape.bottom);
  const Selected bits = MaskSelection(mask);
  GlobalFree(mask);
  const WorkRect box = rect;
  const bool inside = args.inside;
  selected = [bits, box, inside](int x, int y) {
    return bits(x - box.left, y - box.top) == inside;
  };
}

// The direct variant (vertex count + 1,000,000), which keeps the channels
// it does not filter and must not move the caller's vertices.
std::vector<RandomCase> DirectCustomCases(std::mt19937& random) {
  const ref::Kernel k = RandomKernel(random);
  const Run run = [k](const SelectionArgs& a, PixelRoute route) {
    SelectionArgs direct = a;
    direct.pointCount += 1000000;
    const std::vector<POINT> before(a.points, a.points + a.pointCount);
    HGLOBAL result =
        RunCustomFilter(direct, reinterpret_cast<const FilterKernel*>(k.weights.data()), k.divisor,
                        k.bias, k.red, k.green, k.blue, TRUE, route);
    for (int i = 0; i < a.pointCount; ++i)
      EXPECT_TRUE(a.points[i].x == before[i].x && a.points[i].y == before[i].y)
          << "the caller's vertex " << i << " was moved";
    return result;
  };
  return {
      {"CustomFilter direct " + k.Describe(), run, [k](const Grid& g, const RandomSelection& s) {
         WorkRect rect;
         Selected selected;
         DirectSelection(g, s.args, rect, selected);
         return ExpectedFilter(g, rect, selected, [&](int x, int y) {
           return std::optional<Colour>(ref::Custom(g, x, y, k, std::nullopt));
         });
       }}};
}

class FilterRandomTest : public QvxTest {};
class OilPaintTest : public QvxTest {};
class MosaicTest : public QvxTest {};
class MotionBlurTest : public QvxTest {};

TEST_F(FilterRandomTest, EveryFilterMatchesItsRuleOnEveryLayoutAndSelection) {
  EXPECT_EQ(CheckRandomCases(40, kFilterLayouts, NeighbourhoodCases), 40 * 6 * 8);
}

TEST_F(FilterRandomTest, DirectCustomVariantMatchesItsRule) {
  EXPECT_EQ(CheckRandomCases(150, {Layout::kRgb24}, DirectCustomCases), 150);
}

// Every brush size from 1 to 8 (even ones reach further right and down) and
// one larger, with both methods: on pictures of few values counts tie often.
std::vector<RandomCase> OilPaintCases(std::mt19937& random) {
  std::vector<RandomCase> cases;
  for (BYTE method : {0, 1})
    for (int n = 1; n <= 9; ++n) {
      const BYTE size = static_cast<BYTE>(n < 9 ? n : 9 + random() % 247);
      cases.push_back(PixelCase(
          Describe("OilPaint method", method, "size", size),
          [=](auto& a, PixelRoute r) { return RunOilPaint(a, method, size, TRUE, r); },
          [=](auto& g, auto& rect, int x, int y) {
            return ref::OilPaint(g, rect, x, y, method, size);
          }));
    }
  return cases;
}

TEST_F(OilPaintTest, MatchesTheBrushRuleForEachSizeAndMethodOnEveryDepthAndSelection) {
  EXPECT_EQ(CheckRandomCases(30, kFilterLayouts, OilPaintCases), 30 * 6 * 18);
}

// Two random cell sizes, now and then wider than any picture.
std::vector<RandomCase> MosaicCases(std::mt19937& random) {
  std::vector<RandomCase> cases;
  for (int n = 0; n < 2; ++n) {
    int cw = 1 + static_cast<int>(random() % 6), ch = 1 + static_cast<int>(random() % 6);
    if (random() % 6 == 0) cw = 1000 + static_cast<int>(random() % 100000);
    if (cw == 1 && ch == 1) ch = 2;
    cases.push_back(
        {Describe("Mosaic cells", cw, ch),
         [=](auto& a, PixelRoute r) { return RunMosaic(a, cw, ch, TRUE, r); },
         [=](auto& g, auto& s) { return ExpectedMosaic(g, s.rect, s.selected, cw, ch); }});
  }
  return cases;
}

TEST_F(MosaicTest, MatchesTheCellRuleOnEveryDepthAndSelection) {
  EXPECT_EQ(CheckRandomCases(30, AllLayouts(), MosaicCases), 30 * 10 * 2);
}

// The three kinds with random sample counts and angles.
std::vector<RandomCase> MotionBlurCases(std::mt19937& random) {
  std::vector<RandomCase> cases;
  for (BYTE kind : {0, 1, 2}) {
    const BYTE samples = static_cast<BYTE>(random() % 5 ? random() % 12 : random() % 256);
    const int degrees = kind == 1 ? (random() % 5 ? static_cast<int>(random() % 200) : 0)
                                  : static_cast<int>(random() % 1441) - 720;
    cases.push_back(PixelCase(
        Describe("MotionBlur kind", kind, "samples", samples, "degrees", degrees),
        [=](auto& a, PixelRoute r) { return RunMotionBlur(a, kind, samples, degrees, TRUE, r); },
        [=](auto& g, auto& rect, int x, int y) {
          return ref::MotionBlur(g, rect, x, y, kind, samples, degrees);
        }));
  }
  return cases;
}

TEST_F(MotionBlurTest, EveryKindMatchesItsPathOnEveryDepthAndSelection) {
  EXPECT_EQ(CheckRandomCases(30, kFilterLayouts, MotionBlurCases), 30 * 6 * 3);
}

}  // namespace
}  // namespace qvx::test
