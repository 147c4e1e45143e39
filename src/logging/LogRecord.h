// The vocabulary of the log: levels, group masks and the record that the log
// manager hands to every target.
#pragma once

#include "PluginAbi.h"

#include <cstdint>

namespace qor {

// Severity of a message; a target writes a record when the record's level is
// at least the target's level.
enum class LogLevel : std::int32_t {
  Okay = CORE_LOG_OKAY,
  Warn = CORE_LOG_WARN,
  Error = CORE_LOG_ERROR,
  Always = CORE_LOG_ALWAYS,
};

// One bit per group tag; bit i is slot i of the group-tag table. A mask of 0
// means the message has no group.
using LogGroupMask = std::uint64_t;

constexpr LogGroupMask kLogGroupDbg = LogGroupMask{1} << 0;
constexpr LogGroupMask kLogGroupGen = LogGroupMask{1} << 1;
constexpr LogGroupMask kLogGroupXtr = LogGroupMask{1} << 2;
constexpr LogGroupMask kLogGroupPrf = LogGroupMask{1} << 3;
constexpr LogGroupMask kLogGroupMem = LogGroupMask{1} << 4;
constexpr LogGroupMask kLogGroupDsk = LogGroupMask{1} << 5;
constexpr LogGroupMask kLogGroupNet = LogGroupMask{1} << 6;
constexpr LogGroupMask kLogGroupTst = LogGroupMask{1} << 7;

// Longest message text a record carries, without its terminating NUL.
constexpr std::uint32_t kLogMessageMax = 4095;

// One message on its way to the targets: local time, level, groups and text.
// The message points into the caller's buffer and lives only for the call
// that hands the record over; a target that keeps it must copy it.
struct LogRecord {
  std::int32_t year = 0;
  std::int32_t month = 0;
  std::int32_t day = 0;
  std::int32_t hour = 0;
  std::int32_t minute = 0;
  std::int32_t second = 0;
  std::int32_t millisecond = 0;
  LogLevel level = LogLevel::Okay;
  LogGroupMask groups = 0;
  const char* message = "";  // NUL-terminated, at most kLogMessageMax characters
};

}  // namespace qor
