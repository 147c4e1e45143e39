// The registration style of plug-in code: a native record names each field
// once (wire name and member pointer); the field's TypeRef, offset and
// converter follow from the member's C++ type.
//
//   registerStruct<LoginSession>(registry, "QorInventoryLoginSession", {"QorInventory", "data"})
//       .field("state", &LoginSession::state)
//       .field("puuid", &LoginSession::puuid, {.optional = true});
//   registerEnum<ItemOwnershipType>(registry, "QorInventoryItemOwnershipType", {"QorInventory"})
//       .value("OWNED", ItemOwnershipType::Owned);
//
// Types may be registered in any order: a record that holds a structure or
// enumeration registered later names it in the API description all the same
// (references carry the native identity, which the export resolves), and
// conversions find it by its StaticType either way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <type_traits>

#include "binding/BindingTraits.h"
#include "binding/StaticType.h"
#include "binding/TypeRegistry.h"

namespace qor {

// Per-field settings; the defaults are those of every ordinary field.
struct FieldOptions {
  std::string_view description = {};
  bool optional = false;      // the optional flag of the API description
  std::uint32_t flags = 0;    // kFieldOmitDefault, kFieldRequired
  TypeRef extraType = {};     // replaces the field's type in the API description
};

namespace detail {
// Applies the tags in order; empty ones are dropped by the builder.
inline void addTags(TypeBuilder& builder, std::initializer_list<std::string_view> tags) {
  for (std::string_view tag : tags) builder.addTag(tag);
}
}  // namespace detail

template <class T>
class StructRegistration {
 public:
  explicit StructRegistration(TypeBuilder builder) : builder_(builder) {}

  template <class M>
  StructRegistration& field(std::string_view name, M T::*member, FieldOptions options = {}) {
    static_assert(!std::is_function_v<M>, "fields are data members");
    if (builder_.alreadyRegistered()) return *this;
    TypeRegistry& registry = *builder_.registry();
    builder_.addField(name, options.description, offsetOf(member), staticType<M>(),
                      typeRefOf<M>(registry), options.extraType, options.flags,
                      makeFieldConverter<M>(), options.optional);
    return *this;
  }
  StructRegistration& description(std::string_view text) {
    builder_.setDescription(text);
    return *this;
  }
  TypeBuilder& builder() noexcept { return builder_; }

 private:
  // The member's position, measured on a real object so no layout guess is made.
  template <class M>
  static std::uint32_t offsetOf(M T::*member) {
    static_assert(std::is_default_constructible_v<T>, "registered records are default-constructible");
    auto probe = std::make_unique<T>();
    const auto* base = reinterpret_cast<const unsigned char*>(probe.get());
    const auto* at = reinterpret_cast<const unsigned char*>(&(probe.get()->*member));
    return static_cast<std::uint32_t>(at - base);
  }

  TypeBuilder builder_;
};

template <class E>
class EnumRegistration {
 public:
  explicit EnumRegistration(TypeBuilder builder) : builder_(builder) {}

  EnumRegistration& value(std::string_view name, E value, std::string_view description = {}) {
    builder_.addValue(name, static_cast<std::int32_t>(value), description);
    return *this;
  }
  EnumRegistration& description(std::string_view text) {
    builder_.setDescription(text);
    return *this;
  }
  TypeBuilder& builder() noexcept { return builder_; }

 private:
  TypeBuilder builder_;
};

// Registers T as a structure of sizeof(T) bytes. A name registered before
// keeps its first description: the returned object then changes nothing.
template <class T>
StructRegistration<T> registerStruct(TypeRegistry& registry, std::string_view name,
                                     std::initializer_list<std::string_view> tags = {},
                                     std::string_view nameSpace = {}) {
  static_assert(std::is_class_v<T>);
  TypeBuilder builder = registry.registerType(static_cast<std::uint32_t>(sizeof(T)), name,
                                              staticType<T>(), false, nameSpace);
  detail::addTags(builder, tags);
  return StructRegistration<T>(builder);
}

// Registers the 32-bit enumeration E.
template <class E>
EnumRegistration<E> registerEnum(TypeRegistry& registry, std::string_view name,
                                 std::initializer_list<std::string_view> tags = {},
                                 std::string_view nameSpace = {}) {
  static_assert(std::is_enum_v<E> && sizeof(E) == 4, "bound enumerations are 32-bit");
  TypeBuilder builder = registry.registerType(4, name, staticType<E>(), true, nameSpace);
  detail::addTags(builder, tags);
  return EnumRegistration<E>(builder);
}

}  // namespace qor

namespace qor {

// Registers the event `name` with the payload structure P, registered before
// or after the event (its descriptor is found by P's StaticType). An event of
// that name registered before keeps its first description.
template <class P>
EventBuilder registerEventOf(TypeRegistry& registry, std::string_view name,
                             std::string_view description,
                             std::initializer_list<std::string_view> tags = {},
                             std::string_view nameSpace = {}) {
  EventBuilder builder = registry.registerEvent(name, registry.findType(staticType<P>()), nameSpace);
  if (!builder.alreadyRegistered()) builder.descriptor()->payload = &staticType<P>();
  builder.setDescription(description);
  for (std::string_view tag : tags) builder.addTag(tag);
  return builder;
}

}  // namespace qor
