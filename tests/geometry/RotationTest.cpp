// QVRotation and QVRotationEx: frames and worked examples by hand, the
// rules worked independently on random pictures of every layout, the mask,
// the progress budget, refusals and the fixture's failure and cancel
// checks.
#include <cstring>
#include <random>

#include "geometry/GeometryReference.h"
#include "geometry/Rotation.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class RotationTest : public QvxTest {
 protected:
  ImageHandles Rotate(HGLOBAL picture, HGLOBAL mask, const RotationArgs& r) {
    ImageHandles in{picture, mask};
    const ImageHandles out =
        UnpackHandles(QVRotation(&in, r.angle, r.mirror, r.flip, r.smooth, r.red, r.green, r.blue,
                                 r.keepSize, TRUE, 0, 0, 0));
    Keep(out.Picture);
    Keep(out.Mask);
    return out;
  }
  HGLOBAL Rotate(HGLOBAL picture, const RotationArgs& r) {
    return Rotate(picture, nullptr, r).Picture;
  }
};

RotationArgs Turn(int angle, bool smooth = false, bool keepSize = false) {
  RotationArgs r;
  r.angle = angle;
  r.smooth = smooth;
  r.keepSize = keepSize;
  r.red = 10;
  r.green = 200;
  r.blue = 30;
  return r;
}

TEST_F(RotationTest, CentredFramesAndTurnedFrames) {
  // Even sizes put coordinate 0 on the right-hand of the two middle pixels.
  const CentredFrame even = CentredFrameOf(4, 6), odd = CentredFrameOf(5, 7);
  EXPECT_EQ(even.left, -2);
  EXPECT_EQ(even.right, 1);
  EXPECT_EQ(even.top, -3);
  EXPECT_EQ(even.bottom, 2);
  EXPECT_EQ(odd.left, -2);
  EXPECT_EQ(odd.right, 2);
  EXPECT_EQ(odd.top, -3);
  EXPECT_EQ(odd.bottom, 3);
  // 45 degrees of 100 x 100: corners at x' -70.71..69.30 and y' -70..70,
  // pushed one unit out: -71..70 by -71..71.
  const CentredFrame turned = TurnedFrame(CentredFrameOf(100, 100), 4500);
  EXPECT_EQ(turned.left, -71);
  EXPECT_EQ(turned.right, 70);
  EXPECT_EQ(turned.top, -71);
  EXPECT_EQ(turned.bottom, 71);
  EXPECT_EQ(NormaliseAngle(-9000), 27000);
  EXPECT_EQ(NormaliseAngle(36000), 0);
  EXPECT_EQ(NormaliseAngle(-36001), 35999);
}

TEST_F(RotationTest, WorkedExamples) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb32, 100, 100, 1));
  HGLOBAL turned = Rotate(picture, Turn(4500));
  PictureView view(turned);
  EXPECT_EQ(view.Width(), 142);
  EXPECT_EQ(view.Height(), 143);
  const Pixel background{-1, 10, 200, 30, 0};
  for (const auto& [x, y] : {std::pair{0, 0}, {141, 0}, {0, 142}, {141, 142}, {10, 10}})
    EXPECT_EQ(view.At(x, y), background) << x << ", " << y;
  PictureView kept(Rotate(picture, Turn(4500, false, true)));
  EXPECT_EQ(kept.Width(), 100);
  EXPECT_EQ(kept.At(0, 0), background);

  // 0 degrees: an exact copy, alpha included, whatever the flags.
  for (bool smooth : {false, true})
    for (bool keep : {false, true})
      EXPECT_EQ(BlockBytes(Rotate(picture, Turn(36000, smooth, keep))), BlockBytes(picture));

  // 90 degrees of 7 x 3: 3 x 7, the top row is the right-hand column read
  // downwards; -9000 is 27000.
  HGLOBAL small = Keep(MakePicture(Layout::kRgb24, 7, 3, 2));
  PictureView quarter(Rotate(small, Turn(9000)));
  PictureView smallView(small);
  ASSERT_EQ(quarter.Width(), 3);
  ASSERT_EQ(quarter.Height(), 7);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(quarter.At(x, 0), smallView.At(6, x)) << x;
  EXPECT_EQ(BlockBytes(Rotate(small, Turn(-9000))), BlockBytes(Rotate(small, Turn(27000))));

  // Mirror and flip at 0 degrees give the indices and colours of the
  // 180-degree turn (the mirror leaves alpha 0).
  RotationArgs both = Turn(0);
  both.mirror = both.flip = true;
  for (Layout layout : AllLayouts()) {
    HGLOBAL p = Keep(MakePicture(layout, 9, 5, 3));
    Grid half = Decode(Rotate(p, Turn(18000)));
    for (Pixel& pixel : half.pixels) pixel.alpha = 0;
    EXPECT_EQ(Mismatch(half, Rotate(p, both)), "") << NameOf(layout);
  }
}

TEST_F(RotationTest, SmoothingBlendsTrueColourButNotPalettePictures) {
  // A one-colour picture turned by 30 degrees over a black background: its
  // outer pixels take new colours when a 24-bit picture is smoothed; a
  // palette picture keeps to its pixel's and the background's entries.
  RotationArgs r = Turn(3000, true);
  r.red = r.green = r.blue = 0;
  for (Layout layout : {Layout::kRgb24, Layout::kPalette8, Layout::kPalette4}) {
    HGLOBAL p = Keep(MakeBlankPicture(layout, 20, 20));
    if (layout == Layout::kRgb24) {
      auto* bytes = static_cast<BYTE*>(GlobalLock(p));
      std::memset(bytes + 40, 0xFF, GlobalSize(p) - 40);  // white
      GlobalUnlock(p);
    }
    const Grid source = Decode(p);
    const Grid turned = Decode(Rotate(p, r));
    const Pixel black =
        layout == Layout::kRgb24 ? Pixel{-1, 0, 0, 0, 0} : qvx::test::Rotate(source, r).pixels[0];
    int others = 0;
    for (const Pixel& pixel : turned.pixels)
      others += !(pixel == source.pixels[0]) && !(pixel == black);
    if (layout == Layout::kRgb24)
      EXPECT_GT(others, 20);
    else
      EXPECT_EQ(others, 0) << NameOf(layout);
  }
}

TEST_F(RotationTest, MatchesTheRulesOnRandomPicturesOfEveryLayout) {
  std::mt19937 random(21);
  const int angles[] = {0, 9000, 18000, 27000, -9000, 4500, 3000, 100, 35999, 13333, 22500, 36000};
  for (Layout layout : AllLayouts())
    for (int n = 0; n < 24; ++n) {
      RotationArgs r;
      r.angle = n < 12 ? angles[n] : int(random() % 80000) - 40000;
      r.mirror = random() % 3 == 0;
      r.flip = random() % 3 == 0;
      r.smooth = random() % 2;
      r.keepSize = random() % 2;
      r.red = random() % 256;
      r.green = random() % 256;
      r.blue = random() % 256;
      const int w = 1 + random() % 14, h = 1 + random() % 11;
      const std::uint32_t seed = random();
      HGLOBAL picture = Keep(MakePicture(layout, w, h, seed));
      EXPECT_EQ(Mismatch(qvx::test::Rotate(Decode(picture), r), Rotate(picture, r)), "")
          << NameOf(layout) << " " << w << "x" << h << " angle " << r.angle << " mirror "
          << r.mirror << " flip " << r.flip << " smooth " << r.smooth << " keep " << r.keepSize
          << " seed " << seed;
    }
}

TEST_F(RotationTest, FastPathsMatchTheRecordPathAtAwkwardWidths) {
  std::mt19937 random(8);
  for (Layout layout : AllLayouts())
    for (int n = 0; n < 8; ++n) {
      const int angle = n < 4 ? 9000 * n : int(random() % 36000);
      const bool smooth = n % 2, keep = n % 3 == 0, mirror = n == 5;
      const int w = 1 + random() % 33, h = 1 + random() % 19;
      HGLOBAL picture = Keep(MakePicture(layout, w, h, random()));
      const auto run = [&](PixelPath path) {
        return Keep(
            RotateImages(picture, nullptr, angle, mirror, FALSE, smooth, 1, 2, 3, keep, TRUE, path)
                .Picture);
      };
      HGLOBAL fast = run(PixelPath::kFast), generic = run(PixelPath::kGeneric);
      EXPECT_EQ(BlockBytes(fast), BlockBytes(generic))
          << NameOf(layout) << " " << w << "x" << h << " angle " << angle << ": "
          << FirstDifference(generic, fast);
    }
}

TEST_F(RotationTest, TheMaskTurnsFirstWithABlackBackground) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 9, 6, 4));
  HGLOBAL mask = Keep(MakeMask(
      {"#########", "#.#.#.#.#", "#########", "..#...#..", "#########", "###...###"}, true));
  for (int angle : {0, 9000, 18000, 2700, 31000})
    for (bool keep : {false, true}) {
      RotationArgs r = Turn(angle, true, keep);
      r.mirror = true;
      const ImageHandles out = Rotate(picture, mask, r);
      ASSERT_NE(out.Mask, nullptr);
      RotationArgs maskArgs = r;
      maskArgs.red = maskArgs.green = maskArgs.blue = 0;
      maskArgs.smooth = false;
      EXPECT_EQ(Mismatch(qvx::test::Rotate(Decode(mask), maskArgs), out.Mask), "")
          << "angle " << angle << " keep " << keep;
      EXPECT_EQ(PictureView(out.Mask).Width(), PictureView(out.Picture).Width());
    }
}

TEST_F(RotationTest, ProgressBudget) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 5, 4, 4));
  HGLOBAL mask = Keep(MakeMask({"#####", ".....", "#####", "....."}));
  ImageHandles in{picture, mask};
  const auto call = [&] {
    const ImageHandles out =
        UnpackHandles(QVRotation(&in, 4500, TRUE, TRUE, TRUE, 0, 0, 0, FALSE, TRUE, 0, 0, 0));
    if (out.Mask) GlobalFree(out.Mask);
    return out.Picture;
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
    EXPECT_EQ(reports[i].done, int(row)) << "report " << i;
    EXPECT_EQ(reports[i].total, rows[stage] - 1) << "report " << i;
    EXPECT_EQ(reports[i].percentFrom, from[stage]) << "report " << i;
    EXPECT_EQ(reports[i].percentTo, to[stage]) << "report " << i;
  }
}

TEST_F(RotationTest, RefusalsAndTheExTwin) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 6, 4, 1));
  const auto status = [&](HGLOBAL p, HGLOBAL m) {
    SetErrorStatus(0);
    const ImageHandles out = Rotate(p, m, Turn(3000));
    EXPECT_EQ(out.Picture, nullptr);
    EXPECT_EQ(out.Mask, nullptr);
    return GetErrorStatus();
  };
  EXPECT_EQ(status(nullptr, nullptr), 7);
  EXPECT_EQ(status(picture, Keep(MakeMask({"#.#.#", "....."}))), 5);
  EXPECT_EQ(status(picture, Keep(MakePicture(Layout::kPalette4, 6, 4, 2))), 7);

  ImageHandles in{picture, nullptr};
  ImageHandles out{reinterpret_cast<HGLOBAL>(1), reinterpret_cast<HGLOBAL>(1)};
  EXPECT_EQ(QVRotationEx(&in, &out, 9000, 0, 0, 0, 0, 0, 0, 0, TRUE, 0, 0, 0), TRUE);
  Keep(out.Picture);
  EXPECT_EQ(out.Mask, nullptr);
  EXPECT_EQ(GetErrorStatus(), 0);
  EXPECT_EQ(PictureView(out.Picture).Width(), 4);
  in.Picture = nullptr;
  EXPECT_EQ(QVRotationEx(&in, &out, 9000, 0, 0, 0, 0, 0, 0, 0, TRUE, 0, 0, 0), FALSE);
  EXPECT_EQ(out.Picture, nullptr);
  QvxComSetDlgOpenHandler([](void*, DWORD, DWORD, DWORD) -> BOOL { return FALSE; }, nullptr);
  out = {reinterpret_cast<HGLOBAL>(1), reinterpret_cast<HGLOBAL>(2)};
  EXPECT_EQ(QVRotationEx(&in, &out, 9000, 0, 0, 0, 0, 0, 0, 0, FALSE, 0, 0, 0), FALSE);
  EXPECT_EQ(out.Picture, reinterpret_cast<HGLOBAL>(1));
  EXPECT_EQ(GetErrorStatus(), 2);
}

TEST_F(RotationTest, FailuresAndCancelsReleaseEverything) {
  HGLOBAL mask = Keep(MakeMask({"#.#.#.#", ".#.#.#.", "##..##.", "..##..#", "#######"}));
  for (Layout layout : {Layout::kRgb24, Layout::kGrey8, Layout::kPalette1}) {
    HGLOBAL picture = Keep(MakePicture(layout, 7, 5, 9));
    for (int angle : {0, 9000, 18000, 3000})
      for (bool keep : {false, true}) {
        ImageHandles in{picture, mask};
        const auto call = [&] {
          const ImageHandles out =
              UnpackHandles(QVRotation(&in, angle, TRUE, TRUE, TRUE, 1, 2, 3, keep, TRUE, 0, 0, 0));
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
