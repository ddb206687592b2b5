// The box average's division by a multiply and a shift, against plain
// division for every count it is used for and every sum it can meet.
#include "geometry/BoxAverage.h"

#include <gtest/gtest.h>

namespace qvx {
namespace {

TEST(BoxAverageTest, MultipliedDivisionIsExactForEveryCountAndSum) {
  for (std::uint32_t count = 1; count <= kMaxMultipliedCount; ++count) {
    const std::uint32_t multiplier = CountMultiplier(count);
    std::uint32_t wrong = 0, first = 0;
    for (std::uint32_t sum = 0; sum <= 255 * count; ++sum)
      if (DivideByMultiplier(sum, multiplier) != sum / count && wrong++ == 0) first = sum;
    ASSERT_EQ(wrong, 0u) << "count " << count << ", first wrong sum " << first;
  }
}

}  // namespace
}  // namespace qvx
