// Global memory for non-Windows builds.
//
// Handles are opaque numbers looked up in a table, never pointers, so a null,
// freed or made-up handle is recognised and refused instead of dereferenced.
// Blocks never move: a lock returns the same address every time. Large blocks
// are mapped directly and advised to use huge pages, because every effect
// allocates and first touches a picture-sized result and page faults would
// otherwise cost as much as the effect itself; the kernel hands them out
// zeroed, so zero-initialisation costs nothing.
//
// A process that calls effects over and over would still pay for fresh
// pages on every call (a 36 MB picture costs twice as much to make in new
// memory as in memory already touched), so a few freed large blocks are kept
// and handed to the next allocations that fit them. The keep is bounded in
// blocks and bytes, and a block left unused for a short while is returned to
// the system at the next call. A reused block is cleared only when
// GMEM_ZEROINIT asks, and always gets a new handle, so the handle it had is
// refused as any freed handle is.
//
// Without GMEM_ZEROINIT, small blocks and every block of the guard-page
// mode are filled with a junk pattern, so code that forgets the flag is
// caught by the tests (and the sanitizer build, which runs them in that
// mode). Large blocks are left as their pages are, zero when new and the
// bytes of a freed block when reused: a caller that writes every byte of a
// picture-sized block would otherwise pay for a pass over it that it then
// overwrites.
#include "platform/GlobalMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

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
// Byte pattern for small and guarded blocks allocated without
// GMEM_ZEROINIT, so code that forgets the flag is caught instead of
// silently reading zeros.
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
  std::size_t slack = 0;  // guarded blocks: bytes between the block's end and the guard
  unsigned locks = 0;
  bool reusable = false;  // a plain mapping that starts at `data`, kept for reuse when freed
};

using Clock = std::chrono::steady_clock;

// A freed mapping waiting for reuse: `mappedBytes` from `mapping`, a
// multiple of kHugePage.
struct KeptMapping {
  void* mapping = nullptr;
  std::size_t mappedBytes = 0;
  Clock::time_point freedAt;
};

// How many freed blocks are kept, how many bytes they may hold together,
// and how long one is kept unused.
struct KeepLimits {
  std::size_t blocks = 4;
  std::size_t bytes = std::size_t{512} << 20;
  Clock::duration idle = std::chrono::seconds(1);
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
  std::size_t liveBytes = 0;
  std::size_t peakBytes = 0;
  long allocCalls = 0;
  long lockCalls = 0;
  long failAllocAt = 0;
  long failLockAt = 0;
  std::vector<KeptMapping> kept;  // oldest first
  std::size_t keptBytes = 0;
  KeepLimits limits;
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

// Mappings to return to the system, gathered under the heap's lock and
// unmapped after it is released.
using Unmaps = std::vector<KeptMapping>;

void UnmapAll(const Unmaps& unmaps) {
  for (const KeptMapping& m : unmaps) munmap(m.mapping, m.mappedBytes);
}

// Moves kept mappings beyond the limits, or idle too long, into `unmaps`,
// oldest first. Called with the heap locked.
void TrimKept(Heap& heap, Clock::time_point now, std::size_t extraBlocks, std::size_t extraBytes,
              Unmaps& unmaps) {
  std::size_t drop = 0;
  while (drop < heap.kept.size()) {
    const KeptMapping& m = heap.kept[drop];
    const std::size_t blocks = heap.kept.size() - drop + extraBlocks;
    const std::size_t bytes = heap.keptBytes + extraBytes;
    if (blocks <= heap.limits.blocks && bytes <= heap.limits.bytes &&
        now - m.freedAt <= heap.limits.idle)
      break;
    heap.keptBytes -= m.mappedBytes;
    unmaps.push_back(m);
    ++drop;
  }
  heap.kept.erase(heap.kept.begin(), heap.kept.begin() + static_cast<std::ptrdiff_t>(drop));
}

// The smallest kept mapping of at least `length` bytes, taken out of the
// keep; a null mapping when none fits.
KeptMapping TakeKept(Heap& heap, std::size_t length) {
  std::size_t best = heap.kept.size();
  for (std::size_t i = 0; i < heap.kept.size(); ++i) {
    const std::size_t size = heap.kept[i].mappedBytes;
    if (size >= length && (best == heap.kept.size() || size < heap.kept[best].mappedBytes))
      best = i;
  }
  if (best == heap.kept.size()) return KeptMapping{};
  const KeptMapping taken = heap.kept[best];
  heap.kept.erase(heap.kept.begin() + static_cast<std::ptrdiff_t>(best));
  heap.keptBytes -= taken.mappedBytes;
  return taken;
}

// A mapping of `length` bytes (a multiple of kHugePage) starting on a huge
// page boundary: a kept one when one fits (its pages already touched, its
// bytes whatever they were), or a new one (zero, its pages not yet there).
void* MapLarge(std::size_t length, bool& fresh) {
  Heap& heap = TheHeap();
  KeptMapping reused;
  {
    std::lock_guard<std::mutex> guard(heap.mutex);
    reused = TakeKept(heap, length);
  }
  if (reused.mapping) {
    // A larger mapping gives back the pages this block does not need.
    auto* start = static_cast<unsigned char*>(reused.mapping);
    if (reused.mappedBytes > length) munmap(start + length, reused.mappedBytes - length);
    fresh = false;
    return start;
  }
  // Room to align, then the ends beyond the aligned block go back.
  const std::size_t padded = length + kHugePage;
  void* map = mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(map);
  const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) munmap(map, aligned - start);
  const std::uintptr_t end = start + padded;
  if (end > aligned + length)
    munmap(reinterpret_cast<void*>(aligned + length), end - aligned - length);
  madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
  fresh = true;
  return reinterpret_cast<void*>(aligned);
}

bool AllocateStorage(Block& block, std::size_t bytes, bool zero) {
  block.size = bytes;
  if (g_guardPages.load(std::memory_order_relaxed)) return AllocateGuarded(block, bytes, zero);
  if (bytes >= kMapThreshold) {
    const std::size_t length = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    bool fresh = false;
    void* data = MapLarge(length, fresh);
    if (!data) return false;
    block.mapping = block.data = data;
    block.mappedBytes = length;
    block.reusable = true;
    if (zero && !fresh) std::memset(data, 0, bytes);
    return true;
  }
  // Zero-byte blocks still get an address of their own.
  block.data = zero ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!block.data) return false;
  if (!zero) std::memset(block.data, kJunk, bytes);
  return true;
}

// Returns a freed block's memory: a plain large mapping into the keep when
// the limits allow, anything else to the system.
void ReleaseStorage(Block& block) {
#if defined(QVX_ASAN)
  if (block.slack)
    ASAN_UNPOISON_MEMORY_REGION(static_cast<unsigned char*>(block.data) + block.size, block.slack);
#endif
  if (block.reusable) {
    Heap& heap = TheHeap();
    const KeptMapping freed{block.mapping, block.mappedBytes, Clock::now()};
    Unmaps unmaps;
    {
      std::lock_guard<std::mutex> guard(heap.mutex);
      if (freed.mappedBytes <= heap.limits.bytes && heap.limits.blocks > 0) {
        TrimKept(heap, freed.freedAt, 1, freed.mappedBytes, unmaps);
        heap.kept.push_back(freed);
        heap.keptBytes += freed.mappedBytes;
      } else {
        TrimKept(heap, freed.freedAt, 0, 0, unmaps);
        unmaps.push_back(freed);
      }
    }
    UnmapAll(unmaps);
  } else if (block.mapping) {
    munmap(block.mapping, block.mappedBytes);
  } else {
    std::free(block.data);
  }
}

}  // namespace

extern "C" {

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  Heap& heap = TheHeap();
  Unmaps idle;
  {
    std::lock_guard<std::mutex> guard(heap.mutex);
    ++heap.allocCalls;
    if (!heap.kept.empty()) TrimKept(heap, Clock::now(), 0, 0, idle);
    if (TakeInjectedFailure(heap.failAllocAt)) {
      UnmapAll(idle);
      return nullptr;
    }
  }
  UnmapAll(idle);
  if (bytes > kMaxBlock) return nullptr;
  Block block;
  if (!AllocateStorage(block, bytes, (flags & GMEM_ZEROINIT) != 0)) return nullptr;
  std::lock_guard<std::mutex> guard(heap.mutex);
  const std::uintptr_t handle = heap.nextHandle;
  heap.nextHandle += 8;
  heap.byPointer[block.data] = handle;
  heap.blocks.emplace(handle, block);
  heap.liveBytes += block.size;
  heap.peakBytes = std::max(heap.peakBytes, heap.liveBytes);
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
  Unmaps idle;
  {
    std::lock_guard<std::mutex> guard(heap.mutex);
    if (!heap.kept.empty()) TrimKept(heap, Clock::now(), 0, 0, idle);
    auto it = heap.blocks.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it != heap.blocks.end()) {
      block = it->second;
      if (block.locks) --heap.lockedBlocks;
      heap.liveBytes -= block.size;
      heap.byPointer.erase(block.data);
      heap.blocks.erase(it);
    }
  }
  UnmapAll(idle);
  if (!block.data) return handle;  // failure: the handle comes back
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

SIZE_T QvxMemLiveBytes(void) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  return heap.liveBytes;
}

SIZE_T QvxMemPeakBytes(void) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  return heap.peakBytes;
}

void QvxMemResetPeakBytes(void) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  heap.peakBytes = heap.liveBytes;
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

long QvxMemLockCalls(void) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  return heap.lockCalls;
}

void QvxMemSetBlockKeep(long blocks, unsigned long long bytes, long idleMilliseconds) {
  Heap& heap = TheHeap();
  Unmaps unmaps;
  {
    std::lock_guard<std::mutex> guard(heap.mutex);
    heap.limits.blocks = blocks > 0 ? static_cast<std::size_t>(blocks) : 0;
    heap.limits.bytes = static_cast<std::size_t>(std::min<unsigned long long>(bytes, SIZE_MAX));
    heap.limits.idle = std::chrono::milliseconds(std::max(idleMilliseconds, 0L));
    TrimKept(heap, Clock::now(), 0, 0, unmaps);
  }
  UnmapAll(unmaps);
}

long QvxMemKeptBlocks(void) {
  Heap& heap = TheHeap();
  std::lock_guard<std::mutex> guard(heap.mutex);
  return static_cast<long>(heap.kept.size());
}

}  // extern "C"
