// Greedy single-segment wildcard matching for resource watches.
#include "runtime/WildcardMatch.h"

#include <cstddef>

namespace qor {

bool wildcardMatch(std::string_view pattern, std::string_view uri) noexcept {
  std::size_t j = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '*') {
      const std::size_t start = j;
      while (j < uri.size() && uri[j] != '/') ++j;
      if (j == start) return false;
    } else {
      if (j >= uri.size() || uri[j] != pattern[i]) return false;
      ++j;
    }
  }
  return j == uri.size();
}

}  // namespace qor
