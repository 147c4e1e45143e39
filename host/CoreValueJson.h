// Conversions between the core's tagged value record and JSON, and the
// release of value trees that the host allocates.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "PluginAbi.h"
#include "protocol/CoreValueRelease.h"  // releaseCoreValue, for the trees jsonToCoreValue builds

namespace qor::host {

// Containers nested deeper than this are refused (JSON to value) or cut to
// null (value to JSON), so no input can exhaust the stack.
inline constexpr unsigned kMaxValueDepth = 1024;

// Reads a value the plug-in handed over. Strings and blobs (owned or
// borrowed alike) become JSON strings, arrays and structures become arrays
// and objects. Null pointers with a non-zero count read as null; containers
// past kMaxValueDepth read as null.
nlohmann::json coreValueToJson(const CoreValue& value);

// Writes `json` into `out` as an owned tree (kinds 6, 9 and 10 with owned
// member names), to be freed with qor::releaseCoreValue. Non-negative integers
// become kind 3, negative ones kind 2. Fails (leaving `out` empty) for input
// nested deeper than kMaxValueDepth, with a message in `error`.
bool jsonToCoreValue(const nlohmann::json& json, CoreValue& out, std::string* error = nullptr);

// A heap copy of `text` with its NUL, for a record released with free; null
// when memory runs out.
char* copyCoreText(const std::string& text);

}  // namespace qor::host
