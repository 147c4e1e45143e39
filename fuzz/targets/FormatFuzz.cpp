// format_message, log_line and utc_timestamp: the message formatter with a
// template and typed arguments from the bytes, the log line formatter with
// a line format, a record and a buffer size from the bytes, and the UTC
// time-stamp reader, checked against its grammar.
#include <chrono>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzTargets.h"
#include "binding/FormatMessage.h"
#include "logging/FormatLogLine.h"
#include "logging/TimeStamp.h"
#include "support/FuzzCheck.h"
#include "support/FuzzInput.h"

namespace qor::fuzz {
namespace {

// Owns the argument values so that the MessageArgument references stay valid.
struct Arguments {
  std::vector<std::string> texts;
  std::vector<MessageArgument> list;
};

void readArguments(FuzzInput& in, Arguments& args, std::size_t count) {
  args.texts.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    switch (in.below(7)) {
      case 0: args.texts.push_back(in.text(64)); args.list.emplace_back(args.texts.back().c_str()); break;
      case 1: args.texts.push_back(in.text(64)); args.list.emplace_back(args.texts.back()); break;
      case 2: args.list.emplace_back(static_cast<std::int32_t>(in.u32())); break;
      case 3: args.list.emplace_back(static_cast<std::int64_t>(in.u64())); break;
      case 4: args.list.emplace_back(in.u64()); break;
      case 5: args.list.emplace_back(in.f64()); break;
      default: args.list.emplace_back(static_cast<const char*>(nullptr)); break;
    }
  }
}

std::string format(std::string_view tmpl, const std::vector<MessageArgument>& a) {
  switch (a.size()) {
    case 0: return formatMessage(tmpl, {});
    case 1: return formatMessage(tmpl, {a[0]});
    case 2: return formatMessage(tmpl, {a[0], a[1]});
    case 3: return formatMessage(tmpl, {a[0], a[1], a[2]});
    case 4: return formatMessage(tmpl, {a[0], a[1], a[2], a[3]});
    default: return formatMessage(tmpl, {a[0], a[1], a[2], a[3], a[4]});
  }
}

bool digits(std::string_view t, std::size_t from, std::size_t count, int& value) {
  value = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    value = value * 10 + (t[i] - '0');
  }
  return true;
}

// The seconds a text of the accepted grammar stands for, when its fields are
// a real date and time; -1 for any other text.
std::int64_t expectedSeconds(std::string_view t) {
  if (t.size() < 5) return -1;
  const bool extended = t[4] == '-';
  const std::size_t length = extended ? 19 : 15;
  if (t.size() < length) return -1;
  int Y, M, D, h, m, s;
  std::size_t sep;
  if (extended) {
    if (t[7] != '-' || t[13] != ':' || t[16] != ':') return -1;
    if (!digits(t, 0, 4, Y) || !digits(t, 5, 2, M) || !digits(t, 8, 2, D) || !digits(t, 11, 2, h) ||
        !digits(t, 14, 2, m) || !digits(t, 17, 2, s))
      return -1;
    sep = 10;
  } else {
    if (!digits(t, 0, 4, Y) || !digits(t, 4, 2, M) || !digits(t, 6, 2, D) || !digits(t, 9, 2, h) ||
        !digits(t, 11, 2, m) || !digits(t, 13, 2, s))
      return -1;
    sep = 8;
  }
  if (t[sep] != 'T' && t[sep] != 't' && t[sep] != ' ') return -1;
  std::string_view rest = t.substr(length);
  if (!rest.empty() && (rest[0] == '.' || rest[0] == ',') && rest.size() > 1 && rest[1] >= '0' && rest[1] <= '9') {
    std::size_t i = 1;
    while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9') ++i;
    rest.remove_prefix(i);
  }
  static constexpr std::string_view kZones[] = {"", "Z", "z", "-00", "-0000", "-00:00", "+00", "+0000", "+00:00"};
  bool zone = false;
  for (std::string_view z : kZones) zone = zone || rest == z;
  if (!zone) return -1;
  // The calendar is the standard library's (proleptic Gregorian), not a copy
  // of the reader's own day arithmetic: a wrong month length, leap rule or
  // day count in either shows as a mismatch.
  using namespace std::chrono;
  const year_month_day date{year{Y}, month{static_cast<unsigned>(M)}, day{static_cast<unsigned>(D)}};
  if (Y < 1970 || !date.ok() || h > 23 || m > 59 || s > 59) return -1;
  const seconds sinceEpoch = sys_days{date}.time_since_epoch() + hours{h} + minutes{m} + seconds{s};
  return sinceEpoch.count();
}

}  // namespace

int fuzzFormatMessage(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  Arguments args;
  readArguments(in, args, in.below(6));
  const std::string_view tmpl = in.rest();
  const std::string out = format(tmpl, args.list);
  QOR_FUZZ_CHECK(out.size() <= 4095, "message of " + std::to_string(out.size()) + " bytes");
  if (tmpl.find('%') == std::string_view::npos) {
    const std::string_view expected = tmpl.substr(0, 4095);
    QOR_FUZZ_CHECK(out == expected, "a template without placeholders is not copied as it is");
  }
  return 0;
}

int fuzzLogLine(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  LogRecord record;
  record.year = static_cast<std::int32_t>(in.u32());
  record.month = static_cast<std::int32_t>(in.u32());
  record.day = in.byte();
  record.hour = in.byte();
  record.minute = in.byte();
  record.second = in.byte();
  record.millisecond = static_cast<std::int32_t>(in.u16());
  record.level = static_cast<LogLevel>(static_cast<std::int32_t>(in.u32()));
  record.groups = in.u64();
  const std::size_t room = in.flag() ? in.below(8) : 4096;
  const std::string message = in.text(kLogMessageMax);
  record.message = message.c_str();
  const std::string_view format = in.rest();

  std::vector<char> buffer(room + 16, '\x7f');
  const std::size_t length = formatLogLine(format, record, buffer.data(), room);
  for (std::size_t i = room; i < buffer.size(); ++i)
    QOR_FUZZ_CHECK(buffer[i] == '\x7f', "written past the buffer of " + std::to_string(room));
  if (room == 0) {
    QOR_FUZZ_CHECK(length == 0, "a buffer of 0 bytes got text");
    return 0;
  }
  QOR_FUZZ_CHECK(length < room && buffer[length] == '\0', "line not terminated within its buffer");
  if (room >= 2) QOR_FUZZ_CHECK(length > 0 && buffer[length - 1] == '\n', "line does not end in a line feed");
  return 0;
}

int fuzzUtcTimestamp(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::int64_t seconds = parseUtcTimestamp(text);
  const std::int64_t expected = expectedSeconds(text);
  if (expected != -1)
    QOR_FUZZ_CHECK(seconds == expected, "'" + std::string(text) + "' read as " + std::to_string(seconds) +
                                            ", expected " + std::to_string(expected));
  return 0;
}

}  // namespace qor::fuzz
