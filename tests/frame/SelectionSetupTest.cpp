// The selection set-up every effect worker runs: the mode check, the source
// lock, the work rectangle, the caller's mask or a mask built from the shape,
// the selection flags of the mask's colour table, and the row answers the
// pixel loops use. Expected selections are worked out by hand from the
// drawing rules (SelectionShapes.h) or read from the mask's bits by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "SelectionShapes.h"
#include "exports/ExportFrame.h"
#include "frame/ErrorCodes.h"
#include "frame/Selection.h"
#include "platform/GlobalMemory.h"
#include "platform/MaskRasterPicture.h"
#include "support/Fixture.h"

namespace qvx::test {
namespace {

const Staircase kTriangle{1, 1, 6};      // bounding box (1, 1, 7, 7)
const FiveByFiveEllipse kEllipse{2, 1};  // rectangle (2, 1, 7, 6)

const auto kAll = [](int, int) { return true; };
const auto kNone = [](int, int) { return false; };

SelectionArgs Args(HGLOBAL picture, BYTE mode, POINT* points = nullptr, int count = 0,
                   RECT rect = {}, BOOL inside = TRUE, HGLOBAL mask = nullptr) {
  SelectionArgs args;
  args.picture = picture;
  args.mask = mask;
  args.mode = mode;
  args.points = points;
  args.pointCount = count;
  args.rect = rect;
  args.inside = inside;
  return args;
}

// The pixels a worker visits and changes: the runs ForEachRun reports for
// the rows of the work rectangle, as a w x h grid. Checks on the way that
// the runs are in order, maximal and inside the rectangle, and that the
// per-pixel answers agree with them.
std::vector<std::string> Visited(const Selection& s, int w, int h) {
  std::vector<std::string> grid(h, std::string(w, '.'));
  const WorkRect& r = s.Rect();
  if (r.Empty()) return grid;
  EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right < w && r.bottom < h) << Text(r);
  for (int y = r.top; y <= r.bottom; ++y) {
    int previousEnd = INT_MIN;
    s.ForEachRun(y, [&](int x0, int x1) {
      EXPECT_LE(x0, x1) << "row " << y;
      EXPECT_GE(x0, r.left) << "row " << y;
      EXPECT_LE(x1, r.right) << "row " << y;
      EXPECT_GT(x0, previousEnd + 1) << "runs of row " << y << " not maximal or out of order";
      previousEnd = x1;
      for (int x = std::max(x0, 0); x <= std::min(x1, w - 1); ++x) grid[y][x] = '#';
    });
    for (int x = r.left; x <= r.right; ++x) {
      EXPECT_EQ(s.Selected(x, y), grid[y][x] == '#') << "Selected(" << x << ", " << y << ")";
      if (!s.AllSelected()) {
        EXPECT_EQ(s.Row(y).Selected(x), grid[y][x] == '#')
            << "Row(" << y << ").Selected(" << x << ")";
      }
    }
  }
  return grid;
}

void ExpectVisited(const Selection& s, const std::vector<std::string>& expected) {
  const std::vector<std::string> actual =
      Visited(s, static_cast<int>(expected[0].size()), static_cast<int>(expected.size()));
  EXPECT_EQ(actual, expected) << SideBySide(expected, actual);
}

// Replaces the two colour-table entries of a 1-bit picture.
void SetTable(HGLOBAL mask, RGBQUAD entry0, RGBQUAD entry1) {
  auto* data = static_cast<BYTE*>(GlobalLock(mask));
  auto* table = reinterpret_cast<RGBQUAD*>(data + 40);
  table[0] = entry0;
  table[1] = entry1;
  GlobalUnlock(mask);
}

class SelectionSetupTest : public QvxTest {
 protected:
  void SetUp() override {
    QvxTest::SetUp();
    picture_ = Keep(MakePicture(Layout::kRgb24, kWidth, kHeight, 11));
  }

  // Begin() on a fresh selection; expects success and returns the grid of
  // visited pixels, checking the work rectangle on the way.
  std::vector<std::string> Select(const SelectionArgs& args, const WorkRect& rect) {
    Selection s;
    EXPECT_TRUE(s.Begin(args, kDepthAll)) << "error " << GetErrorStatus();
    EXPECT_EQ(Text(s.Rect()), Text(rect));
    return Visited(s, kWidth, kHeight);
  }

  // Begin() must fail with `code`.
  void ExpectRefused(const SelectionArgs& args, int code, unsigned depthMask = kDepthAll) {
    SetErrorStatus(0);
    Selection s;
    EXPECT_FALSE(s.Begin(args, depthMask));
    EXPECT_EQ(GetErrorStatus(), code);
  }

  HGLOBAL picture_ = nullptr;
  const WorkRect whole_{0, 0, kWidth - 1, kHeight - 1};
};

template <class On>
std::vector<std::string> Picture(On on) {
  return Grid(kWidth, kHeight, on);
}

// ---- refusals -----------------------------------------------------------------

TEST_F(SelectionSetupTest, ModeFourOrMoreIsRefusedBeforeAnyLock) {
  for (const int mode : {4, 5, 128, 255}) {
    SCOPED_TRACE(mode);
#if !defined(_WIN32)
    const long locks = QvxMemLockCalls();
    ExpectRefused(Args(picture_, static_cast<BYTE>(mode)), kErrorBadParameter);
    EXPECT_EQ(QvxMemLockCalls(), locks) << "something was locked";
#else
    ExpectRefused(Args(picture_, static_cast<BYTE>(mode)), kErrorBadParameter);
#endif
    // Even without a picture: the mode is checked first.
    ExpectRefused(Args(nullptr, static_cast<BYTE>(mode)), kErrorBadParameter);
  }
}

TEST_F(SelectionSetupTest, TheSourceIsCheckedBeforeTheShape) {
  ExpectRefused(Args(nullptr, 1), kErrorBadPicture);
  HGLOBAL palette = Keep(MakePicture(Layout::kPalette8, kWidth, kHeight, 2));
  ExpectRefused(Args(palette, 1), kErrorBadPicture, kDepthTrue);
  // A refused polygon on an unusable picture: the picture's code.
  ExpectRefused(Args(nullptr, 2, nullptr, 5), kErrorBadPicture);
  ExpectRefused(Args(palette, 3, nullptr, 0, {}, TRUE), kErrorBadPicture, kDepthTrue);
}

TEST_F(SelectionSetupTest, UnusableMaskPictures) {
  const std::vector<std::string> narrow(kHeight, std::string(kWidth - 1, '#'));
  const std::vector<std::string> short_(kHeight - 1, std::string(kWidth, '#'));
  const HGLOBAL masks[] = {
      nullptr,
      Keep(MakePicture(Layout::kPalette8, kWidth, kHeight, 4)),
      Keep(MakePicture(Layout::kRgb24, kWidth, kHeight, 4)),
      Keep(MakeMask(narrow)),
      Keep(MakeMask(short_)),
  };
  for (HGLOBAL mask : masks) {
    ExpectRefused(Args(picture_, 0, nullptr, 0, {}, TRUE, mask), kErrorBadPicture);
  }
  // The fixture checks that none is left locked and none was freed.
}

// ---- modes 0 and 1 --------------------------------------------------------------

// What selects is the colour of each index: a non-black entry selects its
// bit value, whichever it is.
TEST_F(SelectionSetupTest, CallerMaskIsReadThroughItsColourTable) {
  const std::vector<std::string> pattern = {"#.#..###..", "..........", "##########", ".#.#.#.#.#",
                                            "#........#", "...##.....", "#.#.#.#.#.", ".........#"};
  HGLOBAL mask = Keep(MakeMask(pattern));
  const auto bit = [&](int x, int y) { return pattern[y][x] == '#'; };
  struct Case {
    const char* name;
    RGBQUAD entry0, entry1;
    std::function<bool(int, int)> selected;
  };
  const Case cases[] = {
      {"black, white", {0, 0, 0, 0}, {255, 255, 255, 0}, bit},
      {"white, black", {255, 255, 255, 0}, {0, 0, 0, 0}, [&](int x, int y) { return !bit(x, y); }},
      {"both black", {0, 0, 0, 0}, {0, 0, 0, 0}, kNone},
      {"both white", {255, 255, 255, 0}, {255, 255, 255, 0}, kAll},
      // Only red, green and blue count; the fourth byte does not.
      {"black with reserved byte, dark blue", {0, 0, 0, 255}, {1, 0, 0, 0}, bit},
      {"dark red, black with reserved byte",
       {0, 0, 1, 0},
       {0, 0, 0, 9},
       [&](int x, int y) { return !bit(x, y); }},
      {"grey, green", {128, 128, 128, 0}, {0, 255, 0, 0}, kAll},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetTable(mask, c.entry0, c.entry1);
    Selection s;
    ASSERT_TRUE(s.Begin(Args(picture_, 0, nullptr, 0, {}, TRUE, mask), kDepthAll));
    EXPECT_EQ(Text(s.Rect()), Text(whole_));
    ExpectVisited(s, Picture(c.selected));
  }
}

// The caller's mask is used as it stands: shape arguments and `inside` do
// not matter, and the mask is neither changed nor freed.
TEST_F(SelectionSetupTest, CallerMaskIgnoresShapeArguments) {
  const std::vector<std::string> pattern = Picture([](int x, int y) { return (x + y) % 3 == 0; });
  HGLOBAL mask = Keep(MakeMask(pattern));
  const std::vector<std::uint8_t> before = BlockBytes(mask);
  std::vector<POINT> points = kTriangle.Vertices();
  EXPECT_EQ(Select(Args(picture_, 0, points.data(), 3, kEllipse.Rect(), FALSE, mask), whole_),
            pattern);
  EXPECT_EQ(BlockBytes(mask), before);
}

TEST_F(SelectionSetupTest, WholePictureIgnoresShapeArgumentsAndMask) {
  HGLOBAL notAMask = Keep(MakePicture(Layout::kPalette8, 3, 3, 5));
#if !defined(_WIN32)
  const long live = QvxMemLiveBlocks();
#endif
  Selection s;
  ASSERT_TRUE(s.Begin(Args(picture_, 1, nullptr, 9, {7, 1, 2, 6}, FALSE, notAMask), kDepthAll));
#if !defined(_WIN32)
  EXPECT_EQ(QvxMemLiveBlocks(), live) << "no mask is built";
#endif
  EXPECT_TRUE(s.AllSelected());
  EXPECT_FALSE(s.NoneSelected());
  EXPECT_EQ(Text(s.Rect()), Text(whole_));
  ExpectVisited(s, Picture(kAll));
}

// ---- shapes ---------------------------------------------------------------------

TEST_F(SelectionSetupTest, TriangleVisitsOnlyItsBoundingBox) {
  std::vector<POINT> points = kTriangle.Vertices();
  const auto visited = Select(Args(picture_, 2, points.data(), 3), {1, 1, 7, 7});
  EXPECT_EQ(visited, Picture([](int x, int y) { return kTriangle.Has(x, y); }));
  EXPECT_EQ(Text(points), Text(kTriangle.Vertices())) << "workers' masks do not move vertices";
}

TEST_F(SelectionSetupTest, ShapesInsideAndOutside) {
  std::vector<POINT> points = kTriangle.Vertices();
  EXPECT_EQ(Select(Args(picture_, 2, points.data(), 3, {}, FALSE), whole_),
            Picture([](int x, int y) { return !kTriangle.Has(x, y); }));
  EXPECT_EQ(Select(Args(picture_, 3, nullptr, 0, kEllipse.Rect(), TRUE), {2, 1, 7, 6}),
            Picture([](int x, int y) { return kEllipse.Has(x, y); }));
  EXPECT_EQ(Select(Args(picture_, 3, nullptr, 0, kEllipse.Rect(), FALSE), whole_),
            Picture([](int x, int y) { return !kEllipse.Has(x, y); }));
  // A polygon over the picture's edges is clipped to it.
  std::vector<POINT> crossing = Staircase{-3, 1, 6}.Vertices();
  EXPECT_EQ(Select(Args(picture_, 2, crossing.data(), 3), {0, 1, 3, 7}), Picture([](int x, int y) {
              return Staircase{-3, 1, 6}.Has(x, y);
            }));
}

TEST_F(SelectionSetupTest, ShapesOutsideThePictureLeaveNothingToVisit) {
  const auto expectEmpty = [&](const SelectionArgs& args) {
    Selection s;
    ASSERT_TRUE(s.Begin(args, kDepthAll));
    EXPECT_TRUE(s.Rect().Empty()) << Text(s.Rect());
    // Every row of the (empty) rectangle has no run.
    for (int y = std::max(s.Rect().top, 0); y <= std::min(s.Rect().bottom, kHeight - 1); ++y)
      s.ForEachRun(y, [&](int x0, int x1) { ADD_FAILURE() << "run " << x0 << ".." << x1; });
  };
  std::vector<POINT> right = Staircase{20, 2, 4}.Vertices();
  expectEmpty(Args(picture_, 2, right.data(), 3));
  std::vector<POINT> above = Staircase{2, -10, 4}.Vertices();
  expectEmpty(Args(picture_, 2, above.data(), 3));
  // The ellipse rectangle right to left, or bottom to top.
  expectEmpty(Args(picture_, 3, nullptr, 0, {7, 1, 2, 6}));
  expectEmpty(Args(picture_, 3, nullptr, 0, {2, 6, 7, 1}));
  // Outside, the reversed rectangle excludes the same ellipse as the ordered one.
  EXPECT_EQ(Select(Args(picture_, 3, nullptr, 0, {7, 6, 2, 1}, FALSE), whole_),
            Picture([](int x, int y) { return !kEllipse.Has(x, y); }));
}

// A null RECT pointer reaches the worker as an all-zero rectangle.
TEST_F(SelectionSetupTest, NullEllipseRectangle) {
  ImageHandles images{picture_, nullptr};
  ExpectRefused(CopySelection(&images, 3, nullptr, 0, nullptr, TRUE), kErrorBadParameter);
  EXPECT_EQ(Select(CopySelection(&images, 3, nullptr, 0, nullptr, FALSE), whole_), Picture(kAll));
}

TEST_F(SelectionSetupTest, VertexArraysWithoutVertices) {
  for (const BOOL inside : {TRUE, FALSE}) {
    SCOPED_TRACE(inside);
    for (const int count : {2, 3, 1000, INT_MAX})
      ExpectRefused(Args(picture_, 2, nullptr, count, {}, inside), kErrorBadParameter);
  }
  std::vector<POINT> points = kTriangle.Vertices();
  for (const int count : {1, 0, -1, INT_MIN}) {
    SCOPED_TRACE(count);
    ExpectRefused(Args(picture_, 2, nullptr, count, {}, TRUE), kErrorBadParameter);
    ExpectRefused(Args(picture_, 2, points.data(), count, {}, TRUE), kErrorBadParameter);
    // Outside nothing is checked, but fewer than two vertices cannot be drawn.
    ExpectRefused(Args(picture_, 2, nullptr, count, {}, FALSE), kErrorCannotDo);
    ExpectRefused(Args(picture_, 2, points.data(), count, {}, FALSE), kErrorCannotDo);
  }
}

TEST_F(SelectionSetupTest, ShapesAtTheEndsOfTheRange) {
  for (const int far : {100000, INT_MAX}) {
    SCOPED_TRACE(far);
    const int near = far == INT_MAX ? INT_MIN : -far;
    std::vector<POINT> huge = RectanglePolygon(near, near, far, far);
    EXPECT_EQ(Select(Args(picture_, 2, huge.data(), 4, {}, TRUE), whole_), Picture(kAll));
    EXPECT_EQ(Select(Args(picture_, 2, huge.data(), 4, {}, FALSE), whole_), Picture(kNone));
    const RECT box{near, near, far, far};
    EXPECT_EQ(Select(Args(picture_, 3, nullptr, 0, box, TRUE), whole_), Picture(kAll));
    EXPECT_EQ(Select(Args(picture_, 3, nullptr, 0, box, FALSE), whole_), Picture(kNone));
    const RECT reversed{far, far, near, near};
    EXPECT_EQ(Select(Args(picture_, 3, nullptr, 0, reversed, FALSE), whole_), Picture(kNone));
    Selection s;
    ASSERT_TRUE(s.Begin(Args(picture_, 3, nullptr, 0, reversed, TRUE), kDepthAll));
    EXPECT_TRUE(s.Rect().Empty());
  }
}

// ---- row answers -------------------------------------------------------------------

// Caller masks of awkward widths with random bits and random colour tables:
// every answer agrees with the bit read from the mask and the colour of its
// table entry.
TEST_F(SelectionSetupTest, RowAnswersAgreeWithTheMask) {
  std::mt19937 rng(4242);
  for (const int w : {1, 7, 8, 9, 31, 32, 33, 65}) {
    for (int trial = 0; trial < 4; ++trial) {
      const int h = 1 + static_cast<int>(rng() % 5);
      SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h) + " trial " +
                   std::to_string(trial));
      HGLOBAL picture = Keep(MakePicture(Layout::kRgb32, w, h, rng()));
      HGLOBAL mask = Keep(MakePicture(Layout::kPalette1, w, h, rng()));
      const auto colour = [&]() -> RGBQUAD {
        const int pick = static_cast<int>(rng() % 3);  // black, some colour, nearly black
        if (pick == 0) return {0, 0, 0, static_cast<BYTE>(rng())};
        if (pick == 1) return {static_cast<BYTE>(rng()), 200, static_cast<BYTE>(rng()), 0};
        return {0, static_cast<BYTE>(1 + rng() % 2), 0, 0};
      };
      const RGBQUAD e0 = colour(), e1 = colour();
      SetTable(mask, e0, e1);
      const bool flag[2] = {(e0.rgbRed | e0.rgbGreen | e0.rgbBlue) != 0,
                            (e1.rgbRed | e1.rgbGreen | e1.rgbBlue) != 0};
      std::vector<std::string> expected;
      {
        PictureView view(mask);
        expected = Grid(
            w, h, [&](int x, int y) { return flag[(view.Row(y)[x >> 3] >> (7 - (x & 7))) & 1]; });
      }
      Selection s;
      ASSERT_TRUE(s.Begin(Args(picture, 0, nullptr, 0, {}, TRUE, mask), kDepthAll));
      EXPECT_EQ(s.AllSelected(), flag[0] && flag[1]);
      EXPECT_EQ(s.NoneSelected(), !flag[0] && !flag[1]);
      const std::vector<std::string> actual = Visited(s, w, h);
      EXPECT_EQ(actual, expected) << SideBySide(expected, actual);
    }
  }
}

// ---- a worker on top of the set-up -----------------------------------------------

// A minimal effect: a copy of the source with every selected pixel of the
// work rectangle set to (1, 2, 3).
HGLOBAL PaintSelection(const SelectionArgs& args) {
  Selection s;
  if (!s.Begin(args, kDepthAll)) return nullptr;
  const DibAccess& source = s.SourceRecord();
  OwnedBlock result(NewDibLike(source.Header, source.Width, source.Height, TRUE));
  if (!result) return nullptr;
  LockedDib out;
  if (!out.Start(result.Get(), kDepthAll)) return nullptr;
  out->Red = 1;
  out->Green = 2;
  out->Blue = 3;
  for (int y = s.Rect().top; y <= s.Rect().bottom; ++y)
    s.ForEachRun(y, [&](int x0, int x1) {
      for (int x = x0; x <= x1; ++x) SetDibPixel(&out.Record(), x, y);
    });
  out.End();
  return result.Release();
}

TEST_F(SelectionSetupTest, OnlySelectedPixelsChange) {
  std::vector<POINT> points = kTriangle.Vertices();
  HGLOBAL result = Keep(PaintSelection(Args(picture_, 2, points.data(), 3)));
  ASSERT_NE(result, nullptr);
  PictureView in(picture_), out(result);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const Pixel want = kTriangle.Has(x, y) ? Pixel{-1, 1, 2, 3, 0} : in.At(x, y);
      ASSERT_EQ(out.At(x, y), want) << "at " << x << ", " << y;
    }
  }
}

TEST_F(SelectionSetupTest, CleanUnderAllocationAndLockFailures) {
  HGLOBAL mask = Keep(MakeMask(Picture([](int x, int y) { return x > y; })));
  const std::vector<POINT> triangle = Staircase{-3, 1, 6}.Vertices();
  struct Case {
    const char* name;
    BYTE mode;
    BOOL inside;
  };
  for (const Case& c : {Case{"mask picture", 0, TRUE}, Case{"whole", 1, TRUE},
                        Case{"polygon inside", 2, TRUE}, Case{"polygon outside", 2, FALSE},
                        Case{"ellipse inside", 3, TRUE}, Case{"ellipse outside", 3, FALSE}}) {
    SCOPED_TRACE(c.name);
    ExpectCleanFailures(
        [&] {
          std::vector<POINT> points = triangle;
          return PaintSelection(
              Args(picture_, c.mode, points.data(), 3, kEllipse.Rect(), c.inside, mask));
        },
        {kErrorNoMemory, kErrorCannotDo});
  }
}

}  // namespace
}  // namespace qvx::test
