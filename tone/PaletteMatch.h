// Finding the palette entry for a colour when a picture's colours are
// reduced to a palette, one matcher per kind of palette. A matcher answers
//   BYTE operator()(int red, int green, int blue) const
// for channels 0..255, and
//   BYTE Settle(red, green, blue, Rgb& entry) const
// the same index with its palette colour, which error diffusion subtracts.
#pragma once

#include <cstdint>
#include <cstring>

#include "frame/PixelFormat.h"
#include "frame/Simd.h"
#include "frame/ColourTables.h"

namespace qvx {

// The colours of a palette being built or matched, at most 256.
struct Palette {
  Rgb entry[256];
  int count = 0;
};

// Brightness of a palette entry: the integer mean of its channels.
inline int Brightness(const Rgb& c) { return (c.red + c.green + c.blue) / 3; }

// A palette's channels side by side for the nearest-entry search, padded
// so that a search may read whole groups of lanes past the last entry.
struct PaletteLanes {
  static constexpr int kLanes = 8;
  std::int32_t red[256 + kLanes];
  std::int32_t green[256 + kLanes];
  std::int32_t blue[256 + kLanes];
  explicit PaletteLanes(const Palette& palette);
};

// The first of the entries first..end-1 at the smallest city-block
// distance |red difference| + |green difference| + |blue difference| (as a
// search from a best distance of 1000 that takes only a strictly smaller
// one finds it). Each lane keeps distance << 8 | position, so that the
// least key is the smallest distance at the first position.
QVX_LOOP_BODY int NearestEntry(const PaletteLanes& lanes, int first, int end, int r, int g, int b) {
  constexpr std::int32_t kNone = 0x7FFFFFFF;
  const Int8 step = {0, 1, 2, 3, 4, 5, 6, 7};
  Int8 best = Int8{} + kNone;
  for (int i = first; i < end; i += PaletteLanes::kLanes) {
    Int8 dr, dg, db;
    std::memcpy(&dr, lanes.red + i, sizeof dr);
    std::memcpy(&dg, lanes.green + i, sizeof dg);
    std::memcpy(&db, lanes.blue + i, sizeof db);
    dr -= r;
    dg -= g;
    db -= b;
    dr = dr < 0 ? -dr : dr;
    dg = dg < 0 ? -dg : dg;
    db = db < 0 ? -db : db;
    const Int8 position = step + i;
    Int8 key = ((dr + dg + db) << 8) | position;
    key = position < end ? key : kNone;
    best = key < best ? key : best;
  }
  std::int32_t least = best[0];
  for (int k = 1; k < PaletteLanes::kLanes; ++k) least = best[k] < least ? best[k] : least;
  return least & 255;
}

// Black (0) or white (1) by the truncated luminance against a threshold.
// For each (red, green) pair the least blue that reaches the threshold is
// worked out once: the luminance grows with blue, so a colour is white
// exactly when its blue is at least that one (256: never).
struct ThresholdMatch {
  const std::uint16_t* leastBlue;  // 65536 entries, index red << 8 | green

  // Fills the 65536 entries from the luminance weights.
  static void Fill(const LevelTable* weights, int threshold, std::uint16_t* leastBlue);
  BYTE operator()(int r, int g, int b) const { return b >= leastBlue[r << 8 | g] ? 1 : 0; }
  BYTE Settle(int r, int g, int b, Rgb& entry) const {
    const BYTE index = (*this)(r, g, b);
    const BYTE level = index ? 255 : 0;
    entry = {level, level, level};
    return index;
  }
};

// The 16 entries of a standard 4-bit palette (colour or grey), searched in
// full.
struct Nearest16Match {
  const Palette* palette;
  PaletteLanes lanes{*palette};
  BYTE operator()(int r, int g, int b) const {
    return static_cast<BYTE>(NearestEntry(lanes, 0, 16, r, g, b));
  }
  BYTE Settle(int r, int g, int b, Rgb& entry) const {
    const BYTE index = (*this)(r, g, b);
    entry = palette->entry[index];
    return index;
  }
};

// The 216-colour cube, indexed arithmetically: 36 q(blue) + 6 q(green) +
// q(red), q(v) = trunc(v * (1/51) + 0.5) in doubles, worked out per level.
// The entry's colour is the cube level 51 q(v) of each channel.
struct CubeMatch {
  BYTE step[256];
  BYTE level[256];
  CubeMatch() {
    constexpr double kOneOver51 = 1.0 / 51.0;
    for (int v = 0; v < 256; ++v) {
      step[v] = static_cast<BYTE>(static_cast<int>(v * kOneOver51 + 0.5));
      level[v] = static_cast<BYTE>(51 * step[v]);
    }
  }
  BYTE operator()(int r, int g, int b) const {
    return static_cast<BYTE>(36 * step[b] + 6 * step[g] + step[r]);
  }
  BYTE Settle(int r, int g, int b, Rgb& entry) const {
    entry = {level[r], level[g], level[b]};
    return (*this)(r, g, b);
  }
};

// An adaptive palette sorted by brightness, searched only around the
// colour's brightness bucket: 32 buckets of 8 levels, each with the first
// and one-past-last position of its entries (an empty bucket spans the
// whole palette), widened by 8 positions each way.
struct BucketMatch {
  const Palette* palette;
  PaletteLanes lanes{*palette};
  // The search window of each brightness level r + g + b (0..765).
  short from[766];
  short to[766];

  explicit BucketMatch(const Palette* p);
  BYTE operator()(int r, int g, int b) const {
    const int sum = r + g + b;
    return static_cast<BYTE>(NearestEntry(lanes, from[sum], to[sum], r, g, b));
  }
  BYTE Settle(int r, int g, int b, Rgb& entry) const {
    const BYTE index = (*this)(r, g, b);
    entry = palette->entry[index];
    return index;
  }
};

}  // namespace qvx
