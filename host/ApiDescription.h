// Reading a plug-in's API table: its description as JSON, and finding the
// function record that answers a method and URI.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>

#include "PluginAbi.h"

namespace qor::host {

// The function record whose method and template fit; a template without
// variables is preferred to one with them. Null when none fits.
const ApiFunctionRecord* findFunction(const PluginApiTable* table, std::uint32_t method,
                                      std::string_view methodNameText, std::string_view path);

// {"functions": [...], "types": [...], "events": [...]}; null pointers and
// strings read as empty.
nlohmann::json describeApiTable(const PluginApiTable* table);

// The same table as help records: {"functions", "types", "events"} shaped as
// BindingFullApiHelp, its functions as BindingFullFunctionHelp, its types as
// BindingFullTypeHelp and its events as BindingFullEventHelp. Types are
// named by type identifiers {"type", "elementType"}: a vector or map has
// "vector" or "map" and its element's identifier type; an enumeration or
// structure its registered name ("enum" or "struct" without one); any other
// type its type-code name.
nlohmann::json describeApiHelp(const PluginApiTable* table);

}  // namespace qor::host
