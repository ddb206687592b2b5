#include <gtest/gtest.h>

#include "frame/Simd.h"

namespace qvx {
namespace {

TEST(SimdTest, ShufflePicksLanesFromOneOrTwoVectors) {
  const Byte16 a{10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25};
  const Byte16 b{30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45};
  const Byte16 one = Shuffle<15, 0, 3, 3, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13>(a);
  const int oneExpected[16] = {25, 10, 13, 13, 11, 12, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(one[i], oneExpected[i]) << i;
  const Byte16 two = Shuffle<0, 16, 16, 16, 1, 16, 16, 16, 2, 31, 16, 16, 3, 17, 16, 16>(a, b);
  const int twoExpected[16] = {10, 30, 30, 30, 11, 30, 30, 30, 12, 45, 30, 30, 13, 31, 30, 30};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(two[i], twoExpected[i]) << i;
}

TEST(SimdTest, BaselineCanBeForcedAndReleased) {
  const bool before = ForceBaseline(true);
  EXPECT_FALSE(HasAvx2());
  ForceBaseline(false);
  const bool processor = HasAvx2();
  ForceBaseline(before);
  if (!QVX_AVX2_COPY) {
    EXPECT_FALSE(processor);
  }
}

}  // namespace
}  // namespace qvx
