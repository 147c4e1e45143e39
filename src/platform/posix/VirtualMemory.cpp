// POSIX block reservation: anonymous private mappings.
#include "platform/VirtualMemory.h"

#include <sys/mman.h>

namespace qor::platform {

// Blocks are mapped with their pages already present: a pool formats a page
// as soon as it takes it, so faulting them in one at a time only adds traps.
#ifdef MAP_POPULATE
constexpr int kMapFlags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE;
#else
constexpr int kMapFlags = MAP_PRIVATE | MAP_ANONYMOUS;
#endif

void* reserveBlock(std::size_t size) {
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, kMapFlags, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

void releaseBlock(void* block, std::size_t size) {
  if (block) ::munmap(block, size);
}

}  // namespace qor::platform
