// PluginBase: the plug-in object every backend plug-in derives from. It owns
// the TypeRegistry and the ApiDispatcher built on it, runs the handshake,
// starts and stops on the core's callbacks, forwards every call to the core
// through its slots, sends requests, and turns resource watches into core
// subscriptions.
//
// A concrete plug-in overrides RegisterApi (its types and functions) and
// OnStart (its watches); the entry point constructs it and calls Handshake.
#pragma once

#include "PluginAbi.h"
#include "binding/BindingProperty.h"
#include "binding/FormatMessage.h"
#include "binding/PropertyConverter.h"
#include "dispatch/HttpMethod.h"
#include "runtime/CoreApi.h"
#include "runtime/HttpRequest.h"
#include "runtime/PluginApiVersion.h"
#include "runtime/PluginHost.h"
#include "runtime/PluginIdentity.h"
#include "runtime/RequestError.h"
#include "runtime/Resource.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qor {

class ApiDispatcher;
class PluginLogTarget;
class TypeRegistry;

// Messages of failed requests (named placeholders, filled in this order).
inline constexpr std::string_view kErrorResponseTemplate =
    "Error response for {method} {url}: {error}";
inline constexpr std::string_view kErrorConvertingTemplate =
    "Error converting response for {method} {url}: {error}";
inline constexpr std::string_view kErrorStreamTemplate =
    "Error reading streamed response for {method} {url}: {error}";

// The most a streamed body's size hint may make the reader reserve up front.
inline constexpr std::size_t kMaxStreamReserve = 1024 * 1024;

class PluginBase : public PluginHost {
 public:
  // Takes a reference on the log manager, creates the TypeRegistry and the
  // ApiDispatcher (which initializes the registry) and sets the callbacks.
  PluginBase();
  ~PluginBase() override;

  // Runs the handshake for `shortName`: checks the core's version (an
  // incompatible core is reported and ends the process), stores identity,
  // route name and registration tags, registers the platform types and the
  // plug-in's API, builds the API table and writes the seven output words.
  // False (and nothing written) for a null record.
  bool Handshake(PluginHandshake* handshake, std::string_view shortName);

  // Callback 0: connects to the core, forwards logging, builds the user
  // agent, attaches the host and runs OnStart.
  bool Start(const PluginCoreContext* context);

  // Slots 0 and 1: reference-counted core subscriptions of resource events.
  void SubscribeResource(const std::string& uri) override;
  void UnsubscribeResource(const std::string& uri) override;

  // Slots 4 to 12: forwarded to the core's table unchanged.
  bool CoreSendRequest(CoreResponse* response, const CoreRequest* request) override;
  bool CoreSendExternalRequest(ExternalResponse* response, const ExternalRequest* request) override;
  bool CoreSendEvent(const CoreEvent* event) override;
  bool CoreSubscribe(const char* eventName, void* handle, CoreEventCallback callback, void* context,
                     std::uint32_t flags) override;
  bool CoreUnsubscribe(const char* eventName, void* handle) override;
  bool CoreEntry5(std::uint32_t a, std::uint32_t b, std::uint32_t c, double d,
                  std::uint32_t e) override;
  bool CoreYield() override;
  bool CoreEnterWait(const char* label, std::uint32_t zero) override;
  bool CoreLeaveWait() override;

  // Slot 13: registers the plug-in's API (nothing here).
  virtual void RegisterApi();
  // Slot 14: the plug-in's own start-up; its result is Start's.
  virtual bool OnStart();

  // ---- Requests through the core (they block until the core answers) ----
  // A request without arguments whose body is read into a value.
  RequestResult<BindingProperty> sendRequest(HttpMethod method, std::string_view uri);
  // A request whose body must be a collection of records T; empty elements
  // leave a default T.
  template <class T>
  RequestResult<std::vector<T>> sendRequestList(HttpMethod method, std::string_view uri);
  // A request to an outside URL; a "user-agent" header is added first unless
  // the request has one (in any case).
  HttpResponse sendExternalRequest(const HttpRequest& request);

  // ---- Resources ----
  // Watches a URI, or a pattern holding "*", with a handler that receives the
  // data converted to T (a Delete leaves T default; data that does not
  // convert drops the event). An exact URI is read at once, and a successful
  // read reaches the handler as a Create.
  template <class T>
  void Watch(const std::string& uri,
             std::function<void(const std::string& uri, ResourceEventType type, const T& data)>
                 handler);
  // The untyped watch underneath.
  void watchResource(const std::string& uri, ResourceHandler handler);
  // Sends the change under the event name of its URI and, when `eventName`
  // differs, again under `eventName`. Nothing on success.
  std::optional<RequestError> Publish(const Resource& resource, std::string_view eventName);

  // ---- State ----
  TypeRegistry& registry() noexcept { return *registry_; }
  const TypeRegistry& registry() const noexcept { return *registry_; }
  ApiDispatcher& dispatcher() noexcept { return *dispatcher_; }
  const PluginApiVersion& coreVersion() const noexcept { return coreVersion_; }
  const PluginIdentity& identity() const noexcept { return identity_; }
  const std::string& routeName() const noexcept { return routeName_; }
  // "Plugins" and "Plugin <short name>", handed to every type the plug-in registers.
  const std::vector<std::string>& registrationTags() const noexcept { return registrationTags_; }
  const PluginCallbacks& callbacks() const noexcept { return callbacks_; }
  const PluginApiTable* apiTable() const noexcept { return apiTable_; }
  const CoreApi& core() const noexcept { return core_; }
  const PluginLogTarget* logTarget() const noexcept { return logTarget_.get(); }

  // The three lifecycle callbacks handed to the core.
  static std::uint8_t QOR_CDECL startCallback(void* plugin, const PluginCoreContext* context);
  static void QOR_CDECL stopCallback(void* plugin);
  static void QOR_CDECL memoryStatsCallback(void* ignored, std::uint32_t* words);

 private:
  void forwardLogging(const PluginCoreContext* context);
  // Reads a response body (value or stream) into a value; the response stays unreleased.
  RequestResult<BindingProperty> readResponse(HttpMethod method, std::string_view uri,
                                              CoreResponse& response);

  PluginApiVersion coreVersion_;
  std::unique_ptr<PluginLogTarget> logTarget_;
  PluginIdentity identity_;
  std::string routeName_;
  std::vector<std::string> registrationTags_;
  std::unique_ptr<TypeRegistry> registry_;
  std::unique_ptr<ApiDispatcher> dispatcher_;
  CoreApi core_;
  PluginCallbacks callbacks_{};
  const PluginApiTable* apiTable_ = nullptr;
};

// ---- Templates ---------------------------------------------------------------

template <class T>
RequestResult<std::vector<T>> PluginBase::sendRequestList(HttpMethod method, std::string_view uri) {
  RequestResult<BindingProperty> body = sendRequest(method, uri);
  if (!body.ok()) return body.error();
  const std::string_view methodName = httpMethodName(method);
  const BindingProperty& list = body.value();
  if (list.kind() != BindingPropertyKind::Collection) {
    BindingResult r;
    r.setError(formatMessage(
        "Couldn't assign value to '%1' of type vector because the input not a collection.",
        kResultFieldName));
    return makeRequestError(0, kErrorConvertingTemplate, {methodName, uri, r.errorText()});
  }
  std::vector<T> items(list.size());
  BindingResult r;
  for (std::size_t i = 0; i < items.size() && r.ok; ++i) {
    const BindingProperty& element = list.get(i);
    if (element.isEmpty()) continue;
    fromProperty(r, items[i], element, kResultFieldName, *registry_);
  }
  if (!r.ok) return makeRequestError(0, kErrorConvertingTemplate, {methodName, uri, r.errorText()});
  return items;
}

template <class T>
void PluginBase::Watch(
    const std::string& uri,
    std::function<void(const std::string& uri, ResourceEventType type, const T& data)> handler) {
  watchResource(uri, [this, handler = std::move(handler)](const Resource& change) {
    if (!handler) return;
    T data{};
    if (change.eventType != ResourceEventType::Delete) {
      BindingResult r;
      fromProperty(r, data, change.data, kTopLevelFieldName, *registry_);
      if (!r.ok) return;
    }
    handler(change.uri, change.eventType, data);
  });
}

}  // namespace qor
