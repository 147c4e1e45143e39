// The conversion rules between BindingProperty values and native data: the
// scalar rules (signed, unsigned, float, bool, string, enum) and the
// structure rule that walks a TypeDescriptor's fields.
//
// Every rule does nothing when the result it is handed has already failed.
// On failure it sets the result's error to the rule's message and leaves the
// native target unchanged; on success it writes the target and leaves the
// result as it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "binding/BindingProperty.h"

namespace qor {

class TypeRegistry;
struct TypeDescriptor;

// The field name that messages use for a whole value.
inline constexpr std::string_view kTopLevelFieldName = "<value>";

// Signed integers with bounds min..max; typeName ("int32", ...) for messages.
void convertSigned(BindingResult& result, std::int64_t& out, const BindingProperty& source,
                   std::string_view fieldName, std::int64_t min, std::int64_t max,
                   const char* typeName);
// Unsigned integers with bound max.
void convertUnsigned(BindingResult& result, std::uint64_t& out, const BindingProperty& source,
                     std::string_view fieldName, std::uint64_t max, const char* typeName);
// Floating point with bounds min..max ("float", "double").
void convertFloat(BindingResult& result, double& out, const BindingProperty& source,
                  std::string_view fieldName, double min, double max, const char* typeName);
void convertBool(BindingResult& result, bool& out, const BindingProperty& source,
                 std::string_view fieldName);
// Strings; an enum value gives its enumerator's name, looked up in the
// registry (a null registry finds no enumerator).
void convertString(BindingResult& result, std::string& out, const BindingProperty& source,
                   std::string_view fieldName, const TypeRegistry* registry);
// 32-bit enumerations with their descriptor (null: no value is valid).
void convertEnum(BindingResult& result, std::int32_t& out, const BindingProperty& source,
                 std::string_view fieldName, const TypeDescriptor* descriptor);

// Structure rule, input: fills the native record at `native` from a
// structure value through the descriptor's fields (null descriptor: the
// unregistered-structure message).
void structFromProperty(BindingResult& result, void* native, const BindingProperty& source,
                        std::string_view fieldName, const TypeDescriptor* descriptor,
                        const TypeRegistry& registry);
// Structure rule, output: writes the record as a structure into `out`, a
// value inside any tree. A failure sets `status`'s error and ends the walk;
// the caller must not touch `out` once status.ok is false (`out` may be part
// of status.value, which the error replaces).
void structToProperty(BindingResult& status, BindingProperty& out, const void* native,
                      const TypeDescriptor* descriptor, const TypeRegistry& registry);

// The omit-default test of the structure rule: empty, false, zero numbers
// (a float when equal to 0), enum 0, and strings, blobs, collections and
// structures of size 0.
bool isDefaultValue(const BindingProperty& value) noexcept;

}  // namespace qor
