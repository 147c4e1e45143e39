// The names of the protocol's codes, as the host's API description, the
// validator's reports and the framework's help records print them.
#pragma once

#include <cstdint>
#include <string_view>

namespace qor {

// "none", "bool", "int8", ..., "map" for CORE_TYPE_NONE..CORE_TYPE_MAP;
// "unknown" for any other code.
const char* coreTypeName(std::uint32_t code) noexcept;

// True for the whole-number codes CORE_TYPE_INT8..CORE_TYPE_UINT64.
bool isCoreIntegerType(std::uint32_t code) noexcept;

// "DELETE", "GET", ..., "PUT" for CORE_METHOD_DELETE..CORE_METHOD_PUT; ""
// for CORE_METHOD_NONE, CORE_METHOD_OTHER (named by the record's own text)
// and any unknown code.
const char* coreMethodName(std::uint32_t code) noexcept;

// The method code of a method name: CORE_METHOD_DELETE..CORE_METHOD_PUT for
// those names (upper case), CORE_METHOD_NONE for "", CORE_METHOD_OTHER for
// any other name (sent beside the code as its own text).
std::uint32_t coreMethodCode(std::string_view name) noexcept;

// "any", "query", "path", "header", "body"; "any" for a code that is not an
// argument location.
const char* coreLocationName(std::uint32_t location) noexcept;

// True for the five argument locations (0, 1, 2, 4 and 5).
bool isCoreLocation(std::uint32_t location) noexcept;

}  // namespace qor
