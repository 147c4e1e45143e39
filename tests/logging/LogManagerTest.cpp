// Tests of the log manager: reference counting, filtering by threshold,
// suppressed groups and target filters, built-in targets, lock order.
#include "logging/LogManager.h"

#include "logging/DebuggerConsoleLogTarget.h"
#include "logging/FormatLogLine.h"
#include "logging/StdErrLogTarget.h"
#include "logging/StdOutLogTarget.h"
#include "platform/ProcessInfo.h"
#include "support/CapturingLogTarget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
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


struct FilterRow {
  const char* name;
  LogLevel level;
  LogGroupMask groups;
  bool muted;
  bool kept;
};

class ManagerFilter : public LogManagerTest, public ::testing::WithParamInterface<FilterRow> {};

TEST_P(ManagerFilter, DropsOrPasses) {
  const FilterRow& row = GetParam();
  if (row.muted) manager_->mute();
  logMessage(row.level, row.groups, "m%d", 1);
  EXPECT_EQ(capture_.size(), row.kept ? 1u : 0u);
  if (row.kept) {
    auto e = capture_.entries()[0];
    EXPECT_EQ(e.level, row.level);
    EXPECT_EQ(e.groups, row.groups);
    EXPECT_EQ(e.message, "m1");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ManagerFilter,
    ::testing::Values(FilterRow{"BelowThreshold", LogLevel::Okay, kLogGroupDbg, false, false},
                      FilterRow{"AtThreshold", LogLevel::Warn, kLogGroupDbg, false, true},
                      FilterRow{"ErrorDbg", LogLevel::Error, kLogGroupDbg, false, true},
                      FilterRow{"SuppressedXtr", LogLevel::Always, kLogGroupXtr, false, false},
                      FilterRow{"XtrAmongOthers", LogLevel::Always, kLogGroupXtr | kLogGroupDbg,
                                false, false},
                      FilterRow{"NoGroups", LogLevel::Error, 0, false, true},
                      FilterRow{"OutOfRangeLevel", static_cast<LogLevel>(9), 0, false, true},
                      FilterRow{"Muted", LogLevel::Always, 0, true, false}),
    [](const ::testing::TestParamInfo<FilterRow>& info) { return std::string(info.param.name); });

TEST_F(LogManagerTest, ThresholdSuppressedAndMuteAreSettings) {
  manager_->setThreshold(LogLevel::Okay);
  manager_->setSuppressedGroups(0);
  logMessage(LogLevel::Okay, kLogGroupXtr, "a");
  manager_->mute();
  EXPECT_TRUE(manager_->muted());
  logMessage(LogLevel::Always, 0, "b");
  manager_->unmute();
  logMessage(LogLevel::Always, 0, "c");
  manager_->setReservedFlag();
  EXPECT_TRUE(manager_->reservedFlag());
  logMessage(LogLevel::Always, 0, "d");
  manager_->clearReservedFlag();
  EXPECT_FALSE(manager_->reservedFlag());
  EXPECT_EQ(capture_.messages(), (std::vector<std::string>{"a", "c", "d"}));
}

struct TargetFilterRow {
  const char* name;
  LogLevel targetLevel;
  LogGroupMask included, excluded;
  LogLevel level;
  LogGroupMask groups;
  bool written;
};

class TargetFilter : public LogManagerTest,
                     public ::testing::WithParamInterface<TargetFilterRow> {};

TEST_P(TargetFilter, DecidesPerTarget) {
  const TargetFilterRow& row = GetParam();
  capture_.setLevel(row.targetLevel);
  capture_.setGroups(row.included, row.excluded);
  logMessage(row.level, row.groups, "x");
  EXPECT_EQ(capture_.size(), row.written ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TargetFilter,
    ::testing::Values(
        TargetFilterRow{"BelowTargetLevel", LogLevel::Error, 0, 0, LogLevel::Warn, 0, false},
        TargetFilterRow{"AtTargetLevel", LogLevel::Error, 0, 0, LogLevel::Error, 0, true},
        TargetFilterRow{"NoGroupsPassIncluded", LogLevel::Warn, kLogGroupDbg, kLogGroupGen,
                        LogLevel::Warn, 0, true},
        TargetFilterRow{"Excluded", LogLevel::Warn, kLogGroupDbg, kLogGroupGen, LogLevel::Warn,
                        kLogGroupGen, false},
        TargetFilterRow{"ExcludedWinsOverIncluded", LogLevel::Warn, kLogGroupDbg, kLogGroupGen,
                        LogLevel::Warn, kLogGroupGen | kLogGroupDbg, false},
        TargetFilterRow{"NotIncluded", LogLevel::Warn, kLogGroupDbg, 0, LogLevel::Warn,
                        kLogGroupNet, false},
        TargetFilterRow{"Included", LogLevel::Warn, kLogGroupDbg, 0, LogLevel::Warn,
                        kLogGroupNet | kLogGroupDbg, true},
        TargetFilterRow{"EmptyIncludedTakesAll", LogLevel::Warn, 0, 0, LogLevel::Warn,
                        kLogGroupNet, true}),
    [](const ::testing::TestParamInfo<TargetFilterRow>& info) {
      return std::string(info.param.name);
    });

TEST_F(LogManagerTest, SetGroupsDropsExcludedBitsFromIncluded) {
  capture_.setGroups(kLogGroupDbg | kLogGroupGen, kLogGroupGen);
  EXPECT_EQ(capture_.includedGroups(), kLogGroupDbg);
  EXPECT_EQ(capture_.excludedGroups(), kLogGroupGen);
}

TEST_F(LogManagerTest, ConsoleTargetsWriteFormattedLines) {
  // Standard error: DBG at level Error, in the default format.
  manager_->stdErrTarget().attach();
  ::testing::internal::CaptureStderr();
  logMessage(LogLevel::Error, kLogGroupDbg, "to %s", "stderr");
  logMessage(LogLevel::Error, kLogGroupGen, "GEN is excluded");
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, std::string(executableFileName()) + "(" + [] {
                   char t[16];
                   std::snprintf(t, sizeof t, "%08X",
                                 static_cast<unsigned>(platform::currentThreadId()));
                   return std::string(t);
                 }() + "):  ERROR| to stderr\n");
  manager_->stdErrTarget().detach();

  // Standard output: GEN only, "#M", one line feed even when the message
  // already ends in one.
  StdOutLogTarget& out = manager_->stdOutTarget();
  out.attach();
  out.setAutoFlush(true);
  ::testing::internal::CaptureStdout();
  logMessage(LogLevel::Warn, kLogGroupGen, "general\n");
  logMessage(LogLevel::Warn, kLogGroupDbg, "debug is excluded");
  logMessage(LogLevel::Warn, 0, "no groups");
  std::string stdOut = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(stdOut, "general\nno groups\n");
  out.detach();
}

TEST_F(LogManagerTest, LongMessagesAreCut) {
  std::string longText(6000, 'q');
  logMessage(LogLevel::Error, 0, "%s", longText.c_str());
  ASSERT_EQ(capture_.size(), 1u);
  EXPECT_EQ(capture_.entries()[0].message, std::string(4095, 'q'));
  logMessage(LogLevel::Error, 0, nullptr);  // no format: nothing to log
  EXPECT_EQ(capture_.size(), 1u);
}

TEST_F(LogManagerTest, FindTargetByClassName) {
  EXPECT_EQ(manager_->findTarget("CapturingLogTarget"), capture_.sink());
  EXPECT_EQ(manager_->findTarget("capturingLogTarget"), nullptr);
  EXPECT_EQ(manager_->findTarget("StdErrLogTarget"), nullptr);  // detached
  manager_->stdOutTarget().attach();
  EXPECT_EQ(manager_->findTarget("StdOutLogTarget"), manager_->stdOutTarget().sink());
  manager_->stdOutTarget().detach();
  EXPECT_EQ(manager_->findTarget("StdOutLogTarget"), nullptr);
}

TEST_F(LogManagerTest, AttachIsOnceDetachRemovesEveryOccurrence) {
  capture_.attach();  // already attached: no second entry
  EXPECT_EQ(manager_->attachedSinks().size(), 1u);
  manager_->attachSink(capture_.sink());  // raw attach keeps duplicates
  logMessage(LogLevel::Error, 0, "twice");
  EXPECT_EQ(capture_.size(), 2u);
  capture_.detach();
  EXPECT_TRUE(manager_->attachedSinks().empty());
  EXPECT_FALSE(capture_.isAttached());
  capture_.attach();
  manager_->removeSink(capture_.sink());
  EXPECT_TRUE(manager_->attachedSinks().empty());
}

TEST_F(LogManagerTest, DestroyingAnAttachedTargetDetachesIt) {
  {
    CapturingLogTarget shortLived;
    shortLived.attach();
    manager_->attachSink(shortLived.sink());  // also a raw second entry
    EXPECT_EQ(manager_->attachedSinks().size(), 3u);
  }
  EXPECT_EQ(manager_->attachedSinks(), (std::vector<LogSink*>{capture_.sink()}));
  logMessage(LogLevel::Error, 0, "after");
  EXPECT_EQ(capture_.messages(), (std::vector<std::string>{"after"}));
}

TEST_F(LogManagerTest, ConfigureAppliesSettingsAndReattachesAtTheEnd) {
  CapturingLogTarget other;
  other.attach();
  capture_.configure(LogTargetSettings{LogLevel::Error, kLogGroupDbg | kLogGroupNet,
                                       kLogGroupNet, "#L #M"});
  EXPECT_TRUE(capture_.isAttached());
  EXPECT_EQ(capture_.level(), LogLevel::Error);
  EXPECT_EQ(capture_.includedGroups(), kLogGroupDbg);
  EXPECT_EQ(capture_.excludedGroups(), kLogGroupNet);
  EXPECT_EQ(capture_.lineFormat(), "#L #M");
  EXPECT_EQ(manager_->attachedSinks(), (std::vector<LogSink*>{other.sink(), capture_.sink()}));
  // A detached target ends attached too.
  other.detach();
  other.configure(LogTargetSettings{});
  EXPECT_TRUE(other.isAttached());
  EXPECT_EQ(other.lineFormat(), "#D| #L| #G| #M");
}

// A target that is not a LogTarget: the manager drives it only through its
// table.
struct ForeignSink {
  LogSink table;
  int writes = 0;
  bool attached = false;
};

ForeignSink& foreign(LogSink* s) { return *reinterpret_cast<ForeignSink*>(s); }

LogSink foreignTable() {
  return LogSink{
      [](LogSink*) { return kLogSinkVersion; },
      [](LogSink*, LogLevel) {},
      [](LogSink*) { return LogLevel::Okay; },
      [](LogSink*, LogGroupMask, LogGroupMask) {},
      [](LogSink*) { return LogGroupMask{0}; },
      [](LogSink*) { return LogGroupMask{0}; },
      [](LogSink*) { return "ForeignSink"; },
      [](LogSink*) { return "#M"; },
      [](LogSink* s) { foreign(s).attached = true; },
      [](LogSink* s) { foreign(s).attached = false; },
      [](LogSink* s) { return foreign(s).attached; },
      [](LogSink* s, const LogRecord*) {
        ++foreign(s).writes;
        return true;
      },
  };
}

TEST(LogManagerLifecycle, ForeignSinksAreDrivenThroughTheirTable) {
  ForeignSink f{foreignTable()};
  EXPECT_EQ(LogTarget::fromSink(&f.table), nullptr);
  LogManager& m = LogManager::acquire();
  m.stdErrTarget().detach();
  m.debuggerConsoleTarget().detach();
  m.attachSink(&f.table);
  f.attached = true;
  logMessage(LogLevel::Warn, kLogGroupNet, "to a foreign sink");
  EXPECT_EQ(f.writes, 1);
  EXPECT_EQ(m.findTarget("ForeignSink"), &f.table);
  LogManager::release();  // destruction detaches it through its table
  EXPECT_FALSE(f.attached);
}

TEST(LogManagerLifecycle, ReferenceCounting) {
  ASSERT_EQ(LogManager::instance(), nullptr);
  LogManager::release();  // unbalanced: ignored
  EXPECT_EQ(LogManager::referenceCount(), 0);
  LogManager& a = LogManager::acquire();
  LogManager& b = LogManager::acquire();
  EXPECT_EQ(&a, &b);
  EXPECT_EQ(LogManager::referenceCount(), 2);
  LogManager::release();
  EXPECT_EQ(LogManager::instance(), &a);
  LogManager::release();
  EXPECT_EQ(LogManager::instance(), nullptr);
  EXPECT_EQ(LogManager::referenceCount(), 0);

  // Logging without a manager creates one without taking a reference; the
  // message is below the threshold, so nothing is printed.
  logMessage(LogLevel::Okay, 0, "creates the manager");
  ASSERT_NE(LogManager::instance(), nullptr);
  EXPECT_EQ(LogManager::referenceCount(), 0);
  // The next acquire takes it over; its release destroys it.
  LogManager& c = LogManager::acquire();
  EXPECT_EQ(&c, LogManager::instance());
  LogManager::release();
  EXPECT_EQ(LogManager::instance(), nullptr);
}

// Records the order in which the manager detaches targets.
class OrderTarget : public LogTarget {
 public:
  OrderTarget(std::vector<std::string>* order, std::string name)
      : order_(order), name_(std::move(name)) {}
  ~OrderTarget() override { detach(); }
  void detach() override {
    if (isAttached()) order_->push_back(name_);
    LogTarget::detach();
  }

 private:
  std::vector<std::string>* order_;
  std::string name_;
};

TEST(LogManagerLifecycle, DestructionDetachesInReverseOrder) {
  std::vector<std::string> order;
  OrderTarget first(&order, "first"), second(&order, "second"), third(&order, "third");
  LogManager& m = LogManager::acquire();
  m.stdErrTarget().detach();
  m.debuggerConsoleTarget().detach();
  first.attach();
  second.attach();
  third.attach();
  LogManager::release();
  EXPECT_EQ(order, (std::vector<std::string>{"third", "second", "first"}));
  EXPECT_FALSE(first.isAttached());
  // A target outlives the manager and can join the next one.
  LogManager& next = LogManager::acquire();
  next.stdErrTarget().detach();
  next.debuggerConsoleTarget().detach();
  first.attach();
  EXPECT_EQ(next.attachedSinks(), (std::vector<LogSink*>{first.sink()}));
  LogManager::release();
}

// A target whose write logs again and detaches itself: the nested messages
// stop at a bounded depth and the dispatch loop survives the detach.
class ReentrantTarget : public CapturingLogTarget {
 public:
  bool write(const LogRecord& record) override {
    CapturingLogTarget::write(record);
    logMessage(LogLevel::Error, 0, "nested");
    if (detachOnWrite) detach();
    return true;
  }
  bool detachOnWrite = false;
};

TEST_F(LogManagerTest, ReentrantWritesAreBounded) {
  ReentrantTarget r;
  r.attach();
  logMessage(LogLevel::Error, 0, "outer");
  std::size_t seen = r.size();
  EXPECT_GE(seen, 2u);
  EXPECT_LE(seen, 8u);
  r.clear();
  r.detachOnWrite = true;
  capture_.clear();
  logMessage(LogLevel::Error, 0, "outer");
  EXPECT_FALSE(r.isAttached());
  ASSERT_GE(r.size(), 2u);
  EXPECT_EQ(r.messages().front(), "outer");
  // The capturing target still saw the outer message.
  std::vector<std::string> got = capture_.messages();
  EXPECT_NE(std::find(got.begin(), got.end(), "outer"), got.end());
}

// Detach and configure take the manager's lock before the target's, the same
// order as a write; this must finish while other threads log through the
// very target being detached and reconfigured.
TEST_F(LogManagerTest, DetachAndConfigureDoNotDeadlockAgainstWrites) {
  constexpr int kLoggers = 3;
  constexpr int kMessages = 2000;
  constexpr int kReconfigurations = 2000;
  std::vector<std::thread> loggers;
  for (int t = 0; t < kLoggers; ++t)
    loggers.emplace_back([t] {
      for (int i = 0; i < kMessages; ++i) logMessage(LogLevel::Error, kLogGroupDbg, "%d:%d", t, i);
    });
  std::thread reconfigurer([&] {
    for (int i = 0; i < kReconfigurations; ++i) {
      if (i % 3 == 0) capture_.detach();
      if (i % 3 == 1) capture_.attach();
      if (i % 3 == 2)
        capture_.configure(LogTargetSettings{LogLevel::Okay, 0, kLogGroupXtr, "#M"});
      capture_.setLevel(LogLevel::Okay);
      (void)manager_->findTarget("CapturingLogTarget");
    }
  });
  for (auto& th : loggers) th.join();
  reconfigurer.join();
  capture_.attach();
  capture_.clear();
  logMessage(LogLevel::Error, kLogGroupDbg, "still working");
  EXPECT_EQ(capture_.messages(), (std::vector<std::string>{"still working"}));
  EXPECT_EQ(manager_->attachedSinks(), (std::vector<LogSink*>{capture_.sink()}));
}

}  // namespace
}  // namespace qor
