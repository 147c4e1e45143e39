// PluginLogTarget: the log target that forwards every line to the core's Log
// entry once the core has started the plug-in.
#pragma once

#include "PluginAbi.h"
#include "logging/LogTarget.h"
#include "runtime/CoreApi.h"

namespace qor {

class PluginLogTarget final : public LogTarget {
 public:
  // Keeps the core's table read from the context now; the target may outlive
  // the context's owner being reconfigured, never the table itself.
  explicit PluginLogTarget(const PluginCoreContext* context);
  // Detaches first, so that no write reaches a destroyed target.
  ~PluginLogTarget() override;

  const char* className() const override;
  // Passes the record's level and message text to the core. The line format
  // is kept like any target's but not applied: the core stamps its own lines.
  bool write(const LogRecord& record) override;
  void flush() override {}

 private:
  CoreApi core_;
};

}  // namespace qor
