// The usable size of a heap block, as the system allocator reports it, for the
// allocation counters that must account blocks by what they really occupy.
#pragma once

#include <cstddef>

namespace qor::platform {

// The usable size of a block obtained from the C allocator; 0 for null.
std::size_t allocationSize(void* block) noexcept;

}  // namespace qor::platform
