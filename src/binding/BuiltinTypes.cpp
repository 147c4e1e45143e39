// Registration of the builtin records every registry carries.
#include "binding/BuiltinTypes.h"

#include "binding/BindingHelp.h"
#include "binding/TypeRegistration.h"

namespace qor {

void registerBuiltinTypes(TypeRegistry& registry) {
  registerHelpTypes(registry);

  // Tag lists follow the registration pattern of the system: namespace word,
  // group word, then two empty tags that the builder drops.
  registerEnum<BindingAsyncState>(registry, "BindingAsyncState", {kBuiltinNameSpace, "async", "", ""},
                                  kBuiltinNameSpace)
      .description("Possible states of an asynchronous operation.")
      .value("None", BindingAsyncState::None, "Invalid state")
      .value("Running", BindingAsyncState::Running, "The operation is in flight")
      .value("Cancelling", BindingAsyncState::Cancelling,
             "A request to cancel the operation has been made")
      .value("Cancelled", BindingAsyncState::Cancelled, "The operation was cancelled")
      .value("Succeeded", BindingAsyncState::Succeeded, "The operation completed successfully")
      .value("Failed", BindingAsyncState::Failed, "The operation encountered an error");

  registerStruct<BindingGenericEvent>(registry, "BindingGenericEvent", {kBuiltinNameSpace},
                                      kBuiltinNameSpace)
      .description("Represents generic data for an event.")
      .field("data", &BindingGenericEvent::data, {.description = "Event data"});

  registerStruct<BindingCallbackEvent>(registry, "BindingCallbackEvent", {kBuiltinNameSpace},
                                       kBuiltinNameSpace)
      .description("Represents the parameters of a call to a provided callback.")
      .field("id", &BindingCallbackEvent::id, {.description = "ID of the callback being invoked"})
      .field("parameters", &BindingCallbackEvent::parameters,
             {.description = "Callback parameters"});

  registerStruct<BindingGenericAsyncEvent>(registry, "BindingGenericAsyncEvent",
                                           {kBuiltinNameSpace, "async", "", ""}, kBuiltinNameSpace)
      .description("Represents generic data for an asynchronous event.")
      .field("asyncToken", &BindingGenericAsyncEvent::asyncToken,
             {.description = "Asynchronous operation token"})
      .field("data", &BindingGenericAsyncEvent::data, {.description = "Event data"});

  registerStruct<BindingAsyncFailureEvent>(registry, "BindingAsyncFailureEvent",
                                           {kBuiltinNameSpace, "async", "", ""}, kBuiltinNameSpace)
      .description("Represents a failed asynchronous operation.")
      .field("asyncToken", &BindingAsyncFailureEvent::asyncToken,
             {.description = "Asynchronous operation token"})
      .field("error", &BindingAsyncFailureEvent::error, {.description = "Error message"});

  registerStruct<BindingAsyncCancelEvent>(registry, "BindingAsyncCancelEvent",
                                          {kBuiltinNameSpace, "async", "", ""}, kBuiltinNameSpace)
      .description("Represents a cancelled asynchronous operation.")
      .field("asyncToken", &BindingAsyncCancelEvent::asyncToken,
             {.description = "Asynchronous operation token"});

  registerEventOf<BindingCallbackEvent>(registry, "OnCallback", "Fired when a callback is invoked.",
                                        {kBuiltinNameSpace}, kBuiltinNameSpace);
}

}  // namespace qor
