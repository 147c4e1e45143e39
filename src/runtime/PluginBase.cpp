// PluginBase: construction, handshake, start and stop, and the calls plug-in
// code makes, each handed to the piece that does it.
#include "runtime/PluginBase.h"

#include "binding/FormatMessage.h"
#include "binding/TypeRegistry.h"
#include "dispatch/ApiDispatcher.h"
#include "dispatch/RouteIdentifier.h"
#include "logging/AssertionReport.h"
#include "logging/DebuggerConsoleLogTarget.h"
#include "logging/LogManager.h"
#include "logging/StdErrLogTarget.h"
#include "logging/StdOutLogTarget.h"
#include "protocol/CoreEventName.h"
#include "runtime/MemoryStats.h"
#include "runtime/PluginLogTarget.h"

#include <cstdlib>
#include <mutex>
#include <utility>

namespace qor {
namespace {

constexpr const char* kPluginLogTargetName = "PluginLogTarget";

}  // namespace

PluginBase::PluginBase() : PluginBase(nullptr) {}

PluginBase::PluginBase(std::unique_ptr<CoreApi> core)
    : link_(std::move(core)),
      events_(link_),
      serviceProxies_(link_),
      requests_(link_),
      externalRequests_(link_),
      publisher_(link_) {
  LogManager::acquire();
  registry_ = std::make_unique<TypeRegistry>();
  dispatcher_ = std::make_unique<ApiDispatcher>(*registry_);
  callbacks_.Start = &PluginBase::startCallback;
  callbacks_.Stop = &PluginBase::stopCallback;
  callbacks_.GetMemoryStats = &PluginBase::memoryStatsCallback;
}

PluginBase::~PluginBase() {
  // The dispatcher clears the registry it was built on, so it goes first.
  dispatcher_.reset();
  registry_.reset();
  registrationTags_.clear();
  routeName_.clear();
  identity_ = PluginIdentity{};
  // Detached before it is destroyed, so the manager never holds a dead target.
  if (logTarget_) logTarget_->detach();
  logTarget_.reset();
  LogManager::release();
}

bool PluginBase::Handshake(PluginHandshake* handshake, std::string_view shortName) {
  if (!handshake) return false;
  coreVersion_ = PluginApiVersion{handshake->major, handshake->minor, handshake->patch, {}, {}};
  const PluginApiVersion own = pluginApiVersion();
  if (!isCompatibleCore(coreVersion_, own)) {
    const std::string message =
        formatMessage("%1 which supports plugin API %2 is not compatible with core's plugin API %3",
                      shortName, versionText(own), versionText(coreVersion_));
    reportAssertion("ALE-EECF0606", message.c_str(), nullptr, 0, nullptr);
    // The plug-in cannot run against this core, and the core expects no
    // answer: end the process.
    std::abort();
  }

  identity_ = makePluginIdentity(shortName, kBackendPluginType);
  registrationTags_ = {"Plugins", "Plugin " + std::string(shortName)};
  routeName_ = qor::routeName(shortName);

  registerPlatformTypes(*registry_);
  RegisterApi();
  apiTable_ = dispatcher_->buildApiTable();

  handshake->major = own.major;
  handshake->minor = own.minor;
  handshake->patch = own.patch;
  handshake->callbacks = &callbacks_;
  handshake->plugin = static_cast<void*>(this);
  handshake->shortName = identity_.shortName.c_str();
  handshake->apiTable = apiTable_;
  return true;
}

void PluginBase::forwardLogging(const PluginCoreContext* context) {
  std::lock_guard<platform::RecursiveMutex> lock(LogManager::lock());
  LogManager& manager = LogManager::get();
  // Another plug-in object in this process already forwards to the core.
  if (manager.findTarget(kPluginLogTargetName)) return;
  manager.stdErrTarget().detach();
  manager.stdOutTarget().detach();
  manager.debuggerConsoleTarget().detach();
  manager.setThreshold(LogLevel::Okay);
  manager.setSuppressedGroups(kLogGroupXtr);
  if (logTarget_) logTarget_->detach();
  logTarget_ = std::make_unique<PluginLogTarget>(context);
  LogTargetSettings settings;
  settings.level = manager.threshold();
  settings.included = 0;
  settings.excluded = 0;
  settings.lineFormat = kDefaultLineFormat;
  logTarget_->configure(settings);
}

bool PluginBase::Start(const PluginCoreContext* context) {
  forwardLogging(context);
  std::string agent = formatMessage("VaneClient/%1 (%2)", versionText(coreVersion_),
                                    identity_.shortName);
  link_.attach(context, identity_.shortName, std::move(agent));
  serviceProxies_.subscribe(events_, *registry_);
  return OnStart();
}

void PluginBase::Shutdown() {
  events_.unsubscribeAll();
  serviceProxies_.clear();
  watches_.clearWatches();
}

void PluginBase::RegisterApi() {}
bool PluginBase::OnStart() { return true; }

// ---- Lifecycle callbacks -----------------------------------------------------

std::uint8_t QOR_CDECL PluginBase::startCallback(void* plugin, const PluginCoreContext* context) {
  try {
    if (!plugin) return 0;
    return static_cast<PluginBase*>(plugin)->Start(context) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

void QOR_CDECL PluginBase::stopCallback(void* plugin) {
  if (!plugin) return;
  auto* self = static_cast<PluginBase*>(plugin);
  try {
    self->Shutdown();
  } catch (...) {
  }
  // The core may stop the plug-in while calls and event deliveries are still
  // running: no new call starts, and the object outlives the running ones.
  self->events_.waitForDeliveries();
  self->dispatcher_->close();
  try {
    delete self;
  } catch (...) {
  }
}

void QOR_CDECL PluginBase::memoryStatsCallback(void*, std::uint32_t* words) {
  MemoryStats::writeWords(words);
}

// ---- Requests and events -------------------------------------------------------

RequestResult<BindingProperty> PluginBase::sendRequest(HttpMethod method, std::string_view uri) {
  return requests_.send(method, uri);
}

HttpResponse PluginBase::sendExternalRequest(const HttpRequest& request) {
  return externalRequests_.send(request);
}

std::optional<RequestError> PluginBase::sendEventValue(std::string_view name,
                                                       const BindingProperty& payload) {
  return publisher_.send(name, payload, *registry_);
}

std::optional<RequestError> PluginBase::Publish(const Resource& resource,
                                                std::string_view eventName) {
  return publisher_.publish(resource, eventName, *registry_);
}

// ---- Resources -----------------------------------------------------------------

void PluginBase::SubscribeResource(const std::string& uri) {
  events_.addSubscription(
      coreEventName(uri),
      [this] {
        return CoreEventHandler([this](const BindingProperty& payload) {
          Resource change;
          BindingResult r;
          fromProperty(r, change, payload, kTopLevelFieldName, *registry_);
          if (r.ok) watches_.dispatchResource(std::move(change));
        });
      },
      kResourceEventFlags);
}

void PluginBase::UnsubscribeResource(const std::string& uri) {
  events_.removeSubscription(coreEventName(uri));
}

void PluginBase::watchResource(const std::string& uri, ResourceHandler handler) {
  ResourceHandler initial = handler;
  const bool pattern = watches_.storeWatch(uri, std::move(handler));
  SubscribeResource(uri);
  if (pattern) return;
  RequestResult<BindingProperty> current = sendRequest(HttpMethod::Get, uri);
  if (!current.ok() || !initial) return;
  Resource change;
  change.uri = uri;
  change.eventType = ResourceEventType::Create;
  change.data = std::move(current.value());
  initial(change);
}

}  // namespace qor
