// FuzzCheck: how a target reports a finding other than a crash (an oracle
// that disagrees, a broken invariant). Under libFuzzer the report ends the
// process, so the input is kept as a crash; the regression test installs a
// handler that turns it into a test failure instead.
#pragma once

#include <string>

namespace qor::fuzz {

using FindingHandler = void (*)(const std::string& message);

// Reports a finding: the installed handler, or else the message on standard
// error followed by abort().
void reportFinding(const std::string& message);
// Installs a handler (null restores the default); returns the previous one.
FindingHandler setFindingHandler(FindingHandler handler);

}  // namespace qor::fuzz

// Reports `message` (a std::string expression, built only on failure) when
// `condition` does not hold.
#define QOR_FUZZ_CHECK(condition, message)                                      \
  do {                                                                          \
    if (!(condition)) ::qor::fuzz::reportFinding(std::string(__FILE__ ":") +    \
                                                 std::to_string(__LINE__) +     \
                                                 ": " + (message));             \
  } while (0)
