// Building selection masks: the work rectangle each mode and `inside` give,
// the mask picture's layout, where shapes land in picture-sized and
// corner-sized masks, refused shapes, coordinates at the ends of the range,
// inverting, and clean failure under allocation and lock injection.
// Expected masks are worked out by hand from the drawing rules (see
// SelectionShapes.h), never taken from the code under test.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "SelectionShapes.h"
#include "frame/ErrorCodes.h"
#include "frame/Selection.h"
#include "platform/GlobalMemory.h"
#include "platform/MaskRasterPicture.h"
#include "support/Fixture.h"

namespace qvx::test {
namespace {

using On = std::function<bool(int, int)>;

constexpr WorkRect kWhole{0, 0, kWidth - 1, kHeight - 1};
const Staircase kTriangle{1, 1, 6};      // bounding box (1, 1, 7, 7)
const FiveByFiveEllipse kEllipse{2, 1};  // rectangle (2, 1, 7, 6)

void ExpectRect(const WorkRect& actual, const WorkRect& expected) {
  EXPECT_EQ(Text(actual), Text(expected));
}

void ExpectRows(HGLOBAL mask, const std::vector<std::string>& expected) {
  ASSERT_NE(mask, nullptr);
  const std::vector<std::string> actual = MaskRows(mask);
  EXPECT_EQ(actual, expected) << SideBySide(expected, actual);
}

class SelectionMaskTest : public QvxTest {
 protected:
  // BuildSelectionMask with the ellipse rectangle as a RECT; the mask is
  // freed at the end of the test.
  HGLOBAL Build(BYTE mode, std::vector<POINT>& points, const RECT& r, BOOL inside, WorkRect& rect,
                BOOL pictureSized, std::optional<int> count = {}) {
    return Keep(BuildSelectionMask(mode, points.empty() ? nullptr : points.data(),
                                   count.value_or(static_cast<int>(points.size())), r.left, r.top,
                                   r.right, r.bottom, inside, &rect, pictureSized));
  }

  // The header, colour table and block size of a new w x h selection mask.
  void ExpectMaskPicture(HGLOBAL mask, int w, int h) {
    ASSERT_NE(mask, nullptr);
    const DWORD rowBytes = static_cast<DWORD>((w + 31) / 32 * 4);
    if (HasAccounting()) {
      EXPECT_EQ(GlobalSize(mask), 48 + std::size_t{rowBytes} * h);
    }
    PictureView view(mask);
    const BITMAPINFOHEADER& header = *view.Header();
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, w);
    EXPECT_EQ(header.biHeight, h);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 1);
    EXPECT_EQ(header.biCompression, 0u);
    EXPECT_EQ(header.biSizeImage, rowBytes * h);
    EXPECT_EQ(header.biXPelsPerMeter, 0);
    EXPECT_EQ(header.biYPelsPerMeter, 0);
    EXPECT_EQ(header.biClrUsed, 0u);
    EXPECT_EQ(header.biClrImportant, 0u);
    const RGBQUAD* table = view.Table();
    const BYTE expected[8] = {0, 0, 0, 0, 255, 255, 255, 0};
    EXPECT_EQ(std::memcmp(table, expected, 8), 0) << "colour table must be black, white";
  }
};

// ---- every mode, picture-sized --------------------------------------------

TEST_F(SelectionMaskTest, EveryModeInsideAndOutside) {
  const auto none = [](int, int) { return false; };
  const auto all = [](int, int) { return true; };
  const auto triangle = [](int x, int y) { return kTriangle.Has(x, y); };
  const auto ellipse = [](int x, int y) { return kEllipse.Has(x, y); };
  struct Case {
    const char* name;
    BYTE mode;
    BOOL inside;
    WorkRect rect;
    On on;
  };
  const Case cases[] = {
      {"blank canvas", 0, TRUE, kWhole, none},
      {"mode 0 outside", 0, FALSE, kWhole, all},
      {"whole picture", 1, TRUE, kWhole, all},
      {"whole picture outside", 1, FALSE, kWhole, none},  // inverted twice
      {"triangle inside", 2, TRUE, {1, 1, 7, 7}, triangle},
      {"triangle outside", 2, FALSE, kWhole, [&](int x, int y) { return !triangle(x, y); }},
      // The work rectangle keeps the rectangle's right column and bottom
      // row, which the ellipse itself leaves clear.
      {"ellipse inside", 3, TRUE, {2, 1, 7, 6}, ellipse},
      {"ellipse outside", 3, FALSE, kWhole, [&](int x, int y) { return !ellipse(x, y); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<POINT> points = kTriangle.Vertices();
    WorkRect rect = kWhole;
    HGLOBAL mask = Build(c.mode, points, kEllipse.Rect(), c.inside, rect, TRUE);
    ExpectMaskPicture(mask, kWidth, kHeight);
    ExpectRows(mask, Grid(kWidth, kHeight, c.on));
    ExpectRect(rect, c.rect);
    EXPECT_EQ(points[0].x, 1) << "picture-sized masks leave the vertices alone";
  }
}

TEST_F(SelectionMaskTest, RowsOfThirtyThreeColumnsTakeEightBytes) {
  std::vector<POINT> none;
  WorkRect rect{0, 0, 32, 2};
  ExpectMaskPicture(Build(0, none, {}, TRUE, rect, TRUE), 33, 3);
}

// Inverting works on whole 32-bit words, so the bits past the width are set
// as well; inverting twice clears them again.
TEST_F(SelectionMaskTest, InvertedMasksSetTheRowPadding) {
  std::vector<POINT> none;
  for (const auto& [mode, inside, fill] :
       {std::tuple{BYTE{1}, TRUE, 0xFF}, std::tuple{BYTE{0}, FALSE, 0xFF},
        std::tuple{BYTE{1}, FALSE, 0x00}}) {
    SCOPED_TRACE("mode " + std::to_string(mode) + " inside " + std::to_string(inside));
    WorkRect rect{0, 0, 4, 2};  // 5 x 3: 4 bytes a row, 27 of 32 bits padding
    HGLOBAL mask = Build(mode, none, {}, inside, rect, TRUE);
    ASSERT_NE(mask, nullptr);
    const std::vector<std::uint8_t> bytes = BlockBytes(mask);
    ASSERT_GE(bytes.size(), 48u + 12u);
    for (std::size_t i = 48; i < 48 + 12; ++i) EXPECT_EQ(bytes[i], fill) << "byte " << i;
  }
}

// ---- polygons -------------------------------------------------------------

TEST_F(SelectionMaskTest, PolygonKeepsItsRightAndBottomSides) {
  std::vector<POINT> box = RectanglePolygon(2, 1, 6, 4);
  WorkRect rect = kWhole;
  ExpectRows(Build(2, box, {}, TRUE, rect, TRUE), Grid(kWidth, kHeight, [](int x, int y) {
               return x >= 2 && x <= 6 && y >= 1 && y <= 4;
             }));
  ExpectRect(rect, {2, 1, 6, 4});

  // Two vertices: the segment there and back, so both ends are set.
  std::vector<POINT> segment{{2, 3}, {7, 3}};
  rect = kWhole;
  ExpectRows(Build(2, segment, {}, TRUE, rect, TRUE),
             Grid(kWidth, kHeight, [](int x, int y) { return y == 3 && x >= 2 && x <= 7; }));
  ExpectRect(rect, {2, 3, 7, 3});
}

// A rectangle path gone round k times: the even-odd rule fills it when k is
// odd and leaves only the outline when k is even. 200000 vertices and more
// are drawn quickly.
TEST_F(SelectionMaskTest, ManyVerticesFollowTheEvenOddRule) {
  const auto inBox = [](int x, int y) { return x >= 2 && x <= 6 && y >= 1 && y <= 4; };
  for (const int rounds : {50000, 50001}) {
    SCOPED_TRACE(rounds);
    std::vector<POINT> path;
    const std::vector<POINT> box = RectanglePolygon(2, 1, 6, 4);
    for (int k = 0; k < rounds; ++k) path.insert(path.end(), box.begin(), box.end());
    WorkRect rect = kWhole;
    HGLOBAL mask = Build(2, path, {}, TRUE, rect, TRUE);
    ExpectRect(rect, {2, 1, 6, 4});
    ExpectRows(mask, Grid(kWidth, kHeight, [&](int x, int y) {
                 const bool edge = x == 2 || x == 6 || y == 1 || y == 4;
                 return inBox(x, y) && (rounds % 2 == 1 || edge);
               }));
  }
}

// ---- bounds, clipping and corner-sized masks ----------------------------------

// The incoming work rectangle bounds the result; a picture-sized mask covers
// the bounds and keeps the shape in picture coordinates, a corner-sized one
// covers the narrowed rectangle with the shape moved to its corner.
TEST_F(SelectionMaskTest, WorkRectIsClippedToTheIncomingBounds) {
  const WorkRect bounds{3, 2, 8, 6};
  std::vector<POINT> points = kTriangle.Vertices();
  WorkRect rect = bounds;
  HGLOBAL mask = Build(2, points, {}, TRUE, rect, TRUE);
  ExpectRect(rect, {3, 2, 7, 6});
  ExpectMaskPicture(mask, 6, 5);
  ExpectRows(mask, Grid(6, 5, [](int x, int y) { return kTriangle.Has(x, y); }));
  EXPECT_EQ(Text(points), Text(kTriangle.Vertices()));

  rect = bounds;
  mask = Build(2, points, {}, TRUE, rect, FALSE);
  ExpectRect(rect, {3, 2, 7, 6});
  ExpectMaskPicture(mask, 5, 5);
  ExpectRows(mask, Grid(5, 5, [](int x, int y) { return kTriangle.Has(x + 3, y + 2); }));
  EXPECT_EQ(Text(points), Text((std::vector<POINT>{{-2, -1}, {4, -1}, {-2, 5}})));
}

// A polygon crossing the left edge: mask column 0 is picture column 0, and
// the part inside the picture is drawn at its true place.
TEST_F(SelectionMaskTest, CornerSizedMaskOfAPolygonCrossingTheLeftEdge) {
  const Staircase crossing{-3, 1, 6};
  std::vector<POINT> points = crossing.Vertices();
  WorkRect rect = kWhole;
  HGLOBAL mask = Build(2, points, {}, TRUE, rect, FALSE);
  ExpectRect(rect, {0, 1, 3, 7});
  ExpectMaskPicture(mask, 4, 7);
  ExpectRows(mask, {"####", "###.", "##..", "#...", "....", "....", "...."});
  EXPECT_EQ(Text(points), Text((std::vector<POINT>{{-3, 0}, {3, 0}, {-3, 6}})));
}

TEST_F(SelectionMaskTest, CornerSizedMasksOfShapesInside) {
  std::vector<POINT> points = Staircase{4, 2, 4}.Vertices();
  WorkRect rect = kWhole;
  HGLOBAL mask = Build(2, points, {}, TRUE, rect, FALSE);
  ExpectRect(rect, {4, 2, 8, 6});
  ExpectRows(mask, {"#####", "####.", "###..", "##...", "#...."});
  EXPECT_EQ(Text(points), Text((std::vector<POINT>{{0, 0}, {4, 0}, {0, 4}})));

  std::vector<POINT> none;
  rect = kWhole;
  mask = Build(3, none, FiveByFiveEllipse{3, 2}.Rect(), TRUE, rect, FALSE);
  ExpectRect(rect, {3, 2, 8, 7});
  ExpectRows(mask, {".###..", "#####.", "#####.", "#####.", ".###..", "......"});

  // Across the top-left corner: only the part in the picture, in place.
  rect = kWhole;
  mask = Build(3, none, FiveByFiveEllipse{-2, -2}.Rect(), TRUE, rect, FALSE);
  ExpectRect(rect, {0, 0, 3, 3});
  ExpectRows(mask, {"###.", "###.", "##..", "...."});
}

// Outside selections keep the bounds as the work rectangle; a corner-sized
// mask then moves the shape by the bounds' corner.
TEST_F(SelectionMaskTest, CornerSizedMasksOutside) {
  const WorkRect bounds{3, 2, 8, 6};
  std::vector<POINT> points = kTriangle.Vertices();
  WorkRect rect = bounds;
  HGLOBAL mask = Build(2, points, {}, FALSE, rect, FALSE);
  ExpectRect(rect, bounds);
  ExpectRows(mask, Grid(6, 5, [](int x, int y) { return !kTriangle.Has(x + 3, y + 2); }));
  EXPECT_EQ(Text(points), Text((std::vector<POINT>{{-2, -1}, {4, -1}, {-2, 5}})));

  std::vector<POINT> none;
  rect = bounds;
  mask = Build(3, none, kEllipse.Rect(), FALSE, rect, FALSE);
  ExpectRect(rect, bounds);
  ExpectRows(mask, Grid(6, 5, [](int x, int y) { return !kEllipse.Has(x + 3, y + 2); }));
}

// Shapes outside the picture leave an empty work rectangle; the mask still
// has |right - left| + 1 columns, and the shape is drawn relative to the
// (unclipped) corner.
TEST_F(SelectionMaskTest, EmptyWorkRectangles) {
  const Staircase away{20, 2, 4};
  std::vector<POINT> points = away.Vertices();
  WorkRect rect = kWhole;
  HGLOBAL mask = Build(2, points, {}, TRUE, rect, TRUE);
  ExpectRect(rect, {20, 2, 9, 6});
  EXPECT_TRUE(rect.Empty());
  ExpectRows(mask, Grid(kWidth, kHeight, [](int, int) { return false; }));

  rect = kWhole;
  points = away.Vertices();
  mask = Build(2, points, {}, TRUE, rect, FALSE);
  ExpectMaskPicture(mask, 12, 5);
  ExpectRows(mask, Grid(12, 5, [](int x, int y) { return Staircase{0, 0, 4}.Has(x, y); }));

  // An ellipse rectangle given right to left: empty work rectangle, while
  // the drawing orders the rectangle first.
  std::vector<POINT> none;
  rect = kWhole;
  mask = Build(3, none, {7, 1, 2, 6}, TRUE, rect, TRUE);
  ExpectRect(rect, {7, 1, 2, 6});
  EXPECT_TRUE(rect.Empty());
  ExpectRows(mask, Grid(kWidth, kHeight, [](int x, int y) { return kEllipse.Has(x, y); }));
  rect = kWhole;
  mask = Build(3, none, {2, 6, 7, 1}, TRUE, rect, TRUE);
  ExpectRect(rect, {2, 6, 7, 1});
  EXPECT_TRUE(rect.Empty());

  // Corner-sized, the reversed ellipse moves to columns -5..-1: nothing.
  rect = kWhole;
  mask = Build(3, none, {7, 1, 2, 6}, TRUE, rect, FALSE);
  ExpectMaskPicture(mask, 6, 6);
  ExpectRows(mask, Grid(6, 6, [](int, int) { return false; }));
}

// ---- refused shapes ---------------------------------------------------------

TEST_F(SelectionMaskTest, RefusedShapes) {
  const WorkRect bounds{3, 2, 8, 6};
  const auto expectRefused = [&](BYTE mode, std::vector<POINT> points, int count, RECT r,
                                 BOOL inside, BOOL pictureSized, int code) {
    SCOPED_TRACE("mode " + std::to_string(mode) + " count " + std::to_string(count) + " inside " +
                 std::to_string(inside) + " pictureSized " + std::to_string(pictureSized));
    const std::vector<POINT> before = points;
    WorkRect rect = bounds;
    SetErrorStatus(0);
    EXPECT_EQ(Build(mode, points, r, inside, rect, pictureSized, count), nullptr);
    EXPECT_EQ(GetErrorStatus(), code);
    ExpectRect(rect, bounds);
    // Refused shapes are refused before anything moves; a polygon that
    // cannot be drawn has had its vertices moved to the corner first.
    std::vector<POINT> moved = before;
    if (code == kErrorCannotDo && !pictureSized && !moved.empty())
      for (int i = 0; i < count; ++i)
        moved[i] = {moved[i].x - bounds.left, moved[i].y - bounds.top};
    EXPECT_EQ(Text(points), Text(moved));
  };
  const std::vector<POINT> three = kTriangle.Vertices();
  for (const BOOL pictureSized : {TRUE, FALSE}) {
    // Fewer than two vertices: refused when inside; outside, the polygon
    // cannot be drawn.
    for (const int count : {1, 0, -1, INT_MIN}) {
      expectRefused(2, three, count, {}, TRUE, pictureSized, kErrorBadParameter);
      expectRefused(2, three, count, {}, FALSE, pictureSized, kErrorCannotDo);
      expectRefused(2, {}, count, {}, FALSE, pictureSized, kErrorCannotDo);
    }
    // No vertex array: refused whatever `inside`.
    for (const int count : {2, 3, INT_MAX}) {
      for (const BOOL inside : {TRUE, FALSE})
        expectRefused(2, {}, count, {}, inside, pictureSized, kErrorBadParameter);
    }
    // Ellipses of no width or height, inside.
    for (const RECT r : {RECT{4, 1, 4, 6}, RECT{2, 5, 7, 5}, RECT{0, 0, 0, 0}})
      expectRefused(3, {}, 0, r, TRUE, pictureSized, kErrorBadParameter);
  }

  // Outside, a flat ellipse is not checked: nothing is drawn and the whole
  // mask is selected.
  for (const RECT r : {RECT{4, 1, 4, 6}, RECT{0, 0, 0, 0}}) {
    std::vector<POINT> none;
    WorkRect rect = kWhole;
    ExpectRows(Build(3, none, r, FALSE, rect, TRUE),
               Grid(kWidth, kHeight, [](int, int) { return true; }));
  }
}

// ---- the ends of the coordinate range ---------------------------------------

TEST_F(SelectionMaskTest, CoordinatesAtTheEndsOfTheRange) {
  const auto all = Grid(kWidth, kHeight, [](int, int) { return true; });
  std::vector<POINT> none;
  for (const int far : {100000, INT_MAX}) {
    SCOPED_TRACE(far);
    const int near = far == INT_MAX ? INT_MIN : -far;
    std::vector<POINT> huge = RectanglePolygon(near, near, far, far);
    WorkRect rect = kWhole;
    ExpectRows(Build(2, huge, {}, TRUE, rect, TRUE), all);
    ExpectRect(rect, kWhole);
    rect = kWhole;
    ExpectRows(Build(2, huge, {}, TRUE, rect, FALSE), all);  // corner (0, 0): nothing moves
    EXPECT_EQ(Text(huge), Text(RectanglePolygon(near, near, far, far)));
    rect = kWhole;
    ExpectRows(Build(2, huge, {}, FALSE, rect, TRUE),
               Grid(kWidth, kHeight, [](int, int) { return false; }));

    // The picture lies near the centre of the ellipse.
    rect = kWhole;
    ExpectRows(Build(3, none, {near, near, far, far}, TRUE, rect, TRUE), all);
    ExpectRect(rect, kWhole);
  }

  // Reversed over the whole range: empty work rectangle; picture-sized, the
  // ordered ellipse is drawn; corner-sized, 2^32 columns cannot be had.
  std::vector<POINT> none2;
  WorkRect rect = kWhole;
  ExpectRows(Build(3, none2, {INT_MAX, INT_MAX, INT_MIN, INT_MIN}, TRUE, rect, TRUE), all);
  EXPECT_TRUE(rect.Empty());
  rect = kWhole;
  SetErrorStatus(0);
  EXPECT_EQ(Build(3, none2, {INT_MAX, INT_MAX, INT_MIN, INT_MIN}, TRUE, rect, FALSE), nullptr);
  EXPECT_EQ(GetErrorStatus(), kErrorNoMemory);

  // Far outside at the end of the range.
  std::vector<POINT> corner = Staircase{INT_MAX - 4, INT_MAX - 4, 4}.Vertices();
  rect = kWhole;
  ExpectRows(Build(2, corner, {}, TRUE, rect, TRUE),
             Grid(kWidth, kHeight, [](int, int) { return false; }));
  EXPECT_TRUE(rect.Empty());

  // Moving vertices by the corner is done in 32 bits, as the caller's
  // coordinates are; it succeeds and stays clean.
  std::vector<POINT> wide = RectanglePolygon(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  rect = {3, 2, 8, 6};
  EXPECT_NE(Build(2, wide, {}, TRUE, rect, FALSE), nullptr);
  ExpectRect(rect, {3, 2, 8, 6});
  EXPECT_EQ(wide[0].x, INT_MAX - 2);  // INT_MIN - 3, wrapped
  EXPECT_EQ(wide[0].y, INT_MAX - 1);  // INT_MIN - 2, wrapped
  EXPECT_EQ(wide[2].x, INT_MAX - 3);
}

// ---- ellipse properties -------------------------------------------------------

// An ellipse inscribed in a W x H rectangle lies in its first W columns and
// H rows, mirror-symmetric both ways, reaching its first and last columns,
// with every row one run; 1 x 1 draws nothing, 2 or less across fills the
// rectangle. The rectangle given in either order draws the same.
TEST_F(SelectionMaskTest, EllipseInscribedInARectangleIsSymmetric) {
  std::mt19937 rng(20240603);
  std::vector<POINT> none;
  for (int trial = 0; trial < 300; ++trial) {
    const int w = 1 + static_cast<int>(rng() % 24);
    const int h = 1 + static_cast<int>(rng() % 24);
    const int left = static_cast<int>(rng() % 10);
    const int top = static_cast<int>(rng() % 10);
    const RECT r{left, top, left + w, top + h};
    SCOPED_TRACE("ellipse " + std::to_string(w) + " x " + std::to_string(h) + " at " +
                 std::to_string(left) + ", " + std::to_string(top));
    WorkRect rect{0, 0, 39, 39};
    HGLOBAL mask = Build(3, none, r, TRUE, rect, FALSE);
    ASSERT_NE(mask, nullptr);
    ExpectRect(rect, {left, top, left + w, top + h});
    const std::vector<std::string> rows = MaskRows(mask);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(h + 1));
    ASSERT_EQ(rows[0].size(), static_cast<std::size_t>(w + 1));
    const auto at = [&](int x, int y) { return rows[y][x] == '#'; };
    for (int x = 0; x <= w; ++x) EXPECT_FALSE(at(x, h)) << "bottom row at " << x;
    for (int y = 0; y <= h; ++y) EXPECT_FALSE(at(w, y)) << "right column at " << y;
    if (w == 1 && h == 1) {
      EXPECT_FALSE(at(0, 0)) << "a 1 x 1 ellipse draws nothing";
      continue;
    }
    bool first = false, last = false;
    for (int y = 0; y < h; ++y) {
      int runs = 0;
      for (int x = 0; x < w; ++x) {
        EXPECT_EQ(at(x, y), at(w - 1 - x, y)) << "left-right mirror at " << x << ", " << y;
        EXPECT_EQ(at(x, y), at(x, h - 1 - y)) << "top-bottom mirror at " << x << ", " << y;
        if (w <= 2 || h <= 2) {
          EXPECT_TRUE(at(x, y)) << "thin ellipses fill the rectangle";
        }
        if (at(x, y) && (x == 0 || !at(x - 1, y))) ++runs;
      }
      EXPECT_LE(runs, 1) << "row " << y;
      first = first || at(0, y);
      last = last || at(w - 1, y);
    }
    EXPECT_TRUE(first && last) << "reaches the first and last columns";

    // The same rectangle the other way round, picture-sized.
    WorkRect whole{0, 0, 39, 39};
    const std::vector<std::string> ordered = MaskRows(Build(3, none, r, TRUE, whole, TRUE));
    whole = {0, 0, 39, 39};
    const std::vector<std::string> reversed =
        MaskRows(Build(3, none, {r.right, r.bottom, r.left, r.top}, TRUE, whole, TRUE));
    EXPECT_EQ(ordered, reversed) << SideBySide(ordered, reversed);
  }
}

// ---- inverting and drawing directly --------------------------------------------

TEST_F(SelectionMaskTest, InvertingTwiceIsTheIdentity) {
  std::mt19937 rng(7);
  std::vector<POINT> none;
  for (const int w : {1, 5, 31, 32, 33, 64, 65, 100}) {
    for (const int h : {1, 3}) {
      SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
      WorkRect rect{0, 0, w - 1, h - 1};
      HGLOBAL mask = Build(0, none, {}, TRUE, rect, TRUE);
      ASSERT_NE(mask, nullptr);
      const DWORD rowBytes = static_cast<DWORD>((w + 31) / 32 * 4);
      {
        auto* data = static_cast<BYTE*>(GlobalLock(mask));
        for (DWORD i = 0; i < rowBytes * h; ++i) data[48 + i] = static_cast<BYTE>(rng());
        GlobalUnlock(mask);
      }
      const std::vector<std::uint8_t> before = BlockBytes(mask);
      ASSERT_TRUE(InvertMonoDib(mask, rowBytes));
      const std::vector<std::uint8_t> once = BlockBytes(mask);
      ASSERT_EQ(once.size(), before.size());
      for (std::size_t i = 0; i < before.size(); ++i) {
        // Header and table stay; every row byte, padding included, flips.
        const std::uint8_t want = i < 48 ? before[i] : static_cast<std::uint8_t>(~before[i]);
        ASSERT_EQ(once[i], want) << "byte " << i;
      }
      ASSERT_TRUE(InvertMonoDib(mask, rowBytes));
      EXPECT_EQ(BlockBytes(mask), before);
    }
  }
}

TEST_F(SelectionMaskTest, DrawingStepsThatCannotLockOrDraw) {
  std::vector<POINT> none;
  WorkRect rect = kWhole;
  HGLOBAL mask = Build(0, none, {}, TRUE, rect, TRUE);
  ASSERT_NE(mask, nullptr);
  const std::vector<std::uint8_t> blank = BlockBytes(mask);
  const std::vector<POINT> triangle = kTriangle.Vertices();
  const RECT e = kEllipse.Rect();
  const std::function<BOOL(HGLOBAL)> steps[] = {
      [](HGLOBAL m) { return InvertMonoDib(m, 4); },
      [&](HGLOBAL m) { return DrawPolygonMask(m, triangle.data(), 3); },
      [&](HGLOBAL m) { return DrawEllipseMask(m, e.left, e.top, e.right, e.bottom); },
  };
#if !defined(_WIN32)
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    SetErrorStatus(0);
    QvxMemFailLockAt(1);
    EXPECT_FALSE(steps[i](mask));
    QvxMemFailLockAt(0);
    EXPECT_EQ(GetErrorStatus(), kErrorNoMemory);
    EXPECT_EQ(BlockBytes(mask), blank);
  }
#endif

  // A picture that is not 1-bit gives the shapes no surface to draw on.
  HGLOBAL grey = Keep(MakePicture(Layout::kGrey8, kWidth, kHeight, 3));
  const std::vector<std::uint8_t> pixels = BlockBytes(grey);
  for (std::size_t i = 1; i < std::size(steps); ++i) {
    SetErrorStatus(0);
    EXPECT_FALSE(steps[i](grey));
    EXPECT_EQ(GetErrorStatus(), kErrorTextNotRendered);
    EXPECT_EQ(BlockBytes(grey), pixels);
  }
}

// ---- failure injection ------------------------------------------------------------

TEST_F(SelectionMaskTest, CleanUnderAllocationAndLockFailures) {
  for (const BYTE mode : {0, 1, 2, 3}) {
    for (const BOOL inside : {TRUE, FALSE}) {
      for (const BOOL pictureSized : {TRUE, FALSE}) {
        SCOPED_TRACE("mode " + std::to_string(mode) + " inside " + std::to_string(inside) +
                     " pictureSized " + std::to_string(pictureSized));
        const RECT e = kEllipse.Rect();
        const auto call = [&]() -> HGLOBAL {
          std::vector<POINT> points = Staircase{-3, 1, 6}.Vertices();
          WorkRect rect = kWhole;
          return BuildSelectionMask(mode, points.data(), 3, e.left, e.top, e.right, e.bottom,
                                    inside, &rect, pictureSized);
        };
        // Only drawing and inverting report 2 (after the lock's 3).
        if (mode == 0 && inside)
          ExpectCleanFailures(call, {kErrorNoMemory});
        else
          ExpectCleanFailures(call, {kErrorNoMemory, kErrorCannotDo});
      }
    }
  }
}

}  // namespace
}  // namespace qvx::test
