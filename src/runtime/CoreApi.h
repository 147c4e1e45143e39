// CoreApi: the one gateway to the core's function table. Every call checks the
// context, the table and the entry for null, so a core that leaves an entry
// out costs a skipped call, never a crash; no other code touches the raw
// pointers. The calls are virtual so that a plug-in, or a test, can hand
// PluginBase a gateway of its own that watches or shapes the traffic with the
// core; Log is not, since the log target writes to the core on its own.
#pragma once

#include "PluginAbi.h"

#include <cstdint>

namespace qor {

class CoreApi {
 public:
  CoreApi() noexcept = default;
  // Reads the table from the context at every call: the core may replace it
  // while the plug-in runs, and the context stays valid until Stop returns.
  explicit CoreApi(const PluginCoreContext* context) noexcept : context_(context) {}
  // A fixed table, for holders that outlive no context (the log target).
  explicit CoreApi(const PluginCoreApi* table) noexcept : fixed_(table) {}
  virtual ~CoreApi() = default;
  CoreApi(const CoreApi&) = default;
  CoreApi& operator=(const CoreApi&) = default;

  // Start: reads the table from `context` from now on.
  void connect(const PluginCoreContext* context) noexcept {
    context_ = context;
    fixed_ = nullptr;
  }

  const PluginCoreContext* context() const noexcept { return context_; }
  // The table in use, or null.
  const PluginCoreApi* table() const noexcept;
  // The plug-in handle of the context, or null.
  void* handle() const noexcept;

  // Each call returns false when the entry could not be reached (no context,
  // no table or a null entry); the core was then not called.
  virtual bool sendRequest(CoreResponse* response, const CoreRequest* request) const;
  virtual bool sendExternalRequest(ExternalResponse* response, const ExternalRequest* request) const;
  virtual bool sendEvent(const CoreEvent* event) const;
  virtual bool subscribe(const char* eventName, void* handle, CoreEventCallback callback, void* context,
                 std::uint32_t flags) const;
  virtual bool unsubscribe(const char* eventName, void* handle) const;
  virtual bool entry5(std::uint32_t a, std::uint32_t b, std::uint32_t c, double d, std::uint32_t e) const;
  virtual bool yield() const;
  virtual bool enterWait(const char* label, std::uint32_t zero) const;
  virtual bool leaveWait() const;
  bool log(std::int32_t level, const char* message) const;

 private:
  const PluginCoreContext* context_ = nullptr;
  const PluginCoreApi* fixed_ = nullptr;
};

}  // namespace qor
