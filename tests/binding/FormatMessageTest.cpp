// Tests of formatMessage: numbered placeholders, positional printf
// specifications, early ends on unsatisfiable placeholders and the output cut.
#include "binding/FormatMessage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qor {
namespace {

TEST(FormatMessage, NumberedPlaceholdersInsertNaturalForms) {
  EXPECT_EQ(formatMessage("Value %1 for '%2' of type %3 is out of range", std::int64_t{-5}, "x",
                          "int8"),
            "Value -5 for 'x' of type int8 is out of range");
  EXPECT_EQ(formatMessage("%2 then %1", "a", "b"), "b then a");
  EXPECT_EQ(formatMessage("100%%"), "100%");
  EXPECT_EQ(formatMessage("%1.%2.%3", 18, 0, 0), "18.0.0");
  // Characters after the digits are ordinary text again.
  EXPECT_EQ(formatMessage("%1d", 7), "7d");
  // A double is written with six significant digits.
  EXPECT_EQ(formatMessage("%1", 3.14159265), "3.14159");
  EXPECT_EQ(formatMessage("%1", 1234567.0), "1.23457e+06");
  EXPECT_EQ(formatMessage("%1", std::uint64_t{18446744073709551615ULL}), "18446744073709551615");
  EXPECT_EQ(formatMessage("%1", std::int64_t{INT64_MIN}), "-9223372036854775808");
  EXPECT_EQ(formatMessage("[%1]", static_cast<const char*>(nullptr)), "[]");
  std::string owned = "owned";
  std::string_view view = std::string_view("viewed text").substr(0, 6);
  EXPECT_EQ(formatMessage("%1 %2", owned, view), "owned viewed");
}

TEST(FormatMessage, InitializerListFormTakesMixedArguments) {
  EXPECT_EQ(formatMessage("%1/%2/%3/%4/%5", {"a", 1, std::uint64_t{2}, 2.5, std::string("e")}),
            "a/1/2/2.5/e");
}

TEST(FormatMessage, AcceptsEveryStandardIntegerType) {
  // long is 32 bits on some targets and long long a distinct type on others;
  // both must map onto the 64-bit argument types.
  EXPECT_EQ(formatMessage("%1 %2 %3 %4", -1L, -2LL, 3UL, 4ULL), "-1 -2 3 4");
  EXPECT_EQ(formatMessage("%1$x", -1LL), "ffffffffffffffff");
  EXPECT_EQ(formatMessage("%1 %2", std::size_t{7}, short{-8}), "7 -8");
}

TEST(FormatMessage, EmbeddedNulEndsAStringArgument) {
  std::string withNul("ab\0cd", 5);
  EXPECT_EQ(formatMessage("<%1>", withNul), "<ab>");
}

struct Row {
  const char* name;
  const char* tmpl;
  std::vector<MessageArgument> args;
  std::string expected;
};

class FormatMessageTable : public ::testing::TestWithParam<Row> {};

TEST_P(FormatMessageTable, Formats) {
  const Row& row = GetParam();
  std::string got;
  switch (row.args.size()) {
    case 0: got = formatMessage(row.tmpl, {}); break;
    case 1: got = formatMessage(row.tmpl, {row.args[0]}); break;
    case 2: got = formatMessage(row.tmpl, {row.args[0], row.args[1]}); break;
    case 3: got = formatMessage(row.tmpl, {row.args[0], row.args[1], row.args[2]}); break;
    default: FAIL() << "too many arguments in row";
  }
  EXPECT_EQ(got, row.expected) << row.tmpl;
}

const std::string kSixtyCharSpec = "%1$" + std::string(55, '0') + "5d";  // 60 characters
const std::string kOverLongTemplate = "ab%1$" + std::string(56, '0') + "5dcd";  // 61

const Row kRows[] = {
    // printf specifications with an index
    {"Hex64", "%1$x", {std::int64_t{-1}}, "ffffffffffffffff"},
    {"Hex64Unsigned", "%1$X", {std::uint64_t{0x123456789ABULL}}, "123456789AB"},
    {"Hex32", "%1$x", {std::int32_t{-1}}, "ffffffff"},
    {"OwnLengthWins", "%1$hx", {std::int64_t{0x12345}}, "2345"},
    {"OwnLengthOnInt32", "%1$lld", {std::int32_t{-1}}, "-1"},
    {"CharLength", "%1$hhd", {std::int32_t{300}}, "44"},
    {"FlagsWidthPrecision", "%1$08.3f", {3.14159}, "0003.142"},
    {"LeftJustified", "[%1$-4d]", {std::int32_t{7}}, "[7   ]"},
    {"StringPrecision", "%1$.2s", {"hello"}, "he"},
    {"StringWidth", "[%1$6s][%1$-6s]", {"hello"}, "[ hello][hello ]"},
    {"UnacceptedBecomesDefaultInt", "%1$s", {std::int32_t{42}}, "42"},
    {"UnacceptedBecomesDefaultString", "%1$d", {"x"}, "x"},
    {"UnacceptedBecomesDefaultDouble", "%1$d", {0.5}, "0.5"},
    {"Character", "%1$c%2$c", {std::int32_t{'O'}, std::uint64_t{'K'}}, "OK"},
    {"ZeroCharacterWritesNothing", "a%1$cb", {std::int32_t{0}}, "ab"},
    {"LongDouble", "%1$.1Lf", {2.25}, "2.2"},
    {"IndexedDoesNotAdvanceSequence", "%2$s %s", {"a", "b"}, "b a"},
    // sequential specifications and '*'
    {"Sequential", "%s-%d", {"a", std::int32_t{1}}, "a-1"},
    {"StarWidth", "[%*d]", {std::int32_t{5}, std::int32_t{42}}, "[   42]"},
    {"NegativeStarWidth", "[%*d]", {std::int32_t{-4}, std::int32_t{7}}, "[7   ]"},
    {"IndexedStar", "[%2$*1$d]", {std::uint64_t{3}, std::int64_t{9}}, "[  9]"},
    {"StarPrecision", "%.*f", {std::int32_t{2}, 1.0 / 3}, "0.33"},
    {"NegativeStarPrecisionIgnored", "%.*s", {std::int32_t{-1}, "abc"}, "abc"},
    {"BareDotIsZeroPrecision", "[%1$.s]", {"abc"}, "[]"},
    {"DigitsBeyondCountAreWidth", "%3d", {"a", "b"}, "  a"},
    {"DigitsBeyondCountInts", "%3d|", {std::int32_t{1}, std::int32_t{2}}, "  1|"},
    {"DigitsBeyondCountDefaulted", "%3x|", {"ab", std::int32_t{7}}, " ab|"},
    {"SpecOfSixtyCharacters", kSixtyCharSpec.c_str(), {std::int32_t{7}}, "00007"},
    {"PercentN", "a%nb", {std::int32_t{5}}, "ab"},
    {"IndexedPercentN", "a%1$nb", {std::int32_t{5}}, "ab"},
    // early ends: the text so far is the result
    {"SequenceRunsOut", "%s %s %s", {"a", "b"}, "a b "},
    {"StarFromDouble", "a%*d", {1.5, std::int32_t{3}}, "a"},
    {"IndexedStarFromDouble", "a%2$*1$d", {1.5, std::int32_t{3}}, "a"},
    {"StarFromString", "a%*d", {"w", std::int32_t{3}}, "a"},
    {"StarIndexTooLarge", "x%1$*3$d", {std::int32_t{1}, std::int32_t{2}}, "x"},
    {"StarIndexZero", "x%1$*0$d", {std::int32_t{1}}, "x"},
    {"StarDigitsWithoutDollar", "x%*5d", {std::int32_t{1}, std::int32_t{2}}, "x"},
    {"SpecOverSixtyCharacters", kOverLongTemplate.c_str(), {std::int32_t{7}},
     "ab"},
    {"LonePercentAtEnd", "abc%", {}, "abc"},
    {"NoArguments", "a%sb", {}, "a"},
    {"SpecEndsAtTemplateEnd", "a%1$-", {std::int32_t{1}}, "a"},
};

INSTANTIATE_TEST_SUITE_P(Templates, FormatMessageTable, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                           return std::string(info.param.name);
                         });

TEST(FormatMessage, OutputIsCutAt4095Bytes) {
  std::string longText(5000, 'x');
  EXPECT_EQ(formatMessage(longText).size(), 4095u);
  EXPECT_EQ(formatMessage("%1", longText).size(), 4095u);
  std::string almost(4090, 'y');
  std::string got = formatMessage("%1%2", almost, std::string("0123456789"));
  EXPECT_EQ(got, almost + "01234");
}

TEST(FormatMessage, HugeWidthsAreCutNotRefused) {
  // The field is wider than the output: only its padding fits.
  EXPECT_EQ(formatMessage("%1$5000d", 1), std::string(4095, ' '));
  std::string left = formatMessage("%1$-99999999999999999999d", 1);
  ASSERT_EQ(left.size(), 4095u);
  EXPECT_EQ(left[0], '1');
  EXPECT_EQ(left.back(), ' ');
  std::string prec = formatMessage("%1$.5000f", 1.0);
  ASSERT_EQ(prec.size(), 4095u);
  EXPECT_EQ(prec.substr(0, 3), "1.0");
  std::string starWidth = formatMessage("%*s", std::int32_t{INT32_MIN}, "z");
  ASSERT_EQ(starWidth.size(), 4095u);
  EXPECT_EQ(starWidth[0], 'z');
}

TEST(FormatMessage, TemplateIsReadWithinItsView) {
  // The view ends in the middle of a placeholder; the bytes after it are
  // never read as part of it.
  const char text[] = "ab%1$d";
  EXPECT_EQ(formatMessage(std::string_view(text, 5), 5), "ab");
  EXPECT_EQ(formatMessage(std::string_view(text, 4), 5), "ab5");
  EXPECT_EQ(formatMessage(std::string_view(text, 3), 5), "ab");
}

}  // namespace
}  // namespace qor
