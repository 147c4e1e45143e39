// Short builders of BindingProperty values for the binding tests' case tables.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "binding/BindingProperty.h"
#include "binding/StaticType.h"

namespace qor::test {

inline BindingProperty Empty() { return BindingProperty(); }
inline BindingProperty B(bool v) { return BindingProperty(v); }
inline BindingProperty S(std::int64_t v) {
  BindingProperty p;
  p.setInt64(v);
  return p;
}
inline BindingProperty U(std::uint64_t v) {
  BindingProperty p;
  p.setUint64(v);
  return p;
}
inline BindingProperty F(double v) {
  BindingProperty p;
  p.setDouble(v);
  return p;
}
inline BindingProperty Str(std::string_view v) { return BindingProperty(v); }
inline BindingProperty E(std::int32_t v, const StaticType* type = nullptr) {
  BindingProperty p;
  p.setEnum(v, type);
  return p;
}
inline BindingProperty Blob(std::string_view bytes) {
  BindingProperty p;
  p.setBlob(bytes.data(), bytes.size());
  return p;
}
inline BindingProperty Coll(std::initializer_list<BindingProperty> items) {
  BindingProperty p;
  p.makeCollection();
  for (const BindingProperty& item : items) p.append() = item;
  return p;
}
inline BindingProperty Struct(std::initializer_list<std::pair<std::string_view, BindingProperty>> members) {
  BindingProperty p;
  p.makeStructure();
  for (const auto& [name, value] : members) p.member(name) = value;
  return p;
}

}  // namespace qor::test
