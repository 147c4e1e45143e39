// CoreApi: every entry is reached with its arguments, and a missing context,
// table or entry is a skipped call, never a crash.
#include "runtime/CoreApi.h"

#include "support/FakeCore.h"

#include <gtest/gtest.h>

#include <functional>

namespace qor {
namespace {

using testing::FakeCore;


// One call per entry, in table order.
std::vector<std::pair<const char*, std::function<bool(const CoreApi&)>>> entryCalls() {
  static CoreResponse response;
  static ExternalResponse external;
  static CoreRequest request;
  static ExternalRequest externalRequest;
  static CoreEvent event;
  return {
      {"SendRequest", [](const CoreApi& c) { return c.sendRequest(&response, &request); }},
      {"SendExternalRequest",
       [](const CoreApi& c) { return c.sendExternalRequest(&external, &externalRequest); }},
      {"SendEvent", [](const CoreApi& c) { return c.sendEvent(&event); }},
      {"Subscribe", [](const CoreApi& c) { return c.subscribe("E", nullptr, nullptr, nullptr, 0); }},
      {"Unsubscribe", [](const CoreApi& c) { return c.unsubscribe("E", nullptr); }},
      {"Entry5", [](const CoreApi& c) { return c.entry5(1, 2, 3, 4.0, 5); }},
      {"Yield", [](const CoreApi& c) { return c.yield(); }},
      {"EnterWait", [](const CoreApi& c) { return c.enterWait("Wait: yield", 0); }},
      {"LeaveWait", [](const CoreApi& c) { return c.leaveWait(); }},
      {"Log", [](const CoreApi& c) { return c.log(2, "line"); }},
  };
}

TEST(CoreApi, EachMissingEntryIsSkippedAndTheOthersStillWork) {
  const auto calls = entryCalls();
  ASSERT_EQ(calls.size(), sizeof(PluginCoreApi) / sizeof(void*));
  for (std::size_t missing = 0; missing < calls.size(); ++missing) {
    FakeCore core;
    // Entries are consecutive function pointers, in table order.
    reinterpret_cast<void**>(&core.table())[missing] = nullptr;
    const CoreApi api(core.context());
    for (std::size_t i = 0; i < calls.size(); ++i)
      EXPECT_EQ(calls[i].second(api), i != missing) << calls[i].first << " with "
                                                    << calls[missing].first << " missing";
  }
}

TEST(CoreApi, WithoutContextOrTableNothingIsCalled) {
  const CoreApi none;
  PluginCoreContext noTable{nullptr, nullptr};
  const CoreApi empty(&noTable);
  for (const auto& [name, call] : entryCalls()) {
    EXPECT_FALSE(call(none)) << name;
    EXPECT_FALSE(call(empty)) << name;
  }
  EXPECT_EQ(none.handle(), nullptr);
}

TEST(CoreApi, ReadsTheTableFromTheContextAtEveryCall) {
  FakeCore first, second;
  PluginCoreContext context = *first.context();
  const CoreApi api(&context);
  EXPECT_TRUE(api.log(1, "to first"));
  context.api = &second.table();
  EXPECT_TRUE(api.log(2, "to second"));
  ASSERT_EQ(first.logLines().size(), 1u);
  EXPECT_EQ(first.logLines()[0].second, "to first");
  ASSERT_EQ(second.logLines().size(), 1u);
  EXPECT_EQ(second.logLines()[0], (std::pair<int, std::string>{2, "to second"}));
  EXPECT_EQ(api.handle(), first.handle());
}

TEST(CoreApi, PassesArgumentsUnchanged) {
  FakeCore core;
  const CoreApi api(core.context());
  int context = 0;
  ASSERT_TRUE(api.subscribe("OnX", core.handle(), nullptr, &context, 1));
  ASSERT_TRUE(api.enterWait("Wait: yield", 0));
  ASSERT_TRUE(api.log(3, nullptr));  // a null text goes out as ""
  const auto subs = core.subscribeCalls();
  ASSERT_EQ(subs.size(), 1u);
  EXPECT_EQ(subs[0].name, "OnX");
  EXPECT_EQ(subs[0].handle, core.handle());
  EXPECT_EQ(subs[0].context, &context);
  EXPECT_EQ(subs[0].flags, 1u);
  EXPECT_EQ(core.calls().back(), "EnterWait Wait: yield 0");
  EXPECT_EQ(core.logLines().back().second, "");
}

}  // namespace
}  // namespace qor
