// Colour-picked selection: worked cases, every depth and match mode against
// an independent evaluation of the selection rules, the record route against
// the direct one, refusals, failures and cancels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <random>
#include <sstream>

#include "frame/MarkEffects.h"
#include "frame/Selection.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {
namespace {

// Y, Cr and Cb as the selection compares them: each product a coefficient
// times a level, added left to right, truncated toward zero.
struct Levels {
  int y, cr, cb;
};
Levels TruncatedLevels(int r, int g, int b) {
  return {static_cast<int>(r * 0.298912 + g * 0.586611 + b * 0.114478),
          static_cast<int>(r * 0.5 + g * -0.41869 + b * -0.08131 + 128.0),
          static_cast<int>(r * -0.16874 + g * -0.33126 + b * 0.5 + 128.0)};
}
bool Matches(int mode, int tolerance, const Pixel& ref, const Pixel& c) {
  const auto near = [&](int a, int b) { return std::abs(a - b) <= tolerance; };
  if (mode == 0) return near(c.red, ref.red) && near(c.green, ref.green) && near(c.blue, ref.blue);
  const Levels a = TruncatedLevels(c.red, c.green, c.blue);
  const Levels b = TruncatedLevels(ref.red, ref.green, ref.blue);
  return mode == 1 ? near(a.cr, b.cr) && near(a.cb, b.cb) : near(a.y, b.y);
}

// A fill colour as a 16-bit picture stores and reads it back (5 bits, or 6
// for the green of 5-6-5: narrowed with trunc(c * 31 / 255 + 0.5), widened
// with trunc(v * 255 / 31 + 0.5)).
int Through16(int c, int bits) {
  const int top = (1 << bits) - 1;
  const int v = static_cast<int>(c * top * (1.0 / 255) + 0.5);
  return static_cast<int>(v * (255.0 / top) + 0.5);
}

bool Bit(const PictureView& mask, int x, int y) {
  return (mask.Row(y)[x >> 3] >> (7 - (x & 7))) & 1;
}

// The shape of a call: mode, vertices, ellipse and inside.
struct Shape {
  BYTE mode;
  std::vector<POINT> points;
  RECT rect;
  BOOL inside;
};

// The shape's work rectangle and mask as the landed selection set-up
// builds them (the vertices copied, since they are moved).
struct BuiltShape {
  WorkRect rect;
  HGLOBAL mask;
};
BuiltShape Build(const Shape& s, int width, int height, BOOL pictureSized) {
  std::vector<POINT> points = s.points;
  WorkRect rect{0, 0, width - 1, height - 1};
  HGLOBAL mask =
      s.mode == 1 && pictureSized
          ? nullptr
          : BuildSelectionMask(s.mode, points.data(), int(points.size()), s.rect.left, s.rect.top,
                               s.rect.right, s.rect.bottom, s.inside, &rect, pictureSized);
  return {rect, mask};
}

class ColourPickTest : public QvxTest {
 protected:
  ImageHandles Select(HGLOBAL picture, const Shape& s, int r, int g, int b,
                      PixelRoute route = PixelRoute::kDirect) {
    std::vector<POINT> points = s.points;
    SelectionArgs args{picture, nullptr, s.mode, points.data(), int(points.size()),
                       s.rect,  s.inside};
    return KeepPair(RunSelectImage(args, BYTE(r), BYTE(g), BYTE(b), TRUE, route));
  }
  ImageHandles AutoSelect(HGLOBAL picture, const Shape& s, Pixel ref, int mode, int tolerance,
                          PixelRoute route = PixelRoute::kDirect) {
    std::vector<POINT> points = s.points;
    SelectionArgs args{picture, nullptr, s.mode, points.data(), int(points.size()),
                       s.rect,  s.inside};
    return KeepPair(RunAutoSelectImage(args, BYTE(ref.red), BYTE(ref.green), BYTE(ref.blue),
                                       BYTE(mode), BYTE(tolerance), TRUE, route));
  }
  ImageHandles KeepPair(ImageHandles pair) {
    Keep(pair.Picture);
    Keep(pair.Mask);
    return pair;
  }

  // "" when the pair is what the rules give for the source, else the first
  // difference.
  std::string CheckSelect(HGLOBAL source, const Shape& s, const Pixel& fill,
                          const ImageHandles& got) {
    PictureView in(source);
    const BuiltShape shape = Build(s, in.Width(), in.Height(), FALSE);
    Keep(shape.mask);
    if (!got.Picture || !got.Mask) return "no pair";
    PictureView cut(got.Picture), mask(got.Mask), expectedMask(shape.mask);
    const int w = shape.rect.right - shape.rect.left + 1,
              h = shape.rect.bottom - shape.rect.top + 1;
    if (cut.Width() != w || cut.Height() != h || mask.Width() != w || mask.Height() != h)
      return "size";
    if (cut.BitCount() != in.BitCount()) return "depth";
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const bool selected = Bit(expectedMask, x, y);
        if (Bit(mask, x, y) != selected) return Where("mask", x, y);
        Pixel want = in.At(shape.rect.left + x, shape.rect.top + y);
        want.alpha = 0;
        if (!selected) {
          if (want.index >= 0) {
            want.index =
                GetRgbtoPal(in.Header(), BYTE(fill.red), BYTE(fill.green), BYTE(fill.blue));
            const RGBQUAD& e = in.Table()[want.index];
            want.red = e.rgbRed, want.green = e.rgbGreen, want.blue = e.rgbBlue;
          } else if (in.BitCount() == 16) {
            const bool is565 = PictureIs565(in);
            want.red = Through16(fill.red, 5);
            want.green = Through16(fill.green, is565 ? 6 : 5);
            want.blue = Through16(fill.blue, 5);
          } else {
            want.red = fill.red, want.green = fill.green, want.blue = fill.blue;
          }
        }
        if (!(cut.At(x, y) == want))
          return Where("cut-out", x, y) + ": " + ToString(cut.At(x, y)) + " not " + ToString(want);
      }
    return "";
  }

  std::string CheckAutoSelect(HGLOBAL source, const Shape& s, const Pixel& ref, int mode,
                              int tolerance, const ImageHandles& got) {
    PictureView in(source);
    const BuiltShape shape = Build(s, in.Width(), in.Height(), TRUE);
    Keep(shape.mask);
    if (!got.Picture || !got.Mask) return "no pair";
    PictureView cut(got.Picture), mask(got.Mask);
    const int w = shape.rect.right - shape.rect.left + 1,
              h = shape.rect.bottom - shape.rect.top + 1;
    if (cut.Width() != w || cut.Height() != h || mask.Width() != w || mask.Height() != h)
      return "size";
    std::optional<PictureView> shapeView;
    if (shape.mask) shapeView.emplace(shape.mask);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int px = shape.rect.left + x, py = shape.rect.top + y;
        const bool selected = !shapeView || Bit(*shapeView, px, py);
        const Pixel original = in.At(px, py);
        Pixel want = original;
        want.alpha = 0;
        if (!selected) {
          want = Pixel{};
          if (original.index >= 0) {
            want.index = 0;
            want.red = in.Table()[0].rgbRed, want.green = in.Table()[0].rgbGreen;
            want.blue = in.Table()[0].rgbBlue;
          }
        }
        if (!(cut.At(x, y) == want))
          return Where("cut-out", x, y) + ": " + ToString(cut.At(x, y)) + " not " + ToString(want);
        if (Bit(mask, x, y) != (selected && Matches(mode, tolerance, ref, original)))
          return Where("match", x, y) + " of " + ToString(original);
      }
    return "";
  }

  static bool PictureIs565(const PictureView& view) {
    if (view.Header()->biCompression != BI_BITFIELDS) return false;
    const auto* masks = reinterpret_cast<const DWORD*>(view.Header() + 1);
    return masks[0] == 0xF800;
  }
  static std::string Where(const char* what, int x, int y) {
    std::ostringstream out;
    out << what << " (" << x << ", " << y << ")";
    return out.str();
  }
};

// Shapes over a 23 x 17 picture: whole, ellipses and polygons inside and
// outside, one crossing the left and top edges.
std::vector<Shape> Shapes() {
  return {
      {1, {}, {}, TRUE},
      {1, {}, {}, FALSE},
      {3, {}, {3, 2, 19, 14}, TRUE},
      {3, {}, {3, 2, 19, 14}, FALSE},
      {3, {}, {-6, -4, 9, 8}, TRUE},
      {2, {{2, 1}, {20, 5}, {8, 15}, {-3, 9}}, {}, TRUE},
      {2, {{2, 1}, {20, 5}, {8, 15}}, {}, FALSE},
  };
}

TEST_F(ColourPickTest, SelectImageFollowsTheRulesOnEveryDepthAndShape) {
  std::mt19937 random(7);
  for (Layout layout : AllLayouts())
    for (const Shape& shape : Shapes()) {
      HGLOBAL picture = Keep(MakePicture(layout, 23, 17, random()));
      const Pixel fill{-1, int(random() % 256), int(random() % 256), int(random() % 256)};
      const ImageHandles direct = Select(picture, shape, fill.red, fill.green, fill.blue);
      SCOPED_TRACE(NameOf(layout) + " mode " + std::to_string(shape.mode) + " inside " +
                   std::to_string(shape.inside));
      EXPECT_EQ(CheckSelect(picture, shape, fill, direct), "");
      const ImageHandles record =
          Select(picture, shape, fill.red, fill.green, fill.blue, PixelRoute::kRecord);
      EXPECT_EQ(BlockBytes(record.Picture), BlockBytes(direct.Picture));
      EXPECT_EQ(BlockBytes(record.Mask), BlockBytes(direct.Mask));
    }
}

TEST_F(ColourPickTest, AutoSelectFollowsTheRulesOnEveryDepthShapeAndMatchMode) {
  std::mt19937 random(11);
  for (Layout layout : AllLayouts())
    for (const Shape& shape : Shapes())
      for (int mode = 0; mode < 3; ++mode) {
        HGLOBAL picture = Keep(MakePicture(layout, 23, 17, random()));
        // The reference is a pixel of the picture half of the time, so
        // that tolerance 0 finds something.
        Pixel ref = PictureView(picture).At(int(random() % 23), int(random() % 17));
        if (random() % 2)
          ref = Pixel{-1, int(random() % 256), int(random() % 256), int(random() % 256)};
        const int tolerances[] = {0, int(random() % 8), int(random() % 60), 255};
        for (int tolerance : tolerances) {
          SCOPED_TRACE(NameOf(layout) + " mode " + std::to_string(shape.mode) + " inside " +
                       std::to_string(shape.inside) + " match " + std::to_string(mode) +
                       " tolerance " + std::to_string(tolerance) + " ref " + ToString(ref));
          const ImageHandles direct = AutoSelect(picture, shape, ref, mode, tolerance);
          EXPECT_EQ(CheckAutoSelect(picture, shape, ref, mode, tolerance, direct), "");
          const ImageHandles record =
              AutoSelect(picture, shape, ref, mode, tolerance, PixelRoute::kRecord);
          EXPECT_EQ(BlockBytes(record.Picture), BlockBytes(direct.Picture));
          EXPECT_EQ(BlockBytes(record.Mask), BlockBytes(direct.Mask));
        }
      }
}

// Every colour of a cube of levels, so that each match mode's boundaries
// are crossed: the direct route's intervals of blue against the plain test.
TEST_F(ColourPickTest, MatchIntervalsAgreeWithThePlainTestOverAColourCube) {
  std::vector<int> levels;
  for (int v = 0; v < 256; v += 5) levels.push_back(v);
  levels.push_back(255);
  const int n = int(levels.size());
  HGLOBAL cube = Keep(MakeBlankPicture(Layout::kRgb24, n * n, n));
  {
    PictureView view(cube);
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n * n; ++x) {
        auto* p = const_cast<std::uint8_t*>(view.Row(y)) + 3 * x;
        p[2] = BYTE(levels[x / n]), p[1] = BYTE(levels[x % n]), p[0] = BYTE(levels[y]);
      }
  }
  const Shape whole{1, {}, {}, TRUE};
  for (int mode = 0; mode < 3; ++mode)
    for (const Pixel& ref : {Pixel{-1, 0, 0, 0}, Pixel{-1, 255, 255, 255}, Pixel{-1, 200, 37, 90},
                             Pixel{-1, 17, 240, 128}})
      for (int tolerance : {0, 1, 3, 17, 100}) {
        SCOPED_TRACE("match " + std::to_string(mode) + " ref " + ToString(ref) + " tolerance " +
                     std::to_string(tolerance));
        EXPECT_EQ(CheckAutoSelect(cube, whole, ref, mode, tolerance,
                                  AutoSelect(cube, whole, ref, mode, tolerance)),
                  "");
      }
}

TEST_F(ColourPickTest, WorkedCases) {
  // White has Y = 255 (255 x 1.000001 truncated); greys have Cr = Cb = 128.
  EXPECT_EQ(TruncatedLevels(255, 255, 255).y, 255);
  HGLOBAL picture = Keep(MakeBlankPicture(Layout::kRgb24, 4, 1));
  {
    PictureView view(picture);
    const BYTE colours[4][3] = {{255, 255, 255}, {9, 9, 9}, {10, 9, 9}, {90, 90, 90}};
    auto* p = const_cast<std::uint8_t*>(view.Row(0));
    for (const auto& c : colours) *p++ = c[2], *p++ = c[1], *p++ = c[0];
  }
  const Shape whole{1, {}, {}, TRUE};
  const auto bits = [&](Pixel ref, int mode, int tolerance) {
    PictureView mask(AutoSelect(picture, whole, ref, mode, tolerance).Mask);
    std::string s;
    for (int x = 0; x < 4; ++x) s += Bit(mask, x, 0) ? '#' : '.';
    return s;
  };
  EXPECT_EQ(bits({-1, 9, 9, 9}, 0, 0), ".#..");
  EXPECT_EQ(bits({-1, 9, 9, 9}, 0, 1), ".##.");
  EXPECT_EQ(bits({-1, 128, 0, 77}, 0, 255), "####");
  // Every grey matches a grey reference in chrominance; (10, 9, 9) has
  // Cr = trunc(5 - 3.76821 - 0.73179 + 128) = 128 (0.5 above), Cb =
  // trunc(-1.6874 - 2.98134 + 4.5 + 128) = 127.
  EXPECT_EQ(bits({-1, 200, 200, 200}, 1, 0), "##.#");
  EXPECT_EQ(bits({-1, 200, 200, 200}, 1, 1), "####");
  // Luminance: 9 x 1.000001 = 9.000009 -> 9; (10, 9, 9): 2.98912 + 5.279499 +
  // 1.030302 = 9.298921 -> 9.
  EXPECT_EQ(bits({-1, 9, 9, 9}, 2, 0), ".##.");

  // Select with mode 1: inside copies everything with an all-ones mask,
  // outside fills everything with an all-zero mask.
  const ImageHandles in = Select(picture, whole, 1, 2, 3);
  EXPECT_EQ(FirstDifference(picture, in.Picture), "");
  const ImageHandles out = Select(picture, Shape{1, {}, {}, FALSE}, 1, 2, 3);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(PictureView(out.Picture).At(x, 0), (Pixel{-1, 1, 2, 3, 0}));
    EXPECT_TRUE(Bit(PictureView(in.Mask), x, 0));
    EXPECT_FALSE(Bit(PictureView(out.Mask), x, 0));
  }

  // The caller's vertices are moved by the cut-out's corner.
  HGLOBAL big = Keep(MakePicture(Layout::kRgb32, 20, 20, 3));
  POINT triangle[3] = {{5, 4}, {15, 6}, {9, 17}};
  const ImageHandles cut = KeepPair(
      UnpackHandles(QVSelectImage(big, 2, triangle, 3, nullptr, TRUE, 0, 0, 0, TRUE, 0, 0, 0)));
  EXPECT_EQ(PictureView(cut.Picture).Width(), 11);
  EXPECT_EQ(PictureView(cut.Picture).Height(), 14);
  EXPECT_EQ(triangle[0].x, 0);
  EXPECT_EQ(triangle[0].y, 0);
  EXPECT_EQ(triangle[1].x, 10);
  EXPECT_EQ(triangle[2].y, 13);
  EXPECT_EQ(GetErrorStatus(), 0);
}

TEST_F(ColourPickTest, RefusalsFailuresAndCancels) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 9, 7, 5));
  const RECT ellipse{1, 1, 8, 6}, outside{20, 20, 30, 30}, flat{2, 3, 2, 6};
  const auto refusal = [&](auto call) {
    SetErrorStatus(0);
    const ImageHandles pair = UnpackHandles(call());
    EXPECT_EQ(pair.Picture, nullptr);
    EXPECT_EQ(pair.Mask, nullptr);
    return GetErrorStatus();
  };
  for (BYTE mode : {0, 4}) {
    EXPECT_EQ(refusal([&] {
                return QVSelectImage(picture, mode, nullptr, 0, &ellipse, 1, 0, 0, 0, 1, 0, 0, 0);
              }),
              5);
    EXPECT_EQ(refusal([&] {
                return QVAutoSelectImage(picture, mode, nullptr, 0, &ellipse, 1, 0, 0, 0, 0, 9, 1,
                                         0, 0, 0);
              }),
              5);
  }
  EXPECT_EQ(refusal([&] {
              return QVAutoSelectImage(picture, 1, nullptr, 0, nullptr, 1, 0, 0, 0, 3, 9, 1, 0, 0,
                                       0);
            }),
            5);
  EXPECT_EQ(refusal([&] {
              return QVSelectImage(nullptr, 1, nullptr, 0, nullptr, 1, 0, 0, 0, 1, 0, 0, 0);
            }),
            7);
  EXPECT_EQ(refusal([&] {
              return QVAutoSelectImage(nullptr, 1, nullptr, 0, nullptr, 1, 0, 0, 0, 0, 9, 1, 0, 0,
                                       0);
            }),
            7);
  for (const RECT* r : {&outside, &flat, static_cast<const RECT*>(nullptr)}) {
    EXPECT_EQ(
        refusal([&] { return QVSelectImage(picture, 3, nullptr, 0, r, 1, 0, 0, 0, 1, 0, 0, 0); }),
        5);
    EXPECT_EQ(refusal([&] {
                return QVAutoSelectImage(picture, 3, nullptr, 0, r, 1, 0, 0, 0, 0, 9, 1, 0, 0, 0);
              }),
              5);
  }
  // A shape far beyond the picture asks for nothing before it is refused.
  const RECT far{1 << 30, 0, (1 << 30) + 5, 5};
  const long allocations = QvxMemAllocCalls();
  EXPECT_EQ(
      refusal([&] { return QVSelectImage(picture, 3, nullptr, 0, &far, 1, 0, 0, 0, 1, 0, 0, 0); }),
      5);
  EXPECT_EQ(QvxMemAllocCalls(), allocations);
  // The Ex twins store the failed pair and answer 0.
  ImageHandles out{picture, picture};
  EXPECT_EQ(QVSelectImageEx(picture, &out, 0, nullptr, 0, nullptr, 1, 0, 0, 0, 1, 0, 0, 0), FALSE);
  EXPECT_EQ(out.Picture, nullptr);
  out = {picture, picture};
  EXPECT_EQ(
      QVAutoSelectImageEx(picture, &out, 1, nullptr, 0, nullptr, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0),
      TRUE);
  Keep(out.Picture), Keep(out.Mask);
  EXPECT_NE(out.Mask, nullptr);

  // Every block of every route fails cleanly, and every row can cancel.
  POINT points[3] = {{1, 1}, {7, 2}, {3, 6}};
  for (Layout layout : {Layout::kRgb24, Layout::kRgb32, Layout::kPalette4, Layout::kGrey8}) {
    HGLOBAL p = Keep(MakePicture(layout, 9, 7, 3));
    for (BYTE mode : {1, 2, 3}) {
      const auto first = [](ImageHandles pair) {
        if (pair.Mask) GlobalFree(pair.Mask);
        return pair.Picture;
      };
      const PictureCall select = [&, mode] {
        POINT moved[3] = {points[0], points[1], points[2]};
        return first(
            UnpackHandles(QVSelectImage(p, mode, moved, 3, &ellipse, 1, 4, 5, 6, 1, 0, 0, 0)));
      };
      const PictureCall pick = [&, mode] {
        POINT moved[3] = {points[0], points[1], points[2]};
        ImageHandles pair{};
        QVAutoSelectImageEx(p, &pair, mode, moved, 3, &ellipse, 0, 4, 5, 6, 1, 30, 1, 0, 0, 0);
        return first(pair);
      };
      // A lock failing inside the shape drawing leaves the drawing's 2.
      ExpectCleanFailures(select, {2, 3});
      ExpectCleanFailures(pick, {2, 3});
      ExpectCleanCancels(select);
      ExpectCleanCancels(pick);
    }
  }
  QvxComSetDlgOpenHandler([](void*, DWORD, DWORD, DWORD) -> BOOL { return FALSE; }, nullptr);
  EXPECT_EQ(refusal([&] {
              return QVSelectImage(picture, 1, nullptr, 0, nullptr, 1, 0, 0, 0, 0, 0, 0, 0);
            }),
            2);
  QvxComSetDlgOpenHandler(nullptr, nullptr);
}

}  // namespace
}  // namespace qvx::test
