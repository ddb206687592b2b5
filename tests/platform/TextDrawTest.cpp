// Text of hidden marks: placement checked without knowing the font (the
// set bits against the extent the font chooser reports, for every angle,
// direction and alignment), reversal, characters and skipped bytes, and
// the refusals of the renderer.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "frame/MarkText.h"
#include "frame/Resources.h"
#include "platform/QvxCom.h"
#include "platform/TextDraw.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

constexpr int kSide = 320;

MarkTextSpec Spec(const char* text, BYTE direction, WORD angle, BYTE hAlign = 0, BYTE vAlign = 0,
                  WORD size = 22) {
  MarkTextSpec spec{};
  spec.TextColor = 0xFFFFFF;
  std::strcpy(spec.FaceName, "DejaVu Sans");
  spec.FontSize = size;
  spec.Direction = direction;
  spec.Angle = angle;
  spec.HAlign = hAlign;
  spec.VAlign = vAlign;
  std::strncpy(spec.Text, text, sizeof spec.Text - 1);
  return spec;
}

struct Box {
  int left = kSide, top = kSide, right = -1, bottom = -1;  // inclusive
  bool Empty() const { return right < left; }
};

class TextDrawTest : public QvxTest {
 protected:
  HGLOBAL Blank() {
    return Keep(MakeMask(std::vector<std::string>(kSide, std::string(kSide, '.'))));
  }

  // The mask with the text drawn, and the bounding box of its set bits.
  HGLOBAL Render(const MarkTextSpec& spec, RECT rect, Box* ink = nullptr) {
    HGLOBAL mask = Blank();
    EXPECT_TRUE(RenderTextMask(mask, rect, spec)) << GetErrorStatus();
    if (ink) {
      PictureView view(mask);
      *ink = Box{};
      for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
          if ((view.Row(y)[x >> 3] >> (7 - (x & 7))) & 1) {
            ink->left = std::min(ink->left, x), ink->right = std::max(ink->right, x);
            ink->top = std::min(ink->top, y), ink->bottom = std::max(ink->bottom, y);
          }
    }
    return mask;
  }

  // The extent the font chooser reports for the text, asked as the
  // renderer asks it.
  SIZE Extent(const MarkTextSpec& spec, RECT rect, bool horizontal) {
    HGLOBAL mask = Blank();
    DibAccess record{};
    EXPECT_TRUE(StartDibAccess(mask, &record, 0x01));
    const MonoRows rows{record.Header, record.Bits, record.Width, record.Height, record.RowBytes};
    TextSurface surface;
    EXPECT_TRUE(OpenTextSurface(rows, surface));
    SIZE extent{0, 0};
    HFONT font = CreateBestFont(surface.dc, spec, rect, &extent, horizontal);
    EXPECT_NE(font, nullptr);
    DeleteTextFont(font);
    CloseTextSurface(rows, surface);
    EndDibAccess(mask, &record);
    return extent;
  }
};

// Where the text must land: the box of the reported extent (turned for a
// horizontal run at 90 or 270 degrees), moved by the alignment.
TEST_F(TextDrawTest, TextLandsInTheAlignedBoxOfItsExtent) {
  const RECT rect{20, 30, 300, 290};
  for (int direction = 0; direction < 4; ++direction)
    for (WORD angle : {0, 90, 180, 270})
      for (BYTE h = 0; h < 3; ++h)
        for (BYTE v = 0; v < 3; ++v) {
          const MarkTextSpec spec = Spec("HIHH", BYTE(direction), angle, h, v);
          const bool horizontal = IsHorizontalRun(BYTE(direction), angle);
          const SIZE e = Extent(spec, rect, horizontal);
          const bool turned = horizontal && (angle == 90 || angle == 270);
          const int ew = turned ? e.cy : e.cx, eh = turned ? e.cx : e.cy;
          const int w = rect.right - rect.left, hh = rect.bottom - rect.top;
          const int left = rect.left + (h == 1 ? (w - ew) / 2 : h == 2 ? w - ew : 0);
          const int top = rect.top + (v == 1 ? (hh - eh) / 2 : v == 2 ? hh - eh : 0);
          Box ink;
          Render(spec, rect, &ink);
          std::ostringstream where;
          where << "direction " << direction << " angle " << angle << " align " << int(h) << ","
                << int(v) << " extent " << e.cx << "x" << e.cy << " box " << left << "," << top
                << " ink " << ink.left << "," << ink.top << "-" << ink.right << "," << ink.bottom;
          ASSERT_FALSE(ink.Empty()) << where.str();
          EXPECT_GE(ink.left, left) << where.str();
          EXPECT_GE(ink.top, top) << where.str();
          EXPECT_LT(ink.right, left + ew) << where.str();
          EXPECT_LT(ink.bottom, top + eh) << where.str();
          // The ink fills most of the box: four capitals side by side or
          // stacked.
          EXPECT_GT(ink.right - ink.left + 1, ew / 2) << where.str();
          EXPECT_GT(ink.bottom - ink.top + 1, eh / 2) << where.str();
        }
}

// A stacked run's extent adds up its characters across (directions 0 and
// 1) or down (2 and 3); a line's is one character's height.
TEST_F(TextDrawTest, StackedExtentsAddUpTheCharacters) {
  const RECT rect{0, 0, 300, 300};
  const SIZE one = Extent(Spec("H", 0, 0), rect, true);
  const SIZE line = Extent(Spec("HHH", 0, 0), rect, true);
  EXPECT_EQ(line.cx, 3 * one.cx);
  EXPECT_EQ(line.cy, one.cy);
  const SIZE across = Extent(Spec("HHH", 0, 90), rect, false);
  EXPECT_EQ(across.cx, 3 * one.cy);
  EXPECT_EQ(across.cy, one.cx);
  const SIZE down = Extent(Spec("HHH", 2, 0), rect, false);
  EXPECT_EQ(down.cx, one.cx);
  EXPECT_EQ(down.cy, 3 * one.cy);
  // Too big for the rectangle: the font shrinks until the text fits.
  const SIZE fitted = Extent(Spec("HHHHHHHH", 0, 0, 0, 0, 200), RECT{0, 0, 120, 300}, true);
  EXPECT_LE(fitted.cx, 120);
  EXPECT_GT(fitted.cx, 60);
}

TEST_F(TextDrawTest, DirectionsReverseCharactersAndBadBytesAreSkipped) {
  const RECT rect{10, 10, 310, 310};
  const auto same = [&](const MarkTextSpec& a, const MarkTextSpec& b) {
    return BlockBytes(Render(a, rect)) == BlockBytes(Render(b, rect));
  };
  EXPECT_TRUE(same(Spec("IHL", 1, 0), Spec("LHI", 0, 0)));
  EXPECT_FALSE(same(Spec("IHL", 0, 0), Spec("LHI", 0, 0)));
  EXPECT_TRUE(same(Spec("IHL", 3, 0), Spec("LHI", 2, 0)));
  // At 180 degrees directions 0 and 1 reverse once more, so that the
  // turned text still reads from its start.
  EXPECT_TRUE(same(Spec("IHL", 0, 180), Spec("LHI", 1, 180)));
  EXPECT_EQ(TextCharLength("A", 1), 1);
#if !defined(_WIN32)
  // Text is UTF-8 here (on Windows it is in the ANSI code page, and
  // Windows decides its lead bytes): a character is one UTF-8 sequence, kept
  // whole when reversed; a byte that starts none is skipped.
  EXPECT_TRUE(same(Spec("a\xC3\xA9Z", 1, 0), Spec("Z\xC3\xA9"
                                                  "a",
                                                  0, 0)));
  EXPECT_TRUE(same(Spec("A\xFF"
                        "B\xC3",
                        0, 0),
                   Spec("AB", 0, 0)));
  EXPECT_TRUE(same(Spec("A\xFF"
                        "B",
                        2, 0),
                   Spec("AB", 2, 0)));
  EXPECT_EQ(TextCharLength("\xE2\x82\xAC", 3), 3);
  EXPECT_EQ(TextCharLength("\xE2\x82\xAC", 2), 0);
  EXPECT_EQ(TextCharLength("\xC0\x80", 2), 0);      // overlong
  EXPECT_EQ(TextCharLength("\xED\xA0\x80", 3), 0);  // surrogate
  EXPECT_EQ(TextCharLength("\x80", 1), 0);
#endif
  // Out-of-range layout values are taken as 0.
  EXPECT_TRUE(same(Spec("Hi", 9, 45, 7, 7), Spec("Hi", 0, 0, 0, 0)));
}

TEST_F(TextDrawTest, LayoutRulesAndRefusals) {
  EXPECT_TRUE(IsHorizontalRun(0, 0));
  EXPECT_TRUE(IsHorizontalRun(1, 180));
  EXPECT_FALSE(IsHorizontalRun(0, 90));
  EXPECT_FALSE(IsHorizontalRun(1, 270));
  EXPECT_FALSE(IsHorizontalRun(2, 0));
  EXPECT_TRUE(IsHorizontalRun(3, 270));
  const RECT r = NormalizeRect(RECT{100, 80, 20, 10});
  EXPECT_EQ(r.left, 20);
  EXPECT_EQ(r.top, 10);
  EXPECT_EQ(r.right, 100);
  EXPECT_EQ(r.bottom, 80);

  HGLOBAL mask = Blank();
  const auto refused = [&](HGLOBAL target, const MarkTextSpec& spec, RECT rect) {
    SetErrorStatus(0);
    EXPECT_FALSE(RenderTextMask(target, rect, spec));
    return GetErrorStatus();
  };
  const RECT box{0, 0, 50, 50};
  EXPECT_EQ(refused(mask, Spec("", 0, 0), box), 5);
  MarkTextSpec noFace = Spec("x", 0, 0);
  noFace.FaceName[0] = 0;
  EXPECT_EQ(refused(mask, noFace, box), 5);
  EXPECT_EQ(refused(mask, Spec("x", 0, 0, 0, 0, 0), box), 5);
  EXPECT_EQ(refused(mask, Spec("x", 0, 0), RECT{5, 0, 5, 50}), 5);
  EXPECT_EQ(refused(nullptr, Spec("x", 0, 0), box), 7);
  // A full record with no terminators is within the limits.
  MarkTextSpec full = Spec("x", 0, 0);
  std::memset(full.Text, 'i', sizeof full.Text);
  std::memcpy(full.FaceName, "DejaVu Sans", 11);
  std::memset(full.FaceName + 11, ' ', sizeof full.FaceName - 11);
  EXPECT_TRUE(RenderTextMask(mask, box, full));
}

}  // namespace
}  // namespace qvx::test
