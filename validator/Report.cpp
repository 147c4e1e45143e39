// Report: text lines and the JSON document.
#include "validator/Report.h"

#include <cmath>
#include <cstdio>

namespace qor::validator {

std::size_t RunSummary::count(TestRecord::Status status) const {
  std::size_t n = 0;
  for (const TestRecord& t : tests) n += t.status == status ? 1 : 0;
  return n;
}

const char* statusWord(TestRecord::Status status) {
  switch (status) {
    case TestRecord::kPassed: return "passed";
    case TestRecord::kFailed: return "failed";
    case TestRecord::kSkipped: return "skipped";
  }
  return "?";
}

std::string testLine(const TestRecord& record) {
  static constexpr const char* kTags[] = {"PASS", "FAIL", "SKIP"};
  char head[160];
  std::snprintf(head, sizeof head, "%-4s  %-28s %6.2f s  ", kTags[record.status], record.name.c_str(), record.seconds);
  return head + record.reason;
}

std::string summaryLine(const RunSummary& summary) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", summary.seconds);
  return "qor_validate: " + summary.library + " at strictness " + std::to_string(summary.strictness) + " (seed " +
         std::to_string(summary.seed) + "): " + std::to_string(summary.tests.size()) + " tests, " +
         std::to_string(summary.count(TestRecord::kPassed)) + " passed, " +
         std::to_string(summary.count(TestRecord::kFailed)) + " failed, " +
         std::to_string(summary.count(TestRecord::kSkipped)) + " skipped in " + seconds + " s";
}

std::string jsonQuote(const std::string& text) {
  std::string out = "\"";
  std::size_t i = 0;
  auto escapeByte = [&](unsigned char c) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\u%04x", c);
    out += hex;
  };
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      escapeByte(c);
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      // Keep a well-formed UTF-8 sequence; escape the bytes of anything else.
      std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
      bool ok = n != 0 && i + n <= text.size();
      for (std::size_t k = 1; ok && k < n; ++k) ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
      if (ok) {
        out.append(text, i, n);
        i += n;
      } else {
        escapeByte(c);
        ++i;
      }
    }
  }
  out += '"';
  return out;
}

namespace {
std::string number(double value) {
  if (!std::isfinite(value)) return "null";
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}
}  // namespace

std::string toJsonReport(const RunSummary& summary) {
  std::string out = "{\n";
  out += "  \"library\": " + jsonQuote(summary.library) + ",\n";
  out += "  \"strictness\": " + std::to_string(summary.strictness) + ",\n";
  out += "  \"seed\": " + std::to_string(summary.seed) + ",\n";
  out += "  \"coreVersion\": " + jsonQuote(summary.coreVersion) + ",\n";
  out += "  \"passed\": " + std::to_string(summary.count(TestRecord::kPassed)) + ",\n";
  out += "  \"failed\": " + std::to_string(summary.count(TestRecord::kFailed)) + ",\n";
  out += "  \"skipped\": " + std::to_string(summary.count(TestRecord::kSkipped)) + ",\n";
  out += "  \"seconds\": " + number(summary.seconds) + ",\n";
  out += "  \"tests\": [";
  for (std::size_t i = 0; i < summary.tests.size(); ++i) {
    const TestRecord& t = summary.tests[i];
    out += i == 0 ? "\n" : ",\n";
    out += "    {\"name\": " + jsonQuote(t.name) + ", \"level\": " + std::to_string(t.level) +
           ", \"status\": " + jsonQuote(statusWord(t.status)) + ", \"seconds\": " + number(t.seconds) +
           ", \"reason\": " + jsonQuote(t.reason);
    out += ", \"notes\": [";
    for (std::size_t n = 0; n < t.notes.size(); ++n) out += (n == 0 ? "" : ", ") + jsonQuote(t.notes[n]);
    out += "], \"metrics\": {";
    bool first = true;
    for (const auto& [key, value] : t.metrics) {
      out += (first ? "" : ", ") + jsonQuote(key) + ": " + number(value);
      first = false;
    }
    out += "}";
    if (!t.output.empty()) out += ", \"output\": " + jsonQuote(t.output);
    out += "}";
  }
  out += "\n  ]\n}\n";
  return out;
}

}  // namespace qor::validator
