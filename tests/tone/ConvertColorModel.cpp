#include "tone/ConvertColorModel.h"

#include <algorithm>
#include <cstdlib>

namespace qvx::test {
namespace {

struct Source {
  int width, height, bitCount, kind;
  std::vector<Pixel> pixels;  // rows from the top
  std::vector<Colour> table;
  const Pixel& At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

Source Read(HGLOBAL picture) {
  PictureView view(picture);
  Source s{view.Width(), view.Height(), view.BitCount(), ModelKind(picture), {}, {}};
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) s.pixels.push_back(view.At(x, y));
  if (s.bitCount <= 8) {
    const int full = 1 << s.bitCount;
    const int used = static_cast<int>(view.Header()->biClrUsed);
    const int n = used > 0 && used < full ? used : full;
    for (int i = 0; i < n; ++i)
      s.table.push_back({view.Table()[i].rgbRed, view.Table()[i].rgbGreen, view.Table()[i].rgbBlue});
    // An index past a short table stands for black.
    for (Pixel& p : s.pixels) {
      const Colour c = p.index < n ? s.table[p.index] : Colour{0, 0, 0};
      p.red = c.r, p.green = c.g, p.blue = c.b;
    }
  }
  return s;
}

int Distance(const Colour& a, const Colour& b) {
  return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

std::vector<Colour> StandardOf(int target) {
  std::vector<Colour> p;
  switch (target) {
    case 1:
      p = {{0, 0, 0}, {255, 255, 255}};
      break;
    case 4:
      p = {{0, 0, 0},       {127, 0, 0},   {0, 127, 0},   {127, 127, 0},
           {0, 0, 127},     {127, 0, 127}, {0, 127, 127}, {127, 127, 127},
           {192, 192, 192}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
           {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
      break;
    case 8:
      p.resize(216);
      for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
          for (int b = 0; b < 6; ++b) p[36 * b + 6 * g + r] = {51 * r, 51 * g, 51 * b};
      break;
    case 40:
      for (int i = 0; i < 16; ++i) p.push_back({17 * i, 17 * i, 17 * i});
      break;
    case 80:
      for (int i = 0; i < 256; ++i) p.push_back({i, i, i});
      break;
  }
  return p;
}

// ---- median cut --------------------------------------------------------

struct Box {
  int lo[3], hi[3];
  std::uint32_t count;
};

struct Histogram {
  std::vector<std::uint32_t> cells = std::vector<std::uint32_t>(128 * 128 * 128);
  std::uint32_t At(int r, int g, int b) const { return cells[r * 16384 + g * 128 + b]; }
  std::uint32_t At(const int c[3]) const { return At(c[0], c[1], c[2]); }
};

// Sum of the box's cells with coordinate v on the axis.
std::uint64_t SliceSum(const Histogram& h, const Box& box, int axis, int v) {
  std::uint64_t sum = 0;
  int c[3];
  const int a1 = (axis + 1) % 3, a2 = (axis + 2) % 3;
  c[axis] = v;
  for (c[a1] = box.lo[a1]; c[a1] <= box.hi[a1]; ++c[a1])
    for (c[a2] = box.lo[a2]; c[a2] <= box.hi[a2]; ++c[a2]) sum += h.At(c);
  return sum;
}

bool ShrinkBox(const Histogram& h, Box& box) {
  for (int axis = 0; axis < 3; ++axis) {
    while (box.lo[axis] <= box.hi[axis] && SliceSum(h, box, axis, box.lo[axis]) == 0) ++box.lo[axis];
    if (box.lo[axis] > box.hi[axis]) return false;
    while (SliceSum(h, box, axis, box.hi[axis]) == 0) --box.hi[axis];
  }
  return true;
}

int Side(const Box& b) {
  int side = 0;
  for (int k = 0; k < 3; ++k) side = std::max(side, b.hi[k] - b.lo[k]);
  return side;
}

std::vector<Colour> MedianCut(const Source& s, int n, int& failure) {
  Histogram h;
  for (const Pixel& p : s.pixels) {
    std::uint32_t& cell = h.cells[(p.red >> 1) * 16384 + (p.green >> 1) * 128 + (p.blue >> 1)];
    if (cell < 8192000) ++cell;
  }
  std::vector<Box> boxes{{{0, 0, 0}, {127, 127, 127}, std::uint32_t(s.width * s.height)}};
  if (!ShrinkBox(h, boxes[0])) {
    failure = 2;
    return {};
  }
  for (int i = 0; i <= n - 2; ++i) {
    int chosen = -1;
    if (i % 2 == 1) {
      chosen = 0;
      for (int j = 0; j <= i; ++j)
        if (boxes[j].count > boxes[chosen].count) chosen = j;
      if (Side(boxes[chosen]) == 0) chosen = -1;
    }
    if (chosen < 0) {
      int best = 0;
      for (int j = 0; j <= i; ++j)
        if (Side(boxes[j]) > best) best = Side(boxes[j]), chosen = j;
      if (chosen < 0) break;
    }
    Box& box = boxes[chosen];
    const int er = box.hi[0] - box.lo[0], eg = box.hi[1] - box.lo[1], eb = box.hi[2] - box.lo[2];
    const int axis = (er >= eg && er >= eb) ? 0 : (eb > eg ? 2 : 1);
    std::uint64_t running = 0;
    int s0 = box.lo[axis];
    for (; s0 <= box.hi[axis]; ++s0) {
      running += SliceSum(h, box, axis, s0);
      if (running > box.count / 2) break;
    }
    Box upper = box;
    if (s0 < box.hi[axis]) {
      upper.lo[axis] = s0 + 1;
      upper.count = box.count - std::uint32_t(running);
      box.hi[axis] = s0;
      box.count = std::uint32_t(running);
    } else {
      upper.lo[axis] = box.hi[axis];
      upper.count = std::uint32_t(SliceSum(h, box, axis, box.hi[axis]));
      box.hi[axis] -= 1;
      box.count -= upper.count;
    }
    if (!ShrinkBox(h, box) || !ShrinkBox(h, upper)) {
      failure = 2;
      return {};
    }
    boxes.push_back(upper);
  }
  std::vector<Colour> palette;
  for (const Box& box : boxes) {
    std::uint32_t sr = 0, sg = 0, sb = 0, taken = 0;
    bool stop = false;
    for (int r = box.lo[0]; r <= box.hi[0] && !stop; ++r)
      for (int g = box.lo[1]; g <= box.hi[1] && !stop; ++g)
        for (int b = box.lo[2]; b <= box.hi[2] && !stop; ++b) {
          const std::uint32_t c = h.At(r, g, b);
          if (!c) continue;
          if (sr >= 0x7FFFFFFFu || sg >= 0x7FFFFFFFu || sb >= 0x7FFFFFFFu) {
            stop = true;
            break;
          }
          sr += std::uint32_t(r * 255 / 127) * c;
          sg += std::uint32_t(g * 255 / 127) * c;
          sb += std::uint32_t(b * 255 / 127) * c;
          taken += c;
        }
    palette.push_back(taken ? Colour{int(sr / taken), int(sg / taken), int(sb / taken)}
                            : Colour{0, 0, 0});
  }
  std::stable_sort(palette.begin(), palette.end(), [](const Colour& a, const Colour& b) {
    return (a.r + a.g + a.b) / 3 < (b.r + b.g + b.b) / 3;
  });
  return palette;
}

// ---- index of a colour ---------------------------------------------------

struct Matcher {
  int target;
  bool adaptive;
  int threshold;
  std::vector<Colour> palette;
  int first[32], end[32];

  void BuildBuckets() {
    const int m = static_cast<int>(palette.size());
    for (int k = 0; k < 32; ++k) {
      first[k] = -1;
      end[k] = -1;
      for (int i = 0; i < m; ++i)
        if ((palette[i].r + palette[i].g + palette[i].b) / 3 / 8 == k) {
          if (first[k] < 0) first[k] = i;
          end[k] = i + 1;
        }
      if (first[k] < 0) first[k] = 0, end[k] = m;
    }
  }
  int Nearest(const Colour& c, int from, int to) const {
    int best = 1000, index = 0;
    for (int i = from; i < to; ++i)
      if (Distance(c, palette[i]) < best) best = Distance(c, palette[i]), index = i;
    return index;
  }
  int operator()(const Colour& c) const {
    if (target == 1) return ModelLuminance(c.r, c.g, c.b) >= threshold ? 1 : 0;
    if (adaptive) {
      const int k = (c.r + c.g + c.b) / 24;
      return Nearest(c, std::max(0, first[k] - 8),
                     std::min(static_cast<int>(palette.size()), end[k] + 8));
    }
    if (target == 8) {
      const auto q = [](int v) { return static_cast<int>(v * (1.0 / 51) + 0.5); };
      return 36 * q(c.b) + 6 * q(c.g) + q(c.r);
    }
    return Nearest(c, 0, 16);
  }
};

Colour ThroughWord555(const Colour& c) {
  const auto narrow = [](int v) { return static_cast<int>(v * 31 * 0.00392156862745098 + 0.5); };
  const auto widen = [](int v) { return static_cast<int>(v * 8.225806451612902 + 0.5); };
  return {widen(narrow(c.r)), widen(narrow(c.g)), widen(narrow(c.b))};
}

}  // namespace

int ModelLuminance(int r, int g, int b) {
  return static_cast<int>(r * 0.298912 + g * 0.586611 + b * 0.114478);
}

int ModelKind(HGLOBAL picture) {
  PictureView view(picture);
  const int bits = view.BitCount();
  const DWORD used = view.Header()->biClrUsed;
  const auto ramp = [&](int n, int step) {
    if (used != 0 && used != DWORD(n)) return false;
    for (int i = 0; i < n; ++i) {
      const RGBQUAD& q = view.Table()[i];
      if (q.rgbRed != step * i || q.rgbGreen != step * i || q.rgbBlue != step * i) return false;
    }
    return true;
  };
  if (bits == 8 && ramp(256, 1)) return 80;
  if (bits == 4 && ramp(16, 17)) return 40;
  return bits;
}

ConvertModel ModelConvert(HGLOBAL picture, int target, bool standard, bool dither, int threshold) {
  ConvertModel out;
  const Source s = Read(picture);
  const int kinds[] = {1, 4, 8, 40, 80, 16, 24, 32};
  if (std::find(std::begin(kinds), std::end(kinds), target) == std::end(kinds) ||
      target == s.kind) {
    out.failure = 5;
    return out;
  }
  out.bitCount = target == 40 ? 4 : (target == 80 ? 8 : target);
  int slots = target <= 8 ? 1 << target : (target == 40 ? 16 : (target == 80 ? 256 : 0));
  if (target == 8 && standard && s.kind != 80) slots = 216;
  out.clrUsed = (slots == 2 || slots == 16 || slots == 256) ? 0 : slots;
  out.table.assign(slots, Colour{0, 0, 0});
  const int count = s.width * s.height;

  if (target == 16 || target == 24 || target == 32) {
    for (const Pixel& p : s.pixels) {
      const Colour c{p.red, p.green, p.blue};
      out.colours.push_back(target == 16 ? ThroughWord555(c) : c);
    }
    return out;
  }
  const bool reduce = (target == 40 && s.bitCount > 4 && dither) ||
                      ((target == 1 || target == 4 || target == 8) && target < s.bitCount);
  if (!reduce && (target == 40 || target == 80)) {
    out.table = StandardOf(target);
    for (const Pixel& p : s.pixels) {
      const int l = ModelLuminance(p.red, p.green, p.blue);
      out.indices.push_back(target == 40 ? l / 17 : l);
    }
    return out;
  }
  if (!reduce) {  // colour-table copy
    std::vector<int> map(256);
    for (int i = 0; i < 256; ++i) map[i] = i;
    if (!standard) {
      for (std::size_t i = 0; i < s.table.size(); ++i) out.table[i] = s.table[i];
    } else {
      const std::vector<Colour> p = StandardOf(target);
      std::copy(p.begin(), p.end(), out.table.begin());
      for (int i = 0; i < 256; ++i) {
        const Colour c = i < int(s.table.size()) ? s.table[i] : Colour{0, 0, 0};
        int best = 0;
        for (int j = 1; j < int(p.size()); ++j)
          if (Distance(c, p[j]) < Distance(c, p[best])) best = j;
        map[i] = best;
      }
    }
    for (const Pixel& p : s.pixels) out.indices.push_back(map[p.index]);
    return out;
  }
  Matcher match{target, false, threshold, {}, {}, {}};
  if (target == 1 || target == 40 || standard) {
    match.palette = StandardOf(target);
  } else {
    match.adaptive = true;
    match.palette = MedianCut(s, target == 4 ? 16 : 256, out.failure);
    if (out.failure) return out;
    match.BuildBuckets();
  }
  std::copy(match.palette.begin(), match.palette.end(), out.table.begin());
  out.indices.assign(count, 0);
  if (!dither) {
    for (int i = 0; i < count; ++i) {
      const Pixel& p = s.pixels[i];
      out.indices[i] = match({p.red, p.green, p.blue});
    }
    return out;
  }
  // Whole-picture working values; errors pushed as each pixel is settled.
  std::vector<Colour> work;
  for (const Pixel& p : s.pixels) work.push_back({p.red, p.green, p.blue});
  const auto at = [&](int x, int y) -> Colour* {
    if (x < 0 || x >= s.width || y >= s.height) return nullptr;
    return &work[static_cast<std::size_t>(y) * s.width + x];
  };
  const auto spread = [](Colour* c, const Colour& e, int share) {
    if (!c) return;
    c->r += share * e.r / 16;
    c->g += share * e.g / 16;
    c->b += share * e.b / 16;
  };
  for (int y = 0; y < s.height; ++y) {
    const bool leftToRight = y % 2 == 0;
    const int step = leftToRight ? 1 : -1;
    for (int n = 0; n < s.width; ++n) {
      const int x = leftToRight ? n : s.width - 1 - n;
      const Colour w = *at(x, y);
      const Colour c{Clamped(w.r), Clamped(w.g), Clamped(w.b)};
      const int index = match(c);
      out.indices[static_cast<std::size_t>(y) * s.width + x] = index;
      const Colour& entry = match.palette[index];
      const Colour e{c.r - entry.r, c.g - entry.g, c.b - entry.b};
      spread(at(x + step, y), e, 7);
      spread(at(x, y + 1), e, 5);
      spread(at(x - step, y + 1), e, 3);
      spread(at(x + step, y + 1), e, 1);
    }
  }
  return out;
}

}  // namespace qvx::test
