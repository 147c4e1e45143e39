// JsonReader: reads JSON text into a BindingProperty in one pass, and reads
// JSON straight into a registered native record.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "binding/BindingProperty.h"
#include "binding/PropertyConverter.h"

namespace qor {

// Open containers a JSON document may nest before it is refused.
inline constexpr std::size_t kJsonMaxDepth = 1024;

// Reads one JSON value. Empty or all-blank text succeeds with an empty value.
// A syntax error fails with "Error: <reason> at offset <n>.", the offset in
// bytes from the start of the text, leading white space included.
// Mapping: null leaves its target as it is; non-negative integers up to
// 2^64-1 are unsigned, negative ones down to -2^63 signed, everything else
// numeric is a float; a repeated key merges into the member already there.
BindingResult readJson(const char* nulTerminated);
// Reads the text up to its first NUL byte or its size, whichever comes first,
// never past the end of the view.
BindingResult readJson(std::string_view text);
BindingResult readJson(const std::string& text);

// Reads the text and converts the value into `out` (messages name it
// "<value>"). True only when both the reading and the conversion succeed;
// `out` keeps whatever the conversion filled in before a failure.
template <class T>
bool readJsonInto(std::string_view text, T& out, const TypeRegistry& registry) {
  BindingResult parsed = readJson(text);
  if (!parsed.ok) return false;
  BindingResult converted;
  fromProperty(converted, out, parsed.value, kTopLevelFieldName, registry);
  return converted.ok;
}

}  // namespace qor
