// qor_standin_service: the stand-in for the remote inventory service, for
// development and tests, serving a scenario's "inventoryService" data until
// SIGINT or SIGTERM.
#include <cstdio>
#include <string>
#include <thread>

#include "host/CommandLine.h"
#include "host/Scenario.h"
#include "standin/InventoryService.h"

namespace {

using namespace qor::host;
using namespace qor::standin;

void usage(std::FILE* out) {
  std::fprintf(out,
               "usage: qor_standin_service --scenario FILE [--var NAME=VALUE]... [--port N]\n"
               "                           [--bind ADDRESS] [--fail-status N] [--delay-ms N]\n"
               "                           [--signed-ttl SECONDS]\n"
               "  --scenario FILE     the \"inventoryService\" object: token, signingKey, players\n"
               "  --port N            port (default 0: a free one, printed at start)\n"
               "  --fail-status N     answer every inventories request with status N\n"
               "  --delay-ms N        wait N ms before answering\n"
               "  --signed-ttl S      lifetime of signed inventories in seconds\n"
               "Test controls over HTTP: GET /admin/stats, POST /admin/reset-stats,\n"
               "PUT|DELETE /admin/failure {\"status\",\"count\"}, PUT /admin/delay {\"ms\"},\n"
               "PUT /admin/signed-ttl {\"seconds\"}, POST /admin/players/<puuid>/items/<type>.\n");
}

int fail(int code, const std::string& message) {
  std::fprintf(stderr, "qor_standin_service: %s\n", message.c_str());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  blockStopSignals();
  std::string scenarioPath;
  std::map<std::string, std::string> vars;
  std::string address = "127.0.0.1";
  int port = 0;
  int failStatus = 0;
  int delayMs = 0;
  long long signedTtl = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return 0;
    }
    if (i + 1 >= argc) {
      usage(stderr);
      return fail(2, "unknown argument or missing value: " + arg);
    }
    const std::string text = argv[++i];
    if (arg == "--scenario") {
      scenarioPath = text;
    } else if (arg == "--var") {
      if (!addVariable(text, vars)) return fail(2, "--var expects NAME=VALUE");
    } else if (arg == "--port") {
      const auto number = parseNumber(text, 0, 65535);
      if (!number) return fail(2, "--port expects 0 to 65535");
      port = static_cast<int>(*number);
    } else if (arg == "--bind") {
      address = text;
    } else if (arg == "--fail-status") {
      const auto number = parseNumber(text, 100, 599);
      if (!number) return fail(2, "--fail-status expects 100 to 599");
      failStatus = static_cast<int>(*number);
    } else if (arg == "--delay-ms") {
      const auto number = parseNumber(text, 0, 600000);
      if (!number) return fail(2, "--delay-ms expects 0 to 600000");
      delayMs = static_cast<int>(*number);
    } else if (arg == "--signed-ttl") {
      const auto number = parseNumber(text, 0, 100LL * 365 * 86400);
      if (!number) return fail(2, "--signed-ttl expects seconds");
      signedTtl = *number;
    } else {
      usage(stderr);
      return fail(2, "unknown argument " + arg);
    }
  }
  if (scenarioPath.empty()) {
    usage(stderr);
    return fail(2, "--scenario is required");
  }
  const ScenarioResult loaded = loadScenario(scenarioPath, vars);
  if (!loaded.error.empty()) return fail(8, loaded.error);
  std::string error;
  auto service = InventoryService::create(loaded.scenario.inventoryService, error);
  if (!service) return fail(8, scenarioPath + ": " + error);
  if (failStatus != 0) service->setFailure(failStatus, 0);
  service->setDelayMs(delayMs);
  if (signedTtl >= 0) service->setSignedTtlSeconds(signedTtl);

  const int bound = service->bind(address, port);
  if (bound < 0) return fail(7, "cannot listen on " + address + ":" + std::to_string(port));
  std::printf("qor_standin_service listening on http://%s:%d\n", address.c_str(), bound);
  std::fflush(stdout);
  bool served = true;
  std::thread server([&] { served = service->run(); });
  waitForStopSignal();
  service->stop();
  server.join();
  return served ? 0 : 7;
}
