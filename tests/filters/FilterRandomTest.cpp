// Every filter against its rule, worked here pixel by pixel (mosaic: cell by
// cell), on random pictures of every layout it takes with random parameters
// and selections; and the direct route against the record's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include "filters/FilterEffects.h"
#include "filters/MosaicEffects.h"
#include "frame/Selection.h"
#include "frame/SelectionArgs.h"
#include "filters/FilterCases.h"
#include "geometry/GeometryReference.h"
#include "tone/ToneFrame.h"

namespace qvx::test {
namespace {

// The rules, each for a pixel (x, y) of the work rectangle.
namespace ref {

// A sum of colours and its truncated mean.
struct Sum {
  long r = 0, g = 0, b = 0, n = 0;
  void Add(Colour c) { r += c.r, g += c.g, b += c.b, ++n; }
  Colour Mean() const { return {int(r / n), int(g / n), int(b / n)}; }
};

// The mean of a window clipped to the work rectangle.
Colour Mean(const Grid& g, const WorkRect& rect, int x0, int y0, int x1, int y1) {
  Sum sum;
  for (int y = std::max(y0, rect.top); y <= std::min(y1, rect.bottom); ++y)
    for (int x = std::max(x0, rect.left); x <= std::min(x1, rect.right); ++x)
      sum.Add(ColourOf(g, x, y));
  return sum.Mean();
}

// The radius counts from 1 to 20.
Colour Blur(const Grid& g, const WorkRect& rect, int x, int y, int radius) {
  const int r = std::clamp(radius, 1, 20);
  return Mean(g, rect, x - r, y - r, x + r, y + r);
}

Colour AntiAlias(const Grid& g, const WorkRect& rect, int x, int y) {
  return Mean(g, rect, x - 1, y, x + 1, y);
}

// The 9 x 9 kernel: weights[9 * ky + kx] weigh the pixel kx - 4 columns and
// ky - 4 rows away (clamped into the picture); divisor and bias count by
// their low bytes.
struct Kernel {
  std::vector<std::int32_t> weights = std::vector<std::int32_t>(81);
  int divisor = 1, bias = 0;
  bool red = true, green = true, blue = true;
  std::string Describe() const {
    std::string out = test::Describe("divisor", divisor, "bias", bias, "rgb", red, green, blue);
    for (int i = 0; i < 81; ++i)
      if (weights[i]) out += test::Describe("row", i / 9 - 4, "column", i % 9 - 4, weights[i]);
    return out;
  }
};

// Channels not enabled are `disabled` (null: the source's own value).
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
  const auto channel = [&](int i, bool enabled, int source) {
    if (!enabled) return disabled ? *disabled : source;
    // The sums are 32-bit and wrap.
    const auto sum = static_cast<std::int32_t>(static_cast<std::uint32_t>(sums[i] & 0xFFFFFFFF));
    return std::clamp(sum / (k.divisor & 0xFF) + (k.bias & 0xFF), 0, 255);
  };
  return {channel(0, k.red, own.r), channel(1, k.green, own.g), channel(2, k.blue, own.b)};
}

// Relief kernel of direction 0..7, depth taken into 1..5.
Colour Emboss(const Grid& g, const WorkRect&, int x, int y, int direction, int depth, int bias) {
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

// floor(0.298912 R + 0.586611 G + 0.114478 B), products added in that order.
int Luminance(Colour c) {
  return static_cast<int>(c.r * 0.298912 + c.g * 0.586611 + c.b * 0.114478);
}

// Edge strength of channel 0 luminance, 1 red, 2 green, 3 blue; operator 0
// simple difference, 2 Sobel, other Roberts; gain in tenths up to 100.
Colour Outline(const Grid& g, const WorkRect&, int x, int y, int channel, int op, int gain) {
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
std::vector<std::pair<int, int>> Neighbourhood(const Grid& g, int x, int y) {
  std::vector<std::pair<int, int>> at;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (x + dx >= 0 && x + dx < g.width && y + dy >= 0 && y + dy < g.height)
        at.push_back({x + dx, y + dy});
  return at;
}

// Luminance boost of strength up to 100 over the neighbourhood.
Colour Sharp(const Grid& g, const WorkRect&, int x, int y, int strength) {
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

// Method 0: the neighbour at index n / 2 of a stable sort by luminance.
// Method 1: per channel, the median of the neighbours (the pixel left out)
// where one strays by more than 255 - level; nothing when no channel does.
std::optional<Colour> RemoveNoise(const Grid& g, const WorkRect&, int x, int y, int method,
                                  int level) {
  const auto near = Neighbourhood(g, x, y);
  if (method == 0) {
    std::vector<Colour> colours;
    for (const auto& [nx, ny] : near) colours.push_back(ColourOf(g, nx, ny));
    std::stable_sort(colours.begin(), colours.end(),
                     [](Colour a, Colour b) { return Luminance(a) < Luminance(b); });
    return colours[colours.size() / 2];
  }
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

// The most frequent colour of the brush window clipped to the rectangle,
// visited row by row: per channel (method 0) or the colour that made its
// luminance bin the most frequent (method 1); a value takes over only with a
// higher count.
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

// The mean of the samples along the pixel's path (kind 0 linear, 1 spin,
// 2 zoom), or nothing when no sample was taken.
std::optional<Colour> MotionBlur(const Grid& g, const WorkRect& rect, int x, int y, int kind,
                                 int samples, int degrees) {
  Sum sum;
  // Takes the sample if it lies in the rectangle; says whether it did.
  const auto take = [&](double sx, double sy) {
    const int ix = static_cast<int>(std::trunc(sx)), iy = static_cast<int>(std::trunc(sy));
    if (ix < rect.left || ix > rect.right || iy < rect.top || iy > rect.bottom) return false;
    sum.Add(ColourOf(g, ix, iy));
    return true;
  };
  const int cx = (rect.left + rect.right) / 2, cy = (rect.top + rect.bottom) / 2;
  const int dx = x - cx, dy = y - cy;
  const double t = degrees * 0.017453292519943295;
  if (kind == 0) {
    for (int i = 0; i < samples && take(x + i * std::cos(t), y + i * std::sin(t)); ++i) continue;
  } else if (kind == 2) {
    for (int i = 0; i < samples && take((1 + 0.02 * i) * dx + cx, (1 + 0.02 * i) * dy + cy); ++i)
      continue;
  } else {
    const int rx = std::max(cx, (rect.right - rect.left + 1) - cx);
    const int ry = std::max(cy, (rect.bottom - rect.top + 1) - cy);
    const double rmax = std::sqrt(static_cast<double>(rx) * rx + static_cast<double>(ry) * ry);
    const int n = static_cast<int>(std::trunc(std::sqrt(rmax) * t * 4 + 2));
    const double step = t / (n - 1);
    const double r = std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy);
    const int stride =
        r == 0 ? 1 : static_cast<int>(std::clamp(std::trunc(rmax / r), 1.0, n - 1.0));
    for (int k = 0; k < n; k += stride) {
      const double angle = k * step - t / 2, c = std::cos(angle), s = std::sin(angle);
      take(dx * c - dy * s + cx, dx * s + dy * c + cy);
    }
  }
  return sum.n ? std::optional(sum.Mean()) : std::nullopt;
}

}  // namespace ref

// Cells from the rectangle's corner while the corner lies in it, each
// clipped to the picture; the mean of every pixel of the cell is written (as
// Grid::Nearest stores it) to its selected pixels.
Grid ExpectedMosaic(const Grid& g, const WorkRect& rect, const Selected& selected, int cw, int ch) {
  Grid out = g;
  for (int cy = rect.top; cy <= rect.bottom; cy += ch)
    for (int cx = rect.left; cx <= rect.right; cx += cw) {
      const int w = std::min(cw, g.width - cx), h = std::min(ch, g.height - cy);
      ref::Sum sum;
      for (int y = cy; y < cy + h; ++y)
        for (int x = cx; x < cx + w; ++x) sum.Add(ColourOf(g, x, y));
      const Colour mean = sum.Mean();
      const Pixel stored = g.Nearest(mean.r, mean.g, mean.b);
      for (int y = cy; y < cy + h; ++y)
        for (int x = cx; x < cx + w; ++x)
          if (selected(x, y)) out.At(x, y) = stored;
    }
  return out;
}


ref::Kernel RandomKernel(std::mt19937& random) {
  ref::Kernel k;
  const int reach = static_cast<int>(random() % 5);
  const bool wraps = random() % 6 == 0;  // weights so large that the sums wrap
  for (int ky = 4 - reach; ky <= 4 + reach; ++ky)
    for (int kx = 4 - reach; kx <= 4 + reach; ++kx)
      if (random() % 3 != 0)
        k.weights[9 * ky + kx] = wraps ? static_cast<std::int32_t>(random())
                                       : static_cast<std::int32_t>(random() % 41) - 20;
  k.divisor = random() % 5 == 0 ? static_cast<int>(random() % 1000) * 256 + 1 + random() % 255
                                : 1 + static_cast<int>(random() % 60);
  k.bias = random() % 4 == 0 ? static_cast<int>(random()) : static_cast<int>(random() % 256);
  k.red = random() % 4, k.green = random() % 4, k.blue = random() % 4;
  return k;
}

HGLOBAL RunCustom(const SelectionArgs& a, const ref::Kernel& k, PixelRoute route) {
  return RunCustomFilter(a, reinterpret_cast<const FilterKernel*>(k.weights.data()), k.divisor,
                         k.bias, k.red, k.green, k.blue, TRUE, route);
}

std::vector<RandomCase> NeighbourhoodCases(std::mt19937& random) {
  const BYTE radius = random() % 4 ? static_cast<BYTE>(random() % 5) : static_cast<BYTE>(random());
  const ref::Kernel k = RandomKernel(random);
  const BYTE direction = random() % 8, depth = random() % 9, bias = random();
  const BYTE channel = random() % 4, op = random() % 3 ? random() % 3 : random(),
             gain = random() % 4 ? random() % 40 : random();
  const BYTE strength = random() % 4 ? random() % 101 : random();
  std::vector<RandomCase> cases = {
      Case<RunBlur, ref::Blur>("Blur", radius),
      Case<RunAntiAlias, ref::AntiAlias>("AntiAlias"),
      PixelCase(
          "CustomFilter " + k.Describe(),
          [=](const SelectionArgs& a, PixelRoute route) { return RunCustom(a, k, route); },
          [=](const Grid& g, const WorkRect&, int x, int y) { return ref::Custom(g, x, y, k, 0); }),
      Case<RunEmboss, ref::Emboss>("Emboss", direction, depth, bias),
      Case<RunOutline, ref::Outline>("Outline", channel, op, gain),
      Case<RunSharp, ref::Sharp>("Sharp", strength)};
  for (BYTE method : {0, 1})
    cases.push_back(Case<RunRemoveNoise, ref::RemoveNoise>(
        "RemoveNoise", method, static_cast<BYTE>(random() % 3 ? 200 + random() % 56 : random())));
  // Motion blur of each kind, with random sample counts and angles.
  for (BYTE kind : {0, 1, 2}) {
    const BYTE samples = static_cast<BYTE>(random() % 5 ? random() % 12 : random() % 256);
    const int degrees = kind == 1 ? (random() % 5 ? static_cast<int>(random() % 200) : 0)
                                  : static_cast<int>(random() % 1441) - 720;
    cases.push_back(Case<RunMotionBlur, ref::MotionBlur>("MotionBlur kind, samples, degrees", kind,
                                                         samples, degrees));
  }
  return cases;
}

// The direct variant's own selection: vertices and rectangle clamped into
// the picture, shapes drawn over their own box (inside) or the whole
// picture, mask pictures read by bit (1 selects) whatever their colours.
void DirectSelection(const Grid& g, const SelectionArgs& args, WorkRect& rect, Selected& selected) {
  rect = {0, 0, g.width - 1, g.height - 1};
  selected = [](int, int) { return true; };
  if (args.mode == kSelectMask) {
    const Grid bits = Decode(args.mask);
    selected = [bits](int x, int y) { return bits.At(x, y).index == 1; };
  }
  if (args.mode != kSelectPolygon && args.mode != kSelectEllipse) return;
  const auto clampX = [&](LONG v) { return std::clamp<LONG>(v, 0, g.width - 1); };
  const auto clampY = [&](LONG v) { return std::clamp<LONG>(v, 0, g.height - 1); };
  std::vector<POINT> drawn;
  RECT shape{};
  if (args.mode == kSelectPolygon) {
    for (int i = 0; i < args.pointCount; ++i)
      drawn.push_back({clampX(args.points[i].x), clampY(args.points[i].y)});
    if (args.inside) {
      rect = {g.width, g.height, -1, -1};
      for (const POINT& p : drawn) {
        rect.left = std::min<int>(rect.left, p.x), rect.top = std::min<int>(rect.top, p.y);
        rect.right = std::max<int>(rect.right, p.x), rect.bottom = std::max<int>(rect.bottom, p.y);
      }
      for (POINT& p : drawn) p = {p.x - rect.left, p.y - rect.top};
    }
  } else {
    const LONG l = clampX(args.rect.left), r = clampX(args.rect.right);
    const LONG t = clampY(args.rect.top), b = clampY(args.rect.bottom);
    shape = {std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)};
    if (args.inside) {
      rect = {int(shape.left), int(shape.top), int(shape.right), int(shape.bottom)};
      shape = {0, 0, shape.right - shape.left, shape.bottom - shape.top};
    }
  }
  const int w = rect.right - rect.left + 1, h = rect.bottom - rect.top + 1;
  HGLOBAL mask = MakeMask(std::vector<std::string>(h, std::string(w, '.')));
  if (args.mode == kSelectPolygon)
    DrawPolygonMask(mask, drawn.data(), static_cast<int>(drawn.size()));
  else
    DrawEllipseMask(mask, shape.left, shape.top, shape.right, shape.bottom);
  const Selected bits = MaskSelection(mask);
  GlobalFree(mask);
  selected = [bits, box = rect, inside = bool(args.inside)](int x, int y) {
    return bits(x - box.left, y - box.top) == inside;
  };
}

// The direct variant (vertex count + 1,000,000), which keeps the channels
// it does not filter and must not move the caller's vertices.
std::vector<RandomCase> DirectCustomCases(std::mt19937& random) {
  const ref::Kernel k = RandomKernel(random);
  const Run run = [k](const SelectionArgs& a, PixelRoute route) {
    SelectionArgs direct = a;
    direct.pointCount += 1000000;
    const std::vector<POINT> before(a.points, a.points + a.pointCount);
    HGLOBAL result = RunCustom(direct, k, route);
    for (int i = 0; i < a.pointCount; ++i)
      EXPECT_TRUE(a.points[i].x == before[i].x && a.points[i].y == before[i].y)
          << "the caller's vertex " << i << " was moved";
    return result;
  };
  return {
      {"CustomFilter direct " + k.Describe(), run, [k](const Grid& g, const RandomSelection& s) {
         WorkRect rect;
         Selected selected;
         DirectSelection(g, s.args, rect, selected);
         return ExpectedFilter(g, rect, selected, [&](int x, int y) {
           return std::optional<Colour>(ref::Custom(g, x, y, k, std::nullopt));
         });
       }}};
}

// Every brush size from 1 to 8 (even ones reach further right and down) and
// one larger, with both methods: on pictures of few values counts tie often.
std::vector<RandomCase> OilPaintCases(std::mt19937& random) {
  std::vector<RandomCase> cases;
  for (BYTE method : {0, 1})
    for (int n = 1; n <= 9; ++n) {
      const BYTE size = static_cast<BYTE>(n < 9 ? n : 9 + random() % 247);
      cases.push_back(Case<RunOilPaint, ref::OilPaint>("OilPaint method, size", method, size));
    }
  return cases;
}

RandomCase MosaicCase(int cw, int ch) {
  return {Describe("Mosaic cells", cw, ch),
          [=](const SelectionArgs& a, PixelRoute route) { return RunMosaic(a, cw, ch, 1, route); },
          [=](auto& g, auto& s) { return ExpectedMosaic(g, s.rect, s.selected, cw, ch); }};
}

// Cases for pictures wide and tall enough for the fast paths: linear paths
// summed over spans of shared offsets (axis directions too, whose sines and
// cosines are not quite 0 or 1), zoom rays gathered eight pixels at a time,
// spin arcs four at a time, and whole oil-paint windows 32 at a time, each
// next to the rule's own work at the rectangle's edges.
std::vector<RandomCase> WidePathAndBrushCases(std::mt19937& random) {
  static const int kDirections[] = {0, 90, 180, 270, -90, 45, 30, 360, -720};
  const auto samples = [&] {
    return static_cast<BYTE>(random() % 3 ? 1 + random() % 40 : random() % 256);
  };
  const int degrees =
      random() % 2 ? kDirections[random() % 9] : static_cast<int>(random() % 1441) - 720;
  std::vector<RandomCase> cases = {
      Case<RunMotionBlur, ref::MotionBlur>("MotionBlur kind, samples, degrees", BYTE{0}, samples(),
                                           degrees),
      Case<RunMotionBlur, ref::MotionBlur>("MotionBlur kind, samples, degrees", BYTE{2}, samples(),
                                           0),
      Case<RunMotionBlur, ref::MotionBlur>("MotionBlur kind, samples, degrees", BYTE{1}, BYTE{0},
                                           static_cast<int>(random() % 60))};
  for (BYTE method : {0, 1})
    cases.push_back(Case<RunOilPaint, ref::OilPaint>("OilPaint method, size", method,
                                                     static_cast<BYTE>(2 + random() % 4)));
  return cases;
}

// Two random cell sizes, now and then wider than any picture.
std::vector<RandomCase> MosaicCases(std::mt19937& random) {
  std::vector<RandomCase> cases;
  for (int n = 0; n < 2; ++n) {
    int cw = 1 + static_cast<int>(random() % 6), ch = 1 + static_cast<int>(random() % 6);
    if (random() % 6 == 0) cw = 1000 + static_cast<int>(random() % 100000);
    if (cw == 1 && ch == 1) ch = 2;
    cases.push_back(MosaicCase(cw, ch));
  }
  return cases;
}

// The filters that work rows in chunks of columns, on rows several chunks
// wide: cells narrower than a chunk, wider than one, and ending across
// chunk boundaries; blur, sharpening and noise removal.
std::vector<RandomCase> WideMosaicCases(std::mt19937& random) {
  std::vector<RandomCase> cases;
  for (int cw : {3, 700, 4097, 5000}) {
    const int ch = 1 + static_cast<int>(random() % 3);
    cases.push_back(MosaicCase(cw, ch));
  }
  return cases;
}

std::vector<RandomCase> WideRowCases(std::mt19937& random) {
  const BYTE radius = static_cast<BYTE>(1 + random() % 4), strength = random() % 101;
  std::vector<RandomCase> cases = {Case<RunBlur, ref::Blur>("Blur", radius),
                                   Case<RunSharp, ref::Sharp>("Sharp", strength)};
  for (BYTE method : {0, 1})
    cases.push_back(Case<RunRemoveNoise, ref::RemoveNoise>("RemoveNoise", method,
                                                           static_cast<BYTE>(random())));
  for (RandomCase& c : WideMosaicCases(random)) cases.push_back(std::move(c));
  return cases;
}

class FilterRandomTest : public QvxTest {};

TEST_F(FilterRandomTest, FiltersOfRowsInChunksMatchTheirRulesOnWideRows) {
  EXPECT_EQ(CheckRandomCases(2, {Layout::kGrey8, Layout::kRgb565, Layout::kRgb24, Layout::kRgb32},
                             WideRowCases, {{4096 * 2 + 37, 4097, 12289}}),
            2 * 4 * 8);
  EXPECT_EQ(CheckRandomCases(2, {Layout::kPalette1, Layout::kPalette4, Layout::kPalette8},
                             WideMosaicCases, {{9000, 4096}}),
            2 * 3 * 4);
}

TEST_F(FilterRandomTest, EveryFilterMatchesItsRuleOnEveryLayoutAndSelection) {
  EXPECT_EQ(CheckRandomCases(40, kFilterLayouts, NeighbourhoodCases), 40 * 6 * 11);
  EXPECT_EQ(CheckRandomCases(150, {Layout::kRgb24}, DirectCustomCases), 150);
  EXPECT_EQ(CheckRandomCases(30, AllLayouts(), MosaicCases), 30 * 10 * 2);
}

// Sharpening works eight pixels at a time in whole numbers and falls back
// to doubles where a channel's value is a whole number plus one half (about
// one pixel in 500 of random colours): pictures wide enough for many such
// pixels, every strength drawn.
std::vector<RandomCase> SharpCases(std::mt19937& random) {
  std::vector<RandomCase> cases;
  for (int n = 0; n < 4; ++n)
    cases.push_back(Case<RunSharp, ref::Sharp>("Sharp", static_cast<BYTE>(random() % 101)));
  return cases;
}

TEST_F(FilterRandomTest, SharpeningMatchesItsRuleOnWidePicturesAtEveryStrength) {
  EXPECT_EQ(CheckRandomCases(10, {Layout::kGrey8, Layout::kRgb565, Layout::kRgb24, Layout::kRgb32},
                             SharpCases, {{64, 203}, 40}),
            10 * 4 * 4);
}

// Cells taller than 257 rows are summed band by band; an all-white picture
// would overflow a band one row taller.
TEST_F(FilterRandomTest, MosaicCellsTallerThanASumBand) {
  for (Layout layout : {Layout::kRgb24, Layout::kRgb32, Layout::kRgb565})
    for (bool white : {false, true}) {
      SelectionArgs args;
      args.picture = Keep(MakePicture(layout, 5, 600, 3));
      if (white) {
        PictureView view(args.picture);
        for (int y = 0; y < 600; ++y)
          std::fill_n(const_cast<std::uint8_t*>(view.Row(y)), view.RowBytes(), 0xFF);
      }
      const Grid decoded = Decode(args.picture);
      for (int ch : {258, 300, 600})
        EXPECT_EQ(Mismatch(ExpectedMosaic(decoded, {0, 0, 4, 599}, [](int, int) { return true; },
                                          2, ch),
                           Keep(RunMosaic(args, 2, ch, TRUE))),
                  "")
            << NameOf(layout) << (white ? " white" : "") << ", cells 2 x " << ch;
    }
}

TEST_F(FilterRandomTest, FastPathsOfMotionBlurAndOilPaintMatchTheRulesOnWidePictures) {
  EXPECT_EQ(CheckRandomCases(12, kFilterLayouts, WidePathAndBrushCases, {{40, 71, 130, 257}, 40}),
            12 * 6 * 5);
}

TEST_F(FilterRandomTest, OilPaintMatchesTheBrushRuleForEachSizeAndMethod) {
  EXPECT_EQ(CheckRandomCases(30, kFilterLayouts, OilPaintCases), 30 * 6 * 18);
}

// Brushes above 8 keep the keys with the highest count as the window
// slides and find them again when the highest count drops: windows that
// slide far, on pictures of few values (many keys share the highest count)
// and of many.
std::vector<RandomCase> LargeBrushCases(std::mt19937& random) {
  std::vector<RandomCase> cases;
  for (BYTE method : {0, 1})
    cases.push_back(Case<RunOilPaint, ref::OilPaint>("OilPaint method, size", method,
                                                     static_cast<BYTE>(9 + random() % 24)));
  return cases;
}

TEST_F(FilterRandomTest, OilPaintWithLargeBrushesMatchesTheRuleOnWidePictures) {
  EXPECT_EQ(CheckRandomCases(8, {Layout::kGrey8, Layout::kRgb24, Layout::kRgb32}, LargeBrushCases,
                             {{97, 160}, 40}),
            8 * 3 * 2);
}

}  // namespace
}  // namespace qvx::test
