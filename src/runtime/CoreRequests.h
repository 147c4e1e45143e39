// CoreRequests: requests to other plug-ins' URIs through the core. A request
// carries a method and a URI without arguments, blocks until the core
// answers, and yields the body as a value (read from the response's value or
// from its stream) or a RequestError whose message says what failed.
//
// Threads: any; a request blocks its caller only. No lock is held while the
// core is called, and a streamed body gives the core a turn between chunks.
#pragma once

#include "PluginAbi.h"
#include "binding/BindingProperty.h"
#include "binding/FormatMessage.h"
#include "binding/PropertyConverter.h"
#include "dispatch/HttpMethod.h"
#include "runtime/RequestError.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qor {

class CoreLink;
class TypeRegistry;

// Messages of failed requests (named placeholders, filled in this order).
inline constexpr std::string_view kErrorResponseTemplate =
    "Error response for {method} {url}: {error}";
inline constexpr std::string_view kErrorConvertingTemplate =
    "Error converting response for {method} {url}: {error}";
inline constexpr std::string_view kErrorStreamTemplate =
    "Error reading streamed response for {method} {url}: {error}";

// What a request reports when the core cannot be reached.
inline constexpr std::string_view kNotConnected = "The core is not connected";

// The most a streamed body's size hint may make the reader reserve up front.
inline constexpr std::size_t kMaxStreamReserve = 1024 * 1024;

// The method code a request carries: codes 1 to 8 travel as they are,
// anything else as 0.
inline std::uint32_t coreMethodCode(HttpMethod method) noexcept {
  return static_cast<std::uint32_t>(httpMethodFromCode(static_cast<std::uint32_t>(method)));
}

class CoreRequests {
 public:
  explicit CoreRequests(CoreLink& link) : link_(link) {}

  // A request without arguments whose body is read into a value.
  RequestResult<BindingProperty> send(HttpMethod method, std::string_view uri) const;
  // A request whose body must be a collection of records T, converted with
  // `registry`; empty elements leave a default T.
  template <class T>
  RequestResult<std::vector<T>> sendList(HttpMethod method, std::string_view uri,
                                         const TypeRegistry& registry) const;

 private:
  // Reads a response body (value or stream) into a value; the response stays unreleased.
  RequestResult<BindingProperty> readBody(HttpMethod method, std::string_view uri,
                                          CoreResponse& response) const;
  // Reads a streamed body whole, giving the core a turn whenever a short
  // chunk says that more is on its way, and parses it as JSON.
  RequestResult<BindingProperty> readStream(HttpMethod method, std::string_view uri,
                                            CoreResponse& response) const;

  CoreLink& link_;
};

template <class T>
RequestResult<std::vector<T>> CoreRequests::sendList(HttpMethod method, std::string_view uri,
                                                     const TypeRegistry& registry) const {
  RequestResult<BindingProperty> body = send(method, uri);
  if (!body.ok()) return body.error();
  const std::string_view methodName = httpMethodName(method);
  const BindingProperty& list = body.value();
  if (list.kind() != BindingPropertyKind::Collection) {
    BindingResult r;
    r.setError(formatMessage(
        "Couldn't assign value to '%1' of type vector because the input not a collection.",
        kResultFieldName));
    return makeRequestError(0, kErrorConvertingTemplate, {methodName, uri, r.errorText()});
  }
  std::vector<T> items(list.size());
  BindingResult r;
  for (std::size_t i = 0; i < items.size() && r.ok; ++i) {
    const BindingProperty& element = list.get(i);
    if (element.isEmpty()) continue;
    fromProperty(r, items[i], element, kResultFieldName, registry);
  }
  if (!r.ok) return makeRequestError(0, kErrorConvertingTemplate, {methodName, uri, r.errorText()});
  return items;
}

}  // namespace qor
