// The five compositing exports on worked examples: the composite's format
// row by row, the mixing arithmetic, keys, fills, grown frames, per-pixel
// alpha, paste placement and turns, RGBA pictures; refusals, offsets near
// the int limits, progress, allocation failures and cancellation.
#include <climits>
#include <cstring>
#include <random>

#include "composite/CompositeModel.h"
#include "geometry/GeometryReference.h"

namespace qvx::test {
namespace {

// A picture of the layout whose every pixel is set by `paint` (palette
// pictures take Pixel::index, 32 bits the alpha too).
HGLOBAL Painted(Layout layout, int width, int height,
                const std::function<Pixel(int x, int y)>& paint) {
  HGLOBAL picture = MakePicture(layout, width, height, 7);
  PictureView view(picture);
  const int bits = view.BitCount();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      auto* row = const_cast<std::uint8_t*>(view.Row(y));
      const Pixel p = paint(x, y);
      if (bits == 8) {
        row[x] = BYTE(p.index);
      } else if (bits == 1) {
        const BYTE bit = BYTE(0x80 >> (x & 7));
        row[x / 8] = BYTE(p.index ? row[x / 8] | bit : row[x / 8] & ~bit);
      } else if (bits == 4) {
        row[x / 2] = BYTE(x % 2 ? (row[x / 2] & 0xF0) | p.index : (row[x / 2] & 0x0F) | p.index << 4);
      } else {
        BYTE* q = row + bits / 8 * x;
        q[0] = BYTE(p.blue), q[1] = BYTE(p.green), q[2] = BYTE(p.red);
        if (bits == 32) q[3] = BYTE(p.alpha);
      }
    }
  return picture;
}

HGLOBAL Plain(Layout layout, int width, int height, Pixel p) {
  return Painted(layout, width, height, [p](int, int) { return p; });
}

Pixel Grey(int level) { return Pixel{level, level, level, level, 0}; }
Pixel Rgb(int r, int g, int b, int alpha = 0) { return Pixel{-1, r, g, b, alpha}; }

class CompositeExportsTest : public QvxTest {
 protected:
  HGLOBAL Layer(HGLOBAL base, HGLOBAL layer, int opacity, bool keyOn = false, Colour key = {},
                Colour fill = {}, int dx = 0, int dy = 0, bool clip = true) {
    return Keep(QVLayer(base, layer, BYTE(opacity), keyOn, key.r, key.g, key.b, fill.r, fill.g,
                        fill.b, dx, dy, clip, TRUE, 0, 0, 0));
  }
  HGLOBAL Paste(HGLOBAL target, HGLOBAL pasted, HGLOBAL mask, const PasteArgs& at) {
    ImageHandles in{pasted, mask};
    return Keep(QVPasteImage(target, &in, at.angle, at.mirror, at.flip, BYTE(at.opacity),
                             at.keyOn, at.key.r, at.key.g, at.key.b, at.fill.r, at.fill.g,
                             at.fill.b, at.px, at.py, at.clip, TRUE, 0, 0, 0));
  }
};

// ---- the composite's format, row by row ---------------------------------------

TEST_F(CompositeExportsTest, TwoGreyPicturesGiveAGreyCompositeOfMixedLevels) {
  HGLOBAL base = Keep(Plain(Layout::kGrey8, 3, 2, Grey(200)));
  HGLOBAL layer = Keep(Plain(Layout::kGrey8, 2, 2, Grey(100)));
  const Grid g = Decode(Layer(base, layer, 100));
  EXPECT_TRUE(g.grey);
  EXPECT_EQ(g.At(0, 0).index, 160);  // (155 x 200 + 100 x 100) / 255 = 160.78
  EXPECT_EQ(g.At(2, 1).index, 200);
}

TEST_F(CompositeExportsTest, MoreThanEightBitsGiveTheLargerDepth) {
  HGLOBAL palette = Keep(MakePicture(Layout::kPalette8, 4, 3, 1));
  HGLOBAL rgb565 = Keep(MakePicture(Layout::kRgb565, 2, 2, 2));
  HGLOBAL rgb24 = Keep(MakePicture(Layout::kRgb24, 4, 3, 3));
  HGLOBAL rgb32 = Keep(MakePicture(Layout::kRgb32, 2, 2, 4));
  EXPECT_EQ(Decode(Layer(palette, rgb565, 100)).bits, 16);
  // A 5-6-5 layer over an 8-bit base: a plain 5-5-5 picture.
  PictureView made(Layer(palette, rgb565, 255));
  EXPECT_EQ(made.Header()->biCompression, DWORD{BI_RGB});
  EXPECT_EQ(Decode(Layer(rgb565, palette, 100)).is565, true);
  EXPECT_EQ(Decode(Layer(rgb24, rgb32, 100)).bits, 32);
  EXPECT_EQ(Decode(Layer(rgb32, rgb24, 100)).bits, 32);
}

TEST_F(CompositeExportsTest, PalettePicturesKeepTheirFormatOnlyWithOneTableAndNoMixing) {
  HGLOBAL base = Keep(Plain(Layout::kPalette8, 3, 3, Pixel{5}));
  HGLOBAL same = Keep(Plain(Layout::kPalette8, 2, 2, Pixel{9}));
  {  // the same table (same seed), opacity 255: 8 bits, the base's table
    const Grid g = Decode(Layer(base, same, 255));
    EXPECT_EQ(g.bits, 8);
    EXPECT_EQ(g.table.size(), Decode(base).table.size());
    EXPECT_EQ(0, std::memcmp(g.table.data(), Decode(base).table.data(), 4 * g.table.size()));
    EXPECT_EQ(g.At(0, 0).index, 9);
    EXPECT_EQ(g.At(2, 2).index, 5);
  }
  EXPECT_EQ(Decode(Layer(base, same, 100)).bits, 24);
  HGLOBAL other = Keep(MakePicture(Layout::kPalette8, 2, 2, 99));
  EXPECT_EQ(Decode(Layer(base, other, 255)).bits, 24);
  HGLOBAL mono = Keep(MakePicture(Layout::kPalette1, 2, 2, 7));
  EXPECT_EQ(Decode(Layer(base, mono, 255)).bits, 24);
}

TEST_F(CompositeExportsTest, AFourBitGreyBaseKeepsItsGreyTable) {
  HGLOBAL base = Keep(Plain(Layout::kGrey4, 3, 3, Pixel{3}));
  HGLOBAL layer = Keep(Plain(Layout::kGrey4, 1, 1, Pixel{12}));
  const Grid g = Decode(Layer(base, layer, 255, false, {}, {}, 1, 1));
  ASSERT_EQ(g.bits, 4);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(g.table[i].rgbGreen, 17 * i);
  EXPECT_EQ(g.At(1, 1).index, 12);
  EXPECT_EQ(g.At(0, 0).index, 3);
}

// ---- layering ---------------------------------------------------------------------

TEST_F(CompositeExportsTest, MixingTruncatesAsWorked) {
  HGLOBAL black = Keep(Plain(Layout::kRgb24, 1, 1, Rgb(0, 0, 0)));
  HGLOBAL white = Keep(Plain(Layout::kRgb24, 1, 1, Rgb(255, 255, 255)));
  EXPECT_EQ(Decode(Layer(black, white, 128)).At(0, 0), Rgb(128, 128, 128));
  EXPECT_EQ(Decode(Layer(white, black, 128)).At(0, 0), Rgb(127, 127, 127));
  // (254 x 10 + 1 x 9) / 255 = 2549 / 255 = 9.996: truncated to 9.
  HGLOBAL ten = Keep(Plain(Layout::kRgb24, 1, 1, Rgb(10, 200, 0)));
  HGLOBAL nine = Keep(Plain(Layout::kRgb24, 1, 1, Rgb(9, 199, 255)));
  EXPECT_EQ(Decode(Layer(ten, nine, 1)).At(0, 0), Rgb(9, 199, 1));
}

TEST_F(CompositeExportsTest, OpacityZeroGivesTheBaseAndTheKeyShowsTheBase) {
  HGLOBAL base = Keep(MakePicture(Layout::kRgb24, 5, 4, 11));
  HGLOBAL layer = Keep(Painted(Layout::kRgb24, 3, 3, [](int x, int) {
    return x == 1 ? Rgb(1, 2, 3) : Rgb(200, 100, 50);
  }));
  EXPECT_EQ(FirstDifference(base, Layer(base, layer, 0, true, {1, 2, 3}, {}, 1, 1)), "");
  const Grid g = Decode(Layer(base, layer, 255, true, {1, 2, 3}, {}, 1, 1));
  const Grid b = Decode(base);
  EXPECT_EQ(g.At(1, 1), Rgb(200, 100, 50));
  EXPECT_EQ(g.At(2, 1), b.At(2, 1));  // the key shows the base
  EXPECT_EQ(g.At(3, 3), Rgb(200, 100, 50));
  EXPECT_EQ(g.At(4, 3), b.At(4, 3));
}

TEST_F(CompositeExportsTest, AGrownFrameShowsTheLayerWholeWhereNoBaseIs) {
  HGLOBAL base = Keep(Plain(Layout::kRgb24, 20, 3, Rgb(0, 0, 0)));
  HGLOBAL layer = Keep(Painted(Layout::kRgb24, 20, 3, [](int x, int) {
    return x == 2 ? Rgb(9, 9, 9) : Rgb(255, 255, 255);
  }));
  const Grid g = Decode(Layer(base, layer, 128, true, {9, 9, 9}, {30, 60, 90}, -10, 0, false));
  ASSERT_EQ(g.width, 30);
  ASSERT_EQ(g.height, 3);
  EXPECT_EQ(g.At(0, 1), Rgb(255, 255, 255));  // no base: the layer at full strength
  EXPECT_EQ(g.At(2, 1), Rgb(30, 60, 90));     // the key where no base is: the fill
  EXPECT_EQ(g.At(10, 1), Rgb(128, 128, 128));
  EXPECT_EQ(g.At(29, 1), Rgb(0, 0, 0));  // the base beyond the layer
}

TEST_F(CompositeExportsTest, AGrownFrameAroundALayerInsideTheBaseKeepsTheBase) {
  HGLOBAL base = Keep(MakePicture(Layout::kRgb555, 6, 5, 3));
  HGLOBAL layer = Keep(MakePicture(Layout::kRgb555, 2, 2, 4));
  const Grid g = Decode(Layer(base, layer, 255, false, {}, {}, 2, 2, false));
  const Grid b = Decode(base), l = Decode(layer);
  ASSERT_EQ(g.width, 6);
  EXPECT_EQ(g.At(0, 0), b.At(0, 0));
  EXPECT_EQ(g.At(5, 4), b.At(5, 4));
  EXPECT_EQ(g.At(3, 3), l.At(1, 1));
}

TEST_F(CompositeExportsTest, PerPixelAlphaMixesEachPixelAndMarksTheResultOpaque) {
  HGLOBAL base = Keep(Plain(Layout::kRgb32, 3, 1, Rgb(0, 0, 0, 7)));
  HGLOBAL layer = Keep(Painted(Layout::kRgb32, 2, 1, [](int x, int) {
    return Rgb(255, 255, 255, x == 0 ? 0 : 128);
  }));
  const auto ex = [&](BOOL alpha, int opacity) {
    return Keep(QVLayerEx(base, layer, BYTE(opacity), FALSE, 0, 0, 0, 0, 0, 0, 0, 0, TRUE, alpha,
                          TRUE, 0, 0, 0));
  };
  const Grid g = Decode(ex(TRUE, 255));
  EXPECT_EQ(g.At(0, 0), Rgb(0, 0, 0, 255));
  EXPECT_EQ(g.At(1, 0), Rgb(128, 128, 128, 255));
  EXPECT_EQ(g.At(2, 0), Rgb(0, 0, 0, 7));  // outside the layer: the base's bytes
  // Without the flag the fourth bytes are not opacities, and written pixels
  // get 0 there.
  const Grid plain = Decode(ex(FALSE, 255));
  EXPECT_EQ(plain.At(0, 0), Rgb(255, 255, 255, 0));
  EXPECT_EQ(plain.At(1, 0), Rgb(255, 255, 255, 0));
  EXPECT_EQ(Decode(Layer(base, layer, 255)).At(0, 0), Rgb(255, 255, 255, 0));
}

TEST_F(CompositeExportsTest, LayerRefusesBadPicturesAndFramesBeyondTheIntRange) {
  HGLOBAL base = Keep(MakePicture(Layout::kRgb24, 4, 3, 1));
  HGLOBAL layer = Keep(MakePicture(Layout::kRgb24, 2, 2, 2));
  const auto layerAt = [&](HGLOBAL b, HGLOBAL l, int dx, int dy, BOOL clip) {
    return [=] { return QVLayer(b, l, 100, FALSE, 0, 0, 0, 0, 0, 0, dx, dy, clip, TRUE, 0, 0, 0); };
  };
  EXPECT_EQ(RefusalOf(layerAt(nullptr, layer, 0, 0, TRUE)), 7);
  EXPECT_EQ(RefusalOf(layerAt(base, nullptr, 0, 0, TRUE)), 7);
  EXPECT_EQ(RefusalOf(layerAt(base, layer, INT_MAX, 0, FALSE)), 5);
  EXPECT_EQ(RefusalOf(layerAt(base, layer, INT_MIN, 0, FALSE)), 5);
  EXPECT_EQ(RefusalOf(layerAt(base, layer, 0, INT_MIN, FALSE)), 5);
  EXPECT_EQ(RefusalOf(layerAt(base, layer, 0, INT_MAX, FALSE)), 5);
  // Within the int range but beyond memory: 2^30 columns of 3 bytes.
  EXPECT_EQ(RefusalOf(layerAt(base, layer, 1 << 30, 0, FALSE)), 3);
  // Clipped, any offset is fine: the layer is simply cut away.
  for (int d : {INT_MIN, INT_MAX, INT_MIN + 1, INT_MAX - 1})
    EXPECT_EQ(FirstDifference(base, Keep(layerAt(base, layer, d, d, TRUE)())), "") << d;
}

TEST_F(CompositeExportsTest, LayerReportsEachRowAndCleansUpOnEveryFailure) {
  HGLOBAL base = Keep(MakePicture(Layout::kRgb24, 5, 4, 1));
  HGLOBAL layer = Keep(MakePicture(Layout::kPalette8, 3, 6, 2));
  const auto call = [&](int dx, BOOL clip) {
    return [=] {
      return QVLayer(base, layer, 100, TRUE, 1, 2, 3, 4, 5, 6, dx, -1, clip, TRUE, 0, 0, 0);
    };
  };
  ExpectCleanFailures(call(1, TRUE));
  // General path: one report per result row; same-format path (24 over 24):
  // one per layer row, of the base's height.
  EXPECT_EQ(Progress(ExpectCleanCancels(call(4, FALSE))), Progress({{6}}));
  HGLOBAL layer24 = Keep(MakePicture(Layout::kRgb24, 3, 6, 2));
  const auto same = [&] {
    return QVLayer(base, layer24, 100, FALSE, 0, 0, 0, 0, 0, 0, 1, -1, TRUE, TRUE, 0, 0, 0);
  };
  std::vector<ProgressReport> reports = ExpectCleanCancels(same);
  ASSERT_EQ(reports.size(), 6u);
  EXPECT_EQ(reports[5].done, 5);
  EXPECT_EQ(reports[5].total, 3);
}

// ---- pasting ------------------------------------------------------------------------

TEST_F(CompositeExportsTest, PastingAtNoAngleCopiesAroundTheCentre) {
  HGLOBAL target = Keep(MakePicture(Layout::kRgb24, 12, 9, 1));
  for (const int width : {5, 4}) {
    HGLOBAL pasted = Keep(MakePicture(Layout::kRgb24, width, 3, 2));
    PasteArgs at;
    at.px = 6, at.py = 4;
    const Grid g = Decode(Paste(target, pasted, nullptr, at));
    const Grid p = Decode(pasted), t = Decode(target);
    // Odd width: columns px - W/2 .. px + W/2; even: column 0 on px - W/2 + 1.
    const int first = width % 2 ? 6 - width / 2 : 6 - width / 2 + 1;
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 12; ++x) {
        const bool in = x >= first && x < first + width && y >= 3 && y <= 5;
        EXPECT_EQ(g.At(x, y), in ? p.At(x - first, y - 3) : t.At(x, y))
            << width << ": " << x << ", " << y;
      }
  }
}

TEST_F(CompositeExportsTest, MinusAQuarterTurnIsThreeQuarters) {
  HGLOBAL target = Keep(MakePicture(Layout::kPalette4, 9, 8, 1));
  HGLOBAL pasted = Keep(MakePicture(Layout::kRgb565, 4, 3, 2));
  PasteArgs at;
  at.opacity = 77, at.px = 3, at.py = 5, at.clip = false;
  at.angle = -9000;
  HGLOBAL minus = Paste(target, pasted, nullptr, at);
  at.angle = 27000;
  EXPECT_EQ(FirstDifference(minus, Paste(target, pasted, nullptr, at)), "");
}

// A square of odd size has one centre pixel in every convention, so pasting
// it turned by a quarter must equal pasting, unturned, the picture that the
// rotation turns by the same angle.
TEST_F(CompositeExportsTest, QuarterTurnsAgreeWithTheRotation) {
  HGLOBAL target = Keep(MakePicture(Layout::kRgb24, 11, 11, 1));
  HGLOBAL pasted = Keep(MakePicture(Layout::kRgb24, 5, 5, 2));
  for (int angle : {9000, 18000, 27000}) {
    ImageHandles in{pasted, nullptr};
    const ImageHandles turned =
        UnpackHandles(QVRotation(&in, angle, FALSE, FALSE, FALSE, 0, 0, 0, TRUE, TRUE, 0, 0, 0));
    Keep(turned.Picture);
    PasteArgs at;
    at.px = 4, at.py = 6;
    HGLOBAL straight = Paste(target, turned.Picture, nullptr, at);
    at.angle = angle;
    EXPECT_EQ(FirstDifference(straight, Paste(target, pasted, nullptr, at)), "") << angle;
  }
}

TEST_F(CompositeExportsTest, OverhangingPasteGrowsTheResultAndShowsWhole) {
  HGLOBAL target = Keep(Plain(Layout::kRgb24, 6, 5, Rgb(0, 0, 0)));
  HGLOBAL pasted = Keep(Plain(Layout::kRgb24, 3, 3, Rgb(250, 250, 250)));
  PasteArgs at;
  at.opacity = 0, at.px = 6, at.py = 2, at.clip = false, at.fill = {1, 2, 3};
  const Grid g = Decode(Paste(target, pasted, nullptr, at));
  ASSERT_EQ(g.width, 8);
  ASSERT_EQ(g.height, 5);
  EXPECT_EQ(g.At(5, 2), Rgb(0, 0, 0));  // opacity 0 over the target
  EXPECT_EQ(g.At(6, 2), Rgb(250, 250, 250));
  EXPECT_EQ(g.At(7, 3), Rgb(250, 250, 250));
  EXPECT_EQ(g.At(7, 0), Rgb(1, 2, 3));  // neither picture: the fill
  at.clip = true;
  EXPECT_EQ(FirstDifference(target, Paste(target, pasted, nullptr, at)), "");
}

TEST_F(CompositeExportsTest, AMaskOfOnePixelGivesAnAreaOfOnePixelAndItsMargin) {
  HGLOBAL target = Keep(Plain(Layout::kRgb24, 9, 9, Rgb(0, 0, 0)));
  HGLOBAL pasted = Keep(Plain(Layout::kRgb24, 3, 3, Rgb(255, 255, 255)));
  HGLOBAL mask = Keep(MakeMask({"...", ".#.", "..."}));
  PasteArgs at;
  at.angle = 3000, at.px = 4, at.py = 4, at.clip = false;
  // The area starts and ends at 0 and is pushed out to -1..1 by 1..1 in x
  // and y: a 0 bound is pushed to 1, so x runs 1..1, y 1..1 as well.
  const Grid g = Decode(Paste(target, pasted, mask, at));
  EXPECT_EQ(g.width, 9);
  int changed = 0;
  for (const Pixel& p : g.pixels) changed += p.red != 0;
  EXPECT_EQ(changed, 0) << "the centre pixel lies outside the area 1..1 by 1..1";
  const Composite model = ModelPaste(Decode(target), Decode(pasted), Decode(mask), at);
  EXPECT_EQ(Mismatch(model.grid, Keep(Paste(target, pasted, mask, at))), "");
}

TEST_F(CompositeExportsTest, KeyedEdgesBlendIntoTheTarget) {
  HGLOBAL target = Keep(Plain(Layout::kRgb24, 15, 15, Rgb(0, 0, 200)));
  HGLOBAL pasted = Keep(Painted(Layout::kRgb24, 7, 7, [](int x, int y) {
    return x > 1 && x < 5 && y > 1 && y < 5 ? Rgb(255, 0, 0) : Rgb(0, 255, 0);
  }));
  PasteArgs at;
  at.angle = 4500, at.px = 7, at.py = 7, at.keyOn = true, at.key = {0, 255, 0};
  const Grid g = Decode(Paste(target, pasted, nullptr, at));
  for (const Pixel& p : g.pixels) EXPECT_EQ(p.green, 0) << "the key colour never shows";
  EXPECT_EQ(g.At(7, 7), Rgb(255, 0, 0));
  EXPECT_EQ(g.At(0, 0), Rgb(0, 0, 200));
}

TEST_F(CompositeExportsTest, PasteGivesEachStageItsSliceOfProgress) {
  HGLOBAL target = Keep(MakePicture(Layout::kRgb24, 6, 4, 1));
  HGLOBAL pasted = Keep(MakePicture(Layout::kPalette8, 3, 2, 2));
  HGLOBAL mask = Keep(MakeMask({"#.#", ".#."}));
  const auto call = [&](BOOL mirror, BOOL flip, HGLOBAL m) {
    return [=] {
      ImageHandles in{pasted, m};
      return QVPasteImage(target, &in, 3000, mirror, flip, 128, TRUE, 1, 2, 3, 4, 5, 6, 2, 2,
                          FALSE, TRUE, 0, 0, 0);
    };
  };
  ExpectCleanFailures(call(TRUE, TRUE, mask));
  const std::vector<ProgressReport> all = ExpectCleanCancels(call(TRUE, TRUE, mask));
  HGLOBAL result = nullptr;
  RecordProgress(call(TRUE, TRUE, mask), &result);
  const int rows = PictureView(Keep(result)).Height();
  EXPECT_EQ(Progress(all),
            Progress({{2, 0, 20}, {2, 21, 26}, {2, 27, 47}, {rows, 48, 100}}));
  EXPECT_EQ(Progress(RecordProgress(call(FALSE, TRUE, nullptr))),
            Progress({{2, 0, 5}, {rows, 6, 100}}));
  // Cancelling in the mask pass.
  int seen = 0;
  ScopedProgressHandler cancel([&](const ProgressReport& r) { return ++seen, r.percentFrom != 27; });
  SetErrorStatus(0);
  EXPECT_EQ(Keep(call(TRUE, TRUE, mask)()), nullptr);
  EXPECT_EQ(GetErrorStatus(), 1);
}

TEST_F(CompositeExportsTest, PasteRefusesBadPicturesMasksAndFrames) {
  HGLOBAL target = Keep(MakePicture(Layout::kRgb24, 4, 3, 1));
  HGLOBAL pasted = Keep(MakePicture(Layout::kRgb24, 3, 2, 2));
  HGLOBAL wrongSize = Keep(MakeMask({"##", "##"}));
  HGLOBAL notMono = Keep(MakePicture(Layout::kPalette4, 3, 2, 3));
  const auto paste = [&](HGLOBAL t, HGLOBAL p, HGLOBAL m, int px, int py, BOOL clip) {
    return [=] {
      ImageHandles in{p, m};
      return QVPasteImage(t, &in, 4500, TRUE, FALSE, 200, FALSE, 0, 0, 0, 0, 0, 0, px, py, clip,
                          TRUE, 0, 0, 0);
    };
  };
  EXPECT_EQ(RefusalOf(paste(nullptr, pasted, nullptr, 0, 0, TRUE)), 7);
  EXPECT_EQ(RefusalOf(paste(target, nullptr, nullptr, 0, 0, TRUE)), 7);
  EXPECT_EQ(RefusalOf(paste(target, pasted, wrongSize, 0, 0, TRUE)), 7);
  EXPECT_EQ(RefusalOf(paste(target, pasted, notMono, 0, 0, TRUE)), 7);
  SetErrorStatus(0);
  EXPECT_EQ(QVPasteImage(target, nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, TRUE, 0, 0, 0),
            nullptr);
  EXPECT_EQ(GetErrorStatus(), 7);
  for (int d : {INT_MIN, INT_MAX}) {
    EXPECT_EQ(RefusalOf(paste(target, pasted, nullptr, d, 0, FALSE)), 5) << d;
    EXPECT_EQ(RefusalOf(paste(target, pasted, nullptr, 0, d, FALSE)), 5) << d;
    EXPECT_NE(Keep(paste(target, pasted, nullptr, d, d, TRUE)()), nullptr) << d;
  }
  EXPECT_EQ(RefusalOf(paste(target, pasted, nullptr, 1 << 30, 0, FALSE)), 3);
}

// ---- alpha-channel pictures -------------------------------------------------------

TEST_F(CompositeExportsTest, MakingAndSplittingGiveBackColoursAndLevels) {
  HGLOBAL colour = Keep(MakePicture(Layout::kRgb24, 7, 5, 1));
  HGLOBAL alpha = Keep(MakePicture(Layout::kGrey8, 7, 5, 2));
  HGLOBAL rgba = Keep(QVMakeRGBAImage(colour, alpha, TRUE, 0, 0, 0));
  const Grid g = Decode(rgba), c = Decode(colour), a = Decode(alpha);
  ASSERT_EQ(g.bits, 32);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) {
      Pixel expected = c.At(x, y);
      expected.alpha = a.At(x, y).index;
      EXPECT_EQ(g.At(x, y), expected);
    }
  HGLOBAL colourOut = nullptr, alphaOut = nullptr;
  SetErrorStatus(3);
  ASSERT_EQ(QVSplitRGBAImage(rgba, &colourOut, &alphaOut, TRUE, 0, 0, 0), TRUE);
  EXPECT_EQ(GetErrorStatus(), 0);
  Keep(colourOut), Keep(alphaOut);
  EXPECT_EQ(FirstDifference(colour, colourOut), "");
  EXPECT_EQ(FirstDifference(alpha, alphaOut), "");
}

TEST_F(CompositeExportsTest, AOneBitAlphaPictureGivesTheGreyOfItsColours) {
  HGLOBAL colour = Keep(MakePicture(Layout::kPalette4, 3, 2, 1));
  HGLOBAL mask = Keep(MakeMask({"#.#", "..#"}));
  const Grid g = Decode(Keep(QVMakeRGBAImage(colour, mask, TRUE, 0, 0, 0)));
  EXPECT_EQ(g.At(0, 0).alpha, 255);
  EXPECT_EQ(g.At(1, 0).alpha, 0);
  EXPECT_EQ(g.At(2, 1).alpha, 255);
  // Other colours: (0.587 x 100 + 0.299 x 200) + 0.114 x 50 = 124.2 -> 124.
  HGLOBAL tinted = Keep(MakeMask({"#."}));
  {
    auto* bytes = static_cast<BYTE*>(GlobalLock(tinted));
    bytes[44] = 50, bytes[45] = 100, bytes[46] = 200;  // entry 1: blue, green, red
    GlobalUnlock(tinted);
  }
  HGLOBAL two = Keep(MakePicture(Layout::kRgb24, 2, 1, 1));
  EXPECT_EQ(Decode(Keep(QVMakeRGBAImage(two, tinted, TRUE, 0, 0, 0))).At(0, 0).alpha, 124);
}

TEST_F(CompositeExportsTest, AlphaPicturesAreRefusedAsTheirRulesSay) {
  HGLOBAL colour = Keep(MakePicture(Layout::kRgb24, 100, 80, 1));
  HGLOBAL turned = Keep(MakePicture(Layout::kGrey8, 80, 100, 2));
  HGLOBAL palette = Keep(MakePicture(Layout::kPalette8, 100, 80, 3));
  HGLOBAL rgb24 = Keep(MakePicture(Layout::kRgb24, 3, 3, 4));
  const auto make = [](HGLOBAL c, HGLOBAL a) {
    return [=] { return QVMakeRGBAImage(c, a, TRUE, 0, 0, 0); };
  };
  EXPECT_EQ(RefusalOf(make(colour, turned)), 5);
  EXPECT_EQ(RefusalOf(make(colour, palette)), 7);
  EXPECT_EQ(RefusalOf(make(nullptr, turned)), 7);
  HGLOBAL a = reinterpret_cast<HGLOBAL>(1), b = reinterpret_cast<HGLOBAL>(2);
  SetErrorStatus(0);
  EXPECT_EQ(QVSplitRGBAImage(rgb24, &a, &b, TRUE, 0, 0, 0), FALSE);
  EXPECT_EQ(GetErrorStatus(), 7);
  EXPECT_EQ(a, reinterpret_cast<HGLOBAL>(1));
  EXPECT_EQ(b, reinterpret_cast<HGLOBAL>(2));
  // A null pointer is refused before the picture is looked at.
  EXPECT_EQ(QVSplitRGBAImage(nullptr, &a, nullptr, TRUE, 0, 0, 0), FALSE);
  EXPECT_EQ(GetErrorStatus(), 5);
  EXPECT_EQ(a, reinterpret_cast<HGLOBAL>(1));
}

TEST_F(CompositeExportsTest, AlphaPicturesCleanUpOnEveryFailure) {
  HGLOBAL colour = Keep(MakePicture(Layout::kRgb565, 5, 4, 1));
  HGLOBAL alpha = Keep(MakePicture(Layout::kPalette1, 5, 4, 2));
  const auto make = [&] { return QVMakeRGBAImage(colour, alpha, TRUE, 0, 0, 0); };
  ExpectCleanFailures(make);
  EXPECT_EQ(Progress(ExpectCleanCancels(make)), Progress({{4}}));
  HGLOBAL rgba = Keep(MakePicture(Layout::kRgb32, 5, 4, 3));
  const auto split = [&]() -> HGLOBAL {
    HGLOBAL c = nullptr, a = nullptr;
    if (!QVSplitRGBAImage(rgba, &c, &a, TRUE, 0, 0, 0)) return nullptr;
    GlobalFree(a);
    return c;
  };
  ExpectCleanFailures(split);
  EXPECT_EQ(Progress(ExpectCleanCancels(split)), Progress({{4}}));
}

}  // namespace
}  // namespace qvx::test
