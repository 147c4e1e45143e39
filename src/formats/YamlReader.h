// YamlReader: reads one YAML document into a BindingProperty.
#pragma once

#include <cstddef>
#include <string_view>

#include "binding/BindingProperty.h"

namespace qor {

// Open containers a YAML document may nest before it is refused; copies made
// by aliases count towards it as well.
inline constexpr std::size_t kYamlMaxDepth = 1024;
// Values that alias copies may create in one document.
inline constexpr std::size_t kYamlMaxAliasValues = 100000;

// Reads the text up to its first NUL byte or its size, whichever comes first.
// Untagged plain and block scalars resolve to empty (null words), numbers
// (the whole text read by strtod, finite), bools (yes/no/on/off/true/false
// words) or strings; quoted scalars are strings. Only the str, int, float and
// bool tags are accepted. Aliases receive a copy of the anchored node. A
// second non-empty document is refused. Empty text succeeds with an empty value.
BindingResult readYaml(std::string_view text);

}  // namespace qor
