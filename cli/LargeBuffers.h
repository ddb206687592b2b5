// Memory for the tool's own buffers (file contents, decoded pictures,
// encoded files). Large ones are global blocks, which the library's memory
// maps in huge pages and keeps a few of for reuse when freed; the C++ heap
// would map fresh 4 KB pages for each and pay a page fault for every one,
// which for a 12-megapixel picture costs more than the effect itself. A
// decoded picture in such a buffer is already a global block, so it goes to
// the library as it is, without a copy. The tool's operator new and delete
// forward here.
#pragma once

#include <cstddef>

#include "platform/WinTypes.h"

namespace qvx::cli {

// Buffers of at least this many bytes are global blocks, locked for their
// whole life and starting at the block's first byte.
constexpr std::size_t kLargeBufferBytes = std::size_t{1} << 20;

// `bytes` of memory (contents undefined), or null when none can be had.
void* AllocateBuffer(std::size_t bytes);
// Frees what AllocateBuffer returned (null is ignored).
void FreeBuffer(void* buffer);

// The global block whose memory starts at `data` when that is a live large
// buffer, else null. The block stays the buffer's: it may be handed to the
// library for reading while the buffer lives, never freed.
HGLOBAL LargeBufferBlock(const void* data);

}  // namespace qvx::cli
