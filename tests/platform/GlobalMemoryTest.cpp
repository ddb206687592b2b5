// The global memory of non-Windows builds: Windows semantics, refusal of
// handles it never gave out, accounts and failure injection.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <thread>
#include <vector>

#include "platform/GlobalMemory.h"

#if !defined(_WIN32)
namespace {

TEST(GlobalMemoryTest, BlocksAreZeroedOrFilledLockedCountedAndFreed) {
  const long live = QvxMemLiveBlocks(), locked = QvxMemLockedBlocks();
  // Small and mapped sizes; without GMEM_ZEROINIT small blocks are junk, so
  // code that forgets the flag cannot rely on zeros (large ones are left as
  // their pages are: see the keep's tests).
  for (SIZE_T bytes : {SIZE_T{1}, SIZE_T{4096}, SIZE_T{3} << 20}) {
    for (UINT flags : {UINT{GHND}, UINT{GMEM_MOVEABLE}}) {
      HGLOBAL block = GlobalAlloc(flags, bytes);
      ASSERT_NE(block, nullptr);
      EXPECT_EQ(GlobalSize(block), bytes);
      auto* data = static_cast<unsigned char*>(GlobalLock(block));
      ASSERT_NE(data, nullptr);
      const bool junk = flags != GHND && bytes < (SIZE_T{1} << 20);
      for (SIZE_T i = 0; i < bytes; i += 511) {
        if (flags == GHND) {
          ASSERT_EQ(data[i], 0) << i;
        } else if (junk) {
          ASSERT_NE(data[i], 0) << i;
        }
      }
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

// Freed large blocks kept for reuse. Each test sets the limits it needs
// and puts back the defaults and the build's guard-page mode at its end.
class BlockKeepTest : public testing::Test {
 protected:
  static constexpr SIZE_T kMb = SIZE_T{1} << 20;
  void SetUp() override {
    QvxMemSetGuardPages(0);
    QvxMemSetBlockKeep(0, 0, 0);  // start with nothing kept
    QvxMemSetBlockKeep(4, 256ull << 20, 60000);
  }
  void TearDown() override {
#if defined(QVX_GUARD_PAGES)
    QvxMemSetGuardPages(1);
#endif
    QvxMemSetBlockKeep(0, 0, 0);
    QvxMemSetBlockKeep(4, 512ull << 20, 1000);
  }
  // A new block filled with `value`; its address through `data`.
  static HGLOBAL Filled(SIZE_T bytes, unsigned char value, unsigned char** data = nullptr) {
    HGLOBAL block = GlobalAlloc(GHND, bytes);
    auto* bytesOf = block ? static_cast<unsigned char*>(GlobalLock(block)) : nullptr;
    if (!bytesOf) return block;
    std::memset(bytesOf, value, bytes);
    if (data) *data = bytesOf;
    GlobalUnlock(block);
    return block;
  }
  // Whether every sampled byte of a block holds `value`, its last one too.
  static bool AllBytes(const unsigned char* data, SIZE_T bytes, unsigned char value) {
    for (SIZE_T i = 0; i < bytes; i += 4093)
      if (data[i] != value) return false;
    return data[bytes - 1] == value;
  }
};

TEST_F(BlockKeepTest, AFreedBlockComesBackUnderANewHandleClearedOnlyWhenAsked) {
  const long live = QvxMemLiveBlocks();
  unsigned char* first = nullptr;
  HGLOBAL old = Filled(3 * kMb, 0x77, &first);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GlobalFree(old), nullptr);
  EXPECT_EQ(QvxMemKeptBlocks(), 1);
  EXPECT_EQ(QvxMemLiveBlocks(), live) << "a kept block is not a live one";

  // A slightly smaller zero-initialised block fits the same pages.
  HGLOBAL again = GlobalAlloc(GHND, 3 * kMb - 100);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, old);
  EXPECT_EQ(QvxMemKeptBlocks(), 0);
  auto* data = static_cast<unsigned char*>(GlobalLock(again));
  ASSERT_EQ(data, first) << "the kept pages are reused";
  EXPECT_TRUE(AllBytes(data, 3 * kMb - 100, 0)) << "GMEM_ZEROINIT clears a reused block";
  EXPECT_EQ(GlobalSize(again), 3 * kMb - 100);
  EXPECT_EQ(GlobalHandle(data), again);
  // The old handle stays dead although its pages live on.
  EXPECT_TRUE(!GlobalLock(old) && !GlobalUnlock(old) && GlobalSize(old) == 0);
  EXPECT_EQ(GlobalFree(old), old);
  EXPECT_EQ(QvxMemLockedBlocks(), 1);
  GlobalUnlock(again);
  std::memset(data, 0x55, 3 * kMb - 100);
  GlobalFree(again);

  // Without GMEM_ZEROINIT a reused block is not passed over: it holds the
  // bytes of the block before it, for a caller that writes every byte.
  HGLOBAL raw = GlobalAlloc(GMEM_MOVEABLE, 2 * kMb + 1);
  data = static_cast<unsigned char*>(GlobalLock(raw));
  ASSERT_EQ(data, first);
  EXPECT_TRUE(AllBytes(data, 2 * kMb + 1, 0x55));
  GlobalUnlock(raw);
  GlobalFree(raw);
  EXPECT_EQ(QvxMemLiveBlocks(), live);
}

TEST_F(BlockKeepTest, OnlyLargeBlocksThatFitAreTaken) {
  unsigned char* large = nullptr;
  GlobalFree(Filled(8 * kMb, 1, &large));
  // Small blocks never come from the keep; a larger request does not fit.
  HGLOBAL small = GlobalAlloc(GHND, 64 * 1024);
  HGLOBAL larger = GlobalAlloc(GHND, 9 * kMb);
  EXPECT_EQ(QvxMemKeptBlocks(), 1);
  auto* data = static_cast<unsigned char*>(GlobalLock(larger));
  EXPECT_TRUE(data && data != large && AllBytes(data, 9 * kMb, 0));
  GlobalUnlock(larger);
  // A smaller large block takes the kept one (its pages past the new size go).
  HGLOBAL smaller = GlobalAlloc(GHND, 2 * kMb);
  EXPECT_EQ(QvxMemKeptBlocks(), 0);
  data = static_cast<unsigned char*>(GlobalLock(smaller));
  EXPECT_EQ(data, large);
  std::memset(data, 9, 2 * kMb);
  GlobalUnlock(smaller);
  for (HGLOBAL block : {small, larger, smaller}) EXPECT_EQ(GlobalFree(block), nullptr);
  EXPECT_EQ(QvxMemKeptBlocks(), 2) << "the small block went back to the heap";
}

TEST_F(BlockKeepTest, TheKeepIsBoundedInBlocksBytesAndTime) {
  std::vector<HGLOBAL> blocks;
  for (int i = 0; i < 6; ++i) blocks.push_back(Filled(3 * kMb, 1));  // 4 MB of pages each
  for (HGLOBAL block : blocks) GlobalFree(block);
  EXPECT_EQ(QvxMemKeptBlocks(), 4);
  // Tighter limits release at once what is beyond them.
  QvxMemSetBlockKeep(4, 9 * kMb, 60000);
  EXPECT_EQ(QvxMemKeptBlocks(), 2);
  QvxMemSetBlockKeep(1, 256 * kMb, 60000);
  EXPECT_EQ(QvxMemKeptBlocks(), 1);
  // A block larger than the byte limit is not kept at all.
  QvxMemSetBlockKeep(4, 5 * kMb, 60000);
  GlobalFree(Filled(6 * kMb, 1));
  EXPECT_EQ(QvxMemKeptBlocks(), 1);
  // Off: nothing is kept.
  QvxMemSetBlockKeep(0, 256 * kMb, 60000);
  EXPECT_EQ(QvxMemKeptBlocks(), 0);
  GlobalFree(Filled(3 * kMb, 1));
  EXPECT_EQ(QvxMemKeptBlocks(), 0);
  // Idle blocks go at the next allocation or free, even a small one.
  QvxMemSetBlockKeep(4, 256 * kMb, 30);
  GlobalFree(Filled(3 * kMb, 1));
  EXPECT_EQ(QvxMemKeptBlocks(), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(QvxMemKeptBlocks(), 1) << "nothing runs between calls";
  GlobalFree(GlobalAlloc(GHND, 16));
  EXPECT_EQ(QvxMemKeptBlocks(), 0);
}

TEST_F(BlockKeepTest, InjectedFailuresAndGuardPagesBypassTheKeep) {
  const long live = QvxMemLiveBlocks();
  unsigned char* kept = nullptr;
  GlobalFree(Filled(3 * kMb, 1, &kept));
  QvxMemFailAllocAt(1);
  EXPECT_EQ(GlobalAlloc(GHND, 3 * kMb), nullptr);
  EXPECT_EQ(QvxMemKeptBlocks(), 1) << "a failed allocation takes nothing";
  EXPECT_EQ(QvxMemLiveBlocks(), live);

  QvxMemSetGuardPages(1);
  HGLOBAL guarded = GlobalAlloc(GHND, 3 * kMb);
  auto* data = static_cast<unsigned char*>(GlobalLock(guarded));
  ASSERT_NE(data, nullptr);
  EXPECT_NE(data, kept);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data + 3 * kMb) % 4096, 0u) << "ends at its guard";
  EXPECT_EQ(QvxMemKeptBlocks(), 1);
  GlobalUnlock(guarded);
  GlobalFree(guarded);
  EXPECT_EQ(QvxMemKeptBlocks(), 1) << "a guarded block is never kept";
  QvxMemSetGuardPages(0);
  HGLOBAL plain = GlobalAlloc(GHND, 3 * kMb);
  EXPECT_EQ(GlobalLock(plain), kept);
  GlobalUnlock(plain);
  GlobalFree(plain);
}

// Several threads allocate, fill, check and free large blocks at once: each
// sees its own bytes, zero-initialised blocks start zero, and nothing is
// lost from the accounts.
using ThreadsGlobalMemoryTest = BlockKeepTest;
TEST_F(ThreadsGlobalMemoryTest, KeptBlocksPassSafelyBetweenThreads) {
  const long live = QvxMemLiveBlocks();
  QvxMemSetBlockKeep(3, 64 * kMb, 60000);
  constexpr int kThreads = 4, kRounds = 40;
  std::vector<int> faults(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &faults] {
      for (int round = 0; round < kRounds; ++round) {
        const SIZE_T bytes = (1 + (round + t) % 3) * kMb + 17 * t;
        const auto value = static_cast<unsigned char>(1 + t);
        HGLOBAL block = GlobalAlloc(GHND, bytes);
        auto* data = block ? static_cast<unsigned char*>(GlobalLock(block)) : nullptr;
        if (!data || !AllBytes(data, bytes, 0)) {
          ++faults[t];
        } else {
          std::memset(data, value, bytes);
          std::this_thread::yield();
          if (!AllBytes(data, bytes, value)) ++faults[t];
          GlobalUnlock(block);
        }
        if (GlobalFree(block) != nullptr) ++faults[t];
      }
    });
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(faults[t], 0) << "thread " << t;
  EXPECT_EQ(QvxMemLiveBlocks(), live);
  EXPECT_EQ(QvxMemLockedBlocks(), 0);
  EXPECT_LE(QvxMemKeptBlocks(), 3);
}

}  // namespace
#endif
