// Tests of the assertion report text and of its logging.
#include "logging/AssertionReport.h"

#include "logging/LogManager.h"
#include "logging/DebuggerConsoleLogTarget.h"
#include "logging/StdErrLogTarget.h"
#include "support/CapturingLogTarget.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

struct ReportRow {
  const char* name;
  const char* expression;
  const char* description;
  const char* file;
  std::int32_t line;
  const char* function;
  const char* expected;
};

class AssertionReportText : public ::testing::TestWithParam<ReportRow> {};

TEST_P(AssertionReportText, Builds) {
  const ReportRow& r = GetParam();
  EXPECT_EQ(assertionReportText(r.expression, r.description, r.file, r.line, r.function),
            r.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AssertionReportText,
    ::testing::Values(
        ReportRow{"ExpressionAndDescription", "E", "D", nullptr, 0, nullptr,
                  "Assertion failed!\n\nExpression: E\n\nDescription: D"},
        ReportRow{"FileAndLine", nullptr, nullptr, "f", 12, nullptr,
                  "Assertion failed!\n\nFile: f\nLine: 12\n\n"},
        ReportRow{"Nothing", nullptr, "", "", 0, "", "Assertion failed!\n\n"},
        ReportRow{"NegativeLine", nullptr, nullptr, nullptr, -3, nullptr,
                  "Assertion failed!\n\nLine: -3\n\n"},
        ReportRow{"DescriptionOnly", nullptr, "ALE-6238ECBF", nullptr, 0, nullptr,
                  "Assertion failed!\n\n\n\nDescription: ALE-6238ECBF"},
        ReportRow{"Everything", "x > 0", "Failed to get regionSettings", "a.cpp", 7, "run",
                  "Assertion failed!\n\nFile: a.cpp\nLine: 7\n\nFunction: run\n\n"
                  "Expression: x > 0\n\nDescription: Failed to get regionSettings"}),
    [](const ::testing::TestParamInfo<ReportRow>& info) { return std::string(info.param.name); });

TEST(ReportAssertion, LogsTheReportAtErrorWithGroupDbg) {
  LogManager& m = LogManager::acquire();
  m.stdErrTarget().detach();
  m.debuggerConsoleTarget().detach();
  testing::CapturingLogTarget capture;
  capture.attach();
  // A "%" in the texts must reach the log as it is, not as a format.
  reportAssertion("p != 100%s", "ALE-1", "f.cpp", 3, "fn");
  auto entries = capture.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].level, LogLevel::Error);
  EXPECT_EQ(entries[0].groups, kLogGroupDbg);
  EXPECT_EQ(entries[0].message,
            assertionReportText("p != 100%s", "ALE-1", "f.cpp", 3, "fn"));
  capture.detach();
  LogManager::release();
}

}  // namespace
}  // namespace qor
