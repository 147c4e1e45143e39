// Wall-clock and monotonic time sources.
#pragma once

#include <cstdint>

namespace qor::platform {

struct LocalTime {
  int year, month, day, hour, minute, second, millisecond;
};

// The current local time, broken down, with milliseconds.
LocalTime localTime();

// The current UTC time in 100-nanosecond units since 1601-01-01 (the file-time
// scale), so that the epoch offset can be subtracted as the callers need.
std::uint64_t utcFileTime();

// The file-time value of 1970-01-01T00:00:00Z.
constexpr std::uint64_t kUnixEpochFileTime = 116444736000000000ULL;

// The high-resolution counter and its frequency in ticks per second.
std::uint64_t highResolutionCounter();
std::uint64_t highResolutionFrequency();

}  // namespace qor::platform
