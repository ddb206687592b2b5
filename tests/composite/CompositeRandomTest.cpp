// QVLayer, QVLayerEx and QVPasteImage against the tests' own model on small
// random picture pairs of every pair of layouts: random offsets, opacities,
// keys, fills, clip, alpha flag, angles, mirror, flip and masks.
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "composite/CompositeModel.h"

namespace qvx::test {
namespace {

// Gives `to` the colour table of `from` (same bit count), so that palette
// pairs can share their format.
void ShareTable(HGLOBAL from, HGLOBAL to) {
  auto* a = static_cast<BYTE*>(GlobalLock(from));
  auto* b = static_cast<BYTE*>(GlobalLock(to));
  const UINT bytes = GetDibPalSize(reinterpret_cast<BITMAPINFOHEADER*>(a));
  std::memcpy(b + 40, a + 40, bytes);
  reinterpret_cast<BITMAPINFOHEADER*>(b)->biClrUsed =
      reinterpret_cast<BITMAPINFOHEADER*>(a)->biClrUsed;
  GlobalUnlock(from);
  GlobalUnlock(to);
}

class CompositeRandomTest : public QvxTest {
 protected:
  std::mt19937 random_{20261206};
  int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random_); }
  int Opacity() {
    const int pick = Uniform(0, 3);
    return pick == 0 ? 0 : pick == 1 ? 255 : Uniform(1, 254);
  }
  // A colour of the picture (so that keys match), or a random one.
  Colour Key(const Grid& g) {
    if (Uniform(0, 3) == 0) return {Uniform(0, 255), Uniform(0, 255), Uniform(0, 255)};
    const Pixel& p = g.At(Uniform(0, g.width - 1), Uniform(0, g.height - 1));
    return {p.red, p.green, p.blue};
  }
  // A paste at `angle` of a pw x ph picture onto a tw x th target, its
  // centre up to `reach` pixels beyond the target's edges (-1: up to half
  // the pasted picture's size); the rest random.
  PasteArgs RandomPaste(HGLOBAL pasted, int angle, bool keyOn, int tw, int th, int reach) {
    const Grid g = Decode(pasted);
    const int rx = reach < 0 ? g.width / 2 : reach, ry = reach < 0 ? g.height / 2 : reach;
    PasteArgs at;
    at.angle = angle;
    at.mirror = Uniform(0, 1);
    at.flip = Uniform(0, 1);
    at.opacity = Opacity();
    at.keyOn = keyOn;
    at.key = Key(g);
    at.fill = {Uniform(0, 255), Uniform(0, 255), Uniform(0, 255)};
    at.px = Uniform(-rx, tw + rx);
    at.py = Uniform(-ry, th + ry);
    at.clip = Uniform(0, 1);
    return at;
  }
  // How QVPasteImage's result differs from the model's, described with the
  // case ("" when it does not); `mask` may be null.
  std::string PasteMismatch(HGLOBAL target, HGLOBAL pasted, HGLOBAL mask, const PasteArgs& at) {
    ImageHandles in{pasted, mask};
    HGLOBAL result = Keep(QVPasteImage(target, &in, at.angle, at.mirror, at.flip, BYTE(at.opacity),
                                       at.keyOn, at.key.r, at.key.g, at.key.b, at.fill.r, at.fill.g,
                                       at.fill.b, at.px, at.py, at.clip, TRUE, 0, 0, 0));
    const Composite model =
        ModelPaste(Decode(target), Decode(pasted), mask ? Decode(mask) : Grid{}, at);
    const std::string mismatch = Mismatch(model.grid, result);
    if (mismatch.empty()) return mismatch;
    return mismatch + "; " +
           Describe(at.angle, at.mirror, at.flip, at.opacity, at.keyOn, at.px, at.py, at.clip,
                    mask != nullptr);
  }
  // The second picture of a pair; palette pairs of one bit count share the
  // first's table half the time.
  HGLOBAL Second(Layout first, HGLOBAL firstPicture, Layout layout, int w, int h) {
    HGLOBAL picture = Keep(MakePicture(layout, w, h, random_()));
    if (BitCountOf(layout) <= 8 && BitCountOf(layout) == BitCountOf(first) && Uniform(0, 1))
      ShareTable(firstPicture, picture);
    return picture;
  }
};

TEST_F(CompositeRandomTest, LayerMatchesTheModelOnEveryPairOfLayouts) {
  int cases = 0;
  for (Layout under : AllLayouts())
    for (Layout over : AllLayouts())
      for (int round = 0; round < 4; ++round) {
        const int bw = Uniform(1, 12), bh = Uniform(1, 9), lw = Uniform(1, 10), lh = Uniform(1, 8);
        HGLOBAL base = Keep(MakePicture(under, bw, bh, random_()));
        HGLOBAL layer = Second(under, base, over, lw, lh);
        const Grid b = Decode(base), l = Decode(layer);
        LayerArgs at;
        at.opacity = Opacity();
        at.keyOn = Uniform(0, 1);
        at.key = Key(l);
        at.fill = {Uniform(0, 255), Uniform(0, 255), Uniform(0, 255)};
        at.dx = Uniform(-lw - 2, bw + 1);
        at.dy = Uniform(-lh - 2, bh + 1);
        at.clip = Uniform(0, 1);
        at.alpha = Uniform(0, 1);
        HGLOBAL result = Keep(QVLayerEx(base, layer, BYTE(at.opacity), at.keyOn, at.key.r, at.key.g,
                                        at.key.b, at.fill.r, at.fill.g, at.fill.b, at.dx, at.dy,
                                        at.clip, at.alpha, TRUE, 0, 0, 0));
        const Composite model = ModelLayer(b, l, at);
        const std::string mismatch = Mismatch(model.grid, result);
        ASSERT_EQ(mismatch, "") << NameOf(under) << " under " << NameOf(over) << ": "
                                << Describe(bw, bh, lw, lh, at.opacity, at.keyOn, at.dx, at.dy,
                                            at.clip, at.alpha);
        ASSERT_EQ(Decode(result).table.size(), model.grid.table.size());
        const auto table = Decode(result).table;
        EXPECT_TRUE(table.empty() ||
                    std::memcmp(table.data(), model.grid.table.data(), 4 * table.size()) == 0)
            << "colour table, " << NameOf(under) << " under " << NameOf(over);
        ++cases;
      }
  EXPECT_EQ(cases, 400);
}

TEST_F(CompositeRandomTest, PasteMatchesTheModelOnEveryPairOfLayouts) {
  const int angles[] = {0, 9000, 18000, 27000, -9000, 3000, 4500, 12345, 20000, 33333, -100};
  int cases = 0;
  for (Layout under : AllLayouts())
    for (Layout over : AllLayouts())
      for (int round = 0; round < 4; ++round) {
        const int tw = Uniform(1, 12), th = Uniform(1, 10), pw = Uniform(1, 9), ph = Uniform(1, 8);
        HGLOBAL target = Keep(MakePicture(under, tw, th, random_()));
        HGLOBAL pasted = Second(under, target, over, pw, ph);
        HGLOBAL mask = Uniform(0, 2) == 0 ? Keep(RandomMask(random_, pw, ph)) : nullptr;
        const int angle = angles[Uniform(0, 10)];
        const PasteArgs at = RandomPaste(pasted, angle, Uniform(0, 1), tw, th, std::max(pw, ph));
        ASSERT_EQ(PasteMismatch(target, pasted, mask, at), "")
            << NameOf(under) << " under " << NameOf(over) << ": " << Describe(tw, th, pw, ph);
        ++cases;
      }
  EXPECT_EQ(cases, 400);
}

// Wide true-colour pairs, where rows are mixed several pixels at a time:
// every run length and tail of those loops, against the same model.
TEST_F(CompositeRandomTest, WideTrueColourPairsMatchTheModel) {
  const Layout layouts[] = {Layout::kRgb24, Layout::kRgb32};
  for (Layout under : layouts)
    for (Layout over : layouts)
      for (int round = 0; round < 12; ++round) {
        const int bw = Uniform(8, 60), bh = Uniform(1, 6), lw = Uniform(1, 50), lh = Uniform(1, 6);
        HGLOBAL base = Keep(MakePicture(under, bw, bh, random_()));
        HGLOBAL layer = Keep(MakePicture(over, lw, lh, random_()));
        const Grid b = Decode(base), l = Decode(layer);
        LayerArgs at;
        at.opacity = Opacity();
        at.keyOn = Uniform(0, 1);
        at.key = Key(l);
        at.dx = Uniform(-lw / 2, bw - lw / 2);
        at.dy = Uniform(-1, bh - 1);
        at.clip = Uniform(0, 3) != 0;
        at.alpha = Uniform(0, 1);
        HGLOBAL result =
            Keep(QVLayerEx(base, layer, BYTE(at.opacity), at.keyOn, at.key.r, at.key.g, at.key.b, 0,
                           0, 0, at.dx, at.dy, at.clip, at.alpha, TRUE, 0, 0, 0));
        ASSERT_EQ(Mismatch(ModelLayer(b, l, at).grid, result), "")
            << NameOf(under) << " under " << NameOf(over) << ": "
            << Describe(bw, bh, lw, lh, at.opacity, at.keyOn, at.dx, at.dy, at.clip, at.alpha);

        PasteArgs p;
        p.angle = Uniform(0, 3) * 9000;
        p.opacity = Opacity();
        p.keyOn = Uniform(0, 1);
        p.key = Key(l);
        p.px = Uniform(0, bw - 1);
        p.py = Uniform(0, bh - 1);
        ASSERT_EQ(PasteMismatch(base, layer, nullptr, p), "")
            << NameOf(under) << " under " << NameOf(over) << ": " << Describe(bw, bh, lw, lh);
      }
}

// Pastes onto true-colour composites, wide enough that at general angles
// most positions blend four pixels inside the pasted picture (which rows
// work several positions at a time), with the pasted picture's edges,
// masks, keys and the target's edges in among them; and quarter turns of
// such pictures.
TEST_F(CompositeRandomTest, WidePastesMatchTheModel) {
  const Layout targets[] = {Layout::kRgb24, Layout::kRgb32, Layout::kRgb565, Layout::kPalette8,
                            Layout::kGrey8};
  const Layout pastedLayouts[] = {Layout::kRgb24, Layout::kRgb32, Layout::kRgb555,
                                  Layout::kPalette4};
  int cases = 0;
  for (Layout under : targets)
    for (Layout over : pastedLayouts) {
      if (BitCountOf(under) <= 8 && BitCountOf(over) <= 8) continue;
      for (int round = 0; round < 6; ++round) {
        const int tw = Uniform(20, 70), th = Uniform(8, 30), pw = Uniform(9, 50),
                  ph = Uniform(5, 24);
        HGLOBAL target = Keep(MakePicture(under, tw, th, random_()));
        HGLOBAL pasted = Keep(MakePicture(over, pw, ph, random_()));
        // Masks that select most pixels, so that runs of usable pixels occur.
        HGLOBAL mask = nullptr;
        if (Uniform(0, 2) == 0) {
          std::vector<std::string> rows(ph);
          for (std::string& row : rows)
            for (int x = 0; x < pw; ++x) row += Uniform(0, 15) ? '#' : '.';
          mask = Keep(MakeMask(rows, Uniform(0, 1)));
        }
        // Every fourth a quarter turn (taller pictures than the other tests
        // have, for the turns that read the picture by columns).
        int angle = Uniform(-4, 4) * 9000;
        if (round % 4 != 0)
          while (angle % 9000 == 0) angle = Uniform(-40000, 40000);
        const PasteArgs at = RandomPaste(pasted, angle, Uniform(0, 2) == 0, tw, th, -1);
        ASSERT_EQ(PasteMismatch(target, pasted, mask, at), "")
            << NameOf(under) << " under " << NameOf(over) << ": " << Describe(tw, th, pw, ph);
        ++cases;
      }
    }
  EXPECT_EQ(cases, 108);
}

// General angles without mask or key, where rows skip the edge tests over
// the run of positions whose four pixels lie inside the pasted picture
// (and, at full opacity, the target under that run): angles near the
// quarter turns, where the run's ends move slowly or not at all along a
// row, among others; placements that put the target's edges and the
// result's inside the run.
TEST_F(CompositeRandomTest, UnmaskedGeneralAnglesMatchTheModel) {
  const Layout targets[] = {Layout::kRgb24, Layout::kRgb32, Layout::kRgb565, Layout::kGrey8};
  const Layout pastedLayouts[] = {Layout::kRgb24, Layout::kRgb32, Layout::kRgb555};
  const int angles[] = {1, -1, 8999, 9001, 17999, 18001, 26999, 27001, 35999, 3000, 4500, 22222};
  int cases = 0;
  for (Layout under : targets)
    for (Layout over : pastedLayouts)
      for (int round = 0; round < 8; ++round) {
        const int tw = Uniform(10, 60), th = Uniform(10, 40), pw = Uniform(3, 45),
                  ph = Uniform(3, 40);
        HGLOBAL target = Keep(MakePicture(under, tw, th, random_()));
        HGLOBAL pasted = Keep(MakePicture(over, pw, ph, random_()));
        const int angle = round < 4 ? angles[Uniform(0, 11)] : Uniform(-40000, 40000);
        PasteArgs at = RandomPaste(pasted, angle, false, tw, th, -1);
        if (round % 2 == 0) at.opacity = 255;
        ASSERT_EQ(PasteMismatch(target, pasted, nullptr, at), "")
            << NameOf(under) << " under " << NameOf(over) << ": " << Describe(tw, th, pw, ph);
        ++cases;
      }
  EXPECT_EQ(cases, 96);
}

// Plain pastes (a quarter turn, no mask or key, full opacity), where rows
// or columns of the pasted picture are copied across, onto every layout
// from every layout, overhanging the target's edges.
TEST_F(CompositeRandomTest, PlainPastesMatchTheModelOnEveryPairOfLayouts) {
  int cases = 0;
  for (Layout under : AllLayouts())
    for (Layout over : AllLayouts())
      for (int round = 0; round < 4; ++round) {
        const int tw = Uniform(1, 40), th = Uniform(1, 12), pw = Uniform(1, 40),
                  ph = Uniform(1, 12);
        HGLOBAL target = Keep(MakePicture(under, tw, th, random_()));
        HGLOBAL pasted = Second(under, target, over, pw, ph);
        const int angle = round == 0 ? 0 : Uniform(-1, 4) * 9000;
        PasteArgs at = RandomPaste(pasted, angle, false, tw, th, std::max(pw, ph));
        at.opacity = 255;
        ASSERT_EQ(PasteMismatch(target, pasted, nullptr, at), "")
            << NameOf(under) << " under " << NameOf(over) << ": " << Describe(tw, th, pw, ph);
        ++cases;
      }
  EXPECT_EQ(cases, 400);
}

// Plain turns of 90 and 270 degrees of pictures taller than the stretch of
// a picture column that rows copy at once, and wider than the number of
// result rows copied together, over 24-bit and 8-bit grey targets: every
// stretch and every group of rows, the last ones partial, meets the model.
TEST_F(CompositeRandomTest, TallPlainTurnsMatchTheModel) {
  int cases = 0;
  for (Layout layout : {Layout::kRgb24, Layout::kGrey8})
    for (int round = 0; round < 3; ++round) {
      const int tw = Uniform(1000, 1300), th = Uniform(20, 60), pw = Uniform(17, 40),
                ph = Uniform(1030, 2100);
      HGLOBAL target = Keep(MakePicture(layout, tw, th, random_()));
      HGLOBAL pasted = Keep(MakePicture(layout, pw, ph, random_()));
      PasteArgs at = RandomPaste(pasted, round == 1 ? 27000 : 9000, false, tw, th, 40);
      at.opacity = 255;
      ASSERT_EQ(PasteMismatch(target, pasted, nullptr, at), "")
          << NameOf(layout) << ": " << Describe(tw, th, pw, ph);
      ++cases;
    }
  EXPECT_EQ(cases, 6);
}

}  // namespace
}  // namespace qvx::test
