// POSIX usable block size: malloc_usable_size of the C library.
#include "platform/AllocationSize.h"

#include <malloc.h>

namespace qor::platform {

std::size_t allocationSize(void* block) noexcept {
  return block ? ::malloc_usable_size(block) : 0;
}

}  // namespace qor::platform
