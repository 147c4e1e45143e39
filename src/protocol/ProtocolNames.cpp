// Names of the protocol's type, method and location codes.
#include "protocol/ProtocolNames.h"

#include "PluginAbi.h"

#include <iterator>

namespace qor {

const char* coreTypeName(std::uint32_t code) noexcept {
  static constexpr const char* kNames[] = {
      "none",   "bool",   "int8",   "uint8", "int16", "uint16", "int32",
      "uint32", "int64",  "uint64", "float", "double", "string", "object",
      "blob",   "vector", "enum",   "struct", "callback", "map"};
  static_assert(std::size(kNames) == CORE_TYPE_MAP + 1);
  return code < std::size(kNames) ? kNames[code] : "unknown";
}

bool isCoreIntegerType(std::uint32_t code) noexcept {
  return code >= CORE_TYPE_INT8 && code <= CORE_TYPE_UINT64;
}

const char* coreMethodName(std::uint32_t code) noexcept {
  static constexpr const char* kNames[] = {"", "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT"};
  static_assert(std::size(kNames) == CORE_METHOD_OTHER);
  return code < std::size(kNames) ? kNames[code] : "";
}

std::uint32_t coreMethodCode(std::string_view name) noexcept {
  if (name.empty()) return CORE_METHOD_NONE;
  for (std::uint32_t code = CORE_METHOD_DELETE; code <= CORE_METHOD_PUT; ++code) {
    if (name == coreMethodName(code)) return code;
  }
  return CORE_METHOD_OTHER;
}

const char* coreLocationName(std::uint32_t location) noexcept {
  switch (location) {
    case CORE_LOCATION_QUERY: return "query";
    case CORE_LOCATION_PATH: return "path";
    case CORE_LOCATION_HEADER: return "header";
    case CORE_LOCATION_BODY: return "body";
    default: return "any";
  }
}

bool isCoreLocation(std::uint32_t location) noexcept {
  return location == CORE_LOCATION_ANYWHERE || location == CORE_LOCATION_QUERY ||
         location == CORE_LOCATION_PATH || location == CORE_LOCATION_HEADER ||
         location == CORE_LOCATION_BODY;
}

}  // namespace qor
