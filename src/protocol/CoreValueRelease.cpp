// Release of owned CoreValue trees.
#include "protocol/CoreValueRelease.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace qor {

void releaseCoreValue(CoreValue& value) noexcept {
  switch (value.kind) {
    case CORE_VALUE_STRING_OWNED:
    case CORE_VALUE_BLOB_OWNED:
      std::free(value.u.block.data);
      break;
    case CORE_VALUE_ARRAY: {
      auto* items = static_cast<CoreValue*>(value.u.block.data);
      for (std::uint32_t i = 0; items != nullptr && i < value.u.block.count; ++i)
        releaseCoreValue(items[i]);
      std::free(items);
      break;
    }
    case CORE_VALUE_STRUCT: {
      auto* members = static_cast<CoreStructMember*>(value.u.block.data);
      for (std::uint32_t i = 0; members != nullptr && i < value.u.block.count; ++i) {
        releaseCoreValue(members[i].value);
        if (members[i].ownsKey != 0) std::free(const_cast<char*>(members[i].key));
      }
      std::free(members);
      break;
    }
    default:
      break;
  }
  std::memset(&value, 0, sizeof value);
  value.kind = CORE_VALUE_EMPTY;
}

}  // namespace qor
