// Small command-line helpers shared by the host's programs.
#pragma once

#include <csignal>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace qor::host {

// Parses a whole decimal number within [min, max].
std::optional<long long> parseNumber(std::string_view text, long long min, long long max);
// "NAME=VALUE" into vars; false when there is no "=" or the name is empty.
bool addVariable(std::string_view assignment, std::map<std::string, std::string>& vars);
// "18", "18.3" or "18.3.1" into three parts; false for anything else.
bool parseVersion(std::string_view text, unsigned parts[3]);

// Blocks SIGINT and SIGTERM in the calling thread (and every thread it
// starts afterwards), so that waitForStopSignal can take them.
void blockStopSignals();
// Waits for SIGINT or SIGTERM; returns the signal number.
int waitForStopSignal();

}  // namespace qor::host
