// What the random tests of the filters and distortions share: the
// expected picture of a per-pixel rule, random selections, and the driver
// that runs random cases on random pictures of every layout by both pixel
// routes.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "frame/Selection.h"
#include "frame/SelectionArgs.h"
#include "geometry/GeometryReference.h"

namespace qvx::test {

// The source with the colours the rule gives (or not) for the selected
// pixels of the rectangle stored as the filter stores them: 16-bit packing,
// alpha 0, grey pictures as the index (0.587 G + 0.299 R) + 0.114 B rounded.
template <typename Rule>
Grid ExpectedFilter(const Grid& source, const WorkRect& rect, const Selected& selected,
                    const Rule& rule) {
  Grid out = source;
  for (int y = rect.top; y <= rect.bottom; ++y)
    for (int x = rect.left; x <= rect.right; ++x) {
      const std::optional<Colour> c = selected(x, y) ? rule(x, y) : std::nullopt;
      if (!c) continue;
      Pixel stored = source.Stored(c->r, c->g, c->b);
      if (source.grey) {
        stored.index = static_cast<int>(0.587 * c->g + 0.299 * c->r + 0.114 * c->b + 0.5);
        stored.red = stored.green = stored.blue = stored.index;
      }
      out.At(x, y) = stored;
    }
  return out;
}


// A random selection for a picture of the given size: its arguments, the
// work rectangle it leads to and the pixels it selects.
struct RandomSelection {
  RandomSelection(std::mt19937& random, int width, int height) {
    args.mode = static_cast<BYTE>(random() % 4);
    args.inside = random() % 3 != 0;
    rect = {0, 0, width - 1, height - 1};
    selected = [](int, int) { return true; };
    what = Describe("selection mode", args.mode, args.inside ? "inside" : "outside");
    const auto near = [&](int size) { return static_cast<LONG>(random() % (size + 6)) - 3; };
    HGLOBAL m = nullptr;
    if (args.mode == kSelectMask) args.mask = m = RandomMask(random, width, height);
    if (args.mode == kSelectPolygon) {
      polygon.resize(3 + random() % 3);
      for (POINT& p : polygon) p = {near(width), near(height)}, what += Describe(p.x, p.y);
      args.points = polygon.data();
      args.pointCount = static_cast<int>(polygon.size());
    }
    if (args.mode == kSelectEllipse) {
      do args.rect = {near(width), near(height), near(width), near(height)};
      while (args.rect.left == args.rect.right || args.rect.top == args.rect.bottom);
      what += Describe("rect", args.rect.left, args.rect.top, args.rect.right, args.rect.bottom);
    }
    if (args.mode == kSelectPolygon || args.mode == kSelectEllipse) {
      // The shape's pixels are the mask builder's business (tested with it);
      // the filters are judged on the mask it draws.
      std::vector<POINT> moved = polygon;
      m = BuildSelectionMask(args.mode, moved.data(), args.pointCount, args.rect.left,
                             args.rect.top, args.rect.right, args.rect.bottom, args.inside, &rect,
                             TRUE);
    }
    if (m) selected = MaskSelection(m), mask.reset(m, GlobalFree);
  }
  RandomSelection(const RandomSelection&) = delete;  // args point into it
  SelectionArgs args;
  WorkRect rect;
  Selected selected;  // inside rect
  std::string what;
  std::vector<POINT> polygon;
  std::shared_ptr<void> mask;
};

// One random case of an effect: the effect run on a selection's arguments by
// a pixel route, and its expected result on the decoded source.
using Run = std::function<HGLOBAL(const SelectionArgs&, PixelRoute)>;
struct RandomCase {
  std::string what;
  Run run;
  std::function<Grid(const Grid& source, const RandomSelection&)> expected;
};

// A case whose rule works pixel by pixel.
template <typename Rule>
RandomCase PixelCase(const std::string& what, Run run, Rule rule) {
  return {what, std::move(run), [rule](const Grid& g, const RandomSelection& s) {
            return ExpectedFilter(g, s.rect, s.selected, [&](int x, int y) {
              return std::optional<Colour>(rule(g, s.rect, x, y));
            });
          }};
}

// A case of an effect whose rule takes the same parameters, the window not
// shown.
template <auto RunEffect, auto Rule, typename... P>
RandomCase Case(const std::string& name, P... p) {
  return PixelCase(
      Describe(name, p...),
      [=](const SelectionArgs& a, PixelRoute route) { return RunEffect(a, p..., TRUE, route); },
      [=](const Grid& g, const WorkRect& rect, int x, int y) { return Rule(g, rect, x, y, p...); });
}

// For each seed and layout a random picture of an awkward size, most of them
// of few distinct values (ties and equal counts), and for each case drawn a
// random selection: the direct route must give the expected picture, the
// record route the same bytes. Returns the number of cases run.
// Widths come from `widths` (wide ones for code that works rows in chunks).
inline int CheckRandomCases(int seeds, const std::vector<Layout>& layouts,
                     const std::function<std::vector<RandomCase>(std::mt19937&)>& makeCases,
                     const std::vector<int>& widths = {1, 2, 3, 5, 7, 13, 17, 33, 70}) {
  const BYTE fewValues[] = {0xFF, 0xC1, 0x80, 0x03};  // the bits each byte keeps
  int compared = 0;
  for (int seed = 1; seed <= seeds; ++seed) {
    std::mt19937 random(seed);
    for (Layout layout : layouts) {
      const int width = widths[random() % widths.size()], height = 1 + static_cast<int>(random() % 11);
      HGLOBAL source = MakePicture(layout, width, height, random());
      const BYTE keep = fewValues[random() % 4];
      {
        PictureView view(source);
        for (int y = 0; y < height; ++y)
          for (std::uint32_t i = 0; i < view.RowBytes(); ++i)
            const_cast<std::uint8_t*>(view.Row(y))[i] &= keep;
      }
      const Grid decoded = Decode(source);
      for (const RandomCase& c : makeCases(random)) {
        RandomSelection selection(random, width, height);
        SelectionArgs args = selection.args;
        args.picture = source;
        const std::string where = Describe(c.what, "on", NameOf(layout), width, height, "bits",
                                           int{keep}, "seed", seed, selection.what);
        HGLOBAL direct = c.run(args, PixelRoute::kDirect);
        HGLOBAL generic = c.run(args, PixelRoute::kRecord);
        if (!direct || !generic) {
          ADD_FAILURE() << where << ": no picture, error " << GetErrorStatus();
        } else {
          EXPECT_EQ(Mismatch(c.expected(decoded, selection), direct), "") << where;
          EXPECT_EQ(BlockBytes(generic), BlockBytes(direct))
              << where << ": record route differs, " << FirstDifference(direct, generic);
        }
        if (direct) GlobalFree(direct);
        if (generic) GlobalFree(generic);
        ++compared;
      }
      GlobalFree(source);
    }
  }
  return compared;
}

// The layouts the neighbourhood filters take (mosaic takes every layout).
inline const std::vector<Layout> kFilterLayouts = {Layout::kGrey8,  Layout::kRgb555, Layout::kRgb555Fields,
                                            Layout::kRgb565, Layout::kRgb24,  Layout::kRgb32};

}  // namespace qvx::test
