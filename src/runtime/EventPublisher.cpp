// EventPublisher: writing a payload, sending it under one or two names and
// reporting what the core could not be reached for.
#include "runtime/EventPublisher.h"

#include "binding/CoreValueConverter.h"
#include "binding/PropertyConverter.h"
#include "protocol/CoreEventName.h"
#include "runtime/CoreLink.h"
#include "runtime/CoreRequests.h"

#include <cstring>
#include <string>

namespace qor {
namespace {

RequestError notSent(std::string_view name) {
  return makeRequestError(0, kErrorSendingEventTemplate, {name, kNotConnected});
}

}  // namespace

bool EventPublisher::sendRecord(const std::string& name, const CoreValue& payload) const {
  CoreEvent event{};
  event.name = name.c_str();
  std::memcpy(&event.payload, &payload, sizeof payload);
  return link_.core().sendEvent(&event);
}

std::optional<RequestError> EventPublisher::send(std::string_view name,
                                                 const BindingProperty& payload,
                                                 const TypeRegistry& registry) const {
  CoreValue value{};
  toCoreValue(payload, value, &registry);
  const std::string eventName(name);
  const bool sent = sendRecord(eventName, value);
  releaseCoreValue(value);
  if (!sent) return notSent(eventName);
  return std::nullopt;
}

std::optional<RequestError> EventPublisher::publish(const Resource& resource,
                                                    std::string_view eventName,
                                                    const TypeRegistry& registry) const {
  BindingResult value;
  toProperty(value, resource, registry);
  if (!value.ok) {
    RequestError error;
    error.message = std::string(value.errorText());
    return error;
  }
  CoreValue payload{};
  toCoreValue(value.value, payload, &registry);
  const std::string derived = coreEventName(resource.uri);
  std::optional<RequestError> failure;
  if (!sendRecord(derived, payload)) failure = notSent(derived);
  if (eventName != derived) {
    const std::string explicitName(eventName);
    if (!sendRecord(explicitName, payload) && !failure) failure = notSent(explicitName);
  }
  releaseCoreValue(payload);
  return failure;
}

}  // namespace qor
