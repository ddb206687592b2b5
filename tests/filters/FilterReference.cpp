#include "filters/FilterReference.h"

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
    for (int x = x0; x <= x1; ++x) {
      const Colour c = ColourOf(g, x, y);
      r += c.r;
      gr += c.g;
      b += c.b;
      ++n;
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
      sums[0] += w * c.r;
      sums[1] += w * c.g;
      sums[2] += w * c.b;
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
  int a[3][3] = {}, b[3][3] = {};  // [row][column], row 0 above
  if (op == 0) {
    a[1][1] = 1, a[1][2] = -1;
    b[1][1] = 1, b[2][1] = -1;
  } else if (op == 2) {
    const int sa[3][3] = {{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}};
    const int sb[3][3] = {{-1, -2, -1}, {0, 0, 0}, {1, 2, 1}};
    std::copy(&sa[0][0], &sa[0][0] + 9, &a[0][0]);
    std::copy(&sb[0][0], &sb[0][0] + 9, &b[0][0]);
  } else {
    a[1][1] = 1, a[2][2] = -1;
    b[1][2] = 1, b[2][1] = -1;
  }
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
  const Colour c = ColourOf(g, x, y);
  const int threshold = 255 - level;
  std::vector<int> lists[3];
  bool strays[3] = {false, false, false};
  for (const auto& [nx, ny] : near) {
    if (nx == x && ny == y) continue;
    const Colour n = ColourOf(g, nx, ny);
    const int values[3] = {n.r, n.g, n.b}, own[3] = {c.r, c.g, c.b};
    for (int ch = 0; ch < 3; ++ch) {
      lists[ch].push_back(values[ch]);
      if (std::abs(values[ch] - own[ch]) > threshold) strays[ch] = true;
    }
  }
  if (!strays[0] && !strays[1] && !strays[2]) return std::nullopt;
  int out[3] = {c.r, c.g, c.b};
  for (int ch = 0; ch < 3; ++ch)
    if (strays[ch]) {
      std::sort(lists[ch].begin(), lists[ch].end());
      out[ch] = lists[ch][lists[ch].size() / 2];
    }
  return Colour{out[0], out[1], out[2]};
}

}  // namespace ref

RandomSelection::RandomSelection(std::mt19937& random, int width, int height) {
  args.mode = static_cast<BYTE>(random() % 4);
  args.inside = random() % 3 != 0;
  rect = {0, 0, width - 1, height - 1};
  selected = [](int, int) { return true; };
  std::ostringstream out;
  out << "selection mode " << int{args.mode} << (args.inside ? " inside" : " outside");
  const auto near = [&](int size) { return static_cast<LONG>(random() % (size + 6)) - 3; };
  switch (args.mode) {
    case kSelectMask: {
      std::vector<std::string> rows(height);
      for (std::string& row : rows)
        for (int x = 0; x < width; ++x) row += random() % 3 ? '#' : '.';
      mask_ = MakeMask(rows, random() % 2);
      args.mask = mask_;
      break;
    }
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

}  // namespace qvx::test
