// The name of a plug-in library's one exported entry point, derived from the
// library's file name: "load_" followed by the base name, without a leading
// "lib" (on systems whose libraries carry it) and without its extensions,
// with every character that a C name cannot hold turned into "_".
//
//   build/src/libqor_inventory.so     -> load_qor_inventory
//   bin/qor_inventory.dll             -> load_qor_inventory
//   plugins/libqor-greeter.so.1       -> load_qor_greeter
//
// The host and the validator find a plug-in's entry point with it, and the
// build names each plug-in's export by the same rule.
#pragma once

#include <string>
#include <string_view>

namespace qor {

std::string exportNameForLibrary(std::string_view path);
// The same name with a leading "lib" kept ("liblua_ext.so" -> load_liblua_ext),
// for libraries whose own name starts with "lib".
std::string exportNameKeepingPrefix(std::string_view path);

}  // namespace qor
