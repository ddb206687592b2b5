// QVLayer, QVLayerEx and QVPasteImage against the tests' own model on small
// random picture pairs of every pair of layouts: random offsets, opacities,
// keys, fills, clip, alpha flag, angles, mirror, flip and masks.
#include <cstring>
#include <random>

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
        EXPECT_TRUE(table.empty() || std::memcmp(table.data(), model.grid.table.data(),
                                                 4 * table.size()) == 0)
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
        PasteArgs at;
        at.angle = angles[Uniform(0, 10)];
        at.mirror = Uniform(0, 1);
        at.flip = Uniform(0, 1);
        at.opacity = Opacity();
        at.keyOn = Uniform(0, 1);
        at.key = Key(Decode(pasted));
        at.fill = {Uniform(0, 255), Uniform(0, 255), Uniform(0, 255)};
        at.px = Uniform(-pw, tw + pw);
        at.py = Uniform(-ph, th + ph);
        at.clip = Uniform(0, 1);
        ImageHandles in{pasted, mask};
        HGLOBAL result =
            Keep(QVPasteImage(target, &in, at.angle, at.mirror, at.flip, BYTE(at.opacity), at.keyOn,
                              at.key.r, at.key.g, at.key.b, at.fill.r, at.fill.g, at.fill.b, at.px,
                              at.py, at.clip, TRUE, 0, 0, 0));
        const Composite model =
            ModelPaste(Decode(target), Decode(pasted), mask ? Decode(mask) : Grid{}, at);
        const std::string mismatch = Mismatch(model.grid, result);
        ASSERT_EQ(mismatch, "") << NameOf(under) << " under " << NameOf(over) << ": "
                                << Describe(tw, th, pw, ph, at.angle, at.mirror, at.flip,
                                            at.opacity, at.keyOn, at.px, at.py, at.clip,
                                            mask != nullptr);
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
        ImageHandles in{layer, nullptr};
        HGLOBAL pasted =
            Keep(QVPasteImage(base, &in, p.angle, FALSE, FALSE, BYTE(p.opacity), p.keyOn, p.key.r,
                              p.key.g, p.key.b, 0, 0, 0, p.px, p.py, TRUE, TRUE, 0, 0, 0));
        ASSERT_EQ(Mismatch(ModelPaste(b, l, Grid{}, p).grid, pasted), "")
            << NameOf(under) << " under " << NameOf(over) << ": "
            << Describe(bw, bh, lw, lh, p.angle, p.opacity, p.keyOn, p.px, p.py);
      }
}

}  // namespace
}  // namespace qvx::test
