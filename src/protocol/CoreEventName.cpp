// The core event name of a resource URI.
#include "protocol/CoreEventName.h"

#include <cstddef>

namespace qor {

std::string coreEventName(std::string_view uri) {
  std::string name(kResourceEventName);
  std::size_t pieces = 1;
  std::size_t limit = 4;
  std::size_t pos = 0;
  while (pos < uri.size() && pieces < limit) {
    const std::size_t slash = uri.find('/', pos);
    const std::size_t end = slash == std::string_view::npos ? uri.size() : slash;
    if (end > pos) {
      const std::string_view piece = uri.substr(pos, end - pos);
      if (pieces == 1 && piece == "qor-platform-config") limit = 6;
      name += '_';
      name += piece;
      ++pieces;
    }
    pos = end + 1;
  }
  return name;
}

}  // namespace qor
