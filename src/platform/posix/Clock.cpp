// POSIX clocks: clock_gettime for the UTC and monotonic time, localtime_r for
// the broken-down local time.
#include "platform/Clock.h"

#include <time.h>

namespace qor::platform {

LocalTime localTime() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  time_t secs = ts.tv_sec;
  tm t{};
  localtime_r(&secs, &t);
  return LocalTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                   t.tm_min,         t.tm_sec,     static_cast<int>(ts.tv_nsec / 1000000)};
}

std::uint64_t utcFileTime() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return kUnixEpochFileTime + static_cast<std::uint64_t>(ts.tv_sec) * 10000000ULL +
         static_cast<std::uint64_t>(ts.tv_nsec) / 100ULL;
}

std::uint64_t highResolutionCounter() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000ULL +
         static_cast<std::uint64_t>(ts.tv_nsec);
}

std::uint64_t highResolutionFrequency() { return 1000000000ULL; }

}  // namespace qor::platform
