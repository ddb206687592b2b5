#include <gtest/gtest.h>

#include "composite/Composite.h"

namespace qvx {
namespace {

// Every opacity, every level under and every level over, four pixels per
// call with their own opacities, against the mix as written:
// ((255 - a) under + a over) / 255, truncated.
TEST(MixLanesTest, EqualsTheTruncatedMixForEveryOpacityAndLevelPair) {
  int wrong = 0;
  for (int a = 0; a < 256; ++a)
    for (int under = 0; under < 256; ++under) {
      for (int over = 0; over < 256; over += 4) {
        Byte16 u, o;
        Int4 opacity;
        for (int k = 0; k < 4; ++k) {
          opacity[k] = (a + 37 * k) & 255;
          for (int c = 0; c < 4; ++c) {
            u[4 * k + c] = static_cast<BYTE>(under ^ (c * 85));
            o[4 * k + c] = static_cast<BYTE>(over + k);
          }
        }
        const Byte16 mixed = MixLanes(opacity, u, o);
        for (int k = 0; k < 4; ++k)
          for (int c = 0; c < 4; ++c) {
            const int expected =
                ((255 - opacity[k]) * u[4 * k + c] + opacity[k] * o[4 * k + c]) / 255;
            if (mixed[4 * k + c] != expected && ++wrong < 5)
              ADD_FAILURE() << "a " << opacity[k] << " under " << int(u[4 * k + c]) << " over "
                            << int(o[4 * k + c]) << ": " << int(mixed[4 * k + c]) << " not "
                            << expected;
          }
      }
    }
  EXPECT_EQ(wrong, 0);
}

TEST(MixLanesTest, WithFourthReplacesOnlyTheFourthBytes) {
  Byte16 v;
  for (int i = 0; i < 16; ++i) v[i] = static_cast<BYTE>(200 + i);
  const Byte16 w = WithFourth(v, 7);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(w[i], i % 4 == 3 ? 7 : 200 + i) << i;
}

}  // namespace
}  // namespace qvx
