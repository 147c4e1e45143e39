// Value: a small tree of the values the validator synthesizes, and its
// renderings in every form a plug-in receives: a core value record, JSON,
// YAML, MessagePack, and the plain text of a query, path or header.
#pragma once

#include "PluginAbi.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qor::validator {

class ValueArena;

struct Value {
  enum Kind { kNull, kBool, kSigned, kUnsigned, kDouble, kString, kBlob, kArray, kObject };
  Kind kind = kNull;
  bool boolean = false;
  std::int64_t i64 = 0;
  std::uint64_t u64 = 0;
  double f64 = 0;
  std::string text;  // string and blob bytes
  std::vector<Value> elements;
  std::vector<std::pair<std::string, Value>> members;

  static Value null() { return Value{}; }
  static Value of(bool b) { Value v; v.kind = kBool; v.boolean = b; return v; }
  static Value ofSigned(std::int64_t n) { Value v; v.kind = kSigned; v.i64 = n; return v; }
  static Value ofUnsigned(std::uint64_t n) { Value v; v.kind = kUnsigned; v.u64 = n; return v; }
  static Value ofDouble(double d) { Value v; v.kind = kDouble; v.f64 = d; return v; }
  static Value ofString(std::string s) { Value v; v.kind = kString; v.text = std::move(s); return v; }
  static Value ofBlob(std::string s) { Value v; v.kind = kBlob; v.text = std::move(s); return v; }
  static Value array(std::vector<Value> e = {}) { Value v; v.kind = kArray; v.elements = std::move(e); return v; }
  static Value object(std::vector<std::pair<std::string, Value>> m = {}) {
    Value v; v.kind = kObject; v.members = std::move(m); return v;
  }
  bool isContainer() const { return kind == kArray || kind == kObject; }
};

// The value as a borrowed core value tree owned by `arena`.
CoreValue toCoreValue(const Value& value, ValueArena& arena);
// JSON text (strings are written byte for byte inside the quotes, escaping
// only quotes, backslashes and control characters, so invalid UTF-8 stays
// invalid). Non-finite numbers are written as their C texts, making
// invalid JSON on purpose.
std::string toJson(const Value& value);
// Block-style YAML.
std::string toYaml(const Value& value);
// MessagePack bytes.
std::string toMsgPack(const Value& value);
// The text a query, path variable or header carries: scalars as their plain
// text, containers as JSON.
std::string toArgumentText(const Value& value);
// Reads JSON text (as a resource file holds it, with RapidJSON) into `out`; false with a
// message naming the offset when it is not JSON. Integers become kSigned
// (negative) or kUnsigned, other numbers kDouble.
bool parseJson(std::string_view text, Value& out, std::string* error);

}  // namespace qor::validator
