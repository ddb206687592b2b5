// The global memory of non-Windows builds: Windows semantics, refusal of
// handles it never gave out, accounts and failure injection.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "platform/GlobalMemory.h"

#if !defined(_WIN32)
namespace {

TEST(GlobalMemoryTest, BlocksAreZeroedOrFilledLockedCountedAndFreed) {
  const long live = QvxMemLiveBlocks(), locked = QvxMemLockedBlocks();
  // Small and mapped sizes; without GMEM_ZEROINIT the bytes are junk, so
  // code that forgets the flag cannot rely on zeros.
  for (SIZE_T bytes : {SIZE_T{1}, SIZE_T{4096}, SIZE_T{3} << 20}) {
    for (UINT flags : {UINT{GHND}, UINT{GMEM_MOVEABLE}}) {
      HGLOBAL block = GlobalAlloc(flags, bytes);
      ASSERT_NE(block, nullptr);
      EXPECT_EQ(GlobalSize(block), bytes);
      auto* data = static_cast<unsigned char*>(GlobalLock(block));
      ASSERT_NE(data, nullptr);
      for (SIZE_T i = 0; i < bytes; i += 511) ASSERT_EQ(data[i] == 0, flags == GHND) << i;
      std::memset(data, 0x77, bytes);
      EXPECT_EQ(GlobalLock(block), data) << "blocks do not move";
      EXPECT_EQ(GlobalHandle(data), block);
      EXPECT_EQ(QvxMemLiveBlocks(), live + 1);
      EXPECT_EQ(QvxMemLockedBlocks(), locked + 1);
      // Locked twice: the first unlock leaves it locked, the second ends it.
      EXPECT_TRUE(GlobalUnlock(block) && !GlobalUnlock(block) && !GlobalUnlock(block));
      EXPECT_EQ(QvxMemLockedBlocks(), locked);
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
    EXPECT_TRUE(!GlobalLock(bad) && !GlobalUnlock(bad) && GlobalSize(bad) == 0);
    EXPECT_EQ(GlobalFree(bad), bad) << "failure returns the handle";
  }
  EXPECT_EQ(GlobalHandle(&block), nullptr);
  EXPECT_EQ(GlobalAlloc(GHND, ~SIZE_T{0}), nullptr);
}

TEST(GlobalMemoryTest, InjectedFailuresFireOnceAtTheNthCall) {
  QvxMemFailAllocAt(2);
  HGLOBAL first = GlobalAlloc(GHND, 8), second = GlobalAlloc(GHND, 8), third = GlobalAlloc(GHND, 8);
  EXPECT_TRUE(first && !second && third);
  QvxMemFailLockAt(1);
  EXPECT_EQ(GlobalLock(first), nullptr);
  EXPECT_TRUE(GlobalLock(first) && !GlobalUnlock(first));
  GlobalFree(first);
  GlobalFree(third);
}

// In guard-page mode a block, small or mapped, ends right where an
// inaccessible page begins (sizes of whole 16-byte units), so one byte past
// it faults; its bytes behave as any block's.
TEST(GlobalMemoryTest, GuardPagesEndEveryBlockAtAnInaccessiblePage) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  QvxMemSetGuardPages(1);
  for (SIZE_T bytes : {SIZE_T{16}, SIZE_T{4096}, SIZE_T{1} << 20, SIZE_T{3} << 20}) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    ASSERT_NE(block, nullptr);
    auto* data = static_cast<unsigned char*>(GlobalLock(block));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data + bytes) % 4096, 0u) << bytes;
    EXPECT_EQ(data[bytes - 1], 0xCD) << "not zero-initialised";
    std::memset(data, 0x5A, bytes);
    EXPECT_EQ(GlobalHandle(data), block);
    EXPECT_DEATH(static_cast<volatile unsigned char*>(data)[bytes] = 1, "") << bytes;
    EXPECT_DEATH((void)static_cast<volatile unsigned char*>(data)[bytes + 4095], "") << bytes;
    GlobalUnlock(block);
    EXPECT_EQ(GlobalFree(block), nullptr);
  }
  // Odd sizes start aligned; zero-initialised ones are zero.
  HGLOBAL odd = GlobalAlloc(GHND, 1000001);
  auto* data = static_cast<unsigned char*>(GlobalLock(odd));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % 16, 0u);
  EXPECT_EQ(data[0] | data[1000000], 0);
  EXPECT_DEATH((void)static_cast<volatile unsigned char*>(data)[1000000 + 4096], "");
  GlobalUnlock(odd);
  GlobalFree(odd);
#if !defined(QVX_GUARD_PAGES)
  QvxMemSetGuardPages(0);
#endif
}

}  // namespace
#endif
