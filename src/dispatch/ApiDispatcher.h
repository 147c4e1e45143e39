// ApiDispatcher: the plug-in's API object. It registers routed functions in
// the TypeRegistry, keeps their routes, builds the API table the core calls
// through, and answers the core's calls (see dispatchEntry).
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <vector>

#include "PluginAbi.h"
#include "binding/TypeRegistry.h"
#include "dispatch/FunctionResult.h"
#include "dispatch/FunctionRoute.h"
#include "dispatch/HandlerInvoker.h"
#include "dispatch/HttpMethod.h"
#include "platform/Mutex.h"

namespace qor {

class ApiDispatcher;

// Adds a routed function's arguments, in the handler's parameter order.
//
//   dispatcher.registerFunction(HttpMethod::Get, "/qor-inventory/v1/inventory", handler)
//       .queryArgument("inventoryTypes");
class RouteBuilder {
 public:
  RouteBuilder(FunctionBuilder builder, FunctionRoute* route) noexcept
      : builder_(builder), route_(route) {}

  // Names the next argument and records where it may come from.
  RouteBuilder& argument(std::string_view name, ArgumentLocation location = ArgumentLocation::Anywhere,
                         std::string_view description = {});
  // An argument that may only come from the URI's query.
  RouteBuilder& queryArgument(std::string_view name, std::string_view description = {}) {
    return argument(name, ArgumentLocation::Query, description);
  }
  RouteBuilder& description(std::string_view text);
  RouteBuilder& help(std::string_view text);
  RouteBuilder& tag(std::string_view text);
  RouteBuilder& threadSafe(bool value);

  FunctionDescriptor* function() const noexcept { return builder_.descriptor(); }
  FunctionRoute* route() const noexcept { return route_; }

 private:
  FunctionBuilder builder_;
  FunctionRoute* route_;
};

class ApiDispatcher {
 public:
  // Initializes the registry (clearing it and registering the builtin types
  // and events). The destructor clears it again, so the dispatcher must be
  // destroyed before the registry.
  explicit ApiDispatcher(TypeRegistry& registry);
  ~ApiDispatcher();
  ApiDispatcher(const ApiDispatcher&) = delete;
  ApiDispatcher& operator=(const ApiDispatcher&) = delete;

  TypeRegistry& registry() noexcept { return registry_; }

  // Registers `handler` for a method and URI template under the route
  // identifier of both (GET "/a/{id}" is GetAById), replacing any function of
  // that name. Name its arguments, in parameter order, on the returned builder.
  template <class R, class... A>
  RouteBuilder registerFunction(HttpMethod method, std::string_view uriTemplate,
                                std::function<FunctionResult<R>(A...)> handler);

  // The same for lambdas and other callables with one call signature.
  template <class F>
  RouteBuilder registerFunction(HttpMethod method, std::string_view uriTemplate, F&& handler) {
    return registerFunction(method, uriTemplate, std::function(std::forward<F>(handler)));
  }

  // The same for a member function of an object that outlives the dispatcher.
  template <class C, class R, class... A>
  RouteBuilder registerFunction(HttpMethod method, std::string_view uriTemplate, C* object,
                                FunctionResult<R> (C::*member)(A...)) {
    return registerFunction(method, uriTemplate, std::function<FunctionResult<R>(A...)>(
        [object, member](A... args) { return (object->*member)(std::forward<A>(args)...); }));
  }
  template <class C, class R, class... A>
  RouteBuilder registerFunction(HttpMethod method, std::string_view uriTemplate, const C* object,
                                FunctionResult<R> (C::*member)(A...) const) {
    return registerFunction(method, uriTemplate, std::function<FunctionResult<R>(A...)>(
        [object, member](A... args) { return (object->*member)(std::forward<A>(args)...); }));
  }

  // The untyped form behind registerFunction.
  RouteBuilder registerRoute(HttpMethod method, std::string_view uriTemplate,
                             std::unique_ptr<HandlerInvoker> invoker, TypeRef returns,
                             std::span<const TypeRef> argumentTypes);

  // Writes the API table: one 90-byte record per routed function (words 0
  // and 1), and the registry's type and event records (words 2 to 5).
  // Lifetime: the table and every record it points to stay valid while the
  // dispatcher lives (a later call builds a new table and keeps the old one);
  // strings point into the registry's descriptors and routes.
  const PluginApiTable* buildApiTable();

  // A copy of the route table, in registration order, taken under the mutex.
  std::vector<const FunctionRoute*> routes() const;
  // The route of a function, or null.
  const FunctionRoute* findRoute(const FunctionDescriptor* function) const;

  // Answers one call of a routed function: matches `route` (which must be
  // one of this dispatcher's) against the request, binds the arguments,
  // calls the handler and fills `response` (zeroed first; release it
  // through response.release). Never throws.
  void dispatch(CoreResponse& response, const CoreRequest& request, const FunctionRoute* route);

  // Stopping: from now on calls are answered "The plug-in is stopping" with
  // status 503, and this returns once the calls already running have
  // answered. The core may call Stop while calls are in flight; the plug-in
  // object must outlive them. Must not be called from inside a call.
  void close();
  // Calls running now.
  int runningCalls() const noexcept { return running_.load(); }

 private:
  struct ApiTableStorage;
  bool ownsRoute(const FunctionRoute* route) const;

  TypeRegistry& registry_;
  mutable platform::Mutex mutex_;
  std::vector<std::unique_ptr<FunctionRoute>> routes_;  // registration order
  // Routes of replaced functions. The core may still hold their call
  // contexts, which live inside the route, so they are kept (unusable)
  // until the dispatcher goes.
  std::vector<std::unique_ptr<FunctionRoute>> retired_;
  std::unordered_set<const FunctionRoute*> liveRoutes_;
  std::vector<std::unique_ptr<ApiTableStorage>> tables_;  // every table built, newest last
  std::atomic<int> running_{0};
  std::atomic<bool> closed_{false};
};

// The dispatch entry of every function record in the API table: finds the
// route through request->callContext and answers the call. A null request,
// an unknown context or a request no route fits is answered with the error
// "Invalid function" and status 404.
extern "C" void QOR_CDECL dispatchEntry(CoreResponse* response, const CoreRequest* request);

// The release function of every response dispatchEntry fills: frees the
// value, the error text, the status text, the headers, then zeroes the record.
extern "C" void QOR_CDECL releaseDispatchResponse(CoreResponse* response);

template <class R, class... A>
RouteBuilder ApiDispatcher::registerFunction(HttpMethod method, std::string_view uriTemplate,
                                             std::function<FunctionResult<R>(A...)> handler) {
  auto invoker = std::make_unique<TypedHandlerInvoker<R, A...>>(std::move(handler), registry_);
  auto* typed = invoker.get();
  const TypeRef argumentTypes[sizeof...(A) + 1] = {typeRefOf<std::decay_t<A>>(registry_)...,
                                                   TypeRef{}};
  RouteBuilder builder =
      registerRoute(method, uriTemplate, std::move(invoker), resultTypeRefOf<R>(registry_),
                    std::span<const TypeRef>(argumentTypes, sizeof...(A)));
  typed->setFunction(builder.function());
  return builder;
}

}  // namespace qor
