// The name of a plug-in library's one exported entry point, derived from the
// library's file name: "load_" followed by the base name, without a leading
// "lib" (on systems whose libraries carry it) and without its extensions,
// with every character that a C name cannot hold turned into "_".
//
//   build/src/libqor_inventory.so     -> load_qor_inventory
//   bin/qor_inventory.dll             -> load_qor_inventory
//   plugins/libqor-greeter.so.1       -> load_qor_greeter
//
// Header-only, so that the development host and the validator share it.
#pragma once

#include <string>
#include <string_view>

namespace qor::validator {

namespace detail {
inline std::string exportName(std::string_view path, bool dropLibPrefix) {
  const std::size_t slash = path.find_last_of("/\\");
  std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  // Extensions: everything from the first "." that follows the name's first
  // character (".so.1.2", ".dll", ".dylib").
  const std::size_t dot = base.find('.', 1);
  if (dot != std::string_view::npos) base = base.substr(0, dot);
  if (dropLibPrefix && base.size() > 3 && base.substr(0, 3) == "lib") base.remove_prefix(3);
  std::string name = "load_";
  for (char c : base) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    name += word ? c : '_';
  }
  return name;
}
}  // namespace detail

inline std::string exportNameForLibrary(std::string_view path) {
  return detail::exportName(path, true);
}
// The same name with a leading "lib" kept ("liblua_ext.so" -> load_liblua_ext).
inline std::string exportNameKeepingPrefix(std::string_view path) {
  return detail::exportName(path, false);
}

}  // namespace qor::validator
