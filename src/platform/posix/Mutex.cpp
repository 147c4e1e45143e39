// POSIX mutexes. A failure of the primitive is a fatal system error: the
// process cannot go on without its locks.
#include "platform/Mutex.h"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <new>

namespace qor::platform {
namespace {

static_assert(sizeof(pthread_mutex_t) <= 64, "mutex storage too small");

pthread_mutex_t* native(unsigned char* storage) {
  return std::launder(reinterpret_cast<pthread_mutex_t*>(storage));
}

void check(int rc, const char* what) {
  if (rc != 0) {
    std::fprintf(stderr, "fatal: %s failed (%d)\n", what, rc);
    std::abort();
  }
}

void init(unsigned char* storage, bool recursive) {
  pthread_mutexattr_t attr;
  check(pthread_mutexattr_init(&attr), "pthread_mutexattr_init");
  if (recursive) check(pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE), "settype");
  check(pthread_mutex_init(new (storage) pthread_mutex_t, &attr), "pthread_mutex_init");
  pthread_mutexattr_destroy(&attr);
}

}  // namespace

Mutex::Mutex() { init(storage_, false); }
Mutex::~Mutex() { pthread_mutex_destroy(native(storage_)); }
void Mutex::lock() { check(pthread_mutex_lock(native(storage_)), "pthread_mutex_lock"); }
bool Mutex::try_lock() { return pthread_mutex_trylock(native(storage_)) == 0; }
void Mutex::unlock() { check(pthread_mutex_unlock(native(storage_)), "pthread_mutex_unlock"); }

RecursiveMutex::RecursiveMutex() { init(storage_, true); }
RecursiveMutex::~RecursiveMutex() { pthread_mutex_destroy(native(storage_)); }
void RecursiveMutex::lock() { check(pthread_mutex_lock(native(storage_)), "pthread_mutex_lock"); }
bool RecursiveMutex::try_lock() { return pthread_mutex_trylock(native(storage_)) == 0; }
void RecursiveMutex::unlock() {
  check(pthread_mutex_unlock(native(storage_)), "pthread_mutex_unlock");
}

}  // namespace qor::platform
