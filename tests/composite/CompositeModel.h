// The tests' own model of layering and pasting, worked from the rules of
// the two effects on decoded pictures: the composite's format and table,
// the pixel rule, the layer's two paths, the paste's area, quarter turns
// and the blended general angles.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "geometry/GeometryReference.h"

namespace qvx::test {

// A pixel as the rules see it: an index, or a colour with its alpha.
struct Value {
  int index = 0;
  int red = 0, green = 0, blue = 0, alpha = 0;
};

struct Composite {
  Grid grid;          // the expected picture
  bool trueColour;    // pixels mixed as colours
  bool same;          // the same-format flag
};

// The standard colour table of a picture kind made anew.
inline std::vector<RGBQUAD> StandardTable(int kind) {
  std::vector<RGBQUAD> t;
  const auto add = [&](int r, int g, int b) {
    t.push_back(RGBQUAD{BYTE(b), BYTE(g), BYTE(r), 0});
  };
  if (kind == 1) add(0, 0, 0), add(255, 255, 255);
  if (kind == 4) {
    const int dark[8][3] = {{0, 0, 0},     {127, 0, 0},   {0, 127, 0},   {127, 127, 0},
                            {0, 0, 127},   {127, 0, 127}, {0, 127, 127}, {127, 127, 127}};
    for (const auto& c : dark) add(c[0], c[1], c[2]);
    add(192, 192, 192);
    const int light[7][3] = {{255, 0, 0},   {0, 255, 0},   {255, 255, 0}, {0, 0, 255},
                             {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    for (const auto& c : light) add(c[0], c[1], c[2]);
  }
  if (kind == 8)
    for (int i = 0; i < 6; ++i)
      for (int j = 0; j < 6; ++j)
        for (int k = 0; k < 6; ++k) add(51 * k, 51 * j, 51 * i);
  if (kind == 80)
    for (int i = 0; i < 256; ++i) add(i, i, i);
  return t;
}

inline int KindOf(const Grid& g) {
  if (g.grey) return 80;
  if (g.bits == 4 && g.table.size() == 16) {
    bool ramp = true;
    for (int i = 0; i < 16; ++i)
      ramp = ramp && g.table[i].rgbRed == 17 * i && g.table[i].rgbGreen == 17 * i &&
             g.table[i].rgbBlue == 17 * i;
    if (ramp) return 40;
  }
  return g.bits;
}

// The empty composite of size width x height: format by the decision
// table, table as a new picture of that kind made from `under` gets it.
inline Composite EmptyComposite(const Grid& under, const Grid& over, int opacity, int width,
                                int height) {
  Composite c;
  int kind;
  if (under.grey && over.grey) {
    kind = 80, c.same = true, c.trueColour = false;
  } else if (under.bits > 8 || over.bits > 8) {
    kind = std::max(under.bits, over.bits), c.same = under.bits == over.bits, c.trueColour = true;
  } else {
    const bool tables =
        under.table.size() == over.table.size() &&
        std::equal(under.table.begin(), under.table.end(), over.table.begin(),
                   [](RGBQUAD a, RGBQUAD b) { return std::memcmp(&a, &b, 4) == 0; });
    if (under.bits == over.bits && tables && (opacity == 0 || opacity == 255))
      kind = under.bits, c.same = true, c.trueColour = false;
    else
      kind = 24, c.same = false, c.trueColour = true;
  }
  Grid& g = c.grid;
  g.width = width, g.height = height;
  g.bits = kind == 80 ? 8 : kind;
  g.grey = kind == 80;
  const bool sameKind = KindOf(under) == kind;
  g.is565 = g.bits == 16 && sameKind && under.is565;
  if (g.bits <= 8) g.table = sameKind ? under.table : StandardTable(kind);
  bool greyTable = under.bits == 4;
  for (const RGBQUAD& q : under.table)
    greyTable = greyTable && q.rgbRed == q.rgbGreen && q.rgbGreen == q.rgbBlue;
  if (greyTable && c.same && (opacity == 0 || opacity == 255))
    std::copy(under.table.begin(), under.table.end(), g.table.begin());
  g.pixels.assign(std::size_t(width) * height, Pixel{});
  return c;
}

// Reading a pixel the way the composite's mode reads it.
inline Value Read(const Composite& c, const Grid& g, int x, int y) {
  const Pixel& p = g.At(x, y);
  if (!c.trueColour) return Value{p.index};
  return Value{0, p.red, p.green, p.blue, p.alpha};
}

// The entry of a table nearest a colour (the sibling library's answer).
inline int NearestIndex(const Grid& g, Colour colour) {
  return g.Nearest(colour.r, colour.g, colour.b).index;
}

inline Value ValueOf(const Composite& c, const Grid& table, Colour colour) {
  if (c.trueColour) return Value{0, colour.r, colour.g, colour.b, 0};
  return Value{NearestIndex(table, colour)};
}

inline bool SameValue(const Composite& c, const Value& a, const Value& b) {
  if (!c.trueColour) return a.index == b.index;
  return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

// The rule: what is underneath at a = 0 or where nothing is laid, what is
// laid at 255, else ((255 - a) under + a over) / 255 per channel.
inline Value Rule(const Composite& c, int a, bool laid, const Value& under, const Value& over) {
  if (a == 0 || !laid) return under;
  if (a == 255) return over;
  const auto mix = [a](int u, int o) { return ((255 - a) * u + a * o) / 255; };
  if (!c.trueColour) return Value{mix(under.index, over.index)};
  return Value{0, mix(under.red, over.red), mix(under.green, over.green),
               mix(under.blue, over.blue), 0};
}

// A value written into the composite at (x, y).
inline void Store(Composite& c, int x, int y, const Value& v, int alpha) {
  Grid& g = c.grid;
  if (!c.trueColour) {
    const RGBQUAD& q = g.table[std::size_t(v.index)];
    g.At(x, y) = Pixel{v.index, q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
    return;
  }
  Pixel p = g.Stored(v.red, v.green, v.blue);
  p.alpha = g.bits == 32 ? alpha : 0;
  g.At(x, y) = p;
}

struct LayerArgs {
  int opacity = 255;
  bool keyOn = false;
  Colour key{0, 0, 0}, fill{0, 0, 0};
  int dx = 0, dy = 0;
  bool clip = true;
  bool alpha = false;
};

inline Composite ModelLayer(const Grid& base, const Grid& layer, const LayerArgs& at) {
  const bool alphaMode = at.alpha && layer.bits == 32;
  std::int64_t left = 0, top = 0, right = base.width - 1, bottom = base.height - 1;
  if (!at.clip) {
    left = std::min<std::int64_t>(at.dx, 0), top = std::min<std::int64_t>(at.dy, 0);
    right = std::max<std::int64_t>(right, std::int64_t{layer.width} - 1 + at.dx);
    bottom = std::max<std::int64_t>(bottom, std::int64_t{layer.height} - 1 + at.dy);
  }
  Composite c = EmptyComposite(base, layer, at.opacity, int(right - left + 1),
                               int(bottom - top + 1));
  const Value key = ValueOf(c, layer, at.key), fill = ValueOf(c, c.grid, at.fill);
  const int resultAlpha = at.alpha ? 255 : 0;
  const auto transparent = [&](const Value& l) { return at.keyOn && SameValue(c, l, key); };
  const auto opacity = [&](const Value& l) { return alphaMode ? l.alpha : at.opacity; };
  const bool inside = at.dx >= 0 && at.dy >= 0 && layer.width - 1 + at.dx <= base.width - 1 &&
                      layer.height - 1 + at.dy <= base.height - 1;
  if (c.same && (at.clip || inside)) {
    c.grid.pixels = base.pixels;
    for (int y = 0; y < layer.height; ++y)
      for (int x = 0; x < layer.width; ++x) {
        const std::int64_t bx = std::int64_t{x} + at.dx, by = std::int64_t{y} + at.dy;
        if (bx < 0 || by < 0 || bx >= base.width || by >= base.height) continue;
        const Value l = Read(c, layer, x, y), b = Read(c, base, int(bx), int(by));
        Store(c, int(bx), int(by), Rule(c, opacity(l), !transparent(l), b, l), resultAlpha);
      }
    return c;
  }
  for (std::int64_t y = top; y <= bottom; ++y)
    for (std::int64_t x = left; x <= right; ++x) {
      const std::int64_t lx = x - at.dx, ly = y - at.dy;
      const bool present = lx >= 0 && ly >= 0 && lx < layer.width && ly < layer.height;
      const Value l = present ? Read(c, layer, int(lx), int(ly)) : Value{};
      const bool shows = present && !transparent(l);
      Value b;
      if (x >= 0 && y >= 0 && x < base.width && y < base.height)
        b = Read(c, base, int(x), int(y));
      else
        b = shows ? l : fill;
      Store(c, int(x - left), int(y - top), Rule(c, opacity(l), shows, b, l), resultAlpha);
    }
  return c;
}

struct PasteArgs {
  int angle = 0;
  bool mirror = false, flip = false;
  int opacity = 255;
  bool keyOn = false;
  Colour key{0, 0, 0}, fill{0, 0, 0};
  int px = 0, py = 0;
  bool clip = true;
};

// The pasted picture mirrored (column x from W - 1 - x) and flipped.
inline Grid Turned(const Grid& g, bool mirror, bool flip) {
  Grid out = g;
  for (int y = 0; y < g.height; ++y)
    for (int x = 0; x < g.width; ++x)
      out.At(x, y) = g.At(mirror ? g.width - 1 - x : x, flip ? g.height - 1 - y : y);
  return out;
}

inline bool Selects(const Grid& mask, int x, int y) {
  const Pixel& p = mask.At(x, y);
  return p.red || p.green || p.blue;
}

// `mask` has width 0 when there is none.
inline Composite ModelPaste(const Grid& target, const Grid& pastedIn, const Grid& maskIn,
                            const PasteArgs& at) {
  const bool hasMask = maskIn.width > 0;
  const Grid pasted = Turned(pastedIn, at.mirror, at.flip);
  const Grid mask = hasMask ? Turned(maskIn, at.mirror, at.flip) : maskIn;
  int a = at.angle % 36000;
  if (a < 0) a += 36000;
  const double t = a * 0.01 * 0.017453292519943295;
  const int W = pasted.width, H = pasted.height;
  const int left = -(W / 2) + (W % 2 == 0 ? 1 : 0), right = W / 2;
  const int top = -(H / 2) + (H % 2 == 0 ? 1 : 0), bottom = H / 2;
  // The pasted area.
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
  const auto turn = [&](double x, double y) {
    const double tx = x * std::cos(-t) - y * std::sin(-t);
    const double ty = x * std::sin(-t) + y * std::cos(-t);
    minX = std::min(minX, tx), maxX = std::max(maxX, tx);
    minY = std::min(minY, ty), maxY = std::max(maxY, ty);
  };
  if (!hasMask) {
    turn(left, top), turn(left, bottom), turn(right, bottom), turn(right, top);
  } else {
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        if (Selects(mask, x, y)) turn(x + left, y + top);
  }
  const bool quarter = a % 9000 == 0;
  const auto bound = [quarter](double v) {
    if (!quarter) v = v < 0 ? v - 1 : v + 1;
    return static_cast<std::int64_t>(std::trunc(v));
  };
  const std::int64_t aL = bound(minX), aR = bound(maxX), aT = bound(minY), aB = bound(maxY);
  std::int64_t rL = -std::int64_t{at.px}, rT = -std::int64_t{at.py};
  std::int64_t rR = target.width - 1 - std::int64_t{at.px};
  std::int64_t rB = target.height - 1 - std::int64_t{at.py};
  if (!at.clip) rL = std::min(rL, aL), rT = std::min(rT, aT), rR = std::max(rR, aR),
                rB = std::max(rB, aB);
  Composite c = EmptyComposite(target, pasted, at.opacity, int(rR - rL + 1), int(rB - rT + 1));
  const Value key = ValueOf(c, pasted, at.key), fill = ValueOf(c, c.grid, at.fill);
  const auto inTarget = [&](std::int64_t X, std::int64_t Y) {
    return X >= 0 && Y >= 0 && X < target.width && Y < target.height;
  };
  // A pasted pixel (column, row) and whether it may be pasted.
  const auto usable = [&](int col, int row, Value& v) {
    v = Read(c, pasted, col, row);
    return (!hasMask || Selects(mask, col, row)) && !(at.keyOn && SameValue(c, v, key));
  };
  const double ct = std::cos(t), st = std::sin(t);
  for (std::int64_t y = rT; y <= rB; ++y)
    for (std::int64_t x = rL; x <= rR; ++x) {
      const std::int64_t X = x + at.px, Y = y + at.py;
      bool laid = false;
      Value over;
      if (x >= aL && x <= aR && y >= aT && y <= aB) {
        if (quarter) {
          std::int64_t sx = x, sy = y;
          if (a == 9000) sx = -y, sy = x;
          if (a == 18000) sx = -x, sy = -y;
          if (a == 27000) sx = y, sy = -x;
          const std::int64_t col = sx - left, row = sy - top;
          laid = col >= 0 && row >= 0 && col < W && row < H && usable(int(col), int(row), over);
        } else {
          const double sx = double(x) * ct - double(y) * st, sy = double(x) * st + double(y) * ct;
          const double ix = std::trunc(sx), iy = std::trunc(sy);
          if (ix >= left && ix <= right && iy >= top && iy <= bottom) {
            const int col = int(ix) - left, row = int(iy) - top;
            if (!c.trueColour) {
              laid = usable(col, row, over);
            } else {
              const int hx = sx > 0 ? 1 : -1, vy = sy > 0 ? 1 : -1;
              int kept = 0;
              const auto neighbour = [&](int ddx, int ddy) {
                const int nc = col + ddx, nr = row + ddy;
                Value v;
                bool ok;
                if (nc >= 0 && nr >= 0 && nc < W && nr < H) {
                  ok = usable(nc, nr, v);
                } else {
                  v = fill;
                  const bool maskZero =
                      !hasMask || (mask.table.size() > 0 && (mask.table[0].rgbRed ||
                                                             mask.table[0].rgbGreen ||
                                                             mask.table[0].rgbBlue));
                  ok = maskZero && !(at.keyOn && SameValue(c, v, key));
                }
                if (ok) {
                  ++kept;
                } else if (inTarget(X, Y) && inTarget(X + ddx, Y + ddy)) {
                  v = Read(c, target, int(X + ddx), int(Y + ddy));
                } else {
                  v = fill;
                }
                return Pixel{-1, v.red, v.green, v.blue, 0};
              };
              const Pixel c00 = neighbour(0, 0), h = neighbour(hx, 0), v = neighbour(0, vy),
                          d = neighbour(hx, vy);
              laid = kept > 0;
              const Pixel b = Blend(std::fabs(sx - ix), std::fabs(sy - iy), c00, h, v, d);
              over = Value{0, b.red, b.green, b.blue, 0};
            }
          }
        }
      }
      Value base;
      if (inTarget(X, Y))
        base = Read(c, target, int(X), int(Y));
      else
        base = laid ? over : fill;
      Store(c, int(x - rL), int(y - rT), Rule(c, at.opacity, laid, base, over), 0);
    }
  return c;
}

}  // namespace qvx::test
