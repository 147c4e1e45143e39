// CoreApi: null-checked calls through the core's function table.
#include "runtime/CoreApi.h"

namespace qor {

const PluginCoreApi* CoreApi::table() const noexcept {
  if (context_) return context_->api;
  return fixed_;
}

void* CoreApi::handle() const noexcept { return context_ ? context_->handle : nullptr; }

// Calls entry `member` of the table with the table first, when all is there.
#define QOR_CORE_CALL(member, ...)                  \
  do {                                              \
    const PluginCoreApi* api = table();             \
    if (!api || !api->member) return false;         \
    api->member(api __VA_OPT__(, ) __VA_ARGS__);    \
    return true;                                    \
  } while (0)

bool CoreApi::sendRequest(CoreResponse* response, const CoreRequest* request) const {
  QOR_CORE_CALL(SendRequest, response, request);
}

bool CoreApi::sendExternalRequest(ExternalResponse* response,
                                  const ExternalRequest* request) const {
  QOR_CORE_CALL(SendExternalRequest, response, request);
}

bool CoreApi::sendEvent(const CoreEvent* event) const { QOR_CORE_CALL(SendEvent, event); }

bool CoreApi::subscribe(const char* eventName, void* handle, CoreEventCallback callback,
                        void* context, std::uint32_t flags) const {
  QOR_CORE_CALL(Subscribe, eventName, handle, callback, context, flags);
}

bool CoreApi::unsubscribe(const char* eventName, void* handle) const {
  QOR_CORE_CALL(Unsubscribe, eventName, handle);
}

bool CoreApi::entry5(std::uint32_t a, std::uint32_t b, std::uint32_t c, double d,
                     std::uint32_t e) const {
  QOR_CORE_CALL(Entry5, a, b, c, d, e);
}

bool CoreApi::yield() const { QOR_CORE_CALL(Yield); }

bool CoreApi::enterWait(const char* label, std::uint32_t zero) const {
  QOR_CORE_CALL(EnterWait, label, zero);
}

bool CoreApi::leaveWait() const { QOR_CORE_CALL(LeaveWait); }

bool CoreApi::log(std::int32_t level, const char* message) const {
  QOR_CORE_CALL(Log, level, message ? message : "");
}

#undef QOR_CORE_CALL

}  // namespace qor
