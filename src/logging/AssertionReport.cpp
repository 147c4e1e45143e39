// Assertion reports: built as one text, logged as one message.
#include "logging/AssertionReport.h"

#include "logging/LogManager.h"

namespace qor {

namespace {
bool given(const char* s) { return s != nullptr && *s != '\0'; }
}  // namespace

std::string assertionReportText(const char* expression, const char* description,
                                const char* file, std::int32_t line, const char* function) {
  std::string r = "Assertion failed!\n\n";
  if (given(file)) {
    r += "File: ";
    r += file;
    r += '\n';
  }
  if (line != 0) {
    r += "Line: ";
    r += std::to_string(line);
    r += "\n\n";
  }
  if (given(function)) {
    r += "Function: ";
    r += function;
    r += "\n\n";
  }
  if (given(expression)) {
    r += "Expression: ";
    r += expression;
  }
  if (given(description)) {
    r += "\n\nDescription: ";
    r += description;
  }
  return r;
}

void reportAssertion(const char* expression, const char* description, const char* file,
                     std::int32_t line, const char* function) {
  std::string text = assertionReportText(expression, description, file, line, function);
  logMessage(LogLevel::Error, kLogGroupDbg, "%s", text.c_str());
}

}  // namespace qor
