// The development core: plug-in loading, the ten core entries, request
// routing and resource events.
#include "host/HostCore.h"

#include <dlfcn.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <type_traits>

#include "host/ApiDescription.h"
#include "protocol/CoreEventName.h"
#include "host/CoreValueJson.h"
#include "host/ExternalHttpClient.h"
#include "protocol/ExportName.h"

namespace qor::host {

static_assert(std::is_standard_layout_v<LoadedPlugin::CoreTable>);
static_assert(offsetof(LoadedPlugin::CoreTable, api) == 0,
              "the core entries find their plug-in from the table pointer");

namespace {

LoadedPlugin* ownerOf(const PluginCoreApi* api) {
  if (api == nullptr) return nullptr;
  return reinterpret_cast<const LoadedPlugin::CoreTable*>(api)->owner;
}

// Wait sections opened by this thread, innermost last.
thread_local std::vector<std::string> tWaitLabels;

}  // namespace

// The ten entries. Each finds its plug-in through the table pointer, checks
// its arguments, and never lets an exception reach the plug-in.
struct CoreEntries {
  static void QOR_CDECL sendRequest(const PluginCoreApi* api, CoreResponse* response,
                                    const CoreRequest* request) {
    LoadedPlugin* plugin = ownerOf(api);
    if (plugin == nullptr || response == nullptr) return;
    try {
      if (request == nullptr) {
        std::memset(response, 0, sizeof *response);
        setErrorResponse(*response, 400, "No request");
        return;
      }
      plugin->core->sendRequest(*response, *request);
    } catch (const std::exception& error) {
      setErrorResponse(*response, 500, std::string("Host failure: ") + error.what());
    } catch (...) {
      setErrorResponse(*response, 500, "Host failure");
    }
  }

  static void QOR_CDECL sendExternalRequest(const PluginCoreApi* api, ExternalResponse* response,
                                            const ExternalRequest* request) {
    LoadedPlugin* plugin = ownerOf(api);
    if (plugin == nullptr || response == nullptr) return;
    std::memset(response, 0, sizeof *response);
    if (request == nullptr) {
      response->outcome = CORE_OUTCOME_FAILED;
      return;
    }
    try {
      performExternalRequest(*request, *response);
    } catch (...) {
      if (response->release != nullptr) response->release(response);
      std::memset(response, 0, sizeof *response);
      response->outcome = CORE_OUTCOME_FAILED;
    }
  }

  static void QOR_CDECL sendEvent(const PluginCoreApi* api, const CoreEvent* event) {
    LoadedPlugin* plugin = ownerOf(api);
    if (plugin == nullptr || event == nullptr || event->name == nullptr) return;
    try {
      plugin->core->bus_.publish(plugin->shortName, event->name, coreValueToJson(event->payload));
    } catch (...) {
      plugin->core->log_.write(CORE_LOG_ERROR, "host", "Dropped an event that could not be copied");
    }
  }

  static void QOR_CDECL subscribe(const PluginCoreApi* api, const char* eventName, void* handle,
                                  CoreEventCallback callback, void* context, uint32_t flags) {
    LoadedPlugin* plugin = ownerOf(api);
    if (plugin == nullptr || eventName == nullptr || callback == nullptr) return;
    try {
      plugin->core->bus_.subscribe(eventName, handle, callback, context, flags);
    } catch (...) {
      plugin->core->log_.write(CORE_LOG_ERROR, "host", std::string("Subscription failed: ") + eventName);
    }
  }

  static void QOR_CDECL unsubscribe(const PluginCoreApi* api, const char* eventName,
                                    void* handle) {
    LoadedPlugin* plugin = ownerOf(api);
    if (plugin == nullptr || eventName == nullptr) return;
    try {
      plugin->core->bus_.unsubscribe(eventName, handle);
    } catch (...) {
    }
  }

  static void QOR_CDECL entry5(const PluginCoreApi*, uint32_t, uint32_t, uint32_t, double,
                               uint32_t) {}

  static void QOR_CDECL yield(const PluginCoreApi* api) {
    LoadedPlugin* plugin = ownerOf(api);
    if (plugin != nullptr) plugin->core->yields_.fetch_add(1);
    std::this_thread::yield();
  }

  static void QOR_CDECL enterWait(const PluginCoreApi* api, const char* label, uint32_t) {
    LoadedPlugin* plugin = ownerOf(api);
    if (plugin == nullptr) return;
    try {
      tWaitLabels.emplace_back(label == nullptr ? "" : label);
    } catch (...) {
      return;
    }
    plugin->core->openWaits_.fetch_add(1);
  }

  static void QOR_CDECL leaveWait(const PluginCoreApi* api) {
    LoadedPlugin* plugin = ownerOf(api);
    if (plugin == nullptr) return;
    if (tWaitLabels.empty()) {
      plugin->core->log_.write(CORE_LOG_WARN, "host",
                               plugin->shortName + " left a wait section it never entered");
      return;
    }
    tWaitLabels.pop_back();
    plugin->core->openWaits_.fetch_sub(1);
  }

  static void QOR_CDECL log(const PluginCoreApi* api, int32_t level, const char* message) {
    LoadedPlugin* plugin = ownerOf(api);
    if (plugin == nullptr) return;
    try {
      plugin->core->log_.write(level, plugin->shortName, message == nullptr ? "" : message);
    } catch (...) {
    }
  }
};

const PluginCoreApi& HostCore::coreApiTemplate() {
  static constexpr PluginCoreApi kApi = {
      &CoreEntries::sendRequest, &CoreEntries::sendExternalRequest, &CoreEntries::sendEvent,
      &CoreEntries::subscribe,   &CoreEntries::unsubscribe,         &CoreEntries::entry5,
      &CoreEntries::yield,       &CoreEntries::enterWait,           &CoreEntries::leaveWait,
      &CoreEntries::log};
  return kApi;
}

void QOR_CDECL releaseHostResponse(CoreResponse* response) {
  if (response == nullptr) return;
  releaseCoreValue(response->body);
  std::free(response->error);
  std::free(response->statusText);
  std::free(response->headers);
  std::memset(response, 0, sizeof *response);
}

void setErrorResponse(CoreResponse& response, std::uint32_t status, const std::string& text) {
  if (response.release == nullptr) response.release = &releaseHostResponse;
  std::free(response.error);
  response.error = copyCoreText(text);
  response.hasError = response.error != nullptr ? 1 : 0;
  response.status = status;
}

HostCore::HostCore(HostOptions options, HostLog& log)
    : options_(options), log_(log), bus_(options.eventThreads) {}

HostCore::~HostCore() { stopAll(); }

LoadResult HostCore::load(const std::string& path) {
  LoadResult result;
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = dlerror();
    result.exitCode = kExitLibraryMissing;
    result.error = "Cannot load plug-in library " + path + ": " + (why ? why : "unknown error");
    return result;
  }
  using LoadFn = void(QOR_CDECL*)(PluginHandshake*);
  // The entry point is named after the library (libqor_inventory.so enters
  // through load_qor_inventory), with or without its "lib".
  const std::string exportName = exportNameForLibrary(path);
  void* symbol = nullptr;
  for (const std::string& name : {exportName, exportNameKeepingPrefix(path)}) {
    dlerror();
    symbol = dlsym(library, name.c_str());
    if (symbol != nullptr) break;
  }
  if (symbol == nullptr) {
    dlclose(library);
    result.exitCode = kExitExportMissing;
    result.error = "Plug-in library " + path + " does not export " + exportName;
    return result;
  }
  LoadFn entry;
  static_assert(sizeof entry == sizeof symbol);
  std::memcpy(&entry, &symbol, sizeof entry);

  auto plugin = std::make_unique<LoadedPlugin>();
  PluginHandshake handshake{};
  handshake.major = options_.major;
  handshake.minor = options_.minor;
  handshake.patch = options_.patch;
  entry(&handshake);
  if (handshake.callbacks == nullptr || handshake.callbacks->Start == nullptr ||
      handshake.callbacks->Stop == nullptr || handshake.shortName == nullptr) {
    // Without Stop the object cannot be ended, so the library stays mapped.
    result.exitCode = kExitHandshakeFailed;
    result.error = "Plug-in library " + path +
                   " did not complete the handshake (no callbacks or no name) for core " +
                   std::to_string(options_.major) + "." + std::to_string(options_.minor) + "." +
                   std::to_string(options_.patch);
    return result;
  }
  plugin->core = this;
  plugin->path = path;
  plugin->library = library;
  plugin->callbacks = handshake.callbacks;
  plugin->object = handshake.plugin;
  plugin->shortName = handshake.shortName;
  plugin->apiTable = handshake.apiTable;
  plugin->version[0] = handshake.major;
  plugin->version[1] = handshake.minor;
  plugin->version[2] = handshake.patch;
  plugin->table.api = coreApiTemplate();
  plugin->table.owner = plugin.get();
  plugin->context.api = &plugin->table.api;
  plugin->context.handle = plugin.get();
  log_.write(CORE_LOG_ALWAYS, "host",
             "Loaded " + plugin->shortName + " (plug-in API " + std::to_string(handshake.major) +
                 "." + std::to_string(handshake.minor) + "." + std::to_string(handshake.patch) +
                 ") from " + path);
  result.plugin = plugin.get();
  std::lock_guard lock(pluginsMutex_);
  plugins_.push_back(std::move(plugin));
  return result;
}

bool HostCore::start(LoadedPlugin& plugin) {
  if (plugin.started) return true;
  plugin.started = true;  // Stop is owed even when Start reports failure
  const bool ok = plugin.callbacks->Start(plugin.object, &plugin.context) != 0;
  log_.write(ok ? CORE_LOG_ALWAYS : CORE_LOG_ERROR, "host", plugin.shortName + (ok ? " started" : " failed to start"));
  return ok;
}

void HostCore::stopAll() {
  std::vector<std::unique_ptr<LoadedPlugin>> stopping;
  {
    std::lock_guard lock(pluginsMutex_);
    stopping.swap(plugins_);
  }
  for (auto it = stopping.rbegin(); it != stopping.rend(); ++it) {
    LoadedPlugin& plugin = **it;
    // No event may reach the object while or after it is destroyed.
    bus_.detach(plugin.context.handle);
    if (plugin.started) {
      plugin.callbacks->Stop(plugin.object);
      bus_.detach(plugin.context.handle);
      log_.write(CORE_LOG_ALWAYS, "host", plugin.shortName + " stopped");
    }
    // The library stays mapped until the process ends, as with a core that
    // unloads nothing: objects the plug-in keeps in process-wide statics stay
    // reachable, and a plug-in stopped and loaded again keeps its state.
  }
}

void HostCore::sendRequest(CoreResponse& response, const CoreRequest& request) {
  std::memset(&response, 0, sizeof response);
  if (request.uri == nullptr) {
    setErrorResponse(response, 400, "No URI");
    return;
  }
  const std::string_view uri(request.uri);
  const std::string_view path = uri.substr(0, uri.find('?'));
  const std::string_view methodText =
      request.method == CORE_METHOD_OTHER && request.methodName != nullptr ? request.methodName : "";
  const ApiFunctionRecord* record = nullptr;
  {
    std::lock_guard lock(pluginsMutex_);
    for (const auto& plugin : plugins_) {
      record = findFunction(plugin->apiTable, request.method, methodText, path);
      if (record != nullptr) break;
    }
  }
  if (record != nullptr) {
    CoreRequest call = request;
    call.callContext = record->head.callContext;
    record->dispatch(&response, &call);
    return;
  }
  const auto value = store_.get(path);
  if (!value) {
    setErrorResponse(response, 404, "Not found");
    return;
  }
  if (request.method != CORE_METHOD_GET) {
    setErrorResponse(response, 405, "Method not allowed");
    return;
  }
  response.release = &releaseHostResponse;
  std::string error;
  if (!jsonToCoreValue(*value, response.body, &error)) {
    setErrorResponse(response, 500, "Cannot convert resource: " + error);
    return;
  }
  response.status = 200;
}

ResourceEventType HostCore::setResource(const std::string& uri, nlohmann::json data) {
  const ResourceEventType type = store_.set(uri, data);
  publishResourceEvent(ResourceStore::normalise(uri), type, data);
  return type;
}

bool HostCore::deleteResource(const std::string& uri) {
  if (!store_.erase(uri)) return false;
  publishResourceEvent(ResourceStore::normalise(uri), ResourceEventType::Delete, nullptr);
  return true;
}

void HostCore::publishResourceEvent(const std::string& uri, ResourceEventType type,
                                    const nlohmann::json& data) {
  const nlohmann::json payload = {
      {"uri", uri}, {"eventType", resourceEventTypeName(type)}, {"data", data}};
  const std::string name = coreEventName(uri);
  bus_.publish("host", name, payload);
  if (name != kResourceEventName) bus_.publish("host", std::string(kResourceEventName), payload);
}

}  // namespace qor::host
