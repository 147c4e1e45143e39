// A small plug-in built on PluginBase and a fixture that runs it against the
// fake core: handshake in SetUp, Stop in TearDown.
#pragma once

#include "binding/TypeRegistration.h"
#include "runtime/PluginBase.h"
#include "support/FakeCore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace qor::testing {

// A record the test plug-in registers, to watch and request typed data.
struct TestSession {
  std::string puuid;
  std::uint64_t accountId = 0;
};

class TestPlugin : public PluginBase {
 public:
  TestPlugin() = default;
  explicit TestPlugin(std::unique_ptr<CoreApi> core) : PluginBase(std::move(core)) {}
  void RegisterApi() override {
    ++registerApiCalls;
    registerStruct<TestSession>(registry(), "TestSession")
        .field("puuid", &TestSession::puuid)
        .field("accountId", &TestSession::accountId);
  }
  bool OnStart() override {
    ++onStartCalls;
    return startResult;
  }

  int registerApiCalls = 0;
  int onStartCalls = 0;
  bool startResult = true;
};

template <class Plugin = TestPlugin>
class PluginFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin = new Plugin();
    handshake.major = CORE_API_VERSION_MAJOR;
    handshake.minor = 3;
    handshake.patch = 7;
    ASSERT_TRUE(plugin->Handshake(&handshake, "test-plugin"));
  }
  void TearDown() override { stop(); }

  // Starts through the callback the core would use.
  bool start() { return handshake.callbacks->Start(handshake.plugin, core.context()) != 0; }
  void stop() {
    if (!plugin) return;
    handshake.callbacks->Stop(handshake.plugin);
    plugin = nullptr;
  }

  FakeCore core;  // outlives the plug-in: Stop still calls it
  Plugin* plugin = nullptr;
  PluginHandshake handshake{};
};

}  // namespace qor::testing
