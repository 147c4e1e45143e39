// ValueText: a compact, readable rendering of a BindingProperty, so reader
// tests can state an expected tree as one short string.
//
//   empty ~   bool true/false   signed i-5   unsigned u5   float f1.5
//   string "text" (bytes outside 0x20..0x7E as \xHH)   blob b'0aff'
//   enum e3   collection [a,b]   structure {name:value,...} in member order
// A limit cuts the rendering short once the text is longer (fuzz messages).
#pragma once

#include <cstdio>
#include <limits>
#include <string>
#include <string_view>

#include "binding/BindingProperty.h"

namespace qor::test {

inline void appendBytes(std::string& out, std::string_view bytes) {
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c <= 0x7E && c != '\\' && c != '"') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
}

inline void appendValueText(std::string& out, const BindingProperty& v,
                            std::size_t limit = std::numeric_limits<std::size_t>::max()) {
  if (out.size() > limit) return;
  char buffer[64];
  switch (v.kind()) {
    case BindingPropertyKind::Empty:
      out += '~';
      break;
    case BindingPropertyKind::Bool:
      out += v.asBool() ? "true" : "false";
      break;
    case BindingPropertyKind::Signed:
      std::snprintf(buffer, sizeof buffer, "i%lld", static_cast<long long>(v.asInt64()));
      out += buffer;
      break;
    case BindingPropertyKind::Unsigned:
      std::snprintf(buffer, sizeof buffer, "u%llu", static_cast<unsigned long long>(v.asUint64()));
      out += buffer;
      break;
    case BindingPropertyKind::Float:
      std::snprintf(buffer, sizeof buffer, "f%.17g", v.asDouble());
      out += buffer;
      break;
    case BindingPropertyKind::String:
      out += '"';
      appendBytes(out, v.asString());
      out += '"';
      break;
    case BindingPropertyKind::Blob:
      out += "b'";
      for (unsigned char c : v.asBlob()) {
        std::snprintf(buffer, sizeof buffer, "%02x", c);
        out += buffer;
      }
      out += '\'';
      break;
    case BindingPropertyKind::Enum:
      std::snprintf(buffer, sizeof buffer, "e%d", v.asEnum()->value);
      out += buffer;
      break;
    case BindingPropertyKind::Collection: {
      out += '[';
      bool first = true;
      for (const BindingProperty& e : v.elements()) {
        if (out.size() > limit) return;
        if (!first) out += ',';
        first = false;
        appendValueText(out, e, limit);
      }
      out += ']';
      break;
    }
    case BindingPropertyKind::Structure: {
      out += '{';
      bool first = true;
      v.forEachMember([&](std::string_view name, const BindingProperty& m) {
        if (out.size() > limit) return;
        if (!first) out += ',';
        first = false;
        appendBytes(out, name);
        out += ':';
        appendValueText(out, m, limit);
      });
      out += '}';
      break;
    }
  }
}

inline std::string valueText(const BindingProperty& v) {
  std::string out;
  appendValueText(out, v);
  return out;
}

// Containers met going down from the value through first elements or first
// members: the depth of the chains that nesting tests build, without recursion.
inline std::size_t valueDepth(const BindingProperty& v) {
  std::size_t depth = 0;
  const BindingProperty* node = &v;
  while (node->kind() == BindingPropertyKind::Collection || node->kind() == BindingPropertyKind::Structure) {
    ++depth;
    if (node->size() == 0) break;
    if (node->kind() == BindingPropertyKind::Collection) {
      node = &node->get(std::size_t{0});
    } else {
      const BindingProperty* first = nullptr;
      node->forEachMember([&](std::string_view, const BindingProperty& m) {
        if (first == nullptr) first = &m;
      });
      node = first;
    }
  }
  return depth;
}

}  // namespace qor::test
