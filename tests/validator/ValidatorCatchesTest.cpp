// The validator catches what it claims to: run as a program against plug-ins
// broken on purpose, the tests that match each fault fail (with a reason
// that names the fault) and the others pass; a sound plug-in passes.
#include "validator/ChildProcess.h"
#include "support/BuiltFile.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace qor::validator {
namespace {

struct Outcome {
  int exitCode = -1;
  std::map<std::string, std::pair<std::string, std::string>> tests;  // name -> status, reason
  std::string output;
};

Outcome validate(const std::string& library, const std::vector<std::string>& options) {
  const std::string directory = makeTemporaryDirectory();
  const std::string json = directory + "/report.json", output = directory + "/output.txt";
  std::vector<std::string> args = options;
  args.insert(args.end(), {"--seed", "11", "--json", json, built(library)});
  const ChildOutcome run = runChild(built(QOR_VALIDATE_PATH), args, output, 300);
  Outcome outcome;
  outcome.exitCode = run.exited ? run.exitCode : -1;
  outcome.output = readWholeFile(output);
  // The report is read with RapidJSON, not with anything of the validator's
  // or the framework's.
  rapidjson::Document report;
  report.Parse(readWholeFile(json).c_str());
  const auto text = [](const rapidjson::Value& test, const char* name) {
    const auto member = test.FindMember(name);
    return member != test.MemberEnd() && member->value.IsString() ? std::string(member->value.GetString())
                                                                  : std::string();
  };
  if (!report.HasParseError() && report.IsObject() && report.HasMember("tests") && report["tests"].IsArray()) {
    for (const rapidjson::Value& t : report["tests"].GetArray()) {
      if (t.IsObject()) outcome.tests[text(t, "name")] = {text(t, "status"), text(t, "reason")};
    }
  }
  removeTemporaryDirectory(directory, {json, output});
  return outcome;
}

#ifdef _WIN32
constexpr const char* kCrashWord = "access violation";
#else
// The signal, a sanitizer's report of it, or the undefined-behaviour check
// that stops the store first.
constexpr const char* kCrashWord = "SEGV|null pointer";
#endif

// Whether `reason` holds one of the '|'-separated words.
bool mentions(const std::string& reason, const std::string& words) {
  std::size_t at = 0;
  for (;;) {
    const std::size_t bar = words.find('|', at);
    if (reason.find(words.substr(at, bar == std::string::npos ? std::string::npos : bar - at)) != std::string::npos)
      return true;
    if (bar == std::string::npos) return false;
    at = bar + 1;
  }
}

TEST(ValidatorCatches, EachFaultFailsTheTestsThatLookForIt) {
  const struct {
    const char* library;
    std::vector<std::string> options;
    std::map<std::string, std::string> failing;  // test -> words its reason holds (one of "a|b")
    std::vector<std::string> passing;
  } rows[] = {
      {QOR_BROKEN_CRASH_PATH, {"--only", "load.handshake,calls.valid,calls.wrong-kinds"},
       {{"calls.valid", kCrashWord}, {"calls.wrong-kinds", kCrashWord}}, {"load.handshake"}},
      {QOR_BROKEN_LEAK_PATH, {"--only", "memory.calls,api.table"},
       {{"memory.calls", "memory in use grew"}}, {"api.table"}},
      {QOR_BROKEN_LATE_PATH, {"--only", "lifecycle.start-stop,api.table"},
       {{"lifecycle.start-stop", "Log was called after Stop returned"}}, {}},
      {QOR_BROKEN_RECORD_PATH, {"--only", "api.table,calls.valid,load.handshake"},
       {{"api.table", "is never closed"}, {"calls.valid", "the error flag is set without an error text"}},
       {"load.handshake"}},
      {QOR_BROKEN_HANG_PATH, {"--only", "calls.valid", "--time-scale", "0.03"}, {{"calls.valid", "timed out"}}, {}},
      {QOR_BROKEN_ORPHAN_PATH, {"--only", "lifecycle.start-stop"},
       {{"lifecycle.start-stop", "was called after Stop returned"}}, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.library);
    const Outcome outcome = validate(row.library, row.options);
    EXPECT_EQ(outcome.exitCode, 1) << outcome.output;
    for (const auto& [test, words] : row.failing) {
      ASSERT_EQ(outcome.tests.count(test), 1u) << test << "\n" << outcome.output;
      EXPECT_EQ(outcome.tests.at(test).first, "failed") << test;
      EXPECT_TRUE(mentions(outcome.tests.at(test).second, words)) << test << ": " << outcome.tests.at(test).second;
    }
    for (const std::string& test : row.passing) {
      ASSERT_EQ(outcome.tests.count(test), 1u) << test;
      EXPECT_EQ(outcome.tests.at(test).first, "passed") << test << ": " << outcome.tests.at(test).second;
    }
  }
}

TEST(ValidatorCatches, ASoundPluginPassesAndALibraryWithoutTheExportDoesNot) {
  const Outcome greeter = validate(QOR_GREETER_PATH, {"--strictness", "2"});
  EXPECT_EQ(greeter.exitCode, 0) << greeter.output;
  EXPECT_GE(greeter.tests.size(), 20u);
  for (const auto& [test, result] : greeter.tests) EXPECT_NE(result.first, "failed") << test << ": " << result.second;

  const Outcome wrongName = validate(QOR_GREETER_PATH, {"--strictness", "1", "--export", "load_nothing"});
  EXPECT_EQ(wrongName.exitCode, 1);
  ASSERT_EQ(wrongName.tests.count("load.export"), 1u);
  EXPECT_NE(wrongName.tests.at("load.export").second.find("does not export load_nothing"), std::string::npos);
  // Nothing else can run without the entry point.
  EXPECT_EQ(wrongName.tests.at("api.table").first, "skipped");
}

}  // namespace
}  // namespace qor::validator
