// The tool's buffers: large ones are global blocks, reused once freed and
// handed out zero-filled; small ones come from the C++ heap.
#ifdef QVX_HAVE_CLI

#include <gtest/gtest.h>

#include <cstring>

#include "cli/LargeBuffers.h"
#include "platform/GlobalMemory.h"

namespace qvx::cli {
namespace {

#if !defined(_WIN32)
TEST(LargeBuffers, LargeOnesAreReusedGlobalBlocksAndSmallOnesHeapMemory) {
  QvxMemSetGuardPages(0);
  QvxMemSetBlockKeep(0, 0, 0);  // nothing kept from earlier tests
  QvxMemSetBlockKeep(4, 256ull << 20, 60000);
  const long live = QvxMemLiveBlocks();
  auto* large = static_cast<unsigned char*>(AllocateBuffer(kLargeBufferBytes * 3));
  ASSERT_NE(large, nullptr);
  EXPECT_NE(GlobalHandle(large - 16), nullptr);
  EXPECT_EQ(QvxMemLiveBlocks(), live + 1);
  EXPECT_EQ(large[0] | large[kLargeBufferBytes * 3 - 1], 0);
  std::memset(large, 0xAB, kLargeBufferBytes * 3);
  FreeBuffer(large);
  EXPECT_EQ(QvxMemLiveBlocks(), live);
  EXPECT_EQ(QvxMemLockedBlocks(), 0);

  // The same pages come back, cleared.
  auto* again = static_cast<unsigned char*>(AllocateBuffer(kLargeBufferBytes * 3 - 5));
  EXPECT_EQ(again, large);
  EXPECT_EQ(again[0] | again[kLargeBufferBytes] | again[kLargeBufferBytes * 3 - 6], 0);

  void* small = AllocateBuffer(kLargeBufferBytes - 1);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(GlobalHandle(static_cast<char*>(small) - 16), nullptr);
  EXPECT_EQ(QvxMemLiveBlocks(), live + 1);
  FreeBuffer(small);
  FreeBuffer(again);
  FreeBuffer(nullptr);
  EXPECT_EQ(QvxMemLiveBlocks(), live);
  QvxMemSetBlockKeep(4, 256ull << 20, 1000);
#if defined(QVX_GUARD_PAGES)
  QvxMemSetGuardPages(1);
#endif
}
#endif

}  // namespace
}  // namespace qvx::cli

#endif
