// Windows usable block size: _msize of the C runtime.
#include "platform/AllocationSize.h"

#include <malloc.h>

namespace qor::platform {

std::size_t allocationSize(void* block) noexcept { return block ? ::_msize(block) : 0; }

}  // namespace qor::platform
