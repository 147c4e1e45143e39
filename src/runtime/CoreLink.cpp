// CoreLink: attaching to the core.
#include "runtime/CoreLink.h"

#include <utility>

namespace qor {

CoreLink::CoreLink(std::unique_ptr<CoreApi> core)
    : core_(core ? std::move(core) : std::make_unique<CoreApi>()) {}

CoreLink::~CoreLink() = default;

void CoreLink::attach(const PluginCoreContext* context, std::string shortName,
                      std::string userAgent) {
  core_->connect(context);
  handle_ = core_->handle();
  shortName_ = std::move(shortName);
  userAgent_ = std::move(userAgent);
  telemetry_ = std::make_unique<TelemetrySink>(shortName_);
}

}  // namespace qor
