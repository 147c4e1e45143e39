// Tests of the qor_host program as a process: exit codes and messages of
// failed starts, a start without plug-ins, and a clean stop on a signal.
#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>

#include "support/ChildProcess.h"

namespace qor::host {
namespace {

using nlohmann::json;
using test::ChildProcess;
using namespace std::chrono_literals;

// The port of a "... listening on http://127.0.0.1:PORT" line, or 0.
int portOf(const std::optional<std::string>& line) {
  if (!line) return 0;
  const std::size_t colon = line->rfind(':');
  return colon == std::string::npos ? 0 : std::atoi(line->c_str() + colon + 1);
}

TEST(HostProcess, FailedStartsExitWithTheirCodeAndMessage) {
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  } rows[] = {
      {{"--plugin", "/nonexistent/libqor.so"}, 3, "Cannot load plug-in library /nonexistent/libqor.so"},
      {{"--plugin", QOR_NOEXPORT_PATH}, 4, "does not export load_qor_host_noexport"},
      {{"--port", "70000"}, 2, "--port expects 0 to 65535"},
      {{"--bogus"}, 2, "unknown argument --bogus"},
      {{"--scenario", "/nonexistent/scenario.json"}, 8, "cannot read /nonexistent/scenario.json"},
      {{"--core-version", "18.x"}, 2, "--core-version expects X.Y.Z"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = {QOR_HOST_PATH, "--port", "0"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    ChildProcess host(args);
    ASSERT_TRUE(host.started());
    EXPECT_EQ(host.wait(10s), row.exitCode) << row.message;
    EXPECT_NE(host.errorText().find(row.message), std::string::npos) << host.errorText();
  }
}

TEST(HostProcess, StartsWithoutPluginsServesResourcesAndStopsOnSignal) {
  for (int signal : {SIGTERM, SIGINT}) {
    ChildProcess host({QOR_HOST_PATH, "--port", "0", "--scenario", QOR_EXAMPLE_SCENARIO, "--var",
                       "SERVICE_URL=http://127.0.0.1:9"});
    const int port = portOf(host.readLine(10s));
    ASSERT_GT(port, 0) << host.errorText();
    httplib::Client client("127.0.0.1", port);
    const auto api = client.Get("/api");
    ASSERT_TRUE(api);
    EXPECT_EQ(json::parse(api->body)["plugins"], json::array());
    const auto config = client.Get("/qor-platform-config/v1/namespaces/Inventory");
    ASSERT_TRUE(config);
    EXPECT_EQ(json::parse(config->body)["BaseServiceUrl"], "http://127.0.0.1:9");
    host.signal(signal);
    EXPECT_EQ(host.wait(10s), 0) << host.errorText();
  }
}

// A second program on a port that is already served must fail to start, not
// share the port and take part of the first one's connections.
TEST(HostProcess, APortInUseIsRefused) {
  for (const char* program : {QOR_HOST_PATH, QOR_SERVICE_PATH}) {
    ChildProcess first({program, "--port", "0", "--scenario", QOR_EXAMPLE_SCENARIO});
    const int port = portOf(first.readLine(10s));
    ASSERT_GT(port, 0) << first.errorText();
    ChildProcess second({program, "--port", std::to_string(port), "--scenario", QOR_EXAMPLE_SCENARIO});
    EXPECT_EQ(second.wait(10s), 7) << program;
    EXPECT_NE(second.errorText().find("cannot listen on 127.0.0.1:" + std::to_string(port)),
              std::string::npos)
        << second.errorText();
    first.signal(SIGTERM);
    EXPECT_EQ(first.wait(10s), 0) << program;
  }
}

TEST(HostProcess, ServesAPluginAndStopsIt) {
  ChildProcess host({QOR_HOST_PATH, "--port", "0", "--plugin", QOR_ECHO_PLUGIN_PATH});
  const int port = portOf(host.readLine(10s));
  ASSERT_GT(port, 0) << host.errorText();
  httplib::Client client("127.0.0.1", port);
  const auto echo = client.Get("/echo/v1/items/7");
  ASSERT_TRUE(echo);
  EXPECT_EQ(echo->status, 200);
  EXPECT_EQ(json::parse(echo->body)["route"], "items");
  host.signal(SIGTERM);
  EXPECT_EQ(host.wait(10s), 0);
  EXPECT_NE(host.errorText().find("| echo | echo stopped"), std::string::npos) << host.errorText();
}

}  // namespace
}  // namespace qor::host
