// Millisecond clock and UTC time-stamp reader.
#include "logging/TimeStamp.h"

#include "platform/Clock.h"

#include <ctime>
#include <iomanip>
#include <locale>
#include <sstream>
#include <string>

namespace qor {

std::uint64_t currentTimeMillis() {
  // The epoch's file-time value, computed once.
  static const std::uint64_t epoch = platform::kUnixEpochFileTime;
  return (platform::utcFileTime() - epoch) / 10000;
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool isUtcZone(std::string_view z) {
  static constexpr std::string_view kAccepted[] = {"",    "Z",     "z",      "-00", "-0000",
                                                   "-00:00", "+00", "+0000", "+00:00"};
  for (std::string_view a : kAccepted)
    if (z == a) return true;
  return false;
}

}  // namespace

std::int64_t parseUtcTimestamp(std::string_view text) {
  if (text.size() < 5) return -1;
  const bool extended = text[4] == '-';
  const std::size_t partLen = extended ? 19 : 15;
  const std::size_t sepAt = extended ? 10 : 8;
  if (text.size() < partLen || !isDigit(text[partLen - 1])) return -1;

  std::string part(text.substr(0, partLen));
  if (part[sepAt] == ' ' || part[sepAt] == 't') part[sepAt] = 'T';

  std::size_t pos = partLen;
  if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
    std::size_t digits = pos + 1;
    while (digits < text.size() && isDigit(text[digits])) ++digits;
    if (digits > pos + 1) pos = digits;  // a mark without digits is no fraction
  }
  if (!isUtcZone(text.substr(pos))) return -1;

  if (!extended) {
    // YYYYMMDDTHHMMSS -> YYYY-MM-DDTHH:MM:SS
    std::string ext;
    ext.reserve(19);
    ext.append(part, 0, 4).push_back('-');
    ext.append(part, 4, 2).push_back('-');
    ext.append(part, 6, 3);
    ext.append(part, 9, 2).push_back(':');
    ext.append(part, 11, 2).push_back(':');
    ext.append(part, 13, 2);
    part = std::move(ext);
  }

  std::istringstream in(part);
  in.imbue(std::locale::classic());
  std::tm tm{};
  in >> std::get_time(&tm, "%Y-%m-%dT%H:%M:%S");
  if (in.fail()) return -1;
  // Nothing of the date-time part may be left unread.
  if (in.peek() != std::char_traits<char>::eof()) return -1;

  const std::int64_t year = static_cast<std::int64_t>(tm.tm_year) + 1900;
  const std::int64_t days =
      daysFromCivil(year, static_cast<unsigned>(tm.tm_mon + 1), static_cast<unsigned>(tm.tm_mday));
  return days * 86400 + tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
}

}  // namespace qor
