// Percent- and plus-decoding of URI parts.
#include "dispatch/UrlDecode.h"

namespace qor {

namespace {

int hexValue(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void urlDecode(std::string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c != '%') {
      out.push_back(c);
    } else if (text.size() - i < 3) {
      // Fewer than two characters follow: the "%" is dropped, they are copied.
    } else {
      const int hi = hexValue(text[i + 1]);
      const int lo = hexValue(text[i + 2]);
      if (hi < 0 || lo < 0) {
        out.push_back('%');  // not an escape: copied as it stands
      } else {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
      }
    }
  }
}

std::string urlDecode(std::string_view text) {
  std::string out;
  urlDecode(text, out);
  return out;
}

}  // namespace qor
