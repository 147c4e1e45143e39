// Tests of the LogApi and LogSink tables: their shape, and each entry
// reaching the manager, the targets and the formatters.
#include "logging/LogApi.h"

#include "logging/DebuggerConsoleLogTarget.h"
#include "logging/LogManager.h"
#include "logging/StdErrLogTarget.h"
#include "logging/StdOutLogTarget.h"
#include "support/CapturingLogTarget.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

namespace qor {
namespace {

static_assert(sizeof(LogApi) == 26 * sizeof(void (*)()), "LogApi has 26 entries");
static_assert(sizeof(LogSink) == 12 * sizeof(void (*)()), "LogSink has 12 entries");

void logThroughApi(LogLevel level, LogGroupMask groups, const char* format, ...) {
  va_list args;
  va_start(args, format);
  logApi().logMessage(level, groups, format, args);
  va_end(args);
}

class LogApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LogManager::instance(), nullptr);
    api_.acquire();
    ASSERT_EQ(LogManager::referenceCount(), 1);
    api_.stdErrTarget()->detach(api_.stdErrTarget());
    api_.debuggerConsoleTarget()->detach(api_.debuggerConsoleTarget());
    capture_.attach();
  }
  void TearDown() override {
    capture_.detach();
    api_.release();
    EXPECT_EQ(LogManager::instance(), nullptr);
  }

  const LogApi& api_ = logApi();
  testing::CapturingLogTarget capture_;
};

TEST_F(LogApiTest, ManagerSettings) {
  EXPECT_EQ(api_.version(), 1);
  EXPECT_EQ(api_.threshold(), LogLevel::Warn);
  api_.setThreshold(LogLevel::Always);
  EXPECT_EQ(LogManager::get().threshold(), LogLevel::Always);
  EXPECT_EQ(api_.suppressedGroups(), kLogGroupXtr);
  api_.setSuppressedGroups(kLogGroupNet);
  EXPECT_EQ(api_.suppressedGroups(), kLogGroupNet);

  logThroughApi(LogLevel::Error, 0, "below the threshold");
  logThroughApi(LogLevel::Always, kLogGroupNet, "suppressed");
  api_.mute();
  logThroughApi(LogLevel::Always, 0, "muted");
  api_.unmute();
  api_.setReservedFlag();
  logThroughApi(LogLevel::Always, kLogGroupDbg, "%s %d", "kept", 1);
  api_.clearReservedFlag();
  EXPECT_EQ(capture_.messages(), (std::vector<std::string>{"kept 1"}));
}

TEST_F(LogApiTest, SinksAndTargets) {
  LogSink* s = capture_.sink();
  EXPECT_EQ(api_.findTarget("CapturingLogTarget"), s);
  EXPECT_EQ(api_.findTarget("LogTarget"), nullptr);
  EXPECT_EQ(api_.findTarget(nullptr), nullptr);
  api_.attachSink(s);  // a duplicate entry
  logThroughApi(LogLevel::Error, 0, "x");
  EXPECT_EQ(capture_.size(), 2u);
  api_.removeSink(s);  // every occurrence
  logThroughApi(LogLevel::Error, 0, "y");
  EXPECT_EQ(capture_.size(), 2u);

  LogManager& m = LogManager::get();
  EXPECT_EQ(api_.stdOutTarget(), m.stdOutTarget().sink());
  EXPECT_EQ(api_.stdErrTarget(), m.stdErrTarget().sink());
  EXPECT_EQ(api_.debuggerConsoleTarget(), m.debuggerConsoleTarget().sink());
  EXPECT_STREQ(api_.stdOutTarget()->className(api_.stdOutTarget()), "StdOutLogTarget");
}

TEST_F(LogApiTest, SinkTableDrivesTheTarget) {
  LogSink* s = capture_.sink();
  EXPECT_EQ(LogTarget::fromSink(s), &capture_);
  EXPECT_EQ(s->version(s), 1);
  s->setLevel(s, LogLevel::Error);
  EXPECT_EQ(s->level(s), LogLevel::Error);
  s->setGroups(s, kLogGroupDbg | kLogGroupGen, kLogGroupGen);
  EXPECT_EQ(s->includedGroups(s), kLogGroupDbg);
  EXPECT_EQ(s->excludedGroups(s), kLogGroupGen);
  EXPECT_STREQ(s->className(s), "CapturingLogTarget");
  EXPECT_STREQ(s->lineFormat(s), "#D| #L| #G| #M");
  EXPECT_TRUE(s->isAttached(s));
  s->detach(s);
  EXPECT_FALSE(capture_.isAttached());
  s->attach(s);
  EXPECT_TRUE(capture_.isAttached());
  LogRecord r;
  r.message = "direct";
  EXPECT_TRUE(s->writeRecord(s, &r));
  EXPECT_FALSE(s->writeRecord(s, nullptr));
  EXPECT_EQ(capture_.messages(), (std::vector<std::string>{"direct"}));

  // The base target writes nothing.
  LogTarget plain;
  EXPECT_STREQ(plain.className(), "LogTarget");
  EXPECT_FALSE(plain.sink()->writeRecord(plain.sink(), &r));
}

TEST(LogApiFormatting, GroupsRecordsLevelsAndTimes) {
  const LogApi& api = logApi();
  EXPECT_EQ(api.groupMask("NET"), kLogGroupNet);
  EXPECT_EQ(api.groupMask(nullptr), 0u);

  char buf[64];
  EXPECT_EQ(api.formatGroups(kLogGroupDbg | kLogGroupNet, buf, sizeof buf), 7u);
  EXPECT_STREQ(buf, "DBG;NET");
  EXPECT_EQ(api.formatGroups(kLogGroupDbg | kLogGroupNet, buf, 5), 4u);
  EXPECT_STREQ(buf, "DBG;");

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
  r.message = "text";
  EXPECT_EQ(api.formatRecord("#D| #L| #G| #M", &r, buf, sizeof buf), 47u);
  EXPECT_STREQ(buf, "2024-01-02T03:04:05.006|   WARN| DBG;NET| text\n");
  EXPECT_EQ(api.formatRecord(nullptr, &r, buf, sizeof buf), 1u);
  EXPECT_STREQ(buf, "\n");
  EXPECT_EQ(api.formatTime(&r, buf, sizeof buf), 23u);
  EXPECT_STREQ(buf, "2024-01-02T03:04:05.006");
  EXPECT_EQ(api.formatFileTime(&r, buf, sizeof buf), 19u);
  EXPECT_STREQ(buf, "2024-01-02T03-04-05");
  EXPECT_STREQ(api.levelText(LogLevel::Always), "ALWAYS");
  EXPECT_STREQ(api.executableFileName(), QOR_TEST_PROGRAM_NAME);

  LogRecord now;
  api.currentTime(&now);
  EXPECT_GE(now.year, 2024);
  EXPECT_GE(now.month, 1);
}

}  // namespace
}  // namespace qor
