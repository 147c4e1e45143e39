// Turning log records into text: line formats with "#" codes, level texts,
// time stamps, and the process facts lines show.
#pragma once

#include "logging/LogRecord.h"

#include <cstddef>
#include <string_view>

namespace qor {

// The six-character display text of a level ("  OKAY", "  WARN", " ERROR",
// "ALWAYS"); "   ???" for a value outside the four levels.
const char* logLevelText(LogLevel level);

// Formats the record by the line format into buf (size bytes) and returns the
// length written, without the terminating NUL. Codes: #D local time, #E
// executable file name, #G group tags, #H seconds since the clock was first
// read, #L level text, #M message, #T thread id; "#" before any other
// character writes that character, a "#" at the very end writes nothing.
// Two bytes stay free for the line feed and the NUL; what does not fit is cut.
// The line always ends in exactly one line feed (an empty format gives a
// lone line feed). A size of 0 writes nothing.
std::size_t formatLogLine(std::string_view format, const LogRecord& record, char* buf,
                          std::size_t size);

// "YYYY-MM-DDTHH:MM:SS.mmm" from the record's time fields; returns the length
// (cut to size - 1).
std::size_t formatLogTime(const LogRecord& record, char* buf, std::size_t size);
// "YYYY-MM-DDTHH-MM-SS", usable in file names.
std::size_t formatLogFileTime(const LogRecord& record, char* buf, std::size_t size);

// Fills the record's seven time fields with the current local time.
void currentLogTime(LogRecord& record);

// The executable's file name (the part of its path after the last separator),
// or "<unknown>". Computed once; the text lives as long as the process.
const char* executableFileName();

// Milliseconds since the high-resolution clock was first read by the log.
std::uint64_t logClockMillis();

}  // namespace qor
