// A plug-in thread that outlives Stop, and then the core: calls after Stop
// are violations of the running test; calls after the core is gone are
// recorded in the session and answered with nothing, and the validator goes
// on (before, such a call dereferenced a null core).
#include "validator/CoreSession.h"
#include "validator/PluginModule.h"
#include "validator/ValidatorCore.h"

#include "support/BuiltFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace qor::validator {
namespace {

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool holds(const std::vector<std::string>& lines, const std::string& wanted) {
  return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

TEST(CoreSession, CallsAfterStopAreViolationsAndCallsAfterTheCoreAreRecorded) {
  // Never unloaded: the plug-in's thread runs on after this test.
  static PluginModule* const module = new PluginModule();
  ASSERT_TRUE(module->load(built(QOR_BROKEN_ORPHAN_PATH), "load_qor_broken_orphan")) << module->error();
  auto core = std::make_unique<ValidatorCore>(ValidatorCore::Options{});
  CoreSession& session = core->openSession();

  PluginHandshake handshake{};
  handshake.major = CORE_API_VERSION_MAJOR;
  handshake.minor = CORE_API_VERSION_MINOR;
  handshake.patch = CORE_API_VERSION_PATCH;
  module->entry()(&handshake);
  ASSERT_NE(+handshake.callbacks, nullptr);  // packed record: compared as a value
  const PluginCallbacks callbacks = *handshake.callbacks;  // the record lives in the plug-in object
  ASSERT_EQ(callbacks.Start(handshake.plugin, session.context()), 1);
  session.markStopping();
  callbacks.Stop(handshake.plugin);
  session.markStopped();

  // While the core lives, every entry called after Stop is a violation.
  ASSERT_TRUE(waitFor([&] {
    const std::vector<std::string> found = core->violations();
    return holds(found, "Log was called after Stop returned") && holds(found, "SendRequest was called after Stop returned") &&
           holds(found, "Subscribe was called after Stop returned");
  })) << ::testing::PrintToString(core->violations());
  EXPECT_EQ(session.callsWithoutCoreCount(), 0u);

  // The core goes while the thread still calls, and holds a response.
  core.reset();
  const std::vector<std::string> entries = {"Log",         "SendEvent", "Subscribe", "Unsubscribe",
                                            "EnterWait",   "LeaveWait", "Yield",     "SendRequest",
                                            "SendExternalRequest"};
  ASSERT_TRUE(waitFor([&] {
    const std::vector<std::string> calls = session.callsWithoutCore();
    return std::all_of(entries.begin(), entries.end(), [&](const std::string& e) { return holds(calls, e); });
  })) << ::testing::PrintToString(session.callsWithoutCore());
  // The response taken while the core lived is released after it went.
  EXPECT_TRUE(waitFor([&] { return holds(session.callsWithoutCore(), "a response release"); }))
      << ::testing::PrintToString(session.callsWithoutCore());
  EXPECT_GE(session.callsWithoutCoreCount(), entries.size());

  // A new core in the same process is untouched by the orphan's calls.
  ValidatorCore next(ValidatorCore::Options{});
  next.openSession();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(next.violations().empty()) << ::testing::PrintToString(next.violations());
}

}  // namespace
}  // namespace qor::validator
