// The event-trace providers against a fake set of system functions: which
// providers register, when the start-up event is written and with what
// fields, how the enable callback moves the state, and the unregistration.
#include "platform/TraceProviders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace qor::platform;

namespace {

// What the fake system saw, and how it answers.
struct FakeSystem {
  unsigned enableAtRegister = 0;  // bit i: a session already listens to provider i
  unsigned failRegister = 0;      // bit i: registration of provider i fails
  std::vector<TraceGuid> registeredIds;
  std::vector<std::uint64_t> unregistered;
  struct Written {
    std::uint64_t handle;
    std::uint16_t eventId;
    std::uint32_t threadId;
    std::string text;
    std::uint32_t textSize;
    std::uint32_t count;
  };
  std::vector<Written> written;
  std::vector<std::pair<TraceEnableCallback, void*>> callbacks;
};

FakeSystem* fake = nullptr;

std::uint32_t QOR_STDCALL fakeRegister(const TraceGuid* id, TraceEnableCallback callback,
                                       void* context, std::uint64_t* handle) {
  const std::size_t index = fake->callbacks.size();  // the providers register in order
  fake->callbacks.emplace_back(callback, context);
  if (fake->failRegister & (1u << index)) return 87;  // an invalid-parameter code
  fake->registeredIds.push_back(*id);
  *handle = 0x1000 + index;
  if (fake->enableAtRegister & (1u << index)) callback(id, 1, 4, 0, 0, nullptr, context);
  return 0;
}

std::uint32_t QOR_STDCALL fakeWrite(std::uint64_t handle, const TraceEventDescriptor* event,
                                    std::uint32_t count, TraceDataDescriptor* data) {
  FakeSystem::Written w{handle, event->id, 0, {}, 0, count};
  if (count >= 2) {
    std::memcpy(&w.threadId, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(data[0].address)),
                sizeof w.threadId);
    const char* text = reinterpret_cast<const char*>(static_cast<std::uintptr_t>(data[1].address));
    w.textSize = data[1].size;
    w.text.assign(text, data[1].size);
  }
  fake->written.push_back(w);
  return 0;
}

std::uint32_t QOR_STDCALL fakeUnregister(std::uint64_t handle) {
  fake->unregistered.push_back(handle);
  return 0;
}

class TraceProvidersTest : public ::testing::Test {
 protected:
  void SetUp() override { fake = &system; }
  void TearDown() override { fake = nullptr; }
  static TraceApi api() {
    TraceApi a;
    a.eventRegister = &fakeRegister;
    a.eventWrite = &fakeWrite;
    a.eventUnregister = &fakeUnregister;
    return a;
  }
  FakeSystem system;
  TraceProviders providers;
};

TEST_F(TraceProvidersTest, StartUpEventOnlyWhenTheMainThreadProviderListens) {
  struct Row {
    unsigned enabled;
    bool eventExpected;
  };
  for (const Row row : {Row{0b0000, false}, Row{0b0010, true}, Row{0b1101, false}, Row{0b1111, true}}) {
    FakeSystem local;
    local.enableAtRegister = row.enabled;
    fake = &local;
    TraceProviders p;
    EXPECT_EQ(p.registerAll(api(), 4242), TraceProviders::kCount) << row.enabled;
    for (std::size_t i = 0; i < TraceProviders::kCount; ++i)
      EXPECT_EQ(p.enabled(i), ((row.enabled >> i) & 1u) != 0) << row.enabled << " provider " << i;
    ASSERT_EQ(local.written.size(), row.eventExpected ? 1u : 0u) << row.enabled;
    if (row.eventExpected) {
      const auto& w = local.written[0];
      EXPECT_EQ(w.handle, 0x1000u + TraceProviders::kMainThreadProvider);
      EXPECT_EQ(w.count, 2u);
      EXPECT_EQ(w.threadId, 4242u);
      EXPECT_EQ(w.textSize, 12u);  // "Main thread" and its terminating zero
      EXPECT_EQ(w.text, std::string("Main thread", 12));
      EXPECT_EQ(w.eventId, TraceProviders::mainThreadEvent().id);
    }
    p.unregisterAll();
  }
  fake = &system;
}

TEST_F(TraceProvidersTest, RegistersFourDistinctFixedIdentitiesAndUnregistersThemAll) {
  ASSERT_EQ(providers.registerAll(api(), 1), 4u);
  ASSERT_EQ(system.registeredIds.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(std::memcmp(&system.registeredIds[i], &TraceProviders::providerId(i), sizeof(TraceGuid)), 0);
    for (std::size_t j = 0; j < i; ++j)
      EXPECT_NE(std::memcmp(&system.registeredIds[i], &system.registeredIds[j], sizeof(TraceGuid)), 0);
    EXPECT_TRUE(providers.registered(i));
  }
  // Already registered: a second call changes nothing.
  EXPECT_EQ(providers.registerAll(api(), 1), 0u);
  EXPECT_EQ(system.registeredIds.size(), 4u);
  providers.unregisterAll();
  EXPECT_EQ(system.unregistered, (std::vector<std::uint64_t>{0x1000, 0x1001, 0x1002, 0x1003}));
  for (std::size_t i = 0; i < 4; ++i) EXPECT_FALSE(providers.registered(i));
  providers.unregisterAll();  // nothing left to unregister
  EXPECT_EQ(system.unregistered.size(), 4u);
}

TEST_F(TraceProvidersTest, FailedRegistrationIsNeitherWrittenToNorUnregistered) {
  system.failRegister = 0b0010;
  system.enableAtRegister = 0b0010;
  EXPECT_EQ(providers.registerAll(api(), 7), 3u);
  EXPECT_FALSE(providers.registered(1));
  EXPECT_TRUE(system.written.empty());
  providers.unregisterAll();
  EXPECT_EQ(system.unregistered, (std::vector<std::uint64_t>{0x1000, 0x1002, 0x1003}));
}

TEST_F(TraceProvidersTest, MissingFunctionRegistersNothing) {
  for (int missing = 0; missing < 3; ++missing) {
    TraceApi a = api();
    if (missing == 0) a.eventRegister = nullptr;
    if (missing == 1) a.eventWrite = nullptr;
    if (missing == 2) a.eventUnregister = nullptr;
    EXPECT_EQ(providers.registerAll(a, 1), 0u) << missing;
  }
  EXPECT_TRUE(system.registeredIds.empty());
}

TEST_F(TraceProvidersTest, EnableCallbackFollowsSessionsAndIgnoresCaptureState) {
  ASSERT_EQ(providers.registerAll(api(), 1), 4u);
  auto [callback, context] = system.callbacks[2];
  const TraceGuid& id = TraceProviders::providerId(2);
  struct Step {
    std::uint32_t code;
    bool enabledAfter;
  };
  for (const Step step : {Step{1, true}, Step{2, true}, Step{0, false}, Step{2, false}, Step{1, true}}) {
    callback(&id, step.code, 4, 0, 0, nullptr, context);
    EXPECT_EQ(providers.enabled(2), step.enabledAfter) << step.code;
    EXPECT_FALSE(providers.enabled(1));
  }
  // Enabling later does not write the start-up event: it belongs to load time.
  EXPECT_TRUE(system.written.empty());
  providers.unregisterAll();
}

}  // namespace
