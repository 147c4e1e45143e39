// POSIX block reservation: anonymous private mappings.
#include "platform/VirtualMemory.h"

#include <sys/mman.h>

namespace qor::platform {

void* reserveBlock(std::size_t size) {
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

void releaseBlock(void* block, std::size_t size) {
  if (block) ::munmap(block, size);
}

}  // namespace qor::platform
