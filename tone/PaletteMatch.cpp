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

BucketMatch::BucketMatch(const Palette* p) : palette(p) {
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
}

}  // namespace qvx
