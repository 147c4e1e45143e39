// Process-wide allocation counters behind GetMemoryStats: lock-free 64-bit
// atomics updated by the plug-in's allocation hooks from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor {

// The six counters, each read atomically but not all six as one snapshot.
struct MemoryStatsSnapshot {
  std::uint64_t peakBytes = 0;        // bytes in use at the peak
  std::uint64_t peakAllocations = 0;  // live allocations at that peak
  std::uint64_t bytesAllocated = 0;
  std::uint64_t allocations = 0;
  std::uint64_t bytesFreed = 0;
  std::uint64_t frees = 0;
};

class MemoryStats {
 public:
  // A non-null block of `size` usable bytes was handed out (allocate or
  // duplicate a string).
  static void recordAllocation(std::size_t size) noexcept;
  // A non-null block of `size` usable bytes was returned.
  static void recordFree(std::size_t size) noexcept;
  // A successful reallocation: a free of the old block (size 0 when it was
  // null), then an allocation of the new one. A failed reallocation must not
  // be recorded at all: the old block is still live.
  static void recordReallocation(std::size_t oldSize, std::size_t newSize) noexcept;

  static MemoryStatsSnapshot snapshot() noexcept;
  // Fourteen 32-bit words: the six counters low word first, then two zeros.
  static void writeWords(std::uint32_t* words) noexcept;
  // Zeroes every counter; for tests that link the framework directly.
  static void resetForTesting() noexcept;
};

}  // namespace qor
