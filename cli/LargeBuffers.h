// Memory for the tool's own buffers (file contents, decoded pictures,
// encoded files). Large ones come from the library's global memory, which
// maps them in huge pages and keeps a few freed ones for reuse; the C++
// heap would map fresh 4 KB pages for each and pay a page fault for every
// one, which for a 12-megapixel picture costs more than the effect itself.
// The tool's operator new and delete forward here.
#pragma once

#include <cstddef>

namespace qvx::cli {

// Buffers of at least this many bytes are global blocks. Each buffer begins
// 16 bytes into its memory, after a record of where that came from.
constexpr std::size_t kLargeBufferBytes = std::size_t{1} << 20;

// `bytes` of memory (zero-filled when large), or null when none can be had.
void* AllocateBuffer(std::size_t bytes);
// Frees what AllocateBuffer returned (null is ignored).
void FreeBuffer(void* buffer);

}  // namespace qvx::cli
