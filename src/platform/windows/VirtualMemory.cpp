// Windows block reservation: VirtualAlloc reserves and commits in one call, on
// the system's 64 KiB allocation granularity.
#include "platform/VirtualMemory.h"

#include "platform/windows/WindowsApi.h"

namespace qor::platform {

// Committed pages are made present on first touch; there is no cheaper way
// to have them at once, so `presentBytes` is not used.
void* reserveBlock(std::size_t size, std::size_t /*presentBytes*/) {
  return ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void releaseBlock(void* block, std::size_t) {
  // MEM_RELEASE frees the whole reservation and requires a size of 0.
  if (block) ::VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace qor::platform
