// A plug-in broken on purpose, for the validator's own tests: built once per
// fault (QOR_BROKEN_FAULT), each library shows the validator one fault it
// claims to catch. Written against PluginAbi.h alone, so that the fault is
// exactly the one written here.
//   1 crash   every call of its function dereferences a null pointer
//   2 leak    every call allocates 4 KiB it never frees (and counts it)
//   3 late    a thread it leaves behind calls the core's Log after Stop
//   4 record  a malformed API table (a route that does not parse, a type
//             code that is no type) and a malformed response record
//   5 hang    every call of its function waits forever
//   6 orphan  a thread it leaves behind keeps calling every core entry for a
//             second after Stop, and releases a response it took after Stop
//             only at its end: long enough to outlive the core in the
//             validator's own tests
#include "PluginAbi.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#ifndef QOR_BROKEN_FAULT
#error "QOR_BROKEN_FAULT selects the fault"
#endif
#ifndef QOR_BROKEN_EXPORT
#error "QOR_BROKEN_EXPORT names the entry point"
#endif

namespace {

constexpr int kCrash = 1, kLeak = 2, kLate = 3, kRecord = 4, kHang = 5, kOrphan = 6;

// The plug-in's own allocation counters, for GetMemoryStats.
std::atomic<std::uint64_t> gBytes{0}, gAllocations{0}, gFreed{0}, gFrees{0};

void* counted(std::size_t size) {
  gBytes += size;
  ++gAllocations;
  return std::malloc(size);
}

struct Broken {
  PluginCallbacks callbacks{};
  const PluginCoreContext* context = nullptr;
  ApiFunctionRecord functions[2]{};
  ApiArgumentRecord argument{};
  ApiArgumentLocationEntry location{};
  PluginApiTable table{};
  int routeContext[2] = {1, 2};
};

void QOR_CDECL release(CoreResponse* response) { std::memset(response, 0, sizeof *response); }

void QOR_CDECL dispatch(CoreResponse* response, const CoreRequest* request) {
  std::memset(response, 0, sizeof *response);
  if (QOR_BROKEN_FAULT == kCrash) {
    volatile int* nowhere = nullptr;
    *nowhere = request->method;
  }
  if (QOR_BROKEN_FAULT == kLeak) static_cast<void>(counted(4096));
  while (QOR_BROKEN_FAULT == kHang) std::this_thread::sleep_for(std::chrono::seconds(1));
  if (QOR_BROKEN_FAULT == kRecord) {
    // An error flag without an error text, and nothing to release it with.
    response->hasError = 1;
    response->status = 500;
    return;
  }
  static const char kText[] = "fine";
  response->body.kind = CORE_VALUE_STRING_BORROWED;
  response->body.u.block.data = const_cast<char*>(kText);
  response->status = 200;
  response->release = &release;
}

std::uint8_t QOR_CDECL start(void* object, const PluginCoreContext* context) {
  static_cast<Broken*>(object)->context = context;
  return 1;
}

void QOR_CDECL ignoreEvent(const CoreEvent*) {}

// The orphan's thread: every entry, round after round, with the table and
// handle it kept from Start.
void callAfterStop(const PluginCoreApi* api, void* handle) {
  CoreResponse kept{};
  CoreRequest request{};
  request.method = CORE_METHOD_GET;
  request.uri = "/broken/v1/kept";
  request.handle = handle;
  api->SendRequest(api, &kept, &request);
  for (int round = 0; round < 100; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    api->Log(api, CORE_LOG_ERROR, "still here after Stop");
    CoreEvent event{};
    event.name = "OnBrokenEvent";
    api->SendEvent(api, &event);
    api->Subscribe(api, "OnBrokenEvent", handle, &ignoreEvent, nullptr, 0);
    api->Unsubscribe(api, "OnBrokenEvent", handle);
    api->EnterWait(api, "orphan", 0);
    api->LeaveWait(api);
    api->Yield(api);
    CoreResponse response{};
    api->SendRequest(api, &response, &request);
    if (response.release != nullptr) response.release(&response);
    ExternalRequest outside{};
    outside.method = CORE_METHOD_GET;
    outside.url = "http://127.0.0.1:9/broken";
    ExternalResponse answer{};
    api->SendExternalRequest(api, &answer, &outside);
    if (answer.release != nullptr) answer.release(&answer);
  }
  if (kept.release != nullptr) kept.release(&kept);
}

void QOR_CDECL stop(void* object) {
  auto* plugin = static_cast<Broken*>(object);
  if (QOR_BROKEN_FAULT == kLate && plugin->context != nullptr) {
    const PluginCoreApi* api = plugin->context->api;
    std::thread([api] {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      api->Log(api, CORE_LOG_ERROR, "still here after Stop");
    }).detach();
  }
  if (QOR_BROKEN_FAULT == kOrphan && plugin->context != nullptr)
    std::thread(&callAfterStop, plugin->context->api, plugin->context->handle).detach();
  gFreed += sizeof(Broken);
  ++gFrees;
  plugin->~Broken();
  std::free(plugin);
}

void QOR_CDECL memoryStats(void*, std::uint32_t* words) {
  const std::uint64_t live = gBytes - gFreed;
  const std::uint64_t counters[6] = {live, gAllocations - gFrees, gBytes, gAllocations, gFreed, gFrees};
  for (int i = 0; i < 6; ++i) {
    words[2 * i] = static_cast<std::uint32_t>(counters[i]);
    words[2 * i + 1] = static_cast<std::uint32_t>(counters[i] >> 32);
  }
  words[12] = 0;
  words[13] = 0;
}

void fill(ApiFunctionRecord& record, const char* name, const char* uri, const void* context) {
  record.head.name = name;
  record.head.nameSpace = "";
  record.head.description = "";
  record.head.help = "";
  record.head.asyncTypeName = "";
  record.head.returnTypeName = "";
  record.head.returnCode = 12;  // string
  record.head.callContext = context;
  record.dispatch = &dispatch;
  record.uriTemplate = uri;
  record.method = CORE_METHOD_GET;
  record.methodName = "";
}

}  // namespace

extern "C" QOR_EXPORT void QOR_CDECL QOR_BROKEN_EXPORT(PluginHandshake* handshake) {
  void* memory = counted(sizeof(Broken));
  auto* plugin = new (memory) Broken();
  plugin->callbacks = PluginCallbacks{&start, &stop, &memoryStats};
  fill(plugin->functions[0], "GetBrokenV1Thing", "/broken/v1/thing", &plugin->routeContext[0]);
  fill(plugin->functions[1], "GetBrokenV1Other", QOR_BROKEN_FAULT == kRecord ? "/broken/v1/{unclosed" : "/broken/v1/other",
       &plugin->routeContext[1]);
  plugin->functions[0].head.next = &plugin->functions[1];
  plugin->argument.name = "n";
  plugin->argument.description = "";
  plugin->argument.typeName = "";
  plugin->argument.typeCode = QOR_BROKEN_FAULT == kRecord ? 42 : 6;  // int32, or no type at all
  plugin->functions[0].head.arguments = &plugin->argument;
  plugin->functions[0].head.argumentCount = 1;
  plugin->location.location = 1;  // query
  plugin->functions[0].locations = &plugin->location;
  plugin->table.functions = plugin->functions;
  plugin->table.functionCount = 2;
  handshake->major = CORE_API_VERSION_MAJOR;
  handshake->minor = CORE_API_VERSION_MINOR;
  handshake->patch = CORE_API_VERSION_PATCH;
  handshake->callbacks = &plugin->callbacks;
  handshake->plugin = plugin;
  handshake->shortName = "broken";
  handshake->apiTable = &plugin->table;
}
