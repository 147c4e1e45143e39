// The built plug-in library driven through its export, as the core drives it:
// the exported symbols, the handshake words, the API table, the lifecycle and
// the memory counters.
#include "support/FakeCore.h"
#include "support/PluginLibrary.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace qor::testing {
namespace {

std::uint64_t counter(const std::uint32_t* words, int index) {
  return std::uint64_t{words[2 * index]} | (std::uint64_t{words[2 * index + 1]} << 32);
}

class PluginLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library = &PluginLibrary::get();
    ASSERT_TRUE(library->loaded()) << library->error();
  }
  // Loads the plug-in with a core announcing `major.minor.patch`.
  PluginHandshake load(std::uint32_t major = CORE_API_VERSION_MAJOR,
                       std::uint32_t minor = CORE_API_VERSION_MINOR,
                       std::uint32_t patch = CORE_API_VERSION_PATCH) {
    PluginHandshake h{};
    h.major = major;
    h.minor = minor;
    h.patch = patch;
    library->load()(&h);
    return h;
  }
  std::vector<std::uint32_t> stats(const PluginHandshake& h) {
    std::vector<std::uint32_t> words(14, 0xFFFFFFFFu);
    h.callbacks->GetMemoryStats(nullptr, words.data());
    return words;
  }
  PluginLibrary* library = nullptr;
};

TEST_F(PluginLibraryTest, ExportsOnlyTheEntryPoint) {
  EXPECT_TRUE(library->definesSymbol("load_qor_inventory"));
  // The plug-in's allocator replacement and framework stay inside it.
  for (const char* hidden : {sizeof(void*) == 8 ? "_Znwm" : "_Znwj", "_ZdlPv", "__wrap_malloc",
                             "malloc", "_ZN3qor10PluginBaseC2Ev", "_ZN3qor11MemoryStats8snapshotEv"})
    EXPECT_FALSE(library->definesSymbol(hidden)) << hidden;
}

TEST_F(PluginLibraryTest, HandshakeWritesVersionNameCallbacksAndTable) {
  PluginHandshake h = load(18, 4, 2);
  EXPECT_EQ(+h.major, std::uint32_t{CORE_API_VERSION_MAJOR});
  EXPECT_EQ(+h.minor, 0u);
  EXPECT_EQ(+h.patch, 0u);
  ASSERT_NE(+h.callbacks, nullptr);
  ASSERT_NE(+h.plugin, nullptr);
  ASSERT_NE(+h.shortName, nullptr);
  EXPECT_STREQ(+h.shortName, "qor-inventory");
  ASSERT_NE(+h.apiTable, nullptr);

  // Walk the three chains; each must hold exactly its count.
  const PluginApiTable& t = *h.apiTable;
  std::uint32_t n = 0;
  for (const ApiFunctionRecord* f = t.functions; f && n <= t.functionCount;
       f = static_cast<const ApiFunctionRecord*>(f->head.next))
    ++n;
  EXPECT_EQ(n, t.functionCount);
  std::set<std::string> types;
  for (const ApiTypeRecord* r = t.types; r && types.size() <= t.typeCount; r = r->next)
    types.insert(r->name);
  EXPECT_EQ(types.size(), t.typeCount);
  for (const char* name : {"PluginServiceProxyResponse", "PluginResourceEvent", "PluginManagerState",
                           "BindingAsyncState"})
    EXPECT_EQ(types.count(name), 1u) << name;
  std::set<std::string> events;
  for (const ApiEventRecord* e = t.events; e && events.size() <= t.eventCount; e = e->next) {
    events.insert(e->name);
    if (std::strcmp(e->name, "OnJsonApiEvent") == 0) {
      EXPECT_STREQ(e->nameSpace, "vclient");
      EXPECT_STREQ(e->typeName, "PluginResourceEvent");
      EXPECT_STREQ(e->description, "Fired when a resource is changed.");
    }
  }
  EXPECT_EQ(events.size(), t.eventCount);
  for (const char* name : {"OnJsonApiEvent", "OnLcdsEvent", "OnServiceProxyUuidEvent",
                           "OnServiceProxyMethodEvent", "OnServiceProxyAsyncEvent", "OnCallback"})
    EXPECT_EQ(events.count(name), 1u) << name;

  h.callbacks->Stop(h.plugin);
}

TEST_F(PluginLibraryTest, StartAndStopThroughTheCallbacks) {
  FakeCore core;
  PluginHandshake h = load();
  ASSERT_EQ(+h.callbacks->Start(h.plugin, core.context()), 1);
  std::set<std::string> subscribed;
  for (const auto& s : core.subscribeCalls()) {
    subscribed.insert(s.name);
    EXPECT_EQ(s.handle, core.handle());
  }
  EXPECT_EQ(subscribed.count("OnServiceProxyUuidEvent"), 1u);
  EXPECT_EQ(subscribed.count("OnServiceProxyMethodEvent"), 1u);
  EXPECT_EQ(subscribed.count("OnServiceProxyAsyncEvent"), 1u);
  // An asynchronous message nobody handles is logged to the core.
  ASSERT_TRUE(core.deliver("OnServiceProxyAsyncEvent",
                           R"({"uuid":"","serviceName":"s","methodName":"m","payload":"",)"
                           R"("status":"","error":""})"));
  bool logged = false;
  for (const auto& [level, text] : core.logLines())
    logged |= level == CORE_LOG_ERROR && text == "qor-inventory: Could not find registered handler for async "
                                    "service proxy event s.m";
  EXPECT_TRUE(logged);
  // Events for names the plug-in never subscribed are ignored.
  CoreEvent stray{};
  stray.name = "OnNothing";
  const RecordedSubscription sub = core.subscribeCalls().front();
  stray.context = sub.context;
  sub.callback(&stray);

  const std::size_t subscriptions = core.subscribeCalls().size();
  h.callbacks->Stop(h.plugin);
  const auto unsubscribed = core.unsubscribeCalls();
  EXPECT_EQ(unsubscribed.size(), subscriptions);
  EXPECT_EQ(std::set<std::string>(unsubscribed.begin(), unsubscribed.end()), subscribed);
}

TEST_F(PluginLibraryTest, MemoryCountersFollowThePluginsAllocations) {
  PluginHandshake first = load();
  const auto before = stats(first);
  EXPECT_EQ(before[12], 0u);
  EXPECT_EQ(before[13], 0u);
  EXPECT_GT(counter(before.data(), 3), 0u);  // allocations
  EXPECT_GT(counter(before.data(), 2), 0u);  // bytes allocated
  EXPECT_GT(counter(before.data(), 0), 0u);  // peak
  EXPECT_LE(counter(before.data(), 0), counter(before.data(), 2));

  PluginHandshake second = load();
  const auto during = stats(second);
  EXPECT_GT(counter(during.data(), 3), counter(before.data(), 3));
  second.callbacks->Stop(second.plugin);
  const auto after = stats(first);
  EXPECT_GT(counter(after.data(), 5), counter(during.data(), 5));  // frees
  EXPECT_GT(counter(after.data(), 4), counter(during.data(), 4));  // bytes freed
  first.callbacks->Stop(first.plugin);
}

TEST_F(PluginLibraryTest, NullHandshakeIsIgnored) { library->load()(nullptr); }

TEST(PluginLibraryDeathTest, IncompatibleCoreEndsTheProcessWithAReport) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  PluginLibrary& library = PluginLibrary::get();
  ASSERT_TRUE(library.loaded()) << library.error();
  for (const auto& [major, minor, text] :
       {std::tuple{19u, 0u, "19.0.0"}, std::tuple{17u, 9u, "17.9.0"}}) {
    PluginHandshake h{};
    h.major = major;
    h.minor = minor;
    // The report's expression and description lines are one blank line
    // apart; "\\s+" spans them in POSIX and in GoogleTest's Windows patterns
    // (whose "." stops at a line end).
    EXPECT_DEATH(library.load()(&h),
                 std::string("ALE-EECF0606\\s+Description: qor-inventory which supports plugin API "
                             "18\\.0\\.0 is not compatible with core's plugin API ") +
                     text)
        << text;
  }
}

}  // namespace
}  // namespace qor::testing
