// Conversions between CoreValue trees and nlohmann::json.
#include "host/CoreValueJson.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace qor::host {
namespace {

using nlohmann::json;

json readValue(const CoreValue& value, unsigned depth) {
  switch (value.kind) {
    case CORE_VALUE_EMPTY:
      return nullptr;
    case CORE_VALUE_BOOL:
      return value.u.boolean != 0;
    case CORE_VALUE_SIGNED:
      return static_cast<std::int64_t>(value.u.i64);
    case CORE_VALUE_UNSIGNED:
      return static_cast<std::uint64_t>(value.u.u64);
    case CORE_VALUE_DOUBLE:
      return static_cast<double>(value.u.f64);
    case CORE_VALUE_STRING_BORROWED:
    case CORE_VALUE_STRING_OWNED: {
      const char* text = static_cast<const char*>(value.u.block.data);
      return text == nullptr ? json(nullptr) : json(std::string(text));
    }
    case CORE_VALUE_BLOB_BORROWED:
    case CORE_VALUE_BLOB_OWNED: {
      const char* bytes = static_cast<const char*>(value.u.block.data);
      const std::uint32_t size = value.u.block.count;
      if (bytes == nullptr) return size == 0 ? json(std::string()) : json(nullptr);
      return std::string(bytes, size);
    }
    case CORE_VALUE_ARRAY: {
      const auto* items = static_cast<const CoreValue*>(value.u.block.data);
      const std::uint32_t count = value.u.block.count;
      if (depth >= kMaxValueDepth || (items == nullptr && count != 0)) return nullptr;
      json array = json::array();
      for (std::uint32_t i = 0; i < count; ++i) array.push_back(readValue(items[i], depth + 1));
      return array;
    }
    case CORE_VALUE_STRUCT: {
      const auto* members = static_cast<const CoreStructMember*>(value.u.block.data);
      const std::uint32_t count = value.u.block.count;
      if (depth >= kMaxValueDepth || (members == nullptr && count != 0)) return nullptr;
      json object = json::object();
      for (std::uint32_t i = 0; i < count; ++i) {
        const char* key = members[i].key;
        object[key == nullptr ? std::string() : std::string(key)] =
            readValue(members[i].value, depth + 1);
      }
      return object;
    }
    default:
      return nullptr;
  }
}

void setEmpty(CoreValue& out) {
  std::memset(&out, 0, sizeof out);
  out.kind = CORE_VALUE_EMPTY;
}

bool writeValue(const json& in, CoreValue& out, unsigned depth, std::string* error) {
  setEmpty(out);
  switch (in.type()) {
    case json::value_t::null:
    case json::value_t::discarded:
      return true;
    case json::value_t::boolean:
      out.kind = CORE_VALUE_BOOL;
      out.u.boolean = in.get<bool>() ? 1 : 0;
      return true;
    case json::value_t::number_integer: {
      const std::int64_t number = in.get<std::int64_t>();
      if (number >= 0) {
        out.kind = CORE_VALUE_UNSIGNED;
        out.u.u64 = static_cast<std::uint64_t>(number);
      } else {
        out.kind = CORE_VALUE_SIGNED;
        out.u.i64 = number;
      }
      return true;
    }
    case json::value_t::number_unsigned:
      out.kind = CORE_VALUE_UNSIGNED;
      out.u.u64 = in.get<std::uint64_t>();
      return true;
    case json::value_t::number_float:
      out.kind = CORE_VALUE_DOUBLE;
      out.u.f64 = in.get<double>();
      return true;
    case json::value_t::string: {
      char* text = copyCoreText(in.get_ref<const std::string&>());
      if (text == nullptr) {
        if (error) *error = "out of memory";
        return false;
      }
      out.kind = CORE_VALUE_STRING_OWNED;
      out.u.block.data = text;
      out.u.block.count = 0;
      return true;
    }
    case json::value_t::binary: {
      const auto& bytes = in.get_binary();
      if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        if (error) *error = "blob too large";
        return false;
      }
      void* copy = std::malloc(bytes.empty() ? 1 : bytes.size());
      if (copy == nullptr) {
        if (error) *error = "out of memory";
        return false;
      }
      if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
      out.kind = CORE_VALUE_BLOB_OWNED;
      out.u.block.data = copy;
      out.u.block.count = static_cast<std::uint32_t>(bytes.size());
      return true;
    }
    case json::value_t::array:
    case json::value_t::object:
      break;
  }
  if (depth >= kMaxValueDepth) {
    if (error) *error = "value is nested too deeply";
    return false;
  }
  if (in.size() > std::numeric_limits<std::uint32_t>::max() / sizeof(CoreStructMember)) {
    if (error) *error = "container too large";
    return false;
  }
  const auto count = static_cast<std::uint32_t>(in.size());
  if (in.is_array()) {
    auto* items = static_cast<CoreValue*>(std::calloc(count == 0 ? 1 : count, sizeof(CoreValue)));
    if (items == nullptr) {
      if (error) *error = "out of memory";
      return false;
    }
    out.kind = CORE_VALUE_ARRAY;
    out.u.block.data = items;
    out.u.block.count = 0;
    for (const json& element : in) {
      // The count grows with every written element so that a failure
      // part-way releases exactly what was built.
      const std::uint32_t index = out.u.block.count;
      const bool ok = writeValue(element, items[index], depth + 1, error);
      out.u.block.count = index + 1;
      if (!ok) {
        releaseCoreValue(out);
        return false;
      }
    }
    return true;
  }
  auto* members =
      static_cast<CoreStructMember*>(std::calloc(count == 0 ? 1 : count, sizeof(CoreStructMember)));
  if (members == nullptr) {
    if (error) *error = "out of memory";
    return false;
  }
  out.kind = CORE_VALUE_STRUCT;
  out.u.block.data = members;
  out.u.block.count = 0;
  for (const auto& [key, element] : in.items()) {
    const std::uint32_t index = out.u.block.count;
    CoreStructMember& member = members[index];
    member.key = copyCoreText(key);
    member.ownsKey = 1;
    const bool ok = member.key != nullptr && writeValue(element, member.value, depth + 1, error);
    out.u.block.count = index + 1;
    if (!ok) {
      if (member.key == nullptr && error) *error = "out of memory";
      releaseCoreValue(out);
      return false;
    }
  }
  return true;
}

}  // namespace

char* copyCoreText(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

json coreValueToJson(const CoreValue& value) { return readValue(value, 0); }

bool jsonToCoreValue(const json& in, CoreValue& out, std::string* error) {
  return writeValue(in, out, 0, error);
}

}  // namespace qor::host
