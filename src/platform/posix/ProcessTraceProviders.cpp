// POSIX systems have no event-trace service: the process registers no provider.
#include "platform/TraceProviders.h"

namespace qor::platform {

void registerProcessTraceProviders() {}
void unregisterProcessTraceProviders() {}

}  // namespace qor::platform
