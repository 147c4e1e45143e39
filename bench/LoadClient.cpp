// qor_load_client: a bounded load client for the development host. It runs
// the stand-in inventory service, the host core with the plug-in and the
// HTTP front in this process, warms the inventory cache, then measures the
// cached inventory call twice: straight through the function's dispatch
// entry, and over loopback HTTP with keep-alive connections.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/CommandLine.h"
#include "host/HostCore.h"
#include "host/HttpFront.h"
#include "host/Scenario.h"
#include "standin/InventoryService.h"

namespace {

using namespace qor::host;
using qor::standin::InventoryService;
using Clock = std::chrono::steady_clock;

struct Figures {
  std::size_t count = 0;
  double seconds = 0;
  double p50 = 0, p90 = 0, p99 = 0, max = 0;  // microseconds
};

Figures summarise(std::vector<double>& micros, double seconds) {
  Figures figures;
  figures.count = micros.size();
  figures.seconds = seconds;
  if (micros.empty()) return figures;
  std::sort(micros.begin(), micros.end());
  auto at = [&](double q) {
    return micros[std::min(micros.size() - 1, static_cast<std::size_t>(q * micros.size()))];
  };
  figures.p50 = at(0.50);
  figures.p90 = at(0.90);
  figures.p99 = at(0.99);
  figures.max = micros.back();
  return figures;
}

void print(const char* name, const Figures& f) {
  std::printf("%-28s %9zu req %10.0f req/s   p50 %8.1f us   p90 %8.1f us   p99 %8.1f us   max %9.1f us\n",
              name, f.count, f.seconds > 0 ? f.count / f.seconds : 0.0, f.p50, f.p90, f.p99, f.max);
}

}  // namespace

int main(int argc, char** argv) {
  long long requests = 20000;
  long long connections = 4;
  long long maxSeconds = 20;
  std::string plugin = QOR_PLUGIN_PATH;
  std::string scenarioPath = QOR_EXAMPLE_SCENARIO;
  std::string query = "/qor-inventory/v1/inventory?inventoryTypes=%5B%22EMOTE%22%2C%22GEAR%22%5D";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    const std::string value = argv[i + 1];
    if (arg == "--requests") {
      requests = parseNumber(value, 1, 10000000).value_or(requests);
    } else if (arg == "--connections") {
      connections = parseNumber(value, 1, 64).value_or(connections);
    } else if (arg == "--seconds") {
      maxSeconds = parseNumber(value, 1, 600).value_or(maxSeconds);
    } else if (arg == "--plugin") {
      plugin = value;
    } else if (arg == "--scenario") {
      scenarioPath = value;
    } else if (arg == "--uri") {
      query = value;
    } else {
      std::fprintf(stderr,
                   "usage: qor_load_client [--requests N] [--connections N] [--seconds N]\n"
                   "                       [--plugin PATH] [--scenario FILE] [--uri URI]\n");
      return 2;
    }
  }

  // The service first: its port goes into the scenario's base URL.
  std::map<std::string, std::string> vars;
  ScenarioResult probe = loadScenario(scenarioPath, vars);
  if (!probe.error.empty()) return std::fprintf(stderr, "%s\n", probe.error.c_str()), 8;
  std::string error;
  auto service = InventoryService::create(probe.scenario.inventoryService, error);
  if (!service) return std::fprintf(stderr, "%s\n", error.c_str()), 8;
  const int servicePort = service->bind("127.0.0.1", 0);
  std::thread serviceThread([&] { service->run(); });
  vars["SERVICE_URL"] = "http://127.0.0.1:" + std::to_string(servicePort);
  const ScenarioResult loaded = loadScenario(scenarioPath, vars);

  HostLog log(nullptr);
  HostCore core(HostOptions{}, log);
  const LoadResult result = core.load(plugin);
  if (result.plugin == nullptr) {
    std::fprintf(stderr, "%s\n", result.error.c_str());
    service->stop();
    serviceThread.join();
    return result.exitCode;
  }
  for (const auto& [uri, value] : loaded.scenario.resources.items()) core.setResource(uri, value);
  core.start(*result.plugin);
  core.bus().drain();

  HttpFront front(core);
  const int port = front.bind("127.0.0.1", 0);
  std::thread frontThread([&] { front.run(); });

  auto stopAll = [&] {
    front.stop();
    frontThread.join();
    core.stopAll();
    service->stop();
    serviceThread.join();
  };

  // Warm the cache through HTTP and check the call succeeds at all.
  httplib::Client warm("127.0.0.1", port);
  const auto first = warm.Get(query.c_str());
  if (!first || first->status != 200) {
    std::fprintf(stderr, "warm-up call failed: %s\n",
                 first ? (std::to_string(first->status) + " " + first->body).c_str() : "no answer");
    stopAll();
    return 1;
  }
  std::printf("answer (%zu bytes): %.120s%s\n", first->body.size(), first->body.c_str(),
              first->body.size() > 120 ? "..." : "");
  const auto deadline = Clock::now() + std::chrono::seconds(maxSeconds);

  // Direct dispatch: the same route lookup and dispatch entry, no HTTP.
  std::vector<double> direct;
  direct.reserve(static_cast<std::size_t>(requests));
  const auto directStart = Clock::now();
  for (long long i = 0; i < requests && Clock::now() < deadline; ++i) {
    CoreRequest call{};
    call.method = CORE_METHOD_GET;
    call.uri = query.c_str();
    CoreResponse answer{};
    const auto t0 = Clock::now();
    core.sendRequest(answer, call);
    if (answer.release != nullptr) answer.release(&answer);
    direct.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  const double directSeconds = std::chrono::duration<double>(Clock::now() - directStart).count();

  // HTTP: `connections` keep-alive clients share the request budget.
  std::atomic<long long> budget{requests};
  std::atomic<long long> failures{0};
  std::vector<std::vector<double>> perThread(static_cast<std::size_t>(connections));
  std::vector<std::thread> clients;
  const auto httpDeadline = Clock::now() + std::chrono::seconds(maxSeconds);
  const auto httpStart = Clock::now();
  for (long long c = 0; c < connections; ++c) {
    clients.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", port);
      client.set_keep_alive(true);
      client.set_tcp_nodelay(true);
      auto& samples = perThread[static_cast<std::size_t>(c)];
      while (budget.fetch_sub(1) > 0 && Clock::now() < httpDeadline) {
        const auto t0 = Clock::now();
        const auto answer = client.Get(query.c_str());
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (!answer || answer->status != 200) failures.fetch_add(1);
      }
    });
  }
  for (auto& client : clients) client.join();
  const double httpSeconds = std::chrono::duration<double>(Clock::now() - httpStart).count();
  std::vector<double> http;
  for (auto& samples : perThread) http.insert(http.end(), samples.begin(), samples.end());

  const Figures directFigures = summarise(direct, directSeconds);
  const Figures httpFigures = summarise(http, httpSeconds);
  std::printf("uri: %s\n", query.c_str());
  print("direct dispatch (1 thread)", directFigures);
  char label[64];
  std::snprintf(label, sizeof label, "HTTP loopback (%lld conns)", connections);
  print(label, httpFigures);
  if (directFigures.p50 > 0)
    std::printf("host overhead: p50 latency x%.1f of a direct dispatch call (+%.1f us)\n",
                httpFigures.p50 / directFigures.p50, httpFigures.p50 - directFigures.p50);
  std::printf("failed HTTP calls: %lld\n", failures.load());
  stopAll();
  return failures.load() == 0 ? 0 : 1;
}
