// Tests of line formats, level texts and time texts.
#include "logging/FormatLogLine.h"

#include "platform/ProcessInfo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace qor {
namespace {

LogRecord sampleRecord(const char* message = "text") {
  LogRecord r;
  r.year = 2024;
  r.month = 1;
  r.day = 2;
  r.hour = 3;
  r.minute = 4;
  r.second = 5;
  r.millisecond = 6;
  r.level = LogLevel::Warn;
  r.groups = kLogGroupDbg | kLogGroupNet;
  r.message = message;
  return r;
}

std::string line(std::string_view format, const LogRecord& r, std::size_t size = 4096) {
  std::string buf(size, '\x7f');
  std::size_t n = formatLogLine(format, r, buf.data(), size);
  EXPECT_LE(n + 1, size == 0 ? 1 : size);
  if (size > 0) {
    EXPECT_EQ(buf[n], '\0') << "line not terminated";
  }
  return buf.substr(0, n);
}

std::string threadHex() {
  char t[16];
  std::snprintf(t, sizeof t, "%08X", static_cast<unsigned>(platform::currentThreadId()));
  return t;
}

struct FormatRow {
  const char* format;
  const char* message;
  const char* expected;
};

class FormatLogLineCodes : public ::testing::TestWithParam<FormatRow> {};

TEST_P(FormatLogLineCodes, Replaces) {
  const FormatRow& row = GetParam();
  EXPECT_EQ(line(row.format, sampleRecord(row.message)), row.expected) << row.format;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FormatLogLineCodes,
    ::testing::Values(
        FormatRow{"#D| #L| #G| #M", "text", "2024-01-02T03:04:05.006|   WARN| DBG;NET| text\n"},
        FormatRow{"", "text", "\n"}, FormatRow{"#M", "ends\n", "ends\n"},
        FormatRow{"#M", "", "\n"}, FormatRow{"#M\n", "x", "x\n"},
        FormatRow{"#M", "two\n\n", "two\n\n"}, FormatRow{"##", "", "#\n"},
        FormatRow{"#x#", "", "x\n"}, FormatRow{"a#", "", "a\n"},
        FormatRow{"[#L]", "", "[  WARN]\n"}, FormatRow{"#M%s%d", "%n", "%n%s%d\n"}));

TEST(FormatLogLine, GroupsAndLevels) {
  LogRecord r = sampleRecord();
  r.groups = 0;
  EXPECT_EQ(line("<#G>", r), "<>\n");
  r.groups = kLogGroupTst | kLogGroupDbg | kLogGroupGen;
  EXPECT_EQ(line("#G", r), "DBG;GEN;TST\n");
  const struct {
    LogLevel level;
    const char* text;
  } levels[] = {{LogLevel::Okay, "  OKAY"},
                {LogLevel::Warn, "  WARN"},
                {LogLevel::Error, " ERROR"},
                {LogLevel::Always, "ALWAYS"},
                {static_cast<LogLevel>(7), "   ???"},
                {static_cast<LogLevel>(-1), "   ???"}};
  for (const auto& l : levels) {
    EXPECT_STREQ(logLevelText(l.level), l.text);
    r.level = l.level;
    EXPECT_EQ(line("#L", r), std::string(l.text) + "\n");
  }
}

TEST(FormatLogLine, ProcessCodes) {
  LogRecord r = sampleRecord();
  r.level = LogLevel::Error;
  // The default console format: "<exe>(<thread>):  ERROR| text".
  EXPECT_EQ(line("#E(#T): #L| #M", r),
            std::string(executableFileName()) + "(" + threadHex() + "):  ERROR| text\n");
  EXPECT_EQ(std::string(executableFileName()), QOR_TEST_PROGRAM_NAME);
  // "%06d.%03d" seconds since the log's clock started, then the line feed.
  const std::string h = line("#H", r);
  ASSERT_EQ(h.size(), 11u) << h;
  for (std::size_t i = 0; i < 10; ++i)
    EXPECT_TRUE(i == 6 ? h[i] == '.' : (h[i] >= '0' && h[i] <= '9')) << h;
}

TEST(FormatLogLine, CutsToTheBufferKeepingTwoBytes) {
  const std::string longMessage(5000, 'm');
  LogRecord r = sampleRecord(longMessage.c_str());
  std::string full = line("#M", r);
  ASSERT_EQ(full.size(), 4095u);  // 4094 characters and the line feed
  EXPECT_EQ(full.substr(0, 4094), std::string(4094, 'm'));
  EXPECT_EQ(full.back(), '\n');

  const struct {
    std::size_t size;
    const char* expected;
  } rows[] = {{1, ""}, {2, "\n"}, {3, "a\n"}, {5, "abc\n"}, {6, "abcd\n"}, {9, "abcdef\n"}};
  LogRecord s = sampleRecord("abcdef");
  for (const auto& row : rows) EXPECT_EQ(line("#M", s, row.size), row.expected) << row.size;

  // A message ending in a line feed that is cut gets the line feed back.
  LogRecord nl = sampleRecord("abcdef\n");
  EXPECT_EQ(line("#M", nl, 5), "abc\n");
  char untouched = 'z';
  EXPECT_EQ(formatLogLine("#M", s, &untouched, 0), 0u);
  EXPECT_EQ(untouched, 'z');
}

TEST(FormatLogTime, LongAndFileForms) {
  LogRecord r = sampleRecord();
  char buf[64];
  EXPECT_EQ(formatLogTime(r, buf, sizeof buf), 23u);
  EXPECT_STREQ(buf, "2024-01-02T03:04:05.006");
  EXPECT_EQ(formatLogFileTime(r, buf, sizeof buf), 19u);
  EXPECT_STREQ(buf, "2024-01-02T03-04-05");
  EXPECT_EQ(formatLogTime(r, buf, 5), 4u);
  EXPECT_STREQ(buf, "2024");
}

TEST(CurrentLogTime, FillsPlausibleFields) {
  LogRecord r;
  currentLogTime(r);
  EXPECT_GE(r.year, 2024);
  EXPECT_GE(r.month, 1);
  EXPECT_LE(r.month, 12);
  EXPECT_GE(r.day, 1);
  EXPECT_LE(r.day, 31);
  EXPECT_LE(r.hour, 23);
  EXPECT_LE(r.minute, 59);
  EXPECT_LE(r.second, 60);
  EXPECT_LE(r.millisecond, 999);
}

}  // namespace
}  // namespace qor
