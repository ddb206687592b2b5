// Global memory for non-Windows builds.
//
// Handles are opaque numbers looked up in a table, never pointers, so a null,
// freed or made-up handle is recognised and refused instead of dereferenced.
// Blocks never move: a lock returns the same address every time. Large blocks
// are mapped directly and advised to use huge pages, because every effect
// allocates and first touches a picture-sized result and page faults would
// otherwise cost as much as the effect itself; the kernel hands them out
// zeroed, so zero-initialisation costs nothing.
#include "platform/GlobalMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#if defined(__SANITIZE_ADDRESS__)
#define QVX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QVX_ASAN 1
#endif
#endif
#if defined(QVX_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kMapThreshold = std::size_t{1} << 20;
// Byte pattern for blocks allocated without GMEM_ZEROINIT, so code that
// forgets the flag is caught instead of silently reading zeros.
constexpr unsigned char kJunk = 0xCD;
// Requests above this are refused like an exhausted heap would refuse them.
constexpr std::size_t kMaxBlock = std::size_t{1} << 40;

// Blocks of the guard-page mode start on this boundary.
constexpr std::size_t kGuardAlign = 16;

struct Block {
  void* data = nullptr;     // what GlobalLock returns
  void* mapping = nullptr;  // start of the mapping, for large and guarded blocks
  std::size_t size = 0;     // the size asked for
  std::size_t mappedBytes = 0;
  std::size_t slack = 0;    // guarded blocks: bytes between the block's end and the guard
  unsigned locks = 0;
};

std::atomic<bool> g_guardPages{false};

// A block ending kGuardAlign-aligned slack bytes before an inaccessible
// page: the mapping holds the block's pages and one more, made inaccessible.
bool AllocateGuarded(Block& block, std::size_t bytes, bool zero) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t aligned = (bytes + kGuardAlign - 1) / kGuardAlign * kGuardAlign;
  const std::size_t pages = (aligned + page - 1) / page * page;
  const std::size_t length = pages + page;
  void* map = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return false;
  auto* start = static_cast<unsigned char*>(map);
  if (mprotect(start + pages, page, PROT_NONE) != 0) {
    munmap(map, length);
    return false;
  }
  block.mapping = map;
  block.mappedBytes = length;
  block.data = start + pages - aligned;
  block.slack = aligned - bytes;
  if (!zero) std::memset(block.data, kJunk, bytes);
#if defined(QVX_ASAN)
  ASAN_POISON_MEMORY_REGION(static_cast<unsigned char*>(block.data) + bytes, block.slack);
#endif
  return true;
}

struct Heap {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, Block> blocks;
  std::unordered_map<const void*, std::uintptr_t> byPointer;
  std::uintptr_t nextHandle = 0x10000;
  long lockedBlocks = 0;
  long allocCalls = 0;
  long lockCalls = 0;
  long failAllocAt = 0;
  long failLockAt = 0;
  std::size_t liveBytes = 0;  // sizes asked for by the live blocks
  std::size_t peakBytes = 0;  // the most liveBytes has been since the last reset
};

Heap& TheHeap() {
  static Heap* heap = new Heap;  // never destroyed: callers may free at exit
  return *heap;
}

bool TakeInjectedFailure(long& countdown) {
  if (countdown <= 0) return false;
  if (--countdown == 0) return true;
  return false;
}

bool AllocateStorage(Block& block, std::size_t bytes, bool zero) {
  block.size = bytes;
  if (g_guardPages.load(std::memory_order_relaxed)) return AllocateGuarded(block, bytes, zero);
  if (bytes >= kMapThreshold) {
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    const std::size_t length = rounded + kHugePage;  // room to align
    void* map = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) return false;
    auto start = reinterpret_cast<std::uintptr_t>(map);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    madvise(reinterpret_cast<void*>(aligned), rounded, MADV_HUGEPAGE);
    block.mapping = map;
    block.mappedBytes = length;
    block.data = reinterpret_cast<void*>(aligned);
    if (!zero) std::memset(block.data, kJunk, bytes);
    return true;
  }
  // Zero-byte blocks still get an address of their own.
  block.data = zero ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!block.data) return false;
  if (!zero) std::memset(block.data, kJunk, bytes);
  return true;
}

void ReleaseStorage(Block& block) {
#if defined(QVX_ASAN)
  if (block.slack)
    ASAN_UNPOISON_MEMORY_REGION(static_cast<unsigned char*>(block.data) + block.size, block.slack);
#endif
  if (block.mapping)
    munmap(block.mapping, block.mappedBytes);
  else
    std::free(block.data);
}

}  // namespace

extern "C" {

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  Heap& heap = TheHeap();
  {
    std::lock_guard<std::mutex> guard(heap.mutex);
    ++heap.allocCalls;
    if (TakeInjectedFailure(heap.failAllocAt)) return nullptr;
  }
  if (bytes > kMaxBlock) return nullptr;
  Block block;
  if (!AllocateStorage(block, bytes, (flags & GMEM_ZEROINIT) != 0)) return nullptr;
  std::lock_guard<std::mutex> guard(heap.mutex);
  const std::uintptr_t handle = heap.nextHandle;
  heap.nextHandle += 8;
  heap.byPointer[block.data] = handle;
  heap.blocks.emplace(handle, block);
  heap.liveBytes += bytes;
  if (heap.liveBytes > heap.peakBytes) heap.peakBytes = heap.liveBytes;
  return reinterpret_cast<HGLOBAL>(handle);
}

LPVOID GlobalLock(HGLOBAL handle) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  ++heap.lockCalls;
  auto it = heap.blocks.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == heap.blocks.end()) return nullptr;
  if (TakeInjectedFailure(heap.failLockAt)) return nullptr;
  if (it->second.locks == 0) ++heap.lockedBlocks;
  ++it->second.locks;
  return it->second.data;
}

BOOL GlobalUnlock(HGLOBAL handle) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  auto it = heap.blocks.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == heap.blocks.end() || it->second.locks == 0) return FALSE;
  if (--it->second.locks == 0) {
    --heap.lockedBlocks;
    return FALSE;
  }
  return TRUE;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
  Heap& heap = TheHeap();
  Block block;
  {
    std::lock_guard<std::mutex> guard(heap.mutex);
    auto it = heap.blocks.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == heap.blocks.end()) return handle;  // failure: the handle comes back
    block = it->second;
    if (block.locks) --heap.lockedBlocks;
    heap.byPointer.erase(block.data);
    heap.blocks.erase(it);
    heap.liveBytes -= block.size;
  }
  ReleaseStorage(block);
  return nullptr;
}

SIZE_T GlobalSize(HGLOBAL handle) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  auto it = heap.blocks.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == heap.blocks.end() ? 0 : it->second.size;
}

HGLOBAL GlobalHandle(LPCVOID pointer) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  auto it = heap.byPointer.find(pointer);
  return it == heap.byPointer.end() ? nullptr : reinterpret_cast<HGLOBAL>(it->second);
}

long QvxMemLiveBlocks(void) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  return static_cast<long>(heap.blocks.size());
}

long QvxMemLockedBlocks(void) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  return heap.lockedBlocks;
}

void QvxMemFailAllocAt(long n) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  heap.failAllocAt = n;
}

void QvxMemFailLockAt(long n) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  heap.failLockAt = n;
}

long QvxMemAllocCalls(void) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  return heap.allocCalls;
}

void QvxMemSetGuardPages(int on) { g_guardPages.store(on != 0); }

unsigned long long QvxMemPeakBytes(void) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  return heap.peakBytes;
}

void QvxMemResetPeak(void) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  heap.peakBytes = heap.liveBytes;
}

long QvxMemLockCalls(void) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  return heap.lockCalls;
}

}  // extern "C"
