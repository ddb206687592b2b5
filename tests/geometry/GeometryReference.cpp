#include "geometry/GeometryReference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

namespace qvx::test {

int Rnd(double value) {
  return static_cast<int>(value < 0 ? std::trunc(value - 0.5) : std::trunc(value + 0.5));
}

Grid Grid::Blank(int w, int h) const {
  Grid g = *this;
  g.width = w, g.height = h;
  g.pixels.assign(static_cast<std::size_t>(w) * h, Pixel{});
  return g;
}

Pixel Grid::Stored(int red, int green, int blue) const {
  Pixel p;
  const auto through = [](int c, int levels) {
    const int v = static_cast<int>(std::trunc(c * levels * 0.00392156862745098 + 0.5));
    return static_cast<int>(
        std::trunc(v * (levels == 31 ? 8.225806451612902 : 4.0476190476190474) + 0.5));
  };
  if (bits == 16)
    p.red = through(red, 31), p.green = through(green, is565 ? 63 : 31), p.blue = through(blue, 31);
  else if (grey)
    p.index = p.red = p.green = p.blue = Rnd(0.299 * red + 0.587 * green + 0.114 * blue);
  else
    p.red = red, p.green = green, p.blue = blue;
  return p;
}

Pixel Grid::Nearest(int red, int green, int blue) const {
  if (bits > 8) return Stored(red, green, blue);
  int best = 0;
  long bestDistance = -1;
  for (int i = 0; i < int(table.size()); ++i) {
    const long dr = table[i].rgbRed - red, dg = table[i].rgbGreen - green,
               db = table[i].rgbBlue - blue;
    if (bestDistance < 0 || dr * dr + dg * dg + db * db < bestDistance) {
      bestDistance = dr * dr + dg * dg + db * db;
      best = i;
    }
  }
  return Pixel{best, table[best].rgbRed, table[best].rgbGreen, table[best].rgbBlue, 0};
}

HGLOBAL PaintedPicture(int width, int height, const std::function<Colour(int x, int y)>& colour) {
  HGLOBAL picture = MakePicture(Layout::kRgb24, width, height, 5);
  PictureView view(picture);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      auto* pixel = const_cast<std::uint8_t*>(view.Row(y)) + 3 * x;
      const Colour c = colour(x, y);
      pixel[0] = static_cast<BYTE>(c.b), pixel[1] = static_cast<BYTE>(c.g);
      pixel[2] = static_cast<BYTE>(c.r);
    }
  return picture;
}

Grid Decode(HGLOBAL picture) {
  PictureView view(picture);
  Grid g;
  g.width = view.Width(), g.height = view.Height(), g.bits = view.BitCount();
  g.is565 = g.bits == 16 && view.Header()->biCompression == BI_BITFIELDS &&
            reinterpret_cast<const DWORD*>(view.Table())[0] == 0xF800;
  if (g.bits == 8) {
    g.grey = view.Header()->biClrUsed == 0 || view.Header()->biClrUsed == 256;
    for (int i = 0; i < 256 && g.grey; ++i)
      g.grey = view.Table()[i].rgbRed == i && view.Table()[i].rgbGreen == i &&
               view.Table()[i].rgbBlue == i;
  }
  if (g.bits <= 8) {
    const int entries = view.Header()->biClrUsed ? int(view.Header()->biClrUsed) : 1 << g.bits;
    g.table.assign(view.Table(), view.Table() + entries);
  }
  for (int y = 0; y < g.height; ++y)
    for (int x = 0; x < g.width; ++x) g.pixels.push_back(view.At(x, y));
  return g;
}

std::string Mismatch(const Grid& expected, HGLOBAL actual) {
  if (!actual) return "no picture";
  const Grid got = Decode(actual);
  std::ostringstream out;
  if (got.width != expected.width || got.height != expected.height || got.bits != expected.bits) {
    out << "size " << got.width << "x" << got.height << "x" << got.bits << ", expected "
        << expected.width << "x" << expected.height << "x" << expected.bits;
    return out.str();
  }
  for (int y = 0; y < got.height; ++y)
    for (int x = 0; x < got.width; ++x)
      if (!(got.At(x, y) == expected.At(x, y))) {
        out << "pixel (" << x << ", " << y << "): expected " << ToString(expected.At(x, y))
            << ", got " << ToString(got.At(x, y));
        return out.str();
      }
  return "";
}

HGLOBAL RandomMask(std::mt19937& random, int width, int height) {
  std::vector<std::string> rows(height);
  for (std::string& row : rows)
    for (int x = 0; x < width; ++x) row += random() % 3 ? '#' : '.';
  return MakeMask(rows, random() % 2);
}

int RefusalOf(const std::function<HGLOBAL()>& call) {
  SetErrorStatus(0);
  HGLOBAL result = call();
  EXPECT_EQ(result, nullptr) << "the call succeeded";
  if (result) GlobalFree(result);
  return GetErrorStatus();
}

Pixel Blend(double fx, double fy, const Pixel& c00, const Pixel& h, const Pixel& v,
            const Pixel& d) {
  const auto channel = [&](int Pixel::*c) {
    return static_cast<int>(std::trunc((c00.*c * (1 - fx) + h.*c * fx) * (1 - fy) +
                                       (v.*c * (1 - fx) + d.*c * fx) * fy + 0.5));
  };
  return Pixel{-1, channel(&Pixel::red), channel(&Pixel::green), channel(&Pixel::blue), 0};
}

Grid NearestResize(const Grid& source, int width, int height) {
  Grid out = source.Blank(width, height);
  const double rx = static_cast<double>(source.width) / width;
  const double ry = static_cast<double>(source.height) / height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int sx = std::clamp(Rnd(x * rx), 0, source.width - 1);
      const int sy = std::clamp(Rnd(y * ry), 0, source.height - 1);
      out.At(x, y) = source.At(sx, sy);
      out.At(x, y).alpha = 0;
    }
  return out;
}

namespace {

int Truncate(double v) { return static_cast<int>(std::trunc(v)); }

Grid GrowStage(const Grid& source, int width, int height) {
  Grid out = source.Blank(width, height);
  const int sw = source.width, sh = source.height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      double fx = x * (static_cast<double>(sw) / width);
      double fy = y * (static_cast<double>(sh) / height);
      int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
      double dx = fx - ix, dy = fy - iy;
      if (ix > sw - 2) {
        ix = sw < 2 ? 0 : sw - 2;
        dx = sw < 2 ? 0 : 1.0;
      }
      if (iy > sh - 2) {
        iy = sh < 2 ? 0 : sh - 2;
        dy = sh < 2 ? 0 : 1.0;
      }
      const auto at = [&](int px, int py) {
        return px < sw && py < sh ? source.At(px, py) : Pixel{};
      };
      const Pixel c = Blend(dx, dy, at(ix, iy), at(ix + 1, iy), at(ix, iy + 1), at(ix + 1, iy + 1));
      out.At(x, y) = source.Stored(c.red, c.green, c.blue);
    }
  return out;
}

struct Frame {
  int left, top, right, bottom;
};

Frame CentredOf(int w, int h) {
  return {-(w / 2), -(h / 2), w % 2 == 1 ? w / 2 : w / 2 - 1, h % 2 == 1 ? h / 2 : h / 2 - 1};
}

}  // namespace

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

Grid SmoothResize(const Grid& source, int width, int height) {
  const bool shrink = width < source.width || height < source.height;
  const bool grow = !(width < source.width && height < source.height);
  Grid stage = source;
  if (shrink)
    stage = BoxAverage(source, 0, 0, source.width, source.height, std::min(width, source.width),
                       std::min(height, source.height));
  if (grow) stage = GrowStage(stage, width, height);
  return stage;
}

Grid Rotate(const Grid& source, const RotationArgs& args) {
  int a = args.angle % 36000;
  if (a < 0) a += 36000;
  Grid g = source;
  const int w = g.width, h = g.height;
  if (args.mirror)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        g.At(x, y) = source.At(w - 1 - x, y);
        g.At(x, y).alpha = 0;
      }
  if (args.flip) {
    const Grid before = g;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) g.At(x, y) = before.At(x, h - 1 - y);
  }
  const Pixel whole = g.Nearest(args.red, args.green, args.blue);
  const auto withoutAlpha = [](Pixel p) { return p.alpha = 0, p; };
  if (a == 0) return g;
  if (a == 18000) {
    Grid out = g;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) out.At(x, y) = g.At(w - 1 - x, h - 1 - y);
    return out;
  }
  if (a == 9000 || a == 27000) {
    if (!args.keepSize) {
      Grid out = g.Blank(h, w);
      for (int y = 0; y < w; ++y)
        for (int x = 0; x < h; ++x)
          out.At(x, y) = a == 9000 ? g.At(w - 1 - y, x) : g.At(y, h - 1 - x);
      return out;
    }
    Grid out = g.Blank(w, h);
    const int d = h - w, d2 = d / 2, d1 = d - d2;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int sx = a == 9000 ? d1 - y + w - 1 : y - d1;
        const int sy = a == 9000 ? d2 + x : h - 1 - x - d2;
        out.At(x, y) = sx >= 0 && sx < w && sy >= 0 && sy < h ? withoutAlpha(g.At(sx, sy)) : whole;
      }
    return out;
  }
  const double t = a * 0.01 * 0.017453292519943295;
  const Frame f = CentredOf(w, h);
  Frame r = f;
  if (!args.keepSize) {
    const double cn = std::cos(-t), sn = std::sin(-t);
    const int corners[4][2] = {
        {f.left, f.top}, {f.left, f.bottom}, {f.right, f.bottom}, {f.right, f.top}};
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    for (const auto& k : corners) {
      const double x = k[0] * cn - k[1] * sn, y = k[0] * sn + k[1] * cn;
      x0 = std::min(x0, x);
      x1 = std::max(x1, x);
      y0 = std::min(y0, y);
      y1 = std::max(y1, y);
    }
    const auto out = [](double v) { return Truncate(v < 0 ? v - 1.0 : v + 1.0); };
    r = {out(x0), out(y0), out(x1), out(y1)};
  }
  Grid result = g.Blank(r.right - r.left + 1, r.bottom - r.top + 1);
  const bool smooth = args.smooth && (g.bits > 8 || g.grey);
  const Pixel bgColour{-1, args.red, args.green, args.blue, 0};
  const double c = std::cos(t), s = std::sin(t);
  for (int y = r.top; y <= r.bottom; ++y)
    for (int x = r.left; x <= r.right; ++x) {
      Pixel& out = result.At(x - r.left, y - r.top);
      const double sx = x * c - y * s, sy = x * s + y * c;
      const int ix = Truncate(sx), iy = Truncate(sy);
      if (ix < f.left || ix > f.right || iy < f.top || iy > f.bottom) {
        out = smooth ? g.Stored(args.red, args.green, args.blue) : whole;
        continue;
      }
      const int px = ix - f.left, py = iy - f.top;
      if (!smooth) {
        out = withoutAlpha(g.At(px, py));
        continue;
      }
      const double fx = std::fabs(sx - ix), fy = std::fabs(sy - iy);
      const int hx = px + (sx > 0 ? 1 : -1), vy = py + (sy > 0 ? 1 : -1);
      const auto at = [&](int qx, int qy) {
        return qx >= 0 && qx < w && qy >= 0 && qy < h ? g.At(qx, qy) : bgColour;
      };
      const Pixel blend = Blend(fx, fy, g.At(px, py), at(hx, py), at(px, vy), at(hx, vy));
      out = g.Stored(blend.red, blend.green, blend.blue);
    }
  return result;
}

}  // namespace qvx::test
