// Colour depth conversion: worked cases, the median cut by hand, every
// source kind to every target against the independent model, refusals,
// progress phases, failure injection and cancellation.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "support/Fixture.h"
#include "support/Pictures.h"
#include "tone/ConvertColorModel.h"

namespace qvx::test {
namespace {

constexpr int kTargets[] = {1, 4, 8, 40, 80, 16, 24, 32};

// A 24-bit picture from colours, `width` per row, rows from the top.
HGLOBAL Picture24(const std::vector<Colour>& colours, int width) {
  const int height = static_cast<int>(colours.size()) / width;
  HGLOBAL picture = MakeBlankPicture(Layout::kRgb24, width, height);
  auto* bits = static_cast<BYTE*>(GlobalLock(picture)) + 40;
  const int stride = (width * 3 + 3) / 4 * 4;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Colour& c = colours[static_cast<std::size_t>(y) * width + x];
      BYTE* p = bits + static_cast<std::size_t>(height - 1 - y) * stride + 3 * x;
      p[0] = BYTE(c.b), p[1] = BYTE(c.g), p[2] = BYTE(c.r);
    }
  GlobalUnlock(picture);
  return picture;
}

HGLOBAL Convert(HGLOBAL picture, int target, BOOL standard = FALSE, BOOL dither = FALSE,
                BYTE threshold = 128) {
  return QVConvertColor(picture, static_cast<WORD>(target), standard, dither, threshold, TRUE, 0,
                        0, 0);
}

std::vector<int> Indices(HGLOBAL picture) {
  PictureView view(picture);
  std::vector<int> out;
  for (int y = 0; y < view.Height(); ++y)
    for (int x = 0; x < view.Width(); ++x) out.push_back(view.At(x, y).index);
  return out;
}

std::vector<Colour> Table(HGLOBAL picture, int entries) {
  PictureView view(picture);
  std::vector<Colour> out;
  for (int i = 0; i < entries; ++i)
    out.push_back({view.Table()[i].rgbRed, view.Table()[i].rgbGreen, view.Table()[i].rgbBlue});
  return out;
}

// Where a result differs from the model ("" when it does not).
std::string Mismatch(HGLOBAL result, const ConvertModel& model) {
  std::ostringstream out;
  PictureView view(result);
  const BITMAPINFOHEADER* h = view.Header();
  if (h->biBitCount != model.bitCount || h->biClrUsed != model.clrUsed || h->biCompression != 0 ||
      h->biSizeImage != view.RowBytes() * view.Height()) {
    out << "header: bits " << h->biBitCount << " used " << h->biClrUsed;
    return out.str();
  }
  for (std::size_t i = 0; i < model.table.size(); ++i) {
    const RGBQUAD& q = view.Table()[i];
    if (Colour{q.rgbRed, q.rgbGreen, q.rgbBlue} != model.table[i] || q.rgbReserved != 0) {
      out << "table entry " << i;
      return out.str();
    }
  }
  for (int y = 0; y < view.Height(); ++y)
    for (int x = 0; x < view.Width(); ++x) {
      const Pixel p = view.At(x, y);
      const std::size_t i = static_cast<std::size_t>(y) * view.Width() + x;
      const bool same = model.indices.empty()
                            ? Colour{p.red, p.green, p.blue} == model.colours[i] && p.alpha == 0
                            : p.index == model.indices[i];
      if (!same) {
        out << "pixel " << x << "," << y << ": " << ToString(p);
        return out.str();
      }
    }
  // Row padding and unused pixel bits stay zero.
  for (int y = 0; y < view.Height(); ++y) {
    const std::uint32_t used = (static_cast<std::uint32_t>(view.Width()) * h->biBitCount + 7) / 8;
    for (std::uint32_t b = used; b < view.RowBytes(); ++b)
      if (view.Row(y)[b]) return "padding of row " + std::to_string(y);
  }
  return "";
}

class ConvertColorTest : public QvxTest {};

TEST_F(ConvertColorTest, WorkedCases) {
  // Threshold 128: grey 127 black, 128 white, pure red (luminance 76.22)
  // black; the standard flag does not matter.
  HGLOBAL greys = Keep(Picture24({{127, 127, 127}, {128, 128, 128}, {255, 0, 0}}, 3));
  for (BOOL standard : {FALSE, TRUE}) {
    HGLOBAL bw = Keep(Convert(greys, 1, standard));
    ASSERT_NE(bw, nullptr);
    EXPECT_EQ(Indices(bw), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(Table(bw, 2), (std::vector<Colour>{{0, 0, 0}, {255, 255, 255}}));
    EXPECT_EQ(PictureView(bw).Header()->biClrUsed, 0u);
  }
  // The cube: 128 / 51 = 2.51 rounds to 3, so (255, 128, 0) is 0 + 18 + 5.
  HGLOBAL cube = Keep(Convert(Keep(Picture24({{255, 128, 0}}, 1)), 8, TRUE));
  EXPECT_EQ(Indices(cube), std::vector<int>{23});
  EXPECT_EQ(PictureView(cube).Header()->biClrUsed, 216u);
  EXPECT_EQ(Table(cube, 216)[23], (Colour{255, 153, 0}));
  // (130, 10, 10) is 23 from (127, 0, 0), entry 1 of the 16 colours.
  EXPECT_EQ(Indices(Keep(Convert(Keep(Picture24({{130, 10, 10}}, 1)), 4, TRUE))),
            std::vector<int>{1});
  // 16 greys: luminance / 17 (255.000255 truncates to 255).
  HGLOBAL levels = Keep(Picture24({{255, 255, 255}, {16, 16, 16}, {17, 17, 17}}, 3));
  EXPECT_EQ(Indices(Keep(Convert(levels, 40))), (std::vector<int>{15, 0, 1}));
  EXPECT_EQ(Indices(Keep(Convert(levels, 80))), (std::vector<int>{255, 16, 17}));
  // A 1-bit picture to true colour: its two table colours.
  HGLOBAL mono = Keep(MakePicture(Layout::kPalette1, 8, 1, 3));
  HGLOBAL wide = Keep(Convert(mono, 24));
  for (int x = 0; x < 8; ++x) {
    const Pixel in = PictureView(mono).At(x, 0), out = PictureView(wide).At(x, 0);
    EXPECT_EQ((Colour{out.red, out.green, out.blue}), (Colour{in.red, in.green, in.blue}));
  }
  // A 4-bit colour picture to 8 bits keeps its 16 colours and its indices.
  HGLOBAL four = Keep(MakePicture(Layout::kPalette4, 7, 3, 4));
  HGLOBAL eight = Keep(Convert(four, 8));
  EXPECT_EQ(Indices(eight), Indices(four));
  EXPECT_EQ(Table(eight, 16), Table(four, 16));
  EXPECT_EQ(Table(eight, 256)[16], (Colour{0, 0, 0}));
  // An 8-bit grey picture may go to 8 bits.
  EXPECT_NE(Keep(Convert(Keep(MakePicture(Layout::kGrey8, 4, 4, 5)), 8, TRUE)), nullptr);
}

// Black and white with diffusion on a 2 x 2 picture of grey 90:
//   (0,0) 90 -> black, e 90: (1,0) 90+39, (0,1) 90+28, (1,1) 90+5;
//   (1,0) 129 -> white, e -126: (1,1) 95-39 = 56, (0,1) 118-23 = 95;
//   row 1 from the right: (1,1) 56 -> black, e 56: (0,1) 95+24 = 119 -> black.
TEST_F(ConvertColorTest, DiffusionByHand) {
  HGLOBAL grey = Keep(Picture24(std::vector<Colour>(4, {90, 90, 90}), 2));
  EXPECT_EQ(Indices(Keep(Convert(grey, 1, FALSE, TRUE, 128))), (std::vector<int>{0, 1, 0, 0}));
  // Threshold 119 makes (0,1) white; 120 keeps it black.
  EXPECT_EQ(Indices(Keep(Convert(grey, 1, FALSE, TRUE, 119))), (std::vector<int>{0, 1, 1, 0}));
  EXPECT_EQ(Indices(Keep(Convert(grey, 1, FALSE, TRUE, 120))), (std::vector<int>{0, 1, 0, 0}));
}

// Seven pixels: black x3, (200, 0, 0) x2, (0, 100, 0), (0, 0, 254). Cells
// (0,0,0) 3, (100,0,0) 2, (0,50,0) 1, (0,0,127) 1; the box spans red 0..100,
// green 0..50, blue 0..127, count 7.
//  split 0 (longest side): blue; slice 0 holds 6 > 7/2, so the box keeps
//    blue 0 (count 6), the new one blue 1..127 shrinks to (0,0,127);
//  split 1 (most pixels, box 0): red 100 is longest; slice 0 holds 4 > 3:
//    box 0 keeps red 0 (count 4), the new box shrinks to (100,0,0);
//  split 2 (longest side, box 0's green 50): slice 0 holds 3 > 2: box 0 is
//    (0,0,0), the new box (0,50,0);
//  split 3: the fullest box has no side, nor has any: four boxes.
// Levels c * 255 / 127: 100 -> 200, 50 -> 100, 127 -> 255. By brightness:
// black 0, (0,100,0) 33, (200,0,0) 66, (0,0,255) 85.
TEST_F(ConvertColorTest, MedianCutByHand) {
  const Colour k{0, 0, 0}, r{200, 0, 0}, g{0, 100, 0}, b{0, 0, 254};
  HGLOBAL picture = Keep(Picture24({k, r, g, k, b, r, k}, 7));
  for (int target : {4, 8}) {
    HGLOBAL result = Keep(Convert(picture, target));
    ASSERT_NE(result, nullptr);
    std::vector<Colour> expected{{0, 0, 0}, {0, 100, 0}, {200, 0, 0}, {0, 0, 255}};
    expected.resize(target == 4 ? 16 : 256, Colour{0, 0, 0});
    EXPECT_EQ(Table(result, target == 4 ? 16 : 256), expected) << target;
    EXPECT_EQ(Indices(result), (std::vector<int>{0, 2, 1, 0, 3, 2, 0})) << target;
    EXPECT_EQ(PictureView(result).Header()->biClrUsed, 0u);
  }
  // Five distinct cells give five entries; 200 and 201 are one level.
  HGLOBAL five = Keep(Picture24(
      {{255, 255, 255}, {200, 201, 0}, {0, 0, 0}, {10, 200, 30}, {100, 50, 255}}, 5));
  HGLOBAL result = Keep(Convert(five, 8));
  std::vector<Colour> expected{
      {0, 0, 0}, {10, 200, 30}, {200, 200, 0}, {100, 50, 255}, {255, 255, 255}};
  expected.resize(256, Colour{0, 0, 0});
  EXPECT_EQ(Table(result, 256), expected);
  EXPECT_EQ(Indices(result), (std::vector<int>{4, 2, 0, 1, 3}));
}

TEST_F(ConvertColorTest, SingleColourAndEveryCell) {
  // One colour: one box that cannot be split, every pixel its entry.
  HGLOBAL plain = Keep(Picture24(std::vector<Colour>(12, {77, 130, 3}), 4));
  for (int target : {4, 8}) {
    HGLOBAL result = Keep(Convert(plain, target, FALSE, TRUE));
    ASSERT_NE(result, nullptr);
    // 38 * 255 / 127 = 76, 65 -> 130, 1 -> 2; diffusion carries (1, 0, 1)
    // per pixel, too little to reach another entry that is not there.
    EXPECT_EQ(Table(result, 2), (std::vector<Colour>{{76, 130, 2}, {0, 0, 0}}));
    EXPECT_EQ(Indices(result), std::vector<int>(12, 0));
  }
  // Every one of the 128^3 cells once: the model's boxes and means.
  std::vector<Colour> all(128 * 128 * 128);
  for (int i = 0; i < 128 * 128 * 128; ++i)
    all[i] = {2 * (i >> 14) + (i & 1), 2 * ((i >> 7) & 127), 2 * (i & 127) + 1};
  HGLOBAL every = Keep(Picture24(all, 2048));
  HGLOBAL result = Keep(Convert(every, 8));
  ASSERT_NE(result, nullptr);
  const ConvertModel model = ModelConvert(every, 8, false, false, 0);
  EXPECT_EQ(Mismatch(result, model), "");
  EXPECT_NE(model.table[255], (Colour{0, 0, 0}));  // all 256 boxes made
}

TEST_F(ConvertColorTest, EveryKindToEveryTargetAsModelled) {
  std::mt19937 random(11);
  int compared = 0;
  for (Layout layout : AllLayouts()) {
    HGLOBAL picture = Keep(MakePicture(layout, 13, 7, random()));
    const int kind = ModelKind(picture);
    for (int target : kTargets)
      for (BOOL standard : {FALSE, TRUE})
        for (BOOL dither : {FALSE, TRUE}) {
          const int threshold = static_cast<int>(random() % 256);
          SetErrorStatus(-1);
          HGLOBAL result = Keep(Convert(picture, target, standard, dither, BYTE(threshold)));
          const ConvertModel model = ModelConvert(picture, target, standard, dither, threshold);
          const std::string what = NameOf(layout) + " to " + std::to_string(target) +
                                   (standard ? " standard" : "") + (dither ? " dither" : "");
          if (model.failure) {
            EXPECT_EQ(result, nullptr) << what;
            EXPECT_EQ(GetErrorStatus(), model.failure) << what;
            EXPECT_EQ(target, kind) << what;
            continue;
          }
          ASSERT_NE(result, nullptr) << what << " error " << GetErrorStatus();
          EXPECT_EQ(GetErrorStatus(), 0);
          EXPECT_EQ(Mismatch(result, model), "") << what;
          ++compared;
        }
  }
  EXPECT_EQ(compared, 10 * 8 * 4 - 10 * 4);
  // Larger pictures of many colours through the median cut and diffusion.
  for (Layout layout : {Layout::kRgb24, Layout::kRgb565, Layout::kRgb32, Layout::kPalette8}) {
    HGLOBAL picture = Keep(MakePicture(layout, 61, 47, random()));
    for (int target : {1, 4, 8, 40})
      for (BOOL standard : {FALSE, TRUE}) {
        HGLOBAL result = Keep(Convert(picture, target, standard, TRUE, 100));
        if (target == 8 && layout == Layout::kPalette8) continue;
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(Mismatch(result, ModelConvert(picture, target, standard, true, 100)), "")
            << NameOf(layout) << " to " << target << (standard ? " standard" : "");
      }
  }
}

// Colour tables shorter than the depth allows: indices past them read as
// black and are kept as they are by a table copy.
TEST_F(ConvertColorTest, ShortColourTables) {
  for (const auto& [layout, used] : {std::pair{Layout::kPalette4, 5u}, {Layout::kPalette8, 40u},
                                     {Layout::kPalette1, 1u}}) {
    HGLOBAL picture = Keep(MakePicture(layout, 11, 6, used));
    static_cast<BITMAPINFOHEADER*>(GlobalLock(picture))->biClrUsed = used;
    GlobalUnlock(picture);
    for (int target : kTargets)
      for (BOOL standard : {FALSE, TRUE})
        for (BOOL dither : {FALSE, TRUE}) {
          const ConvertModel model = ModelConvert(picture, target, standard, dither, 90);
          HGLOBAL result = Keep(Convert(picture, target, standard, dither, 90));
          if (model.failure) {
            EXPECT_EQ(result, nullptr);
            continue;
          }
          ASSERT_NE(result, nullptr) << NameOf(layout) << " to " << target;
          EXPECT_EQ(Mismatch(result, model), "") << NameOf(layout) << " to " << target
                                                 << (standard ? " standard" : "")
                                                 << (dither ? " dither" : "");
        }
  }
}

TEST_F(ConvertColorTest, Refusals) {
  SetErrorStatus(0);
  EXPECT_EQ(Convert(nullptr, 24), nullptr);
  EXPECT_EQ(GetErrorStatus(), 7);
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 5, 5, 6));
  for (int target : {0, 2, 3, 12, 41, 64, 79, 81, 255, 0xFFFF}) {
    SetErrorStatus(0);
    EXPECT_EQ(Convert(picture, target), nullptr) << target;
    EXPECT_EQ(GetErrorStatus(), 5) << target;
  }
  for (Layout layout : AllLayouts()) {
    HGLOBAL same = Keep(MakePicture(layout, 3, 3, 7));
    SetErrorStatus(0);
    EXPECT_EQ(Convert(same, ModelKind(same)), nullptr) << NameOf(layout);
    EXPECT_EQ(GetErrorStatus(), 5);
  }
  // The window cannot open: nothing is run.
  SetErrorStatus(0);
}

TEST_F(ConvertColorTest, ProgressPhases) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 6, 5, 8));
  const auto reports = RecordProgress([&] { return Convert(picture, 4, FALSE, TRUE); });
  // Histogram rows 0..9 %, 15 splits 9..27 %, 16 entries 27..30 %, rows 30..100 %.
  std::vector<std::tuple<int, int, int, int>> expected;
  for (int y = 0; y < 5; ++y) expected.emplace_back(y, 4, 0, 9);
  for (int i = 0; i < 15; ++i) expected.emplace_back(i, 15, 9, 27);
  for (int i = 0; i < 16; ++i) expected.emplace_back(i, 15, 27, 30);
  for (int y = 0; y < 5; ++y) expected.emplace_back(y, 4, 30, 100);
  std::vector<std::tuple<int, int, int, int>> seen;
  for (const ProgressReport& r : reports) {
    seen.emplace_back(r.done, r.total, r.percentFrom, r.percentTo);
    EXPECT_EQ(r.noDialog, TRUE);
  }
  EXPECT_EQ(seen, expected);
  // 256 colours: 15 % for the histogram, 45 % for the splits, 50 % in all.
  const auto eight = RecordProgress([&] { return Convert(picture, 8); });
  ASSERT_FALSE(eight.empty());
  EXPECT_EQ(eight.front().percentTo, 15);
  EXPECT_EQ(eight.back().percentFrom, 50);
  // The standard palette: rows 0..100 %.
  const auto standard = RecordProgress([&] { return Convert(picture, 8, TRUE); });
  ASSERT_EQ(standard.size(), 5u);
  EXPECT_EQ(standard.front().percentFrom, 0);
}

TEST_F(ConvertColorTest, FailuresAndCancelsReleaseEverything) {
  if (!HasAccounting()) GTEST_SKIP();
  HGLOBAL rgb = Keep(MakePicture(Layout::kRgb24, 9, 4, 9));
  HGLOBAL four = Keep(MakePicture(Layout::kPalette4, 9, 4, 10));
  const std::vector<std::tuple<HGLOBAL, int, BOOL, BOOL>> calls = {
      {rgb, 8, FALSE, TRUE}, {rgb, 4, FALSE, FALSE}, {rgb, 8, TRUE, TRUE}, {rgb, 1, FALSE, TRUE},
      {rgb, 40, FALSE, TRUE}, {rgb, 80, FALSE, FALSE}, {rgb, 16, FALSE, FALSE},
      {four, 8, TRUE, FALSE}, {four, 1, FALSE, FALSE}};
  for (const auto& args : calls) {
    const PictureCall call = [args] {
      return Convert(std::get<0>(args), std::get<1>(args), std::get<2>(args), std::get<3>(args));
    };
    ExpectCleanFailures(call);
    ExpectCleanCancels(call);
  }
}

}  // namespace
}  // namespace qvx::test
