#include "geometry/GeometryReference.h"

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
  g.width = w;
  g.height = h;
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
  if (bits == 16) {
    p.red = through(red, 31);
    p.green = through(green, is565 ? 63 : 31);
    p.blue = through(blue, 31);
  } else if (grey) {
    p.index = Rnd(0.299 * red + 0.587 * green + 0.114 * blue);
    p.red = p.green = p.blue = p.index;
  } else {
    p.red = red;
    p.green = green;
    p.blue = blue;
  }
  return p;
}

Grid Decode(HGLOBAL picture) {
  PictureView view(picture);
  Grid g;
  g.width = view.Width();
  g.height = view.Height();
  g.bits = view.BitCount();
  g.is565 = g.bits == 16 && view.Header()->biCompression == BI_BITFIELDS &&
            reinterpret_cast<const DWORD*>(view.Table())[0] == 0xF800;
  if (g.bits == 8) {
    g.grey = view.Header()->biClrUsed == 0 || view.Header()->biClrUsed == 256;
    for (int i = 0; i < 256 && g.grey; ++i)
      g.grey = view.Table()[i].rgbRed == i && view.Table()[i].rgbGreen == i &&
               view.Table()[i].rgbBlue == i;
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

Grid BoxStage(const Grid& source, int width, int height) {
  Grid out = source.Blank(width, height);
  const double rx = static_cast<double>(source.width) / width;
  const double ry = static_cast<double>(source.height) / height;
  for (int y = 0; y < height; ++y) {
    const int y0 = std::min(Rnd(y * ry), source.height - 1);
    const int y1 = std::min(Rnd((y + 1) * ry), source.height);
    for (int x = 0; x < width; ++x) {
      const int x0 = std::min(Rnd(x * rx), source.width - 1);
      const int x1 = std::min(Rnd((x + 1) * rx), source.width);
      long r = 0, g = 0, b = 0;
      for (int sy = y0; sy < y1; ++sy)
        for (int sx = x0; sx < x1; ++sx) {
          r += source.At(sx, sy).red;
          g += source.At(sx, sy).green;
          b += source.At(sx, sy).blue;
        }
      const long n = long{x1 - x0} * (y1 - y0);
      out.At(x, y) = source.Stored(int(r / n), int(g / n), int(b / n));
    }
  }
  return out;
}

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
      const Pixel c00 = at(ix, iy), c10 = at(ix + 1, iy), c01 = at(ix, iy + 1),
                  c11 = at(ix + 1, iy + 1);
      const auto blend = [&](int Pixel::*channel) {
        return static_cast<int>(
            std::trunc((c00.*channel * (1 - dx) + c10.*channel * dx) * (1 - dy) +
                       (c01.*channel * (1 - dx) + c11.*channel * dx) * dy + 0.5));
      };
      out.At(x, y) = source.Stored(blend(&Pixel::red), blend(&Pixel::green), blend(&Pixel::blue));
    }
  return out;
}

}  // namespace

Grid SmoothResize(const Grid& source, int width, int height) {
  const bool shrink = width < source.width || height < source.height;
  const bool grow = !(width < source.width && height < source.height);
  Grid stage = source;
  if (shrink)
    stage = BoxStage(source, std::min(width, source.width), std::min(height, source.height));
  if (grow) stage = GrowStage(stage, width, height);
  return stage;
}

}  // namespace qvx::test
