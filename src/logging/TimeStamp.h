// Wall-clock time in milliseconds and the reader of the UTC time stamps that
// remote services send.
#pragma once

#include <cstdint>
#include <string_view>

namespace qor {

// Milliseconds since 1970-01-01T00:00:00Z, from the system clock in UTC.
std::uint64_t currentTimeMillis();

// Seconds since the epoch of a UTC time stamp in ISO 8601 extended
// ("2024-05-06T07:08:09") or basic ("20240506T070809") form. A separator of
// "T", "t" or " ", an optional fraction ("." or "," and digits, dropped) and a
// zone of "Z", "z", "+00", "+0000", "+00:00" or the same with "-" are
// accepted; -1 for every other text, including other offsets. Reads only the
// text's own characters (it need not be NUL-terminated).
std::int64_t parseUtcTimestamp(std::string_view text);

}  // namespace qor
