// Decoding of argument texts and request bodies by content type (and, for
// argument texts, by the shape of their first bytes) into BindingProperty values.
#pragma once

#include <cstddef>
#include <string_view>

#include "binding/BindingProperty.h"

namespace qor {

// True when `contentType` starts with `name`, compared without regard to
// ASCII case over exactly name's length.
bool contentTypeIs(std::string_view contentType, std::string_view name) noexcept;

// Decodes an argument text into `target`. Sniffing (allowed by the flag,
// used only when the content type is empty) reads a text as MessagePack when
// its first byte opens a map or an array, as JSON when its first non-blank
// character is "{" or "[", and as YAML when it starts with "---" after
// blanks. Content types: "application/x-msgpack" (first value; trailing
// bytes ignored), "application/json" (up to the first NUL), "text/x-yaml",
// "application/octet-stream" (a blob of all bytes); anything else gives a
// string of all bytes. A reader failure sets status's error to
// "Couldn't deserialize <format> value for parameter '<argument>' of
// '<function>': <reader message>" and leaves `target` as it was.
void decodeArgumentText(BindingResult& status, BindingProperty& target,
                        std::string_view functionName, std::string_view argumentName,
                        std::string_view text, std::string_view contentType, bool allowSniffing);

// Decodes a request body into `target`: "application/x-msgpack" (one value
// that must fill the body: "Extra MessgePack data found in body"),
// "application/json" and "application/vnd.api+json" (up to the first NUL),
// "application/x-yaml" (up to the first NUL). Any other content type is
// "Unsupported body content type". A reader failure sets status's error to
// the reader's own message. A null body with a non-zero size is read as empty.
void decodeBody(BindingResult& status, BindingProperty& target, std::string_view contentType,
                const void* body, std::size_t size);

}  // namespace qor
