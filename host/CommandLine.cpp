// Command-line helpers of the host's programs.
#include "host/CommandLine.h"

#include <charconv>
#include <pthread.h>

namespace qor::host {

std::optional<long long> parseNumber(std::string_view text, long long min, long long max) {
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < min ||
      value > max)
    return std::nullopt;
  return value;
}

bool addVariable(std::string_view assignment, std::map<std::string, std::string>& vars) {
  const std::size_t equals = assignment.find('=');
  if (equals == std::string_view::npos || equals == 0) return false;
  vars[std::string(assignment.substr(0, equals))] = std::string(assignment.substr(equals + 1));
  return true;
}

bool parseVersion(std::string_view text, unsigned parts[3]) {
  unsigned values[3] = {0, 0, 0};
  int index = 0;
  std::size_t start = 0;
  while (true) {
    if (index == 3) return false;
    std::size_t dot = text.find('.', start);
    if (dot == std::string_view::npos) dot = text.size();
    const auto number = parseNumber(text.substr(start, dot - start), 0, 0xFFFFFFFFll);
    if (!number) return false;
    values[index++] = static_cast<unsigned>(*number);
    if (dot == text.size()) break;
    start = dot + 1;
  }
  for (int i = 0; i < 3; ++i) parts[i] = values[i];
  return true;
}

void blockStopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int waitForStopSignal() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  int signal = 0;
  while (sigwait(&set, &signal) != 0) {
  }
  return signal;
}

}  // namespace qor::host
