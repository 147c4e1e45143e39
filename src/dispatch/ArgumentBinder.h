// ArgumentBinder: fills a routed function's argument list from a request's
// headers, path variables, query, the core's argument list and body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "PluginAbi.h"
#include "binding/BindingProperty.h"
#include "dispatch/HttpMethod.h"

namespace qor {

struct FunctionDescriptor;
struct FunctionRoute;
struct ArgumentList;

// Everything of one request that arguments are bound from. Pointers may be
// null (with any count): a null array binds nothing.
struct BindingSources {
  const CoreHeader* headers = nullptr;
  std::size_t headerCount = 0;
  const std::vector<std::pair<std::string, std::string>>* captured = nullptr;  // decoded
  std::string_view query;  // the URI's text after its first "?"
  const CoreArgument* arguments = nullptr;
  std::size_t argumentCount = 0;
  std::string_view contentType;
  const void* body = nullptr;  // null: the request has no body
  std::size_t bodySize = 0;
};

// Index segments of dotted keys ("list.2") at or above this bound are
// refused as out of range, so a URI cannot make the plug-in allocate a
// huge collection.
inline constexpr std::uint64_t kMaxArgumentIndex = 65535;

// Segments a dotted key may have: each one nests the argument's value one
// container deeper, and values are never nested deeper than the readers
// accept. A longer key is refused ("Argument '<name>' for '<function>' is
// nested too deeply.") before anything is built.
inline constexpr std::size_t kMaxArgumentPathSegments = 1024;

class ArgumentBinder {
 public:
  // `route` gives each argument's allowed location (missing entries: anywhere).
  ArgumentBinder(const FunctionDescriptor& function, const FunctionRoute& route) noexcept
      : function_(function), route_(route) {}

  // Sizes `out` to the function's arguments (non-optional bools start as
  // false, everything else empty) and binds, in this order: headers, path
  // variables, query pairs, the core's arguments, the body. The first
  // failure ends binding with its message in `status`.
  void bind(BindingResult& status, const BindingSources& sources, ArgumentList& out) const;

  // Binds one named text ("name" or a dotted "name.0.member") from a source location.
  void bindNamedText(BindingResult& status, ArgumentList& out, std::string_view key,
                     std::string_view text, ArgumentLocation source) const;

  // Prepares `out` as bind() does before binding anything.
  void prepare(ArgumentList& out) const;

 private:
  // Position of the argument of exactly this name, or the argument count.
  std::size_t findArgument(std::string_view name) const noexcept;
  void bindCoreArguments(BindingResult& status, const BindingSources& sources,
                         ArgumentList& out) const;
  void bindBody(BindingResult& status, const BindingSources& sources, ArgumentList& out) const;

  const FunctionDescriptor& function_;
  const FunctionRoute& route_;
};

}  // namespace qor
