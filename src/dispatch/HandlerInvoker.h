// HandlerInvoker: the call interface behind every routed function, and
// TypedHandlerInvoker, which converts bound arguments to a native handler's
// parameter types, calls it and converts its FunctionResult back to a value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "PluginAbi.h"
#include "binding/BindingProperty.h"
#include "binding/BindingTraits.h"
#include "binding/StaticType.h"
#include "binding/TypeRegistry.h"
#include "dispatch/FunctionResult.h"
#include "dispatch/HttpMethod.h"

namespace qor {

// The bound arguments of one call, one slot per argument of the function.
// `bound[i]` is set when some source (header, path, query, the core's list,
// the body) gave argument i a value; an unbound argument is not converted
// and the handler receives its parameter type's default.
struct ArgumentList {
  std::vector<BindingProperty> values;
  std::vector<std::uint8_t> bound;

  void resize(std::size_t count) {
    values.resize(count);
    bound.assign(count, 0);
  }
};

// A streamed response body; no handler of this system produces one.
struct ResponseStream {
  CoreStreamReadFn read = nullptr;
  CoreStreamCloseFn close = nullptr;
  std::uint32_t sizeHint = 0;
  void* stream = nullptr;
};

// What one call produced: the value or the error (in `result`) and the
// response details that reach the core either way.
struct CallResult {
  BindingResult result;
  FunctionResponseInfo info;
  ResponseStream body;
};

// What a request-aware result type receives when its call completes.
struct RequestDescription {
  void* callerContext = nullptr;
  std::uint64_t arrivalTime = 0;
  const TypeRegistry* registry = nullptr;
  std::string_view uri;
  HttpMethod method = HttpMethod::None;
  std::string_view methodName;
  const CoreHeader* headers = nullptr;
  std::uint32_t headerCount = 0;
};

// Calls one native handler. Owned by the function's descriptor in the registry.
class HandlerInvoker : public FunctionInvoker {
 public:
  // Converts the bound arguments, calls the handler and fills `out`. Returns
  // a pending handle for a call that completes later (null when the call is
  // complete on return). Must not throw across the dispatch entry: the
  // caller catches anything that escapes.
  virtual void* call(ArgumentList& arguments, void* callerContext, CallResult& out) = 0;
  // Completes a call whose result type is request-aware; the default does nothing.
  virtual void complete(CallResult& out, const RequestDescription* request, void* pending,
                        void* callerContext) {
    (void)out, (void)request, (void)pending, (void)callerContext;
  }
  // Releases a pending handle returned by call(); the default does nothing.
  virtual void release(void* pending) noexcept { (void)pending; }
  // The identity of the native result type (null for a handler without a value).
  virtual const StaticType* resultType() const noexcept = 0;
};

// Invokes std::function<FunctionResult<R>(A...)>. Each bound argument is
// converted with the binding traits of its parameter's type; conversion
// messages name the argument. The result value is converted with the
// registry's conversions.
template <class R, class... A>
class TypedHandlerInvoker final : public HandlerInvoker {
 public:
  using Handler = std::function<FunctionResult<R>(A...)>;

  TypedHandlerInvoker(Handler handler, const TypeRegistry& registry)
      : handler_(std::move(handler)), registry_(registry) {}

  // The function whose argument names appear in conversion messages. Set
  // once the function's descriptor exists (it owns this invoker).
  void setFunction(const FunctionDescriptor* function) noexcept { function_ = function; }

  void* call(ArgumentList& arguments, void* callerContext, CallResult& out) override {
    (void)callerContext;
    callWith(arguments, out, std::index_sequence_for<A...>{});
    return nullptr;
  }

  const StaticType* resultType() const noexcept override {
    if constexpr (std::is_void_v<R>) {
      return nullptr;
    } else {
      return &staticType<R>();
    }
  }

 private:
  template <std::size_t I, class T>
  bool convertArgument(ArgumentList& arguments, T& native, BindingResult& status) const {
    if (I >= arguments.values.size() || !arguments.bound[I]) return true;  // keeps its default
    std::string_view name;
    if (function_ != nullptr && I < function_->arguments.size()) {
      name = function_->arguments[I].name;
    }
    BindingTraits<T>::fromProperty(status, native, arguments.values[I], name, nullptr, registry_);
    return status.ok;
  }

  template <std::size_t... I>
  void callWith(ArgumentList& arguments, CallResult& out, std::index_sequence<I...>) {
    std::tuple<std::decay_t<A>...> natives;
    BindingResult status;
    bool ok = true;
    ((ok = ok && convertArgument<I>(arguments, std::get<I>(natives), status)), ...);
    if (!ok) {
      out.result = std::move(status);
      return;
    }
    FunctionResult<R> answer = handler_(std::forward<A>(std::get<I>(natives))...);
    out.info = std::move(static_cast<FunctionResponseInfo&>(answer));
    if (!answer.success) {
      out.result.setError(answer.error);
      return;
    }
    out.result.resetOk();
    if constexpr (!std::is_void_v<R>) {
      // Converted beside the result, so that a failure's message replaces a
      // value that is no longer being written.
      BindingResult status2;
      BindingProperty value;
      BindingTraits<R>::toProperty(status2, value, answer.value, nullptr, registry_);
      if (status2.ok) {
        out.result.value = std::move(value);
      } else {
        out.result = std::move(status2);
      }
    }
  }

  Handler handler_;
  const TypeRegistry& registry_;
  const FunctionDescriptor* function_ = nullptr;
};

// The TypeRef of a handler's result type (code 0 for void).
template <class R>
TypeRef resultTypeRefOf(const TypeRegistry& registry) {
  if constexpr (std::is_void_v<R>) {
    (void)registry;
    return TypeRef{};
  } else {
    return typeRefOf<R>(registry);
  }
}

}  // namespace qor
