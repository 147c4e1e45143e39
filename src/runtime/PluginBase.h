// PluginBase: the plug-in object every backend plug-in derives from. It runs
// the handshake, starts and stops on the core's callbacks, and offers plug-in
// code registration, requests, resource watches and events. The work is done
// by the pieces it owns:
//
//   TypeRegistry, ApiDispatcher   the plug-in's types and its API table
//   CoreLink                      the link to the core every call takes
//   EventSubscriptions            core event handlers and their counts
//   ResourceWatcher               resource watches and their routing
//   ServiceProxyTable             service-proxy messages and requests
//   CoreRequests, ExternalRequests, EventPublisher
//                                 what the plug-in sends through the core
//
// A concrete plug-in overrides RegisterApi (its types and functions) and
// OnStart (its watches); the entry point constructs it and calls Handshake.
//
// Threads: the handshake, Start and Stop come from the core's thread; core
// events, API calls and the plug-in's own requests may come from any thread.
// Each piece says how it is guarded; no lock of one piece is held while
// another piece or the core is called.
#pragma once

#include "PluginAbi.h"
#include "binding/BindingProperty.h"
#include "binding/PropertyConverter.h"
#include "binding/TypeRegistration.h"
#include "dispatch/HttpMethod.h"
#include "runtime/CoreLink.h"
#include "runtime/CoreRequests.h"
#include "runtime/EventPublisher.h"
#include "runtime/EventSubscriptions.h"
#include "runtime/ExternalRequests.h"
#include "runtime/HttpRequest.h"
#include "runtime/PluginApiVersion.h"
#include "runtime/PluginIdentity.h"
#include "runtime/RequestError.h"
#include "runtime/Resource.h"
#include "runtime/ResourceWatcher.h"
#include "runtime/ServiceProxyTable.h"

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

class PluginBase {
 public:
  // Takes a reference on the log manager, creates the TypeRegistry and the
  // ApiDispatcher (which initializes the registry) and sets the callbacks.
  PluginBase();
  virtual ~PluginBase();
  PluginBase(const PluginBase&) = delete;
  PluginBase& operator=(const PluginBase&) = delete;

  // Runs the handshake for `shortName`: checks the core's version (an
  // incompatible core is reported and ends the process), stores identity,
  // route name and registration tags, registers the platform types and the
  // plug-in's API, builds the API table and writes the seven output words.
  // False (and nothing written) for a null record.
  bool Handshake(PluginHandshake* handshake, std::string_view shortName);

  // The core's Start callback: forwards logging, builds the user agent,
  // attaches the link to the core, subscribes the service-proxy events and
  // runs OnStart, whose result is Start's.
  bool Start(const PluginCoreContext* context);
  // Stop's first step: unsubscribes every core event that has a handler, then
  // empties the handler table, the service-proxy tables and both watch tables.
  void Shutdown();

  // Registers the plug-in's API (nothing here).
  virtual void RegisterApi();
  // The plug-in's own start-up (nothing here); its result is Start's.
  virtual bool OnStart();

  // ---- Registration, for RegisterApi (in any order) ----
  // The plug-in's own record T, registered as the route name followed by
  // `name` ("Greeting" becomes QorGreeterGreeting in qor-greeter) with the
  // plug-in's registration tags. Name its fields on the result.
  template <class T>
  StructRegistration<T> registerRecord(std::string_view name);
  // The plug-in's own enumeration E, named like a record. Name its values on the result.
  template <class E>
  EnumRegistration<E> registerEnumeration(std::string_view name);
  // An event the plug-in sends (SendEvent) with the payload record P.
  template <class P>
  void registerEvent(std::string_view name, std::string_view description);

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
  // Counted core subscription of the resource events of `uri` (Watch calls
  // it); the first one for an event name subscribes at the core.
  void SubscribeResource(const std::string& uri);
  // Lowers the count; the last one unsubscribes. The watches stay.
  void UnsubscribeResource(const std::string& uri);
  // Sends the change under the event name of its URI and, when `eventName`
  // differs, again under `eventName`. Nothing on success; the conversion's
  // message, or the error of a send the core could not be reached for.
  std::optional<RequestError> Publish(const Resource& resource, std::string_view eventName);

  // ---- Events ----
  // Sends an event of the plug-in's own (one its RegisterApi declared with
  // registerEvent) with `payload`, converted through the registry. Nothing on
  // success; when the payload does not convert, its message, and nothing is
  // sent; when the core could not be reached, that error.
  template <class T>
  std::optional<RequestError> SendEvent(std::string_view name, const T& payload);
  // The same for a payload that is already a value.
  std::optional<RequestError> sendEventValue(std::string_view name, const BindingProperty& payload);

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
  const PluginLogTarget* logTarget() const noexcept { return logTarget_.get(); }
  // The pieces, for plug-in code that needs more than the calls above.
  const CoreLink& link() const noexcept { return link_; }
  EventSubscriptions& events() noexcept { return events_; }
  const ResourceWatcher& watches() const noexcept { return watches_; }
  ServiceProxyTable& serviceProxies() noexcept { return serviceProxies_; }

  // The three lifecycle callbacks handed to the core.
  static std::uint8_t QOR_CDECL startCallback(void* plugin, const PluginCoreContext* context);
  static void QOR_CDECL stopCallback(void* plugin);
  static void QOR_CDECL memoryStatsCallback(void* ignored, std::uint32_t* words);

 protected:
  // For a plug-in that brings its own gateway to the core (to watch or shape
  // every call to the core); null means the plain CoreApi.
  explicit PluginBase(std::unique_ptr<CoreApi> core);

 private:
  void forwardLogging(const PluginCoreContext* context);

  // Declared first so that they are destroyed last, after the plug-in's own
  // fields: the watches, then the link, the event tables and the
  // service-proxy tables (destroyed in the reverse order).
  ResourceWatcher watches_;
  CoreLink link_;
  EventSubscriptions events_;
  ServiceProxyTable serviceProxies_;
  CoreRequests requests_;
  ExternalRequests externalRequests_;
  EventPublisher publisher_;

  PluginApiVersion coreVersion_;
  std::unique_ptr<PluginLogTarget> logTarget_;
  PluginIdentity identity_;
  std::string routeName_;
  std::vector<std::string> registrationTags_;
  std::unique_ptr<TypeRegistry> registry_;
  std::unique_ptr<ApiDispatcher> dispatcher_;
  PluginCallbacks callbacks_{};
  const PluginApiTable* apiTable_ = nullptr;
};

// ---- Templates ---------------------------------------------------------------

template <class T>
RequestResult<std::vector<T>> PluginBase::sendRequestList(HttpMethod method, std::string_view uri) {
  return requests_.sendList<T>(method, uri, *registry_);
}

template <class T>
StructRegistration<T> PluginBase::registerRecord(std::string_view name) {
  StructRegistration<T> registration = registerStruct<T>(*registry_, routeName_ + std::string(name));
  for (const std::string& tag : registrationTags_) registration.builder().addTag(tag);
  return registration;
}

template <class E>
EnumRegistration<E> PluginBase::registerEnumeration(std::string_view name) {
  EnumRegistration<E> registration = registerEnum<E>(*registry_, routeName_ + std::string(name));
  for (const std::string& tag : registrationTags_) registration.builder().addTag(tag);
  return registration;
}

template <class P>
void PluginBase::registerEvent(std::string_view name, std::string_view description) {
  EventBuilder builder = registerEventOf<P>(*registry_, name, description);
  for (const std::string& tag : registrationTags_) builder.addTag(tag);
}

template <class T>
std::optional<RequestError> PluginBase::SendEvent(std::string_view name, const T& payload) {
  BindingResult value;
  toProperty(value, payload, *registry_);
  if (!value.ok) {
    RequestError error;
    error.message = std::string(value.errorText());
    return error;
  }
  return sendEventValue(name, value.value);
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
