#include "cli/LargeBuffers.h"

#include <cstdint>
#include <cstdlib>

#include "platform/GlobalMemory.h"

namespace qvx::cli {

namespace {

constexpr UINT kMoveableZeroInit = 0x42;  // GMEM_MOVEABLE | GMEM_ZEROINIT

// Every buffer starts with this record, which says where its memory came
// from. Freeing a heap buffer never calls into the global memory, which
// itself frees heap memory while it holds its lock.
struct alignas(16) BufferHead {
  std::uint64_t magic;
  HGLOBAL block;  // null for heap buffers
};
constexpr std::uint64_t kHeapBuffer = 0x51565848454150ull;    // "QVXHEAP"
constexpr std::uint64_t kGlobalBuffer = 0x515658474C4F42ull;  // "QVXGLOB"

void* Headed(void* memory, std::uint64_t magic, HGLOBAL block) {
  auto* head = static_cast<BufferHead*>(memory);
  *head = BufferHead{magic, block};
  return head + 1;
}

}  // namespace

void* AllocateBuffer(std::size_t bytes) {
  if (bytes > SIZE_MAX - sizeof(BufferHead)) return nullptr;
  const std::size_t total = bytes + sizeof(BufferHead);
  if (bytes >= kLargeBufferBytes) {
    // Locked for the buffer's whole life, so it stays where it is.
    if (HGLOBAL block = GlobalAlloc(kMoveableZeroInit, total)) {
      if (void* data = GlobalLock(block)) return Headed(data, kGlobalBuffer, block);
      GlobalFree(block);
    }
  }
  void* memory = std::malloc(total);
  return memory ? Headed(memory, kHeapBuffer, nullptr) : nullptr;
}

void FreeBuffer(void* buffer) {
  if (!buffer) return;
  BufferHead* head = static_cast<BufferHead*>(buffer) - 1;
  if (head->magic == kGlobalBuffer) {
    const HGLOBAL block = head->block;
    head->magic = 0;
    GlobalUnlock(block);
    GlobalFree(block);
    return;
  }
  head->magic = 0;
  std::free(head);
}

}  // namespace qvx::cli
