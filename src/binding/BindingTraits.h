// BindingTraits: how each supported native type maps onto a BindingTypeCode
// and converts to and from BindingProperty values. The registration helpers
// and the top-level conversions are built on it.
//
// Supported: bool; 8/16/32/64-bit signed and unsigned integers; float;
// double; std::string; std::optional<std::string>; enumerations with a
// 32-bit underlying type; BindingProperty ("object"); std::vector<T>;
// std::map / std::unordered_map from std::string to T; and any other class
// type as a registered structure (found in the registry by its StaticType).
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "binding/BindingProperty.h"
#include "binding/ConversionRules.h"
#include "binding/StaticType.h"
#include "binding/TypeRegistry.h"

namespace qor {

// Primary template: a class type not matched below is a registered structure.
//
// Every specialisation provides:
//   code, elementCode       the BindingTypeCode pair of the type;
//   Described               the enumeration or structure whose descriptor the
//                           conversions need (void when none);
//   toProperty(status, out, native, descriptor, registry)
//                           writes the value into `out`; a failure sets
//                           status's error (stop touching `out` then);
//   fromProperty(result, native, source, fieldName, descriptor, registry)
//                           the input rule of the type.
template <class T, class Enable = void>
struct BindingTraits {
  static_assert(std::is_class_v<T>, "this native type cannot take part in binding");
  static constexpr BindingTypeCode code = BindingTypeCode::Struct;
  static constexpr BindingTypeCode elementCode = BindingTypeCode::None;
  using Described = T;

  // The descriptor handed in when it is T's own, else T's registered one.
  static const TypeDescriptor* resolve(const TypeDescriptor* d, const TypeRegistry& registry) {
    const StaticType& self = staticType<T>();
    if (d != nullptr && d->staticType == &self && !d->isEnum) return d;
    d = registry.findType(self);
    return (d != nullptr && !d->isEnum) ? d : nullptr;
  }
  static void toProperty(BindingResult& status, BindingProperty& out, const T& native,
                         const TypeDescriptor* d, const TypeRegistry& registry) {
    structToProperty(status, out, &native, resolve(d, registry), registry);
  }
  static void fromProperty(BindingResult& result, T& native, const BindingProperty& source,
                           std::string_view fieldName, const TypeDescriptor* d,
                           const TypeRegistry& registry) {
    if (!result.ok) return;
    structFromProperty(result, &native, source, fieldName, resolve(d, registry), registry);
  }
};

namespace detail {

template <class T>
constexpr const char* integerTypeName() {
  if constexpr (std::is_signed_v<T>) {
    if constexpr (sizeof(T) == 1) return "int8";
    else if constexpr (sizeof(T) == 2) return "int16";
    else if constexpr (sizeof(T) == 4) return "int32";
    else return "int64";
  } else {
    if constexpr (sizeof(T) == 1) return "uint8";
    else if constexpr (sizeof(T) == 2) return "uint16";
    else if constexpr (sizeof(T) == 4) return "uint32";
    else return "uint64";
  }
}

template <class T>
constexpr BindingTypeCode integerTypeCode() {
  constexpr bool s = std::is_signed_v<T>;
  if constexpr (sizeof(T) == 1) return s ? BindingTypeCode::Int8 : BindingTypeCode::Uint8;
  else if constexpr (sizeof(T) == 2) return s ? BindingTypeCode::Int16 : BindingTypeCode::Uint16;
  else if constexpr (sizeof(T) == 4) return s ? BindingTypeCode::Int32 : BindingTypeCode::Uint32;
  else return s ? BindingTypeCode::Int64 : BindingTypeCode::Uint64;
}

template <class T>
struct IsStringMap : std::false_type {};
template <class V, class C, class A>
struct IsStringMap<std::map<std::string, V, C, A>> : std::true_type {};
template <class V, class H, class E, class A>
struct IsStringMap<std::unordered_map<std::string, V, H, E, A>> : std::true_type {};

}  // namespace detail

// The descriptor a container hands to each element: the one given, or the
// element type's registered one, looked up once for the whole container
// rather than once per element.
template <class Described>
const TypeDescriptor* describeOnce(const TypeDescriptor* d, const TypeRegistry& registry) {
  if constexpr (std::is_void_v<Described>) {
    return d;
  } else {
    return d != nullptr ? d : registry.findType(staticType<Described>());
  }
}

template <>
struct BindingTraits<bool> {
  static constexpr BindingTypeCode code = BindingTypeCode::Bool;
  static constexpr BindingTypeCode elementCode = BindingTypeCode::None;
  using Described = void;
  static void toProperty(BindingResult&, BindingProperty& out, const bool& native,
                         const TypeDescriptor*, const TypeRegistry&) {
    out.setBool(native);
  }
  static void fromProperty(BindingResult& result, bool& native, const BindingProperty& source,
                           std::string_view fieldName, const TypeDescriptor*, const TypeRegistry&) {
    if (result.ok && source.kind() == BindingPropertyKind::Bool) {
      native = source.asBool();
      return;
    }
    convertBool(result, native, source, fieldName);
  }
};

template <class T>
struct BindingTraits<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
  static_assert(sizeof(T) <= 8);
  static constexpr BindingTypeCode code = detail::integerTypeCode<T>();
  static constexpr BindingTypeCode elementCode = BindingTypeCode::None;
  using Described = void;
  static void toProperty(BindingResult&, BindingProperty& out, const T& native,
                         const TypeDescriptor*, const TypeRegistry&) {
    if constexpr (std::is_signed_v<T>) {
      out.setInt64(static_cast<std::int64_t>(native));
    } else {
      out.setUint64(static_cast<std::uint64_t>(native));
    }
  }
  static void fromProperty(BindingResult& result, T& native, const BindingProperty& source,
                           std::string_view fieldName, const TypeDescriptor*, const TypeRegistry&) {
    // Fast path for the common exact kind; every other case takes the full rule.
    if constexpr (std::is_signed_v<T>) {
      if (result.ok && source.kind() == BindingPropertyKind::Signed) {
        std::int64_t v = source.asInt64();
        if (v >= std::numeric_limits<T>::min() && v <= std::numeric_limits<T>::max()) {
          native = static_cast<T>(v);
          return;
        }
      }
    } else {
      if (result.ok && source.kind() == BindingPropertyKind::Unsigned) {
        std::uint64_t v = source.asUint64();
        if (v <= std::numeric_limits<T>::max()) {
          native = static_cast<T>(v);
          return;
        }
      }
    }
    if constexpr (std::is_signed_v<T>) {
      std::int64_t v = 0;
      convertSigned(result, v, source, fieldName, std::numeric_limits<T>::min(),
                    std::numeric_limits<T>::max(), detail::integerTypeName<T>());
      if (result.ok) native = static_cast<T>(v);
    } else {
      std::uint64_t v = 0;
      convertUnsigned(result, v, source, fieldName, std::numeric_limits<T>::max(),
                      detail::integerTypeName<T>());
      if (result.ok) native = static_cast<T>(v);
    }
  }
};

template <class T>
struct BindingTraits<T, std::enable_if_t<std::is_floating_point_v<T>>> {
  static_assert(std::is_same_v<T, float> || std::is_same_v<T, double>);
  static constexpr BindingTypeCode code =
      std::is_same_v<T, float> ? BindingTypeCode::Float : BindingTypeCode::Double;
  static constexpr BindingTypeCode elementCode = BindingTypeCode::None;
  using Described = void;
  static void toProperty(BindingResult&, BindingProperty& out, const T& native,
                         const TypeDescriptor*, const TypeRegistry&) {
    out.setDouble(static_cast<double>(native));
  }
  static void fromProperty(BindingResult& result, T& native, const BindingProperty& source,
                           std::string_view fieldName, const TypeDescriptor*, const TypeRegistry&) {
    double v = 0;
    convertFloat(result, v, source, fieldName, -static_cast<double>(std::numeric_limits<T>::max()),
                 static_cast<double>(std::numeric_limits<T>::max()),
                 std::is_same_v<T, float> ? "float" : "double");
    if (result.ok) native = static_cast<T>(v);
  }
};

template <>
struct BindingTraits<std::string> {
  static constexpr BindingTypeCode code = BindingTypeCode::String;
  static constexpr BindingTypeCode elementCode = BindingTypeCode::None;
  using Described = void;
  static void toProperty(BindingResult&, BindingProperty& out, const std::string& native,
                         const TypeDescriptor*, const TypeRegistry&) {
    out.setString(std::string_view(native));
  }
  static void fromProperty(BindingResult& result, std::string& native,
                           const BindingProperty& source, std::string_view fieldName,
                           const TypeDescriptor*, const TypeRegistry& registry) {
    if (result.ok && source.kind() == BindingPropertyKind::String) {
      native.assign(source.asString());
      return;
    }
    convertString(result, native, source, fieldName, &registry);
  }
};

// An optional string: absent writes nothing (the target stays as handed in);
// an empty source leaves the field as it was.
template <>
struct BindingTraits<std::optional<std::string>> {
  static constexpr BindingTypeCode code = BindingTypeCode::String;
  static constexpr BindingTypeCode elementCode = BindingTypeCode::None;
  using Described = void;
  static void toProperty(BindingResult&, BindingProperty& out,
                         const std::optional<std::string>& native, const TypeDescriptor*,
                         const TypeRegistry&) {
    if (native.has_value()) out.setString(std::string_view(*native));
  }
  static void fromProperty(BindingResult& result, std::optional<std::string>& native,
                           const BindingProperty& source, std::string_view fieldName,
                           const TypeDescriptor*, const TypeRegistry& registry) {
    if (!result.ok || source.isEmpty()) return;
    std::string text;
    convertString(result, text, source, fieldName, &registry);
    if (result.ok) native = std::move(text);
  }
};

template <class T>
struct BindingTraits<T, std::enable_if_t<std::is_enum_v<T>>> {
  static_assert(sizeof(T) == 4, "bound enumerations are 32-bit");
  static constexpr BindingTypeCode code = BindingTypeCode::Enum;
  static constexpr BindingTypeCode elementCode = BindingTypeCode::None;
  using Described = T;

  static const TypeDescriptor* resolve(const TypeDescriptor* d, const TypeRegistry& registry) {
    const StaticType& self = staticType<T>();
    if (d != nullptr && d->staticType == &self && d->isEnum) return d;
    d = registry.findType(self);
    return (d != nullptr && d->isEnum) ? d : nullptr;
  }
  static void toProperty(BindingResult&, BindingProperty& out, const T& native,
                         const TypeDescriptor*, const TypeRegistry&) {
    out.setEnum(static_cast<std::int32_t>(native), &staticType<T>());
  }
  static void fromProperty(BindingResult& result, T& native, const BindingProperty& source,
                           std::string_view fieldName, const TypeDescriptor* d,
                           const TypeRegistry& registry) {
    if (!result.ok) return;
    std::int32_t v = 0;
    convertEnum(result, v, source, fieldName, resolve(d, registry));
    if (result.ok) native = static_cast<T>(v);
  }
};

// "object": an unconverted value, deep-copied both ways.
template <>
struct BindingTraits<BindingProperty> {
  static constexpr BindingTypeCode code = BindingTypeCode::Object;
  static constexpr BindingTypeCode elementCode = BindingTypeCode::None;
  using Described = void;
  static void toProperty(BindingResult&, BindingProperty& out, const BindingProperty& native,
                         const TypeDescriptor*, const TypeRegistry&) {
    out = native;
  }
  static void fromProperty(BindingResult& result, BindingProperty& native,
                           const BindingProperty& source, std::string_view, const TypeDescriptor*,
                           const TypeRegistry&) {
    if (!result.ok) return;
    native.reset();
    native = source;
  }
};

template <class T, class A>
struct BindingTraits<std::vector<T, A>> {
  using Element = BindingTraits<T>;
  static constexpr BindingTypeCode code = BindingTypeCode::Vector;
  static constexpr BindingTypeCode elementCode = Element::code;
  using Described = typename Element::Described;

  static void toProperty(BindingResult& status, BindingProperty& out,
                         const std::vector<T, A>& native, const TypeDescriptor* d,
                         const TypeRegistry& registry) {
    out.reset();
    out.makeCollection();
    out.reserve(native.size());
    if (!native.empty()) d = describeOnce<Described>(d, registry);
    for (const auto& item : native) {
      const T& element = item;  // vector<bool> hands out proxies
      Element::toProperty(status, out.append(), element, d, registry);
      if (!status.ok) return;
    }
  }
  static void fromProperty(BindingResult& result, std::vector<T, A>& native,
                           const BindingProperty& source, std::string_view fieldName,
                           const TypeDescriptor* d, const TypeRegistry& registry);
};

void reportNotCollection(BindingResult& result, std::string_view fieldName);
void reportNotStructureForMap(BindingResult& result, std::string_view fieldName);

template <class T, class A>
void BindingTraits<std::vector<T, A>>::fromProperty(BindingResult& result,
                                                    std::vector<T, A>& native,
                                                    const BindingProperty& source,
                                                    std::string_view fieldName,
                                                    const TypeDescriptor* d,
                                                    const TypeRegistry& registry) {
  if (!result.ok) return;
  native.clear();
  if (source.kind() != BindingPropertyKind::Collection) {
    reportNotCollection(result, fieldName);
    return;
  }
  auto elements = source.elements();
  native.resize(elements.size());
  if (!elements.empty()) d = describeOnce<typename BindingTraits<std::vector<T, A>>::Described>(d, registry);
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (elements[i].isEmpty()) continue;
    if constexpr (std::is_same_v<T, bool>) {
      bool v = false;
      Element::fromProperty(result, v, elements[i], fieldName, d, registry);
      native[i] = v;
    } else {
      Element::fromProperty(result, native[i], elements[i], fieldName, d, registry);
    }
    if (!result.ok) return;
  }
}

template <class M>
struct BindingTraits<M, std::enable_if_t<detail::IsStringMap<M>::value>> {
  using Value = typename M::mapped_type;
  using Element = BindingTraits<Value>;
  static constexpr BindingTypeCode code = BindingTypeCode::Map;
  static constexpr BindingTypeCode elementCode = Element::code;
  using Described = typename Element::Described;

  static void toProperty(BindingResult& status, BindingProperty& out, const M& native,
                         const TypeDescriptor* d, const TypeRegistry& registry) {
    out.reset();
    out.makeStructure();
    if (!native.empty()) d = describeOnce<Described>(d, registry);
    for (const auto& [key, value] : native) {
      Element::toProperty(status, out.member(std::string_view(key)), value, d, registry);
      if (!status.ok) return;
    }
  }
  static void fromProperty(BindingResult& result, M& native, const BindingProperty& source,
                           std::string_view fieldName, const TypeDescriptor* d,
                           const TypeRegistry& registry) {
    if (!result.ok) return;
    native.clear();
    if (source.kind() != BindingPropertyKind::Structure) {
      reportNotStructureForMap(result, fieldName);
      return;
    }
    if constexpr (requires { native.reserve(std::size_t{}); }) native.reserve(source.size());
    if (source.size() != 0) d = describeOnce<Described>(d, registry);
    source.forEachMember([&](std::string_view name, const BindingProperty& value) {
      if (!result.ok || value.isEmpty()) return;
      Element::fromProperty(result, native[std::string(name)], value, fieldName, d, registry);
    });
  }
};

// The TypeRef of a native type; the descriptor is looked up in the registry
// (null when the enumeration or structure is not registered yet).
template <class T>
TypeRef typeRefOf(const TypeRegistry& registry) {
  using Traits = BindingTraits<T>;
  TypeRef ref{Traits::code, Traits::elementCode, nullptr};
  if constexpr (!std::is_void_v<typename Traits::Described>) {
    ref.described = &staticType<typename Traits::Described>();
    ref.descriptor = registry.findType(*ref.described);
  }
  return ref;
}

// The FieldConverter of a native type: a thin wrapper over its traits.
template <class T>
class TraitsFieldConverter final : public FieldConverter {
 public:
  void fromProperty(BindingResult& result, void* native, const BindingProperty& source,
                    std::string_view fieldName, const TypeDescriptor* descriptor,
                    const TypeRegistry& registry) const override {
    BindingTraits<T>::fromProperty(result, *static_cast<T*>(native), source, fieldName, descriptor,
                                   registry);
  }
  void toProperty(BindingResult& status, BindingProperty& out, const void* native,
                  const TypeDescriptor* descriptor, const TypeRegistry& registry) const override {
    BindingTraits<T>::toProperty(status, out, *static_cast<const T*>(native), descriptor, registry);
  }
};

template <class T>
std::unique_ptr<FieldConverter> makeFieldConverter() {
  return std::make_unique<TraitsFieldConverter<T>>();
}

}  // namespace qor
