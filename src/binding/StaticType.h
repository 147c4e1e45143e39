// StaticType: the process-wide identity record of a native type that takes
// part in binding, and staticType<T>(), which hands out the one record per type.
#pragma once

#include "binding/Fnv1a.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace qor {

// One record per native type, created on first use and never destroyed.
//
// Identities: the id is the 32-bit FNV-1a hash of the type's compiler-given
// name (taken from __PRETTY_FUNCTION__), computed at compile time, so it is
// fixed within one build. On first use each record is entered in a
// process-wide table; should two different names hash to the same id (or to
// the reserved placeholder id 0), the later one takes the next free id, so
// identities stay distinct for every type. `name` is the type's C++ name.
struct StaticType {
  std::uint32_t id;
  std::string name;

  // The reserved identity (id 0, name "#00000000"). Types registered under it
  // are found by name only: the registry never enters it in its id table.
  static const StaticType& placeholder();

  // Creates the record for a type name (the work behind staticType<T>()).
  // The returned record lives for the rest of the process.
  static const StaticType& intern(std::uint32_t wantedId, std::string_view typeName);
};

// "#%08X" of an identity: the display name of a type without another name.
std::string staticTypeDisplayName(std::uint32_t id);

namespace detail {

// The part of __PRETTY_FUNCTION__ that names T ("... [with T = Foo]").
template <class T>
constexpr std::string_view typeNameOf() noexcept {
  std::string_view p = __PRETTY_FUNCTION__;
  std::string_view key = "T = ";
  std::size_t start = p.find(key);
  if (start == std::string_view::npos) return p;
  start += key.size();
  std::size_t end = p.find_first_of(";]", start);
  if (end == std::string_view::npos) end = p.size();
  return p.substr(start, end - start);
}

}  // namespace detail

// The identity record of T (cv-qualifiers ignored).
template <class T>
const StaticType& staticType() {
  using U = std::remove_cv_t<T>;
  constexpr std::string_view name = detail::typeNameOf<U>();
  constexpr std::uint32_t id = fnv1a32(name);
  static const StaticType& record = StaticType::intern(id, name);
  return record;
}

}  // namespace qor
