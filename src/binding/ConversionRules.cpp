// The conversion rules between values and native data, with every message
// text they report.
#include "binding/ConversionRules.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "binding/BindingTraits.h"
#include "binding/FormatMessage.h"
#include "binding/TypeRegistry.h"

namespace qor {
namespace {

// ---- Message templates -----------------------------------------------------
constexpr std::string_view kRequired = "A value for '%1' is required.";
constexpr std::string_view kIncorrectFormat = "Value %1 for '%2' of type %3 is in an incorrect format";
constexpr std::string_view kOutOfRange = "Value %1 for '%2' of type %3 is out of range";
constexpr std::string_view kInvalidType =
    "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.";
constexpr std::string_view kBoolFormat =
    "Value %1 for '%2' of type bool is in an incorrect format. Options are \"true\", \"false\", "
    "\"1\", \"0\".";
constexpr std::string_view kBoolInvalidType =
    "Couldn't assign value to '%1' of type bool because the input is of an invalid type %2.";
constexpr std::string_view kNoEnumerator = "%1 is not a valid enumeration value for '%2'.";
constexpr std::string_view kNotString =
    "Couldn't assign value to '%1' because the input is not a string.";
constexpr std::string_view kEnumNotValid = "%1 is not a valid %2 enumeration value for '%3'.";
constexpr std::string_view kEnumInvalidType =
    "Couldn't assign value to '%1' of enum type because the input is of an invalid type %2.";
constexpr std::string_view kUnregisteredInput =
    "Couldn't assign value to '%1' because the input is an unregistered structure or not a "
    "structure at all.";
constexpr std::string_view kNotStructure =
    "Couldn't assign value to '%1' of type %2 because the input not a structure.";
constexpr std::string_view kMissingRequired =
    "Couldn't assign value to '%1' of type %2 because the input structure doesn't have required "
    "field '%3'.";
constexpr std::string_view kUnregisteredOutput =
    "Couldn't convert native value because it's an unregistered structure.";
constexpr std::string_view kVectorNotCollection =
    "Couldn't assign value to '%1' of type vector because the input not a collection.";
constexpr std::string_view kMapNotStructure =
    "Couldn't assign value to '%1' of type map because the input not a structure.";

constexpr double kTwo63 = 9223372036854775808.0;   // 2^63
constexpr double kTwo64 = 18446744073709551616.0;  // 2^64

// Reports an out-of-range number in the form of its kind.
void outOfRange(BindingResult& result, const BindingProperty& source, std::string_view field,
                const char* typeName) {
  switch (source.kind()) {
    case BindingPropertyKind::Signed:
      result.setError(formatMessage(kOutOfRange, source.asInt64(), field, typeName));
      break;
    case BindingPropertyKind::Unsigned:
      result.setError(formatMessage(kOutOfRange, source.asUint64(), field, typeName));
      break;
    case BindingPropertyKind::Float:
      result.setError(formatMessage(kOutOfRange, source.asDouble(), field, typeName));
      break;
    case BindingPropertyKind::Enum:
      result.setError(formatMessage(kOutOfRange, source.asEnum()->value, field, typeName));
      break;
    default:
      result.setError(formatMessage(kOutOfRange, source.asText(), field, typeName));
      break;
  }
}

// The text of a string value as a NUL-terminated copy for the C parsers. An
// embedded NUL ends the parse early, so it shows up as left-over text.
std::string parseCopy(std::string_view text) { return std::string(text); }

// The first character after leading white space, or '\0'.
char firstSignificant(const std::string& text) {
  for (char c : text) {
    if (!std::isspace(static_cast<unsigned char>(c))) return c;
  }
  return '\0';
}

// A double in bounds for a 64-bit signed conversion [-2^63, 2^63); NaN never is.
bool fitsInt64(double d) { return d >= -kTwo63 && d < kTwo63; }

}  // namespace

void convertSigned(BindingResult& result, std::int64_t& out, const BindingProperty& source,
                   std::string_view field, std::int64_t min, std::int64_t max,
                   const char* typeName) {
  if (!result.ok) return;
  switch (source.kind()) {
    case BindingPropertyKind::Empty:
      result.setError(formatMessage(kRequired, field));
      return;
    case BindingPropertyKind::Signed: {
      std::int64_t v = source.asInt64();
      if (v < min || v > max) return outOfRange(result, source, field, typeName);
      out = v;
      return;
    }
    case BindingPropertyKind::Unsigned: {
      std::uint64_t v = source.asUint64();
      if (max < 0 || v > static_cast<std::uint64_t>(max) ||
          (min > 0 && v < static_cast<std::uint64_t>(min))) {
        return outOfRange(result, source, field, typeName);
      }
      out = static_cast<std::int64_t>(v);
      return;
    }
    case BindingPropertyKind::Float: {
      double d = source.asDouble();
      if (!(d >= static_cast<double>(min) && d <= static_cast<double>(max)) || !fitsInt64(d)) {
        return outOfRange(result, source, field, typeName);
      }
      std::int64_t v = static_cast<std::int64_t>(d);  // truncates toward zero
      if (v < min || v > max) return outOfRange(result, source, field, typeName);
      out = v;
      return;
    }
    case BindingPropertyKind::String: {
      std::string text = parseCopy(source.asString());
      const char* begin = text.c_str();
      char* end = nullptr;
      errno = 0;
      long long v = std::strtoll(begin, &end, 0);
      bool overflow = errno == ERANGE;
      if (end != begin + text.size()) {
        result.setError(formatMessage(kIncorrectFormat, text, field, typeName));
        return;
      }
      if (overflow || v < min || v > max) {
        result.setError(formatMessage(kOutOfRange, text, field, typeName));
        return;
      }
      out = v;
      return;
    }
    case BindingPropertyKind::Enum: {
      std::int64_t v = source.asEnum()->value;
      if (v < min || v > max) return outOfRange(result, source, field, typeName);
      out = v;
      return;
    }
    default:
      result.setError(formatMessage(kInvalidType, field, typeName, kindName(source.kind())));
      return;
  }
}

void convertUnsigned(BindingResult& result, std::uint64_t& out, const BindingProperty& source,
                     std::string_view field, std::uint64_t max, const char* typeName) {
  if (!result.ok) return;
  switch (source.kind()) {
    case BindingPropertyKind::Empty:
      result.setError(formatMessage(kRequired, field));
      return;
    case BindingPropertyKind::Signed: {
      std::int64_t v = source.asInt64();
      if (v < 0 || static_cast<std::uint64_t>(v) > max) {
        return outOfRange(result, source, field, typeName);
      }
      out = static_cast<std::uint64_t>(v);
      return;
    }
    case BindingPropertyKind::Unsigned: {
      std::uint64_t v = source.asUint64();
      if (v > max) return outOfRange(result, source, field, typeName);
      out = v;
      return;
    }
    case BindingPropertyKind::Float: {
      double d = source.asDouble();
      // NaN fails the first test; 2^64 and above cannot be represented.
      if (!(d >= 0.0) || d > static_cast<double>(max) || d >= kTwo64) {
        return outOfRange(result, source, field, typeName);
      }
      std::uint64_t v = static_cast<std::uint64_t>(d);
      if (v > max) return outOfRange(result, source, field, typeName);
      out = v;
      return;
    }
    case BindingPropertyKind::String: {
      std::string text = parseCopy(source.asString());
      const char* begin = text.c_str();
      char* end = nullptr;
      errno = 0;
      unsigned long long v = std::strtoull(begin, &end, 0);
      bool overflow = errno == ERANGE;
      if (end != begin + text.size()) {
        result.setError(formatMessage(kIncorrectFormat, text, field, typeName));
        return;
      }
      // strtoull accepts "-1" by negating; a negative text is out of range.
      if (overflow || v > max || firstSignificant(text) == '-') {
        result.setError(formatMessage(kOutOfRange, text, field, typeName));
        return;
      }
      out = v;
      return;
    }
    case BindingPropertyKind::Enum: {
      std::int32_t v = source.asEnum()->value;
      if (v < 0 || static_cast<std::uint64_t>(v) > max) {
        return outOfRange(result, source, field, typeName);
      }
      out = static_cast<std::uint64_t>(v);
      return;
    }
    default:
      result.setError(formatMessage(kInvalidType, field, typeName, kindName(source.kind())));
      return;
  }
}

namespace {
// Bounds compared as 64-bit integers when they lie within the 64-bit range,
// so large integers are not rounded through double first.
bool lowerBoundFails(std::int64_t v, double min) {
  if (min < -kTwo63) return false;
  double lowest = std::ceil(min);
  if (lowest >= kTwo63) return true;
  return v < static_cast<std::int64_t>(lowest);
}
bool upperBoundFails(std::int64_t v, double max) {
  if (max >= kTwo63) return false;
  if (max < -kTwo63) return true;
  return v > static_cast<std::int64_t>(std::floor(max));
}
}  // namespace

void convertFloat(BindingResult& result, double& out, const BindingProperty& source,
                  std::string_view field, double min, double max, const char* typeName) {
  if (!result.ok) return;
  switch (source.kind()) {
    case BindingPropertyKind::Empty:
      result.setError(formatMessage(kRequired, field));
      return;
    case BindingPropertyKind::Signed:
    case BindingPropertyKind::Enum: {
      std::int64_t v = source.kind() == BindingPropertyKind::Signed ? source.asInt64()
                                                                      : source.asEnum()->value;
      if (lowerBoundFails(v, min) || upperBoundFails(v, max)) {
        return outOfRange(result, source, field, typeName);
      }
      out = static_cast<double>(v);
      return;
    }
    case BindingPropertyKind::Unsigned: {
      std::uint64_t v = source.asUint64();
      bool above = false;
      if (max < 0) {
        above = true;
      } else if (max < kTwo64) {
        above = v > static_cast<std::uint64_t>(std::floor(max));
      }
      if (above) return outOfRange(result, source, field, typeName);
      out = static_cast<double>(v);
      return;
    }
    case BindingPropertyKind::Float: {
      double d = source.asDouble();
      if (!(d >= min && d <= max)) return outOfRange(result, source, field, typeName);
      out = d;
      return;
    }
    case BindingPropertyKind::String: {
      std::string text = parseCopy(source.asString());
      const char* begin = text.c_str();
      char* end = nullptr;
      errno = 0;
      double d = std::strtod(begin, &end);
      bool overflow = errno == ERANGE && std::fabs(d) == HUGE_VAL;
      if (end != begin + text.size()) {
        result.setError(formatMessage(kIncorrectFormat, text, field, typeName));
        return;
      }
      if (overflow || !(d >= min && d <= max)) {
        result.setError(formatMessage(kOutOfRange, text, field, typeName));
        return;
      }
      out = d;
      return;
    }
    default:
      result.setError(formatMessage(kInvalidType, field, typeName, kindName(source.kind())));
      return;
  }
}

void convertBool(BindingResult& result, bool& out, const BindingProperty& source,
                 std::string_view field) {
  if (!result.ok) return;
  switch (source.kind()) {
    case BindingPropertyKind::Empty:
      result.setError(formatMessage(kRequired, field));
      return;
    case BindingPropertyKind::Bool:
      out = source.asBool();
      return;
    case BindingPropertyKind::String: {
      std::string_view text = source.asString();
      if (text == "1" || text == "true") {
        out = true;
      } else if (text == "0" || text == "false") {
        out = false;
      } else {
        result.setError(formatMessage(kBoolFormat, text, field));
      }
      return;
    }
    default:
      result.setError(formatMessage(kBoolInvalidType, field, kindName(source.kind())));
      return;
  }
}

void convertString(BindingResult& result, std::string& out, const BindingProperty& source,
                   std::string_view field, const TypeRegistry* registry) {
  if (!result.ok) return;
  switch (source.kind()) {
    case BindingPropertyKind::Empty:
      result.setError(formatMessage(kRequired, field));
      return;
    case BindingPropertyKind::String:
      out.assign(source.asString());
      return;
    case BindingPropertyKind::Enum: {
      const EnumPayload* payload = source.asEnum();
      const TypeDescriptor* d = nullptr;
      if (registry != nullptr && payload->type != nullptr) d = registry->findType(*payload->type);
      const EnumValueDescriptor* v = (d != nullptr && d->isEnum) ? d->findValue(payload->value)
                                                                 : nullptr;
      if (v == nullptr) {
        result.setError(formatMessage(kNoEnumerator, payload->value, field));
        return;
      }
      out = v->name;
      return;
    }
    default:
      result.setError(formatMessage(kNotString, field));
      return;
  }
}

void convertEnum(BindingResult& result, std::int32_t& out, const BindingProperty& source,
                 std::string_view field, const TypeDescriptor* descriptor) {
  if (!result.ok) return;
  const char* enumName = descriptor != nullptr ? descriptor->name.c_str() : "";
  auto valid = [descriptor](std::int32_t v) {
    return descriptor != nullptr && descriptor->findValue(v) != nullptr;
  };
  switch (source.kind()) {
    case BindingPropertyKind::Empty:
      result.setError(formatMessage(kRequired, field));
      return;
    case BindingPropertyKind::Signed: {
      auto v = static_cast<std::int32_t>(static_cast<std::uint32_t>(source.asInt64()));
      if (!valid(v)) {
        result.setError(formatMessage(kEnumNotValid, source.asInt64(), enumName, field));
        return;
      }
      out = v;
      return;
    }
    case BindingPropertyKind::Unsigned: {
      auto v = static_cast<std::int32_t>(static_cast<std::uint32_t>(source.asUint64()));
      if (!valid(v)) {
        result.setError(formatMessage(kEnumNotValid, source.asUint64(), enumName, field));
        return;
      }
      out = v;
      return;
    }
    case BindingPropertyKind::String: {
      std::string_view text = source.asString();
      if (descriptor != nullptr) {
        if (const EnumValueDescriptor* e = descriptor->findValue(text)) {
          out = e->value;
          return;
        }
      }
      BindingResult parsed;
      std::int64_t number = 0;
      convertSigned(parsed, number, source, field, INT64_MIN, INT64_MAX, "int64");
      auto v = static_cast<std::int32_t>(static_cast<std::uint64_t>(number));
      if (!parsed.ok || !valid(v)) {
        result.setError(formatMessage(kEnumNotValid, text, enumName, field));
        return;
      }
      out = v;
      return;
    }
    case BindingPropertyKind::Enum: {
      std::int32_t v = source.asEnum()->value;
      if (!valid(v)) {
        result.setError(formatMessage(kEnumNotValid, v, enumName, field));
        return;
      }
      out = v;
      return;
    }
    default:
      result.setError(formatMessage(kEnumInvalidType, field, kindName(source.kind())));
      return;
  }
}

void structFromProperty(BindingResult& result, void* native, const BindingProperty& source,
                        std::string_view field, const TypeDescriptor* descriptor,
                        const TypeRegistry& registry) {
  if (!result.ok) return;
  if (descriptor == nullptr) {
    result.setError(formatMessage(kUnregisteredInput, field));
    return;
  }
  if (source.kind() != BindingPropertyKind::Structure) {
    result.setError(formatMessage(kNotStructure, field, descriptor->name));
    return;
  }
  // Pair fields with members in one walk: both are kept in byte-wise name
  // order, so this costs one comparison per step instead of a tree search
  // per field. Conversion itself still runs in registration order.
  const auto& fields = descriptor->fields;
  const std::size_t n = fields.size();
  const BindingProperty* inlineFound[32];
  std::vector<const BindingProperty*> heapFound;
  const BindingProperty** found = inlineFound;
  if (n > std::size(inlineFound)) {
    heapFound.resize(n);
    found = heapFound.data();
  }
  const auto& order = descriptor->fieldsByName;
  if (order.size() == n) {
    std::fill(found, found + n, nullptr);
    std::size_t next = 0;
    source.forEachMember([&](std::string_view name, const BindingProperty& value) {
      while (next < n && std::string_view(fields[order[next]].name) < name) ++next;
      for (std::size_t k = next; k < n && fields[order[k]].name == name; ++k) {
        found[order[k]] = &value;
      }
    });
  } else {
    for (std::size_t i = 0; i < n; ++i) found[i] = &source.get(std::string_view(fields[i].name));
  }

  auto* base = static_cast<unsigned char*>(native);
  for (std::size_t i = 0; i < n; ++i) {
    const FieldDescriptor& f = fields[i];
    const BindingProperty& member = found[i] != nullptr ? *found[i] : BindingProperty::emptyValue();
    if (member.isEmpty()) {
      if ((f.flags & kFieldRequired) != 0) {
        result.setError(formatMessage(kMissingRequired, field, descriptor->name, f.name));
        return;
      }
      continue;
    }
    if (!f.converter) continue;
    f.converter->fromProperty(result, base + f.offset, member, f.name, f.type.descriptor, registry);
    if (!result.ok) return;
  }
}

void structToProperty(BindingResult& status, BindingProperty& out, const void* native,
                      const TypeDescriptor* descriptor, const TypeRegistry& registry) {
  if (!status.ok) return;
  if (descriptor == nullptr) {
    status.setError(kUnregisteredOutput);
    return;
  }
  out.reset();
  out.makeStructure();
  const auto* base = static_cast<const unsigned char*>(native);
  for (const FieldDescriptor& f : descriptor->fields) {
    if (!f.converter) continue;
    if ((f.flags & kFieldOmitDefault) != 0) {
      BindingResult value;
      f.converter->toProperty(value, value.value, base + f.offset, f.type.descriptor, registry);
      if (!value.ok) {
        status.setError(value.errorText());
        return;
      }
      if (!isDefaultValue(value.value)) out.member(std::string_view(f.name)) = value.value;
      continue;
    }
    f.converter->toProperty(status, out.member(std::string_view(f.name)), base + f.offset,
                            f.type.descriptor, registry);
    if (!status.ok) return;
  }
}

bool isDefaultValue(const BindingProperty& value) noexcept {
  switch (value.kind()) {
    case BindingPropertyKind::Empty:
      return true;
    case BindingPropertyKind::Bool:
      return !value.asBool();
    case BindingPropertyKind::Signed:
      return value.asInt64() == 0;
    case BindingPropertyKind::Unsigned:
      return value.asUint64() == 0;
    case BindingPropertyKind::Float:
      return value.asDouble() == 0.0;
    case BindingPropertyKind::Enum:
      return value.asEnum()->value == 0;
    default:
      return value.size() == 0;
  }
}

void reportNotCollection(BindingResult& result, std::string_view field) {
  result.setError(formatMessage(kVectorNotCollection, field));
}

void reportNotStructureForMap(BindingResult& result, std::string_view field) {
  result.setError(formatMessage(kMapNotStructure, field));
}

}  // namespace qor
