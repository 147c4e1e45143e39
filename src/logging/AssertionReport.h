// Assertion reports: the fixed multi-line text logged when a check fails.
#pragma once

#include <cstdint>
#include <string>

namespace qor {

// The report text. Any text may be null or empty and is then left out; a
// line of 0 is left out.
std::string assertionReportText(const char* expression, const char* description,
                                const char* file, std::int32_t line, const char* function);

// Builds the report and logs it at level Error with group DBG. Execution
// continues.
void reportAssertion(const char* expression, const char* description, const char* file,
                     std::int32_t line, const char* function);

}  // namespace qor
