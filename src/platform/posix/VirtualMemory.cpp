// POSIX block reservation: anonymous private mappings.
#include "platform/VirtualMemory.h"

#include <sys/mman.h>

namespace qor::platform {

void* reserveBlock(std::size_t size, std::size_t presentBytes) {
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_POPULATE
  // The whole block: one call maps every page.
  if (presentBytes >= size) flags |= MAP_POPULATE;
#endif
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (p == MAP_FAILED) return nullptr;
#ifdef MADV_POPULATE_WRITE
  // Part of it: one more call maps those pages instead of a trap for each.
  // Kernels without this advice refuse it, and the pages then come on first
  // write as they would anyway.
  if (presentBytes > 0 && presentBytes < size) ::madvise(p, presentBytes, MADV_POPULATE_WRITE);
#endif
  return p;
}

void releaseBlock(void* block, std::size_t size) {
  if (block) ::munmap(block, size);
}

}  // namespace qor::platform
