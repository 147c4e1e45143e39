// Reserving and releasing large blocks of address space straight from the
// operating system, for allocators that carve their own pages.
#pragma once

#include <cstddef>

namespace qor::platform {

// Reserves and commits `size` bytes of read-write memory, aligned to at least
// 64 KiB. Returns null when the system refuses. With `prefault`, the pages
// are made present at once where the system can do that in one call (for a
// caller about to use them all); otherwise each is on its first write.
void* reserveBlock(std::size_t size, bool prefault = false);

// Returns a block obtained from reserveBlock to the system.
void releaseBlock(void* block, std::size_t size);

}  // namespace qor::platform
