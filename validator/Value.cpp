// Value: renderings of synthesized values.
#include "validator/Value.h"

#include "validator/CoreValues.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace qor::validator {

CoreValue toCoreValue(const Value& value, ValueArena& arena) {
  switch (value.kind) {
    case Value::kNull: return ValueArena::empty();
    case Value::kBool: return ValueArena::boolean(value.boolean);
    case Value::kSigned: return ValueArena::signedNumber(value.i64);
    case Value::kUnsigned: return ValueArena::unsignedNumber(value.u64);
    case Value::kDouble: return ValueArena::number(value.f64);
    case Value::kString: return arena.string(value.text);
    case Value::kBlob: return arena.blob(value.text);
    case Value::kArray: {
      std::vector<CoreValue> elements;
      elements.reserve(value.elements.size());
      for (const Value& e : value.elements) elements.push_back(toCoreValue(e, arena));
      return arena.array(elements);
    }
    case Value::kObject: {
      std::vector<std::pair<std::string, CoreValue>> members;
      members.reserve(value.members.size());
      for (const auto& [key, member] : value.members) members.emplace_back(key, toCoreValue(member, arena));
      return arena.structure(members);
    }
  }
  return ValueArena::empty();
}

namespace {

std::string numberText(const Value& value) {
  if (value.kind == Value::kSigned) return std::to_string(value.i64);
  if (value.kind == Value::kUnsigned) return std::to_string(value.u64);
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value.f64);
  return text;
}

void appendJsonString(std::string& out, const std::string& text) {
  out += '"';
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

void appendJson(std::string& out, const Value& value) {
  switch (value.kind) {
    case Value::kNull: out += "null"; return;
    case Value::kBool: out += value.boolean ? "true" : "false"; return;
    case Value::kSigned:
    case Value::kUnsigned:
    case Value::kDouble: out += numberText(value); return;
    case Value::kString:
    case Value::kBlob: appendJsonString(out, value.text); return;
    case Value::kArray:
      out += '[';
      for (std::size_t i = 0; i < value.elements.size(); ++i) {
        if (i != 0) out += ',';
        appendJson(out, value.elements[i]);
      }
      out += ']';
      return;
    case Value::kObject:
      out += '{';
      for (std::size_t i = 0; i < value.members.size(); ++i) {
        if (i != 0) out += ',';
        appendJsonString(out, value.members[i].first);
        out += ':';
        appendJson(out, value.members[i].second);
      }
      out += '}';
      return;
  }
}

void appendYamlScalar(std::string& out, const Value& value) {
  switch (value.kind) {
    case Value::kNull: out += "null"; return;
    case Value::kBool: out += value.boolean ? "true" : "false"; return;
    case Value::kString:
    case Value::kBlob: appendJsonString(out, value.text); return;  // a double-quoted YAML scalar
    case Value::kArray: out += "[]"; return;
    case Value::kObject: out += "{}"; return;
    default: out += numberText(value); return;
  }
}

void appendYaml(std::string& out, const Value& value, unsigned indent) {
  const std::string pad(indent, ' ');
  if (value.kind == Value::kArray && !value.elements.empty()) {
    for (const Value& e : value.elements) {
      out += pad + "-";
      if (e.isContainer() && !(e.elements.empty() && e.members.empty())) {
        out += "\n";
        appendYaml(out, e, indent + 2);
      } else {
        out += ' ';
        appendYamlScalar(out, e);
        out += '\n';
      }
    }
    return;
  }
  if (value.kind == Value::kObject && !value.members.empty()) {
    for (const auto& [key, member] : value.members) {
      out += pad;
      appendJsonString(out, key);
      out += ':';
      if (member.isContainer() && !(member.elements.empty() && member.members.empty())) {
        out += "\n";
        appendYaml(out, member, indent + 2);
      } else {
        out += ' ';
        appendYamlScalar(out, member);
        out += '\n';
      }
    }
    return;
  }
  out += pad;
  appendYamlScalar(out, value);
  out += '\n';
}

void putBigEndian(std::string& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xff);
}

void appendMsgPackLength(std::string& out, std::size_t n, unsigned char fix, unsigned fixLimit,
                         unsigned char b8, unsigned char b16, unsigned char b32) {
  if (fix != 0 && n < fixLimit) {
    out += static_cast<char>(fix | n);
  } else if (b8 != 0 && n <= 0xff) {
    out += static_cast<char>(b8);
    putBigEndian(out, n, 1);
  } else if (n <= 0xffff) {
    out += static_cast<char>(b16);
    putBigEndian(out, n, 2);
  } else {
    out += static_cast<char>(b32);
    putBigEndian(out, n, 4);
  }
}

void appendMsgPack(std::string& out, const Value& value) {
  switch (value.kind) {
    case Value::kNull: out += '\xc0'; return;
    case Value::kBool: out += value.boolean ? '\xc3' : '\xc2'; return;
    case Value::kSigned:
      if (value.i64 >= 0 && value.i64 < 128) {
        out += static_cast<char>(value.i64);
      } else {
        out += '\xd3';
        putBigEndian(out, static_cast<std::uint64_t>(value.i64), 8);
      }
      return;
    case Value::kUnsigned:
      out += '\xcf';
      putBigEndian(out, value.u64, 8);
      return;
    case Value::kDouble: {
      std::uint64_t bits;
      static_assert(sizeof bits == sizeof value.f64);
      std::memcpy(&bits, &value.f64, sizeof bits);
      out += '\xcb';
      putBigEndian(out, bits, 8);
      return;
    }
    case Value::kString:
      appendMsgPackLength(out, value.text.size(), 0xa0, 32, 0xd9, 0xda, 0xdb);
      out += value.text;
      return;
    case Value::kBlob:
      appendMsgPackLength(out, value.text.size(), 0, 0, 0xc4, 0xc5, 0xc6);
      out += value.text;
      return;
    case Value::kArray:
      appendMsgPackLength(out, value.elements.size(), 0x90, 16, 0, 0xdc, 0xdd);
      for (const Value& e : value.elements) appendMsgPack(out, e);
      return;
    case Value::kObject:
      appendMsgPackLength(out, value.members.size(), 0x80, 16, 0, 0xde, 0xdf);
      for (const auto& [key, member] : value.members) {
        appendMsgPackLength(out, key.size(), 0xa0, 32, 0xd9, 0xda, 0xdb);
        out += key;
        appendMsgPack(out, member);
      }
      return;
  }
}

}  // namespace

std::string toJson(const Value& value) {
  std::string out;
  appendJson(out, value);
  return out;
}

std::string toYaml(const Value& value) {
  std::string out = "---\n";
  appendYaml(out, value, 0);
  return out;
}

std::string toMsgPack(const Value& value) {
  std::string out;
  appendMsgPack(out, value);
  return out;
}

std::string toArgumentText(const Value& value) {
  switch (value.kind) {
    case Value::kNull: return "";
    case Value::kBool: return value.boolean ? "true" : "false";
    case Value::kString:
    case Value::kBlob: return value.text;
    case Value::kArray:
    case Value::kObject: return toJson(value);
    default: return numberText(value);
  }
}

namespace {

constexpr unsigned kMaxJsonDepth = 256;

// The RapidJSON tree as a Value: integers that fit become kSigned (negative)
// or kUnsigned, other numbers kDouble; members keep their order.
bool fromDocument(const rapidjson::Value& in, Value& out, unsigned depth, std::string& why) {
  if (depth > kMaxJsonDepth) {
    why = "nesting deeper than " + std::to_string(kMaxJsonDepth);
    return false;
  }
  switch (in.GetType()) {
    case rapidjson::kNullType: out = Value::null(); return true;
    case rapidjson::kFalseType: out = Value::of(false); return true;
    case rapidjson::kTrueType: out = Value::of(true); return true;
    case rapidjson::kStringType: out = Value::ofString(std::string(in.GetString(), in.GetStringLength())); return true;
    case rapidjson::kNumberType:
      if (in.IsInt64() && in.GetInt64() < 0) out = Value::ofSigned(in.GetInt64());
      else if (in.IsUint64()) out = Value::ofUnsigned(in.GetUint64());
      else out = Value::ofDouble(in.GetDouble());
      return true;
    case rapidjson::kArrayType:
      out = Value::array();
      out.elements.reserve(in.Size());
      for (const rapidjson::Value& element : in.GetArray()) {
        out.elements.emplace_back();
        if (!fromDocument(element, out.elements.back(), depth + 1, why)) return false;
      }
      return true;
    case rapidjson::kObjectType:
      out = Value::object();
      out.members.reserve(in.MemberCount());
      for (const auto& member : in.GetObject()) {
        out.members.emplace_back(std::string(member.name.GetString(), member.name.GetStringLength()), Value{});
        if (!fromDocument(member.value, out.members.back().second, depth + 1, why)) return false;
      }
      return true;
  }
  why = "not a value";
  return false;
}

}  // namespace

bool parseJson(std::string_view text, Value& out, std::string* error) {
  rapidjson::Document document;
  // Iterative: a deeply nested text cannot exhaust the stack.
  document.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseFullPrecisionFlag>(text.data(), text.size());
  std::string why;
  if (document.HasParseError()) {
    why = std::string(rapidjson::GetParseError_En(document.GetParseError())) + " at offset " +
          std::to_string(document.GetErrorOffset());
  } else if (fromDocument(document, out, 0, why)) {
    return true;
  }
  if (error != nullptr) *error = why;
  return false;
}

}  // namespace qor::validator
