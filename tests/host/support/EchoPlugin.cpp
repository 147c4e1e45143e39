// A minimal plug-in for the host's tests: it completes the handshake, serves
// GET "/echo/v1/echo" and GET "/echo/v1/items/{id}", and answers every event
// of "OnJsonApiEvent_echo_v1_input" by sending "OnEchoEvent" with the same
// payload, so the host's loading, routing and event paths can be tested
// without the inventory plug-in.
#include <cstdlib>
#include <cstring>
#include <string>

#include "PluginAbi.h"

namespace {

constexpr const char* kInputEvent = "OnJsonApiEvent_echo_v1_input";

struct EchoPlugin {
  PluginCallbacks callbacks{};
  const PluginCoreContext* context = nullptr;
  ApiFunctionRecord functions[2]{};
  PluginApiTable table{};
  ApiEventRecord event{};
  int routeContext[2] = {1, 2};
};

char* copyText(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

void setMember(CoreStructMember& member, const char* key, const std::string& value) {
  member.key = key;
  member.ownsKey = 0;
  member.value.kind = CORE_VALUE_STRING_OWNED;
  member.value.u.block.data = copyText(value);
  member.value.u.block.count = 0;
}

void QOR_CDECL releaseAnswer(CoreResponse* response) {
  if (response->body.kind == CORE_VALUE_STRUCT) {
    auto* members = static_cast<CoreStructMember*>(response->body.u.block.data);
    for (uint32_t i = 0; i < response->body.u.block.count; ++i)
      std::free(members[i].value.u.block.data);
    std::free(members);
  }
  std::free(response->error);
  std::memset(response, 0, sizeof *response);
}

// Answers {"uri", "route", "header"}: the URI as received, which route was
// called (from the call context), and the "x-echo" request header.
void QOR_CDECL dispatch(CoreResponse* response, const CoreRequest* request) {
  std::memset(response, 0, sizeof *response);
  response->release = &releaseAnswer;
  const int* route = static_cast<const int*>(request->callContext);
  if (route == nullptr) {
    response->error = copyText("No call context");
    response->hasError = 1;
    response->status = 500;
    return;
  }
  const std::string uri = request->uri == nullptr ? "" : request->uri;
  if (uri.find("fail=1") != std::string::npos) {
    response->error = copyText("Echo failure requested");
    response->hasError = 1;
    response->status = 418;
    return;
  }
  std::string header;
  for (uint32_t i = 0; i < request->headerCount; ++i) {
    if (std::strcmp(request->headers[i].name, "x-echo") == 0) header = request->headers[i].value;
  }
  auto* members = static_cast<CoreStructMember*>(std::calloc(3, sizeof(CoreStructMember)));
  setMember(members[0], "header", header);
  setMember(members[1], "route", *route == 1 ? "echo" : "items");
  setMember(members[2], "uri", uri);
  response->body.kind = CORE_VALUE_STRUCT;
  response->body.u.block.data = members;
  response->body.u.block.count = 3;
  response->status = 200;
}

void QOR_CDECL onInput(const CoreEvent* event) {
  auto* plugin = static_cast<EchoPlugin*>(event->context);
  CoreEvent echo{};
  echo.name = "OnEchoEvent";
  echo.payload = event->payload;  // the core copies what it is sent
  plugin->context->api->SendEvent(plugin->context->api, &echo);
}

uint8_t QOR_CDECL start(void* object, const PluginCoreContext* context) {
  auto* plugin = static_cast<EchoPlugin*>(object);
  plugin->context = context;
  const PluginCoreApi* api = context->api;
  api->Log(api, 3, "echo started");
  api->Subscribe(api, kInputEvent, context->handle, &onInput, plugin, 0);
  return 1;
}

void QOR_CDECL stop(void* object) {
  auto* plugin = static_cast<EchoPlugin*>(object);
  if (plugin->context != nullptr) {
    const PluginCoreApi* api = plugin->context->api;
    api->Unsubscribe(api, kInputEvent, plugin->context->handle);
    api->Log(api, 3, "echo stopped");
  }
  delete plugin;
}

void fillFunction(ApiFunctionRecord& record, const char* name, const char* uri,
                  const void* context) {
  record.head.name = name;
  record.head.nameSpace = "";
  record.head.callContext = context;
  record.head.returnCode = 13;
  record.dispatch = &dispatch;
  record.uriTemplate = uri;
  record.method = CORE_METHOD_GET;
  record.methodName = "";
}

}  // namespace

extern "C" QOR_EXPORT void QOR_CDECL load_qor_inventory(PluginHandshake* handshake) {
  auto* plugin = new EchoPlugin();
  plugin->callbacks.Start = &start;
  plugin->callbacks.Stop = &stop;
  fillFunction(plugin->functions[0], "GetEchoV1Echo", "/echo/v1/echo", &plugin->routeContext[0]);
  fillFunction(plugin->functions[1], "GetEchoV1ItemsById", "/echo/v1/items/{id}",
               &plugin->routeContext[1]);
  plugin->functions[0].head.next = &plugin->functions[1];
  plugin->event.name = "OnEchoEvent";
  plugin->event.nameSpace = "";
  plugin->event.typeName = "object";
  plugin->event.description = "Sent for every input event.";
  plugin->table.functions = plugin->functions;
  plugin->table.functionCount = 2;
  plugin->table.events = &plugin->event;
  plugin->table.eventCount = 1;
  // The version the host announced stays readable in the log of a test.
  handshake->major = CORE_API_VERSION_MAJOR;
  handshake->minor = 0;
  handshake->patch = 0;
  handshake->callbacks = &plugin->callbacks;
  handshake->plugin = plugin;
  handshake->shortName = "echo";
  handshake->apiTable = &plugin->table;
}
