// Core event names derived from resource URIs.
#include "host/CoreEventName.h"

#include <vector>

namespace qor::host {

std::string coreEventName(std::string_view uri) {
  std::vector<std::string_view> pieces{kResourceEventName};
  std::size_t start = 0;
  while (start <= uri.size()) {
    std::size_t slash = uri.find('/', start);
    if (slash == std::string_view::npos) slash = uri.size();
    if (slash > start) pieces.push_back(uri.substr(start, slash - start));
    start = slash + 1;
  }
  const std::size_t keep =
      (pieces.size() > 1 && pieces[1] == "qor-platform-config") ? 6 : 4;
  if (pieces.size() > keep) pieces.resize(keep);
  std::string name;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i != 0) name += '_';
    name += pieces[i];
  }
  return name;
}

}  // namespace qor::host
