// QVResize, QVRotation (and their Ex twins), ResizeColorBit and
// QVCutRectImage against their rules, worked here, on random pictures of
// every layout, the record path against the fast one; worked examples,
// masks, progress, refusals and the fixture's failure and cancel runs.
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <random>

#include "geometry/GeometryReference.h"
#include "geometry/Resize.h"
#include "geometry/ResizeColorBit.h"
#include "geometry/Rotation.h"

namespace qvx::test {
namespace {

int Truncate(double v) { return static_cast<int>(std::trunc(v)); }

// Nearest pixel, top-left corners aligned, alpha 0.
Grid NearestResize(const Grid& source, int width, int height) {
  Grid out = source.Blank(width, height);
  const double rx = static_cast<double>(source.width) / width;
  const double ry = static_cast<double>(source.height) / height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      out.At(x, y) = source.At(std::clamp(Rnd(x * rx), 0, source.width - 1),
                               std::clamp(Rnd(y * ry), 0, source.height - 1));
      out.At(x, y).alpha = 0;
    }
  return out;
}

// Box averages of the w x h area at (left, top) onto width x height: spans
// from rnd(i * ratio) to rnd((i + 1) * ratio), clamped to the area, at least
// one pixel; the truncated means stored as Nearest does.
Grid BoxAverage(const Grid& source, int left, int top, int w, int h, int width, int height) {
  Grid out = source.Blank(width, height);
  const auto span = [](int i, double ratio, int size, int& from, int& to) {
    from = std::min(Rnd(i * ratio), size - 1);
    to = std::max(std::min(Rnd((i + 1) * ratio), size), from + 1);
  };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      int x0, x1, y0, y1;
      span(x, double(w) / width, w, x0, x1);
      span(y, double(h) / height, h, y0, y1);
      long r = 0, g = 0, b = 0;
      for (int sy = y0; sy < y1; ++sy)
        for (int sx = x0; sx < x1; ++sx) {
          const Pixel& p = source.At(left + sx, top + sy);
          r += p.red, g += p.green, b += p.blue;
        }
      const long n = long{x1 - x0} * (y1 - y0);
      out.At(x, y) = source.Nearest(int(r / n), int(g / n), int(b / n));
    }
  return out;
}

// Smoothing: box averages onto the smaller size in each direction, then
// bilinear growth unless both directions shrank.
Grid SmoothResize(const Grid& source, int width, int height) {
  Grid g = source;
  if (width < source.width || height < source.height)
    g = BoxAverage(source, 0, 0, source.width, source.height, std::min(width, source.width),
                   std::min(height, source.height));
  if (width < source.width && height < source.height) return g;
  Grid out = g.Blank(width, height);
  const int sw = g.width, sh = g.height;
  // Past the last pair of columns (rows) the second of the pair is taken
  // whole; a single column (row) is taken as it is.
  const auto place = [](double f, int size, int& i, double& d) {
    i = static_cast<int>(f), d = f - i;
    if (i > size - 2) i = size < 2 ? 0 : size - 2, d = size < 2 ? 0 : 1.0;
  };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      int ix, iy;
      double dx, dy;
      place(x * (static_cast<double>(sw) / width), sw, ix, dx);
      place(y * (static_cast<double>(sh) / height), sh, iy, dy);
      const auto at = [&](int px, int py) { return px < sw && py < sh ? g.At(px, py) : Pixel{}; };
      const Pixel c = Blend(dx, dy, at(ix, iy), at(ix + 1, iy), at(ix, iy + 1), at(ix + 1, iy + 1));
      out.At(x, y) = g.Stored(c.red, c.green, c.blue);
    }
  return out;
}

// Rotation by `angle` hundredths of a degree after the optional mirror and
// flip, with the background colour (red, green, blue).
struct RotationArgs {
  int angle = 0;
  bool mirror = false, flip = false, smooth = false, keepSize = false;
  int red = 0, green = 0, blue = 0;
};

Grid Rotate(const Grid& source, const RotationArgs& args) {
  const int a = (args.angle % 36000 + 36000) % 36000;
  const int w = source.width, h = source.height;
  Grid g = source;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      g.At(x, y) = source.At(args.mirror ? w - 1 - x : x, args.flip ? h - 1 - y : y);
      if (args.mirror) g.At(x, y).alpha = 0;
    }
  if (args.flip && !g.padding.empty()) {
    // Flipping moves whole rows, their padding with them.
    const std::size_t perRow = g.padding.size() / h;
    for (int y = 0; y < h; ++y)
      std::copy_n(source.padding.begin() + (h - 1 - y) * perRow, perRow,
                  g.padding.begin() + y * perRow);
  }
  const Pixel whole = g.Nearest(args.red, args.green, args.blue);
  const auto withoutAlpha = [](Pixel p) { return p.alpha = 0, p; };
  if (a == 0) return g;
  if (a % 9000 == 0) {
    // Quarter turns swap the sides, or with the size kept centre the turned
    // picture in the old frame.
    const bool quarter = a != 18000, kept = quarter && args.keepSize;
    Grid out = quarter && !kept ? g.Blank(h, w) : g.Blank(w, h);
    const int d = kept ? h - w : 0, d2 = d / 2, d1 = d - d2;
    for (int y = 0; y < out.height; ++y)
      for (int x = 0; x < out.width; ++x) {
        const int sx = !quarter ? w - 1 - x : a == 9000 ? d1 - y + w - 1 : y - d1;
        const int sy = !quarter ? h - 1 - y : a == 9000 ? d2 + x : h - 1 - x - d2;
        const bool in = sx >= 0 && sx < w && sy >= 0 && sy < h;
        out.At(x, y) = !in ? whole : kept ? withoutAlpha(g.At(sx, sy)) : g.At(sx, sy);
      }
    return out;
  }
  // Coordinates centred on the picture (the middle pixel, or the one before
  // the middle of an even size); without keepSize the turned corners pushed
  // one unit outwards give the frame.
  const double t = a * 0.01 * 0.017453292519943295;
  const int fl = -(w / 2), ft = -(h / 2), fr = w % 2 ? w / 2 : w / 2 - 1,
            fb = h % 2 ? h / 2 : h / 2 - 1;
  int rl = fl, rt = ft, rr = fr, rb = fb;
  if (!args.keepSize) {
    const double cn = std::cos(-t), sn = std::sin(-t);
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    for (const auto& [cx, cy] : {std::pair{fl, ft}, {fl, fb}, {fr, fb}, {fr, ft}}) {
      x0 = std::min(x0, cx * cn - cy * sn), x1 = std::max(x1, cx * cn - cy * sn);
      y0 = std::min(y0, cx * sn + cy * cn), y1 = std::max(y1, cx * sn + cy * cn);
    }
    const auto out = [](double v) { return Truncate(v < 0 ? v - 1.0 : v + 1.0); };
    rl = out(x0), rt = out(y0), rr = out(x1), rb = out(y1);
  }
  Grid result = g.Blank(rr - rl + 1, rb - rt + 1);
  const bool smooth = args.smooth && (g.bits > 8 || g.grey);
  const Pixel bgColour{-1, args.red, args.green, args.blue, 0};
  const double c = std::cos(t), s = std::sin(t);
  for (int y = rt; y <= rb; ++y)
    for (int x = rl; x <= rr; ++x) {
      Pixel& out = result.At(x - rl, y - rt);
      const double sx = x * c - y * s, sy = x * s + y * c;
      const int ix = Truncate(sx), iy = Truncate(sy);
      if (ix < fl || ix > fr || iy < ft || iy > fb) {
        out = smooth ? g.Stored(args.red, args.green, args.blue) : whole;
        continue;
      }
      const int px = ix - fl, py = iy - ft;
      if (!smooth) {
        out = withoutAlpha(g.At(px, py));
        continue;
      }
      const int hx = px + (sx > 0 ? 1 : -1), vy = py + (sy > 0 ? 1 : -1);
      const auto at = [&](int qx, int qy) {
        return qx >= 0 && qx < w && qy >= 0 && qy < h ? g.At(qx, qy) : bgColour;
      };
      const Pixel blend = Blend(std::fabs(sx - ix), std::fabs(sy - iy), g.At(px, py), at(hx, py),
                                at(px, vy), at(hx, vy));
      out = g.Stored(blend.red, blend.green, blend.blue);
    }
  return result;
}

class GeometryTest : public QvxTest {
 protected:
  // Keeps both pictures of a result pair until the end of the test.
  ImageHandles KeepPair(const ImageHandles& out) {
    Keep(out.Picture);
    Keep(out.Mask);
    return out;
  }
  ImageHandles Resize(HGLOBAL picture, HGLOBAL mask, int width, int height, BOOL smooth) {
    ImageHandles in{picture, mask};
    return KeepPair(UnpackHandles(QVResize(&in, width, height, smooth, TRUE, 0, 0, 0)));
  }
  ImageHandles Rotate(HGLOBAL picture, HGLOBAL mask, const RotationArgs& r) {
    ImageHandles in{picture, mask};
    return KeepPair(UnpackHandles(QVRotation(&in, r.angle, r.mirror, r.flip, r.smooth, r.red,
                                             r.green, r.blue, r.keepSize, TRUE, 0, 0, 0)));
  }
  // The fast pair against the rules (no mask if none went in), the record path's picture too.
  void ExpectPair(const ImageHandles& fast, const Grid& picture, const std::optional<Grid>& mask,
                  const ImageHandles& generic, const std::string& where) {
    KeepPair(generic);
    EXPECT_EQ(Mismatch(picture, fast.Picture), "") << where;
    EXPECT_EQ(mask ? Mismatch(*mask, fast.Mask) : (fast.Mask ? "a mask came back" : ""), "")
        << where << ": mask";
    EXPECT_EQ(BlockBytes(fast.Picture), BlockBytes(generic.Picture))
        << where << ": record path differs, " << FirstDifference(generic.Picture, fast.Picture);
  }
};

// The picture of a pair, its mask freed: for the fixture's checks.
HGLOBAL PictureOf(const ImageHandles& out) {
  if (out.Mask) GlobalFree(out.Mask);
  return out.Picture;
}
// The plain export's picture, or the Ex twin's, which must answer TRUE
// exactly when it wrote a picture.
template <auto Plain, auto Ex, typename... Args>
HGLOBAL EitherTwin(bool ex, ImageHandles* in, Args... args) {
  if (!ex) return PictureOf(UnpackHandles(Plain(in, args...)));
  ImageHandles out{reinterpret_cast<HGLOBAL>(1), reinterpret_cast<HGLOBAL>(1)};
  const BOOL answer = Ex(in, &out, args...);
  EXPECT_EQ(answer, out.Picture != nullptr);
  return PictureOf(out);
}

TEST_F(GeometryTest, WorkedExamples) {
  // Row y of a picture of blue values (red = green = 0), resized.
  using Blues = std::vector<std::vector<int>>;
  const auto blues = [&](const Blues& rows, int w, int h, BOOL smooth, int y) {
    HGLOBAL picture =
        Keep(PaintedPicture(int(rows[0].size()), int(rows.size()), [&](int px, int py) {
          return Colour{0, 0, rows[py][px]};
        }));
    PictureView resized(Resize(picture, nullptr, w, h, smooth).Picture);
    std::vector<int> row;
    for (int x = 0; x < w; ++x) row.push_back(resized.At(x, y).blue);
    return row;
  };
  // 4 x 1 to 2 x 1 averages pixels 0-1 and 2-3 with truncation.
  EXPECT_EQ(blues({{10, 11, 200, 101}}, 2, 1, TRUE, 0), (std::vector{10, 150}));
  // 2 x 2 to 4 x 4: columns 2 and 3 map to 1 and 1.5, past the last pair, so
  // they are the right-hand column exactly (rows likewise); column 1 is half
  // and half: 25.5 and 150.5 round up, (50 + 150.5) / 2 = 100.25 down.
  const Blues square = {{0, 100}, {51, 250}};
  EXPECT_EQ(blues(square, 4, 4, TRUE, 0), (std::vector{0, 50, 100, 100}));
  EXPECT_EQ(blues(square, 4, 4, TRUE, 1), (std::vector{26, 100, 175, 175}));
  EXPECT_EQ(blues(square, 4, 4, TRUE, 3), (std::vector{51, 151, 250, 250}));
  // Nearest pixel aligns the top-left corners: 2 -> 4 maps 0, 1, 1, 1.
  EXPECT_EQ(blues(square, 4, 1, FALSE, 0), (std::vector{0, 100, 100, 100}));
  // Turned by 45 degrees, the corners of a 100 x 100 picture go to x'
  // -70.71..69.30 and y' -70..70, pushed one unit out: -71..70 by -71..71,
  // 142 x 143; the corners of the result are background.
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb32, 100, 100, 1));
  PictureView turned(
      Rotate(picture, nullptr, {4500, false, false, false, false, 10, 200, 30}).Picture);
  EXPECT_EQ(turned.Width(), 142);
  EXPECT_EQ(turned.Height(), 143);
  for (const auto& [x, y] : {std::pair{0, 0}, {141, 0}, {0, 142}, {141, 142}, {10, 10}})
    EXPECT_EQ(turned.At(x, y), (Pixel{-1, 10, 200, 30, 0})) << x << ", " << y;
}

TEST_F(GeometryTest, ResizeMatchesTheRulesAndTheRecordPathOnRandomPicturesOfEveryLayout) {
  // Sizes that shrink, grow, mix both, keep one dimension or both, start
  // from one pixel; then random ones at awkward widths.
  std::vector<std::array<int, 4>> sizes = {
      {13, 9, 5, 4},  {5, 4, 13, 11}, {13, 4, 6, 9}, {6, 9, 13, 4}, {9, 7, 9, 15},
      {9, 7, 4, 7},   {1, 6, 5, 3},   {7, 1, 3, 4},  {2, 2, 1, 1},  {31, 3, 10, 2},
      {4, 30, 33, 7}, {3, 3, 1, 8},   {7, 5, 7, 5},  {1, 1, 5, 3}};
  std::mt19937 random(77);
  for (int n = 0; n < 6; ++n)
    sizes.push_back({1 + int(random() % 37), 1 + int(random() % 23), 1 + int(random() % 41),
                     1 + int(random() % 29)});
  for (Layout layout : AllLayouts())
    for (const auto& [w, h, nw, nh] : sizes)
      for (BOOL smooth : {FALSE, TRUE}) {
        HGLOBAL picture = Keep(MakePicture(layout, w, h, random()));
        HGLOBAL mask = random() % 2 ? Keep(RandomMask(random, w, h)) : nullptr;
        const Grid source = Decode(picture);
        const bool blends = smooth && (source.bits > 8 || source.grey);
        // The mask travels by nearest pixel.
        ExpectPair(
            Resize(picture, mask, nw, nh, smooth),
            blends ? SmoothResize(source, nw, nh) : NearestResize(source, nw, nh),
            mask ? std::optional(NearestResize(Decode(mask), nw, nh)) : std::nullopt,
            ResizeImages(picture, mask, nw, nh, smooth, kWholeProgress, TRUE, PixelRoute::kRecord),
            Describe(NameOf(layout), w, h, "->", nw, nh, smooth, "mask", mask != nullptr));
      }
}

// 24- and 32-bit shrinks sum byte columns 16 at a time: widths on both
// sides of that step, boxes of up to 256 pixels (divided by a multiply) and
// more (divided), of more rows than 16-bit sums hold, and areas that start
// inside the picture.
TEST_F(GeometryTest, ByteWiseBoxShrinkMatchesTheRulesAndTheRecordPath) {
  struct Case {
    int w, h, nw, nh;
  };
  const Case shrinks[] = {{15, 9, 5, 3},   {16, 12, 5, 4},  {17, 7, 6, 2},    {48, 48, 3, 3},
                          {64, 32, 4, 2},  {68, 48, 4, 3},  {45, 600, 7, 1},  {33, 520, 11, 2},
                          {300, 4, 1, 1},  {101, 77, 34, 26}, {90, 31, 89, 30}, {7, 300, 2, 150}};
  std::mt19937 random(31);
  for (Layout layout : {Layout::kRgb24, Layout::kRgb32})
    for (const Case& c : shrinks) {
      HGLOBAL picture = Keep(MakePicture(layout, c.w, c.h, random()));
      const Grid source = Decode(picture);
      ExpectPair(Resize(picture, nullptr, c.nw, c.nh, TRUE), SmoothResize(source, c.nw, c.nh),
                 std::nullopt,
                 ResizeImages(picture, nullptr, c.nw, c.nh, TRUE, kWholeProgress, TRUE,
                              PixelRoute::kRecord),
                 Describe(NameOf(layout), c.w, c.h, "->", c.nw, c.nh));
      // The same shrink of an inner rectangle, and of one reaching past
      // the picture's right and bottom edges.
      for (const auto& [left, top] : {std::pair{3, 2}, {c.w / 2, c.h / 3}}) {
        const int right = left + c.w / 2, bottom = top + c.h / 2 + 1;
        const int l = std::min(left, c.w - 1), t = std::min(top, c.h - 1);
        const int r = std::min(right, c.w - 1), b = std::min(bottom, c.h - 1);
        const int width = std::max(1, (r - l + 1) / 3), height = std::max(1, (b - t + 1) / 2);
        const std::string where = Describe(NameOf(layout), c.w, c.h, "rect", left, top, right,
                                           bottom, "->", width, height);
        HGLOBAL result = Keep(ResizeColorBit(picture, left, top, right, bottom, width, height));
        EXPECT_EQ(Mismatch(BoxAverage(source, l, t, r - l + 1, b - t + 1, width, height), result),
                  "")
            << where;
        EXPECT_EQ(BlockBytes(result), BlockBytes(Keep(ResizeRectangle(picture, left, top, right,
                                                                      bottom, width, height,
                                                                      PixelRoute::kRecord))))
            << where;
      }
    }
}

// ResizeColorBit box-averages a rectangle clamped into the picture;
// QVCutRectImage copies one, clamped and with reversed corners swapped.
TEST_F(GeometryTest, ResizeColorBitAndCutRectImageMatchTheirRulesOnRandomRectangles) {
  std::mt19937 random(12);
  for (Layout layout : AllLayouts())
    for (int n = 0; n < 25; ++n) {
      const int w = 2 + random() % 36, h = 2 + random() % 20;
      HGLOBAL picture = Keep(MakePicture(layout, w, h, random()));
      const Grid source = Decode(picture);
      const auto at = [&](int size) { return int(random() % (size + 6)) - 3; };
      RECT rect{at(w), at(h), at(w), at(h)};
      int l = std::clamp<int>(rect.left, 0, w - 1), t = std::clamp<int>(rect.top, 0, h - 1);
      int r = std::clamp<int>(rect.right, 0, w - 1), b = std::clamp<int>(rect.bottom, 0, h - 1);
      if (l > r) std::swap(l, r);
      if (t > b) std::swap(t, b);
      Grid cut = source.Blank(r - l + 1, b - t + 1);
      for (int y = 0; y < cut.height; ++y)
        for (int x = 0; x < cut.width; ++x) cut.At(x, y) = source.At(l + x, t + y);
      EXPECT_EQ(Mismatch(cut, Keep(QVCutRectImage(picture, &rect, TRUE, 0, 0, 0))), "")
          << Describe(NameOf(layout), w, h, "cut", rect.left, rect.top, rect.right, rect.bottom);
      if (layout == Layout::kGrey4 || layout == Layout::kGrey8) continue;  // refused
      const int left = int(random() % (w + 4)) - 2, top = int(random() % (h + 4)) - 2;
      const int right = left + 1 + random() % w, bottom = top + 1 + random() % h;
      const int width = 1 + random() % (n < 20 ? w : 2 * w),
                height = 1 + random() % (n < 20 ? h : 2 * h);
      SetErrorStatus(42);
      HGLOBAL result = Keep(ResizeColorBit(picture, left, top, right, bottom, width, height));
      EXPECT_EQ(GetErrorStatus(), 42) << "success leaves the status";
      l = std::clamp(left, 0, w - 1), t = std::clamp(top, 0, h - 1);
      r = std::clamp(right, 0, w - 1), b = std::clamp(bottom, 0, h - 1);
      const std::string where =
          Describe(NameOf(layout), w, h, "rect", left, top, right, bottom, "->", width, height);
      EXPECT_EQ(Mismatch(BoxAverage(source, l, t, r - l + 1, b - t + 1, width, height), result), "")
          << where;
      HGLOBAL generic = Keep(
          ResizeRectangle(picture, left, top, right, bottom, width, height, PixelRoute::kRecord));
      EXPECT_EQ(BlockBytes(result), BlockBytes(generic)) << where;
    }
}

TEST_F(GeometryTest, ResizeColorBitAndCutRectImageRefusalsFailuresAndCancels) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 10, 10, 1));
  HGLOBAL grey = Keep(MakePicture(Layout::kGrey8, 10, 10, 1));
  HGLOBAL bits = Keep(MakeMask({"#.#", ".#."}));
  HGLOBAL tiny = Keep(GlobalAlloc(GHND, 20));
  const auto status = [](HGLOBAL p, int left, int top, int right, int bottom, int w, int h) {
    return RefusalOf([&] {
      SetErrorStatus(42);
      return ResizeColorBit(p, left, top, right, bottom, w, h);
    });
  };
  // Silent refusals leave the status as it was (42).
  EXPECT_EQ(status(picture, 3, 0, 3, 9, 2, 2), 42);  // one column
  EXPECT_EQ(status(picture, 0, 4, 9, 4, 2, 2), 42);  // one row
  EXPECT_EQ(status(picture, 5, 0, 2, 9, 2, 2), 42);  // reversed
  EXPECT_EQ(status(nullptr, 0, 0, 9, 9, 2, 2), 42);
  EXPECT_EQ(status(grey, 0, 0, 9, 9, 2, 2), 42);
  EXPECT_EQ(status(bits, 0, 0, 2, 1, 1, 1), 42);
  EXPECT_EQ(status(picture, 0, 0, 9, 9, 0, 2), 5);
  EXPECT_EQ(status(tiny, 0, 0, 9, 9, 2, 2), 7);
  for (Layout layout : {Layout::kRgb24, Layout::kPalette8}) {
    HGLOBAL p = Keep(MakePicture(layout, 12, 9, 4));
    // A lock failing in the grey test leaves the status as it was.
    ExpectCleanFailures(
        [&] {
          SetErrorStatus(42);
          return ResizeColorBit(p, 1, 1, 10, 8, 4, 3);
        },
        {3, 42});
  }
  RECT rect{1, 1, 6, 5};
  EXPECT_EQ(RefusalOf([&] { return QVCutRectImage(nullptr, &rect, TRUE, 0, 0, 0); }), 7);
  HGLOBAL palette = Keep(MakePicture(Layout::kPalette4, 9, 7, 2));
  // No rectangle: the corner pixel.
  EXPECT_EQ(PictureView(Keep(QVCutRectImage(palette, nullptr, TRUE, 0, 0, 0))).Width(), 1);
  const auto cut = [&] { return QVCutRectImage(palette, &rect, TRUE, 0, 0, 0); };
  ExpectCleanFailures(cut);
  EXPECT_EQ(Progress(ExpectCleanCancels(cut)), Progress({{5}}));
}

TEST_F(GeometryTest, RotationMatchesTheRulesAndTheRecordPathOnRandomPicturesOfEveryLayout) {
  std::mt19937 random(21);
  const int angles[] = {0, 9000, 18000, 27000, -9000, 4500, 3000, 100, 35999, 13333, 22500, 36000};
  for (Layout layout : AllLayouts())
    for (int n = 0; n < 30; ++n) {
      RotationArgs r;
      r.angle = n < 12 ? angles[n] : int(random() % 80000) - 40000;
      r.mirror = random() % 3 == 0;
      r.flip = random() % 3 == 0;
      r.smooth = random() % 2;
      r.keepSize = random() % 2;
      r.red = random() % 256, r.green = random() % 256, r.blue = random() % 256;
      const int w = 1 + random() % (n % 2 ? 33 : 14), h = 1 + random() % 11;
      HGLOBAL picture = Keep(MakePicture(layout, w, h, random()));
      HGLOBAL mask = random() % 2 ? Keep(RandomMask(random, w, h)) : nullptr;
      // The mask turns the same way over a black background, unsmoothed.
      RotationArgs maskArgs = r;
      maskArgs.red = maskArgs.green = maskArgs.blue = 0;
      maskArgs.smooth = false;
      ExpectPair(Rotate(picture, mask, r), qvx::test::Rotate(Decode(picture), r),
                 mask ? std::optional(qvx::test::Rotate(Decode(mask), maskArgs)) : std::nullopt,
                 RotateImages(picture, mask, r.angle, r.mirror, r.flip, r.smooth, r.red, r.green,
                              r.blue, r.keepSize, TRUE, PixelRoute::kRecord),
                 Describe(NameOf(layout), w, h, "angle", r.angle, "mirror", r.mirror, "flip",
                          r.flip, "smooth", r.smooth, "keep", r.keepSize, "mask", mask != nullptr));
    }
}

// Quarter and half turns and mirrors of 24- and 32-bit rows move several
// pixels per step: every width up to past the steps, with every mirror and
// flip, both sizes of result, with and without a mask.
TEST_F(GeometryTest, TurnsAndMirrorsOfTrueColourRowsMatchTheRulesAndTheRecordPathAtEveryWidth) {
  std::mt19937 random(44);
  for (Layout layout : {Layout::kRgb24, Layout::kRgb32})
    for (int w = 1; w <= 40; ++w) {
      RotationArgs r;
      r.angle = w % 4 == 0 ? 9000 : w % 4 == 2 ? 27000 : 18000;
      r.mirror = (w / 4) % 2 == 1;
      r.flip = (w / 8) % 2 == 1;
      r.keepSize = w % 3 == 0;
      r.red = 7, r.green = 77, r.blue = 177;
      const int h = 1 + random() % 6;
      HGLOBAL picture = Keep(MakePicture(layout, w, h, random()));
      HGLOBAL mask = w % 5 == 0 ? Keep(RandomMask(random, w, h)) : nullptr;
      RotationArgs maskArgs = r;
      maskArgs.red = maskArgs.green = maskArgs.blue = 0;
      ExpectPair(Rotate(picture, mask, r), qvx::test::Rotate(Decode(picture), r),
                 mask ? std::optional(qvx::test::Rotate(Decode(mask), maskArgs)) : std::nullopt,
                 RotateImages(picture, mask, r.angle, r.mirror, r.flip, r.smooth, r.red, r.green,
                              r.blue, r.keepSize, TRUE, PixelRoute::kRecord),
                 Describe(NameOf(layout), w, h, "angle", r.angle, "mirror", r.mirror, "flip",
                          r.flip, "keep", r.keepSize));
    }
}

// Pictures larger than the tiles and bands the general angles are walked
// in: every result pixel still comes out as the rule gives it, at the
// tiles' seams too.
TEST_F(GeometryTest, RotationOfLargePicturesMatchesTheRules) {
  std::mt19937 random(5);
  for (Layout layout : AllLayouts()) {
    const int w = 1100 + int(random() % 150), h = 20 + int(random() % 20);
    HGLOBAL picture = Keep(MakePicture(layout, w, h, random()));
    const Grid source = Decode(picture);
    for (const int angle : {3000, 24100}) {
      RotationArgs r;
      r.angle = angle;
      r.smooth = true;
      r.keepSize = angle == 24100;
      r.red = 200, r.green = 30, r.blue = 90;
      EXPECT_EQ(Mismatch(qvx::test::Rotate(source, r), Rotate(picture, nullptr, r).Picture), "")
          << Describe(NameOf(layout), w, h, "angle", angle);
    }
  }
}

// Rows of general angles go in runs (background, edge pixels whose
// neighbours are tested, interior pixels blended four at a time on one side
// of their neighbours): angles in every quarter and next to the quarter
// turns, where the signs of the positions change along the rows and the
// runs are short, on every layout.
TEST_F(GeometryTest, RotationRunsMatchTheRulesAndTheRecordPathInEveryQuarter) {
  std::mt19937 random(8);
  const int angles[] = {1,     3000,  4500,  8999,  9001,  13500, 17999,
                        18001, 22500, 26999, 27001, 31500, 35999, -12345};
  for (Layout layout : AllLayouts())
    for (const int angle : angles) {
      RotationArgs r;
      r.angle = angle;
      r.smooth = true;
      r.keepSize = angle % 2 == 0;
      r.red = random() % 256, r.green = random() % 256, r.blue = random() % 256;
      const int w = 30 + int(random() % 12), h = 20 + int(random() % 9);
      HGLOBAL picture = Keep(MakePicture(layout, w, h, random()));
      const Grid source = Decode(picture);
      for (const bool smooth : {true, false}) {
        r.smooth = smooth;
        ExpectPair(Rotate(picture, nullptr, r), qvx::test::Rotate(source, r), std::nullopt,
                   RotateImages(picture, nullptr, r.angle, FALSE, FALSE, r.smooth, r.red, r.green,
                                r.blue, r.keepSize, TRUE, PixelRoute::kRecord),
                   Describe(NameOf(layout), w, h, "angle", angle, "smooth", smooth));
      }
    }
}

// Work memory in proportion to the pictures: pictures of great width and
// few rows need no more than their source and results again plus a few
// megabytes (the per-column tables go in chunks), and the results come out
// as the rules give them.
TEST_F(GeometryTest, ResizeWorkMemoryStaysInProportionToThePictures) {
  if (!HasAccounting()) GTEST_SKIP() << "no accounts on this platform";
  struct Case {
    Layout layout;
    int w, h, nw, nh;
    BOOL smooth;
    bool mask;
  };
  const Case cases[] = {
      {Layout::kRgb24, 3, 1, 200000, 1, TRUE, false},     // growing only
      {Layout::kRgb24, 3, 2, 70001, 5, TRUE, false},      // several rows of several chunks
      {Layout::kRgb24, 90000, 1, 70001, 3, TRUE, true},   // shrinking across, growing down
      {Layout::kGrey8, 90000, 2, 69001, 1, TRUE, false},  // shrinking only
      {Layout::kPalette1, 2, 1, 2000000, 1, TRUE, true},  // nearest pixel
      {Layout::kRgb32, 5, 2, 70001, 3, FALSE, false},     // nearest pixel, several rows
  };
  std::mt19937 random(8);
  for (const Case& c : cases) {
    HGLOBAL picture = Keep(MakePicture(c.layout, c.w, c.h, random()));
    HGLOBAL mask = c.mask ? Keep(RandomMask(random, c.w, c.h)) : nullptr;
    QvxMemResetPeakBytes();
    const unsigned long long before = QvxMemPeakBytes();
    const ImageHandles out = Resize(picture, mask, c.nw, c.nh, c.smooth);
    const std::string where = Describe(NameOf(c.layout), c.w, c.h, "->", c.nw, c.nh);
    ASSERT_NE(out.Picture, nullptr) << where;
    const unsigned long long made = GlobalSize(out.Picture) + (out.Mask ? GlobalSize(out.Mask) : 0);
    const unsigned long long pictures = GlobalSize(picture) + (mask ? GlobalSize(mask) : 0) + made;
    EXPECT_LE(QvxMemPeakBytes() - before - made, pictures + (4u << 20)) << where;
    const Grid source = Decode(picture);
    const bool blends = c.smooth && (source.bits > 8 || source.grey);
    EXPECT_EQ(Mismatch(blends ? SmoothResize(source, c.nw, c.nh) : NearestResize(source, c.nw, c.nh),
                       out.Picture),
              "")
        << where;
    if (mask) {
      EXPECT_EQ(Mismatch(NearestResize(Decode(mask), c.nw, c.nh), out.Mask), "") << where;
    }
  }
}

// Every picture and table a resize needs is made before it works on
// anything: a call that runs out of memory at any of its allocations has
// reported no progress (the mask was not resized in vain).
TEST_F(GeometryTest, ResizeRunsOutOfMemoryBeforeItWorks) {
  if (!HasAccounting()) GTEST_SKIP() << "no failure injection on this platform";
  std::mt19937 random(3);
  HGLOBAL picture = Keep(MakePicture(Layout::kGrey8, 30, 8, random()));
  HGLOBAL mask = Keep(RandomMask(random, 30, 8));
  const auto call = [&] {
    ImageHandles in{picture, mask};
    return PictureOf(UnpackHandles(QVResize(&in, 12, 20, TRUE, TRUE, 0, 0, 0)));
  };
  const long first = QvxMemAllocCalls();
  GlobalFree(call());
  const long allocations = QvxMemAllocCalls() - first;
  EXPECT_GE(allocations, 5);  // result, mask, temporary picture and tables
  for (long n = 1; n <= allocations; ++n) {
    QvxMemFailAllocAt(n);
    HGLOBAL result = nullptr;
    const std::vector<ProgressReport> reports = RecordProgress(call, &result);
    QvxMemFailAllocAt(0);
    EXPECT_EQ(result, nullptr) << "allocation " << n;
    EXPECT_TRUE(reports.empty()) << "allocation " << n << " failed after " << reports.size()
                                 << " rows of work";
  }
}

TEST_F(GeometryTest, Refusals) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 6, 4, 1));
  HGLOBAL otherSize = Keep(MakeMask({"#.#.#", "....."}));
  const auto resize = [&](HGLOBAL p, HGLOBAL m, int w, int h, BOOL noDialog = TRUE) {
    ImageHandles in{p, m};
    return RefusalOf(
        [&] { return PictureOf(UnpackHandles(QVResize(&in, w, h, 1, noDialog, 0, 0, 0))); });
  };
  const auto rotate = [&](HGLOBAL p, HGLOBAL m, BOOL noDialog = TRUE) {
    ImageHandles in{p, m};
    return RefusalOf([&] {
      return EitherTwin<QVRotation, QVRotationEx>(0, &in, 3000, 0, 0, 0, 0, 0, 0, 0, noDialog, 0, 0,
                                                  0);
    });
  };
  EXPECT_EQ(resize(picture, nullptr, 0, 5), 5);
  EXPECT_EQ(resize(picture, nullptr, 5, -1), 5);
  EXPECT_EQ(resize(nullptr, nullptr, 5, 5), 7);
  EXPECT_EQ(resize(picture, Keep(MakePicture(Layout::kRgb24, 6, 4, 2)), 5, 5), 7);
  const long allocations = QvxMemAllocCalls();
  EXPECT_EQ(resize(picture, otherSize, 5, 5), 5);
  EXPECT_EQ(QvxMemAllocCalls(), allocations) << "allocated before refusing the mask";
  // A 32-bit result 2^30 + 1 pixels wide has rows of more than 4 GiB and
  // cannot exist, while its 1-bit mask (128 MiB) could: the call fails
  // before any work on the mask, with no progress report.
  HGLOBAL wide = Keep(MakePicture(Layout::kRgb32, 1, 1, 3));
  HGLOBAL dot = Keep(MakeMask({"#"}));
  ImageHandles wideIn{wide, dot};
  const long before = QvxMemAllocCalls();
  const auto reports = RecordProgress([&] {
    return PictureOf(UnpackHandles(QVResize(&wideIn, (1 << 30) + 1, 1, 0, TRUE, 0, 0, 0)));
  });
  EXPECT_TRUE(reports.empty());
  EXPECT_LE(QvxMemAllocCalls() - before, 1) << "the mask was made first";
  EXPECT_EQ(RefusalOf([] { return UnpackHandles(QVResize(nullptr, 3, 3, 1, 1, 0, 0, 0)).Picture; }),
            7);
  EXPECT_EQ(rotate(nullptr, nullptr), 7);
  EXPECT_EQ(rotate(picture, otherSize), 5);
  EXPECT_EQ(rotate(picture, Keep(MakePicture(Layout::kPalette4, 6, 4, 2))), 7);
  QvxComSetDlgOpenHandler([](void*, DWORD, DWORD, DWORD) -> BOOL { return FALSE; }, nullptr);
  EXPECT_EQ(resize(picture, nullptr, 3, 8, FALSE), 2);
  EXPECT_EQ(rotate(picture, nullptr, FALSE), 2);
}

// Progress with a mask: of resizing, the mask's rows, then shrinking and
// growing; of rotation, mirror and flip, then the mask's and picture's rows.
// Both twins of resize and rotation clean up after failures and cancels.
TEST_F(GeometryTest, FailuresCancelsAndProgress) {
  ImageHandles eight{Keep(MakePicture(Layout::kRgb24, 8, 6, 1)),
                     Keep(MakeMask(std::vector<std::string>(6, "#.......")))};
  EXPECT_EQ(Progress(RecordProgress(
                [&] { return EitherTwin<QVResize, QVResizeEx>(0, &eight, 4, 9, 1, 1, 0, 0, 0); })),
            Progress({{9, 0, 50}, {6, 51, 75}, {9, 76, 100}}));
  ImageHandles five{Keep(MakePicture(Layout::kRgb24, 5, 4, 4)),
                    Keep(MakeMask({"#####", ".....", "#####", "....."}))};
  const auto turn = [&] {
    return EitherTwin<QVRotation, QVRotationEx>(0, &five, 4500, 1, 1, 1, 0, 0, 0, 0, 1, 0, 0, 0);
  };
  const int turned = Decode(Keep(turn())).height;
  EXPECT_EQ(Progress(RecordProgress(turn)),
            Progress({{4, 0, 20}, {4, 21, 26}, {turned, 27, 67}, {turned, 68, 100}}));
  HGLOBAL mask = Keep(MakeMask({"#.#.#.#", ".#.#.#.", "##..##.", "..##..#", "#######"}));
  for (Layout layout : {Layout::kRgb24, Layout::kGrey8, Layout::kPalette4, Layout::kPalette1}) {
    ImageHandles in{Keep(MakePicture(layout, 7, 5, 9)), mask};
    std::vector<std::function<HGLOBAL()>> calls;
    for (bool ex : {false, true}) {
      for (const auto& size : {std::pair{3, 9}, {3, 2}, {9, 8}})
        calls.push_back([&in, ex, w = size.first, h = size.second] {
          return EitherTwin<QVResize, QVResizeEx>(ex, &in, w, h, 1, 1, 0, 0, 0);
        });
      for (int angle : {0, 9000, 18000, 3000})
        for (BOOL keep : {FALSE, TRUE})
          calls.push_back([&in, ex, angle, keep] {
            return EitherTwin<QVRotation, QVRotationEx>(ex, &in, angle, 1, 1, 1, 1, 2, 3, keep, 1,
                                                        0, 0, 0);
          });
    }
    for (const auto& call : calls) {
      ExpectCleanFailures(call);
      ExpectCleanCancels(call);
    }
  }
}

}  // namespace
}  // namespace qvx::test
