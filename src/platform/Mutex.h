// Plain and recursive mutexes over the operating system's own primitive
// (critical sections on Windows, pthread mutexes elsewhere). Both meet the
// standard Lockable requirements, so std::lock_guard and std::unique_lock work.
#pragma once

#include <cstdint>

namespace qor::platform {

class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void lock();
  bool try_lock();
  void unlock();

 private:
  alignas(8) unsigned char storage_[64];
};

class RecursiveMutex {
 public:
  RecursiveMutex();
  ~RecursiveMutex();
  RecursiveMutex(const RecursiveMutex&) = delete;
  RecursiveMutex& operator=(const RecursiveMutex&) = delete;

  void lock();
  bool try_lock();
  void unlock();

 private:
  alignas(8) unsigned char storage_[64];
};

}  // namespace qor::platform
