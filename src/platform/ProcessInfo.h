// Facts about the running process: its executable, the calling thread, and the
// debugger's output channel.
#pragma once

#include <cstdint>
#include <string>

namespace qor::platform {

// Full path of the process's executable, or an empty string when unknown.
std::string executablePath();

// Identifier of the calling thread, as the system numbers threads.
std::uint32_t currentThreadId();

// Writes a NUL-terminated text to the debugger's output channel (a no-op when
// the system has none).
void debugOutput(const char* text);

}  // namespace qor::platform
