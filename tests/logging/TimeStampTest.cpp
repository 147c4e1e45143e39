// Tests of the millisecond clock and the UTC time-stamp reader.
#include "logging/TimeStamp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace qor {
namespace {

TEST(CurrentTimeMillis, AgreesWithTheSystemClock) {
  const auto sys = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  const std::uint64_t ours = currentTimeMillis();
  const std::int64_t diff = static_cast<std::int64_t>(ours) - static_cast<std::int64_t>(sys);
  EXPECT_LT(diff < 0 ? -diff : diff, 5000);
  EXPECT_LE(ours, currentTimeMillis());
}

struct StampRow {
  const char* text;
  std::int64_t expected;
};

class ParseUtcTimestamp : public ::testing::TestWithParam<StampRow> {};

TEST_P(ParseUtcTimestamp, ReadsOrRefuses) {
  const StampRow& row = GetParam();
  // An exactly sized heap copy without a terminator: reading past the text's
  // end would be caught by the address sanitizer.
  const std::size_t n = std::strlen(row.text);
  std::unique_ptr<char[]> copy(new char[n == 0 ? 1 : n]);
  std::memcpy(copy.get(), row.text, n);
  EXPECT_EQ(parseUtcTimestamp(std::string_view(copy.get(), n)), row.expected) << row.text;
}

constexpr std::int64_t kMay6 = 1714979289;  // 2024-05-06T07:08:09Z

INSTANTIATE_TEST_SUITE_P(
    Accepted, ParseUtcTimestamp,
    ::testing::Values(StampRow{"2024-05-06T07:08:09Z", kMay6}, StampRow{"2024-05-06 07:08:09", kMay6},
                      StampRow{"2024-05-06t07:08:09.123+00:00", kMay6},
                      StampRow{"20240506T070809Z", kMay6}, StampRow{"2024-05-06T07:08:09", kMay6},
                      StampRow{"2024-05-06T07:08:09z", kMay6},
                      StampRow{"2024-05-06T07:08:09,5-00", kMay6},
                      StampRow{"2024-05-06T07:08:09-0000", kMay6},
                      StampRow{"2024-05-06T07:08:09-00:00", kMay6},
                      StampRow{"2024-05-06T07:08:09+00", kMay6},
                      StampRow{"2024-05-06T07:08:09+0000", kMay6},
                      StampRow{"20240506 070809,5-00:00", kMay6},
                      StampRow{"20240506t070809.999999Z", kMay6},
                      StampRow{"1970-01-01T00:00:00Z", 0},
                      StampRow{"2024-02-29T00:00:00Z", 1709164800},
                      StampRow{"1960-01-01T00:00:00Z", -315619200},
                      StampRow{"9999-12-31T23:59:59Z", 253402300799}));

INSTANTIATE_TEST_SUITE_P(
    Refused, ParseUtcTimestamp,
    ::testing::Values(StampRow{"", -1}, StampRow{"2024", -1},
                      StampRow{"2024-05-06T07:08:09+02:00", -1},
                      StampRow{"2024-05-06T07:08:09-05", -1}, StampRow{"2024-05-06T07:08", -1},
                      StampRow{"2024-05-06T07:08:0Z", -1}, StampRow{"20240506T0708", -1},
                      StampRow{"2024-05-06T07:08:09ZZ", -1},
                      StampRow{"2024-05-06T07:08:09 ", -1},
                      StampRow{"2024-05-06T07:08:09.Z", -1},
                      StampRow{"2024-05-06X07:08:09", -1}, StampRow{"2024-13-06T07:08:09", -1},
                      StampRow{"2024-05-06T25:08:09", -1}, StampRow{"2024-05-32T07:08:09", -1},
                      StampRow{"2024-5-06T07:08:099", -1}, StampRow{"abcd-ef-ghTij:kl:mn", -1},
                      StampRow{"2024-05-06T 7:08:09", -1}));

TEST(ParseUtcTimestampBounds, StopsAtTheEndOfTheView) {
  // The characters after the view would make the text an offset time stamp.
  const std::string full = "2024-05-06T07:08:09+02:00";
  EXPECT_EQ(parseUtcTimestamp(std::string_view(full).substr(0, 19)), kMay6);
  EXPECT_EQ(parseUtcTimestamp(full), -1);
  EXPECT_EQ(parseUtcTimestamp(std::string_view(full).substr(0, 18)), -1);
}

}  // namespace
}  // namespace qor
