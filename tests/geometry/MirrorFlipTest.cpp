// MirrorDibImage, FlipDibImage, GetDibLine and SetDibLine on every layout.
#include <cstring>

#include "frame/Resources.h"
#include "geometry/DibLine.h"
#include "geometry/GeometryReference.h"
#include "geometry/MirrorFlip.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class MirrorFlipTest : public QvxTest {};

TEST_F(MirrorFlipTest, MirrorAndFlipPictureAndMaskInPlace) {
  HGLOBAL mask = Keep(MakeMask({"##.#.....#", ".#......##", "#.#.#.#.#."}));
  for (Layout layout : AllLayouts())
    for (bool mirror : {true, false}) {
      const Grid maskBefore = Decode(mask);
      HGLOBAL picture = Keep(MakePicture(layout, 10, 3, 5));
      const Grid before = Decode(picture);
      Grid expected = before, expectedMask = maskBefore;
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 10; ++x) {
          const int sx = mirror ? 9 - x : x, sy = mirror ? y : 2 - y;
          expected.At(x, y) = before.At(sx, sy);
          if (mirror) expected.At(x, y).alpha = 0;
          expectedMask.At(x, y) = maskBefore.At(sx, sy);
        }
      {
        LockedDib p, m;
        ASSERT_TRUE(p.Start(picture, kDepthAll));
        ASSERT_TRUE(m.Start(mask, kDepthAll));
        const BOOL done = mirror ? MirrorDibImage(&p.Record(), &m.Record(), {0, 100}, TRUE)
                                 : FlipDibImage(&p.Record(), &m.Record(), {0, 100}, TRUE);
        ASSERT_TRUE(done);
      }
      EXPECT_EQ(Mismatch(expected, picture), "") << NameOf(layout) << " mirror " << mirror;
      EXPECT_EQ(Mismatch(expectedMask, mask), "") << NameOf(layout) << " mirror " << mirror;
      // Twice gives the picture back (alpha apart).
      {
        LockedDib p;
        ASSERT_TRUE(p.Start(picture, kDepthAll));
        DibAccess none{};
        ASSERT_TRUE(mirror ? MirrorDibImage(&p.Record(), &none, {0, 100}, TRUE)
                           : FlipDibImage(&p.Record(), &none, {0, 100}, TRUE));
      }
      Grid again = before;
      if (mirror)
        for (Pixel& pixel : again.pixels) pixel.alpha = 0;
      EXPECT_EQ(Mismatch(again, picture), "") << NameOf(layout) << " twice";
    }
}

TEST_F(MirrorFlipTest, FastMirrorMatchesTheRecordPath) {
  for (Layout layout : AllLayouts())
    for (int width : {1, 3, 8, 13, 31}) {
      HGLOBAL a = Keep(MakePicture(layout, width, 4, width)),
              b = Keep(MakePicture(layout, width, 4, width));
      LockedDib pa, pb;
      ASSERT_TRUE(pa.Start(a, kDepthAll));
      ASSERT_TRUE(pb.Start(b, kDepthAll));
      DibAccess none{};
      ASSERT_TRUE(MirrorDibImage(&pa.Record(), &none, {0, 100}, TRUE, PixelPath::kFast));
      ASSERT_TRUE(MirrorDibImage(&pb.Record(), &none, {0, 100}, TRUE, PixelPath::kGeneric));
      pa.End();
      pb.End();
      EXPECT_EQ(BlockBytes(a), BlockBytes(b)) << NameOf(layout) << " width " << width;
    }
}

TEST_F(MirrorFlipTest, RefuseAMaskOfAnotherSizeAndReportRowsAndCancels) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 5, 4, 1));
  HGLOBAL mask = Keep(MakeMask({"#####", "....."}));
  LockedDib p, m;
  ASSERT_TRUE(p.Start(picture, kDepthAll));
  ASSERT_TRUE(m.Start(mask, kDepthAll));
  SetErrorStatus(0);
  EXPECT_FALSE(MirrorDibImage(&p.Record(), &m.Record(), {0, 20}, TRUE));
  EXPECT_EQ(GetErrorStatus(), 5);
  SetErrorStatus(0);
  EXPECT_FALSE(FlipDibImage(&p.Record(), &m.Record(), {0, 20}, TRUE));
  EXPECT_EQ(GetErrorStatus(), 5);
  DibAccess none{};
  int reports = 0;
  {
    ScopedProgressHandler count([&](const ProgressReport& r) {
      EXPECT_EQ(r.done, reports++);
      EXPECT_EQ(r.total, 3);
      EXPECT_EQ(r.percentFrom, 21);
      EXPECT_EQ(r.percentTo, 26);
      return TRUE;
    });
    EXPECT_TRUE(FlipDibImage(&p.Record(), &none, {21, 26}, TRUE));
  }
  EXPECT_EQ(reports, 4);
  {
    ScopedProgressHandler cancel([](const ProgressReport&) { return FALSE; });
    SetErrorStatus(0);
    EXPECT_FALSE(MirrorDibImage(&p.Record(), &none, {0, 20}, TRUE));
    EXPECT_EQ(GetErrorStatus(), 1);
  }
}

TEST_F(MirrorFlipTest, LinesReadInFourDirectionsAndWriteRightwards) {
  constexpr int kW = 11, kH = 6;
  for (Layout layout : AllLayouts()) {
    HGLOBAL picture = Keep(MakePicture(layout, kW, kH, 3));
    HGLOBAL copy = Keep(MakeBlankPicture(layout, kW, kH, 3));
    PictureView view(picture);
    LockedDib p, c;
    ASSERT_TRUE(p.Start(picture, kDepthAll));
    ASSERT_TRUE(c.Start(copy, kDepthAll));
    p->UseRgb = 1;
    const int bits = BitCountOf(layout);
    BYTE cells[4 * kW];
    struct Line {
      int direction, x, y, count, dx, dy;
    } lines[] = {
        {1, 2, 3, 9, 1, 0}, {2, 10, 0, 11, -1, 0}, {3, 4, 1, 5, 0, 1}, {4, 7, 5, 6, 0, -1}};
    for (const Line& line : lines) {
      ASSERT_TRUE(GetDibLine(&p.Record(), line.x, line.y, line.direction, cells, line.count));
      for (int i = 0; i < line.count; ++i) {
        const Pixel want = view.At(line.x + i * line.dx, line.y + i * line.dy);
        const std::string where = NameOf(layout) + " direction " + std::to_string(line.direction) +
                                  " cell " + std::to_string(i);
        if (bits <= 8 || bits == 32) {
          EXPECT_EQ(cells[4 * i], bits == 32 ? want.alpha : want.index) << where;
        }
        EXPECT_EQ(cells[4 * i + 1], want.red) << where;
        EXPECT_EQ(cells[4 * i + 2], want.green) << where;
        EXPECT_EQ(cells[4 * i + 3], want.blue) << where;
      }
    }
    // Row by row through cells into a blank picture gives the same pixels.
    for (int y = 0; y < kH; ++y) {
      ASSERT_TRUE(GetDibLine(&p.Record(), 0, y, kLineRight, cells, kW));
      ASSERT_TRUE(SetDibLine(&c.Record(), 0, y, cells, kW));
    }
    p.End();
    c.End();
    EXPECT_EQ(FirstDifference(picture, copy), "") << NameOf(layout);
  }
}

TEST_F(MirrorFlipTest, LinesLeavingThePictureAreRefused) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 5, 4, 1));
  LockedDib p;
  ASSERT_TRUE(p.Start(picture, kDepthAll));
  BYTE cells[4 * 8];
  const auto status = [&](BOOL ok) {
    const int code = GetErrorStatus();
    SetErrorStatus(0);
    return ok ? 0 : code;
  };
  SetErrorStatus(0);
  EXPECT_EQ(status(GetDibLine(&p.Record(), 0, 0, kLineRight, cells, 5)), 0);
  EXPECT_EQ(status(GetDibLine(&p.Record(), 1, 0, kLineRight, cells, 5)), 5);
  EXPECT_EQ(status(GetDibLine(&p.Record(), 4, 0, kLineLeft, cells, 5)), 0);
  EXPECT_EQ(status(GetDibLine(&p.Record(), 3, 0, kLineLeft, cells, 5)), 5);
  EXPECT_EQ(status(GetDibLine(&p.Record(), 0, 0, kLineDown, cells, 4)), 0);
  EXPECT_EQ(status(GetDibLine(&p.Record(), 0, 1, kLineDown, cells, 4)), 5);
  EXPECT_EQ(status(GetDibLine(&p.Record(), 0, 3, kLineUp, cells, 4)), 0);
  EXPECT_EQ(status(GetDibLine(&p.Record(), 0, 2, kLineUp, cells, 4)), 5);
  EXPECT_EQ(status(GetDibLine(&p.Record(), 5, 0, kLineLeft, cells, 1)), 5);
  EXPECT_EQ(status(GetDibLine(&p.Record(), 0, -1, kLineDown, cells, 1)), 5);
  EXPECT_EQ(status(GetDibLine(&p.Record(), 0, 0, 5, cells, 1)), 5);
  EXPECT_EQ(status(SetDibLine(&p.Record(), 1, 0, cells, 4)), 0);
  EXPECT_EQ(status(SetDibLine(&p.Record(), 2, 0, cells, 4)), 5);
  EXPECT_EQ(status(SetDibLine(&p.Record(), 0, 4, cells, 1)), 5);
}

}  // namespace
}  // namespace qvx::test
