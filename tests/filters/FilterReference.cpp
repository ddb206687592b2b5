#include "filters/FilterReference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace qvx::test {

Colour ColourOf(const Grid& grid, int x, int y) {
  const Pixel& p = grid.At(x, y);
  return {p.red, p.green, p.blue};
}

Grid ExpectedFilter(const Grid& source, const WorkRect& rect, const Selected& selected,
                    const PixelRule& rule) {
  Grid out = source;
  for (int y = rect.top; y <= rect.bottom; ++y)
    for (int x = rect.left; x <= rect.right; ++x) {
      if (!selected(x, y)) continue;
      const std::optional<Colour> c = rule(x, y);
      if (!c) continue;
      Pixel stored = source.Stored(c->r, c->g, c->b);
      if (source.grey) {
        stored.index = static_cast<int>(0.587 * c->g + 0.299 * c->r + 0.114 * c->b + 0.5);
        stored.red = stored.green = stored.blue = stored.index;
      }
      out.At(x, y) = stored;
    }
  return out;
}

namespace ref {

// The mean of a window clipped to the work rectangle.
static Colour Mean(const Grid& g, const WorkRect& rect, int x0, int y0, int x1, int y1) {
  x0 = std::max(x0, rect.left);
  y0 = std::max(y0, rect.top);
  x1 = std::min(x1, rect.right);
  y1 = std::min(y1, rect.bottom);
  int r = 0, gr = 0, b = 0, n = 0;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x, ++n) {
      const Colour c = ColourOf(g, x, y);
      r += c.r, gr += c.g, b += c.b;
    }
  return {r / n, gr / n, b / n};
}

Colour Blur(const Grid& g, const WorkRect& rect, int x, int y, int radius) {
  const int r = std::clamp(radius, 1, 20);
  return Mean(g, rect, x - r, y - r, x + r, y + r);
}

Colour AntiAlias(const Grid& g, const WorkRect& rect, int x, int y) {
  return Mean(g, rect, x - 1, y, x + 1, y);
}

std::string Kernel::Describe() const {
  std::ostringstream out;
  out << "divisor " << divisor << " bias " << bias << " channels " << red << green << blue
      << " weights";
  for (int i = 0; i < 81; ++i)
    if (weights[i]) out << " [" << i / 9 - 4 << "," << i % 9 - 4 << "]=" << weights[i];
  return out.str();
}

Colour Custom(const Grid& g, int x, int y, const Kernel& k, std::optional<int> disabled) {
  const Colour own = ColourOf(g, x, y);
  long long sums[3] = {0, 0, 0};
  for (int ky = 0; ky < 9; ++ky)
    for (int kx = 0; kx < 9; ++kx) {
      const Colour c = ColourOf(g, std::clamp(x + kx - 4, 0, g.width - 1),
                                std::clamp(y + ky - 4, 0, g.height - 1));
      const long long w = k.weights[9 * ky + kx];
      sums[0] += w * c.r, sums[1] += w * c.g, sums[2] += w * c.b;
    }
  const int d = k.divisor & 0xFF, bias = k.bias & 0xFF;
  const auto channel = [&](int i, bool enabled, int source) {
    if (!enabled) return disabled ? *disabled : source;
    // The sums are 32-bit and wrap.
    const auto sum = static_cast<std::int32_t>(static_cast<std::uint32_t>(sums[i] & 0xFFFFFFFF));
    return std::clamp(sum / d + bias, 0, 255);
  };
  return {channel(0, k.red, own.r), channel(1, k.green, own.g), channel(2, k.blue, own.b)};
}

Colour Emboss(const Grid& g, int x, int y, int direction, int depth, int bias) {
  // Rows above, own and below, columns left to right.
  static const int kernels[8][3][3] = {
      {{-2, 0, 2}, {-2, 0, 2}, {-2, 0, 2}}, {{-2, -1, 0}, {-1, 0, 1}, {0, 1, 2}},
      {{-2, -2, -2}, {0, 0, 0}, {2, 2, 2}}, {{0, -1, -2}, {1, 0, -1}, {2, 1, 0}},
      {{2, 0, -2}, {2, 0, -2}, {2, 0, -2}}, {{2, 1, 0}, {1, 0, -1}, {0, -1, -2}},
      {{2, 2, 2}, {0, 0, 0}, {-2, -2, -2}}, {{0, 1, 2}, {-1, 0, 1}, {-2, -1, 0}}};
  Kernel k;
  for (int ky = 0; ky < 3; ++ky)
    for (int kx = 0; kx < 3; ++kx) k.weights[9 * (ky + 3) + kx + 3] = kernels[direction][ky][kx];
  k.divisor = 6 - std::clamp(depth, 1, 5);
  k.bias = bias;
  return Custom(g, x, y, k, 0);
}

int Luminance(Colour c) {
  return static_cast<int>(c.r * 0.298912 + c.g * 0.586611 + c.b * 0.114478);
}

Colour Outline(const Grid& g, int x, int y, int channel, int op, int gain) {
  const auto v = [&](int dx, int dy) {
    const Colour c =
        ColourOf(g, std::clamp(x + dx, 0, g.width - 1), std::clamp(y + dy, 0, g.height - 1));
    return channel == 0 ? Luminance(c) : channel == 1 ? c.r : channel == 2 ? c.g : c.b;
  };
  // The gradients A and B of each operator, [row][column], row 0 above.
  static const int kOperators[3][2][3][3] = {
      {{{0, 0, 0}, {0, 1, -1}, {0, 0, 0}}, {{0, 0, 0}, {0, 1, 0}, {0, -1, 0}}},       // simple
      {{{0, 0, 0}, {0, 1, 0}, {0, 0, -1}}, {{0, 0, 0}, {0, 0, 1}, {0, -1, 0}}},       // Roberts
      {{{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}}, {{-1, -2, -1}, {0, 0, 0}, {1, 2, 1}}}};  // Sobel
  const auto& [a, b] = kOperators[op == 0 ? 0 : op == 2 ? 2 : 1];
  int sumA = 0, sumB = 0;
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) {
      sumA += a[row][col] * v(col - 1, row - 1);
      sumB += b[row][col] * v(col - 1, row - 1);
    }
  const double edge =
      std::floor(std::sqrt(double(sumA * sumA + sumB * sumB)) * (std::min(gain, 100) * 0.1));
  const int e = static_cast<int>(std::min(edge, 255.0));
  return {e, e, e};
}

// The pixels of the 3 x 3 neighbourhood inside the picture, in row order.
static std::vector<std::pair<int, int>> Neighbourhood(const Grid& g, int x, int y) {
  std::vector<std::pair<int, int>> at;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (x + dx >= 0 && x + dx < g.width && y + dy >= 0 && y + dy < g.height)
        at.push_back({x + dx, y + dy});
  return at;
}

Colour Sharp(const Grid& g, int x, int y, int strength) {
  const double k = (3 * std::min(strength, 100)) * 0.01;
  const auto near = Neighbourhood(g, x, y);
  int sum = 0;
  for (const auto& [nx, ny] : near) sum += Luminance(ColourOf(g, nx, ny));
  const Colour c = ColourOf(g, x, y);
  const int centre = Luminance(c);
  const double lum = (static_cast<int>(near.size()) * centre - sum) * k + centre;
  const int cr = Rounded(c.r * 0.5 + c.g * -0.41869 + c.b * -0.08131);
  const int cb = Rounded(c.r * -0.16874 + c.g * -0.33126 + c.b * 0.5);
  return {Clamped(Rounded(lum + 1.402 * cr)), Clamped(Rounded(lum - 0.34414 * cb - 0.71414 * cr)),
          Clamped(Rounded(lum + 1.772 * cb))};
}

std::optional<Colour> RemoveNoise(const Grid& g, int x, int y, int method, int level) {
  const auto near = Neighbourhood(g, x, y);
  if (method == 0) {
    std::vector<Colour> colours;
    for (const auto& [nx, ny] : near) colours.push_back(ColourOf(g, nx, ny));
    std::stable_sort(colours.begin(), colours.end(),
                     [](Colour a, Colour b) { return Luminance(a) < Luminance(b); });
    return colours[colours.size() / 2];
  }
  // Method 1, channel by channel: the neighbours' values, the pixel left out.
  const Colour c = ColourOf(g, x, y);
  std::optional<Colour> result;
  for (int Colour::*channel : {&Colour::r, &Colour::g, &Colour::b}) {
    std::vector<int> values;
    bool strays = false;
    for (const auto& [nx, ny] : near)
      if (nx != x || ny != y) {
        values.push_back(ColourOf(g, nx, ny).*channel);
        strays = strays || std::abs(values.back() - c.*channel) > 255 - level;
      }
    if (!strays) continue;
    std::sort(values.begin(), values.end());
    if (!result) result = c;
    result.value().*channel = values[values.size() / 2];
  }
  return result;
}

Colour OilPaint(const Grid& g, const WorkRect& rect, int x, int y, int method, int size) {
  const int half = size / 2, start = size % 2 == 1 ? -half : 1 - half;
  std::vector<int> red(256), green(256), blue(256), bins(256);
  int bestRed = 0, bestGreen = 0, bestBlue = 0, best = 0;
  Colour result{0, 0, 0};
  for (int wy = std::max(y + start, rect.top); wy <= std::min(y + half, rect.bottom); ++wy)
    for (int wx = std::max(x + start, rect.left); wx <= std::min(x + half, rect.right); ++wx) {
      const Colour c = ColourOf(g, wx, wy);
      if (method == 0) {
        if (++red[c.r] > bestRed) bestRed = red[c.r], result.r = c.r;
        if (++green[c.g] > bestGreen) bestGreen = green[c.g], result.g = c.g;
        if (++blue[c.b] > bestBlue) bestBlue = blue[c.b], result.b = c.b;
      } else {
        const int bin = (77 * c.r + 150 * c.g + 29 * c.b) >> 8;
        if (++bins[bin] > best) best = bins[bin], result = c;
      }
    }
  return result;
}

std::optional<Colour> MotionBlur(const Grid& g, const WorkRect& rect, int x, int y, int kind,
                                 int samples, int degrees) {
  int sum[3] = {0, 0, 0}, count = 0;
  // Takes the sample if it lies in the rectangle; says whether it did.
  const auto take = [&](int sx, int sy) {
    if (sx < rect.left || sx > rect.right || sy < rect.top || sy > rect.bottom) return false;
    const Colour c = ColourOf(g, sx, sy);
    sum[0] += c.r, sum[1] += c.g, sum[2] += c.b, ++count;
    return true;
  };
  const int cx = (rect.left + rect.right) / 2, cy = (rect.top + rect.bottom) / 2;
  const int dx = x - cx, dy = y - cy;
  const double t = degrees * 0.017453292519943295;
  if (kind == 0) {
    for (int i = 0; i < samples; ++i)
      if (!take(static_cast<int>(std::trunc(x + i * std::cos(t))),
                static_cast<int>(std::trunc(y + i * std::sin(t)))))
        break;
  } else if (kind == 2) {
    for (int i = 0; i < samples; ++i) {
      const double scale = 1 + 0.02 * i;
      if (!take(static_cast<int>(std::trunc(scale * dx + cx)),
                static_cast<int>(std::trunc(scale * dy + cy))))
        break;
    }
  } else {
    const int rx = std::max(cx, (rect.right - rect.left + 1) - cx);
    const int ry = std::max(cy, (rect.bottom - rect.top + 1) - cy);
    const double rmax = std::sqrt(static_cast<double>(rx) * rx + static_cast<double>(ry) * ry);
    const int n = static_cast<int>(std::trunc(std::sqrt(rmax) * t * 4 + 2));
    const double step = t / (n - 1);
    const double r = std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy);
    int stride = 1;
    if (r != 0) stride = static_cast<int>(std::clamp(std::trunc(rmax / r), 1.0, n - 1.0));
    for (int k = 0; k < n; k += stride) {
      const double angle = k * step - t / 2, c = std::cos(angle), s = std::sin(angle);
      take(static_cast<int>(std::trunc(dx * c - dy * s + cx)),
           static_cast<int>(std::trunc(dx * s + dy * c + cy)));
    }
  }
  if (count == 0) return std::nullopt;
  return Colour{sum[0] / count, sum[1] / count, sum[2] / count};
}

}  // namespace ref

Grid ExpectedMosaic(const Grid& g, const WorkRect& rect, const Selected& selected, int cw, int ch) {
  Grid out = g;
  for (int cy = rect.top; cy <= rect.bottom; cy += ch)
    for (int cx = rect.left; cx <= rect.right; cx += cw) {
      const int w = std::min(cw, g.width - cx), h = std::min(ch, g.height - cy);
      long sum[3] = {0, 0, 0};
      for (int y = cy; y < cy + h; ++y)
        for (int x = cx; x < cx + w; ++x) {
          const Colour c = ColourOf(g, x, y);
          sum[0] += c.r, sum[1] += c.g, sum[2] += c.b;
        }
      const Pixel stored =
          g.Nearest(int(sum[0] / (w * h)), int(sum[1] / (w * h)), int(sum[2] / (w * h)));
      for (int y = cy; y < cy + h; ++y)
        for (int x = cx; x < cx + w; ++x)
          if (selected(x, y)) out.At(x, y) = stored;
    }
  return out;
}

RandomSelection::RandomSelection(std::mt19937& random, int width, int height) {
  args.mode = static_cast<BYTE>(random() % 4);
  args.inside = random() % 3 != 0;
  rect = {0, 0, width - 1, height - 1};
  selected = [](int, int) { return true; };
  std::ostringstream out;
  out << "selection mode " << int{args.mode} << (args.inside ? " inside" : " outside");
  const auto near = [&](int size) { return static_cast<LONG>(random() % (size + 6)) - 3; };
  switch (args.mode) {
    case kSelectMask:
      args.mask = mask_ = RandomMask(random, width, height);
      break;
    case kSelectPolygon:
      polygon_.resize(3 + random() % 3);
      for (POINT& p : polygon_) {
        p = {near(width), near(height)};
        out << " (" << p.x << "," << p.y << ")";
      }
      args.points = polygon_.data();
      args.pointCount = static_cast<int>(polygon_.size());
      break;
    case kSelectEllipse:
      do args.rect = {near(width), near(height), near(width), near(height)};
      while (args.rect.left == args.rect.right || args.rect.top == args.rect.bottom);
      out << " rect " << args.rect.left << "," << args.rect.top << "," << args.rect.right << ","
          << args.rect.bottom;
      break;
  }
  if (args.mode == kSelectPolygon || args.mode == kSelectEllipse) {
    // The shape's pixels are the mask builder's business (tested with it);
    // the filters are judged on the mask it draws.
    std::vector<POINT> moved = polygon_;
    mask_ =
        BuildSelectionMask(args.mode, moved.data(), args.pointCount, args.rect.left, args.rect.top,
                           args.rect.right, args.rect.bottom, args.inside, &rect, TRUE);
  }
  if (mask_) selected = MaskSelection(mask_);
  what = out.str();
}

RandomSelection::~RandomSelection() {
  if (mask_) GlobalFree(mask_);
}

RandomCase PixelCase(const std::string& what,
                     std::function<HGLOBAL(const SelectionArgs&, PixelRoute)> run, RectRule rule) {
  return {what, std::move(run), [rule](const Grid& g, const RandomSelection& s) {
            return ExpectedFilter(g, s.rect, s.selected,
                                  [&](int x, int y) { return rule(g, s.rect, x, y); });
          }};
}

int CheckRandomCases(int seeds, const std::vector<Layout>& layouts,
                     const std::function<std::vector<RandomCase>(std::mt19937&)>& makeCases) {
  const int widths[] = {1, 2, 3, 5, 7, 13, 17, 33, 70};
  const BYTE fewValues[] = {0xFF, 0xC1, 0x80, 0x03};  // the bits each byte keeps
  int compared = 0;
  for (int seed = 1; seed <= seeds; ++seed) {
    std::mt19937 random(seed);
    for (Layout layout : layouts) {
      const int width = widths[random() % 9], height = 1 + static_cast<int>(random() % 11);
      HGLOBAL source = MakePicture(layout, width, height, random());
      const BYTE keep = fewValues[random() % 4];
      {
        PictureView view(source);
        for (int y = 0; y < height; ++y)
          for (std::uint32_t i = 0; i < view.RowBytes(); ++i)
            const_cast<std::uint8_t*>(view.Row(y))[i] &= keep;
      }
      const Grid decoded = Decode(source);
      for (const RandomCase& c : makeCases(random)) {
        RandomSelection selection(random, width, height);
        SelectionArgs args = selection.args;
        args.picture = source;
        const std::string where = Describe(c.what, "on", NameOf(layout), width, height, "bits",
                                           int{keep}, "seed", seed, selection.what);
        HGLOBAL direct = c.run(args, PixelRoute::kDirect);
        HGLOBAL generic = c.run(args, PixelRoute::kRecord);
        if (!direct || !generic) {
          ADD_FAILURE() << where << ": no picture, error " << GetErrorStatus();
        } else {
          EXPECT_EQ(Mismatch(c.expected(decoded, selection), direct), "") << where;
          EXPECT_EQ(BlockBytes(generic), BlockBytes(direct))
              << where << ": record route differs, " << FirstDifference(direct, generic);
        }
        if (direct) GlobalFree(direct);
        if (generic) GlobalFree(generic);
        ++compared;
      }
      GlobalFree(source);
    }
  }
  return compared;
}

}  // namespace qvx::test
