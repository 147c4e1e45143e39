// HttpMethod and ArgumentLocation: the method codes of incoming calls and the
// places a routed function's argument may come from.
#pragma once

#include <cstdint>

namespace qor {

// Method codes as the core sends them. Other (8) is named by a separate text.
enum class HttpMethod : std::uint32_t {
  None = 0,  // accepts every method when used as a route's method
  Delete = 1,
  Get = 2,
  Head = 3,
  Options = 4,
  Patch = 5,
  Post = 6,
  Put = 7,
  Other = 8,
};

// Where a routed function's argument may come from; Anywhere places no restriction.
enum class ArgumentLocation : std::uint32_t {
  Anywhere = 0,
  Query = 1,
  Path = 2,
  Header = 4,
  Body = 5,
};

// A raw method code as a method: anything outside 1..8 is None.
constexpr HttpMethod httpMethodFromCode(std::uint32_t code) noexcept {
  return code >= 1 && code <= 8 ? static_cast<HttpMethod>(code) : HttpMethod::None;
}

// "DELETE", "GET", ..., "PUT"; "" for Other, None and any unknown code.
constexpr const char* httpMethodName(HttpMethod method) noexcept {
  switch (method) {
    case HttpMethod::Delete: return "DELETE";
    case HttpMethod::Get: return "GET";
    case HttpMethod::Head: return "HEAD";
    case HttpMethod::Options: return "OPTIONS";
    case HttpMethod::Patch: return "PATCH";
    case HttpMethod::Post: return "POST";
    case HttpMethod::Put: return "PUT";
    default: return "";
  }
}

// A raw location code as written to the core: 1..5 as they are, anything else 0.
constexpr std::uint32_t argumentLocationCode(std::uint32_t code) noexcept {
  return code >= 1 && code <= 5 ? code : 0;
}

}  // namespace qor
