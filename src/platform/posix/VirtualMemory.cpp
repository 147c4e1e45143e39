// POSIX block reservation: anonymous private mappings.
#include "platform/VirtualMemory.h"

#include <sys/mman.h>

namespace qor::platform {

void* reserveBlock(std::size_t size, bool prefault) {
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_POPULATE
  // One call maps every page, instead of one trap per page on first write.
  if (prefault) flags |= MAP_POPULATE;
#else
  (void)prefault;
#endif
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

void releaseBlock(void* block, std::size_t size) {
  if (block) ::munmap(block, size);
}

}  // namespace qor::platform
