// PluginBase: construction, handshake, start, the forwarding slots, requests
// through the core and resource watches.
#include "runtime/PluginBase.h"

#include "binding/CoreValueConverter.h"
#include "binding/TypeRegistry.h"
#include "dispatch/ApiDispatcher.h"
#include "dispatch/RouteIdentifier.h"
#include "formats/JsonReader.h"
#include "logging/AssertionReport.h"
#include "logging/DebuggerConsoleLogTarget.h"
#include "logging/LogManager.h"
#include "logging/StdErrLogTarget.h"
#include "logging/StdOutLogTarget.h"
#include "protocol/CoreEventName.h"
#include "runtime/MemoryStats.h"
#include "runtime/PluginLogTarget.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace qor {
namespace {

constexpr const char* kPluginLogTargetName = "PluginLogTarget";
constexpr const char* kYieldLabel = "Wait: yield";
constexpr std::uint32_t kStreamChunk = 4096;
constexpr std::string_view kNotConnected = "The core is not connected";

// Calls a response's release function once, when the response is done with.
class ResponseRelease {
 public:
  explicit ResponseRelease(CoreResponse& response) : response_(response) {}
  ~ResponseRelease() {
    CoreResponseReleaseFn release = response_.release;
    if (release) release(&response_);
  }
  ResponseRelease(const ResponseRelease&) = delete;
  ResponseRelease& operator=(const ResponseRelease&) = delete;

 private:
  CoreResponse& response_;
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Method codes 1 to 8 travel as they are, anything else as 0.
std::uint32_t methodCode(HttpMethod method) {
  return static_cast<std::uint32_t>(httpMethodFromCode(static_cast<std::uint32_t>(method)));
}

}  // namespace

PluginBase::PluginBase() {
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
  watcherRegistry_ = nullptr;
  hostRegistry_ = nullptr;
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

  hostRegistry_ = registry_.get();
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
  core_ = CoreApi(context);
  forwardLogging(context);
  std::string agent = formatMessage("VaneClient/%1 (%2)", versionText(coreVersion_),
                                    identity_.shortName);
  watcherRegistry_ = registry_.get();
  owner_ = this;
  attachHost(core_.handle(), identity_.shortName, std::move(agent));
  return OnStart();
}

void PluginBase::RegisterApi() {}
bool PluginBase::OnStart() { return true; }

// ---- Forwarding slots --------------------------------------------------------

bool PluginBase::CoreSendRequest(CoreResponse* response, const CoreRequest* request) {
  return core_.sendRequest(response, request);
}
bool PluginBase::CoreSendExternalRequest(ExternalResponse* response,
                                         const ExternalRequest* request) {
  return core_.sendExternalRequest(response, request);
}
bool PluginBase::CoreSendEvent(const CoreEvent* event) { return core_.sendEvent(event); }
bool PluginBase::CoreSubscribe(const char* eventName, void* handle, CoreEventCallback callback,
                               void* context, std::uint32_t flags) {
  return core_.subscribe(eventName, handle, callback, context, flags);
}
bool PluginBase::CoreUnsubscribe(const char* eventName, void* handle) {
  return core_.unsubscribe(eventName, handle);
}
bool PluginBase::CoreEntry5(std::uint32_t a, std::uint32_t b, std::uint32_t c, double d,
                            std::uint32_t e) {
  return core_.entry5(a, b, c, d, e);
}
bool PluginBase::CoreYield() { return core_.yield(); }
bool PluginBase::CoreEnterWait(const char* label, std::uint32_t zero) {
  return core_.enterWait(label, zero);
}
bool PluginBase::CoreLeaveWait() { return core_.leaveWait(); }

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
  self->waitForDeliveries();
  self->dispatcher_->close();
  try {
    delete self;
  } catch (...) {
  }
}

void QOR_CDECL PluginBase::memoryStatsCallback(void*, std::uint32_t* words) {
  MemoryStats::writeWords(words);
}

// ---- Requests ----------------------------------------------------------------

RequestResult<BindingProperty> PluginBase::sendRequest(HttpMethod method, std::string_view uri) {
  const std::string uriText(uri);
  const std::string_view methodName = httpMethodName(method);
  CoreRequest request{};
  request.method = methodCode(method);
  request.uri = uriText.c_str();
  request.args = nullptr;
  request.argCount = 0;
  request.handle = pluginHandle();
  CoreResponse response{};
  if (!CoreSendRequest(&response, &request))
    return makeRequestError(0, kErrorResponseTemplate, {methodName, uri, kNotConnected});
  ResponseRelease release(response);
  if (response.error) {
    const std::string error(response.error);
    return makeRequestError(static_cast<std::int32_t>(response.status), kErrorResponseTemplate,
                            {methodName, uri, error});
  }
  return readResponse(method, uri, response);
}

RequestResult<BindingProperty> PluginBase::readResponse(HttpMethod method, std::string_view uri,
                                                        CoreResponse& response) {
  const std::string_view methodName = httpMethodName(method);
  if (!response.read) {
    BindingResult body;
    CoreValue value;
    std::memcpy(&value, &response.body, sizeof value);
    fromCoreValue(body, value, kResultFieldName);
    if (!body.ok)
      return makeRequestError(0, kErrorConvertingTemplate, {methodName, uri, body.errorText()});
    return std::move(body.value);
  }

  // A streamed body: read it whole, giving the core a turn whenever a short
  // chunk says that more is on its way.
  CoreStreamReadFn read = response.read;
  CoreStreamCloseFn close = response.close;
  void* stream = response.stream;
  std::string text;
  text.reserve(std::min<std::size_t>(response.sizeHint, kMaxStreamReserve));
  char buffer[kStreamChunk];
  std::uint8_t more = 1;
  while (more) {
    std::uint32_t size = kStreamChunk;
    more = 1;
    if (!read(stream, buffer, &size, &more)) {
      if (close) close(stream);
      return makeRequestError(0, kErrorStreamTemplate, {methodName, uri, "Stream read error"});
    }
    size = std::min(size, kStreamChunk);
    text.append(buffer, size);
    if (size < kStreamChunk && more) {
      CoreEnterWait(kYieldLabel, 0);
      CoreYield();
      CoreLeaveWait();
    }
  }
  BindingResult body = readJson(std::string_view(text));
  if (close) close(stream);
  if (!body.ok) return makeRequestError(0, kErrorStreamTemplate, {methodName, uri, body.errorText()});
  return std::move(body.value);
}

HttpResponse PluginBase::sendExternalRequest(const HttpRequest& request) {
  const std::string_view methodName = httpMethodName(request.method);
  std::vector<CoreHeader> headers;
  headers.reserve(request.headers.size() + 1);
  const bool hasAgent = std::any_of(request.headers.begin(), request.headers.end(),
                                    [](const auto& h) { return equalsIgnoringCase(h.first, "user-agent"); });
  if (!hasAgent) headers.push_back(CoreHeader{"user-agent", userAgent().c_str()});
  for (const auto& [name, value] : request.headers)
    headers.push_back(CoreHeader{name.c_str(), value.c_str()});

  ExternalRequest out{};
  out.method = methodCode(request.method);
  out.url = request.url.c_str();
  out.headers = headers.empty() ? nullptr : headers.data();
  out.headerCount = static_cast<std::uint32_t>(headers.size());
  out.body = request.body.empty() ? nullptr : request.body.data();
  out.bodySize = static_cast<std::uint32_t>(request.body.size());
  out.setting1 = request.setting1;
  out.setting2 = request.setting2;

  HttpResponse result;
  ExternalResponse in{};
  if (!CoreSendExternalRequest(&in, &out)) {
    result.outcome = CORE_OUTCOME_FAILED;
    result.error = std::string(kNotConnected);
    return result;
  }

  switch (in.outcome) {
    case CORE_OUTCOME_CANCELLED:
    case CORE_OUTCOME_OK:
    case CORE_OUTCOME_TIMED_OUT: result.outcome = in.outcome; break;
    default: result.outcome = CORE_OUTCOME_FAILED; break;
  }
  const char* body = static_cast<const char*>(in.body);
  if (result.outcome != CORE_OUTCOME_OK) {
    // A failed transport puts its error text where the body would be.
    if (body) result.error.assign(body, in.bodySize);
  } else {
    result.status = in.status;
    const std::string what = formatMessage("%1 %2", methodName, request.url);
    bool inconsistent = false;
    if (in.headerCount != 0 && !in.headers) {
      result.error = formatMessage("Error converting response for %1: headers was null", what);
      inconsistent = true;
    } else {
      for (std::uint32_t i = 0; i < in.headerCount; ++i) {
        const CoreHeader& h = in.headers[i];
        result.headers.emplace(h.name ? h.name : "", h.value ? h.value : "");
      }
    }
    if (in.bodySize != 0 && !body) {
      result.error = formatMessage("Error converting response for %1: body was null", what);
      inconsistent = true;
    } else if (body) {
      result.body.assign(body, in.bodySize);
    }
    // A record with a missing block stays reported as failed even when the
    // other block was copied.
    result.conversionStatus = inconsistent ? 1 : 0;
  }
  ExternalResponseReleaseFn release = in.release;
  if (release) release(&in);
  return result;
}

// ---- Resources -----------------------------------------------------------------

void PluginBase::SubscribeResource(const std::string& uri) {
  addSubscription(
      coreEventName(uri),
      [this] {
        return CoreEventHandler([this](const BindingProperty& payload) {
          Resource change;
          BindingResult r;
          fromProperty(r, change, payload, kTopLevelFieldName, *registry_);
          if (r.ok) dispatchResource(std::move(change));
        });
      },
      kResourceEventFlags);
}

void PluginBase::UnsubscribeResource(const std::string& uri) {
  removeSubscription(coreEventName(uri));
}

void PluginBase::watchResource(const std::string& uri, ResourceHandler handler) {
  ResourceHandler initial = handler;
  const bool pattern = storeWatch(uri, std::move(handler));
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

std::optional<RequestError> PluginBase::sendEventValue(std::string_view name,
                                                      const BindingProperty& payload) {
  CoreValue value{};
  toCoreValue(payload, value, registry_.get());
  const std::string eventName(name);
  CoreEvent event{};
  event.name = eventName.c_str();
  std::memcpy(&event.payload, &value, sizeof value);
  CoreSendEvent(&event);
  releaseCoreValue(value);
  return std::nullopt;
}

std::optional<RequestError> PluginBase::Publish(const Resource& resource,
                                                std::string_view eventName) {
  BindingResult value;
  toProperty(value, resource, *registry_);
  if (!value.ok) {
    RequestError error;
    error.message = std::string(value.errorText());
    return error;
  }
  CoreValue payload{};
  toCoreValue(value.value, payload, registry_.get());
  const std::string derived = coreEventName(resource.uri);
  CoreEvent event{};
  event.name = derived.c_str();
  std::memcpy(&event.payload, &payload, sizeof payload);
  CoreSendEvent(&event);
  if (eventName != derived) {
    const std::string explicitName(eventName);
    event.name = explicitName.c_str();
    CoreSendEvent(&event);
  }
  releaseCoreValue(payload);
  return std::nullopt;
}

}  // namespace qor
