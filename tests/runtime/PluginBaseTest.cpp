// The plug-in object: handshake, start, resource watches and their core
// subscriptions, event delivery, publishing, stop, and the link to the core.
#include "runtime/PluginBase.h"

#include "TestPlugin.h"
#include "binding/TypeRegistry.h"
#include "runtime/PluginIdentity.h"

#include <gtest/gtest.h>

#include "logging/LogManager.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace qor::testing {
namespace {

using Events = std::vector<std::string>;

int countOf(const std::vector<std::string>& v, const std::string& s) {
  return static_cast<int>(std::count(v.begin(), v.end(), s));
}

std::vector<std::string> subscribedNames(const FakeCore& core) {
  std::vector<std::string> names;
  for (const auto& s : core.subscribeCalls()) names.push_back(s.name);
  return names;
}

constexpr const char* kSession = "/qor-login/v1/session";
constexpr const char* kSessionEvent = "OnJsonApiEvent_qor-login_v1_session";

class PluginBaseTest : public PluginFixture<> {};

// ---- Handshake -----------------------------------------------------------------

TEST_F(PluginBaseTest, HandshakeWritesTheSevenWords) {
  EXPECT_EQ(+handshake.major, std::uint32_t{CORE_API_VERSION_MAJOR});
  EXPECT_EQ(+handshake.minor, 0u);
  EXPECT_EQ(+handshake.patch, 0u);
  ASSERT_NE(+handshake.callbacks, nullptr);
  EXPECT_NE(+handshake.callbacks->Start, nullptr);
  EXPECT_NE(+handshake.callbacks->Stop, nullptr);
  EXPECT_NE(+handshake.callbacks->GetMemoryStats, nullptr);
  EXPECT_EQ(+handshake.plugin, static_cast<void*>(static_cast<PluginBase*>(plugin)));
  ASSERT_NE(+handshake.shortName, nullptr);
  EXPECT_STREQ(+handshake.shortName, "test-plugin");
  EXPECT_EQ(+handshake.apiTable, plugin->apiTable());
  EXPECT_NE(+handshake.apiTable, nullptr);
}

TEST_F(PluginBaseTest, HandshakeStoresVersionIdentityTagsAndRouteName) {
  EXPECT_EQ(versionText(plugin->coreVersion()), "18.3.7");
  EXPECT_EQ(plugin->identity().fullName, "pmx-be-test-plugin");
  EXPECT_EQ(plugin->identity().shortName, "test-plugin");
  EXPECT_EQ(plugin->identity().typeName, "backend");
  EXPECT_EQ(plugin->identity().typeExtra, "");
  EXPECT_EQ(plugin->routeName(), "TestPlugin");
  EXPECT_EQ(plugin->registrationTags(),
            (std::vector<std::string>{"Plugins", "Plugin test-plugin"}));
  EXPECT_EQ(plugin->registerApiCalls, 1);
  EXPECT_NE(plugin->registry().findTypeByName("TestSession"), nullptr);
}

TEST_F(PluginBaseTest, HandshakeRegistersThePlatformTypesAndEvents) {
  const TypeRegistry& r = plugin->registry();
  for (const char* name : {"PluginManagerState", "PluginManagerResource", "PluginResourceEventType",
                           "PluginResourceEvent", "PluginLcdsEvent", "PluginLcdsResponse",
                           "PluginServiceProxyResponse"}) {
    const TypeDescriptor* t = r.findTypeByName(name);
    ASSERT_NE(t, nullptr) << name;
    EXPECT_EQ(t->nameSpace, "vclient") << name;
  }
  const TypeDescriptor* proxy = r.findTypeByName("PluginServiceProxyResponse");
  std::vector<std::string> fields;
  for (const auto& f : proxy->fields) fields.push_back(f.name);
  EXPECT_EQ(fields, (std::vector<std::string>{"uuid", "serviceName", "methodName", "payload",
                                              "status", "error"}));
  const TypeDescriptor* state = r.findTypeByName("PluginManagerState");
  ASSERT_TRUE(state->isEnum);
  ASSERT_NE(state->findValue("PluginsInitialized"), nullptr);
  EXPECT_EQ(state->findValue("PluginsInitialized")->value, 1);

  const std::pair<const char*, const char*> events[] = {
      {"OnJsonApiEvent", "Fired when a resource is changed."},
      {"OnLcdsEvent", "Fired when a message is received over the LCDS connection."},
      {"OnServiceProxyUuidEvent", "Fired when a uuid-based service proxy message is received."},
      {"OnServiceProxyMethodEvent", "Fired when a method-based service proxy message is received."},
      {"OnServiceProxyAsyncEvent", "Fired when an async service proxy message is received."},
  };
  for (const auto& [name, description] : events) {
    const EventDescriptor* e = r.findEvent(name);
    ASSERT_NE(e, nullptr) << name;
    EXPECT_EQ(e->description, description);
    EXPECT_EQ(e->nameSpace, "vclient");
    ASSERT_NE(e->type, nullptr) << name;
  }
  EXPECT_EQ(r.findEvent("OnJsonApiEvent")->type->name, "PluginResourceEvent");
  EXPECT_EQ(r.findEvent("OnServiceProxyAsyncEvent")->type->name, "PluginServiceProxyResponse");
}

TEST(PluginBaseHandshake, NullRecordIsRefused) {
  TestPlugin plugin;
  EXPECT_FALSE(plugin.Handshake(nullptr, "x"));
  EXPECT_EQ(plugin.registerApiCalls, 0);
}

TEST(PluginIdentity, FullNamePrefixFollowsTheExactTypeName) {
  const std::pair<const char*, const char*> rows[] = {
      {"backend", "pmx-be-qor-inventory"},
      {"frontend", "pmx-fe-qor-inventory"},
      {"Backend", "pmx-xx-qor-inventory"},
      {"backend ", "pmx-xx-qor-inventory"},
      {"", "pmx-xx-qor-inventory"},
  };
  for (const auto& [type, full] : rows)
    EXPECT_EQ(fullNameFromShortNameAndType("qor-inventory", type), full) << type;
}

// ---- Start -----------------------------------------------------------------------

TEST_F(PluginBaseTest, StartSubscribesTheServiceProxyEventsAndRunsOnStart) {
  ASSERT_TRUE(start());
  EXPECT_EQ(plugin->onStartCalls, 1);
  const auto subs = core.subscribeCalls();
  ASSERT_EQ(subs.size(), 3u);
  std::set<std::string> names;
  for (const auto& s : subs) {
    names.insert(s.name);
    EXPECT_EQ(s.flags, 1u);
    EXPECT_EQ(s.handle, core.handle());
    EXPECT_EQ(s.context, static_cast<void*>(&plugin->events()));
    EXPECT_NE(s.callback, nullptr);
  }
  EXPECT_EQ(names, (std::set<std::string>{"OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent",
                                          "OnServiceProxyAsyncEvent"}));
  EXPECT_EQ(plugin->link().userAgent(), "VaneClient/18.3.7 (test-plugin)");
  EXPECT_EQ(plugin->link().pluginHandle(), core.handle());
  ASSERT_NE(plugin->link().telemetrySink(), nullptr);
  EXPECT_EQ(plugin->link().telemetrySink()->pluginName(), "test-plugin");
}

TEST_F(PluginBaseTest, StartReportsOnStartResult) {
  plugin->startResult = false;
  EXPECT_FALSE(start());
  EXPECT_EQ(plugin->onStartCalls, 1);
}

TEST_F(PluginBaseTest, AfterStartEveryLevelReachesTheCoresLog) {
  ASSERT_TRUE(start());
  logMessage(LogLevel::Okay, kLogGroupDbg, "level %d line", 0);
  logMessage(LogLevel::Error, kLogGroupGen, "error line");
  logMessage(LogLevel::Always, kLogGroupXtr, "suppressed");  // XTR stays suppressed
  const auto lines = core.logLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], (std::pair<int, std::string>{0, "level 0 line"}));
  EXPECT_EQ(lines[1], (std::pair<int, std::string>{2, "error line"}));
}

TEST_F(PluginBaseTest, UnknownPluginTypeIsLoggedOnce) {
  ASSERT_TRUE(start());
  EXPECT_EQ(fullNameFromShortNameAndType("qor-inventory", "BACKEND"), "pmx-xx-qor-inventory");
  const auto lines = core.logLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].first, 2);
  EXPECT_EQ(lines[0].second,
            "            Plugin Manager| GetFullNameFromShortNameAndType(\"qor-inventory\", "
            "\"BACKEND\") called with an unknown type");
}

// ---- Watches and subscriptions ------------------------------------------------------

class WatchTest : public PluginBaseTest {
 protected:
  void SetUp() override {
    PluginBaseTest::SetUp();
    ASSERT_TRUE(start());
    core.clearRecords();
  }
  // Watches `uri` untyped and records "<type> <uri> <data as text>" per call.
  void watch(const std::string& uri, const std::string& tag = "") {
    plugin->Watch<BindingProperty>(
        uri, [this, tag](const std::string& u, ResourceEventType type, const BindingProperty& d) {
          seen.push_back(tag + std::to_string(static_cast<int>(type)) + " " + u + " " + d.asText());
        });
  }
  bool deliver(const std::string& event, const std::string& uri, int type, const std::string& data) {
    return core.deliver(event, FakeCore::resourceJson(uri, type, data));
  }
  std::vector<std::string> seen;
};

TEST_F(WatchTest, WatchesOfOneEventShareOneCoreSubscription) {
  watch(kSession);
  watch(std::string(kSession) + "/more");
  EXPECT_EQ(subscribedNames(core), (std::vector<std::string>{kSessionEvent}));
  EXPECT_EQ(core.subscribeCalls()[0].flags, 0u);
  EXPECT_EQ(plugin->events().subscriptionCount(kSessionEvent), 2);
  // Each exact watch read its resource at once.
  const auto requests = core.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].uri, kSession);
  EXPECT_EQ(requests[0].method, std::uint32_t{CORE_METHOD_GET});
  EXPECT_EQ(requests[0].args, nullptr);
  EXPECT_EQ(requests[0].argCount, 0u);
  EXPECT_EQ(requests[0].handle, core.handle());
}

TEST_F(WatchTest, SecondWatchOfAUriReplacesTheHandlerAndRaisesTheCount) {
  watch(kSession, "first:");
  watch(kSession, "second:");
  EXPECT_EQ(plugin->events().subscriptionCount(kSessionEvent), 2);
  EXPECT_EQ(plugin->watches().exactWatchCount(), 1u);
  ASSERT_TRUE(deliver(kSessionEvent, kSession, 1, "7"));
  EXPECT_EQ(seen, (Events{"second:1 /qor-login/v1/session 7"}));
}

TEST_F(WatchTest, MessagingChannelsShareAnEventAndAreRoutedByUri) {
  const std::string entitlements = "/vane-messaging-service/v1/message/cap/v1/entitlements";
  const std::string inventory = "/vane-messaging-service/v1/message/store/v1/inventory";
  watch(entitlements, "E");
  watch(inventory, "I");
  const std::string event = "OnJsonApiEvent_vane-messaging-service_v1_message";
  EXPECT_EQ(subscribedNames(core), (std::vector<std::string>{event}));
  EXPECT_EQ(plugin->events().subscriptionCount(event), 2);
  ASSERT_TRUE(deliver(event, inventory, 1, "\"x\""));
  EXPECT_EQ(seen, (Events{"I1 " + inventory + " x"}));
}

TEST_F(WatchTest, CurrentValueArrivesAsCreate) {
  core.respondJson(kSession, R"({"puuid":"p-1","accountId":42})");
  TestSession got;
  int calls = 0;
  ResourceEventType type = ResourceEventType::Delete;
  plugin->Watch<TestSession>(kSession, [&](const std::string& uri, ResourceEventType t,
                                           const TestSession& s) {
    ++calls;
    EXPECT_EQ(uri, kSession);
    type = t;
    got = s;
  });
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(type, ResourceEventType::Create);
  EXPECT_EQ(got.puuid, "p-1");
  EXPECT_EQ(got.accountId, 42u);
  EXPECT_EQ(core.releases(), 1);
}

TEST_F(WatchTest, FailedInitialReadDeliversNothingAndKeepsTheSubscription) {
  FakeResponse failing;
  failing.error = "not there";
  failing.status = 404;
  core.respond(kSession, failing);
  watch(kSession);
  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(core.isSubscribed(kSessionEvent));
  ASSERT_TRUE(deliver(kSessionEvent, kSession, 0, "1"));
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(WatchTest, PatternWatchesMakeNoInitialRead) {
  watch("/qor-login/v1/*");
  EXPECT_TRUE(core.requests().empty());
  EXPECT_EQ(plugin->watches().wildcardWatchCount(), 1u);
}

TEST_F(WatchTest, DeliveryReachesExactThenPatternWatchers) {
  watch(kSession, "exact:");
  watch("/qor-login/*/session", "pattern:");
  watch("/qor-login/*", "never:");
  ASSERT_TRUE(deliver(kSessionEvent, kSession, 1, "\"v\""));
  EXPECT_EQ(seen, (Events{"exact:1 /qor-login/v1/session v", "pattern:1 /qor-login/v1/session v"}));
}

TEST_F(WatchTest, UriWithoutLeadingSlashReachesTheExactWatcher) {
  watch(kSession);
  ASSERT_TRUE(deliver(kSessionEvent, "qor-login/v1/session", 2, ""));
  EXPECT_EQ(seen, (Events{"2 /qor-login/v1/session "}));
}

TEST_F(WatchTest, TypedHandlersGetDeleteEvenWhenDataDoesNotConvert) {
  std::vector<std::pair<ResourceEventType, TestSession>> got;
  plugin->Watch<TestSession>(kSession, [&](const std::string&, ResourceEventType t,
                                           const TestSession& s) { got.emplace_back(t, s); });
  // Update with data of the wrong kind: dropped.
  ASSERT_TRUE(deliver(kSessionEvent, kSession, 1, R"({"accountId":"not a number"})"));
  EXPECT_TRUE(got.empty());
  // Delete with the same data: delivered with a default record.
  ASSERT_TRUE(deliver(kSessionEvent, kSession, 2, R"({"accountId":"not a number"})"));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].first, ResourceEventType::Delete);
  EXPECT_EQ(got[0].second.accountId, 0u);
  // A good update converts.
  ASSERT_TRUE(deliver(kSessionEvent, kSession, 1, R"({"puuid":"abc","accountId":5})"));
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1].second.puuid, "abc");
  EXPECT_EQ(got[1].second.accountId, 5u);
}

TEST_F(WatchTest, BadPayloadsAreDropped) {
  watch(kSession);
  // Not a resource record at all.
  EXPECT_TRUE(core.deliver(kSessionEvent, "[1,2,3]"));
  EXPECT_TRUE(core.deliver(kSessionEvent, R"({"uri":5,"eventType":"Sideways"})"));
  // A payload whose tag is unknown.
  CoreValue bad{};
  bad.kind = 77;
  EXPECT_TRUE(core.deliverRaw(kSessionEvent, bad));
  // A member pointer that is null with a count.
  CoreValue broken{};
  broken.kind = CORE_VALUE_STRUCT;
  broken.u.block.data = nullptr;
  broken.u.block.count = 3;
  EXPECT_TRUE(core.deliverRaw(kSessionEvent, broken));
  EXPECT_TRUE(seen.empty());
  // The subscription still works afterwards.
  ASSERT_TRUE(deliver(kSessionEvent, kSession, 1, "1"));
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(WatchTest, EventsForUnknownNamesOrWithoutContextDoNothing) {
  watch(kSession);
  CoreEvent event{};
  event.name = "OnJsonApiEvent_never_subscribed";
  event.context = static_cast<void*>(&plugin->events());
  EventSubscriptions::onCoreEvent(&event);
  EXPECT_FALSE(plugin->events().deliverCoreEvent("OnJsonApiEvent_never_subscribed", CoreValue{}));
  event.name = nullptr;
  EventSubscriptions::onCoreEvent(&event);
  event.name = kSessionEvent;
  event.context = nullptr;
  EventSubscriptions::onCoreEvent(&event);
  EventSubscriptions::onCoreEvent(nullptr);
  EXPECT_TRUE(seen.empty());
}

TEST_F(WatchTest, UnsubscribeEndsTheCoreSubscriptionAtZero) {
  watch(kSession);
  watch(std::string(kSession) + "/x");
  plugin->UnsubscribeResource(kSession);
  EXPECT_TRUE(core.unsubscribeCalls().empty());
  EXPECT_TRUE(plugin->events().hasEventHandler(kSessionEvent));
  plugin->UnsubscribeResource(kSession);
  EXPECT_EQ(core.unsubscribeCalls(), (std::vector<std::string>{kSessionEvent}));
  EXPECT_FALSE(plugin->events().hasEventHandler(kSessionEvent));
  // Below zero nothing more happens.
  plugin->UnsubscribeResource(kSession);
  plugin->UnsubscribeResource("/never/watched");
  EXPECT_EQ(core.unsubscribeCalls().size(), 1u);
}

TEST_F(WatchTest, StopUnsubscribesEachNameOnce) {
  watch(kSession);
  watch(std::string(kSession) + "/x");
  watch("/qor-platform-config/v1/namespaces/Inventory");
  stop();
  const auto names = core.unsubscribeCalls();
  EXPECT_EQ(names.size(), 5u);
  for (const char* n : {kSessionEvent, "OnJsonApiEvent_qor-platform-config_v1_namespaces_Inventory",
                        "OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent",
                        "OnServiceProxyAsyncEvent"})
    EXPECT_EQ(countOf(names, n), 1) << n;
}

// The core may stop the plug-in while it is still delivering an event on
// another thread: Stop returns only once that delivery has ended.
TEST_F(WatchTest, StopWaitsForADeliveryStillRunning) {
  std::atomic<bool> entered{false}, release{false}, stopped{false};
  plugin->Watch<BindingProperty>(kSession, [&](const std::string&, ResourceEventType, const BindingProperty&) {
    entered = true;
    while (!release) std::this_thread::yield();
  });
  std::thread delivery([&] { deliver(kSessionEvent, kSession, 1, "1"); });
  while (!entered) std::this_thread::yield();
  std::thread stopper([&] {
    stop();
    stopped = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(stopped.load()) << "Stop returned while a delivery was still running";
  release = true;
  delivery.join();
  stopper.join();
  EXPECT_TRUE(stopped.load());
}

TEST_F(WatchTest, EventsDuringConcurrentWatchesNeverCrash) {
  watch(kSession);
  constexpr int kEvents = 2000;
  std::thread deliverer([&] {
    for (int i = 0; i < kEvents; ++i) deliver(kSessionEvent, kSession, 1, "1");
  });
  for (int i = 0; i < 200; ++i) watch("/qor-login/v1/session/n" + std::to_string(i));
  for (int i = 0; i < 50; ++i) watch("/qor-login/*/p" + std::to_string(i));
  deliverer.join();
  EXPECT_EQ(plugin->events().subscriptionCount(kSessionEvent), 201);
  // Only the exact watcher of the session matches; the patterns never do.
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kEvents));
}

// ---- Publish ---------------------------------------------------------------------

TEST_F(WatchTest, PublishSendsUnderTheDerivedNameAndTheExplicitOne) {
  Resource change;
  change.uri = "/qor-inventory/v1/inventory/emotes";
  change.eventType = ResourceEventType::Update;
  change.data.setString("smile");
  EXPECT_FALSE(plugin->Publish(change, "OnJsonApiEvent").has_value());
  const auto events = core.sentEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].name, "OnJsonApiEvent_qor-inventory_v1_inventory");
  EXPECT_EQ(events[1].name, "OnJsonApiEvent");
  for (const auto& e : events) {
    EXPECT_EQ(e.payloadJson,
              R"({"data":"smile","eventType":"Update","uri":"/qor-inventory/v1/inventory/emotes"})");
    EXPECT_EQ(e.reserved, 0u);
    EXPECT_EQ(e.context, nullptr);
  }
}

TEST_F(WatchTest, PublishUnderTheDerivedNameSendsOnce) {
  Resource change;
  change.uri = "/a/b";
  change.eventType = ResourceEventType::Delete;
  EXPECT_FALSE(plugin->Publish(change, "OnJsonApiEvent_a_b").has_value());
  EXPECT_EQ(core.sentEvents().size(), 1u);
}

// The core's answer is not dropped: a core that cannot be reached for
// SendEvent is reported, naming the first event that did not go out.
TEST_F(WatchTest, PublishAndSendEventReportACoreThatCannotBeReached) {
  core.table().SendEvent = nullptr;
  Resource change;
  change.uri = "/a/b";
  change.eventType = ResourceEventType::Update;
  const std::optional<RequestError> published = plugin->Publish(change, "OnJsonApiEvent");
  ASSERT_TRUE(published.has_value());
  EXPECT_EQ(published->message, "Error sending event OnJsonApiEvent_a_b: The core is not connected");
  BindingProperty payload;
  payload.setString("x");
  const std::optional<RequestError> sent = plugin->sendEventValue("OnSomething", payload);
  ASSERT_TRUE(sent.has_value());
  EXPECT_EQ(sent->message, "Error sending event OnSomething: The core is not connected");
  EXPECT_TRUE(core.sentEvents().empty());
}

// ---- The plug-in's own records and events ---------------------------------------------

enum class Mood : std::int32_t { Calm = 0, Glad = 1 };
struct Note {
  std::string text;
  Mood mood = Mood::Calm;
};

// Registers its record before the enumeration it holds, and its event
// before either: the helpers leave the order to the plug-in.
class NotePlugin : public TestPlugin {
 public:
  void RegisterApi() override {
    registerEvent<Note>("OnNoteTaken", "Sent for every note.");
    registerRecord<Note>("Note").field("text", &Note::text).field("mood", &Note::mood);
    registerEnumeration<Mood>("Mood").value("Calm", Mood::Calm).value("Glad", Mood::Glad);
  }
};

class NotePluginTest : public PluginFixture<NotePlugin> {};

TEST_F(NotePluginTest, RecordsAndEventsCarryTheRouteNameTheTagsAndTheirTypes) {
  const PluginApiTable& table = *handshake.apiTable;
  const ApiTypeRecord* note = nullptr;
  const ApiTypeRecord* mood = nullptr;
  for (const ApiTypeRecord* t = table.types; t != nullptr; t = t->next) {
    if (std::string(t->name) == "TestPluginNote") note = t;
    if (std::string(t->name) == "TestPluginMood") mood = t;
  }
  ASSERT_NE(note, nullptr);
  ASSERT_NE(mood, nullptr);
  ASSERT_EQ(static_cast<std::uint32_t>(note->tagCount), 2u);
  EXPECT_STREQ(note->tags[0], "Plugins");
  EXPECT_STREQ(note->tags[1], "Plugin test-plugin");
  EXPECT_STREQ(note->fields[1].typeName, "TestPluginMood");
  EXPECT_EQ(static_cast<std::uint32_t>(mood->count), 2u);
  const ApiEventRecord* event = nullptr;
  for (const ApiEventRecord* e = table.events; e != nullptr; e = e->next)
    if (std::string(e->name) == "OnNoteTaken") event = e;
  ASSERT_NE(event, nullptr);
  EXPECT_STREQ(event->typeName, "TestPluginNote");
  EXPECT_STREQ(event->description, "Sent for every note.");
}

TEST_F(NotePluginTest, SendEventSendsTheRecordUnderItsName) {
  ASSERT_TRUE(start());
  core.clearRecords();
  EXPECT_FALSE(plugin->SendEvent("OnNoteTaken", Note{"hi", Mood::Glad}).has_value());
  const auto events = core.sentEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].name, "OnNoteTaken");
  EXPECT_EQ(events[0].payloadJson, R"({"mood":"Glad","text":"hi"})");
  EXPECT_EQ(events[0].context, nullptr);
}

TEST_F(NotePluginTest, SendEventBeforeStartReportsTheCoreAsUnreachable) {
  const std::optional<RequestError> sent = plugin->SendEvent("OnNoteTaken", Note{"hi", Mood::Glad});
  ASSERT_TRUE(sent.has_value());
  EXPECT_EQ(sent->message, "Error sending event OnNoteTaken: The core is not connected");
  EXPECT_TRUE(core.sentEvents().empty());
}

// ---- The link to the core ------------------------------------------------------------

// Records every call to the core, then passes it on.
class RecordingCoreApi : public CoreApi {
 public:
  explicit RecordingCoreApi(std::vector<std::string>& calls) : calls_(calls) {}
  bool sendRequest(CoreResponse* a, const CoreRequest* b) const override {
    calls_.push_back("SendRequest");
    return CoreApi::sendRequest(a, b);
  }
  bool sendExternalRequest(ExternalResponse* a, const ExternalRequest* b) const override {
    calls_.push_back("SendExternalRequest");
    return CoreApi::sendExternalRequest(a, b);
  }
  bool sendEvent(const CoreEvent* e) const override {
    calls_.push_back("SendEvent");
    return CoreApi::sendEvent(e);
  }
  bool subscribe(const char* n, void* h, CoreEventCallback c, void* x, std::uint32_t f) const override {
    calls_.push_back("Subscribe");
    return CoreApi::subscribe(n, h, c, x, f);
  }
  bool unsubscribe(const char* n, void* h) const override {
    calls_.push_back("Unsubscribe");
    return CoreApi::unsubscribe(n, h);
  }
  bool entry5(std::uint32_t a, std::uint32_t b, std::uint32_t c, double d, std::uint32_t e) const override {
    calls_.push_back("Entry5");
    return CoreApi::entry5(a, b, c, d, e);
  }
  bool yield() const override {
    calls_.push_back("Yield");
    return CoreApi::yield();
  }
  bool enterWait(const char* l, std::uint32_t z) const override {
    calls_.push_back("EnterWait");
    return CoreApi::enterWait(l, z);
  }
  bool leaveWait() const override {
    calls_.push_back("LeaveWait");
    return CoreApi::leaveWait();
  }

 private:
  std::vector<std::string>& calls_;
};

// A plug-in that brings its own gateway to the core.
class RecordingPlugin : public TestPlugin {
 public:
  RecordingPlugin() : TestPlugin(std::make_unique<RecordingCoreApi>(linkCalls)) {}
  std::vector<std::string> linkCalls;
};

class LinkTest : public PluginFixture<RecordingPlugin> {};

TEST_F(LinkTest, EveryCallToTheCoreButLogGoesThroughTheLink) {
  ASSERT_TRUE(start());
  FakeResponse streamed;
  streamed.streamed = true;
  streamed.chunks = {"[1,", "2]"};
  core.respond("/s", streamed);
  plugin->Watch<BindingProperty>(kSession, [](const std::string&, ResourceEventType,
                                              const BindingProperty&) {});
  ASSERT_TRUE(plugin->sendRequest(HttpMethod::Get, "/s").ok());
  HttpRequest external;
  external.url = "https://example.test/";
  plugin->sendExternalRequest(external);
  Resource change;
  change.uri = "/x/y";
  static_cast<void>(plugin->Publish(change, "OnJsonApiEvent"));
  logMessage(LogLevel::Error, kLogGroupDbg, "not through the link");
  auto linkCalls = plugin->linkCalls;
  stop();
  // Compare the core's own record of calls (minus stream and release calls,
  // which go to functions in the response) with what the link saw.
  std::vector<std::string> coreCalls;
  for (const auto& c : core.calls()) {
    const std::string word = c.substr(0, c.find(' '));
    if (word == "Read" || word == "Close" || word == "Release" || word == "ReleaseExternal") continue;
    coreCalls.push_back(word);
  }
  ASSERT_FALSE(linkCalls.empty());
  // Calls recorded before stop() plus the unsubscribes of Shutdown.
  std::vector<std::string> withStop = linkCalls;
  for (std::size_t i = linkCalls.size(); i < coreCalls.size(); ++i) withStop.push_back(coreCalls[i]);
  EXPECT_EQ(coreCalls, withStop);
  for (const char* s : {"Subscribe", "SendRequest", "SendExternalRequest", "SendEvent", "EnterWait",
                        "Yield", "LeaveWait"})
    EXPECT_GE(countOf(linkCalls, s), 1) << s;
  EXPECT_EQ(core.logLines().size(), 1u);  // Log went straight to the core
}

}  // namespace
}  // namespace qor::testing

namespace qor::testing {
namespace {

// Two plug-in objects in one process share the log manager: the second finds
// the first one's forwarding target and leaves logging alone.
TEST(PluginBaseLogging, SecondObjectLeavesLoggingAloneAndOutlivesTheFirst) {
  const std::int32_t references = LogManager::referenceCount();
  FakeCore core;
  auto* first = new TestPlugin();
  auto* second = new TestPlugin();
  EXPECT_EQ(LogManager::referenceCount(), references + 2);
  PluginHandshake h1{}, h2{};
  h1.major = h2.major = CORE_API_VERSION_MAJOR;
  ASSERT_TRUE(first->Handshake(&h1, "first"));
  ASSERT_TRUE(second->Handshake(&h2, "second"));
  ASSERT_EQ(h1.callbacks->Start(h1.plugin, core.context()), 1);
  ASSERT_EQ(h2.callbacks->Start(h2.plugin, core.context()), 1);
  EXPECT_NE(first->logTarget(), nullptr);
  EXPECT_EQ(second->logTarget(), nullptr);
  EXPECT_EQ(second->link().userAgent(), "VaneClient/18.0.0 (second)");
  EXPECT_NE(second->link().telemetrySink(), nullptr);

  logMessage(LogLevel::Okay, kLogGroupDbg, "once");
  EXPECT_EQ(core.logLines().size(), 1u);  // one forwarding target, not two

  h1.callbacks->Stop(h1.plugin);
  EXPECT_EQ(LogManager::referenceCount(), references + 1);
  // The first object's target is gone from the manager: logging goes on safely.
  logMessage(LogLevel::Error, kLogGroupDbg, "after the first stopped");
  EXPECT_EQ(LogManager::get().findTarget("PluginLogTarget"), nullptr);
  h2.callbacks->Stop(h2.plugin);
  EXPECT_EQ(LogManager::referenceCount(), references);
}

}  // namespace
}  // namespace qor::testing
