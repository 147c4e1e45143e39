// Windows process facts: GetModuleFileNameA of the executable, the system's
// thread id, and OutputDebugStringA for the debugger channel.
#include "platform/ProcessInfo.h"

#include "platform/windows/WindowsApi.h"

namespace qor::platform {

std::string executablePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), size);
    if (n == 0) return {};
    // A full buffer means the path was cut: grow and ask again.
    if (n < size) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

std::uint32_t currentThreadId() { return static_cast<std::uint32_t>(::GetCurrentThreadId()); }

void debugOutput(const char* text) {
  if (text) ::OutputDebugStringA(text);
}

}  // namespace qor::platform
