// TypeCheck: values against declared types.
#include "validator/TypeCheck.h"

#include "validator/CoreValues.h"

#include <cmath>
#include <cstring>

namespace qor::validator {
namespace {

constexpr unsigned kMaxDepth = 64;  // deeper parts are not compared

struct Checker {
  const ApiModel& model;
  std::string problem;

  bool fail(const std::string& path, const std::string& what) {
    problem = path + ": " + what;
    return false;
  }

  static bool isString(const CoreValue& v) {
    return (v.kind == CORE_VALUE_STRING_BORROWED || v.kind == CORE_VALUE_STRING_OWNED) && v.u.block.data != nullptr;
  }

  bool integerFits(const CoreValue& v, std::uint32_t code) {
    std::int64_t low = 0;
    std::uint64_t high = 0;
    switch (code) {
      case CORE_TYPE_INT8: low = -128; high = 127; break;
      case CORE_TYPE_UINT8: high = 255; break;
      case CORE_TYPE_INT16: low = -32768; high = 32767; break;
      case CORE_TYPE_UINT16: high = 65535; break;
      case CORE_TYPE_INT32: low = INT32_MIN; high = INT32_MAX; break;
      case CORE_TYPE_UINT32: high = UINT32_MAX; break;
      case CORE_TYPE_INT64: low = INT64_MIN; high = INT64_MAX; break;
      default: high = UINT64_MAX; break;
    }
    if (v.kind == CORE_VALUE_SIGNED) return v.u.i64 >= low && (v.u.i64 < 0 || static_cast<std::uint64_t>(v.u.i64) <= high);
    if (v.kind == CORE_VALUE_UNSIGNED) return v.u.u64 <= high;
    return false;
  }

  bool check(const CoreValue& v, const TypeRefModel& type, const std::string& path, unsigned depth) {
    if (depth > kMaxDepth) return true;
    const std::string kind = coreValueKindName(v.kind);
    const std::string declared = type.describe();
    switch (type.code) {
      case CORE_TYPE_NONE:
      case CORE_TYPE_OBJECT:
      case CORE_TYPE_CALLBACK:
        return true;
      case CORE_TYPE_BOOL:
        return v.kind == CORE_VALUE_BOOL || fail(path, kind + " for " + declared);
      case CORE_TYPE_FLOAT:
      case CORE_TYPE_DOUBLE:
        return v.kind == CORE_VALUE_DOUBLE || v.kind == CORE_VALUE_SIGNED || v.kind == CORE_VALUE_UNSIGNED ||
               fail(path, kind + " for " + declared);
      case CORE_TYPE_STRING:
        return isString(v) || fail(path, kind + " for " + declared);
      case CORE_TYPE_BLOB:
        return (v.kind >= CORE_VALUE_STRING_BORROWED && v.kind <= CORE_VALUE_BLOB_OWNED) ||
               fail(path, kind + " for " + declared);
      case CORE_TYPE_ENUM: {
        const TypeModel* named = model.findType(type.name);
        if (isString(v)) {
          if (named == nullptr || named->enumerators.empty()) return true;
          const char* text = static_cast<const char*>(v.u.block.data);
          for (const EnumeratorModel& e : named->enumerators)
            if (e.name == text) return true;
          return fail(path, "\"" + std::string(text) + "\" is no enumerator of " + type.name);
        }
        if (v.kind == CORE_VALUE_SIGNED || v.kind == CORE_VALUE_UNSIGNED) {
          if (named != nullptr && !named->enumerators.empty())
            return fail(path, "the number of an enumerator of " + type.name + " whose names are known");
          return true;
        }
        return fail(path, kind + " for " + declared);
      }
      case CORE_TYPE_VECTOR: {
        if (v.kind == CORE_VALUE_EMPTY) return true;
        if (v.kind != CORE_VALUE_ARRAY) return fail(path, kind + " for " + declared);
        const TypeRefModel element{type.element, 0, type.name};
        const auto* base = static_cast<const unsigned char*>(v.u.block.data);
        for (std::uint32_t i = 0; base != nullptr && i < v.u.block.count; ++i) {
          CoreValue e;
          std::memcpy(&e, base + i * sizeof(CoreValue), sizeof e);
          if (e.kind == CORE_VALUE_EMPTY) continue;
          if (!check(e, element, path + "[" + std::to_string(i) + "]", depth + 1)) return false;
        }
        return true;
      }
      case CORE_TYPE_MAP:
      case CORE_TYPE_STRUCT: {
        if (v.kind == CORE_VALUE_EMPTY) return true;
        if (v.kind != CORE_VALUE_STRUCT) return fail(path, kind + " for " + declared);
        const TypeModel* named = type.code == CORE_TYPE_STRUCT ? model.findType(type.name) : nullptr;
        if (type.code == CORE_TYPE_STRUCT && named == nullptr) return true;  // nothing to compare with
        const auto* base = static_cast<const unsigned char*>(v.u.block.data);
        for (std::uint32_t i = 0; base != nullptr && i < v.u.block.count; ++i) {
          CoreStructMember m;
          std::memcpy(&m, base + i * sizeof(CoreStructMember), sizeof m);
          if (m.key == nullptr) return fail(path, "a member without a name");
          const std::string memberPath = path + "." + m.key;
          if (m.value.kind == CORE_VALUE_EMPTY) continue;
          if (type.code == CORE_TYPE_MAP) {
            if (!check(m.value, TypeRefModel{type.element, 0, type.name}, memberPath, depth + 1)) return false;
            continue;
          }
          const FieldModel* field = nullptr;
          for (const FieldModel& f : named->fields)
            if (f.name == m.key) field = &f;
          if (field == nullptr) return fail(memberPath, "not a field of " + type.name);
          if (!check(m.value, field->type, memberPath, depth + 1)) return false;
        }
        return true;
      }
      default:
        if (isCoreIntegerType(type.code)) {
          if (v.kind == CORE_VALUE_SIGNED || v.kind == CORE_VALUE_UNSIGNED)
            return integerFits(v, type.code) || fail(path, describeCoreValue(v) + " is out of range for " + declared);
          return fail(path, kind + " for " + declared);
        }
        return true;
    }
  }
};

}  // namespace

std::string checkValueAgainstType(const CoreValue& value, const TypeRefModel& type, const ApiModel& model) {
  Checker checker{model, {}};
  checker.check(value, type, "$", 0);
  return checker.problem;
}

}  // namespace qor::validator
