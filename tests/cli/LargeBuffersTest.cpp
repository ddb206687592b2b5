// The tool's buffers: large ones are global blocks, starting at the block's
// first byte and reused once freed; small ones come from the C++ heap.
#ifdef QVX_HAVE_CLI

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

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
  const HGLOBAL block = LargeBufferBlock(large);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalHandle(large), block);
  EXPECT_GE(GlobalSize(block), kLargeBufferBytes * 3);
  EXPECT_EQ(LargeBufferBlock(large + 1), nullptr);
  EXPECT_EQ(QvxMemLiveBlocks(), live + 1);
  EXPECT_EQ(QvxMemLockedBlocks(), 1);

  // The library may lock and unlock the block while the buffer holds it.
  EXPECT_EQ(GlobalLock(block), large);
  GlobalUnlock(block);
  std::memset(large, 0xAB, kLargeBufferBytes * 3);
  FreeBuffer(large);
  EXPECT_EQ(QvxMemLiveBlocks(), live);
  EXPECT_EQ(QvxMemLockedBlocks(), 0);
  EXPECT_EQ(LargeBufferBlock(large), nullptr);

  // The same pages come back.
  auto* again = static_cast<unsigned char*>(AllocateBuffer(kLargeBufferBytes * 3 - 5));
  EXPECT_EQ(again, large);

  void* small = AllocateBuffer(kLargeBufferBytes - 1);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(LargeBufferBlock(small), nullptr);
  EXPECT_EQ(QvxMemLiveBlocks(), live + 1);
  FreeBuffer(small);
  FreeBuffer(again);
  FreeBuffer(nullptr);
  EXPECT_EQ(QvxMemLiveBlocks(), live);
  QvxMemSetBlockKeep(4, 512ull << 20, 1000);
#if defined(QVX_GUARD_PAGES)
  QvxMemSetGuardPages(1);
#endif
}
#endif

// More live large buffers than the tool tracks: the rest come from the heap,
// and every one is freed where it came from.
TEST(LargeBuffers, BeyondTheTrackedOnesBuffersComeFromTheHeap) {
  const long live = QvxMemLiveBlocks();
  std::vector<void*> buffers;
  for (int i = 0; i < 80; ++i) buffers.push_back(AllocateBuffer(kLargeBufferBytes));
  int global = 0;
  for (void* buffer : buffers) {
    ASSERT_NE(buffer, nullptr);
    if (LargeBufferBlock(buffer)) ++global;
    std::memset(buffer, 1, kLargeBufferBytes);
  }
  EXPECT_GE(global, 1);
  EXPECT_LT(global, 80);
  for (void* buffer : buffers) FreeBuffer(buffer);
  EXPECT_EQ(QvxMemLiveBlocks(), live);
  EXPECT_EQ(QvxMemLockedBlocks(), 0);
}

}  // namespace
}  // namespace qvx::cli

#endif
