// CoreLink: attaching to the core and the calls through its table.
#include "runtime/CoreLink.h"

#include <utility>

namespace qor {

CoreLink::~CoreLink() = default;

void CoreLink::attach(const PluginCoreContext* context, std::string shortName,
                      std::string userAgent) {
  api_ = CoreApi(context);
  handle_ = api_.handle();
  shortName_ = std::move(shortName);
  userAgent_ = std::move(userAgent);
  telemetry_ = std::make_unique<TelemetrySink>(shortName_);
}

bool CoreLink::sendRequest(CoreResponse* response, const CoreRequest* request) {
  return api_.sendRequest(response, request);
}
bool CoreLink::sendExternalRequest(ExternalResponse* response, const ExternalRequest* request) {
  return api_.sendExternalRequest(response, request);
}
bool CoreLink::sendEvent(const CoreEvent* event) { return api_.sendEvent(event); }
bool CoreLink::subscribe(const char* eventName, void* handle, CoreEventCallback callback,
                         void* context, std::uint32_t flags) {
  return api_.subscribe(eventName, handle, callback, context, flags);
}
bool CoreLink::unsubscribe(const char* eventName, void* handle) {
  return api_.unsubscribe(eventName, handle);
}
bool CoreLink::entry5(std::uint32_t a, std::uint32_t b, std::uint32_t c, double d,
                      std::uint32_t e) {
  return api_.entry5(a, b, c, d, e);
}
bool CoreLink::yield() { return api_.yield(); }
bool CoreLink::enterWait(const char* label, std::uint32_t zero) {
  return api_.enterWait(label, zero);
}
bool CoreLink::leaveWait() { return api_.leaveWait(); }

}  // namespace qor
