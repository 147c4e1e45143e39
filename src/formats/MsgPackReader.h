// MsgPackReader: reads one MessagePack-encoded value into a BindingProperty.
#pragma once

#include <cstddef>

#include "binding/BindingProperty.h"

namespace qor {

// Open containers a MessagePack value may nest before it is refused.
inline constexpr std::size_t kMsgPackMaxDepth = 1024;

struct [[nodiscard]] MsgPackReadResult {
  BindingResult result;
  // The offset just after the first complete value, or where reading stopped.
  std::size_t consumed = 0;
};

// Reads the first value of the range and stops there; what follows is left to
// the caller. Empty input succeeds with an empty value. Input that ends before
// a container's announced items have all come fails ("Array of size <n> at
// position <p> is truncated.", p just after the container's header, for the
// innermost such container; "Map of size ..." for maps). Map keys must be strings;
// ext types and the unused byte 0xC1 are refused. Nothing is read past
// data + size, and no memory is set aside for elements before they arrive.
MsgPackReadResult readMsgPack(const void* data, std::size_t size);

}  // namespace qor
