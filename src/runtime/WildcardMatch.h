// Matching of resource URIs against watch patterns holding "*".
#pragma once

#include <string_view>

namespace qor {

// True when `pattern` and `uri` are used up together. Every character but "*"
// must equal the next URI character; "*" takes one or more URI characters up
// to the next "/" or the end, never a "/", and gives none back. So "/a/*"
// matches "/a/b" but not "/a/" or "/a/b/c", and "/a/*c" never matches "/a/bc".
bool wildcardMatch(std::string_view pattern, std::string_view uri) noexcept;

}  // namespace qor
