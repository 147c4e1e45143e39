// qor_host: loads plug-in libraries as the platform's core does and serves
// them over HTTP on loopback until SIGINT or SIGTERM.
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/CommandLine.h"
#include "host/HostCore.h"
#include "host/HttpFront.h"
#include "host/Scenario.h"

namespace {

using namespace qor::host;

constexpr int kDefaultPort = 8470;

void usage(std::FILE* out) {
  std::fprintf(out,
               "usage: qor_host [--plugin PATH]... [--scenario FILE] [--var NAME=VALUE]...\n"
               "                [--port N] [--bind ADDRESS] [--core-version X.Y.Z]\n"
               "                [--event-threads N] [--quiet] [--version]\n"
               "  --plugin PATH       plug-in library to load (repeatable), entered through\n"
               "                      load_ and its base name (libqor_x.so: load_qor_x)\n"
               "  --scenario FILE     initial resources (the \"resources\" object)\n"
               "  --var NAME=VALUE    fills ${NAME} in the scenario's strings\n"
               "  --port N            HTTP port on the bind address (default %d; 0 picks one)\n"
               "  --bind ADDRESS      HTTP address (default 127.0.0.1)\n"
               "  --core-version V    core API version announced in the handshake (18.0.0)\n"
               "  --event-threads N   event delivery threads (default 4)\n"
               "  --quiet             keep log lines for GET /logs only\n"
               "  --version           print the host's version\n",
               kDefaultPort);
}

int fail(int code, const std::string& message) {
  std::fprintf(stderr, "qor_host: %s\n", message.c_str());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  blockStopSignals();
  std::vector<std::string> pluginPaths;
  std::string scenarioPath;
  std::map<std::string, std::string> vars;
  std::string address = "127.0.0.1";
  int port = kDefaultPort;
  HostOptions options;
  bool quiet = false;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)name;
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return kExitOk;
    } else if (arg == "--version") {
      std::printf("qor_host %s\n", QOR_VERSION);
      return kExitOk;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--plugin" || arg == "--scenario" || arg == "--var" || arg == "--port" ||
               arg == "--bind" || arg == "--core-version" || arg == "--event-threads") {
      const char* text = value(arg.c_str());
      if (text == nullptr) return fail(kExitUsage, arg + " needs a value");
      if (arg == "--plugin") {
        pluginPaths.emplace_back(text);
      } else if (arg == "--scenario") {
        scenarioPath = text;
      } else if (arg == "--var") {
        if (!addVariable(text, vars)) return fail(kExitUsage, "--var expects NAME=VALUE");
      } else if (arg == "--port") {
        const auto number = parseNumber(text, 0, 65535);
        if (!number) return fail(kExitUsage, "--port expects 0 to 65535");
        port = static_cast<int>(*number);
      } else if (arg == "--bind") {
        address = text;
      } else if (arg == "--core-version") {
        unsigned parts[3];
        if (!parseVersion(text, parts)) return fail(kExitUsage, "--core-version expects X.Y.Z");
        options.major = parts[0];
        options.minor = parts[1];
        options.patch = parts[2];
      } else {
        const auto number = parseNumber(text, 1, 64);
        if (!number) return fail(kExitUsage, "--event-threads expects 1 to 64");
        options.eventThreads = static_cast<unsigned>(*number);
      }
    } else {
      usage(stderr);
      return fail(kExitUsage, "unknown argument " + arg);
    }
  }

  Scenario scenario;
  if (!scenarioPath.empty()) {
    ScenarioResult loaded = loadScenario(scenarioPath, vars);
    if (!loaded.error.empty()) return fail(kExitScenarioFailed, loaded.error);
    scenario = std::move(loaded.scenario);
  }

  HostLog log(quiet ? nullptr : stderr);
  HostCore core(options, log);
  for (const std::string& path : pluginPaths) {
    const LoadResult loaded = core.load(path);
    if (loaded.plugin == nullptr) {
      core.stopAll();
      return fail(loaded.exitCode, loaded.error);
    }
  }
  // Resources exist before any plug-in starts, so each watch finds its
  // resource's current value at once.
  for (const auto& [uri, value] : scenario.resources.items()) core.setResource(uri, value);
  for (const auto& plugin : core.plugins()) {
    if (!core.start(*plugin)) {
      core.stopAll();
      return fail(kExitStartFailed, plugin->shortName + " reported a failed start");
    }
  }

  HttpFront front(core);
  front.setScenes(scenario.scenes);
  const int bound = front.bind(address, port);
  if (bound < 0) {
    core.stopAll();
    return fail(kExitServerFailed,
                "cannot listen on " + address + ":" + std::to_string(port));
  }
  std::printf("qor_host listening on http://%s:%d\n", address.c_str(), bound);
  std::fflush(stdout);

  bool served = true;
  std::thread server([&] { served = front.run(); });
  const int signal = waitForStopSignal();
  log.write(CORE_LOG_ALWAYS, "host", std::string("Stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
  front.stop();
  server.join();
  core.stopAll();
  return served ? kExitOk : kExitServerFailed;
}
