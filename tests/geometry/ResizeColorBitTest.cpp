// ResizeColorBit: box averages of a rectangle worked independently on
// random pictures, the choices for palette pictures, large results and
// rectangles outside the picture, the silent refusals, and the fixture.
#include <algorithm>
#include <random>

#include "geometry/GeometryReference.h"
#include "geometry/ResizeColorBit.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

class ResizeColorBitTest : public QvxTest {};

// The box average of the rectangle, written out: spans from rnd(i * ratio)
// to rnd((i + 1) * ratio), at least one pixel; palette pictures average the
// table colours and take the nearest entry.
Grid ExpectedResize(const Grid& source, int left, int top, int right, int bottom, int width,
                    int height) {
  left = std::clamp(left, 0, source.width - 1);
  right = std::clamp(right, 0, source.width - 1);
  top = std::clamp(top, 0, source.height - 1);
  bottom = std::clamp(bottom, 0, source.height - 1);
  const int w = right - left + 1, h = bottom - top + 1;
  const double rx = double(w) / width, ry = double(h) / height;
  Grid out = source.Blank(width, height);
  const auto span = [](int i, double ratio, int size, int& from, int& to) {
    from = std::min(Rnd(i * ratio), size - 1);
    to = std::max(std::min(Rnd((i + 1) * ratio), size), from + 1);
  };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      int x0, x1, y0, y1;
      span(x, rx, w, x0, x1);
      span(y, ry, h, y0, y1);
      long r = 0, g = 0, b = 0;
      for (int sy = y0; sy < y1; ++sy)
        for (int sx = x0; sx < x1; ++sx) {
          const Pixel& p = source.At(left + sx, top + sy);
          r += p.red;
          g += p.green;
          b += p.blue;
        }
      const long n = long{x1 - x0} * (y1 - y0);
      if (source.bits > 8) {
        out.At(x, y) = source.Stored(int(r / n), int(g / n), int(b / n));
        continue;
      }
      int best = 0;
      long bestDistance = -1;
      for (int i = 0; i < int(source.table.size()); ++i) {
        const long dr = source.table[i].rgbRed - r / n, dg = source.table[i].rgbGreen - g / n,
                   db = source.table[i].rgbBlue - b / n;
        if (bestDistance < 0 || dr * dr + dg * dg + db * db < bestDistance) {
          bestDistance = dr * dr + dg * dg + db * db;
          best = i;
        }
      }
      out.At(x, y) = Pixel{best, source.table[best].rgbRed, source.table[best].rgbGreen,
                           source.table[best].rgbBlue, 0};
    }
  return out;
}

const Layout kColourLayouts[] = {Layout::kPalette1, Layout::kPalette4, Layout::kPalette8,
                                 Layout::kRgb555,   Layout::kRgb565,   Layout::kRgb24,
                                 Layout::kRgb32};

TEST_F(ResizeColorBitTest, AveragesTwoByTwoBoxesWithTruncation) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 120, 110, 3));
  const Grid source = Decode(picture);
  PictureView half(Keep(ResizeColorBit(picture, 10, 5, 109, 104, 50, 50)));
  ASSERT_EQ(half.Width(), 50);
  for (const auto& [x, y] : {std::pair{0, 0}, {49, 49}, {13, 31}}) {
    int sum = 0;
    for (int dy = 0; dy < 2; ++dy)
      for (int dx = 0; dx < 2; ++dx) sum += source.At(10 + 2 * x + dx, 5 + 2 * y + dy).green;
    EXPECT_EQ(half.At(x, y).green, sum / 4) << x << ", " << y;
  }
}

TEST_F(ResizeColorBitTest, MatchesTheRulesOnRandomPicturesAndRectangles) {
  std::mt19937 random(12);
  for (Layout layout : kColourLayouts)
    for (int n = 0; n < 20; ++n) {
      const int w = 2 + random() % 30, h = 2 + random() % 20;
      HGLOBAL picture = Keep(MakePicture(layout, w, h, random()));
      const int left = int(random() % (w + 4)) - 2, top = int(random() % (h + 4)) - 2;
      const int right = left + 1 + random() % w, bottom = top + 1 + random() % h;
      const int width = 1 + random() % (n < 15 ? w : 2 * w),
                height = 1 + random() % (n < 15 ? h : 2 * h);
      SetErrorStatus(42);
      HGLOBAL result = Keep(ResizeColorBit(picture, left, top, right, bottom, width, height));
      EXPECT_EQ(GetErrorStatus(), 42) << "success leaves the status";
      EXPECT_EQ(Mismatch(ExpectedResize(Decode(picture), left, top, right, bottom, width, height),
                         result),
                "")
          << NameOf(layout) << " " << w << "x" << h << " rect " << left << "," << top << ","
          << right << "," << bottom << " -> " << width << "x" << height;
      HGLOBAL generic = Keep(
          ResizeRectangle(picture, left, top, right, bottom, width, height, PixelPath::kGeneric));
      EXPECT_EQ(BlockBytes(result), BlockBytes(generic)) << NameOf(layout);
    }
}

TEST_F(ResizeColorBitTest, RefusalsLeaveTheStatusOrSetTheirCode) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 10, 10, 1));
  const auto status = [](HGLOBAL result) {
    EXPECT_EQ(result, nullptr);
    if (result) GlobalFree(result);
    const int code = GetErrorStatus();
    SetErrorStatus(42);
    return code;
  };
  SetErrorStatus(42);
  EXPECT_EQ(status(ResizeColorBit(picture, 3, 0, 3, 9, 2, 2)), 42);
  EXPECT_EQ(status(ResizeColorBit(picture, 0, 4, 9, 4, 2, 2)), 42);
  EXPECT_EQ(status(ResizeColorBit(picture, 5, 0, 2, 9, 2, 2)), 42);
  EXPECT_EQ(status(ResizeColorBit(nullptr, 0, 0, 9, 9, 2, 2)), 42);
  EXPECT_EQ(status(ResizeColorBit(Keep(MakePicture(Layout::kGrey8, 10, 10, 1)), 0, 0, 9, 9, 2, 2)),
            42);
  EXPECT_EQ(status(ResizeColorBit(Keep(MakeMask({"#.#", ".#."})), 0, 0, 2, 1, 1, 1)), 42);
  EXPECT_EQ(status(ResizeColorBit(picture, 0, 0, 9, 9, 0, 2)), 5);
  HGLOBAL tiny = Keep(GlobalAlloc(GHND, 20));
  EXPECT_EQ(status(ResizeColorBit(tiny, 0, 0, 9, 9, 2, 2)), 7);
}

TEST_F(ResizeColorBitTest, FailuresReleaseEverything) {
  for (Layout layout : {Layout::kRgb24, Layout::kPalette8}) {
    HGLOBAL picture = Keep(MakePicture(layout, 12, 9, 4));
    // A lock failing in the grey test leaves the status as it was.
    ExpectCleanFailures(
        [&] {
          SetErrorStatus(42);
          return ResizeColorBit(picture, 1, 1, 10, 8, 4, 3);
        },
        {3, 42});
  }
}

}  // namespace
}  // namespace qvx::test
