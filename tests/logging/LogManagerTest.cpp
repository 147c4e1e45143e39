// Tests of the log manager: reference counting, filtering by threshold,
// suppressed groups and target filters, built-in targets, lock order.
#include "logging/LogManager.h"

#include "logging/DebuggerConsoleLogTarget.h"
#include "logging/FormatLogLine.h"
#include "logging/StdErrLogTarget.h"
#include "logging/StdOutLogTarget.h"
#include "support/CapturingLogTarget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace qor {
namespace {

using testing::CapturingLogTarget;

// Holds a manager reference with the console targets detached and a
// capturing target attached in their place.
class LogManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LogManager::instance(), nullptr) << "a previous test leaked a manager";
    manager_ = &LogManager::acquire();
    manager_->stdErrTarget().detach();
    manager_->debuggerConsoleTarget().detach();
    capture_.attach();
  }
  void TearDown() override {
    capture_.detach();
    LogManager::release();
  }

  LogManager* manager_ = nullptr;
  CapturingLogTarget capture_;
};

TEST_F(LogManagerTest, DefaultsOfManagerAndBuiltInTargets) {
  EXPECT_EQ(manager_->threshold(), LogLevel::Warn);
  EXPECT_EQ(manager_->suppressedGroups(), kLogGroupXtr);
  EXPECT_FALSE(manager_->muted());

  struct Row {
    LogTarget* target;
    const char* className;
    const char* format;
    LogGroupMask included, excluded;
  };
  const Row rows[] = {
      {&manager_->stdErrTarget(), "StdErrLogTarget", "#E(#T): #L| #M", kLogGroupDbg, kLogGroupGen},
      {&manager_->stdOutTarget(), "StdOutLogTarget", "#M", kLogGroupGen, kLogGroupDbg},
      {&manager_->debuggerConsoleTarget(), "DebuggerConsoleLogTarget", "#E(#T): #L| #M",
       kLogGroupDbg, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.className);
    EXPECT_STREQ(r.target->className(), r.className);
    EXPECT_EQ(r.target->lineFormat(), r.format);
    EXPECT_EQ(r.target->level(), LogLevel::Warn);
    EXPECT_EQ(r.target->includedGroups(), r.included);
    EXPECT_EQ(r.target->excludedGroups(), r.excluded);
  }
  EXPECT_FALSE(manager_->stdOutTarget().autoFlush());
}

TEST(LogManagerLifecycle, FreshManagerAttachesStdErrAndDebuggerOnly) {
  ASSERT_EQ(LogManager::instance(), nullptr);
  LogManager& m = LogManager::acquire();
  EXPECT_EQ(LogManager::referenceCount(), 1);
  std::vector<LogSink*> sinks = m.attachedSinks();
  ASSERT_EQ(sinks.size(), 2u);
  EXPECT_EQ(sinks[0], m.stdErrTarget().sink());
  EXPECT_EQ(sinks[1], m.debuggerConsoleTarget().sink());
  EXPECT_TRUE(m.stdErrTarget().isAttached());
  EXPECT_FALSE(m.stdOutTarget().isAttached());
  // Detach the console targets so nothing is printed.
  m.stdErrTarget().detach();
  m.debuggerConsoleTarget().detach();
  LogManager::release();
  EXPECT_EQ(LogManager::instance(), nullptr);
}

}  // namespace
}  // namespace qor
