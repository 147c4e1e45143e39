// Conversions between BindingProperty trees and CoreValue, the tagged C
// record in which values cross to and from the core.
#pragma once

#include <string_view>

#include "PluginAbi.h"
#include "binding/BindingProperty.h"
#include "protocol/CoreValueRelease.h"  // releaseCoreValue, for the trees toCoreValue builds

namespace qor {

class TypeRegistry;

// The deepest CoreValue nesting fromCoreValue accepts (containers inside containers).
inline constexpr unsigned kMaxCoreValueDepth = 1024;

// A heap copy of `text` with its terminating NUL, for a record the core
// releases with free: strings and keys of core values, error and status
// texts and headers of responses. Null only when memory runs out.
char* copyCoreText(std::string_view text) noexcept;

// Writes `value` into `out` (whatever `out` held is overwritten, not
// released). Strings, blobs, arrays and structure keys are private copies
// that `out` owns (tags 6, 8, 9, 10 with ownsKey 1); release them with
// releaseCoreValue. Enums become their enumerator's name (tag 6) when the
// registry knows one, else their value (tag 2). Never fails.
void toCoreValue(const BindingProperty& value, CoreValue& out, const TypeRegistry* registry);

// Converts a CoreValue into result.value. The input is only read: it stays
// the caller's. Failures (a tag above 10, a null pointer with a non-zero
// count, nesting deeper than kMaxCoreValueDepth) reset result.value and set
// the error naming `fieldName`.
void fromCoreValue(BindingResult& result, const CoreValue& in, std::string_view fieldName);

// "bool", "signed", ... for CoreValue tags; "" for any tag above 10 and for 0.
const char* coreValueTagName(std::uint32_t tag) noexcept;

}  // namespace qor
