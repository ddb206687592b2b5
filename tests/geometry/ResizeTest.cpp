// QVResize and QVResizeEx: the rules worked by hand on small pictures, the
// independent working of the rules on random pictures of every layout, the
// mask that travels with the picture, refusals, progress, and the fixture's
// failure and cancel checks.
#include <random>

#include "geometry/GeometryReference.h"
#include "geometry/Resize.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class ResizeTest : public QvxTest {
 protected:
  // QVResize without a progress window; the result pair is kept.
  ImageHandles Resize(HGLOBAL picture, HGLOBAL mask, int width, int height, BOOL smooth) {
    ImageHandles in{picture, mask};
    const ImageHandles out = UnpackHandles(QVResize(&in, width, height, smooth, TRUE, 0, 0, 0));
    Keep(out.Picture);
    Keep(out.Mask);
    return out;
  }
  ImageHandles Resize(HGLOBAL picture, int width, int height, BOOL smooth) {
    return Resize(picture, nullptr, width, height, smooth);
  }
};

// A 24-bit picture from rows of blue values (red = green = 0).
HGLOBAL BluePicture(const std::vector<std::vector<int>>& rows) {
  const int h = static_cast<int>(rows.size()), w = static_cast<int>(rows[0].size());
  HGLOBAL picture = MakeBlankPicture(Layout::kRgb24, w, h);
  auto* bits = static_cast<BYTE*>(GlobalLock(picture)) + 40;
  const int stride = (24 * w + 31) / 32 * 4;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) bits[stride * (h - 1 - y) + 3 * x] = BYTE(rows[y][x]);
  GlobalUnlock(picture);
  return picture;
}

TEST_F(ResizeTest, WorkedExamples) {
  // 4 x 1 to 2 x 1 averages pixels 0-1 and 2-3 with truncation.
  HGLOBAL row = Keep(BluePicture({{10, 11, 200, 101}}));
  PictureView shrunk(Resize(row, 2, 1, TRUE).Picture);
  EXPECT_EQ(shrunk.At(0, 0).blue, 10);
  EXPECT_EQ(shrunk.At(1, 0).blue, 150);

  // 2 x 2 to 4 x 4: column 3 maps to 1.5, clamped to ix 0 with dx 1, so it
  // is the right-hand column exactly; column 1 (fx 0.5) is half and half.
  HGLOBAL square = Keep(BluePicture({{0, 100}, {51, 250}}));
  PictureView grown(Resize(square, 4, 4, TRUE).Picture);
  EXPECT_EQ(grown.At(3, 0).blue, 100);
  EXPECT_EQ(grown.At(3, 3).blue, 250);
  EXPECT_EQ(grown.At(1, 0).blue, 50);
  EXPECT_EQ(grown.At(0, 1).blue, 26);   // 25.5 rounds up
  EXPECT_EQ(grown.At(1, 1).blue, 100);  // (50 + 150.5) / 2 = 100.25

  // Nearest pixel aligns the top-left corners: 2 -> 4 maps 0, 1, 1, 1.
  PictureView nearest(Resize(square, 4, 1, FALSE).Picture);
  EXPECT_EQ(nearest.At(0, 0).blue, 0);
  EXPECT_EQ(nearest.At(1, 0).blue, 100);
  EXPECT_EQ(nearest.At(3, 0).blue, 100);
}

TEST_F(ResizeTest, SameSizeOneByOneAndAlpha) {
  for (Layout layout : AllLayouts()) {
    HGLOBAL picture = Keep(MakePicture(layout, 7, 5, 3));
    Grid copy = Decode(picture);
    for (Pixel& p : copy.pixels) p.alpha = 0;
    EXPECT_EQ(Mismatch(copy, Resize(picture, 7, 5, TRUE).Picture), "") << NameOf(layout);
    HGLOBAL single = Keep(MakePicture(layout, 1, 1, 4));
    Grid one = Decode(single);
    one.pixels[0].alpha = 0;
    for (BOOL smooth : {FALSE, TRUE})
      EXPECT_EQ(Mismatch(NearestResize(one, 5, 3), Resize(single, 5, 3, smooth).Picture), "")
          << NameOf(layout) << " smooth " << smooth;
  }
}

// Sizes that shrink, grow, mix both and keep one dimension.
struct SizeCase {
  int w, h, nw, nh;
};
constexpr SizeCase kSizes[] = {{13, 9, 5, 4}, {5, 4, 13, 11}, {13, 4, 6, 9},  {6, 9, 13, 4},
                               {9, 7, 9, 15}, {9, 7, 4, 7},   {1, 6, 5, 3},   {7, 1, 3, 4},
                               {2, 2, 1, 1},  {31, 3, 10, 2}, {4, 30, 33, 7}, {3, 3, 1, 8}};

TEST_F(ResizeTest, MatchesTheRulesOnRandomPicturesOfEveryLayout) {
  std::uint32_t seed = 100;
  for (Layout layout : AllLayouts())
    for (const SizeCase& c : kSizes)
      for (BOOL smooth : {FALSE, TRUE}) {
        HGLOBAL picture = Keep(MakePicture(layout, c.w, c.h, ++seed));
        const Grid source = Decode(picture);
        const bool blends = source.bits > 8 || source.grey;
        const Grid expected =
            smooth && blends ? SmoothResize(source, c.nw, c.nh) : NearestResize(source, c.nw, c.nh);
        EXPECT_EQ(Mismatch(expected, Resize(picture, c.nw, c.nh, smooth).Picture), "")
            << NameOf(layout) << " " << c.w << "x" << c.h << " -> " << c.nw << "x" << c.nh
            << " smooth " << smooth << " seed " << seed;
      }
}

TEST_F(ResizeTest, FastPathsMatchTheRecordPathAtAwkwardWidths) {
  std::mt19937 random(77);
  for (Layout layout : AllLayouts())
    for (int n = 0; n < 6; ++n) {
      const int w = 1 + random() % 37, h = 1 + random() % 23;
      const int nw = 1 + random() % 41, nh = 1 + random() % 29;
      const BOOL smooth = n % 2;
      HGLOBAL picture = Keep(MakePicture(layout, w, h, random()));
      const ImageHandles fast =
          ResizeImages(picture, nullptr, nw, nh, smooth, kWholeProgress, TRUE, PixelPath::kFast);
      const ImageHandles generic =
          ResizeImages(picture, nullptr, nw, nh, smooth, kWholeProgress, TRUE, PixelPath::kGeneric);
      Keep(fast.Picture);
      Keep(generic.Picture);
      EXPECT_EQ(BlockBytes(fast.Picture), BlockBytes(generic.Picture))
          << NameOf(layout) << " " << w << "x" << h << " -> " << nw << "x" << nh << " smooth "
          << smooth << ": " << FirstDifference(generic.Picture, fast.Picture);
    }
}

TEST_F(ResizeTest, TheMaskTravelsWithThePictureByNearestPixel) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 9, 4, 5));
  HGLOBAL mask = Keep(MakeMask({"#..##..#.", ".#.#.#.#.", "##..##..#", "...#...##"}));
  for (BOOL smooth : {FALSE, TRUE}) {
    const ImageHandles out = Resize(picture, mask, 14, 3, smooth);
    ASSERT_NE(out.Mask, nullptr);
    EXPECT_EQ(Mismatch(NearestResize(Decode(mask), 14, 3), out.Mask), "");
  }
  EXPECT_EQ(Resize(picture, nullptr, 3, 3, TRUE).Mask, nullptr);
}

TEST_F(ResizeTest, Refusals) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 6, 4, 1));
  const auto status = [&](HGLOBAL p, HGLOBAL m, int w, int h) {
    SetErrorStatus(0);
    const ImageHandles out = Resize(p, m, w, h, TRUE);
    EXPECT_EQ(out.Picture, nullptr);
    EXPECT_EQ(out.Mask, nullptr);
    return GetErrorStatus();
  };
  EXPECT_EQ(status(picture, nullptr, 0, 5), 5);
  EXPECT_EQ(status(picture, nullptr, 5, -1), 5);
  EXPECT_EQ(status(nullptr, nullptr, 5, 5), 7);
  EXPECT_EQ(status(picture, Keep(MakePicture(Layout::kRgb24, 6, 4, 2)), 5, 5), 7);
  HGLOBAL wrongSize = Keep(MakeMask({"#.#.#", "....."}));
  const long allocations = QvxMemAllocCalls();
  EXPECT_EQ(status(picture, wrongSize, 5, 5), 5);
  EXPECT_EQ(QvxMemAllocCalls(), allocations) << "allocated before refusing the mask";
  SetErrorStatus(0);
  EXPECT_EQ(UnpackHandles(QVResize(nullptr, 3, 3, TRUE, TRUE, 0, 0, 0)).Picture, nullptr);
  EXPECT_EQ(GetErrorStatus(), 7);
}

TEST_F(ResizeTest, ExTwinWritesThePairAndAnswers) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb32, 6, 4, 1));
  HGLOBAL mask = Keep(MakeMask({"#.#.#.", "......", "######", ".#.#.#"}));
  ImageHandles in{picture, mask};
  ImageHandles out{reinterpret_cast<HGLOBAL>(1), reinterpret_cast<HGLOBAL>(1)};
  SetErrorStatus(9);
  EXPECT_EQ(QVResizeEx(&in, &out, 3, 8, TRUE, TRUE, 0, 0, 0), TRUE);
  EXPECT_EQ(GetErrorStatus(), 0);
  Keep(out.Picture);
  Keep(out.Mask);
  EXPECT_EQ(PictureView(out.Picture).Width(), 3);
  EXPECT_EQ(PictureView(out.Mask).Height(), 8);
  // Failing: the pair is written with zeros.
  out = {reinterpret_cast<HGLOBAL>(1), reinterpret_cast<HGLOBAL>(1)};
  EXPECT_EQ(QVResizeEx(&in, &out, 0, 8, TRUE, TRUE, 0, 0, 0), FALSE);
  EXPECT_EQ(out.Picture, nullptr);
  EXPECT_EQ(out.Mask, nullptr);
  EXPECT_EQ(GetErrorStatus(), 5);
  // No window: error 2, the record untouched, nothing run.
  QvxComSetDlgOpenHandler([](void*, DWORD, DWORD, DWORD) -> BOOL { return FALSE; }, nullptr);
  out = {reinterpret_cast<HGLOBAL>(1), reinterpret_cast<HGLOBAL>(2)};
  EXPECT_EQ(QVResizeEx(&in, &out, 3, 8, TRUE, FALSE, 0, 0, 0), FALSE);
  EXPECT_EQ(out.Picture, reinterpret_cast<HGLOBAL>(1));
  EXPECT_EQ(out.Mask, reinterpret_cast<HGLOBAL>(2));
  EXPECT_EQ(GetErrorStatus(), 2);
  EXPECT_EQ(UnpackHandles(QVResize(&in, 3, 8, TRUE, FALSE, 0, 0, 0)).Picture, nullptr);
}

TEST_F(ResizeTest, ProgressSplitsBetweenMaskShrinkingAndGrowing) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 8, 6, 1));
  HGLOBAL mask =
      Keep(MakeMask({"#.......", "........", "........", "........", "........", "#......."}));
  ImageHandles in{picture, mask};
  // Width shrinks to 4, height grows to 9: both stages run.
  const auto call = [&] {
    const ImageHandles out = UnpackHandles(QVResize(&in, 4, 9, TRUE, TRUE, 0, 0, 0));
    if (out.Mask) GlobalFree(out.Mask);
    return out.Picture;
  };
  const std::vector<ProgressReport> reports = ExpectCleanCancels(call);
  // Mask 9 rows into 0..50, shrinking 6 rows into 51..75, growing 9 rows
  // into 76..100.
  ASSERT_EQ(reports.size(), 24u);
  for (int i = 0; i < 24; ++i) {
    const ProgressReport& r = reports[i];
    const int stage = i < 9 ? 0 : (i < 15 ? 1 : 2);
    const int row = stage == 0 ? i : (stage == 1 ? i - 9 : i - 15);
    const int from[] = {0, 51, 76}, to[] = {50, 75, 100}, total[] = {8, 5, 8};
    EXPECT_EQ(r.done, row) << "report " << i;
    EXPECT_EQ(r.total, total[stage]) << "report " << i;
    EXPECT_EQ(r.percentFrom, from[stage]) << "report " << i;
    EXPECT_EQ(r.percentTo, to[stage]) << "report " << i;
    EXPECT_EQ(r.noDialog, TRUE);
  }
}

TEST_F(ResizeTest, FailuresAndCancelsReleaseEverything) {
  HGLOBAL mask = Keep(MakeMask({"#.#.#.#", ".#.#.#.", "##..##.", "..##..#", "#######"}));
  for (Layout layout : {Layout::kRgb24, Layout::kGrey8, Layout::kPalette4}) {
    HGLOBAL picture = Keep(MakePicture(layout, 7, 5, 9));
    for (const SizeCase& c : {SizeCase{7, 5, 3, 9}, SizeCase{7, 5, 3, 2}, SizeCase{7, 5, 9, 8}}) {
      ImageHandles in{picture, mask};
      const auto call = [&] {
        const ImageHandles out = UnpackHandles(QVResize(&in, c.nw, c.nh, TRUE, TRUE, 0, 0, 0));
        if (out.Mask) GlobalFree(out.Mask);
        return out.Picture;
      };
      ExpectCleanFailures(call);
      ExpectCleanCancels(call);
    }
  }
}

}  // namespace
}  // namespace qvx::test
