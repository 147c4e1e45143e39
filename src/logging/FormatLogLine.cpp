// Line formatting for log targets, bounded by the caller's buffer.
#include "logging/FormatLogLine.h"

#include "logging/LogGroupTable.h"
#include "platform/Clock.h"
#include "platform/ProcessInfo.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace qor {

const char* logLevelText(LogLevel level) {
  switch (level) {
    case LogLevel::Okay:
      return "  OKAY";
    case LogLevel::Warn:
      return "  WARN";
    case LogLevel::Error:
      return " ERROR";
    case LogLevel::Always:
      return "ALWAYS";
  }
  return "   ???";
}

namespace {

// Appends to a buffer while keeping `reserve` bytes free at its end.
class LineBuffer {
 public:
  LineBuffer(char* buf, std::size_t size) : buf_(buf), limit_(size - 2) {}
  bool full() const { return len_ >= limit_; }
  void append(const char* s, std::size_t n) {
    std::size_t room = limit_ - len_;
    if (n > room) n = room;
    if (n == 0) return;
    std::memcpy(buf_ + len_, s, n);
    len_ += n;
  }
  void append(std::string_view s) { append(s.data(), s.size()); }
  void append(char c) {
    if (!full()) buf_[len_++] = c;
  }
  template <typename... Args>
  void print(const char* fmt, Args... args) {
    char tmp[64];
    int n = std::snprintf(tmp, sizeof tmp, fmt, args...);
    if (n > 0)
      append(tmp, static_cast<std::size_t>(n) < sizeof tmp ? static_cast<std::size_t>(n)
                                                           : sizeof tmp - 1);
  }
  std::size_t finish() {
    if (len_ == 0 || buf_[len_ - 1] != '\n') buf_[len_++] = '\n';
    buf_[len_] = '\0';
    return len_;
  }

 private:
  char* buf_;
  std::size_t limit_;
  std::size_t len_ = 0;
};

std::size_t printInto(char* buf, std::size_t size, int n) {
  if (size == 0 || n < 0) {
    if (size) buf[0] = '\0';
    return 0;
  }
  return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

std::uint64_t logClockStart() {
  static const std::uint64_t start = platform::highResolutionCounter();
  return start;
}

}  // namespace

std::uint64_t logClockMillis() {
  const std::uint64_t start = logClockStart();
  const std::uint64_t now = platform::highResolutionCounter();
  const std::uint64_t freq = platform::highResolutionFrequency();
  const std::uint64_t ticks = now - start;
  if (freq == 0) return 0;
  return ticks / freq * 1000 + ticks % freq * 1000 / freq;
}

std::size_t formatLogLine(std::string_view format, const LogRecord& record, char* buf,
                          std::size_t size) {
  if (size == 0 || buf == nullptr) return 0;
  if (size == 1) {
    buf[0] = '\0';
    return 0;
  }
  LineBuffer out(buf, size);
  for (std::size_t i = 0; i < format.size() && !out.full(); ++i) {
    char c = format[i];
    if (c != '#') {
      out.append(c);
      continue;
    }
    if (++i >= format.size()) break;
    switch (format[i]) {
      case 'D': {
        char t[64];
        std::size_t n = formatLogTime(record, t, sizeof t);
        out.append(t, n);
        break;
      }
      case 'E':
        out.append(std::string_view(executableFileName()));
        break;
      case 'G':
        out.append(formatLogGroups(record.groups));
        break;
      case 'H': {
        std::uint64_t ms = logClockMillis();
        out.print("%06llu.%03u", static_cast<unsigned long long>(ms / 1000),
                  static_cast<unsigned>(ms % 1000));
        break;
      }
      case 'L':
        out.append(std::string_view(logLevelText(record.level)));
        break;
      case 'M':
        if (record.message) out.append(std::string_view(record.message));
        break;
      case 'T':
        out.print("%08X", static_cast<unsigned>(platform::currentThreadId()));
        break;
      default:
        out.append(format[i]);
        break;
    }
  }
  return out.finish();
}

std::size_t formatLogTime(const LogRecord& r, char* buf, std::size_t size) {
  if (buf == nullptr) return 0;
  return printInto(buf, size,
                   std::snprintf(buf, size, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", r.year,
                                 r.month, r.day, r.hour, r.minute, r.second, r.millisecond));
}

std::size_t formatLogFileTime(const LogRecord& r, char* buf, std::size_t size) {
  if (buf == nullptr) return 0;
  return printInto(buf, size,
                   std::snprintf(buf, size, "%04d-%02d-%02dT%02d-%02d-%02d", r.year, r.month,
                                 r.day, r.hour, r.minute, r.second));
}

void currentLogTime(LogRecord& record) {
  platform::LocalTime t = platform::localTime();
  record.year = t.year;
  record.month = t.month;
  record.day = t.day;
  record.hour = t.hour;
  record.minute = t.minute;
  record.second = t.second;
  record.millisecond = t.millisecond;
}

const char* executableFileName() {
  // Built once, never destroyed: logging may run during static destruction.
  static const std::string* name = [] {
    std::string path = platform::executablePath();
    std::size_t cut = path.find_last_of("\\/");
    std::string file = cut == std::string::npos ? path : path.substr(cut + 1);
    return new std::string(file.empty() ? "<unknown>" : file);
  }();
  return name->c_str();
}

}  // namespace qor
