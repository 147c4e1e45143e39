// The entry-point name of a plug-in library.
#include "protocol/ExportName.h"

namespace qor {
namespace {

std::string exportName(std::string_view path, bool dropLibPrefix) {
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

}  // namespace

std::string exportNameForLibrary(std::string_view path) { return exportName(path, true); }

std::string exportNameKeepingPrefix(std::string_view path) { return exportName(path, false); }

}  // namespace qor
