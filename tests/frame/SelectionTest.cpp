// Selections: the masks built from shapes (BuildSelectionMask) and the
// set-up every effect worker runs on top of them (Selection::Begin). Masks
// are worked out by hand from GDI's drawing rules:
//  - the right triangle (a, b), (a + n, b), (a, b + n): the even-odd fill of
//    row y covers a <= x < a + n - (y - b), the outline adds the hypotenuse
//    and the top and left edges; so row y, b <= y <= b + n, holds exactly
//    a <= x <= a + n - (y - b);
//  - the ellipse in a 5 x 5 box: the quarter stepping with A = B = 4 gives
//    the boundary points (4, 2), (4, 3), (3, 4), (2, 4); mirrored, rows 1..3
//    span columns 0..4, rows 0 and 4 columns 1..3; the box's right column and
//    bottom row stay clear; the rectangle in any order draws the same;
//  - the polygon (l, t), (r, t), (r, b), (l, b) covers l..r by t..b.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "frame/ErrorCodes.h"
#include "frame/Selection.h"
#include "platform/MaskRasterPicture.h"
#include "support/Fixture.h"
#include "support/Pictures.h"
#include "tone/ToneEffects.h"
#include "tone/ToneModel.h"

namespace qvx::test {
namespace {

using On = std::function<bool(int, int)>;
using Rows = std::vector<std::string>;

// The picture most selection tests work on: 10 x 8.
constexpr int kWidth = 10, kHeight = 8;
constexpr WorkRect kWhole{0, 0, kWidth - 1, kHeight - 1};
constexpr WorkRect kBounds{3, 2, 8, 6};

// Rows of a w x h grid from the top, '#' where on(x, y) holds.
Rows Grid(int w, int h, const On& on) {
  Rows rows(h, std::string(w, '.'));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (on(x, y)) rows[y][x] = '#';
  return rows;
}
Rows Picture(const On& on) { return Grid(kWidth, kHeight, on); }

// The rows of a 1-bit picture, '#' for bit 1, read straight from its bytes.
Rows MaskRows(HGLOBAL mask) {
  PictureView view(mask);
  return Grid(view.Width(), view.Height(),
              [&](int x, int y) { return ((view.Row(y)[x >> 3] >> (7 - (x & 7))) & 1) != 0; });
}

std::vector<POINT> Triangle(int a, int b, int n) { return {{a, b}, {a + n, b}, {a, b + n}}; }
On InTriangle(int a, int b, int n) {
  return [=](int x, int y) { return y >= b && y <= b + n && x >= a && x <= a + n - (y - b); };
}
RECT Ellipse(int left, int top) { return {left, top, left + 5, top + 5}; }
On InEllipse(int left, int top) {
  return [=](int x, int y) {
    const int u = x - left, v = y - top;
    return v >= 0 && v <= 4 && ((v == 0 || v == 4) ? (u >= 1 && u <= 3) : (u >= 0 && u <= 4));
  };
}
std::vector<POINT> Box(int l, int t, int r, int b) { return {{l, t}, {r, t}, {r, b}, {l, b}}; }
On Not(On on) { return [on](int x, int y) { return !on(x, y); }; }
const On kAll = [](int, int) { return true; };
const On kNone = Not(kAll);
const std::vector<POINT> kTriangle = Triangle(1, 1, 6);  // bounding box (1, 1, 7, 7)
const On kInTriangle = InTriangle(1, 1, 6);
const RECT kEllipse = Ellipse(2, 1);
const On kInEllipse = InEllipse(2, 1);

std::string Text(const std::vector<POINT>& points) {
  std::ostringstream text;
  for (const POINT& p : points) text << "(" << p.x << ", " << p.y << ") ";
  return text.str();
}
std::string Text(const WorkRect& r) { return Text({{r.left, r.top}, {r.right, r.bottom}}); }

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

  // A new selection mask: its header, colour table (black, white), block
  // size and rows.
  void ExpectMask(HGLOBAL mask, const Rows& rows) {
    ASSERT_NE(mask, nullptr);
    const int w = static_cast<int>(rows[0].size()), h = static_cast<int>(rows.size());
    const DWORD rowBytes = static_cast<DWORD>((w + 31) / 32 * 4);
    const std::vector<std::uint8_t> bytes = BlockBytes(mask);
    if (HasAccounting()) {
      EXPECT_EQ(bytes.size(), 48 + std::size_t{rowBytes} * h);
    }
    const BITMAPINFOHEADER header{40, w, h, 1, 1, BI_RGB, rowBytes * h, 0, 0, 0, 0};
    const BYTE table[8] = {0, 0, 0, 0, 255, 255, 255, 0};
    EXPECT_TRUE(!std::memcmp(bytes.data(), &header, 40) && !std::memcmp(&bytes[40], table, 8))
        << "header or table of a " << w << " x " << h << " mask";
    const Rows actual = MaskRows(mask);
    EXPECT_EQ(actual, rows) << SideBySide(rows, actual);
  }
};

WorkRect Work(int l, int t, int r, int b) { return {l, t, r, b}; }

TEST_F(SelectionMaskTest, WorkRectanglesAndMasks) {
  struct Case {
    const char* name;
    BYTE mode;
    std::vector<POINT> points;  // mode 2
    RECT ellipse;               // mode 3
    BOOL inside, pictureSized;
    WorkRect bounds, rect;          // the incoming work rectangle, and the one expected back
    Rows rows;                      // the expected mask
    std::vector<POINT> moved = {};  // the vertices expected afterwards; empty: unchanged
  };
  const std::vector<POINT> tri = kTriangle, huge = Box(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  const RECT e = kEllipse, reversed = {7, 1, 2, 6}, none = {};
  const std::vector<POINT> triMoved = Triangle(-2, -1, 6);  // by kBounds' corner
  const std::vector<POINT> segment = {{2, 3}, {7, 3}};
  const WorkRect w = kWhole, b = kBounds;
  const Case cases[] = {
      // Shapes on the whole picture; picture-sized masks leave the vertices alone.
      {"mode 1: the whole picture", 1, tri, e, TRUE, TRUE, w, w, Picture(kAll)},
      {"mode 1 outside: nothing", 1, tri, e, FALSE, TRUE, w, w, Picture(kNone)},
      {"mode 0 outside: the whole picture", 0, tri, e, FALSE, FALSE, b, b, Grid(6, 5, kAll)},
      {"triangle", 2, tri, e, TRUE, TRUE, w, Work(1, 1, 7, 7), Picture(kInTriangle)},
      {"triangle outside", 2, tri, e, FALSE, TRUE, w, w, Picture(Not(kInTriangle))},
      // The work rectangle keeps the rectangle's right column and bottom row.
      {"ellipse", 3, tri, e, TRUE, TRUE, w, Work(2, 1, 7, 6), Picture(kInEllipse)},
      // Outside, a flat ellipse is not checked: nothing is drawn.
      {"flat ellipse outside", 3, tri, RECT{4, 1, 4, 6}, FALSE, TRUE, w, w, Picture(kAll)},
      {"two vertices: there and back, both ends set", 2, segment, none, TRUE, TRUE, w,
       Work(2, 3, 7, 3), Picture([](int x, int y) { return y == 3 && x >= 2 && x <= 7; })},
      // The incoming rectangle bounds the result. Picture-sized masks cover
      // the bounds with the shape in place; corner-sized ones cover the
      // narrowed rectangle with the shape (and the caller's vertices) moved
      // to its corner.
      {"clipped to the bounds", 2, tri, none, TRUE, TRUE, b, Work(3, 2, 7, 6),
       Grid(6, 5, kInTriangle)},
      {"clipped, corner-sized", 2, tri, none, TRUE, FALSE, b, Work(3, 2, 7, 6),
       Grid(5, 5, InTriangle(-2, -1, 6)), triMoved},
      {"over the left edge: mask column 0 is picture column 0", 2, Triangle(-3, 1, 6), none, TRUE,
       FALSE, w, Work(0, 1, 3, 7), Rows{"####", "###.", "##..", "#...", "....", "....", "...."},
       Triangle(-3, 0, 6)},
      {"ellipse over the top-left corner, corner-sized", 3, tri, Ellipse(-2, -2), TRUE, FALSE, w,
       Work(0, 0, 3, 3), Rows{"###.", "###.", "##..", "...."}},
      // Outside selections keep the bounds, and move by the bounds' corner.
      {"triangle outside, corner-sized", 2, tri, none, FALSE, FALSE, b, b,
       Grid(6, 5, Not(InTriangle(-2, -1, 6))), triMoved},
      {"ellipse outside, corner-sized", 3, tri, e, FALSE, FALSE, b, b,
       Grid(6, 5, Not(InEllipse(-1, -1)))},
      // Shapes off the picture leave an empty work rectangle; the mask still
      // has |right - left| + 1 columns, the shape drawn relative to the
      // (unclipped) corner.
      {"right of the picture, corner-sized", 2, Triangle(20, 2, 4), none, TRUE, FALSE, w,
       Work(20, 2, 9, 6), Grid(12, 5, InTriangle(0, 0, 4)), Triangle(0, 0, 4)},
      {"ellipse right to left: drawn ordered", 3, tri, reversed, TRUE, TRUE, w, Work(7, 1, 2, 6),
       Picture(kInEllipse)},
      // The ends of the coordinate range.
      {"polygon over the whole range", 2, huge, none, TRUE, TRUE, w, w, Picture(kAll)},
      {"ellipse over the whole range reversed", 3, tri, RECT{INT_MAX, INT_MAX, INT_MIN, INT_MIN},
       TRUE, TRUE, w, Work(INT_MAX, INT_MAX, INT_MIN, INT_MIN), Picture(kAll)},
      // Vertices move by the corner in 32 bits, as the caller's coordinates
      // are: INT_MIN - 3 wraps to INT_MAX - 2, leaving nothing to draw.
      {"polygon over the whole range, moved by (3, 2)", 2, huge, none, TRUE, FALSE, b, b,
       Grid(6, 5, kNone), Box(INT_MAX - 2, INT_MAX - 1, INT_MAX - 3, INT_MAX - 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<POINT> points = c.points;
    WorkRect rect = c.bounds;
    HGLOBAL mask = Build(c.mode, points, c.ellipse, c.inside, rect, c.pictureSized);
    ExpectMask(mask, c.rows);
    EXPECT_EQ(Text(rect), Text(c.rect));
    EXPECT_EQ(Text(points), Text(c.moved.empty() ? c.points : c.moved));
  }
}

TEST_F(SelectionMaskTest, RefusedShapes) {
  const auto expectRefused = [&](BYTE mode, std::vector<POINT> points, int count, RECT r,
                                 BOOL inside, BOOL pictureSized, int code) {
    SCOPED_TRACE(testing::Message() << "mode " << int{mode} << " count " << count << " inside "
                                    << inside << " pictureSized " << pictureSized);
    std::vector<POINT> moved = points;
    WorkRect rect = kBounds;
    SetErrorStatus(0);
    EXPECT_EQ(Build(mode, points, r, inside, rect, pictureSized, count), nullptr);
    EXPECT_EQ(GetErrorStatus(), code);
    // Refused shapes are refused before anything moves; a polygon that
    // cannot be drawn has had its vertices moved to the corner first.
    if (code == kErrorCannotDo && !pictureSized)
      for (int i = 0; i < count && i < static_cast<int>(moved.size()); ++i)
        moved[i] = {moved[i].x - kBounds.left, moved[i].y - kBounds.top};
    EXPECT_EQ(Text(points), Text(moved));
    if (code != kErrorNoMemory) {
      EXPECT_EQ(Text(rect), Text(kBounds));
    }
  };
  for (const BOOL pictureSized : {TRUE, FALSE}) {
    // Fewer than two vertices: refused inside; outside they cannot be drawn.
    for (const int count : {1, 0, -1, INT_MIN}) {
      expectRefused(2, kTriangle, count, {}, TRUE, pictureSized, kErrorBadParameter);
      expectRefused(2, kTriangle, count, {}, FALSE, pictureSized, kErrorCannotDo);
      expectRefused(2, {}, count, {}, FALSE, pictureSized, kErrorCannotDo);
    }
    // No vertex array: refused whatever `inside`.
    for (const int count : {2, 3, INT_MAX})
      for (const BOOL inside : {TRUE, FALSE})
        expectRefused(2, {}, count, {}, inside, pictureSized, kErrorBadParameter);
    // Ellipses of no width or height, inside.
    for (const RECT r : {RECT{4, 1, 4, 6}, RECT{2, 5, 7, 5}, RECT{0, 0, 0, 0}})
      expectRefused(3, {}, 0, r, TRUE, pictureSized, kErrorBadParameter);
  }
  // Corner-sized over the whole range reversed: 2^32 columns cannot be had
  // (the work rectangle is narrowed by then).
  expectRefused(3, {}, 0, {INT_MAX, INT_MAX, INT_MIN, INT_MIN}, TRUE, FALSE, kErrorNoMemory);
  // Shapes are drawn only into 1-bit pictures: 9 elsewhere, nothing changed.
  HGLOBAL grey = Keep(MakePicture(Layout::kGrey8, kWidth, kHeight, 3));
  const std::vector<std::uint8_t> before = BlockBytes(grey);
  for (const bool ellipse : {false, true}) {
    SetErrorStatus(0);
    EXPECT_FALSE(ellipse ? DrawEllipseMask(grey, 2, 1, 7, 6)
                         : DrawPolygonMask(grey, kTriangle.data(), 3));
    EXPECT_EQ(GetErrorStatus(), kErrorTextNotRendered);
  }
  EXPECT_EQ(BlockBytes(grey), before);
}

// A rectangle path gone round k times: the even-odd rule fills it when k is
// odd and leaves only the outline when k is even. 200000 vertices and more
// are drawn quickly.
TEST_F(SelectionMaskTest, ManyVerticesFollowTheEvenOddRule) {
  for (const int rounds : {50000, 50001}) {
    SCOPED_TRACE(rounds);
    std::vector<POINT> path;
    const std::vector<POINT> box = Box(2, 1, 6, 4);
    for (int k = 0; k < rounds; ++k) path.insert(path.end(), box.begin(), box.end());
    WorkRect rect = kWhole;
    HGLOBAL mask = Build(2, path, {}, TRUE, rect, TRUE);
    ExpectMask(mask, Picture([&](int x, int y) {
                 const bool edge = x == 2 || x == 6 || y == 1 || y == 4;
                 return x >= 2 && x <= 6 && y >= 1 && y <= 4 && (rounds % 2 == 1 || edge);
               }));
    EXPECT_EQ(Text(rect), Text({2, 1, 6, 4}));
  }
}

SelectionArgs Args(HGLOBAL picture, int mode, POINT* points = nullptr, int count = 0,
                   RECT rect = {}, BOOL inside = TRUE, HGLOBAL mask = nullptr) {
  return SelectionArgs{picture, mask, static_cast<BYTE>(mode), points, count, rect, inside};
}

class SelectionSetupTest : public QvxTest {};

TEST_F(SelectionSetupTest, RefusalsComeInOrder) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, kWidth, kHeight, 11));
  const auto expectRefused = [](const SelectionArgs& args, int code, unsigned depth = kDepthAll) {
    SetErrorStatus(0);
    Selection s;
    EXPECT_FALSE(s.Begin(args, depth));
    EXPECT_EQ(GetErrorStatus(), code);
  };
  // Modes above 3 are refused before anything is locked, even without a picture.
  for (const int mode : {4, 5, 128, 255}) {
    const long locks = QvxMemLockCalls();
    expectRefused(Args(picture, mode), kErrorBadParameter);
    expectRefused(Args(nullptr, mode), kErrorBadParameter);
    EXPECT_EQ(QvxMemLockCalls(), locks) << "mode " << mode << ": something was locked";
  }
  // Then the source: a refused shape on an unusable picture gives the picture's code.
  HGLOBAL palette = Keep(MakePicture(Layout::kPalette8, kWidth, kHeight, 2));
  expectRefused(Args(nullptr, 1), kErrorBadPicture);
  expectRefused(Args(palette, 1), kErrorBadPicture, kDepthTrue);
  expectRefused(Args(nullptr, 2, nullptr, 5), kErrorBadPicture);
  expectRefused(Args(palette, 3), kErrorBadPicture, kDepthTrue);
  // Caller masks that are missing, not 1-bit or not the picture's size (the
  // fixture checks that none is left locked or freed).
  for (HGLOBAL mask : {HGLOBAL{}, palette, Keep(MakePicture(Layout::kRgb24, kWidth, kHeight, 4)),
                       Keep(MakeMask(Rows(kHeight, std::string(kWidth - 1, '#')))),
                       Keep(MakeMask(Rows(kHeight - 1, std::string(kWidth, '#'))))})
    expectRefused(Args(picture, 0, nullptr, 0, {}, TRUE, mask), kErrorBadPicture);
  // Shapes the mask builder cannot draw.
  std::vector<POINT> points = kTriangle;
  expectRefused(Args(picture, 2, points.data(), 1, {}, FALSE), kErrorCannotDo);
}

// A worker: every selected pixel of the work rectangle reversed.
HGLOBAL Reverse(const SelectionArgs& args) { return RunRGBRev(args, TRUE, TRUE, TRUE, TRUE); }

// Every mode and side, through the mask builder (picture- and corner-sized)
// and through a worker, cleans up after failures. The worker changes only
// the pixels the caller's mask selects (mode 0, whatever the shape
// arguments and side), all of them (mode 1, whatever the mask), or those
// the picture-sized mask of the shape selects; the caller's mask and
// vertices are left as they were.
TEST_F(SelectionSetupTest, WorkersChangeOnlySelectedPixelsAndCleanUp) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, kWidth, kHeight, 11));
  HGLOBAL mask = Keep(MakeMask(Picture([](int x, int y) { return x > y; })));
  const std::vector<std::uint8_t> maskBytes = BlockBytes(mask);
  const std::vector<POINT> triangle = Triangle(-3, 1, 6);
  const RECT& e = kEllipse;
  for (const BYTE mode : {0, 1, 2, 3})
    for (const BOOL inside : {TRUE, FALSE}) {
      SCOPED_TRACE(testing::Message() << "mode " << int{mode} << " inside " << inside);
      std::vector<POINT> points = triangle;
      const auto build = [&](BOOL pictureSized) {
        std::vector<POINT> moved = triangle;
        WorkRect rect = kWhole;
        return BuildSelectionMask(mode, moved.data(), 3, e.left, e.top, e.right, e.bottom, inside,
                                  &rect, pictureSized);
      };
      const auto work = [&] {
        return Reverse(Args(picture, mode, points.data(), 3, e, inside, mask));
      };
      // Only drawing and inverting report 2 (after the lock's 3).
      for (const PictureCall& call : {PictureCall([&] { return build(FALSE); }), PictureCall(work)})
        if (mode == 0 && inside)
          ExpectCleanFailures(call, {kErrorNoMemory});
        else
          ExpectCleanFailures(call, {kErrorNoMemory, kErrorCannotDo});
      HGLOBAL shape = Keep(build(TRUE)), result = Keep(work());
      ASSERT_TRUE(shape && result);
      const Selected bits = MaskSelection(mode == 0 ? mask : shape);
      PictureView in(picture), out(result);
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
          const Pixel p = in.At(x, y);
          ASSERT_EQ(out.At(x, y), (mode == 1 || bits(x, y)
                                       ? Pixel{-1, 255 - p.red, 255 - p.green, 255 - p.blue}
                                       : p))
              << x << ", " << y;
        }
      EXPECT_EQ(Text(points), Text(triangle));
    }
  EXPECT_EQ(BlockBytes(mask), maskBytes) << "the caller's mask is left as it was";
}

}  // namespace
}  // namespace qvx::test
