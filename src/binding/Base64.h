// Standard Base64 (RFC 4648 alphabet, "=" padding), the text form of blobs.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qor {

std::string base64Encode(std::span<const std::uint8_t> bytes);

}  // namespace qor
