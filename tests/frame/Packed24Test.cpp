#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "frame/Packed24.h"

namespace qvx {
namespace {

// Every run length up to 40 (the wide steps and every tail), fenced by
// marker bytes that must stay as they are.
TEST(Packed24Test, UnpackAndPackEveryRunLengthWithinTheRun) {
  std::mt19937 random(24);
  for (int count = 0; count <= 40; ++count) {
    std::vector<unsigned char> packed(3 * count + 8), wide(4 * count + 8, 0xA5);
    for (auto& b : packed) b = static_cast<unsigned char>(random());
    const std::vector<unsigned char> source = packed;
    Unpack24<true>(packed.data() + 4, count, wide.data() + 4);
    for (int i = 0; i < count; ++i) {
      for (int c = 0; c < 3; ++c)
        ASSERT_EQ(wide[4 + 4 * i + c], packed[4 + 3 * i + c]) << count << " " << i;
      ASSERT_EQ(wide[4 + 4 * i + 3], 0) << count << " " << i;
    }
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(wide[k], 0xA5);
      EXPECT_EQ(wide[4 * count + 4 + k], 0xA5);
    }
    Unpack24<false>(packed.data() + 4, count, wide.data() + 4);
    for (int i = 0; i < count; ++i)
      for (int c = 0; c < 3; ++c) ASSERT_EQ(wide[4 + 4 * i + c], packed[4 + 3 * i + c]);

    // Packing back into a zeroed run gives the source bytes and leaves the
    // fences alone.
    std::vector<unsigned char> out(packed.size());
    for (int k = 0; k < static_cast<int>(out.size()); ++k)
      out[k] = k < 4 || k >= 3 * count + 4 ? 0x5A : 0;
    Pack24(out.data() + 4, count, wide.data() + 4);
    for (int k = 0; k < 3 * count; ++k) ASSERT_EQ(out[4 + k], source[4 + k]) << count << " " << k;
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(out[k], 0x5A);
      EXPECT_EQ(out[3 * count + 4 + k], 0x5A);
    }
  }
}

}  // namespace
}  // namespace qvx
