// Conversions between BindingProperty trees and CoreValue records. Storage
// this side hands out comes from malloc, so a C host could free it too; the
// values the core hands in are only ever read.
#include "binding/CoreValueConverter.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "binding/FormatMessage.h"
#include "binding/TypeRegistry.h"

namespace qor {
namespace {

constexpr std::string_view kIncompatibleTag =
    "Couldn't assign value to '%1' of type object because the input is of an incompatible type "
    "'%2'.";
constexpr std::string_view kNestedTooDeeply =
    "Couldn't assign value to '%1' of type object because the input is nested too deeply.";
constexpr std::string_view kNullPointer =
    "Couldn't assign value to '%1' because the input holds a null pointer.";

void* allocate(std::size_t size) {
  if (size == 0) return nullptr;
  void* p = std::malloc(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

// A text copy for a tree being built: running out of memory unwinds the
// whole conversion, which leaves `out` releasable.
char* copyText(std::string_view text) {
  char* p = copyCoreText(text);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void setEmpty(CoreValue& v) {
  std::memset(&v, 0, sizeof v);
  v.kind = CORE_VALUE_EMPTY;
}

// ---- CoreValue to BindingProperty ------------------------------------------

enum class Failure { None, Tag, Depth, Null };

struct Reader {
  Failure failure = Failure::None;
  std::uint32_t badTag = 0;

  // depth: containers already open around `in`.
  bool read(BindingProperty& out, const CoreValue& in, unsigned depth) {
    const std::uint32_t kind = in.kind;
    switch (kind) {
      case CORE_VALUE_EMPTY:
        out.reset();
        return true;
      case CORE_VALUE_BOOL:
        out.setBool(in.u.boolean != 0);
        return true;
      case CORE_VALUE_SIGNED:
        out.setInt64(in.u.i64);
        return true;
      case CORE_VALUE_UNSIGNED:
        out.setUint64(in.u.u64);
        return true;
      case CORE_VALUE_DOUBLE:
        out.setDouble(in.u.f64);
        return true;
      case CORE_VALUE_STRING_BORROWED:
      case CORE_VALUE_STRING_OWNED: {
        const char* text = static_cast<const char*>(in.u.block.data);
        out.setString(text == nullptr ? std::string_view() : std::string_view(text));
        return true;
      }
      case CORE_VALUE_BLOB_BORROWED:
      case CORE_VALUE_BLOB_OWNED: {
        const void* data = in.u.block.data;
        std::uint32_t count = in.u.block.count;
        if (data == nullptr && count != 0) return fail(Failure::Null);
        out.setBlob(data, count);
        return true;
      }
      case CORE_VALUE_ARRAY: {
        if (depth >= kMaxCoreValueDepth) return fail(Failure::Depth);
        const auto* items = static_cast<const CoreValue*>(in.u.block.data);
        std::uint32_t count = in.u.block.count;
        if (items == nullptr && count != 0) return fail(Failure::Null);
        out.reset();
        out.makeCollection();
        out.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
          if (!read(out.append(), items[i], depth + 1)) return false;
        }
        return true;
      }
      case CORE_VALUE_STRUCT: {
        if (depth >= kMaxCoreValueDepth) return fail(Failure::Depth);
        const auto* members = static_cast<const CoreStructMember*>(in.u.block.data);
        std::uint32_t count = in.u.block.count;
        if (members == nullptr && count != 0) return fail(Failure::Null);
        out.reset();
        out.makeStructure();
        for (std::uint32_t i = 0; i < count; ++i) {
          const char* key = members[i].key;
          if (key == nullptr) return fail(Failure::Null);
          if (!read(out.member(std::string_view(key)), members[i].value, depth + 1)) return false;
        }
        return true;
      }
      default:
        badTag = kind;
        return fail(Failure::Tag);
    }
  }

  bool fail(Failure f) {
    failure = f;
    return false;
  }
};

}  // namespace

const char* coreValueTagName(std::uint32_t tag) noexcept {
  switch (tag) {
    case CORE_VALUE_BOOL: return "bool";
    case CORE_VALUE_SIGNED: return "signed";
    case CORE_VALUE_UNSIGNED: return "unsigned";
    case CORE_VALUE_DOUBLE: return "float";
    case CORE_VALUE_STRING_BORROWED:
    case CORE_VALUE_STRING_OWNED: return "string";
    case CORE_VALUE_BLOB_BORROWED:
    case CORE_VALUE_BLOB_OWNED: return "blob";
    case CORE_VALUE_ARRAY: return "collection";
    case CORE_VALUE_STRUCT: return "structure";
    default: return "";
  }
}

void fromCoreValue(BindingResult& result, const CoreValue& in, std::string_view fieldName) {
  if (!result.ok) return;
  Reader reader;
  if (reader.read(result.value, in, 0)) return;
  result.value.reset();
  switch (reader.failure) {
    case Failure::Tag:
      result.setError(formatMessage(kIncompatibleTag, fieldName, coreValueTagName(reader.badTag)));
      break;
    case Failure::Depth:
      result.setError(formatMessage(kNestedTooDeeply, fieldName));
      break;
    case Failure::Null:
    case Failure::None:
      result.setError(formatMessage(kNullPointer, fieldName));
      break;
  }
}

// ---- BindingProperty to CoreValue ------------------------------------------

char* copyCoreText(std::string_view text) noexcept {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) return nullptr;
  if (!text.empty()) std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

void toCoreValue(const BindingProperty& value, CoreValue& out, const TypeRegistry* registry) {
  setEmpty(out);
  switch (value.kind()) {
    case BindingPropertyKind::Empty:
      return;
    case BindingPropertyKind::Bool:
      out.kind = CORE_VALUE_BOOL;
      out.u.boolean = value.asBool() ? 1 : 0;
      return;
    case BindingPropertyKind::Signed:
      out.kind = CORE_VALUE_SIGNED;
      out.u.i64 = value.asInt64();
      return;
    case BindingPropertyKind::Unsigned:
      out.kind = CORE_VALUE_UNSIGNED;
      out.u.u64 = value.asUint64();
      return;
    case BindingPropertyKind::Float:
      out.kind = CORE_VALUE_DOUBLE;
      out.u.f64 = value.asDouble();
      return;
    case BindingPropertyKind::String: {
      std::string_view text = value.asString();
      out.u.block.data = copyText(text);
      out.u.block.count = static_cast<std::uint32_t>(text.size());
      out.kind = CORE_VALUE_STRING_OWNED;
      return;
    }
    case BindingPropertyKind::Blob: {
      auto bytes = value.asBlob();
      void* data = allocate(bytes.size());
      if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
      out.u.block.data = data;
      out.u.block.count = static_cast<std::uint32_t>(bytes.size());
      out.kind = CORE_VALUE_BLOB_OWNED;
      return;
    }
    case BindingPropertyKind::Enum: {
      const EnumPayload* payload = value.asEnum();
      const EnumValueDescriptor* name = nullptr;
      if (registry != nullptr && payload->type != nullptr) {
        const TypeDescriptor* d = registry->findType(*payload->type);
        if (d != nullptr && d->isEnum) name = d->findValue(payload->value);
      }
      if (name != nullptr) {
        out.u.block.data = copyText(name->name);
        out.u.block.count = static_cast<std::uint32_t>(name->name.size());
        out.kind = CORE_VALUE_STRING_OWNED;
      } else {
        out.kind = CORE_VALUE_SIGNED;
        out.u.i64 = payload->value;
      }
      return;
    }
    case BindingPropertyKind::Collection: {
      auto elements = value.elements();
      auto* items = static_cast<CoreValue*>(allocate(elements.size() * sizeof(CoreValue)));
      for (std::size_t i = 0; i < elements.size(); ++i) setEmpty(items[i]);
      // Published before filling so a failed allocation below leaves a record
      // releaseCoreValue can free.
      out.u.block.data = items;
      out.u.block.count = static_cast<std::uint32_t>(elements.size());
      out.kind = CORE_VALUE_ARRAY;
      for (std::size_t i = 0; i < elements.size(); ++i) toCoreValue(elements[i], items[i], registry);
      return;
    }
    case BindingPropertyKind::Structure: {
      std::size_t count = value.size();
      auto* members =
          static_cast<CoreStructMember*>(allocate(count * sizeof(CoreStructMember)));
      // An empty structure has no member array (allocate(0) gives null).
      if (members) std::memset(static_cast<void*>(members), 0, count * sizeof(CoreStructMember));
      out.u.block.data = members;
      out.u.block.count = static_cast<std::uint32_t>(count);
      out.kind = CORE_VALUE_STRUCT;
      std::size_t i = 0;
      value.forEachMember([&](std::string_view name, const BindingProperty& member) {
        if (i >= count) return;
        CoreStructMember& m = members[i++];
        m.key = copyText(name);
        m.ownsKey = 1;
        toCoreValue(member, m.value, registry);
      });
      return;
    }
  }
}

}  // namespace qor
