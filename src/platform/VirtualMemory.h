// Reserving and releasing large blocks of address space straight from the
// operating system, for allocators that carve their own pages.
#pragma once

#include <cstddef>

namespace qor::platform {

// Reserves and commits `size` bytes of read-write memory, aligned to at least
// 64 KiB. Returns null when the system refuses. The first `presentBytes` are
// made present at once where the system can do that in one call (for a
// caller about to use them); the other pages are on their first write.
void* reserveBlock(std::size_t size, std::size_t presentBytes = 0);

// Returns a block obtained from reserveBlock to the system.
void releaseBlock(void* block, std::size_t size);

}  // namespace qor::platform
