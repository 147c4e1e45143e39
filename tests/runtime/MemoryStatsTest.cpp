// The allocation counters behind GetMemoryStats.
#include "runtime/MemoryStats.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace qor {
namespace {

class MemoryStatsTest : public ::testing::Test {
 protected:
  void SetUp() override { MemoryStats::resetForTesting(); }
  void TearDown() override { MemoryStats::resetForTesting(); }
};

TEST_F(MemoryStatsTest, AllocationsAndFreesMoveTotalsAndPeak) {
  MemoryStats::recordAllocation(100);
  MemoryStats::recordAllocation(50);
  MemoryStats::recordFree(100);
  MemoryStats::recordAllocation(20);
  const MemoryStatsSnapshot s = MemoryStats::snapshot();
  EXPECT_EQ(s.bytesAllocated, 170u);
  EXPECT_EQ(s.allocations, 3u);
  EXPECT_EQ(s.bytesFreed, 100u);
  EXPECT_EQ(s.frees, 1u);
  EXPECT_EQ(s.peakBytes, 150u);       // before the free
  EXPECT_EQ(s.peakAllocations, 2u);   // live at that peak
}

TEST_F(MemoryStatsTest, ReallocationCountsAFreeThenAnAllocation) {
  // A null block: one free of size 0 and one allocation.
  MemoryStats::recordReallocation(0, 32);
  MemoryStatsSnapshot s = MemoryStats::snapshot();
  EXPECT_EQ(s.frees, 1u);
  EXPECT_EQ(s.bytesFreed, 0u);
  EXPECT_EQ(s.allocations, 1u);
  EXPECT_EQ(s.bytesAllocated, 32u);
  MemoryStats::recordReallocation(32, 64);
  s = MemoryStats::snapshot();
  EXPECT_EQ(s.bytesFreed, 32u);
  EXPECT_EQ(s.bytesAllocated, 96u);
  EXPECT_EQ(s.peakBytes, 64u);
}

TEST_F(MemoryStatsTest, MoreFreedThanAllocatedNeverMakesAHugePeak) {
  // Blocks the plug-in frees but did not allocate (handed over by a library).
  MemoryStats::recordFree(1000);
  MemoryStats::recordAllocation(10);
  EXPECT_EQ(MemoryStats::snapshot().peakBytes, 0u);
}

TEST_F(MemoryStatsTest, WordsAreLowWordFirstThenTwoZeros) {
  // Three blocks of 2 GiB: the totals need the high words, also where
  // std::size_t has 32 bits.
  for (int i = 0; i < 3; ++i) MemoryStats::recordAllocation(std::size_t{0x80000000u});
  std::uint32_t words[14];
  for (auto& w : words) w = 0xDEADBEEF;
  MemoryStats::writeWords(words);
  EXPECT_EQ(words[0], 0x80000000u);  // peak, low word
  EXPECT_EQ(words[1], 1u);           // peak, high word
  EXPECT_EQ(words[2], 3u);           // live allocations at the peak
  EXPECT_EQ(words[3], 0u);
  EXPECT_EQ(words[4], 0x80000000u);  // bytes allocated
  EXPECT_EQ(words[5], 1u);
  EXPECT_EQ(words[6], 3u);  // allocations
  EXPECT_EQ(words[7], 0u);
  for (int i = 8; i < 14; ++i) EXPECT_EQ(words[i], 0u) << i;
  MemoryStats::writeWords(nullptr);  // ignored
}

TEST_F(MemoryStatsTest, CountersStayExactAcrossThreads) {
  constexpr int kThreads = 4, kRounds = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < kRounds; ++i) {
        MemoryStats::recordAllocation(16);
        MemoryStats::recordFree(16);
      }
    });
  for (auto& t : threads) t.join();
  const MemoryStatsSnapshot s = MemoryStats::snapshot();
  EXPECT_EQ(s.allocations, std::uint64_t{kThreads} * kRounds);
  EXPECT_EQ(s.frees, std::uint64_t{kThreads} * kRounds);
  EXPECT_EQ(s.bytesAllocated, s.bytesFreed);
  EXPECT_GE(s.peakBytes, 16u);
}

}  // namespace
}  // namespace qor
