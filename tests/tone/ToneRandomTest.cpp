// Every tone and colour effect against the independent model, on random
// pictures of every layout at awkward widths, random parameters and random
// selections; and the direct pixel route against the record's.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "frame/Selection.h"
#include "support/Fixture.h"
#include "support/Pictures.h"
#include "tone/ToneEffects.h"
#include "tone/ToneModel.h"

namespace qvx::test {
namespace {

struct Case {
  std::string what;  // the effect and its parameters, for failure messages
  std::function<HGLOBAL(const SelectionArgs&, PixelRoute)> run;
  ColourMap map;
  unsigned depthMask = kDepthAll;
  bool greyByTable = false;
  bool usesSelection = true;
};

std::vector<POINT> RandomCurve(std::mt19937& random) {
  std::vector<POINT> points(random() % 7);
  int x = static_cast<int>(random() % 80) - 20;
  for (POINT& p : points) {
    p = {x, static_cast<LONG>(random() % 360) - 50};
    x += static_cast<int>(random() % 90);  // sometimes the same x again
  }
  return points;
}

double RandomGamma(std::mt19937& random) {
  return random() % 5 == 0 ? 0.0 : std::uniform_real_distribution<double>(-3, 3)(random);
}

int RandomOffset(std::mt19937& random) { return static_cast<int>(random() % 801) - 400; }

template <class... Values>
std::string Describe(const char* name, const Values&... values) {
  std::ostringstream out;
  out << name;
  ((out << ' ' << values), ...);
  return out.str();
}

std::vector<Case> RandomCases(std::mt19937& random) {
  using Args = const SelectionArgs&;
  std::vector<Case> cases;
  auto flag = [&] { return static_cast<BOOL>(random() % 2); };
  auto level = [&] { return static_cast<BYTE>(random()); };
  {
    const double r = RandomGamma(random), g = RandomGamma(random), b = RandomGamma(random);
    cases.push_back({Describe("RGBGamma", r, g, b),
                     [=](Args a, PixelRoute route) { return RunRGBGamma(a, r, g, b, TRUE, route); },
                     [=](Colour c) { return model::RgbGamma(c, r, g, b); }});
  }
  {
    const int r = RandomOffset(random), g = RandomOffset(random), b = RandomOffset(random);
    cases.push_back({Describe("RGBLevel", r, g, b),
                     [=](Args a, PixelRoute route) { return RunRGBLevel(a, r, g, b, TRUE, route); },
                     [=](Colour c) { return model::RgbLevel(c, r, g, b); }});
  }
  {
    const BOOL r = flag(), g = flag(), b = flag();
    cases.push_back({Describe("RGBRev", r, g, b),
                     [=](Args a, PixelRoute route) { return RunRGBRev(a, r, g, b, TRUE, route); },
                     [=](Colour c) { return model::RgbRev(c, r, g, b); }});
  }
  {
    const std::vector<POINT> points = RandomCurve(random);
    const int n = static_cast<int>(points.size());
    const std::vector<int> table = model::SplineTable(points);
    std::ostringstream curve;
    for (const POINT& p : points) curve << "(" << p.x << "," << p.y << ")";
    const BOOL r = flag(), g = flag(), b = flag();
    cases.push_back({Describe("RGBSpline", r, g, b, curve.str()),
                     [=](Args a, PixelRoute route) {
                       return RunRGBSpline(a, points.data(), n, r, g, b, TRUE, route);
                     },
                     [=](Colour c) { return model::RgbSpline(c, table, r, g, b); }});
    const BOOL y = flag(), cr = flag(), cb = flag();
    const auto fns = model::YccSpline(table, y, cr, cb);
    cases.push_back({Describe("YCCSpline", y, cr, cb, curve.str()),
                     [=](Args a, PixelRoute route) {
                       return RunYCCSpline(a, points.data(), n, y, cr, cb, TRUE, route);
                     },
                     [=](Colour c) { return model::Ycc(c, fns); }});
  }
  {
    const double y = RandomGamma(random), cr = RandomGamma(random), cb = RandomGamma(random);
    const auto fns = model::YccGamma(y, cr, cb);
    cases.push_back(
        {Describe("YCCGamma", y, cr, cb),
         [=](Args a, PixelRoute route) { return RunYCCGamma(a, y, cr, cb, TRUE, route); },
         [=](Colour c) { return model::Ycc(c, fns); }});
  }
  {
    const int y = RandomOffset(random), cr = RandomOffset(random), cb = RandomOffset(random);
    const auto fns = model::YccLevel(y, cr, cb);
    cases.push_back(
        {Describe("YCCLevel", y, cr, cb),
         [=](Args a, PixelRoute route) { return RunYCCLevel(a, y, cr, cb, TRUE, route); },
         [=](Colour c) { return model::Ycc(c, fns); }});
  }
  {
    const BOOL y = flag(), cr = flag(), cb = flag();
    const auto fns = model::YccRev(y, cr, cb);
    cases.push_back({Describe("YCCRev", y, cr, cb),
                     [=](Args a, PixelRoute route) { return RunYCCRev(a, y, cr, cb, TRUE, route); },
                     [=](Colour c) { return model::Ycc(c, fns); }});
  }
  cases.push_back({"SetGray",
                   [](Args a, PixelRoute route) { return RunSetGray(a.picture, TRUE, route); },
                   model::Grey, kDepthAll, true, false});
  {
    const BYTE r = level(), g = level(), b = level();
    const BYTE t = random() % 4 ? random() % 60 : level();
    cases.push_back(
        {Describe("UnifyColor", +r, +g, +b, +t),
         [=](Args a, PixelRoute route) { return RunUnifyColor(a, r, g, b, t, TRUE, route); },
         [=](Colour c) { return model::Unify(c, r, g, b, t); }, kDepthGreyAndTrue});
  }
  {
    const int amount = random() % 6 == 0 ? 0 : static_cast<int>(random() % 1400) - 200;
    cases.push_back({Describe("Chroma", amount),
                     [=](Args a, PixelRoute route) { return RunChroma(a, amount, TRUE, route); },
                     [=](Colour c) { return model::Chroma(c, amount); }});
  }
  {
    const BYTE r = level(), g = level(), b = level(), t = random() % 120;
    cases.push_back(
        {Describe("RedEyeRemoval", +r, +g, +b, +t),
         [=](Args a, PixelRoute route) { return RunRedEyeRemoval(a, r, g, b, t, TRUE, route); },
         [=](Colour c) { return model::RedEye(c, r, g, b, t); }, kDepthTrue});
  }
  return cases;
}

// A random selection on a picture of the given size, its description, and
// the pixels it selects (worked out through the mask builder for shapes).
struct RandomSelection {
  SelectionArgs args;
  std::vector<POINT> polygon;
  HGLOBAL mask = nullptr;  // mode 0: the caller's mask; modes 2, 3: the expected one
  WorkRect rect;
  std::string what;

  RandomSelection(std::mt19937& random, int width, int height) {
    args.mode = static_cast<BYTE>(random() % 4);
    args.inside = random() % 3 != 0;
    rect = {0, 0, width - 1, height - 1};
    std::ostringstream out;
    out << "mode " << int{args.mode} << (args.inside ? " inside" : " outside");
    auto coordinate = [&](int size) { return static_cast<LONG>(random() % (size + 6)) - 3; };
    if (args.mode == kSelectMask) {
      std::vector<std::string> rows(height, std::string(width, '.'));
      for (auto& row : rows)
        for (char& c : row) c = random() % 2 ? '#' : '.';
      mask = MakeMask(rows, random() % 2);
      args.mask = mask;
    } else if (args.mode == kSelectPolygon) {
      polygon.resize(3 + random() % 3);
      for (POINT& p : polygon) p = {coordinate(width), coordinate(height)};
      args.points = polygon.data();
      args.pointCount = static_cast<int>(polygon.size());
      for (const POINT& p : polygon) out << " (" << p.x << "," << p.y << ")";
    } else if (args.mode == kSelectEllipse) {
      do {
        args.rect = {coordinate(width), coordinate(height), coordinate(width), coordinate(height)};
      } while (args.rect.left == args.rect.right || args.rect.top == args.rect.bottom);
      out << " rect " << args.rect.left << "," << args.rect.top << "," << args.rect.right << ","
          << args.rect.bottom;
    }
    if (args.mode >= kSelectPolygon) {
      std::vector<POINT> copy = polygon;
      mask =
          BuildSelectionMask(args.mode, copy.data(), args.pointCount, args.rect.left, args.rect.top,
                             args.rect.right, args.rect.bottom, args.inside, &rect, TRUE);
    }
    what = out.str();
  }
  ~RandomSelection() {
    if (mask) GlobalFree(mask);
  }

  Selected Pixels() const {
    if (!mask) return [](int, int) { return true; };
    const Selected bits = MaskSelection(mask);
    const WorkRect r = rect;
    return [bits, r](int x, int y) {
      return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom && bits(x, y);
    };
  }
};

bool Accepts(unsigned depthMask, Layout layout) {
  switch (layout) {
    case Layout::kPalette1:
    case Layout::kPalette4:
    case Layout::kGrey4:
    case Layout::kPalette8:
      return depthMask == kDepthAll;
    case Layout::kGrey8:
      return depthMask != kDepthTrue;
    default:
      return true;
  }
}

class ToneRandomTest : public QvxTest {};

TEST_F(ToneRandomTest, EveryEffectMatchesTheModelOnEveryLayoutAndSelection) {
  const int widths[] = {1, 2, 3, 5, 7, 13, 31, 33};
  int compared = 0;
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 random(seed);
    for (Layout layout : AllLayouts()) {
      const int width = widths[random() % 8], height = 1 + static_cast<int>(random() % 6);
      HGLOBAL source = MakePicture(layout, width, height, seed * 31 + width);
      for (const Case& c : RandomCases(random)) {
        RandomSelection selection(random, width, height);
        SelectionArgs args = c.usesSelection ? selection.args : SelectionArgs{};
        args.picture = source;
        const std::string where = c.what + " on " + NameOf(layout) + " " + std::to_string(width) +
                                  "x" + std::to_string(height) + ", seed " + std::to_string(seed) +
                                  (c.usesSelection ? ", " + selection.what : "");
        SetErrorStatus(42);
        HGLOBAL direct = c.run(args, PixelRoute::kDirect);
        if (!Accepts(c.depthMask, layout) || layout == Layout::kGrey4) {
          EXPECT_EQ(direct, nullptr) << where;
          EXPECT_EQ(GetErrorStatus(), Accepts(c.depthMask, layout) ? 42 : 7) << where;
          if (direct) GlobalFree(direct);
          continue;
        }
        ASSERT_NE(direct, nullptr) << where << ": error " << GetErrorStatus();
        HGLOBAL expected = ExpectedTone(
            source, c.map,
            c.usesSelection ? selection.Pixels() : Selected([](int, int) { return true; }),
            c.greyByTable);
        EXPECT_EQ(BlockBytes(direct), BlockBytes(expected))
            << where << ": " << FirstDifference(expected, direct);
        HGLOBAL generic = c.run(args, PixelRoute::kRecord);
        EXPECT_EQ(BlockBytes(generic), BlockBytes(direct))
            << where << ": record route differs, " << FirstDifference(direct, generic);
        GlobalFree(generic);
        GlobalFree(expected);
        GlobalFree(direct);
        ++compared;
      }
      GlobalFree(source);
    }
  }
  EXPECT_GT(compared, 4000);
}

// Large jobs map through per-call lookup tables; they must give what the
// model and the record route give.
TEST_F(ToneRandomTest, LargePicturesThroughLookupTablesMatchTheModel) {
  const int width = 521, height = 512;  // above the size that builds tables
  const Layout layouts[] = {Layout::kRgb24, Layout::kRgb32, Layout::kRgb565, Layout::kRgb555,
                            Layout::kGrey8};
  std::mt19937 random(2024);
  for (Layout layout : layouts) {
    HGLOBAL source = MakePicture(layout, width, height, static_cast<std::uint32_t>(layout) + 7);
    for (const Case& c : RandomCases(random)) {
      if (!Accepts(c.depthMask, layout)) continue;
      // A mask selection keeps the work rectangle the whole picture.
      std::vector<std::string> rows(height, std::string(width, '#'));
      for (int i = 0; i < 4000; ++i) rows[random() % height][random() % width] = '.';
      HGLOBAL mask = MakeMask(rows);
      SelectionArgs args;
      args.picture = source;
      if (random() % 2) {
        args.mode = kSelectMask;
        args.mask = mask;
      }
      const std::string where =
          c.what + " on " + NameOf(layout) + (args.mode == kSelectMask ? " with a mask" : "");
      HGLOBAL direct = c.run(args, PixelRoute::kDirect);
      ASSERT_NE(direct, nullptr) << where;
      const Selected all = [](int, int) { return true; };
      HGLOBAL expected = ExpectedTone(
          source, c.map, args.mode == kSelectMask && c.usesSelection ? MaskSelection(mask) : all,
          c.greyByTable);
      EXPECT_EQ(BlockBytes(direct), BlockBytes(expected))
          << where << ": " << FirstDifference(expected, direct);
      HGLOBAL generic = c.run(args, PixelRoute::kRecord);
      EXPECT_EQ(BlockBytes(generic), BlockBytes(direct))
          << where << ": record route differs, " << FirstDifference(direct, generic);
      GlobalFree(generic);
      GlobalFree(expected);
      GlobalFree(direct);
      GlobalFree(mask);
    }
    GlobalFree(source);
  }
}

}  // namespace
}  // namespace qvx::test
