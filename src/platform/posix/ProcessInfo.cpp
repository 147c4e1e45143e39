// POSIX process facts. There is no debugger channel on POSIX systems; the
// debugger output goes nowhere unless QOR_DEBUG_OUTPUT names a file
// descriptor (2 for standard error), which lets a developer watch it.
#include "platform/ProcessInfo.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace qor::platform {

std::string executablePath() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<std::size_t>(n));
}

std::uint32_t currentThreadId() { return static_cast<std::uint32_t>(::syscall(SYS_gettid)); }

void debugOutput(const char* text) {
  static const int fd = [] {
    const char* v = std::getenv("QOR_DEBUG_OUTPUT");
    return v ? std::atoi(v) : -1;
  }();
  if (fd < 0 || !text) return;
  ssize_t ignored = ::write(fd, text, std::strlen(text));
  (void)ignored;
}

}  // namespace qor::platform
