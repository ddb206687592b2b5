// QVCutRectImage: the rectangle rules by hand and on random pictures of
// every layout (bit and nibble starts included), and the fixture's checks.
#include <algorithm>
#include <random>

#include "geometry/GeometryReference.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class CutRectImageTest : public QvxTest {
 protected:
  HGLOBAL Cut(HGLOBAL picture, RECT rect) {
    return Keep(QVCutRectImage(picture, &rect, TRUE, 0, 0, 0));
  }
};

// The cut written out: clamp each coordinate, swap reversed corners.
Grid ExpectedCut(const Grid& source, RECT r) {
  int l = std::clamp<int>(r.left, 0, source.width - 1),
      t = std::clamp<int>(r.top, 0, source.height - 1);
  int rt = std::clamp<int>(r.right, 0, source.width - 1),
      b = std::clamp<int>(r.bottom, 0, source.height - 1);
  if (l > rt) std::swap(l, rt);
  if (t > b) std::swap(t, b);
  Grid out = source.Blank(rt - l + 1, b - t + 1);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) out.At(x, y) = source.At(l + x, t + y);
  return out;
}

TEST_F(CutRectImageTest, WorkedExamples) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 100, 100, 1));
  const Grid source = Decode(picture);
  PictureView outside(Cut(picture, {-5, -5, 10, 10}));
  EXPECT_EQ(outside.Width(), 11);
  EXPECT_EQ(outside.Height(), 11);
  EXPECT_EQ(outside.At(0, 0), source.At(0, 0));
  EXPECT_EQ(BlockBytes(Cut(picture, {30, 40, 20, 10})), BlockBytes(Cut(picture, {20, 10, 30, 40})));
  PictureView one(Cut(picture, {7, 8, 7, 8}));
  EXPECT_EQ(one.Width(), 1);
  EXPECT_EQ(one.At(0, 0), source.At(7, 8));
  // A 1-bit row cut from pixel 3 starts with source pixel 3.
  HGLOBAL mask = Keep(MakeMask({"...#.##.#..#", "####....#.#."}));
  PictureView bits(Cut(mask, {3, 0, 11, 1}));
  const char* expected[] = {"#.##.#..#", "#....#.#."};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 9; ++x)
      EXPECT_EQ(bits.At(x, y).index, expected[y][x] == '#') << x << ", " << y;
}

TEST_F(CutRectImageTest, MatchesTheRulesOnRandomPicturesOfEveryLayout) {
  std::mt19937 random(31);
  for (Layout layout : AllLayouts())
    for (int n = 0; n < 30; ++n) {
      const int w = 1 + random() % 37, h = 1 + random() % 9;
      HGLOBAL picture = Keep(MakePicture(layout, w, h, random()));
      const auto coordinate = [&](int size) { return int(random() % (size + 6)) - 3; };
      const RECT rect{coordinate(w), coordinate(h), coordinate(w), coordinate(h)};
      EXPECT_EQ(Mismatch(ExpectedCut(Decode(picture), rect), Cut(picture, rect)), "")
          << NameOf(layout) << " " << w << "x" << h << " rect " << rect.left << "," << rect.top
          << "," << rect.right << "," << rect.bottom;
    }
}

TEST_F(CutRectImageTest, RefusalsFailuresAndCancels) {
  SetErrorStatus(0);
  RECT rect{0, 0, 3, 3};
  EXPECT_EQ(QVCutRectImage(nullptr, &rect, TRUE, 0, 0, 0), nullptr);
  EXPECT_EQ(GetErrorStatus(), 7);
  HGLOBAL picture = Keep(MakePicture(Layout::kPalette4, 9, 7, 2));
  PictureView corner(Keep(QVCutRectImage(picture, nullptr, TRUE, 0, 0, 0)));
  EXPECT_EQ(corner.Width(), 1);
  rect = {1, 1, 6, 5};
  const auto call = [&] { return QVCutRectImage(picture, &rect, TRUE, 0, 0, 0); };
  ExpectCleanFailures(call);
  const auto reports = ExpectCleanCancels(call);
  ASSERT_EQ(reports.size(), 5u);
  EXPECT_EQ(reports[4].done, 4);
  EXPECT_EQ(reports[4].total, 4);
  EXPECT_EQ(reports[4].percentTo, 100);
}

}  // namespace
}  // namespace qvx::test
