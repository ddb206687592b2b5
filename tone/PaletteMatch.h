// Finding the palette entry for a colour when a picture's colours are
// reduced to a palette, one matcher per kind of palette. A matcher answers
//   BYTE operator()(int red, int green, int blue) const
// for channels 0..255 and knows the palette's colours (Entry(i)), which
// error diffusion subtracts.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "frame/PixelFormat.h"
#include "tone/ToneTables.h"

namespace qvx {

// The colours of a palette being built or matched, at most 256.
struct Palette {
  Rgb entry[256];
  int count = 0;
};

// City-block distance between two colours.
inline int ColourDistance(int r1, int g1, int b1, const Rgb& c) {
  return std::abs(r1 - c.red) + std::abs(g1 - c.green) + std::abs(b1 - c.blue);
}

// Brightness of a palette entry: the integer mean of its channels.
inline int Brightness(const Rgb& c) { return (c.red + c.green + c.blue) / 3; }

// The first of `count` entries from `first` at the smallest distance, the
// search starting from a best distance of 1000 (beyond any real one).
inline int NearestEntry(const Rgb* entries, int first, int end, int r, int g, int b) {
  int best = 1000;
  int index = first;
  for (int i = first; i < end; ++i) {
    const int d = ColourDistance(r, g, b, entries[i]);
    if (d < best) {
      best = d;
      index = i;
    }
  }
  return index;
}

// Black (0) or white (1) by the truncated luminance against a threshold.
// For each (red, green) pair the least blue that reaches the threshold is
// worked out once: the luminance grows with blue, so a colour is white
// exactly when its blue is at least that one (256: never).
struct ThresholdMatch {
  const Palette* palette;
  const std::uint16_t* leastBlue;  // 65536 entries, index red << 8 | green

  // Fills the 65536 entries from the luminance weights.
  static void Fill(const LevelTable* weights, int threshold, std::uint16_t* leastBlue);
  BYTE operator()(int r, int g, int b) const { return b >= leastBlue[r << 8 | g] ? 1 : 0; }
  const Rgb& Entry(int i) const { return palette->entry[i]; }
};

// The 16 entries of a standard 4-bit palette (colour or grey), searched in
// full.
struct Nearest16Match {
  const Palette* palette;
  BYTE operator()(int r, int g, int b) const {
    return static_cast<BYTE>(NearestEntry(palette->entry, 0, 16, r, g, b));
  }
  const Rgb& Entry(int i) const { return palette->entry[i]; }
};

// The 216-colour cube, indexed arithmetically: 36 q(blue) + 6 q(green) +
// q(red), q(v) = trunc(v * (1/51) + 0.5) in doubles, worked out per level.
struct CubeMatch {
  const Palette* palette;
  BYTE step[256];
  explicit CubeMatch(const Palette* p) : palette(p) {
    constexpr double kOneOver51 = 1.0 / 51.0;
    for (int v = 0; v < 256; ++v) step[v] = static_cast<BYTE>(static_cast<int>(v * kOneOver51 + 0.5));
  }
  BYTE operator()(int r, int g, int b) const {
    return static_cast<BYTE>(36 * step[b] + 6 * step[g] + step[r]);
  }
  const Rgb& Entry(int i) const { return palette->entry[i]; }
};

// An adaptive palette sorted by brightness, searched only around the
// colour's brightness bucket: 32 buckets of 8 levels, each with the first
// and one-past-last position of its entries (an empty bucket spans the
// whole palette), widened by 8 positions each way.
struct BucketMatch {
  const Palette* palette;
  short first[32];
  short end[32];

  explicit BucketMatch(const Palette* p);
  BYTE operator()(int r, int g, int b) const {
    const int k = (r + g + b) / 24;
    const int lo = first[k] - 8 > 0 ? first[k] - 8 : 0;
    const int hi = end[k] + 8 < palette->count ? end[k] + 8 : palette->count;
    return static_cast<BYTE>(NearestEntry(palette->entry, lo, hi, r, g, b));
  }
  const Rgb& Entry(int i) const { return palette->entry[i]; }
};

}  // namespace qvx
