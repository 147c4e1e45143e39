// The plug-in's allocation hooks: every allocation its code makes, through
// operator new or the C allocator, is counted for GetMemoryStats. Linked only
// into the shared library, where the version script keeps these definitions
// local, so the host's allocator is never replaced. The C allocator's calls
// reach the hooks through the linker's --wrap option.
#include "platform/AllocationSize.h"
#include "runtime/MemoryStats.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <new>

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* block, std::size_t size);
void __real_free(void* block);
}

namespace {

using qor::MemoryStats;
using qor::platform::allocationSize;

void* hookAllocate(std::size_t size) noexcept {
  void* block = __real_malloc(size);
  if (block) MemoryStats::recordAllocation(allocationSize(block));
  return block;
}

void hookFree(void* block) noexcept {
  if (!block) return;
  MemoryStats::recordFree(allocationSize(block));
  __real_free(block);
}

void* hookReallocate(void* block, std::size_t size) noexcept {
  if (block && size == 0) {
    // Some C libraries free the block here and others hand out a new one;
    // free it ourselves so the accounting is the same everywhere.
    hookFree(block);
    return nullptr;
  }
  const std::size_t oldSize = allocationSize(block);
  void* moved = __real_realloc(block, size);
  // A failed reallocation leaves the old block live: nothing changed.
  if (moved) MemoryStats::recordReallocation(oldSize, allocationSize(moved));
  return moved;
}

char* hookDuplicate(const char* text) noexcept {
  if (!text) return nullptr;
  const std::size_t n = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(__real_malloc(n));
  if (!copy) return nullptr;
  std::memcpy(copy, text, n);
  MemoryStats::recordAllocation(allocationSize(copy));
  return copy;
}

void* allocateOrThrow(std::size_t size) {
  if (size == 0) size = 1;
  for (;;) {
    if (void* block = hookAllocate(size)) return block;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) noexcept {
  const std::size_t align = std::max(static_cast<std::size_t>(alignment), sizeof(void*));
  if (size == 0) size = 1;
  // Over-allocate and keep the raw block's address just before the aligned one.
  const std::size_t total = size + align + sizeof(void*);
  if (total < size) return nullptr;
  void* raw = hookAllocate(total);
  if (!raw) return nullptr;
  std::size_t at = reinterpret_cast<std::size_t>(raw) + sizeof(void*);
  at = (at + align - 1) & ~(align - 1);
  void* aligned = reinterpret_cast<void*>(at);
  std::memcpy(static_cast<char*>(aligned) - sizeof(void*), &raw, sizeof raw);
  return aligned;
}

void freeAligned(void* aligned) noexcept {
  if (!aligned) return;
  void* raw;
  std::memcpy(&raw, static_cast<char*>(aligned) - sizeof(void*), sizeof raw);
  hookFree(raw);
}

void* allocateAlignedOrThrow(std::size_t size, std::align_val_t alignment) {
  for (;;) {
    if (void* block = allocateAligned(size, alignment)) return block;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

}  // namespace

// ---- The C allocator ---------------------------------------------------------

extern "C" {

void* __wrap_malloc(std::size_t size) { return hookAllocate(size); }

void* __wrap_calloc(std::size_t count, std::size_t size) {
  void* block = __real_calloc(count, size);
  if (block) MemoryStats::recordAllocation(allocationSize(block));
  return block;
}

void* __wrap_realloc(void* block, std::size_t size) { return hookReallocate(block, size); }

void __wrap_free(void* block) { hookFree(block); }

char* __wrap_strdup(const char* text) { return hookDuplicate(text); }

}  // extern "C"

// ---- operator new and delete, every form -----------------------------------

void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocateOrThrow(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocateOrThrow(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return allocateAlignedOrThrow(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return allocateAlignedOrThrow(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocateAligned(size, alignment);
}

void operator delete(void* block) noexcept { hookFree(block); }
void operator delete[](void* block) noexcept { hookFree(block); }
void operator delete(void* block, std::size_t) noexcept { hookFree(block); }
void operator delete[](void* block, std::size_t) noexcept { hookFree(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { hookFree(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { hookFree(block); }
void operator delete(void* block, std::align_val_t) noexcept { freeAligned(block); }
void operator delete[](void* block, std::align_val_t) noexcept { freeAligned(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { freeAligned(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { freeAligned(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  freeAligned(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  freeAligned(block);
}
