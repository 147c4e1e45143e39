// The development core: loads plug-in libraries as the platform's core
// does, hands each the ten core entries, and routes requests and events
// between plug-ins, the resource store and outside HTTP services.
#pragma once

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "PluginAbi.h"
#include "host/EventBus.h"
#include "host/HostLog.h"
#include "host/ResourceStore.h"

namespace qor::host {

struct HostOptions {
  std::uint32_t major = CORE_API_VERSION_MAJOR;
  std::uint32_t minor = CORE_API_VERSION_MINOR;
  std::uint32_t patch = CORE_API_VERSION_PATCH;
  unsigned eventThreads = 4;
};

class HostCore;

// One loaded plug-in. Its address is the handle given to the plug-in in
// PluginCoreContext; the table and context stay put until the host ends.
struct LoadedPlugin {
  // The plug-in's copy of the core table, with the way back to its owner:
  // every entry receives the table pointer first and finds the plug-in here.
  struct CoreTable {
    PluginCoreApi api;
    LoadedPlugin* owner;
  };

  HostCore* core = nullptr;
  CoreTable table{};
  PluginCoreContext context{};
  std::string path;
  void* library = nullptr;
  const PluginCallbacks* callbacks = nullptr;
  void* object = nullptr;
  std::string shortName;
  const PluginApiTable* apiTable = nullptr;
  std::uint32_t version[3] = {0, 0, 0};
  bool started = false;
};

// Exit codes of the host program, also reported by HostCore::load.
enum HostExitCode : int {
  kExitOk = 0,
  kExitUsage = 2,
  kExitLibraryMissing = 3,
  kExitExportMissing = 4,
  kExitHandshakeFailed = 5,
  kExitStartFailed = 6,
  kExitServerFailed = 7,
  kExitScenarioFailed = 8,
};

struct LoadResult {
  LoadedPlugin* plugin = nullptr;  // null on failure
  int exitCode = kExitOk;
  std::string error;
};

class HostCore {
 public:
  explicit HostCore(HostOptions options, HostLog& log);
  ~HostCore();
  HostCore(const HostCore&) = delete;
  HostCore& operator=(const HostCore&) = delete;

  // dlopen, dlsym of the entry point named after the library ("load_" and
  // its base name: load_qor_inventory for libqor_inventory.so) and the handshake with the
  // configured core version. A missing library, a missing export and a
  // handshake that leaves out the callbacks or the name give their own exit
  // code and a message naming the path.
  LoadResult load(const std::string& path);
  // Calls Start with the plug-in's context; false when it reports failure.
  bool start(LoadedPlugin& plugin);
  // Stops every started plug-in (last loaded first): its event deliveries
  // are ended and awaited, then Stop is called. Libraries are not unloaded.
  void stopAll();

  const std::vector<std::unique_ptr<LoadedPlugin>>& plugins() const { return plugins_; }

  // Answers `request` into `response` (which this zeroes first): a function
  // of a loaded plug-in whose route fits the method and the URI's path, else
  // a GET from the resource store, else the error "Not found" with 404.
  // The caller calls response.release when done.
  void sendRequest(CoreResponse& response, const CoreRequest& request);

  // Sets or deletes a resource and publishes the change as a core does: a
  // PluginResourceEvent {uri, eventType, data} under the URI's core event
  // name and again under "OnJsonApiEvent".
  ResourceEventType setResource(const std::string& uri, nlohmann::json data);
  bool deleteResource(const std::string& uri);
  void publishResourceEvent(const std::string& uri, ResourceEventType type,
                            const nlohmann::json& data);

  ResourceStore& store() { return store_; }
  EventBus& bus() { return bus_; }
  HostLog& log() { return log_; }
  const HostOptions& options() const { return options_; }

  // Open wait sections (EnterWait without LeaveWait) over all threads.
  int openWaits() const { return openWaits_.load(); }
  std::uint64_t yields() const { return yields_.load(); }

  // The core entries, reached through each plug-in's table.
  static const PluginCoreApi& coreApiTemplate();

 private:
  friend struct CoreEntries;

  HostOptions options_;
  HostLog& log_;
  ResourceStore store_;
  EventBus bus_;
  std::mutex pluginsMutex_;
  std::vector<std::unique_ptr<LoadedPlugin>> plugins_;
  std::atomic<int> openWaits_{0};
  std::atomic<std::uint64_t> yields_{0};
};

// Frees what the host put into a CoreResponse it answered itself (body
// tree, error and status texts, header block) and zeroes the record.
void QOR_CDECL releaseHostResponse(CoreResponse* response);

// Fills `response` with an error text and status; release set.
void setErrorResponse(CoreResponse& response, std::uint32_t status, const std::string& text);

}  // namespace qor::host
