// Windows clocks: GetLocalTime for the broken-down local time, GetSystemTime
// and SystemTimeToFileTime for the UTC file time, and the performance counter,
// whose frequency is fixed at boot and read once.
#include "platform/Clock.h"

#include "platform/windows/WindowsApi.h"

namespace qor::platform {

LocalTime localTime() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::uint64_t utcFileTime() {
  SYSTEMTIME st{};
  ::GetSystemTime(&st);
  FILETIME ft{};
  if (!::SystemTimeToFileTime(&st, &ft)) return 0;
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::uint64_t highResolutionCounter() {
  LARGE_INTEGER v{};
  ::QueryPerformanceCounter(&v);
  return static_cast<std::uint64_t>(v.QuadPart);
}

std::uint64_t highResolutionFrequency() {
  static const std::uint64_t frequency = [] {
    LARGE_INTEGER f{};
    // Never zero: callers divide by it.
    return ::QueryPerformanceFrequency(&f) && f.QuadPart > 0
               ? static_cast<std::uint64_t>(f.QuadPart)
               : std::uint64_t{1};
  }();
  return frequency;
}

}  // namespace qor::platform
