#include "tone/PaletteMatch.h"

namespace qvx {

void ThresholdMatch::Fill(const LevelTable* weights, int threshold, std::uint16_t* leastBlue) {
  // The luminance never falls as blue grows, so the least blue is found by
  // halving the range 0..256 (256: no blue reaches the threshold).
  for (int rg = 0; rg < 65536; ++rg) {
    const BYTE r = static_cast<BYTE>(rg >> 8), g = static_cast<BYTE>(rg);
    int lo = 0, hi = 256;
    while (lo < hi) {
      const int mid = (lo + hi) / 2;
      if (static_cast<int>(LuminanceSum(weights, r, g, static_cast<BYTE>(mid))) >= threshold)
        hi = mid;
      else
        lo = mid + 1;
    }
    leastBlue[rg] = static_cast<std::uint16_t>(lo);
  }
}

PaletteLanes::PaletteLanes(const Palette& palette) : red(), green(), blue() {
  for (int i = 0; i < palette.count; ++i) {
    red[i] = palette.entry[i].red;
    green[i] = palette.entry[i].green;
    blue[i] = palette.entry[i].blue;
  }
}

BucketMatch::BucketMatch(const Palette* p) : palette(p) {
  short first[32], end[32];
  for (int k = 0; k < 32; ++k) {
    first[k] = 0;
    end[k] = static_cast<short>(p->count);
  }
  bool seen[32] = {};
  for (int i = 0; i < p->count; ++i) {
    const int k = Brightness(p->entry[i]) / 8;
    if (!seen[k]) first[k] = static_cast<short>(i);
    seen[k] = true;
    end[k] = static_cast<short>(i + 1);
  }
  // A colour's bucket is (r + g + b) / 24; its window reaches 8 positions
  // beyond the bucket's entries each way, within the palette.
  for (int sum = 0; sum < 766; ++sum) {
    const int k = sum / 24;
    from[sum] = static_cast<short>(first[k] - 8 > 0 ? first[k] - 8 : 0);
    to[sum] = static_cast<short>(end[k] + 8 < p->count ? end[k] + 8 : p->count);
  }
}

}  // namespace qvx
