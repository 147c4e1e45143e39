// The process-wide empty InternedString record.
#include "binding/InternedString.h"

namespace qor {

namespace {
// Constant-initialised: no constructor runs at load time.
constinit InternedString gEmptyRecord{};
}  // namespace

InternedString* InternedString::emptyRecord() noexcept { return &gEmptyRecord; }

}  // namespace qor
