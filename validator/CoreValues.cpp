// CoreValues: building borrowed value trees, checking and describing values.
#include "validator/CoreValues.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace qor::validator {

CoreValue ValueArena::boolean(bool value) {
  CoreValue v{};
  v.kind = CORE_VALUE_BOOL;
  v.u.boolean = value ? 1 : 0;
  return v;
}

CoreValue ValueArena::signedNumber(std::int64_t value) {
  CoreValue v{};
  v.kind = CORE_VALUE_SIGNED;
  v.u.i64 = value;
  return v;
}

CoreValue ValueArena::unsignedNumber(std::uint64_t value) {
  CoreValue v{};
  v.kind = CORE_VALUE_UNSIGNED;
  v.u.u64 = value;
  return v;
}

CoreValue ValueArena::number(double value) {
  CoreValue v{};
  v.kind = CORE_VALUE_DOUBLE;
  v.u.f64 = value;
  return v;
}

CoreValue ValueArena::raw(std::uint32_t kind, const void* data, std::uint32_t count) {
  CoreValue v{};
  v.kind = kind;
  v.u.block.data = const_cast<void*>(data);
  v.u.block.count = count;
  return v;
}

const char* ValueArena::text(std::string_view text) {
  strings_.emplace_back(text);
  return strings_.back().c_str();
}

const char* ValueArena::bytes(std::string_view bytes) {
  if (bytes.empty()) return nullptr;
  auto block = std::make_unique<char[]>(bytes.size());
  std::memcpy(block.get(), bytes.data(), bytes.size());
  blobs_.push_back(std::move(block));
  return blobs_.back().get();
}

CoreValue ValueArena::string(std::string_view value) {
  return raw(CORE_VALUE_STRING_BORROWED, text(value), 0);
}

CoreValue ValueArena::blob(std::string_view value) {
  return raw(CORE_VALUE_BLOB_BORROWED, bytes(value), static_cast<std::uint32_t>(value.size()));
}

CoreValue ValueArena::array(const std::vector<CoreValue>& elements) {
  if (elements.empty()) return raw(CORE_VALUE_ARRAY, nullptr, 0);
  arrays_.push_back(elements);
  return raw(CORE_VALUE_ARRAY, arrays_.back().data(), static_cast<std::uint32_t>(elements.size()));
}

CoreValue ValueArena::structure(const std::vector<std::pair<std::string, CoreValue>>& members) {
  if (members.empty()) return raw(CORE_VALUE_STRUCT, nullptr, 0);
  std::vector<CoreStructMember> records(members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    records[i].key = text(members[i].first);
    std::memcpy(&records[i].value, &members[i].second, sizeof(CoreValue));
    records[i].ownsKey = 0;
  }
  members_.push_back(std::move(records));
  return raw(CORE_VALUE_STRUCT, members_.back().data(), static_cast<std::uint32_t>(members.size()));
}

const char* coreValueKindName(std::uint32_t kind) {
  static constexpr const char* kNames[] = {"empty",          "bool",        "signed",
                                           "unsigned",       "double",      "string",
                                           "owned string",   "blob",        "owned blob",
                                           "array",          "structure"};
  return kind < std::size(kNames) ? kNames[kind] : "unknown kind";
}

namespace {

// Reads a packed record field by field (records are packed, so fields may be
// misaligned on the plug-in's side).
CoreValue loadValue(const void* at) {
  CoreValue v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

struct Checker {
  const ValueLimits& limits;
  std::uint64_t nodes = 0;
  std::string problem;

  bool fail(const std::string& path, const std::string& what) {
    problem = path + ": " + what;
    return false;
  }

  bool check(const CoreValue& v, const std::string& path, unsigned depth) {
    if (++nodes > limits.maxNodes) return fail(path, "more than " + std::to_string(limits.maxNodes) + " values");
    if (depth > limits.maxDepth)
      return fail(path, "nested deeper than " + std::to_string(limits.maxDepth) + " levels");
    const void* data = v.u.block.data;
    const std::uint32_t count = v.u.block.count;
    switch (v.kind) {
      case CORE_VALUE_EMPTY:
      case CORE_VALUE_SIGNED:
      case CORE_VALUE_UNSIGNED:
      case CORE_VALUE_DOUBLE:
        return true;
      case CORE_VALUE_BOOL:
        if (v.u.boolean > 1) return fail(path, "bool byte " + std::to_string(v.u.boolean));
        return true;
      case CORE_VALUE_STRING_BORROWED:
      case CORE_VALUE_STRING_OWNED:
        if (data == nullptr) return fail(path, "string with a null pointer");
        // Read it whole: a dangling pointer then meets the sanitizer here.
        static_cast<void>(std::strlen(static_cast<const char*>(data)));
        return true;
      case CORE_VALUE_BLOB_BORROWED:
      case CORE_VALUE_BLOB_OWNED:
        if (count != 0 && data == nullptr) return fail(path, "blob of " + std::to_string(count) + " bytes at a null pointer");
        return true;
      case CORE_VALUE_ARRAY: {
        if (count != 0 && data == nullptr) return fail(path, "array of " + std::to_string(count) + " values at a null pointer");
        if (count > limits.maxCount) return fail(path, "array count " + std::to_string(count));
        const auto* base = static_cast<const unsigned char*>(data);
        for (std::uint32_t i = 0; i < count; ++i) {
          if (!check(loadValue(base + i * sizeof(CoreValue)), path + "[" + std::to_string(i) + "]", depth + 1))
            return false;
        }
        return true;
      }
      case CORE_VALUE_STRUCT: {
        if (count != 0 && data == nullptr) return fail(path, "structure of " + std::to_string(count) + " members at a null pointer");
        if (count > limits.maxCount) return fail(path, "member count " + std::to_string(count));
        const auto* base = static_cast<const unsigned char*>(data);
        std::vector<std::string_view> keys;
        keys.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
          CoreStructMember member;
          std::memcpy(&member, base + i * sizeof(CoreStructMember), sizeof member);
          if (member.key == nullptr) return fail(path, "member " + std::to_string(i) + " has a null name");
          if (member.ownsKey > 1) return fail(path, "member '" + std::string(member.key) + "' ownsKey byte " + std::to_string(member.ownsKey));
          keys.emplace_back(member.key);
          if (!check(member.value, path + "." + member.key, depth + 1)) return false;
        }
        std::sort(keys.begin(), keys.end());
        const auto twin = std::adjacent_find(keys.begin(), keys.end());
        if (twin != keys.end()) return fail(path, "member '" + std::string(*twin) + "' appears twice");
        return true;
      }
      default:
        return fail(path, "unknown kind " + std::to_string(v.kind));
    }
  }
};

void appendQuoted(std::string& out, std::string_view text, std::size_t room) {
  out += '"';
  for (unsigned char c : text) {
    if (out.size() > room) return;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

void describe(std::string& out, const CoreValue& v, std::size_t room, unsigned depth) {
  if (out.size() > room) return;
  if (depth > 16) {
    out += "...";
    return;
  }
  char number[64];
  switch (v.kind) {
    case CORE_VALUE_EMPTY: out += "null"; return;
    case CORE_VALUE_BOOL: out += v.u.boolean ? "true" : "false"; return;
    case CORE_VALUE_SIGNED: out += std::to_string(v.u.i64); return;
    case CORE_VALUE_UNSIGNED: out += std::to_string(v.u.u64); return;
    case CORE_VALUE_DOUBLE: std::snprintf(number, sizeof number, "%.17g", v.u.f64); out += number; return;
    case CORE_VALUE_STRING_BORROWED:
    case CORE_VALUE_STRING_OWNED:
      if (v.u.block.data == nullptr) out += "<null string>";
      else appendQuoted(out, static_cast<const char*>(v.u.block.data), room);
      return;
    case CORE_VALUE_BLOB_BORROWED:
    case CORE_VALUE_BLOB_OWNED:
      out += "<blob " + std::to_string(v.u.block.count) + " bytes>";
      return;
    case CORE_VALUE_ARRAY: {
      out += '[';
      const auto* base = static_cast<const unsigned char*>(v.u.block.data);
      for (std::uint32_t i = 0; base != nullptr && i < v.u.block.count && out.size() <= room; ++i) {
        if (i != 0) out += ',';
        describe(out, loadValue(base + i * sizeof(CoreValue)), room, depth + 1);
      }
      out += ']';
      return;
    }
    case CORE_VALUE_STRUCT: {
      out += '{';
      const auto* base = static_cast<const unsigned char*>(v.u.block.data);
      for (std::uint32_t i = 0; base != nullptr && i < v.u.block.count && out.size() <= room; ++i) {
        CoreStructMember member;
        std::memcpy(&member, base + i * sizeof(CoreStructMember), sizeof member);
        if (i != 0) out += ',';
        appendQuoted(out, member.key != nullptr ? member.key : "<null>", room);
        out += ':';
        describe(out, member.value, room, depth + 1);
      }
      out += '}';
      return;
    }
    default:
      out += "<kind " + std::to_string(v.kind) + ">";
  }
}

}  // namespace

std::string checkCoreValue(const CoreValue& value, const ValueLimits& limits) {
  Checker checker{limits, 0, {}};
  checker.check(value, "$", 0);
  return checker.problem;
}

std::string describeCoreValue(const CoreValue& value, std::size_t maxLength) {
  std::string out;
  describe(out, value, maxLength, 0);
  if (out.size() > maxLength) {
    out.resize(maxLength);
    out += "...";
  }
  return out;
}

}  // namespace qor::validator
