// Hidden marks: the shift of luminance against an independent evaluation,
// mark then check, the text mode's placement of the rendered mark,
// refusals, failures and cancels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <sstream>

#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

// Half away from zero.
int Rounded(double v) { return static_cast<int>(v < 0 ? v - 0.5 : v + 0.5); }
int Clamped(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

struct Ycc {
  int y, cr, cb;
};
Ycc Centred(int r, int g, int b) {
  return {Rounded(r * 0.298912 + g * 0.586611 + b * 0.114478),
          Rounded(r * 0.5 + g * -0.41869 + b * -0.08131),
          Rounded(r * -0.16874 + g * -0.33126 + b * 0.5)};
}
// The colour a covered pixel takes, or itself when the shifted luminance
// leaves 0..255.
Pixel Marked(const Pixel& p, int d) {
  const Ycc c = Centred(p.red, p.green, p.blue);
  const int y = c.y + d;
  if (y < 0 || y > 255) return p;
  return {-1, Clamped(Rounded(y + 1.402 * c.cr)),
          Clamped(Rounded(y - 0.34414 * c.cb - 0.71414 * c.cr)), Clamped(Rounded(y + 1.772 * c.cb)),
          0};
}

bool Bit(const PictureView& mask, int x, int y) {
  return (mask.Row(y)[x >> 3] >> (7 - (x & 7))) & 1;
}

HGLOBAL Mark(HGLOBAL picture, HGLOBAL mask, int d, int left, int top) {
  return QVSetSecretImage(picture, mask, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0, d, left, top, 0, 0,
                          TRUE, 0, 0, 0);
}
HGLOBAL MarkText(HGLOBAL picture, const char* text, const char* face, WORD size, int d, RECT r,
                 BYTE direction = 0, WORD angle = 0) {
  return QVSetSecretImage(picture, nullptr, text, face, size, 0, 0, 0, 0, direction, angle, d,
                          r.left, r.top, r.right, r.bottom, TRUE, 0, 0, 0);
}

// A random mask of w x h, about a third selected.
std::vector<std::string> RandomRows(int w, int h, std::mt19937& random) {
  std::vector<std::string> rows(h, std::string(w, '.'));
  for (auto& row : rows)
    for (char& c : row) c = random() % 3 == 0 ? '#' : '.';
  return rows;
}

class SecretImageTest : public QvxTest {};

TEST_F(SecretImageTest, MaskModeShiftsCoveredPixelsAsTheRulesSay) {
  std::mt19937 random(3);
  const int w = 31, h = 19;
  struct Place {
    int mw, mh, left, top;
  };
  const Place places[] = {
      {31, 19, 0, 0}, {9, 5, 4, 3}, {12, 8, -5, -3}, {20, 30, 20, 10}, {3, 3, 40, 2}};
  for (int d : {-35, -20, -7, 0, 1, 5, 20, 35})
    for (const Place& at : places)
      for (bool whiteFirst : {false, true}) {
        HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, w, h, random()));
        const auto rows = RandomRows(at.mw, at.mh, random);
        HGLOBAL mask = Keep(MakeMask(rows, whiteFirst));
        HGLOBAL marked = Keep(Mark(picture, mask, d, at.left, at.top));
        ASSERT_NE(marked, nullptr);
        const int shift = d > 20 ? 20 : (d < -20 ? -20 : d);
        PictureView in(picture), out(marked);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            const int i = x - at.left, j = y - at.top;
            const bool covered = i >= 0 && j >= 0 && i < at.mw && j < at.mh && rows[j][i] == '#';
            const Pixel want = covered ? Marked(in.At(x, y), shift) : in.At(x, y);
            ASSERT_EQ(out.At(x, y), want)
                << ToString(in.At(x, y)) << " covered " << covered << " (" << x << ", " << y
                << ") d " << d << " mark at " << at.left << ", " << at.top;
          }
      }
}

// Masks that cover long runs (the shift works several pixels at a time)
// on random pictures of every run-length tail, with pixels bright and dark
// enough for shifts that leave the luminance range.
TEST_F(SecretImageTest, LongRunsShiftAsTheRulesSay) {
  std::mt19937 random(11);
  for (int w = 36; w <= 40; ++w)
    for (int d : {-20, -4, 0, 9, 20}) {
      const int h = 6;
      HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, w, h, random()));
      std::vector<std::string> rows(h, std::string(w, '#'));
      for (auto& row : rows)
        for (char& c : row)
          if (random() % 16 == 0) c = '.';
      HGLOBAL marked = Keep(Mark(picture, Keep(MakeMask(rows)), d, 0, 0));
      ASSERT_NE(marked, nullptr);
      PictureView in(picture), out(marked);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const Pixel want = rows[y][x] == '#' ? Marked(in.At(x, y), d) : in.At(x, y);
          ASSERT_EQ(out.At(x, y), want) << ToString(in.At(x, y)) << " at (" << x << ", " << y
                                        << ") width " << w << " d " << d;
        }
    }
}

// The corners of the colour cube and their neighbours reach the ends of
// both chrominance ranges (-128 and 128 after rounding), where the
// conversion back has its first and last rows.
TEST_F(SecretImageTest, ColoursAtTheEndsOfTheChrominanceRanges) {
  const int levels[] = {0, 1, 128, 254, 255};
  const int w = 125;
  HGLOBAL picture = Keep(MakeBlankPicture(Layout::kRgb24, w, 1));
  auto* bits = static_cast<BYTE*>(GlobalLock(picture)) + 40;
  for (int i = 0; i < w; ++i) {
    bits[3 * i] = static_cast<BYTE>(levels[i % 5]);          // blue
    bits[3 * i + 1] = static_cast<BYTE>(levels[i / 5 % 5]);  // green
    bits[3 * i + 2] = static_cast<BYTE>(levels[i / 25]);     // red
  }
  GlobalUnlock(picture);
  ASSERT_EQ(PictureView(picture).At(4, 0), (Pixel{-1, 0, 0, 255, 0}));
  ASSERT_EQ(PictureView(picture).At(100, 0), (Pixel{-1, 255, 0, 0, 0}));
  HGLOBAL mask = Keep(MakeMask({std::string(w, '#')}));
  for (int d : {-20, -3, 3, 20}) {
    HGLOBAL marked = Keep(Mark(picture, mask, d, 0, 0));
    ASSERT_NE(marked, nullptr);
    PictureView in(picture), out(marked);
    for (int x = 0; x < w; ++x)
      ASSERT_EQ(out.At(x, 0), Marked(in.At(x, 0), d)) << ToString(in.At(x, 0)) << " d " << d;
  }
}

TEST_F(SecretImageTest, WorkedCases) {
  HGLOBAL picture = Keep(MakeBlankPicture(Layout::kRgb24, 3, 1));
  {
    PictureView view(picture);
    // (200, 50, 30): Y = 92.54729 -> 93, Cr = 76.6262 -> 77, Cb = -35.311
    // -> -35. (250, 250, 250): Y = 250. (10, 10, 10): Y = 10.
    auto* p = const_cast<std::uint8_t*>(view.Row(0));
    const BYTE colours[3][3] = {{200, 50, 30}, {250, 250, 250}, {10, 10, 10}};
    for (const auto& c : colours) *p++ = c[2], *p++ = c[1], *p++ = c[0];
  }
  HGLOBAL all = Keep(MakeMask({"###"}));
  const auto colours = [&](int d) {
    PictureView view(Keep(Mark(picture, all, d, 0, 0)));
    std::vector<Pixel> out;
    for (int x = 0; x < 3; ++x) out.push_back(view.At(x, 0));
    return out;
  };
  // d = 0 re-derives: R = 93 + 1.402 x 77 = 200.954 -> 201, G = 93 +
  // 12.0449 - 54.98878 = 50.05612 -> 50, B = 93 - 62.02 = 30.98 -> 31.
  EXPECT_EQ(colours(0),
            (std::vector<Pixel>{{-1, 201, 50, 31}, {-1, 250, 250, 250}, {-1, 10, 10, 10}}));
  // d = 10: 250 + 10 leaves the range, that pixel stays; greys move by 10.
  EXPECT_EQ(colours(10)[1], (Pixel{-1, 250, 250, 250}));
  EXPECT_EQ(colours(10)[2], (Pixel{-1, 20, 20, 20}));
  // d = 35 is taken as 20, -50 as -20.
  EXPECT_EQ(colours(35)[2], (Pixel{-1, 30, 30, 30}));
  EXPECT_EQ(colours(-50)[2], (Pixel{-1, 10, 10, 10}));  // 10 - 20 < 0: unchanged
  EXPECT_EQ(colours(-50)[1], (Pixel{-1, 230, 230, 230}));
}

TEST_F(SecretImageTest, CheckFindsExactlyThePixelsMovedByTheFullShift) {
  std::mt19937 random(5);
  const int w = 37, h = 23;
  for (int d : {5, 1, 20, -3}) {
    HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, w, h, random()));
    const auto rows = RandomRows(w, h, random);
    HGLOBAL marked = Keep(Mark(picture, Keep(MakeMask(rows)), d, 0, 0));
    for (int t : {d, -50, 0, 50}) {
      for (bool forward : {true, false}) {
        HGLOBAL first = forward ? picture : marked, second = forward ? marked : picture;
        HGLOBAL mask = Keep(QVCheckSecretImage(first, second, t, TRUE, 0, 0, 0));
        ASSERT_NE(mask, nullptr);
        PictureView a(first), b(second), m(mask);
        ASSERT_EQ(m.BitCount(), 1);
        ASSERT_EQ(m.Width(), w);
        const int limit = t > 20 ? 20 : (t < -20 ? -20 : t);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            const Pixel p = a.At(x, y), q = b.At(x, y);
            const int dy = Centred(q.red, q.green, q.blue).y - Centred(p.red, p.green, p.blue).y;
            ASSERT_EQ(Bit(m, x, y), dy >= limit) << x << ", " << y << " d " << d << " t " << t;
            // Where the check with t = d finds a pixel, the mark covered it.
            if (forward && t == d && d > 1 && Bit(m, x, y)) {
              EXPECT_EQ(rows[y][x], '#');
            }
          }
      }
    }
  }
}

// The text mode draws the text into a picture-sized mark from the
// rectangle's corner (reordered) and shifts what it covers.
TEST_F(SecretImageTest, TextModeShiftsTheRenderedText) {
  HGLOBAL grey = Keep(MakeBlankPicture(Layout::kRgb24, 120, 60));
  {
    PictureView view(grey);
    for (int y = 0; y < 60; ++y)
      std::memset(const_cast<std::uint8_t*>(view.Row(y)), 100, view.RowBytes());
  }
  HGLOBAL marked = Keep(MarkText(grey, "HIH", "DejaVu Sans", 20, 6, RECT{100, 50, 10, 5}));
  ASSERT_NE(marked, nullptr) << GetErrorStatus();
  PictureView view(marked);
  int minX = 1000, minY = 1000, maxX = -1, maxY = -1, count = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 120; ++x) {
      const Pixel p = view.At(x, y);
      if (p == Pixel{-1, 100, 100, 100}) continue;
      ASSERT_EQ(p, (Pixel{-1, 106, 106, 106}));
      ++count;
      minX = std::min(minX, x), minY = std::min(minY, y);
      maxX = std::max(maxX, x), maxY = std::max(maxY, y);
    }
  EXPECT_GT(count, 30);
  EXPECT_GE(minX, 10);
  EXPECT_GE(minY, 5);
  EXPECT_LT(maxX, 10 + 60);
  EXPECT_LT(maxY, 5 + 30);
  // The same text reordered the other way and given as a mark picture of
  // what was found lands in the same place.
  HGLOBAL found = Keep(QVCheckSecretImage(grey, marked, 6, TRUE, 0, 0, 0));
  EXPECT_EQ(BlockBytes(Keep(Mark(grey, found, 6, 0, 0))), BlockBytes(marked));
  EXPECT_EQ(BlockBytes(Keep(MarkText(grey, "HIH", "DejaVu Sans", 20, 6, RECT{10, 5, 100, 50}))),
            BlockBytes(marked));
}

TEST_F(SecretImageTest, RefusalsFailuresAndCancels) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 40, 30, 1));
  HGLOBAL mask = Keep(MakeMask({"#.#", ".#."}));
  const auto refusal = [](HGLOBAL result) {
    EXPECT_EQ(result, nullptr);
    if (result) GlobalFree(result);
    return GetErrorStatus();
  };
  const RECT box{0, 0, 40, 30};
  for (Layout layout : {Layout::kRgb32, Layout::kPalette8, Layout::kRgb565, Layout::kPalette1}) {
    HGLOBAL other = Keep(MakePicture(layout, 40, 30, 2));
    EXPECT_EQ(refusal(Mark(other, mask, 5, 0, 0)), 7) << NameOf(layout);
    EXPECT_EQ(refusal(QVCheckSecretImage(other, picture, 5, 1, 0, 0, 0)), 7);
    EXPECT_EQ(refusal(QVCheckSecretImage(picture, other, 5, 1, 0, 0, 0)), 7);
    if (layout != Layout::kPalette1) {
      EXPECT_EQ(refusal(Mark(picture, other, 5, 0, 0)), 7);
    }
  }
  EXPECT_EQ(refusal(Mark(nullptr, mask, 5, 0, 0)), 7);
  EXPECT_EQ(refusal(QVCheckSecretImage(picture, Keep(MakePicture(Layout::kRgb24, 40, 29, 1)), 5, 1,
                                       0, 0, 0)),
            7);
  const std::string long128(128, 'a'), face32(32, 'f');
  EXPECT_EQ(refusal(MarkText(picture, long128.c_str(), "DejaVu Sans", 10, 5, box)), 5);
  EXPECT_EQ(refusal(MarkText(picture, "x", face32.c_str(), 10, 5, box)), 5);
  EXPECT_EQ(refusal(MarkText(picture, "", "DejaVu Sans", 10, 5, box)), 9);
  EXPECT_EQ(refusal(MarkText(picture, nullptr, "DejaVu Sans", 10, 5, box)), 9);
  EXPECT_EQ(refusal(MarkText(picture, "x", "", 10, 5, box)), 9);
  EXPECT_EQ(refusal(MarkText(picture, "x", "DejaVu Sans", 0, 5, box)), 9);
  EXPECT_EQ(refusal(MarkText(picture, "x", "DejaVu Sans", 10, 5, RECT{5, 5, 5, 20})), 9);
  EXPECT_EQ(refusal(MarkText(picture, "x", "DejaVu Sans", 10, 5, RECT{5, 9, 30, 9})), 9);
  // At the limits the text is drawn.
  const std::string long127(127, 'a'), face31 = "DejaVu Sans" + std::string(20, ' ');
  EXPECT_NE(Keep(MarkText(picture, long127.c_str(), face31.c_str(), 3, 5, box)), nullptr);
  // Wild rectangles and sizes cost nothing beyond the picture.
  EXPECT_NE(Keep(MarkText(picture, "wild", "DejaVu Sans", 65535, 5,
                          RECT{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 2, 90)),
            nullptr);

  const std::vector<PictureCall> calls = {
      [&] { return Mark(picture, mask, 5, 3, 4); },
      [&] { return MarkText(picture, "Ab", "DejaVu Sans", 12, -4, box, 3, 180); },
      [&] { return QVCheckSecretImage(picture, picture, 0, TRUE, 0, 0, 0); },
  };
  for (const auto& call : calls) {
    // A failure inside the text drawing is reported as the text's (9).
    ExpectCleanFailures(call, {3, 9});
    ExpectCleanCancels(call);
  }
  // Progress: one report per mark row, of the mark's height.
  const auto reports = RecordProgress(calls[0]);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1].done, 1);
  EXPECT_EQ(reports[1].total, 1);
}

}  // namespace
}  // namespace qvx::test
