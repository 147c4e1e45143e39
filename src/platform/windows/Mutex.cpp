// Windows mutexes: critical sections, which are recursive by nature. The plain
// Mutex therefore lets its owner re-enter too; callers never rely on a
// self-deadlock.
#include "platform/Mutex.h"

#include "platform/windows/WindowsApi.h"

#include <new>

namespace qor::platform {
namespace {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "mutex storage too small");
static_assert(alignof(CRITICAL_SECTION) <= 8, "mutex storage under-aligned");

CRITICAL_SECTION* native(unsigned char* storage) {
  return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}

void init(unsigned char* storage) {
  // Since Windows Vista the call cannot fail.
  ::InitializeCriticalSection(new (storage) CRITICAL_SECTION);
}

}  // namespace

Mutex::Mutex() { init(storage_); }
Mutex::~Mutex() { ::DeleteCriticalSection(native(storage_)); }
void Mutex::lock() { ::EnterCriticalSection(native(storage_)); }
bool Mutex::try_lock() { return ::TryEnterCriticalSection(native(storage_)) != 0; }
void Mutex::unlock() { ::LeaveCriticalSection(native(storage_)); }

RecursiveMutex::RecursiveMutex() { init(storage_); }
RecursiveMutex::~RecursiveMutex() { ::DeleteCriticalSection(native(storage_)); }
void RecursiveMutex::lock() { ::EnterCriticalSection(native(storage_)); }
bool RecursiveMutex::try_lock() { return ::TryEnterCriticalSection(native(storage_)) != 0; }
void RecursiveMutex::unlock() { ::LeaveCriticalSection(native(storage_)); }

}  // namespace qor::platform
