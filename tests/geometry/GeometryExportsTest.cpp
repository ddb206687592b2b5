// The geometric exports: QVResize and QVResizeEx, QVRotation and
// QVRotationEx, ResizeColorBit and QVCutRectImage. Worked examples, the
// rules worked independently on random pictures of every layout (and the
// record path against the fast one), the masks that travel with the
// pictures, progress budgets, refusals, the Ex twins, and the fixture's
// failure and cancel checks.
#include <algorithm>
#include <random>

#include "geometry/GeometryReference.h"
#include "geometry/Resize.h"
#include "geometry/ResizeColorBit.h"
#include "geometry/Rotation.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class GeometryTest : public QvxTest {
 protected:
  // Keeps both pictures of a result pair until the end of the test.
  ImageHandles KeepPair(const ImageHandles& out) {
    Keep(out.Picture);
    Keep(out.Mask);
    return out;
  }
  ImageHandles Resize(HGLOBAL picture, HGLOBAL mask, int width, int height, BOOL smooth) {
    ImageHandles in{picture, mask};
    return KeepPair(UnpackHandles(QVResize(&in, width, height, smooth, TRUE, 0, 0, 0)));
  }
  ImageHandles Rotate(HGLOBAL picture, HGLOBAL mask, const RotationArgs& r) {
    ImageHandles in{picture, mask};
    return KeepPair(UnpackHandles(QVRotation(&in, r.angle, r.mirror, r.flip, r.smooth, r.red,
                                             r.green, r.blue, r.keepSize, TRUE, 0, 0, 0)));
  }
};
class ResizeTest : public GeometryTest {};
class RotationTest : public GeometryTest {};

// The picture of a pair, its mask freed: for the fixture's checks. An Ex
// twin must answer TRUE exactly when it wrote a picture.
HGLOBAL PictureOf(const ImageHandles& out) {
  if (out.Mask) GlobalFree(out.Mask);
  return out.Picture;
}
HGLOBAL PictureOfEx(BOOL answer, const ImageHandles& out) {
  EXPECT_EQ(answer, out.Picture != nullptr);
  return PictureOf(out);
}

// A 24-bit picture from rows of blue values (red = green = 0).
HGLOBAL BluePicture(const std::vector<std::vector<int>>& rows) {
  return PaintedPicture(int(rows[0].size()), int(rows.size()), [&](int x, int y) {
    return Colour{0, 0, rows[y][x]};
  });
}

TEST_F(ResizeTest, WorkedExamples) {
  // 4 x 1 to 2 x 1 averages pixels 0-1 and 2-3 with truncation.
  HGLOBAL row = Keep(BluePicture({{10, 11, 200, 101}}));
  PictureView shrunk(Resize(row, nullptr, 2, 1, TRUE).Picture);
  EXPECT_EQ(shrunk.At(0, 0).blue, 10);
  EXPECT_EQ(shrunk.At(1, 0).blue, 150);
  // 2 x 2 to 4 x 4: column 3 maps to 1.5, clamped to ix 0 with dx 1, so it
  // is the right-hand column exactly; column 1 (fx 0.5) is half and half.
  HGLOBAL square = Keep(BluePicture({{0, 100}, {51, 250}}));
  PictureView grown(Resize(square, nullptr, 4, 4, TRUE).Picture);
  EXPECT_EQ(grown.At(3, 0).blue, 100);
  EXPECT_EQ(grown.At(3, 3).blue, 250);
  EXPECT_EQ(grown.At(1, 0).blue, 50);
  EXPECT_EQ(grown.At(0, 1).blue, 26);   // 25.5 rounds up
  EXPECT_EQ(grown.At(1, 1).blue, 100);  // (50 + 150.5) / 2 = 100.25
  // Nearest pixel aligns the top-left corners: 2 -> 4 maps 0, 1, 1, 1.
  PictureView nearest(Resize(square, nullptr, 4, 1, FALSE).Picture);
  EXPECT_EQ(nearest.At(0, 0).blue, 0);
  EXPECT_EQ(nearest.At(1, 0).blue, 100);
  EXPECT_EQ(nearest.At(3, 0).blue, 100);
}

TEST_F(ResizeTest, MatchesTheRulesAndTheRecordPathOnRandomPicturesOfEveryLayout) {
  // Sizes that shrink, grow, mix both, keep one dimension or both, start
  // from one pixel; then random ones at awkward widths.
  struct SizeCase {
    int w, h, nw, nh;
  };
  std::vector<SizeCase> sizes = {{13, 9, 5, 4}, {5, 4, 13, 11}, {13, 4, 6, 9},  {6, 9, 13, 4},
                                 {9, 7, 9, 15}, {9, 7, 4, 7},   {1, 6, 5, 3},   {7, 1, 3, 4},
                                 {2, 2, 1, 1},  {31, 3, 10, 2}, {4, 30, 33, 7}, {3, 3, 1, 8},
                                 {7, 5, 7, 5},  {1, 1, 5, 3}};
  std::mt19937 random(77);
  for (int n = 0; n < 6; ++n)
    sizes.push_back({1 + int(random() % 37), 1 + int(random() % 23), 1 + int(random() % 41),
                     1 + int(random() % 29)});
  for (Layout layout : AllLayouts())
    for (const SizeCase& c : sizes)
      for (BOOL smooth : {FALSE, TRUE}) {
        HGLOBAL picture = Keep(MakePicture(layout, c.w, c.h, random()));
        HGLOBAL mask = random() % 2 ? Keep(RandomMask(random, c.w, c.h)) : nullptr;
        const Grid source = Decode(picture);
        const bool blends = source.bits > 8 || source.grey;
        const Grid expected =
            smooth && blends ? SmoothResize(source, c.nw, c.nh) : NearestResize(source, c.nw, c.nh);
        const std::string where =
            Describe(NameOf(layout), c.w, c.h, "->", c.nw, c.nh, smooth, "mask", mask != nullptr);
        const ImageHandles fast = Resize(picture, mask, c.nw, c.nh, smooth);
        EXPECT_EQ(Mismatch(expected, fast.Picture), "") << where;
        // The mask travels by nearest pixel.
        if (mask) {
          EXPECT_EQ(Mismatch(NearestResize(Decode(mask), c.nw, c.nh), fast.Mask), "") << where;
        } else {
          EXPECT_EQ(fast.Mask, nullptr) << where;
        }
        const ImageHandles generic = KeepPair(ResizeImages(
            picture, mask, c.nw, c.nh, smooth, kWholeProgress, TRUE, PixelPath::kGeneric));
        EXPECT_EQ(BlockBytes(fast.Picture), BlockBytes(generic.Picture))
            << where << ": record path differs, " << FirstDifference(generic.Picture, fast.Picture);
      }
}

TEST_F(ResizeTest, Refusals) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 6, 4, 1));
  const auto status = [&](HGLOBAL p, HGLOBAL m, int w, int h) {
    ImageHandles in{p, m};
    return RefusalOf([&] { return PictureOf(UnpackHandles(QVResize(&in, w, h, 1, 1, 0, 0, 0))); });
  };
  EXPECT_EQ(status(picture, nullptr, 0, 5), 5);
  EXPECT_EQ(status(picture, nullptr, 5, -1), 5);
  EXPECT_EQ(status(nullptr, nullptr, 5, 5), 7);
  EXPECT_EQ(status(picture, Keep(MakePicture(Layout::kRgb24, 6, 4, 2)), 5, 5), 7);
  HGLOBAL wrongSize = Keep(MakeMask({"#.#.#", "....."}));
  const long allocations = QvxMemAllocCalls();
  EXPECT_EQ(status(picture, wrongSize, 5, 5), 5);
  EXPECT_EQ(QvxMemAllocCalls(), allocations) << "allocated before refusing the mask";
  EXPECT_EQ(RefusalOf([] { return UnpackHandles(QVResize(nullptr, 3, 3, 1, 1, 0, 0, 0)).Picture; }),
            7);
  QvxComSetDlgOpenHandler([](void*, DWORD, DWORD, DWORD) -> BOOL { return FALSE; }, nullptr);
  ImageHandles in{picture, nullptr};
  EXPECT_EQ(
      RefusalOf([&] { return UnpackHandles(QVResize(&in, 3, 8, 1, FALSE, 0, 0, 0)).Picture; }), 2);
}

TEST_F(ResizeTest, ProgressSplitsBetweenMaskShrinkingAndGrowing) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 8, 6, 1));
  HGLOBAL mask =
      Keep(MakeMask({"#.......", "........", "........", "........", "........", "#......."}));
  ImageHandles in{picture, mask};
  // Width shrinks to 4, height grows to 9: both stages run.
  const auto reports = ExpectCleanCancels(
      [&] { return PictureOf(UnpackHandles(QVResize(&in, 4, 9, TRUE, TRUE, 0, 0, 0))); });
  // Mask 9 rows into 0..50, shrinking 6 rows into 51..75, growing 9 rows
  // into 76..100.
  ASSERT_EQ(reports.size(), 24u);
  for (int i = 0; i < 24; ++i) {
    const int stage = i < 9 ? 0 : (i < 15 ? 1 : 2), first[] = {0, 9, 15}, total[] = {8, 5, 8};
    const int from[] = {0, 51, 76}, to[] = {50, 75, 100};
    const ProgressReport& r = reports[i];
    EXPECT_TRUE(r.done == i - first[stage] && r.total == total[stage] &&
                r.percentFrom == from[stage] && r.percentTo == to[stage] && r.noDialog)
        << "report " << i;
  }
}

TEST_F(ResizeTest, FailuresAndCancelsReleaseEverythingInBothTwins) {
  HGLOBAL mask = Keep(MakeMask({"#.#.#.#", ".#.#.#.", "##..##.", "..##..#", "#######"}));
  for (Layout layout : {Layout::kRgb24, Layout::kGrey8, Layout::kPalette4}) {
    ImageHandles in{Keep(MakePicture(layout, 7, 5, 9)), mask};
    for (const auto& [w, h] : {std::pair{3, 9}, {3, 2}, {9, 8}})
      for (bool ex : {false, true}) {
        const auto call = [&] {
          if (!ex) return PictureOf(UnpackHandles(QVResize(&in, w, h, TRUE, TRUE, 0, 0, 0)));
          ImageHandles out{reinterpret_cast<HGLOBAL>(1), reinterpret_cast<HGLOBAL>(1)};
          return PictureOfEx(QVResizeEx(&in, &out, w, h, TRUE, TRUE, 0, 0, 0), out);
        };
        ExpectCleanFailures(call);
        ExpectCleanCancels(call);
      }
  }
}

// ResizeColorBit box-averages a rectangle clamped into the picture;
// QVCutRectImage copies one, each coordinate clamped and reversed corners
// swapped.
TEST_F(ResizeTest, ResizeColorBitAndCutRectImageMatchTheirRulesOnRandomRectangles) {
  std::mt19937 random(12);
  for (Layout layout : AllLayouts())
    for (int n = 0; n < 25; ++n) {
      const int w = 2 + random() % 36, h = 2 + random() % 20;
      HGLOBAL picture = Keep(MakePicture(layout, w, h, random()));
      const Grid source = Decode(picture);
      const auto at = [&](int size) { return int(random() % (size + 6)) - 3; };
      RECT rect{at(w), at(h), at(w), at(h)};
      int l = std::clamp<int>(rect.left, 0, w - 1), t = std::clamp<int>(rect.top, 0, h - 1);
      int r = std::clamp<int>(rect.right, 0, w - 1), b = std::clamp<int>(rect.bottom, 0, h - 1);
      if (l > r) std::swap(l, r);
      if (t > b) std::swap(t, b);
      Grid cut = source.Blank(r - l + 1, b - t + 1);
      for (int y = 0; y < cut.height; ++y)
        for (int x = 0; x < cut.width; ++x) cut.At(x, y) = source.At(l + x, t + y);
      EXPECT_EQ(Mismatch(cut, Keep(QVCutRectImage(picture, &rect, TRUE, 0, 0, 0))), "")
          << Describe(NameOf(layout), w, h, "cut", rect.left, rect.top, rect.right, rect.bottom);
      if (layout == Layout::kGrey4 || layout == Layout::kGrey8) continue;  // refused
      const int left = int(random() % (w + 4)) - 2, top = int(random() % (h + 4)) - 2;
      const int right = left + 1 + random() % w, bottom = top + 1 + random() % h;
      const int width = 1 + random() % (n < 20 ? w : 2 * w),
                height = 1 + random() % (n < 20 ? h : 2 * h);
      SetErrorStatus(42);
      HGLOBAL result = Keep(ResizeColorBit(picture, left, top, right, bottom, width, height));
      EXPECT_EQ(GetErrorStatus(), 42) << "success leaves the status";
      l = std::clamp(left, 0, w - 1), t = std::clamp(top, 0, h - 1);
      r = std::clamp(right, 0, w - 1), b = std::clamp(bottom, 0, h - 1);
      const std::string where =
          Describe(NameOf(layout), w, h, "rect", left, top, right, bottom, "->", width, height);
      EXPECT_EQ(Mismatch(BoxAverage(source, l, t, r - l + 1, b - t + 1, width, height), result), "")
          << where;
      HGLOBAL generic = Keep(
          ResizeRectangle(picture, left, top, right, bottom, width, height, PixelPath::kGeneric));
      EXPECT_EQ(BlockBytes(result), BlockBytes(generic)) << where;
    }
}

TEST_F(ResizeTest, ResizeColorBitRefusalsAndFailures) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 10, 10, 1));
  HGLOBAL grey = Keep(MakePicture(Layout::kGrey8, 10, 10, 1));
  HGLOBAL bits = Keep(MakeMask({"#.#", ".#."}));
  HGLOBAL tiny = Keep(GlobalAlloc(GHND, 20));
  const auto status = [](HGLOBAL p, int left, int top, int right, int bottom, int w, int h) {
    return RefusalOf([&] {
      SetErrorStatus(42);
      return ResizeColorBit(p, left, top, right, bottom, w, h);
    });
  };
  // Silent refusals leave the status as it was (42).
  EXPECT_EQ(status(picture, 3, 0, 3, 9, 2, 2), 42);  // one column
  EXPECT_EQ(status(picture, 0, 4, 9, 4, 2, 2), 42);  // one row
  EXPECT_EQ(status(picture, 5, 0, 2, 9, 2, 2), 42);  // reversed
  EXPECT_EQ(status(nullptr, 0, 0, 9, 9, 2, 2), 42);
  EXPECT_EQ(status(grey, 0, 0, 9, 9, 2, 2), 42);
  EXPECT_EQ(status(bits, 0, 0, 2, 1, 1, 1), 42);
  EXPECT_EQ(status(picture, 0, 0, 9, 9, 0, 2), 5);
  EXPECT_EQ(status(tiny, 0, 0, 9, 9, 2, 2), 7);
  for (Layout layout : {Layout::kRgb24, Layout::kPalette8}) {
    HGLOBAL p = Keep(MakePicture(layout, 12, 9, 4));
    // A lock failing in the grey test leaves the status as it was.
    ExpectCleanFailures(
        [&] {
          SetErrorStatus(42);
          return ResizeColorBit(p, 1, 1, 10, 8, 4, 3);
        },
        {3, 42});
  }
}

TEST_F(ResizeTest, CutRectImageRefusalsFailuresAndCancels) {
  RECT rect{0, 0, 3, 3};
  EXPECT_EQ(RefusalOf([&] { return QVCutRectImage(nullptr, &rect, TRUE, 0, 0, 0); }), 7);
  HGLOBAL picture = Keep(MakePicture(Layout::kPalette4, 9, 7, 2));
  // No rectangle: the corner pixel.
  EXPECT_EQ(PictureView(Keep(QVCutRectImage(picture, nullptr, TRUE, 0, 0, 0))).Width(), 1);
  rect = {1, 1, 6, 5};
  const auto call = [&] { return QVCutRectImage(picture, &rect, TRUE, 0, 0, 0); };
  ExpectCleanFailures(call);
  const auto reports = ExpectCleanCancels(call);
  ASSERT_EQ(reports.size(), 5u);
  EXPECT_EQ(reports[4].done, 4);
  EXPECT_EQ(reports[4].total, 4);
  EXPECT_EQ(reports[4].percentTo, 100);
}

TEST_F(RotationTest, FortyFiveDegreesOfAHundredSquare) {
  // The corners turn to x' -70.71..69.30 and y' -70..70, pushed one unit
  // out: -71..70 by -71..71, 142 x 143; the corners of the result are
  // background.
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb32, 100, 100, 1));
  RotationArgs r{4500, false, false, false, false, 10, 200, 30};
  PictureView turned(Rotate(picture, nullptr, r).Picture);
  EXPECT_EQ(turned.Width(), 142);
  EXPECT_EQ(turned.Height(), 143);
  const Pixel background{-1, 10, 200, 30, 0};
  for (const auto& [x, y] : {std::pair{0, 0}, {141, 0}, {0, 142}, {141, 142}, {10, 10}})
    EXPECT_EQ(turned.At(x, y), background) << x << ", " << y;
}

TEST_F(RotationTest, MatchesTheRulesAndTheRecordPathOnRandomPicturesOfEveryLayout) {
  std::mt19937 random(21);
  const int angles[] = {0, 9000, 18000, 27000, -9000, 4500, 3000, 100, 35999, 13333, 22500, 36000};
  for (Layout layout : AllLayouts())
    for (int n = 0; n < 30; ++n) {
      RotationArgs r;
      r.angle = n < 12 ? angles[n] : int(random() % 80000) - 40000;
      r.mirror = random() % 3 == 0;
      r.flip = random() % 3 == 0;
      r.smooth = random() % 2;
      r.keepSize = random() % 2;
      r.red = random() % 256;
      r.green = random() % 256;
      r.blue = random() % 256;
      const int w = 1 + random() % (n % 2 ? 33 : 14), h = 1 + random() % 11;
      const std::uint32_t seed = random();
      HGLOBAL picture = Keep(MakePicture(layout, w, h, seed));
      HGLOBAL mask = random() % 2 ? Keep(RandomMask(random, w, h)) : nullptr;
      const std::string where =
          Describe(NameOf(layout), w, h, "angle", r.angle, "mirror", r.mirror, "flip", r.flip,
                   "smooth", r.smooth, "keep", r.keepSize, "mask", mask != nullptr);
      const ImageHandles fast = Rotate(picture, mask, r);
      EXPECT_EQ(Mismatch(qvx::test::Rotate(Decode(picture), r), fast.Picture), "") << where;
      // The mask turns the same way over a black background, unsmoothed.
      RotationArgs maskArgs = r;
      maskArgs.red = maskArgs.green = maskArgs.blue = 0;
      maskArgs.smooth = false;
      if (mask) {
        EXPECT_EQ(Mismatch(qvx::test::Rotate(Decode(mask), maskArgs), fast.Mask), "") << where;
      } else {
        EXPECT_EQ(fast.Mask, nullptr) << where;
      }
      const ImageHandles generic =
          KeepPair(RotateImages(picture, mask, r.angle, r.mirror, r.flip, r.smooth, r.red, r.green,
                                r.blue, r.keepSize, TRUE, PixelPath::kGeneric));
      EXPECT_EQ(BlockBytes(fast.Picture), BlockBytes(generic.Picture))
          << where << ": record path differs, " << FirstDifference(generic.Picture, fast.Picture);
    }
}

TEST_F(RotationTest, ProgressBudget) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 5, 4, 4));
  HGLOBAL mask = Keep(MakeMask({"#####", ".....", "#####", "....."}));
  ImageHandles in{picture, mask};
  const auto call = [&] {
    return PictureOf(
        UnpackHandles(QVRotation(&in, 4500, TRUE, TRUE, TRUE, 0, 0, 0, FALSE, TRUE, 0, 0, 0)));
  };
  const std::vector<ProgressReport> reports = ExpectCleanCancels(call);
  // Mirror 4 rows into 0..20, flip 4 into 21..26, the mask's result rows
  // into 27..67 and the picture's into 68..100.
  HGLOBAL result = nullptr;
  RecordProgress(call, &result);
  const int turned = PictureView(Keep(result)).Height();
  const int from[] = {0, 21, 27, 68}, to[] = {20, 26, 67, 100}, rows[] = {4, 4, turned, turned};
  ASSERT_EQ(reports.size(), 8u + 2 * turned);
  for (std::size_t i = 0, stage = 0, row = 0; i < reports.size(); ++i, ++row) {
    if (int(row) == rows[stage]) {
      ++stage;
      row = 0;
    }
    const ProgressReport& r = reports[i];
    EXPECT_TRUE(r.done == int(row) && r.total == rows[stage] - 1 && r.percentFrom == from[stage] &&
                r.percentTo == to[stage])
        << "report " << i;
  }
}

TEST_F(RotationTest, Refusals) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 6, 4, 1));
  const auto status = [&](HGLOBAL p, HGLOBAL m, BOOL noDialog) {
    ImageHandles in{p, m};
    return RefusalOf([&] {
      return PictureOf(
          UnpackHandles(QVRotation(&in, 3000, 0, 0, 0, 0, 0, 0, 0, noDialog, 0, 0, 0)));
    });
  };
  EXPECT_EQ(status(nullptr, nullptr, TRUE), 7);
  EXPECT_EQ(status(picture, Keep(MakeMask({"#.#.#", "....."})), TRUE), 5);
  EXPECT_EQ(status(picture, Keep(MakePicture(Layout::kPalette4, 6, 4, 2)), TRUE), 7);
  QvxComSetDlgOpenHandler([](void*, DWORD, DWORD, DWORD) -> BOOL { return FALSE; }, nullptr);
  EXPECT_EQ(status(picture, nullptr, FALSE), 2);
}

TEST_F(RotationTest, FailuresAndCancelsReleaseEverythingInBothTwins) {
  HGLOBAL mask = Keep(MakeMask({"#.#.#.#", ".#.#.#.", "##..##.", "..##..#", "#######"}));
  for (Layout layout : {Layout::kRgb24, Layout::kGrey8, Layout::kPalette1}) {
    ImageHandles in{Keep(MakePicture(layout, 7, 5, 9)), mask};
    for (int angle : {0, 9000, 18000, 3000})
      for (int n = 0; n < 4; ++n) {  // keeping the size or not, each twin
        const BOOL keep = n % 2;
        const auto call = [&] {
          if (n < 2)
            return PictureOf(UnpackHandles(
                QVRotation(&in, angle, TRUE, TRUE, TRUE, 1, 2, 3, keep, TRUE, 0, 0, 0)));
          ImageHandles out{reinterpret_cast<HGLOBAL>(1), reinterpret_cast<HGLOBAL>(1)};
          return PictureOfEx(
              QVRotationEx(&in, &out, angle, TRUE, TRUE, TRUE, 1, 2, 3, keep, TRUE, 0, 0, 0), out);
        };
        ExpectCleanFailures(call);
        ExpectCleanCancels(call);
      }
  }
}

}  // namespace
}  // namespace qvx::test
