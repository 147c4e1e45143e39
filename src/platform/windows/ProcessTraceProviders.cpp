// The process's event-trace providers on Windows: the functions are looked up
// by name in "Advapi32.dll", so that the library loads on systems without them.
#include "platform/TraceProviders.h"

#include "platform/windows/WindowsApi.h"

namespace qor::platform {
namespace {

static_assert(sizeof(TraceGuid) == sizeof(GUID), "provider identifiers must match GUID");
static_assert(sizeof(TraceEventDescriptor) == 16, "event descriptor must match EVENT_DESCRIPTOR");
static_assert(sizeof(TraceDataDescriptor) == 16, "data descriptor must match EVENT_DATA_DESCRIPTOR");

// Touched only at library load and unload, which the system serialises.
constinit TraceProviders processProviders;
constinit HMODULE advapi = nullptr;

template <typename Fn>
Fn lookUp(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace

void registerProcessTraceProviders() {
  if (advapi) return;
  HMODULE module = ::LoadLibraryW(L"Advapi32.dll");
  if (!module) return;
  TraceApi api;
  api.eventRegister = lookUp<decltype(api.eventRegister)>(module, "EventRegister");
  api.eventWrite = lookUp<decltype(api.eventWrite)>(module, "EventWrite");
  api.eventUnregister = lookUp<decltype(api.eventUnregister)>(module, "EventUnregister");
  if (!api.eventRegister || !api.eventWrite || !api.eventUnregister) {
    ::FreeLibrary(module);
    return;
  }
  advapi = module;
  processProviders.registerAll(api, static_cast<std::uint32_t>(::GetCurrentThreadId()));
}

void unregisterProcessTraceProviders() {
  if (!advapi) return;
  processProviders.unregisterAll();
  ::FreeLibrary(advapi);
  advapi = nullptr;
}

}  // namespace qor::platform
