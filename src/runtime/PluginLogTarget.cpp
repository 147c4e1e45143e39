// PluginLogTarget: log lines to the core.
#include "runtime/PluginLogTarget.h"

namespace qor {

PluginLogTarget::PluginLogTarget(const PluginCoreContext* context)
    : core_(context ? context->api : nullptr) {}

PluginLogTarget::~PluginLogTarget() { detach(); }

const char* PluginLogTarget::className() const { return "PluginLogTarget"; }

bool PluginLogTarget::write(const LogRecord& record) {
  core_.log(static_cast<std::int32_t>(record.level), record.message ? record.message : "");
  return true;
}

}  // namespace qor
