// The API object: route registration, the API table handed to the core, and
// the dispatch entry through which the core calls routed functions.
#include "dispatch/ApiDispatcher.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "binding/ApiExport.h"
#include "binding/CoreValueConverter.h"
#include "dispatch/ArgumentBinder.h"
#include "dispatch/RouteIdentifier.h"

namespace qor {

namespace {

// The status text of responses without one; never freed.
constinit char kSharedEmptyText[1] = {'\0'};

constexpr const char* kInvalidFunction = "Invalid function";
constexpr std::uint32_t kInvalidFunctionStatus = 404;
constexpr const char* kInternalError = "Internal error";
constexpr std::uint32_t kInternalErrorStatus = 500;

void resetResponse(CoreResponse& response) noexcept {
  std::memset(&response, 0, sizeof response);
  response.statusText = kSharedEmptyText;
  response.release = releaseDispatchResponse;
}

void failResponse(CoreResponse& response, std::string_view message, std::uint32_t status) noexcept {
  response.error = copyCoreText(message);
  response.hasError = response.error != nullptr ? 1 : 0;
  response.status = status;
}

std::uint32_t responseKindCode(std::uint32_t kind) noexcept {
  if (kind >= CORE_RESPONSE_KIND_1 && kind <= CORE_RESPONSE_KIND_3) return kind;
  return CORE_RESPONSE_KIND_NONE;
}

void fillResponse(CoreResponse& response, const CallResult& call, const TypeRegistry& registry) {
  if (call.result.ok) {
    toCoreValue(call.result.value, response.body, &registry);
  } else {
    failResponse(response, call.result.errorText(), 0);
  }
  const FunctionResponseInfo& info = call.info;
  response.flag = info.flag;
  response.responseKind = responseKindCode(info.kind);
  response.status = info.status;
  if (!info.statusText.empty()) {
    if (char* text = copyCoreText(info.statusText)) response.statusText = text;
  }
  if (!info.headers.empty()) {
    auto* headers = static_cast<CoreHeader*>(std::calloc(info.headers.size(), sizeof(CoreHeader)));
    if (headers != nullptr) {
      response.headers = headers;
      for (const auto& [name, value] : info.headers) {
        CoreHeader& header = headers[response.headerCount++];
        header.name = copyCoreText(name);
        header.value = copyCoreText(value);
      }
    }
  }
  response.read = call.body.read;
  response.close = call.body.close;
  response.sizeHint = call.body.sizeHint;
  response.stream = call.body.stream;
}

}  // namespace

// ---- Route builder ---------------------------------------------------------

RouteBuilder& RouteBuilder::argument(std::string_view name, ArgumentLocation location,
                                     std::string_view description) {
  const std::size_t index = builder_.argumentIndex();
  builder_.addArgument(name, description, TypeRef{}, static_cast<std::uint32_t>(location));
  if (route_->locations.size() <= index) route_->locations.resize(index + 1);
  route_->locations[index] = location;
  return *this;
}

RouteBuilder& RouteBuilder::description(std::string_view text) {
  builder_.setDescription(text);
  return *this;
}

RouteBuilder& RouteBuilder::help(std::string_view text) {
  builder_.setHelp(text);
  return *this;
}

RouteBuilder& RouteBuilder::tag(std::string_view text) {
  builder_.addTag(text);
  return *this;
}

RouteBuilder& RouteBuilder::threadSafe(bool value) {
  builder_.setThreadSafe(value);
  return *this;
}

// ---- Dispatcher ------------------------------------------------------------

struct ApiDispatcher::ApiTableStorage {
  ApiExport records;
  std::vector<ApiFunctionRecord> functions;
  std::vector<ApiArgumentLocationEntry> locations;
  PluginApiTable table{};
};

ApiDispatcher::ApiDispatcher(TypeRegistry& registry) : registry_(registry) {
  registry_.initialize();
}

ApiDispatcher::~ApiDispatcher() { registry_.clear(); }

RouteBuilder ApiDispatcher::registerRoute(HttpMethod method, std::string_view uriTemplate,
                                          std::unique_ptr<HandlerInvoker> invoker,
                                          TypeRef returns,
                                          std::span<const TypeRef> argumentTypes) {
  const std::string name = routeIdentifier(httpMethodName(method), uriTemplate);
  std::lock_guard<platform::Mutex> lock(mutex_);
  // Registering a name again replaces (and destroys) the earlier function;
  // its route goes with it, so no route refers to a destroyed function.
  if (const FunctionDescriptor* old = registry_.findFunction(name)) {
    for (auto it = routes_.begin(); it != routes_.end(); ++it) {
      if ((*it)->function == old) {
        liveRoutes_.erase(it->get());
        (*it)->function = nullptr;
        (*it)->handler = nullptr;
        retired_.push_back(std::move(*it));
        routes_.erase(it);
        break;
      }
    }
  }
  FunctionBuilder builder = registry_.registerFunction(name, argumentTypes.size());
  for (std::size_t i = 0; i < argumentTypes.size(); ++i) {
    builder.setArgumentType(i, argumentTypes[i], false);
  }
  builder.setReturns(returns);
  FunctionDescriptor* function = builder.descriptor();
  HandlerInvoker* handler = invoker.get();
  function->invoker = std::move(invoker);

  auto route = std::make_unique<FunctionRoute>();
  route->function = function;
  route->handler = handler;
  route->setUriTemplate(uriTemplate);
  route->setMethod(method);
  route->callContext = RouteCallContext{this, route.get()};
  FunctionRoute* raw = route.get();
  liveRoutes_.insert(raw);
  routes_.push_back(std::move(route));
  return RouteBuilder(builder, raw);
}

std::vector<const FunctionRoute*> ApiDispatcher::routes() const {
  std::lock_guard<platform::Mutex> lock(mutex_);
  std::vector<const FunctionRoute*> copy;
  copy.reserve(routes_.size());
  for (const auto& route : routes_) copy.push_back(route.get());
  return copy;
}

const FunctionRoute* ApiDispatcher::findRoute(const FunctionDescriptor* function) const {
  std::lock_guard<platform::Mutex> lock(mutex_);
  for (const auto& route : routes_) {
    if (route->function == function) return route.get();
  }
  return nullptr;
}

bool ApiDispatcher::ownsRoute(const FunctionRoute* route) const {
  std::lock_guard<platform::Mutex> lock(mutex_);
  return liveRoutes_.count(route) != 0;
}

const PluginApiTable* ApiDispatcher::buildApiTable() {
  const std::vector<const FunctionRoute*> routeCopy = routes();
  auto storage = std::make_unique<ApiTableStorage>();
  storage->records.build(registry_);

  std::size_t locationCount = 0;
  for (const FunctionRoute* route : routeCopy) locationCount += route->function->arguments.size();
  storage->functions.resize(routeCopy.size());
  storage->locations.resize(locationCount);

  const ApiFunctionExport* exported = storage->records.functions();
  const std::uint32_t exportedCount = storage->records.functionCount();
  std::size_t nextLocation = 0;
  for (std::size_t i = 0; i < routeCopy.size(); ++i) {
    const FunctionRoute& route = *routeCopy[i];
    ApiFunctionRecord& record = storage->functions[i];
    std::memset(&record, 0, sizeof record);
    for (std::uint32_t e = 0; e < exportedCount; ++e) {
      if (exported[e].name != nullptr && route.function->name == exported[e].name) {
        record.head = exported[e];
        break;
      }
    }
    record.head.next = i + 1 < routeCopy.size() ? &storage->functions[i + 1] : nullptr;
    record.head.callContext = &route.callContext;
    record.dispatch = dispatchEntry;

    const std::size_t argumentCount = route.function->arguments.size();
    ApiArgumentLocationEntry* first = argumentCount != 0 ? &storage->locations[nextLocation] : nullptr;
    for (std::size_t a = 0; a < argumentCount; ++a) {
      ApiArgumentLocationEntry& entry = storage->locations[nextLocation + a];
      entry.next = a + 1 < argumentCount ? &entry + 1 : nullptr;
      entry.location = argumentLocationCode(static_cast<std::uint32_t>(route.location(a)));
    }
    nextLocation += argumentCount;
    record.locations = first;
    record.uriTemplate = route.uriTemplate.c_str();
    record.method = static_cast<std::uint32_t>(httpMethodFromCode(static_cast<std::uint32_t>(route.method)));
    record.routeFlag = 0;
    record.stringLists = nullptr;
    record.stringListCount = 0;
    record.methodName = route.methodName.c_str();
  }

  PluginApiTable& table = storage->table;
  table.functions = storage->functions.empty() ? nullptr : storage->functions.data();
  table.functionCount = static_cast<std::uint32_t>(storage->functions.size());
  table.types = storage->records.types();
  table.typeCount = storage->records.typeCount();
  table.events = storage->records.events();
  table.eventCount = storage->records.eventCount();
  // Earlier tables stay: the core may still hold one.
  std::lock_guard<platform::Mutex> lock(mutex_);
  tables_.push_back(std::move(storage));
  return &tables_.back()->table;
}

void ApiDispatcher::dispatch(CoreResponse& response, const CoreRequest& request,
                             const FunctionRoute* route) {
  resetResponse(response);
  try {
    if (route == nullptr || !ownsRoute(route) || route->function == nullptr ||
        route->handler == nullptr) {
      failResponse(response, kInvalidFunction, kInvalidFunctionStatus);
      return;
    }
    RouteMatch match;
    match.method = httpMethodFromCode(request.method);
    if (match.method == HttpMethod::Other && request.methodName != nullptr) {
      match.methodName = request.methodName;
    }
    match.uri = request.uri != nullptr ? std::string_view(request.uri) : std::string_view();
    const FunctionRoute* const candidates[1] = {route};
    if (!matchRoutes(candidates, match)) {
      failResponse(response, kInvalidFunction, kInvalidFunctionStatus);
      return;
    }

    BindingSources sources;
    sources.headers = request.headers;
    sources.headerCount = request.headerCount;
    sources.captured = &match.captured;
    sources.query = match.query();
    sources.arguments = request.args;
    sources.argumentCount = request.argCount;
    sources.contentType =
        request.contentType != nullptr ? std::string_view(request.contentType) : std::string_view();
    sources.body = request.body;
    sources.bodySize = request.bodySize;

    ArgumentList arguments;
    CallResult call;
    const ArgumentBinder binder(*route->function, *route);
    binder.bind(call.result, sources, arguments);
    void* pending = nullptr;
    if (call.result.ok) {
      pending = route->handler->call(arguments, request.handle, call);
      // No result type of this system is request-aware: completion gets no
      // request description.
      if (call.result.ok) route->handler->complete(call, nullptr, pending, request.handle);
    }
    fillResponse(response, call, registry_);
    route->handler->release(pending);
  } catch (...) {
    // Nothing a handler or a conversion throws may reach the core.
    releaseDispatchResponse(&response);
    resetResponse(response);
    failResponse(response, kInternalError, kInternalErrorStatus);
  }
}

extern "C" void QOR_CDECL dispatchEntry(CoreResponse* response, const CoreRequest* request) {
  if (response == nullptr) return;
  try {
    const auto* context =
        request != nullptr ? static_cast<const RouteCallContext*>(request->callContext) : nullptr;
    if (context == nullptr || context->dispatcher == nullptr) {
      resetResponse(*response);
      failResponse(*response, kInvalidFunction, kInvalidFunctionStatus);
      return;
    }
    context->dispatcher->dispatch(*response, *request, context->route);
  } catch (...) {
    resetResponse(*response);
    failResponse(*response, kInternalError, kInternalErrorStatus);
  }
}

extern "C" void QOR_CDECL releaseDispatchResponse(CoreResponse* response) {
  if (response == nullptr) return;
  releaseCoreValue(response->body);
  if (response->hasError != 0) std::free(response->error);
  if (response->statusText != nullptr && response->statusText != kSharedEmptyText) {
    std::free(response->statusText);
  }
  if (response->headers != nullptr) {
    for (std::uint32_t i = 0; i < response->headerCount; ++i) {
      std::free(const_cast<char*>(response->headers[i].name));
      std::free(const_cast<char*>(response->headers[i].value));
    }
    std::free(response->headers);
  }
  std::memset(response, 0, sizeof *response);
}

}  // namespace qor
