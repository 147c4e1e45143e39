// The Windows library's load and unload hook: reads the high-resolution
// counter frequency for the time stamps and registers the event-trace
// providers at load; unregisters them when the library is unloaded.
#ifdef _WIN32

#include "platform/Clock.h"
#include "platform/TraceProviders.h"
#include "platform/windows/WindowsApi.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE,  DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      static_cast<void>(qor::platform::highResolutionFrequency());
      qor::platform::registerProcessTraceProviders();
      break;
    case DLL_PROCESS_DETACH:
      // At process exit (reserved non-null) the system ends the trace
      // registrations itself and other libraries may be gone already.
      if (!reserved) qor::platform::unregisterProcessTraceProviders();
      break;
    default:
      break;
  }
  return TRUE;
}

#endif  // _WIN32
