// HttpMethod and ArgumentLocation: the method codes of incoming calls and the
// places a routed function's argument may come from.
#pragma once

#include "PluginAbi.h"
#include "protocol/ProtocolNames.h"

#include <cstdint>

namespace qor {

// Method codes as the core sends them. Other (8) is named by a separate text.
enum class HttpMethod : std::uint32_t {
  None = CORE_METHOD_NONE,  // accepts every method when used as a route's method
  Delete = CORE_METHOD_DELETE,
  Get = CORE_METHOD_GET,
  Head = CORE_METHOD_HEAD,
  Options = CORE_METHOD_OPTIONS,
  Patch = CORE_METHOD_PATCH,
  Post = CORE_METHOD_POST,
  Put = CORE_METHOD_PUT,
  Other = CORE_METHOD_OTHER,
};

// Where a routed function's argument may come from; Anywhere places no restriction.
enum class ArgumentLocation : std::uint32_t {
  Anywhere = CORE_LOCATION_ANYWHERE,
  Query = CORE_LOCATION_QUERY,
  Path = CORE_LOCATION_PATH,
  Header = CORE_LOCATION_HEADER,
  Body = CORE_LOCATION_BODY,
};

// A raw method code as a method: anything outside 1..8 is None.
constexpr HttpMethod httpMethodFromCode(std::uint32_t code) noexcept {
  return code >= CORE_METHOD_DELETE && code <= CORE_METHOD_OTHER ? static_cast<HttpMethod>(code) : HttpMethod::None;
}

// "DELETE", "GET", ..., "PUT"; "" for Other, None and any unknown code.
inline const char* httpMethodName(HttpMethod method) noexcept {
  return coreMethodName(static_cast<std::uint32_t>(method));
}

// A raw location code as written to the core: 1..5 as they are, anything else 0.
constexpr std::uint32_t argumentLocationCode(std::uint32_t code) noexcept {
  return code >= 1 && code <= 5 ? code : 0;
}

}  // namespace qor
