// Value: renderings of synthesized values.
#include "validator/Value.h"

#include "validator/CoreValues.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
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

class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : text_(text) {}

  bool parse(Value& out, std::string* error) {
    skip();
    if (!value(out, 0)) return report(error);
    skip();
    if (at_ != text_.size()) {
      why_ = "text after the value";
      return report(error);
    }
    return true;
  }

 private:
  bool report(std::string* error) {
    if (error != nullptr) *error = why_ + " at offset " + std::to_string(at_);
    return false;
  }
  void skip() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }
  bool literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  static void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  bool hex4(std::uint32_t& out) {
    if (at_ + 4 > text_.size()) return false;
    out = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      out <<= 4;
      if (c >= '0' && c <= '9') out |= static_cast<std::uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') out |= static_cast<std::uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') out |= static_cast<std::uint32_t>(c - 'A' + 10);
      else return false;
    }
    return true;
  }
  bool string(std::string& out) {
    ++at_;  // the opening quote
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) break;
      const char e = text_[at_++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          std::uint32_t code = 0;
          if (!hex4(code)) {
            why_ = "a bad \\u escape";
            return false;
          }
          if (code >= 0xD800 && code < 0xDC00 && text_.substr(at_, 2) == "\\u") {
            at_ += 2;
            std::uint32_t low = 0;
            if (!hex4(low)) {
              why_ = "a bad \\u escape";
              return false;
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          appendUtf8(out, code);
          break;
        }
        default: out += e; break;
      }
    }
    why_ = "an unterminated string";
    return false;
  }
  bool number(Value& out) {
    const std::size_t start = at_;
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    bool integer = true;
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c >= '0' && c <= '9') {
        ++at_;
      } else if (c == '.' || c == 'e' || c == 'E' || c == '+' || (c == '-' && at_ > start)) {
        integer = false;
        ++at_;
      } else {
        break;
      }
    }
    const std::string digits(text_.substr(start, at_ - start));
    if (digits.empty() || digits == "-") {
      why_ = "not a value";
      return false;
    }
    errno = 0;
    if (integer && digits[0] == '-') {
      const long long n = std::strtoll(digits.c_str(), nullptr, 10);
      if (errno == 0) {
        out = Value::ofSigned(n);
        return true;
      }
    } else if (integer) {
      const unsigned long long n = std::strtoull(digits.c_str(), nullptr, 10);
      if (errno == 0) {
        out = Value::ofUnsigned(n);
        return true;
      }
    }
    out = Value::ofDouble(std::strtod(digits.c_str(), nullptr));
    return true;
  }
  bool value(Value& out, unsigned depth) {
    if (depth > 256) {
      why_ = "nesting deeper than 256";
      return false;
    }
    skip();
    if (at_ >= text_.size()) {
      why_ = "the text ends";
      return false;
    }
    const char c = text_[at_];
    if (c == '{') {
      ++at_;
      out = Value::object();
      skip();
      if (at_ < text_.size() && text_[at_] == '}') {
        ++at_;
        return true;
      }
      for (;;) {
        skip();
        std::string key;
        if (at_ >= text_.size() || text_[at_] != '"' || !string(key)) {
          if (why_.empty()) why_ = "a member without a name";
          return false;
        }
        skip();
        if (at_ >= text_.size() || text_[at_] != ':') {
          why_ = "no colon after a member name";
          return false;
        }
        ++at_;
        Value member;
        if (!value(member, depth + 1)) return false;
        out.members.emplace_back(std::move(key), std::move(member));
        skip();
        if (at_ < text_.size() && text_[at_] == ',') {
          ++at_;
          continue;
        }
        if (at_ < text_.size() && text_[at_] == '}') {
          ++at_;
          return true;
        }
        why_ = "no comma or closing brace";
        return false;
      }
    }
    if (c == '[') {
      ++at_;
      out = Value::array();
      skip();
      if (at_ < text_.size() && text_[at_] == ']') {
        ++at_;
        return true;
      }
      for (;;) {
        Value element;
        if (!value(element, depth + 1)) return false;
        out.elements.push_back(std::move(element));
        skip();
        if (at_ < text_.size() && text_[at_] == ',') {
          ++at_;
          continue;
        }
        if (at_ < text_.size() && text_[at_] == ']') {
          ++at_;
          return true;
        }
        why_ = "no comma or closing bracket";
        return false;
      }
    }
    if (c == '"') {
      std::string text;
      if (!string(text)) return false;
      out = Value::ofString(std::move(text));
      return true;
    }
    if (literal("true")) {
      out = Value::of(true);
      return true;
    }
    if (literal("false")) {
      out = Value::of(false);
      return true;
    }
    if (literal("null")) {
      out = Value::null();
      return true;
    }
    return number(out);
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::string why_;
};

}  // namespace

bool parseJson(std::string_view text, Value& out, std::string* error) {
  return JsonParser(text).parse(out, error);
}

}  // namespace qor::validator
