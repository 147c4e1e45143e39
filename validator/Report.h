// Report: the outcome of each test as the parent process saw it, the text
// lines printed for people and the JSON document written for CI.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qor::validator {

struct TestRecord {
  std::string name;
  unsigned level = 1;
  enum Status { kPassed, kFailed, kSkipped } status = kPassed;
  std::string reason;
  double seconds = 0;
  std::vector<std::string> notes;
  std::map<std::string, double> metrics;
  std::string output;  // what the test process printed, when it failed (cut)
};

struct RunSummary {
  std::string library;
  unsigned strictness = 5;
  unsigned long long seed = 0;
  std::string coreVersion;
  double seconds = 0;
  std::vector<TestRecord> tests;
  std::size_t count(TestRecord::Status status) const;
};

const char* statusWord(TestRecord::Status status);  // "passed", "failed", "skipped"
// "PASS  load.export  0.02 s  exports load_qor_inventory"
std::string testLine(const TestRecord& record);
std::string summaryLine(const RunSummary& summary);
std::string toJsonReport(const RunSummary& summary);
// JSON string escaping; bytes that are not valid UTF-8 become \u00XX.
std::string jsonQuote(const std::string& text);

}  // namespace qor::validator
