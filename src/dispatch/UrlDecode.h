// urlDecode: the decoding of path variables and of query keys and values.
#pragma once

#include <string>
#include <string_view>

namespace qor {

// Byte by byte: "+" becomes a blank; "%" and two hexadecimal digits (either
// case) become one byte; a "%" with fewer than two characters after it is
// dropped; a "%" followed by two characters that are not both hexadecimal
// digits is kept as it is, and so are those characters; every other byte
// is copied.
std::string urlDecode(std::string_view text);
void urlDecode(std::string_view text, std::string& out);

}  // namespace qor
