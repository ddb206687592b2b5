// Every filter against its reference rule on random pictures of every
// accepted layout at awkward widths, with random parameters and random
// selections; and the direct pixel route against the record's.
#include <gtest/gtest.h>

#include <sstream>

#include "filters/FilterEffects.h"
#include "filters/FilterReference.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

struct Case {
  std::string what;
  std::function<HGLOBAL(const SelectionArgs&, PixelRoute)> run;
  // The rule on a decoded source and work rectangle.
  std::function<PixelRule(const Grid&, const WorkRect&)> rule;
};

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
  k.red = random() % 4;
  k.green = random() % 4;
  k.blue = random() % 4;
  return k;
}

std::vector<Case> RandomCases(std::mt19937& random) {
  std::vector<Case> cases;
  {
    const BYTE radius =
        random() % 4 ? static_cast<BYTE>(random() % 5) : static_cast<BYTE>(random());
    cases.push_back(
        {"Blur " + std::to_string(radius),
         [=](const SelectionArgs& a, PixelRoute route) { return RunBlur(a, radius, TRUE, route); },
         [=](const Grid& g, const WorkRect& rect) -> PixelRule {
           return [&g, rect, radius](int x, int y) { return ref::Blur(g, rect, x, y, radius); };
         }});
  }
  cases.push_back(
      {"AntiAlias",
       [](const SelectionArgs& a, PixelRoute route) { return RunAntiAlias(a, TRUE, route); },
       [](const Grid& g, const WorkRect& rect) -> PixelRule {
         return [&g, rect](int x, int y) { return ref::AntiAlias(g, rect, x, y); };
       }});
  {
    const ref::Kernel k = RandomKernel(random);
    cases.push_back({"CustomFilter " + k.Describe(),
                     [=](const SelectionArgs& a, PixelRoute route) {
                       return RunCustomFilter(
                           a, reinterpret_cast<const FilterKernel*>(k.weights.data()), k.divisor,
                           k.bias, k.red, k.green, k.blue, TRUE, route);
                     },
                     [=](const Grid& g, const WorkRect&) -> PixelRule {
                       return [&g, k](int x, int y) { return ref::Custom(g, x, y, k, 0); };
                     }});
  }
  {
    const BYTE direction = random() % 8, depth = random() % 9, bias = random();
    cases.push_back({"Emboss " + std::to_string(direction) + " depth " + std::to_string(depth) +
                         " bias " + std::to_string(bias),
                     [=](const SelectionArgs& a, PixelRoute route) {
                       return RunEmboss(a, direction, depth, bias, TRUE, route);
                     },
                     [=](const Grid& g, const WorkRect&) -> PixelRule {
                       return [&g, direction, depth, bias](int x, int y) {
                         return ref::Emboss(g, x, y, direction, depth, bias);
                       };
                     }});
  }
  {
    const BYTE channel = random() % 4, op = random() % 3 ? random() % 3 : random(),
               gain = random() % 4 ? random() % 40 : random();
    cases.push_back({"Outline channel " + std::to_string(channel) + " operator " +
                         std::to_string(op) + " gain " + std::to_string(gain),
                     [=](const SelectionArgs& a, PixelRoute route) {
                       return RunOutline(a, channel, op, gain, TRUE, route);
                     },
                     [=](const Grid& g, const WorkRect&) -> PixelRule {
                       return [&g, channel, op, gain](int x, int y) {
                         return ref::Outline(g, x, y, channel, op, gain);
                       };
                     }});
  }
  {
    const BYTE strength = random() % 4 ? random() % 101 : random();
    cases.push_back({"Sharp " + std::to_string(strength),
                     [=](const SelectionArgs& a, PixelRoute route) {
                       return RunSharp(a, strength, TRUE, route);
                     },
                     [=](const Grid& g, const WorkRect&) -> PixelRule {
                       return
                           [&g, strength](int x, int y) { return ref::Sharp(g, x, y, strength); };
                     }});
  }
  for (BYTE method : {0, 1}) {
    const BYTE level = random() % 3 ? 200 + random() % 56 : random();
    cases.push_back({"RemoveNoise " + std::to_string(method) + " level " + std::to_string(level),
                     [=](const SelectionArgs& a, PixelRoute route) {
                       return RunRemoveNoise(a, method, level, TRUE, route);
                     },
                     [=](const Grid& g, const WorkRect&) -> PixelRule {
                       return [&g, method, level](int x, int y) {
                         return ref::RemoveNoise(g, x, y, method, level);
                       };
                     }});
  }
  return cases;
}

const Layout kAccepted[] = {Layout::kGrey8,  Layout::kRgb555, Layout::kRgb555Fields,
                            Layout::kRgb565, Layout::kRgb24,  Layout::kRgb32};

class FilterRandomTest : public QvxTest {};

TEST_F(FilterRandomTest, EveryFilterMatchesItsRuleOnEveryLayoutAndSelection) {
  const int widths[] = {1, 2, 3, 5, 7, 13, 17, 33, 70};
  int compared = 0;
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(seed);
    for (Layout layout : kAccepted) {
      const int width = widths[random() % 9], height = 1 + static_cast<int>(random() % 9);
      HGLOBAL source = MakePicture(layout, width, height, seed * 977 + width);
      const Grid decoded = Decode(source);
      for (const Case& c : RandomCases(random)) {
        RandomSelection selection(random, width, height);
        SelectionArgs args = selection.args;
        args.picture = source;
        const std::string where = c.what + " on " + NameOf(layout) + " " + std::to_string(width) +
                                  "x" + std::to_string(height) + ", seed " + std::to_string(seed) +
                                  ", " + selection.what;
        HGLOBAL direct = c.run(args, PixelRoute::kDirect);
        ASSERT_NE(direct, nullptr) << where << ": error " << GetErrorStatus();
        const Grid expected = ExpectedFilter(decoded, selection.rect, selection.selected,
                                             c.rule(decoded, selection.rect));
        EXPECT_EQ(Mismatch(expected, direct), "") << where;
        HGLOBAL generic = c.run(args, PixelRoute::kRecord);
        EXPECT_EQ(BlockBytes(generic), BlockBytes(direct))
            << where << ": record route differs, " << FirstDifference(direct, generic);
        GlobalFree(generic);
        GlobalFree(direct);
        ++compared;
      }
      GlobalFree(source);
    }
  }
  EXPECT_GT(compared, 400);
}

// The direct variant's own selection: the work rectangle and the pixels
// selected in it, worked out from the selection arguments with the
// variant's rules (vertices and rectangle clamped into the picture, a mask
// of the rectangle's size, bits read without the colour table).
struct DirectSelection {
  WorkRect rect;
  Selected selected = [](int, int) { return true; };
  std::string what;
};

DirectSelection ExpectedDirectSelection(std::mt19937& random, int width, int height,
                                        SelectionArgs& args, std::vector<POINT>& polygon,
                                        HGLOBAL& callerMask) {
  DirectSelection out;
  out.rect = {0, 0, width - 1, height - 1};
  args.mode = static_cast<BYTE>(random() % 4);
  args.inside = random() % 3 != 0;
  out.what = "mode " + std::to_string(args.mode) + (args.inside ? " inside" : " outside");
  const auto near = [&](int size) { return static_cast<LONG>(random() % (size + 10)) - 5; };
  if (args.mode == kSelectMask) {
    std::vector<std::string> rows(height);
    for (std::string& row : rows)
      for (int x = 0; x < width; ++x) row += random() % 3 ? '#' : '.';
    const bool swapped = random() % 2;
    callerMask = MakeMask(rows, swapped);
    args.mask = callerMask;
    // Bit 1 selects, whatever the table says.
    out.selected = [rows, swapped](int x, int y) { return (rows[y][x] == '#') != swapped; };
    return out;
  }
  if (args.mode == kSelectWhole) return out;
  const auto clampX = [&](LONG v) { return std::clamp<LONG>(v, 0, width - 1); };
  const auto clampY = [&](LONG v) { return std::clamp<LONG>(v, 0, height - 1); };
  std::vector<POINT> drawn;
  RECT shape{};
  if (args.mode == kSelectPolygon) {
    polygon.resize(2 + random() % 4);
    for (POINT& p : polygon) {
      p = {near(width), near(height)};
      out.what += " (" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
      drawn.push_back({clampX(p.x), clampY(p.y)});
    }
    args.points = polygon.data();
    args.pointCount = static_cast<int>(polygon.size());
    if (args.inside) {
      out.rect = {width, height, -1, -1};
      for (const POINT& p : drawn) {
        out.rect.left = std::min<int>(out.rect.left, p.x);
        out.rect.top = std::min<int>(out.rect.top, p.y);
        out.rect.right = std::max<int>(out.rect.right, p.x);
        out.rect.bottom = std::max<int>(out.rect.bottom, p.y);
      }
      for (POINT& p : drawn) p = {p.x - out.rect.left, p.y - out.rect.top};
    }
  } else {
    args.rect = {near(width), near(height), near(width), near(height)};
    out.what += " rect " + std::to_string(args.rect.left) + "," + std::to_string(args.rect.top) +
                "," + std::to_string(args.rect.right) + "," + std::to_string(args.rect.bottom);
    const LONG l = clampX(args.rect.left), r = clampX(args.rect.right);
    const LONG t = clampY(args.rect.top), b = clampY(args.rect.bottom);
    shape = {std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)};
    if (args.inside) {
      out.rect = {static_cast<int>(shape.left), static_cast<int>(shape.top),
                  static_cast<int>(shape.right), static_cast<int>(shape.bottom)};
      shape = {0, 0, shape.right - shape.left, shape.bottom - shape.top};
    }
  }
  const int w = out.rect.right - out.rect.left + 1, h = out.rect.bottom - out.rect.top + 1;
  HGLOBAL mask = MakeMask(std::vector<std::string>(h, std::string(w, '.')));
  if (args.mode == kSelectPolygon)
    DrawPolygonMask(mask, drawn.data(), static_cast<int>(drawn.size()));
  else
    DrawEllipseMask(mask, shape.left, shape.top, shape.right, shape.bottom);
  const Selected bits = MaskSelection(mask);
  GlobalFree(mask);
  const WorkRect rect = out.rect;
  const bool inside = args.inside;
  out.selected = [bits, rect, inside](int x, int y) {
    return bits(x - rect.left, y - rect.top) == inside;
  };
  return out;
}

TEST_F(FilterRandomTest, DirectCustomVariantMatchesItsRule) {
  int compared = 0;
  for (std::uint32_t seed = 1; seed <= 150; ++seed) {
    std::mt19937 random(seed);
    const int width = 1 + static_cast<int>(random() % 19),
              height = 1 + static_cast<int>(random() % 9);
    HGLOBAL source = MakePicture(Layout::kRgb24, width, height, seed);
    const Grid decoded = Decode(source);
    SelectionArgs args;
    std::vector<POINT> polygon;
    HGLOBAL mask = nullptr;
    const DirectSelection sel = ExpectedDirectSelection(random, width, height, args, polygon, mask);
    args.picture = source;
    const std::vector<POINT> before = polygon;
    args.pointCount += 1000000;
    const ref::Kernel k = RandomKernel(random);
    const std::string where = "seed " + std::to_string(seed) + " " + std::to_string(width) + "x" +
                              std::to_string(height) + " " + sel.what + " " + k.Describe();
    const auto run = [&](PixelRoute route) {
      return RunCustomFilter(args, reinterpret_cast<const FilterKernel*>(k.weights.data()),
                             k.divisor, k.bias, k.red, k.green, k.blue, TRUE, route);
    };
    HGLOBAL direct = run(PixelRoute::kDirect);
    ASSERT_NE(direct, nullptr) << where << ": error " << GetErrorStatus();
    for (std::size_t i = 0; i < polygon.size(); ++i)
      EXPECT_TRUE(polygon[i].x == before[i].x && polygon[i].y == before[i].y)
          << where << ": the caller's vertex " << i << " was moved";
    const Grid expected = ExpectedFilter(decoded, sel.rect, sel.selected, [&](int x, int y) {
      return std::optional<Colour>(ref::Custom(decoded, x, y, k, std::nullopt));
    });
    EXPECT_EQ(Mismatch(expected, direct), "") << where;
    HGLOBAL generic = run(PixelRoute::kRecord);
    EXPECT_EQ(BlockBytes(generic), BlockBytes(direct)) << where;
    GlobalFree(generic);
    GlobalFree(direct);
    if (mask) GlobalFree(mask);
    GlobalFree(source);
    ++compared;
  }
  EXPECT_EQ(compared, 150);
}

}  // namespace
}  // namespace qvx::test
