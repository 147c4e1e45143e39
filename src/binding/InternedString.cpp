// The process-wide empty InternedString record.
#include "binding/InternedString.h"

namespace qor {

namespace {
// The header and its terminating NUL, constant-initialised.
struct EmptyRecord {
  InternedString header;
  char text[8];
};
constinit EmptyRecord gEmptyRecord{{fnv1a32(""), 0, 0}, {}};
static_assert(sizeof(InternedString) % alignof(InternedString) == 0);
}  // namespace

InternedString* InternedString::emptyRecord() noexcept { return &gEmptyRecord.header; }

}  // namespace qor
