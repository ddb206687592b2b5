#include "cli/LargeBuffers.h"

#include <cstdlib>
#include <mutex>

#include "platform/GlobalMemory.h"

namespace qvx::cli {

namespace {

constexpr UINT kMoveable = 0x02;  // GMEM_MOVEABLE

// The live large buffers. A fixed table, so that registering and freeing
// never allocate (which would come back here); when it is full, further
// large buffers come from the heap. A process holds only a few pictures at
// once.
struct LargeBuffers {
  struct Entry {
    const void* data = nullptr;
    HGLOBAL block = nullptr;
  };
  std::mutex mutex;
  Entry entries[64];
};

LargeBuffers& Registry() {
  static LargeBuffers* registry = new LargeBuffers;  // never destroyed: frees come at exit
  return *registry;
}

// Records a locked block as a buffer; false when the table is full.
bool Register(void* data, HGLOBAL block) {
  LargeBuffers& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.mutex);
  for (LargeBuffers::Entry& entry : registry.entries) {
    if (entry.data) continue;
    entry = {data, block};
    return true;
  }
  return false;
}

// The block of a live large buffer, taken out of the table when `remove`.
HGLOBAL Find(const void* data, bool remove) {
  LargeBuffers& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.mutex);
  for (LargeBuffers::Entry& entry : registry.entries) {
    if (entry.data != data) continue;
    const HGLOBAL block = entry.block;
    if (remove) entry = {};
    return block;
  }
  return nullptr;
}

}  // namespace

void* AllocateBuffer(std::size_t bytes) {
  if (bytes >= kLargeBufferBytes) {
    if (HGLOBAL block = GlobalAlloc(kMoveable, bytes)) {
      if (void* data = GlobalLock(block)) {
        if (Register(data, block)) return data;
        GlobalUnlock(block);
      }
      GlobalFree(block);
    }
  }
  // malloc(0) may return null; a zero-byte buffer still needs an address.
  return std::malloc(bytes == 0 ? 1 : bytes);
}

void FreeBuffer(void* buffer) {
  if (!buffer) return;
  if (const HGLOBAL block = Find(buffer, true)) {
    GlobalUnlock(block);
    GlobalFree(block);
    return;
  }
  std::free(buffer);
}

HGLOBAL LargeBufferBlock(const void* data) { return data ? Find(data, false) : nullptr; }

}  // namespace qvx::cli
