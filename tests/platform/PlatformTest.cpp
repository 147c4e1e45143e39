// The operating-system layer: blocks, locks, clocks and process facts.
#include "platform/AllocationSize.h"
#include "platform/Clock.h"
#include "platform/Mutex.h"
#include "platform/ProcessInfo.h"
#include "platform/VirtualMemory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using namespace qor::platform;

TEST(VirtualMemory, BlockIsZeroedWritableAndAligned) {
  constexpr std::size_t kBlock = 64 * 1024;
  for (std::size_t present : {std::size_t{0}, std::size_t{16384}, kBlock}) {
    SCOPED_TRACE(present);
    auto* p = static_cast<unsigned char*>(reserveBlock(kBlock, present));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 4096, 0u);
    EXPECT_EQ(p[0], 0u);
    EXPECT_EQ(p[kBlock - 1], 0u);
    std::memset(p, 0xAB, kBlock);
    EXPECT_EQ(p[kBlock - 1], 0xAB);
    releaseBlock(p, kBlock);
  }
}

TEST(Mutex, SerialisesCounterAcrossThreads) {
  Mutex m;
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        std::lock_guard<Mutex> g(m);
        ++counter;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 80000);
}

TEST(Mutex, RecursiveMutexReentersOnOneThreadOnly) {
  RecursiveMutex m;
  m.lock();
  EXPECT_TRUE(m.try_lock());  // same thread: re-entry
  bool otherGot = true;
  std::thread([&] { otherGot = m.try_lock(); }).join();
  EXPECT_FALSE(otherGot);
  m.unlock();
  m.unlock();
  std::thread([&] {
    otherGot = m.try_lock();
    if (otherGot) m.unlock();
  }).join();
  EXPECT_TRUE(otherGot);
}

TEST(Clock, UtcFileTimeMatchesSystemClock) {
  auto sys = std::chrono::duration_cast<std::chrono::milliseconds>(
                 std::chrono::system_clock::now().time_since_epoch())
                 .count();
  std::uint64_t ms = (utcFileTime() - kUnixEpochFileTime) / 10000;
  EXPECT_NEAR(static_cast<double>(ms), static_cast<double>(sys), 2000.0);
}

TEST(Clock, LocalTimeFieldsAreInRange) {
  LocalTime t = localTime();
  EXPECT_GE(t.year, 2020);
  EXPECT_GE(t.month, 1);
  EXPECT_LE(t.month, 12);
  EXPECT_LE(t.hour, 23);
  EXPECT_LE(t.millisecond, 999);
}

TEST(Clock, HighResolutionCounterIsMonotonic) {
  std::uint64_t a = highResolutionCounter();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  std::uint64_t b = highResolutionCounter();
  EXPECT_GT(b, a);
  EXPECT_GE((b - a) * 1000 / highResolutionFrequency(), 1u);
}

TEST(ProcessInfo, ExecutableAndThread) {
  EXPECT_NE(executablePath().find("platform_tests"), std::string::npos);
  std::uint32_t mine = currentThreadId(), other = 0;
  std::thread([&] { other = currentThreadId(); }).join();
  EXPECT_NE(mine, 0u);
  EXPECT_NE(mine, other);
  debugOutput("debug channel smoke\n");  // must not crash without a debugger
}

TEST(AllocationSize, CoversTheRequestAndFollowsReallocation) {
  EXPECT_EQ(allocationSize(nullptr), 0u);
  for (std::size_t request : {std::size_t{1}, std::size_t{24}, std::size_t{1000}, std::size_t{1} << 20}) {
    void* block = std::malloc(request);
    ASSERT_NE(block, nullptr);
    EXPECT_GE(allocationSize(block), request) << request;
    void* grown = std::realloc(block, request * 3);
    ASSERT_NE(grown, nullptr);
    EXPECT_GE(allocationSize(grown), request * 3) << request;
    std::free(grown);
  }
}
