// The allocation counters. Bytes in use are derived from two counters read one
// after the other, so another thread may move them in between; a difference
// that comes out negative is read as zero rather than as a huge peak.
#include "runtime/MemoryStats.h"

#include <atomic>

namespace qor {
namespace {

static_assert(std::atomic<std::uint64_t>::is_always_lock_free,
              "the allocation counters must be lock-free");

constinit std::atomic<std::uint64_t> gPeakBytes{0};
constinit std::atomic<std::uint64_t> gPeakAllocations{0};
constinit std::atomic<std::uint64_t> gBytesAllocated{0};
constinit std::atomic<std::uint64_t> gAllocations{0};
constinit std::atomic<std::uint64_t> gBytesFreed{0};
constinit std::atomic<std::uint64_t> gFrees{0};

std::uint64_t positiveDifference(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : 0; }

void comparePeak() noexcept {
  const std::uint64_t inUse = positiveDifference(gBytesAllocated.load(std::memory_order_relaxed),
                                                 gBytesFreed.load(std::memory_order_relaxed));
  std::uint64_t peak = gPeakBytes.load(std::memory_order_relaxed);
  while (inUse > peak) {
    if (gPeakBytes.compare_exchange_weak(peak, inUse, std::memory_order_relaxed)) {
      gPeakAllocations.store(positiveDifference(gAllocations.load(std::memory_order_relaxed),
                                                gFrees.load(std::memory_order_relaxed)),
                             std::memory_order_relaxed);
      break;
    }
  }
}

void countAllocation(std::size_t size) noexcept {
  gBytesAllocated.fetch_add(size, std::memory_order_relaxed);
  gAllocations.fetch_add(1, std::memory_order_relaxed);
}

void countFree(std::size_t size) noexcept {
  gBytesFreed.fetch_add(size, std::memory_order_relaxed);
  gFrees.fetch_add(1, std::memory_order_relaxed);
}

void writePair(std::uint32_t* words, std::uint64_t value) noexcept {
  words[0] = static_cast<std::uint32_t>(value);
  words[1] = static_cast<std::uint32_t>(value >> 32);
}

}  // namespace

void MemoryStats::recordAllocation(std::size_t size) noexcept {
  countAllocation(size);
  comparePeak();
}

void MemoryStats::recordFree(std::size_t size) noexcept { countFree(size); }

void MemoryStats::recordReallocation(std::size_t oldSize, std::size_t newSize) noexcept {
  countFree(oldSize);
  countAllocation(newSize);
  comparePeak();
}

MemoryStatsSnapshot MemoryStats::snapshot() noexcept {
  MemoryStatsSnapshot s;
  s.peakBytes = gPeakBytes.load(std::memory_order_relaxed);
  s.peakAllocations = gPeakAllocations.load(std::memory_order_relaxed);
  s.bytesAllocated = gBytesAllocated.load(std::memory_order_relaxed);
  s.allocations = gAllocations.load(std::memory_order_relaxed);
  s.bytesFreed = gBytesFreed.load(std::memory_order_relaxed);
  s.frees = gFrees.load(std::memory_order_relaxed);
  return s;
}

void MemoryStats::writeWords(std::uint32_t* words) noexcept {
  if (!words) return;
  const MemoryStatsSnapshot s = snapshot();
  writePair(words + 0, s.peakBytes);
  writePair(words + 2, s.peakAllocations);
  writePair(words + 4, s.bytesAllocated);
  writePair(words + 6, s.allocations);
  writePair(words + 8, s.bytesFreed);
  writePair(words + 10, s.frees);
  words[12] = 0;
  words[13] = 0;
}

void MemoryStats::resetForTesting() noexcept {
  for (auto* c : {&gPeakBytes, &gPeakAllocations, &gBytesAllocated, &gAllocations, &gBytesFreed,
                  &gFrees})
    c->store(0, std::memory_order_relaxed);
}

}  // namespace qor
