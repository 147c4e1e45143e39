// Tests of the development core with a small test plug-in: loading, the
// handshake, request routing, the resource store and resource events.
#include "host/HostCore.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <thread>

#include "host/CoreValueJson.h"

namespace qor::host {
namespace {

using nlohmann::json;

TEST(HostCoreLoad, ReportsMissingLibraryAndMissingExport) {
  HostLog log(nullptr);
  HostCore core(HostOptions{}, log);
  const LoadResult missing = core.load("/nonexistent/libnothing.so");
  EXPECT_EQ(missing.plugin, nullptr);
  EXPECT_EQ(missing.exitCode, kExitLibraryMissing);
  EXPECT_NE(missing.error.find("Cannot load plug-in library /nonexistent/libnothing.so"),
            std::string::npos)
      << missing.error;

  const LoadResult noExport = core.load(QOR_NOEXPORT_PATH);
  EXPECT_EQ(noExport.plugin, nullptr);
  EXPECT_EQ(noExport.exitCode, kExitExportMissing);
  EXPECT_EQ(noExport.error,
            std::string("Plug-in library ") + QOR_NOEXPORT_PATH + " does not export load_qor_host_noexport");
  EXPECT_TRUE(core.plugins().empty());
}

// Collects events published on the bus, for waiting on them.
class EventLog {
 public:
  explicit EventLog(EventBus& bus) : bus_(bus) {
    id_ = bus.addListener([this](const std::string& source, const std::string& name,
                                 const json& payload) {
      std::lock_guard lock(mutex_);
      events_.push_back({{"source", source}, {"name", name}, {"payload", payload}});
      changed_.notify_all();
    });
  }
  ~EventLog() { bus_.removeListener(id_); }

  // The first event named `name` from `source`, waiting up to two seconds.
  std::optional<json> waitFor(const std::string& source, const std::string& name,
                              std::size_t skip = 0) {
    std::unique_lock lock(mutex_);
    std::optional<json> found;
    changed_.wait_for(lock, std::chrono::seconds(2), [&] {
      std::size_t seen = 0;
      for (const json& event : events_) {
        if (event["source"] == source && event["name"] == name && seen++ == skip) {
          found = event["payload"];
          return true;
        }
      }
      return false;
    });
    return found;
  }

  std::size_t count(const std::string& name) {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const json& event : events_) n += event["name"] == name ? 1 : 0;
    return n;
  }

 private:
  EventBus& bus_;
  int id_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<json> events_;
};

class HostCoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const LoadResult loaded = core_.load(QOR_ECHO_PLUGIN_PATH);
    ASSERT_NE(loaded.plugin, nullptr) << loaded.error;
    plugin_ = loaded.plugin;
    ASSERT_TRUE(core_.start(*plugin_));
  }

  // Sends a request and returns {status, error, body}.
  json call(std::uint32_t method, const std::string& uri) {
    CoreRequest request{};
    request.method = method;
    request.uri = uri.c_str();
    CoreResponse response{};
    core_.sendRequest(response, request);
    EXPECT_NE(reinterpret_cast<const void*>(response.release), nullptr) << uri;
    json result = {{"status", static_cast<std::uint32_t>(response.status)},
                   {"error", response.error ? json(response.error) : json(nullptr)},
                   {"body", coreValueToJson(response.body)}};
    if (response.release != nullptr) response.release(&response);
    return result;
  }

  HostLog log_{nullptr};
  HostCore core_{HostOptions{}, log_};
  LoadedPlugin* plugin_ = nullptr;
};

TEST_F(HostCoreTest, HandshakeAndStartAreRecorded) {
  EXPECT_EQ(plugin_->shortName, "echo");
  EXPECT_EQ(plugin_->version[0], 18u);
  EXPECT_TRUE(plugin_->started);
  ASSERT_NE(plugin_->apiTable, nullptr);
  EXPECT_EQ(plugin_->apiTable->functionCount, 2u);
  const json logged = log_.recent();
  bool started = false;
  for (const json& line : logged)
    started |= line["source"] == "echo" && line["message"] == "echo started";
  EXPECT_TRUE(started) << logged;
  EXPECT_EQ(core_.bus().subscriptionCount("OnJsonApiEvent_echo_v1_input"), 1u);
}

TEST_F(HostCoreTest, RoutesRequestsToFunctionsThenToTheStore) {
  core_.store().set("/qor-login/v1/session", {{"state", "SUCCEEDED"}});
  const struct {
    std::uint32_t method;
    const char* uri;
    std::uint32_t status;
    const char* error;  // null: success
    const char* route;  // the echo route that answered, if any
  } rows[] = {
      {2, "/echo/v1/echo?a=%20b", 200, nullptr, "echo"},
      {2, "/echo/v1/items/5", 200, nullptr, "items"},
      {2, "/echo/v1/echo?fail=1", 418, "Echo failure requested", nullptr},
      {6, "/echo/v1/echo", 404, "Not found", nullptr},
      {2, "/qor-login/v1/session", 200, nullptr, nullptr},
      {2, "qor-login/v1/session?x", 200, nullptr, nullptr},
      {7, "/qor-login/v1/session", 405, "Method not allowed", nullptr},
      {2, "/qor-store/v1/catalog", 404, "Not found", nullptr},
  };
  for (const auto& row : rows) {
    const json result = call(row.method, row.uri);
    EXPECT_EQ(result["status"], row.status) << row.uri;
    EXPECT_EQ(result["error"], row.error ? json(row.error) : json(nullptr)) << row.uri;
    if (row.route != nullptr) {
      EXPECT_EQ(result["body"]["route"], row.route) << row.uri;
      EXPECT_EQ(result["body"]["uri"], row.uri) << "the whole URI reaches the plug-in";
    }
  }
  EXPECT_EQ(call(2, "/qor-login/v1/session")["body"], json({{"state", "SUCCEEDED"}}));
}

TEST_F(HostCoreTest, ResourceChangesReachThePluginAsResourceEvents) {
  EventLog events(core_.bus());
  const struct {
    const char* action;
    const char* eventType;
  } steps[] = {{"set", "Create"}, {"set", "Update"}, {"delete", "Delete"}};
  std::size_t index = 0;
  for (const auto& step : steps) {
    if (std::string(step.action) == "set") {
      core_.setResource("echo/v1/input", {{"n", index}});
    } else {
      EXPECT_TRUE(core_.deleteResource("/echo/v1/input"));
    }
    // The echo plug-in sends back what it received.
    const auto echoed = events.waitFor("echo", "OnEchoEvent", index);
    ASSERT_TRUE(echoed.has_value()) << step.eventType;
    EXPECT_EQ((*echoed)["uri"], "/echo/v1/input");
    EXPECT_EQ((*echoed)["eventType"], step.eventType);
    EXPECT_EQ((*echoed)["data"], step.eventType == std::string("Delete") ? json(nullptr)
                                                                          : json({{"n", index}}));
    ++index;
  }
  // Each change goes out under the URI's event name and under OnJsonApiEvent.
  EXPECT_EQ(events.count("OnJsonApiEvent_echo_v1_input"), 3u);
  EXPECT_EQ(events.count("OnJsonApiEvent"), 3u);
  EXPECT_FALSE(core_.deleteResource("/echo/v1/input"));
}

TEST_F(HostCoreTest, StopEndsSubscriptionsAndLogsThroughTheCore) {
  core_.stopAll();
  EXPECT_TRUE(core_.plugins().empty());
  EXPECT_EQ(core_.bus().subscriptionCount("OnJsonApiEvent_echo_v1_input"), 0u);
  const json logged = log_.recent();
  ASSERT_FALSE(logged.empty());
  bool stopped = false;
  for (const json& line : logged) stopped |= line["message"] == "echo stopped";
  EXPECT_TRUE(stopped);
  // Requests after the stop no longer reach the unloaded library.
  EXPECT_EQ(call(2, "/echo/v1/echo")["status"], 404);
}

TEST_F(HostCoreTest, CoreEntriesCheckTheirArguments) {
  const PluginCoreApi* api = plugin_->context.api;
  CoreResponse response{};
  api->SendRequest(api, &response, nullptr);
  EXPECT_EQ(static_cast<std::uint32_t>(response.status), 400u);
  ASSERT_NE(reinterpret_cast<const void*>(response.release), nullptr);
  response.release(&response);
  api->SendRequest(api, nullptr, nullptr);
  api->SendEvent(api, nullptr);
  api->Subscribe(api, nullptr, nullptr, nullptr, nullptr, 0);
  api->Log(api, 2, nullptr);
  api->LeaveWait(api);  // unbalanced: logged, not counted
  api->EnterWait(api, "Wait: yield", 0);
  EXPECT_EQ(core_.openWaits(), 1);
  api->Yield(api);
  api->LeaveWait(api);
  EXPECT_EQ(core_.openWaits(), 0);
  EXPECT_EQ(core_.yields(), 1u);
  ExternalResponse external{};
  api->SendExternalRequest(api, &external, nullptr);
  EXPECT_NE(static_cast<int32_t>(external.outcome), 0);
}

}  // namespace
}  // namespace qor::host
