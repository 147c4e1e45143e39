// The builtin records every TypeRegistry carries: the asynchronous-operation
// states, the payloads of generic, callback and asynchronous events, the
// event "OnCallback", and (through BindingHelp.h) the API help records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "binding/BindingProperty.h"

namespace qor {

class TypeRegistry;

// The namespace word of the builtin records.
inline constexpr const char* kBuiltinNameSpace = "$builtin";

enum class BindingAsyncState : std::int32_t {
  None = 0,        // no valid state
  Running = 1,     // the operation is in flight
  Cancelling = 2,  // a cancel was requested
  Cancelled = 3,
  Succeeded = 4,
  Failed = 5,
};

// Generic data of an event.
struct BindingGenericEvent {
  BindingProperty data;
};

// A call of a provided callback: its id and parameters.
struct BindingCallbackEvent {
  std::uint32_t id = 0;
  std::vector<BindingProperty> parameters;
};

// Generic data of an event of the asynchronous operation `asyncToken`.
struct BindingGenericAsyncEvent {
  std::uint32_t asyncToken = 0;
  BindingProperty data;
};

// The asynchronous operation `asyncToken` failed with `error`.
struct BindingAsyncFailureEvent {
  std::uint32_t asyncToken = 0;
  std::string error;
};

// The asynchronous operation `asyncToken` was cancelled.
struct BindingAsyncCancelEvent {
  std::uint32_t asyncToken = 0;
};

// Registers, in order: the help records and "BindingHelpFormat", then
// "BindingAsyncState" and the five event records, then the event
// "OnCallback". Called by TypeRegistry::initialize.
void registerBuiltinTypes(TypeRegistry& registry);

}  // namespace qor
