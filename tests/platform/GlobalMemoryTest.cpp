// The global memory of non-Windows builds: Windows semantics, refusal of
// handles it never gave out, accounts and failure injection.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/GlobalMemory.h"

#if !defined(_WIN32)
namespace {

TEST(GlobalMemoryTest, BlocksAreZeroedOrFilledLockedCountedAndFreed) {
  const long live = QvxMemLiveBlocks();
  // Small and mapped sizes; without GMEM_ZEROINIT the bytes are junk, so
  // code that forgets the flag cannot rely on zeros.
  for (SIZE_T bytes : {SIZE_T{1}, SIZE_T{4096}, SIZE_T{3} << 20}) {
    for (UINT flags : {UINT{GHND}, UINT{GMEM_MOVEABLE}}) {
      HGLOBAL block = GlobalAlloc(flags, bytes);
      ASSERT_NE(block, nullptr);
      EXPECT_EQ(GlobalSize(block), bytes);
      EXPECT_EQ(QvxMemLiveBlocks(), live + 1);
      auto* data = static_cast<unsigned char*>(GlobalLock(block));
      ASSERT_NE(data, nullptr);
      for (SIZE_T i = 0; i < bytes; i += 511) ASSERT_EQ(data[i] == 0, flags == GHND) << i;
      EXPECT_EQ(data[bytes - 1] == 0, flags == GHND);
      std::memset(data, 0x77, bytes);
      EXPECT_EQ(GlobalLock(block), data) << "blocks do not move";
      EXPECT_EQ(GlobalHandle(data), block);
      EXPECT_TRUE(GlobalUnlock(block)) << "still locked once";
      EXPECT_FALSE(GlobalUnlock(block)) << "now unlocked";
      EXPECT_FALSE(GlobalUnlock(block)) << "not locked at all";
      EXPECT_EQ(GlobalFree(block), nullptr);
      EXPECT_EQ(QvxMemLiveBlocks(), live);
    }
  }
}

TEST(GlobalMemoryTest, ForeignAndStaleHandlesAreRefused) {
  HGLOBAL block = GlobalAlloc(GHND, 16);
  GlobalFree(block);
  for (HGLOBAL bad :
       {HGLOBAL{}, block, reinterpret_cast<HGLOBAL>(0x10001), reinterpret_cast<HGLOBAL>(&block)}) {
    EXPECT_EQ(GlobalLock(bad), nullptr);
    EXPECT_FALSE(GlobalUnlock(bad));
    EXPECT_EQ(GlobalSize(bad), 0u);
    EXPECT_EQ(GlobalFree(bad), bad) << "failure returns the handle";
  }
  int local = 0;
  EXPECT_EQ(GlobalHandle(&local), nullptr);
  EXPECT_EQ(GlobalAlloc(GHND, ~SIZE_T{0}), nullptr);
}

TEST(GlobalMemoryTest, InjectedFailuresFireOnceAtTheNthCall) {
  QvxMemFailAllocAt(2);
  HGLOBAL first = GlobalAlloc(GHND, 8), second = GlobalAlloc(GHND, 8), third = GlobalAlloc(GHND, 8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  const long locked = QvxMemLockedBlocks();
  QvxMemFailLockAt(1);
  EXPECT_EQ(GlobalLock(first), nullptr);
  EXPECT_NE(GlobalLock(first), nullptr);
  EXPECT_EQ(QvxMemLockedBlocks(), locked + 1);
  GlobalUnlock(first);
  GlobalFree(first);
  GlobalFree(third);
}

}  // namespace
#endif
