#include "tone/ToneModel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace qvx::test {

int Rounded(double v) { return static_cast<int>(v >= 0 ? v + 0.5 : v - 0.5); }
int Clamped(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

namespace model {
namespace {

constexpr double kStep = 0.00392156862745098;  // 1/255

int Gamma(int v, double g) {
  const double e = g >= 0 ? g + 1 : 1 / std::fabs(g - 1);
  const double value = 255 * std::pow(v * kStep, e);
  if (std::isnan(value)) return 0;  // what the processor's conversion and the clamp give
  return Clamped(Rounded(value));
}

int Limited(int offset) { return std::max(-255, std::min(255, offset)); }

}  // namespace

Colour RgbGamma(Colour c, double red, double green, double blue) {
  return {Gamma(c.r, red), Gamma(c.g, green), Gamma(c.b, blue)};
}

Colour RgbLevel(Colour c, int red, int green, int blue) {
  return {Clamped(c.r + Limited(red)), Clamped(c.g + Limited(green)), Clamped(c.b + Limited(blue))};
}

Colour RgbRev(Colour c, bool red, bool green, bool blue) {
  return {red ? 255 - c.r : c.r, green ? 255 - c.g : c.g, blue ? 255 - c.b : c.b};
}

std::vector<int> SplineTable(const std::vector<POINT>& points) {
  int lo = 255, hi = 0;
  for (const POINT& p : points) {
    lo = std::min<int>(lo, p.x);
    hi = std::max<int>(hi, p.x);
  }
  // Of neighbours with equal x only the last counts.
  std::vector<double> x, y;
  for (std::size_t j = 0; j < points.size(); ++j)
    if (j + 1 == points.size() || points[j + 1].x != points[j].x) {
      x.push_back(points[j].x);
      y.push_back(points[j].y);
    }
  const int n = static_cast<int>(x.size());
  std::vector<double> h(n + 1), s(n + 1), z(n + 1), w(n + 1);
  for (int j = 0; j + 1 < n; ++j) {
    h[j] = x[j + 1] - x[j];
    s[j + 1] = (y[j + 1] - y[j]) / h[j];
  }
  if (n >= 3) {
    z[1] = s[2] - s[1];
    w[1] = 2 * (x[2] - x[0]);
    for (int j = 1; j <= n - 3; ++j) {
      const double t = h[j] / w[j];
      z[j + 1] = s[j + 2] - s[j + 1] - z[j] * t;
      w[j + 1] = 2 * (x[j + 2] - x[j]) - h[j] * t;
    }
    z[n - 1] = 0;
    for (int j = n - 2; j >= 1; --j) z[j] = (z[j] - h[j] * z[j + 1]) / w[j];
  }
  std::vector<int> table(256);
  for (int t = 0; t < 256; ++t) {
    if (t < lo || t > hi) {
      table[t] = t;
      continue;
    }
    double value = n ? y[0] : t;
    if (n >= 2) {
      int a = 0, b = n - 1;
      while (a < b) {
        const int m = (a + b) / 2;
        if (x[m] < t)
          a = m + 1;
        else
          b = m;
      }
      const int j = a > 0 ? a - 1 : 0;
      const double hj = x[j + 1] - x[j], d = t - x[j];
      value = (((z[j + 1] - z[j]) * d / hj + 3 * z[j]) * d +
               ((y[j + 1] - y[j]) / hj - (2 * z[j] + z[j + 1]) * hj)) *
                  d +
              y[j];
    }
    table[t] = value > 255 ? 255 : (value < 0 ? 0 : static_cast<int>(value));
  }
  return table;
}

Colour RgbSpline(Colour c, const std::vector<int>& table, bool red, bool green, bool blue) {
  return {red ? table[c.r] : c.r, green ? table[c.g] : c.g, blue ? table[c.b] : c.b};
}

Colour Ycc(Colour c, const YccLevelFns& fns) {
  const double r = c.r, g = c.g, b = c.b;
  const int y = Clamped(Rounded(r * 0.298912 + g * 0.586611 + b * 0.114478));
  const int cr = Clamped(Rounded(r * 0.5 + g * -0.41869 + b * -0.08131 + 128.0));
  const int cb = Clamped(Rounded(r * -0.16874 + g * -0.33126 + b * 0.5 + 128.0));
  const double yp = fns.y(y), crp = fns.cr(cr), cbp = fns.cb(cb);
  return {Clamped(Rounded(yp + 1.402 * crp)),
          Clamped(Rounded((yp - 0.34414 * cbp) - 0.71414 * crp)),
          Clamped(Rounded(yp + 1.772 * cbp))};
}

YccLevelFns YccGamma(double y, double cr, double cb) {
  auto curve = [](double g) {
    const double e = g >= 0 ? g + 1 : 1 / std::fabs(g - 1);
    return [e](int v) { return Rounded(255 * std::pow(v * kStep, e)); };
  };
  auto yc = curve(y), crc = curve(cr), cbc = curve(cb);
  return {yc, [crc](int v) { return crc(v) - 128; }, [cbc](int v) { return cbc(v) - 128; }};
}

YccLevelFns YccLevel(int y, int cr, int cb) {
  const int dy = Limited(y), dcr = Limited(cr), dcb = Limited(cb);
  return {[dy](int v) { return v + dy; }, [dcr](int v) { return v + dcr - 128; },
          [dcb](int v) { return v + dcb - 128; }};
}

YccLevelFns YccRev(bool y, bool cr, bool cb) {
  return {[y](int v) { return y ? 255 - v : v; }, [cr](int v) { return cr ? 127 - v : v - 128; },
          [cb](int v) { return cb ? 127 - v : v - 128; }};
}

YccLevelFns YccSpline(const std::vector<int>& table, bool y, bool cr, bool cb) {
  return {[=](int v) { return y ? table[v] : v; }, [=](int v) { return (cr ? table[v] : v) - 128; },
          [=](int v) { return (cb ? table[v] : v) - 128; }};
}

Colour Grey(Colour c) {
  const int level = static_cast<int>(c.r * 0.298912 + c.g * 0.586611 + c.b * 0.114478);
  return {level, level, level};
}

Colour Unify(Colour c, int red, int green, int blue, int tolerance) {
  auto near = [tolerance](int v, int target) { return std::abs(v - target) <= tolerance; };
  return near(c.r, red) && near(c.g, green) && near(c.b, blue) ? Colour{red, green, blue} : c;
}

Colour Chroma(Colour c, int amount) {
  amount = std::max(-100, std::min(1000, amount));
  const double f = (amount + 100) * 0.01;
  if (f == 1) return c;
  const double r = c.r, g = c.g, b = c.b;
  const int y = static_cast<int>(r * 0.298912 + g * 0.586611 + b * 0.114478);
  const int cr = static_cast<int>(r * 0.5 + g * -0.41869 + b * -0.08131);
  const int cb = static_cast<int>(r * -0.16874 + g * -0.33126 + b * 0.5);
  const int crp = Rounded(cr * f), cbp = Rounded(cb * f);
  return {Clamped(static_cast<int>(y + 1.402 * crp)),
          Clamped(static_cast<int>((y - 0.34414 * cbp) - 0.71414 * crp)),
          Clamped(static_cast<int>(y + 1.772 * cbp))};
}

Colour RedEye(Colour c, int red, int green, int blue, int threshold) {
  if (c.r - (c.g + c.b) / 2 <= threshold) return c;
  const int l = Rounded(c.r * 0.298912 + c.g * 0.586611 + c.b * 0.114478);
  const double s = l * kStep;
  return {static_cast<int>(red * s), static_cast<int>(green * s), static_cast<int>(blue * s)};
}

}  // namespace model

int GreyIndex(Colour c) { return static_cast<int>(0.587 * c.g + 0.299 * c.r + 0.114 * c.b + 0.5); }

Selected MaskSelection(HGLOBAL mask) {
  PictureView view(mask);
  const int width = view.Width(), height = view.Height();
  std::vector<bool> bits(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Pixel p = view.At(x, y);
      bits[static_cast<std::size_t>(y) * width + x] = p.red || p.green || p.blue;
    }
  return [bits, width](int x, int y) { return bits[static_cast<std::size_t>(y) * width + x]; };
}

namespace {

bool IsGreyRamp(const PictureView& view) {
  const BITMAPINFOHEADER* h = view.Header();
  if (h->biBitCount != 8 || (h->biClrUsed != 0 && h->biClrUsed != 256)) return false;
  for (int i = 0; i < 256; ++i) {
    const RGBQUAD q = view.Table()[i];
    if (q.rgbRed != i || q.rgbGreen != i || q.rgbBlue != i) return false;
  }
  return true;
}

int Narrow(int c, int bits) {
  return static_cast<int>(c * (bits == 5 ? 31 : 63) * 0.00392156862745098 + 0.5);
}

}  // namespace

HGLOBAL ExpectedTone(HGLOBAL source, const ColourMap& map, const Selected& selected,
                     bool greyByTable) {
  const std::vector<std::uint8_t> bytes = BlockBytes(source);
  HGLOBAL expected = GlobalAlloc(GHND, bytes.size());
  std::memcpy(GlobalLock(expected), bytes.data(), bytes.size());
  GlobalUnlock(expected);
  PictureView in(source);
  PictureView out(expected);
  const int bits = in.BitCount();
  const bool grey = IsGreyRamp(in);
  if (bits <= 8 && (!grey || greyByTable)) {
    auto* table = const_cast<RGBQUAD*>(out.Table());
    const int entries = static_cast<int>(GetDibPalSize(in.Header()) / 4);
    for (int i = 0; i < entries; ++i) {
      const Colour c = map({table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue});
      table[i].rgbRed = static_cast<BYTE>(c.r);
      table[i].rgbGreen = static_cast<BYTE>(c.g);
      table[i].rgbBlue = static_cast<BYTE>(c.b);
    }
    return expected;
  }
  const bool is565 = bits == 16 && in.Header()->biCompression == BI_BITFIELDS &&
                     reinterpret_cast<const DWORD*>(in.Table())[0] == 0xF800;
  for (int y = 0; y < in.Height(); ++y) {
    auto* row = const_cast<std::uint8_t*>(out.Row(y));
    for (int x = 0; x < in.Width(); ++x) {
      if (!selected(x, y)) continue;
      const Pixel p = in.At(x, y);
      const Colour c = map({p.red, p.green, p.blue});
      switch (bits) {
        case 8:
          row[x] = static_cast<std::uint8_t>(GreyIndex(c));
          break;
        case 16: {
          const int word = is565 ? (Narrow(c.r, 5) << 11) | (Narrow(c.g, 6) << 5) | Narrow(c.b, 5)
                                 : (Narrow(c.r, 5) << 10) | (Narrow(c.g, 5) << 5) | Narrow(c.b, 5);
          row[2 * x] = static_cast<std::uint8_t>(word);
          row[2 * x + 1] = static_cast<std::uint8_t>(word >> 8);
          break;
        }
        default: {
          const int step = bits / 8;
          row[step * x] = static_cast<std::uint8_t>(c.b);
          row[step * x + 1] = static_cast<std::uint8_t>(c.g);
          row[step * x + 2] = static_cast<std::uint8_t>(c.r);
          if (step == 4) row[4 * x + 3] = 0;
        }
      }
    }
  }
  return expected;
}

}  // namespace qvx::test
