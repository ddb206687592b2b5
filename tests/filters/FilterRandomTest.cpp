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
  return cases;
}

const Layout kAccepted[] = {Layout::kGrey8,  Layout::kRgb555, Layout::kRgb555Fields,
                            Layout::kRgb565, Layout::kRgb24,  Layout::kRgb32};

class FilterRandomTest : public QvxTest {};

TEST_F(FilterRandomTest, EveryFilterMatchesItsRuleOnEveryLayoutAndSelection) {
  const int widths[] = {1, 2, 3, 5, 7, 13, 17, 33};
  int compared = 0;
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(seed);
    for (Layout layout : kAccepted) {
      const int width = widths[random() % 8], height = 1 + static_cast<int>(random() % 9);
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

}  // namespace
}  // namespace qvx::test
