// Top-level conversions between native data and BindingProperty values, for
// any type BindingTraits supports: a registered structure, a vector of them,
// a map, a string, a number...
//
//   BindingResult r;
//   toProperty(r, session, registry);          // r.value is the structure
//   fromProperty(r, session, value, kTopLevelFieldName, registry);
#pragma once

#include <string_view>

#include "binding/BindingProperty.h"
#include "binding/BindingTraits.h"
#include "binding/ConversionRules.h"
#include "binding/CoreValueConverter.h"
#include "binding/TypeRegistry.h"

namespace qor {

// Writes `native` into `out` (a value inside any tree); a failure sets
// status's error. The structure or enumeration descriptor is found with
// findType of the type's StaticType.
template <class T>
void toPropertyInto(BindingResult& status, BindingProperty& out, const T& native,
                    const TypeRegistry& registry) {
  BindingTraits<T>::toProperty(status, out, native, nullptr, registry);
}

// Native to value: result becomes the value (ok), or the error.
template <class T>
void toProperty(BindingResult& result, const T& native, const TypeRegistry& registry) {
  result.resetOk();
  BindingTraits<T>::toProperty(result, result.value, native, nullptr, registry);
}

// Value to native: does nothing when result has already failed. Messages
// about the whole value name it `fieldName` ("<value>" at top level). On
// failure the native target keeps whatever was converted before it.
template <class T>
void fromProperty(BindingResult& result, T& native, const BindingProperty& source,
                  std::string_view fieldName, const TypeRegistry& registry) {
  if (!result.ok) return;
  BindingTraits<T>::fromProperty(result, native, source, fieldName, nullptr, registry);
}

}  // namespace qor
