// EventPublisher: events the plug-in sends through the core: its own events
// (a name and a payload value) and changes of its resources, which go out
// under the event name derived from the resource's URI and, when it differs,
// again under an explicit name.
//
// Threads: any; nothing is locked, and the payload is written, sent and
// released on the caller's thread.
#pragma once

#include "binding/BindingProperty.h"
#include "runtime/RequestError.h"
#include "runtime/Resource.h"

#include <optional>
#include <string_view>

namespace qor {

class CoreLink;
class TypeRegistry;

// The message of an event the core could not be reached for.
inline constexpr std::string_view kErrorSendingEventTemplate = "Error sending event {event}: {error}";

class EventPublisher {
 public:
  explicit EventPublisher(CoreLink& link) : link_(link) {}

  // Sends `payload` under `name`. Nothing on success; the error when the
  // core could not be reached.
  std::optional<RequestError> send(std::string_view name, const BindingProperty& payload,
                                   const TypeRegistry& registry) const;
  // Sends the change under the event name of its URI and, when `eventName`
  // differs, again under `eventName`. Nothing on success; the conversion's
  // message when the record does not convert (nothing is sent), or the error
  // of the first send the core could not be reached for.
  std::optional<RequestError> publish(const Resource& resource, std::string_view eventName,
                                      const TypeRegistry& registry) const;

 private:
  // Sends one event record holding `payload`; false when the core was not reached.
  bool sendRecord(const std::string& name, const CoreValue& payload) const;

  CoreLink& link_;
};

}  // namespace qor
