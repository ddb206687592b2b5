// The distortions and textures against their rules, worked here pixel by
// pixel in doubles, on random pictures of every layout they take, with
// random parameters (in range, beyond it, NaN and infinite) and random
// selections; and the direct route against the record's.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "distort/DistortEffects.h"
#include "filters/FilterCases.h"

namespace qvx::test {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The rules, each for a pixel (x, y) of the work rectangle.
namespace ref {

using std::optional;

// A position that has a pixel: a number within the 32-bit range.
bool Usable(double v) { return std::isfinite(v) && std::fabs(v) < 2147483647.0; }

// The colour at (x, y), or `outside` beyond the picture.
Pixel At(const Grid& g, long long x, long long y, Colour outside) {
  if (x >= 0 && x < g.width && y >= 0 && y < g.height) return g.At(int(x), int(y));
  return Pixel{-1, outside.r, outside.g, outside.b, 0};
}

Colour Blended(const Grid& g, long long x0, long long y0, double fx, double fy, Colour outside) {
  const Pixel p = Blend(fx, fy, At(g, x0, y0, outside), At(g, x0 + 1, y0, outside),
                        At(g, x0, y0 + 1, outside), At(g, x0 + 1, y0 + 1, outside));
  return {p.red, p.green, p.blue};
}

struct RippleParams {
  double amplitude, wavelength, degrees;
  bool clamp, scaling;
  Colour background;
};

Colour Ripple(const Grid& g, const WorkRect& rect, int x, int y, const RippleParams& p) {
  const double cx = (rect.left + rect.right) * 0.5, cy = (rect.top + rect.bottom) * 0.5;
  const double hw = (rect.right - rect.left) * 0.5, hh = (rect.bottom - rect.top) * 0.5;
  const double sx = hw < hh ? hh / hw : 1, sy = hw > hh ? hw / hh : 1;
  const double dx = (x - cx) * sx, dy = (y - cy) * sy;
  const double r = std::sqrt(dx * dx + dy * dy) / (2 * p.wavelength);
  const double s = std::sin(r * 6.283185307179586 + p.degrees * 0.017453292519943295);
  double u, v;
  if (p.scaling) {
    const double a = std::fabs(s) * p.amplitude;
    u = dx * a / sx + cx, v = dy * a / sy + cy;
  } else {
    const double a = s * p.amplitude;
    u = (dx + a) / sx + cx, v = (dy + a) / sy + cy;
  }
  if (!Usable(u) || !Usable(v)) return p.background;
  long long x0 = static_cast<long long>(std::trunc(u)), y0 = static_cast<long long>(std::trunc(v));
  const double fx = std::fabs(u - x0), fy = std::fabs(v - y0);
  if (p.clamp) {
    if (x0 < 0) x0 = 0;
    if (x0 > g.width - 2) x0 = g.width - 2;
    if (y0 < 0) y0 = 0;
    if (y0 > g.height - 2) y0 = g.height - 2;
  }
  return Blended(g, x0, y0, fx, fy, p.background);
}

struct WavesParams {
  int direction, shape, wavelength, amplitude;
  double phase;
  int edge;
  Colour background;
};

Colour Waves(const Grid& g, const WorkRect& rect, int x, int y, const WavesParams& p) {
  const int P = p.wavelength < 1 ? 1 : p.wavelength;
  const int M = p.amplitude < 0 ? 0 : p.amplitude;
  const double phase = p.phase < 0 ? 0 : (p.phase > 1 ? 1 : p.phase);
  const double F = P * phase;
  const bool across = p.direction == 1;
  const int t = across ? y - rect.top : x - rect.left;
  const int along = across ? x : y;  // the shifted coordinate
  const long long lo = across ? rect.left : rect.top, hi = across ? rect.right : rect.bottom;
  const long long H = hi - lo + 1;
  // The source pixel at position i of the line, or the background.
  const auto line = [&](long long i) -> Colour {
    if (i < lo || i > hi) return p.background;
    return across ? ColourOf(g, int(i), y) : ColourOf(g, x, int(i));
  };
  double yA, yB;
  if (p.shape == 0) {
    yA = std::sin((t + F) * 6.283185307179586 / P) * M + along;
    yB = std::sin((t + F + 1) * 6.283185307179586 / P) * M + along + 1;
  } else {
    if (std::isnan(F)) return p.background;
    const long long f = static_cast<long long>(std::trunc(F));
    const auto w = [&](long long k) { return std::fabs(double(k % P) / P * 4 - 2) - 1; };
    yA = w(f + t) * M + along;
    yB = w(f + t + 1) * M + along + 1;
  }
  yA = yA < 0 ? yA - 0.5 : yA + 0.5;
  yB = yB < 0 ? yB - 0.5 : yB + 0.5;
  if (!Usable(yA) || !Usable(yB)) return p.background;
  const long long iA = static_cast<long long>(std::trunc(yA)),
                  iB = static_cast<long long>(std::trunc(yB));
  if (iA != iB) {
    long long sum[3] = {0, 0, 0}, n = 0;
    for (long long r = iA < iB ? iA : iB + 1; r <= (iA < iB ? iB - 1 : iA); ++r, ++n) {
      long long m = r;
      if (p.edge == 1) m = std::clamp(r, lo, hi);
      if (p.edge == 2) m = lo + ((r - lo) % H + H) % H;  // as adding or subtracting H
      const Colour c = line(m);
      sum[0] += c.r, sum[1] += c.g, sum[2] += c.b;
    }
    return {int(sum[0] / n), int(sum[1] / n), int(sum[2] / n)};
  }
  double q = yA, f;
  long long i0, i1;
  if (p.edge == 1 || p.edge == 2) {
    if (p.edge == 1) q = std::clamp(q, double(lo), double(hi));
    if (p.edge == 2) {
      q -= std::floor((q - lo) / H) * H;
      if (q < lo) q += H;
      if (q >= lo + H) q -= H;
    }
    i0 = static_cast<long long>(std::trunc(q));
    f = q - i0;
    i1 = std::min(i0 + 1, hi);
  } else {
    i0 = static_cast<long long>(std::floor(q));
    if (q < 0 && q == std::floor(q)) i0 -= 1;  // computed as q - 1 truncated
    f = q - std::trunc(q) + (q < 0 ? 1 : 0);
    i1 = i0 + 1;
  }
  const Colour c0 = line(i0), c1 = line(i1);
  const auto mix = [&](int a, int b) { return int(std::trunc(a * (1 - f) + b * f)); };
  return {mix(c0.r, c1.r), mix(c0.g, c1.g), mix(c0.b, c1.b)};
}

struct WhirlParams {
  double degrees, pinch, factor;
  Colour background;
};

// The whirl as it is written: every pixel of the rectangle inside the
// circle writes itself and then its point mirror, where selected; the later
// write wins. Null where nothing was written.
std::vector<optional<Colour>> Whirl(const Grid& g, const WorkRect& rect, const Selected& selected,
                                    const WhirlParams& p) {
  if (rect.right < rect.left || rect.bottom < rect.top) return {};
  const int w = rect.right - rect.left + 1;
  std::vector<optional<Colour>> out(std::size_t(w) * (rect.bottom - rect.top + 1));
  const double a = (rect.right - rect.left + 1) * 0.5, b = (rect.bottom - rect.top + 1) * 0.5;
  const double cx = (rect.left + rect.right) * 0.5, cy = (rect.top + rect.bottom) * 0.5;
  const double sx = a < b ? b / a : 1, sy = a > b ? a / b : 1, R = std::max(a, b);
  const double turn = p.degrees * -0.017453292519943295, power = std::fabs(p.pinch);
  const double limit = R * R * p.factor;
  const auto sample = [&](double u, double v) {
    if (!Usable(u) || !Usable(v)) return p.background;
    const long long x0 = static_cast<long long>(std::floor(u)) - (u < 0 && u == std::floor(u));
    const long long y0 = static_cast<long long>(std::floor(v)) - (v < 0 && v == std::floor(v));
    return Blended(g, x0, y0, std::fabs(u - std::trunc(u)), std::fabs(v - std::trunc(v)),
                   p.background);
  };
  const auto write = [&](int x, int y, Colour c) {
    if (selected(x, y)) out[std::size_t(y - rect.top) * w + (x - rect.left)] = c;
  };
  for (int y = rect.top; y <= rect.bottom; ++y)
    for (int x = rect.left; x <= rect.right; ++x) {
      const double dx = (x - cx) * sx, dy = (y - cy) * sy, r2 = dx * dx + dy * dy;
      if (r2 >= limit) continue;
      const double d = std::sqrt(r2 / p.factor) / R;
      const double s = std::pow(std::sin(d * 1.5707963267948966), power);
      const double t = (1 - d) * (1 - d) * turn;
      const double u = (std::cos(t) * s * dx - std::sin(t) * s * dy) / sx + cx;
      const double v = (std::sin(t) * s * dx + std::cos(t) * s * dy) / sy + cy;
      write(x, y, sample(u, v));
      write(rect.left + rect.right - x, rect.top + rect.bottom - y,
            sample(2 * cx - u, 2 * cy - v));
    }
  return out;
}

struct LensParams {
  double index;
  bool fill;
  Colour colour;
};

optional<Colour> Lens(const Grid& g, const WorkRect& rect, int x, int y, const LensParams& p) {
  const double n = p.index < 1.0 ? 1.0 : p.index;
  const double a = (rect.right - rect.left + 1) * 0.5, b = (rect.bottom - rect.top + 1) * 0.5;
  const double m = std::min(a, b);
  const double tx = (x - rect.left) - a + 0.5, ty = b - (y - rect.top) - 0.5;
  if (tx * tx / (a * a) + ty * ty / (b * b) >= 1)
    return p.fill ? optional<Colour>(p.colour) : std::nullopt;
  const double z = std::sqrt(m * m * (1 - tx * tx / (a * a) - ty * ty / (b * b)));
  const double ax = 1.5707963267948966 - std::acos(tx / std::sqrt(tx * tx + z * z));
  const double dx = z * std::tan(ax - std::asin(std::sin(ax) / n));
  const double ay = 1.5707963267948966 - std::acos(ty / std::sqrt(ty * ty + z * z));
  const double dy = z * std::tan(ay - std::asin(std::sin(ay) / n));
  const double u = tx - dx + rect.left + a, v = rect.top - (ty - dy) + b;
  if (!Usable(u) || !Usable(v)) return std::nullopt;
  long long x0 = static_cast<long long>(std::trunc(std::fabs(u)));
  long long y0 = static_cast<long long>(std::trunc(std::fabs(v)));
  double fx = u - x0, fy = v - y0;
  if (x0 > g.width - 2) x0 = g.width - 2, fx = 1.0;
  if (y0 > g.height - 2) y0 = g.height - 2, fy = 1.0;
  return Blended(g, x0, y0, fx, fy, Colour{0, 0, 0});  // what lies outside weighs 0
}

Colour Canvas(const Grid& g, const WorkRect&, int x, int y, int orientation, int strength) {
  const int tx = x % 128, ty = y % 128;
  const int o = orientation & 0xFF;
  const int d = o == 1   ? kCanvasRelief[ty * 128 + 127 - tx]
                : o == 2 ? kCanvasRelief[tx * 128 + ty]
                : o == 3 ? kCanvasRelief[tx * 128 + 127 - ty]
                         : kCanvasRelief[ty * 128 + tx];
  const double offset = std::trunc(d * (strength * 0.1) + 0.5);
  const Colour c = ColourOf(g, x, y);
  const auto add = [&](int v) { return int(std::clamp(v + offset, 0.0, 255.0)); };
  return {add(c.r), add(c.g), add(c.b)};
}

Colour GlassTile(const Grid& g, const WorkRect& rect, int x, int y, int tw, int th) {
  tw = std::clamp(tw, 10, 100), th = std::clamp(th, 10, 100);
  const int tileLeft = rect.left + (x - rect.left) / tw * tw;
  const int tileTop = rect.top + (y - rect.top) / th * th;
  const int c = x - tileLeft, r = y - tileTop;
  const int sx = c < tw / 2 ? tileLeft + 2 * c : tileLeft + 2 * c - tw;
  const int sy = r < th / 2 ? tileTop + 2 * r : tileTop + 2 * r - th;
  return ColourOf(g, std::clamp(sx, 0, g.width - 1), std::clamp(sy, 0, g.height - 1));
}

}  // namespace ref

// A double in -range..range, now and then NaN, an infinity or huge.
double RandomDouble(std::mt19937& random, double range) {
  switch (random() % 16) {
    case 0:
      return kNaN;
    case 1:
      return random() % 2 ? kInf : -kInf;
    case 2:
      return random() % 2 ? 3e12 : -5e9;
    default:
      return (static_cast<double>(random()) / 4294967295.0 * 2 - 1) * range;
  }
}

Colour RandomColour(std::mt19937& random) {
  return {int(random() % 256), int(random() % 256), int(random() % 256)};
}
Rgb RgbOf(Colour c) { return {BYTE(c.r), BYTE(c.g), BYTE(c.b)}; }

RandomCase WavesCase(const ref::WavesParams& p) {
  return PixelCase(
      Describe("Waves", p.direction, p.shape, p.wavelength, p.amplitude, p.phase, p.edge),
      [=](const SelectionArgs& a, PixelRoute route) {
        return RunWaves(a, BYTE(p.direction), BYTE(p.shape), p.wavelength, p.amplitude, p.phase,
                        BYTE(p.edge), RgbOf(p.background), TRUE, route);
      },
      [=](const Grid& g, const WorkRect& r, int x, int y) { return ref::Waves(g, r, x, y, p); });
}

std::vector<RandomCase> DistortCases(std::mt19937& random) {
  std::vector<RandomCase> cases;
  for (int n = 0; n < 2; ++n) {
    ref::RippleParams p{RandomDouble(random, 12), RandomDouble(random, 15),
                        RandomDouble(random, 720), random() % 2 == 0, random() % 2 == 0,
                        RandomColour(random)};
    if (p.wavelength == 0) p.wavelength = 0.5;
    cases.push_back(PixelCase(
        Describe("Ripple", p.amplitude, p.wavelength, p.degrees, p.clamp, p.scaling),
        [=](const SelectionArgs& a, PixelRoute route) {
          return RunRipple(a, p.amplitude, p.wavelength, p.degrees, p.clamp, p.scaling,
                           RgbOf(p.background), TRUE, route);
        },
        [=](const Grid& g, const WorkRect& r, int x, int y) { return ref::Ripple(g, r, x, y, p); }));
  }
  for (int n = 0; n < 3; ++n) {
    cases.push_back(WavesCase({int(random() % 2), int(random() % 2), int(random() % 34) - 3,
                               random() % 8 ? int(random() % 24) - 3 : int(random() % 300),
                               RandomDouble(random, 1.5), int(random() % 4),
                               RandomColour(random)}));
  }
  for (int n = 0; n < 2; ++n) {
    ref::WhirlParams p{RandomDouble(random, 400), RandomDouble(random, 3),
                       random() % 4 ? RandomDouble(random, 1) + 1 : RandomDouble(random, 2),
                       RandomColour(random)};
    cases.push_back(
        {Describe("WhirlPinch", p.degrees, p.pinch, p.factor),
         [=](const SelectionArgs& a, PixelRoute route) {
           return RunWhirlPinch(a, p.degrees, p.pinch, p.factor, RgbOf(p.background), TRUE,
                                route);
         },
         [=](const Grid& g, const RandomSelection& s) {
           const auto written = ref::Whirl(g, s.rect, s.selected, p);
           const int w = s.rect.right - s.rect.left + 1;
           return ExpectedFilter(g, s.rect, s.selected, [&](int x, int y) {
             return written[std::size_t(y - s.rect.top) * w + (x - s.rect.left)];
           });
         }});
  }
  {
    ref::LensParams p{random() % 4 ? RandomDouble(random, 3) : 1.0, random() % 2 == 0,
                      RandomColour(random)};
    cases.push_back(
        {Describe("Lens", p.index, p.fill),
         [=](const SelectionArgs& a, PixelRoute route) {
           return RunLens(a, p.index, p.fill, RgbOf(p.colour), TRUE, route);
         },
         [=](const Grid& g, const RandomSelection& s) {
           return ExpectedFilter(g, s.rect, s.selected,
                                 [&](int x, int y) { return ref::Lens(g, s.rect, x, y, p); });
         }});
  }
  const BYTE orientation = random() % 3 ? BYTE(random() % 4) : BYTE(random());
  const int strength = random() % 6 ? int(random() % 401) - 200
                                    : (random() % 2 ? 2147483647 : -2147483647 - 1);
  cases.push_back(
      Case<RunCanvas, ref::Canvas>("Canvas orientation, strength", orientation, strength));
  const auto tile = [&] { return random() % 3 ? 1 + int(random() % 25) : int(random()); };
  cases.push_back(Case<RunGlassTile, ref::GlassTile>("GlassTile", tile(), tile()));
  return cases;
}

class DistortRandomTest : public QvxTest {};

TEST_F(DistortRandomTest, EveryDistortionMatchesItsRuleOnEveryLayoutAndSelection) {
  EXPECT_EQ(CheckRandomCases(60, kFilterLayouts, DistortCases), 60 * 6 * 10);
}

// Pictures wider and taller than the bands and tiles the distortions are
// worked out in, so that runs cross their edges, and wide enough for the
// four-pixel steps inside the picture.
TEST_F(DistortRandomTest, LargePicturesMatchTheRulesAcrossBandsAndTiles) {
  EXPECT_EQ(CheckRandomCases(4, kFilterLayouts, DistortCases, RandomSizes{{131, 262}, 75}),
            4 * 6 * 10);
}

// Waves from gentle to steep on wide pictures, every edge mode: runs where
// four neighbouring pixels are worked out together, and runs where some of
// them fall back to the single-pixel rule, mixed within rows.
TEST_F(DistortRandomTest, WavesOfEveryStrengthMatchTheRuleOnWidePictures) {
  const auto cases = [](std::mt19937& random) {
    std::vector<RandomCase> waves;
    for (int n = 0; n < 4; ++n)
      waves.push_back(WavesCase({int(random() % 2), int(random() % 2), 4 + int(random() % 120),
                                 int(random() % 25), static_cast<double>(random() % 1001) / 1000,
                                 int(random() % 4), RandomColour(random)}));
    return waves;
  };
  EXPECT_EQ(CheckRandomCases(3, kFilterLayouts, cases, RandomSizes{{150, 301}, 60}), 3 * 6 * 4);
}

}  // namespace
}  // namespace qvx::test
