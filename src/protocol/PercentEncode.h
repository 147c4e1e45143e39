// percentEncode: the inverse of urlDecode for the URLs this code builds.
// Part of the protocol library: the plug-in encodes the URLs it builds with
// it, the host and the validator the queries they send.
#pragma once

#include <string>
#include <string_view>

namespace qor {

// Appends `text` with every byte percent-encoded (upper-case hex digits)
// except the unreserved characters A-Z, a-z, 0-9, "-", ".", "_" and "~", so
// that a value holding "&", "=", "#" or a blank cannot change the query.
inline void appendPercentEncoded(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
}

inline std::string percentEncode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  appendPercentEncoded(out, text);
  return out;
}

}  // namespace qor
