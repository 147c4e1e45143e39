// Tests of the scalar conversion rules: every accepted kind, every bound and
// every message, as tables of source value and expected outcome.
#include "binding/ConversionRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "binding/TypeRegistration.h"
#include "binding/TypeRegistry.h"
#include "TestValues.h"

namespace qor {
namespace {

using namespace qor::test;

constexpr std::int64_t kI32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kI32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::uint64_t kU32Max = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kU64Max = std::numeric_limits<std::uint64_t>::max();
constexpr double kDblMax = 1.7976931348623157e308;
constexpr double kFltMax = 3.4028234663852886e38;

// One case: a source value and either the converted value or the message.
template <class T>
struct Row {
  const char* label;
  BindingProperty source;
  T expected;            // when message is null
  const char* message;   // expected error text, or null for success
};

template <class T, class Convert>
void runRows(const std::vector<Row<T>>& rows, Convert convert) {
  for (const Row<T>& row : rows) {
    SCOPED_TRACE(row.label);
    BindingResult result;
    T out{};
    const T sentinel = out;
    convert(result, out, row.source);
    if (row.message == nullptr) {
      ASSERT_TRUE(result.ok) << result.errorText();
      EXPECT_EQ(out, row.expected);
    } else {
      ASSERT_FALSE(result.ok);
      EXPECT_EQ(result.errorText(), row.message);
      EXPECT_EQ(out, sentinel) << "a failed conversion leaves the target unchanged";
    }
  }
}

TEST(ConversionRulesTest, SignedRuleInt32) {
  std::vector<Row<std::int64_t>> rows = {
      {"signed", S(-5), -5, nullptr},
      {"signed min", S(kI32Min), kI32Min, nullptr},
      {"signed above", S(kI32Max + 1), 0, "Value 2147483648 for 'x' of type int32 is out of range"},
      {"signed below", S(kI32Min - 1), 0, "Value -2147483649 for 'x' of type int32 is out of range"},
      {"unsigned", U(7), 7, nullptr},
      {"unsigned above", U(2147483648u), 0, "Value 2147483648 for 'x' of type int32 is out of range"},
      {"unsigned huge", U(kU64Max), 0,
       "Value 18446744073709551615 for 'x' of type int32 is out of range"},
      {"float truncates", F(3.9), 3, nullptr},
      {"negative float truncates", F(-3.9), -3, nullptr},
      {"float above", F(2147483648.0), 0, "Value 2.14748e+09 for 'x' of type int32 is out of range"},
      {"float nan", F(std::nan("")), 0, "Value nan for 'x' of type int32 is out of range"},
      {"hex text", Str("0x10"), 16, nullptr},
      {"octal text", Str("010"), 8, nullptr},
      {"empty text", Str(""), 0, nullptr},
      {"leading blanks and sign", Str("  -42"), -42, nullptr},
      {"left-over text", Str("12abc"), 0, "Value 12abc for 'x' of type int32 is in an incorrect format"},
      {"blank text", Str(" "), 0, "Value   for 'x' of type int32 is in an incorrect format"},
      {"text above", Str("2147483648"), 0, "Value 2147483648 for 'x' of type int32 is out of range"},
      {"text overflow", Str("99999999999999999999"), 0,
       "Value 99999999999999999999 for 'x' of type int32 is out of range"},
      {"enum", E(-3), -3, nullptr},
      {"empty", Empty(), 0, "A value for 'x' is required."},
      {"bool", B(true), 0,
       "Couldn't assign value to 'x' of type int32 because the input is of an invalid type bool."},
      {"blob", Blob("ab"), 0,
       "Couldn't assign value to 'x' of type int32 because the input is of an invalid type blob."},
      {"collection", Coll({S(1)}), 0,
       "Couldn't assign value to 'x' of type int32 because the input is of an invalid type "
       "collection."},
      {"structure", Struct({{"a", S(1)}}), 0,
       "Couldn't assign value to 'x' of type int32 because the input is of an invalid type "
       "structure."},
  };
  runRows(rows, [](BindingResult& r, std::int64_t& out, const BindingProperty& src) {
    convertSigned(r, out, src, "x", kI32Min, kI32Max, "int32");
  });
}

TEST(ConversionRulesTest, SignedRuleInt64Edges) {
  std::vector<Row<std::int64_t>> rows = {
      {"unsigned max signed", U(static_cast<std::uint64_t>(kI64Max)), kI64Max, nullptr},
      {"unsigned 2^63", U(9223372036854775808u), 0,
       "Value 9223372036854775808 for 'x' of type int64 is out of range"},
      {"float -2^63 fits", F(-9223372036854775808.0), kI64Min, nullptr},
      {"float 2^63 does not fit", F(9223372036854775808.0), 0,
       "Value 9.22337e+18 for 'x' of type int64 is out of range"},
      {"float infinity", F(HUGE_VAL), 0, "Value inf for 'x' of type int64 is out of range"},
      {"text min", Str("-9223372036854775808"), kI64Min, nullptr},
      {"text overflow", Str("9223372036854775808"), 0,
       "Value 9223372036854775808 for 'x' of type int64 is out of range"},
  };
  runRows(rows, [](BindingResult& r, std::int64_t& out, const BindingProperty& src) {
    convertSigned(r, out, src, "x", kI64Min, kI64Max, "int64");
  });
}

TEST(ConversionRulesTest, UnsignedRule) {
  std::vector<Row<std::uint64_t>> rows32 = {
      {"signed", S(12), 12, nullptr},
      {"signed negative", S(-1), 0, "Value -1 for 'x' of type uint32 is out of range"},
      {"unsigned max", U(kU32Max), kU32Max, nullptr},
      {"unsigned above", U(kU32Max + 1), 0, "Value 4294967296 for 'x' of type uint32 is out of range"},
      {"float", F(7.99), 7, nullptr},
      {"negative zero float", F(-0.0), 0, nullptr},
      {"text hex", Str("0x1F"), 31, nullptr},
      {"text negative", Str("-1"), 0, "Value -1 for 'x' of type uint32 is out of range"},
      {"text above", Str("4294967296"), 0, "Value 4294967296 for 'x' of type uint32 is out of range"},
      {"text left-over", Str("1 "), 0, "Value 1  for 'x' of type uint32 is in an incorrect format"},
      {"enum", E(3), 3, nullptr},
      {"enum negative", E(-1), 0, "Value -1 for 'x' of type uint32 is out of range"},
      {"empty", Empty(), 0, "A value for 'x' is required."},
      {"bool", B(false), 0,
       "Couldn't assign value to 'x' of type uint32 because the input is of an invalid type bool."},
  };
  runRows(rows32, [](BindingResult& r, std::uint64_t& out, const BindingProperty& src) {
    convertUnsigned(r, out, src, "x", kU32Max, "uint32");
  });

  std::vector<Row<std::uint64_t>> rows64 = {
      {"unsigned max", U(kU64Max), kU64Max, nullptr},
      {"float below 2^64", F(18446744073709549568.0), 18446744073709549568u, nullptr},
      {"float 2^64", F(18446744073709551616.0), 0,
       "Value 1.84467e+19 for 'x' of type uint64 is out of range"},
      {"float negative", F(-0.5), 0, "Value -0.5 for 'x' of type uint64 is out of range"},
      {"float nan", F(std::nan("")), 0, "Value nan for 'x' of type uint64 is out of range"},
      {"text max", Str("18446744073709551615"), kU64Max, nullptr},
      {"text overflow", Str("18446744073709551616"), 0,
       "Value 18446744073709551616 for 'x' of type uint64 is out of range"},
      {"text blank then minus", Str(" -1"), 0, "Value  -1 for 'x' of type uint64 is out of range"},
  };
  runRows(rows64, [](BindingResult& r, std::uint64_t& out, const BindingProperty& src) {
    convertUnsigned(r, out, src, "x", kU64Max, "uint64");
  });
}

TEST(ConversionRulesTest, FloatRule) {
  std::vector<Row<double>> rows = {
      {"signed", S(-3), -3.0, nullptr},
      {"signed large", S(kI64Max), 9223372036854775807.0, nullptr},
      {"unsigned", U(kU64Max), 18446744073709551615.0, nullptr},
      {"float", F(2.5), 2.5, nullptr},
      {"float max", F(kDblMax), kDblMax, nullptr},
      {"float infinity", F(HUGE_VAL), 0, "Value inf for 'x' of type double is out of range"},
      {"enum", E(4), 4.0, nullptr},
      {"text", Str("1.5e3"), 1500.0, nullptr},
      {"empty text", Str(""), 0.0, nullptr},
      {"text left-over", Str("1.5x"), 0, "Value 1.5x for 'x' of type double is in an incorrect format"},
      {"text overflow", Str("1e999"), 0, "Value 1e999 for 'x' of type double is out of range"},
      {"empty", Empty(), 0, "A value for 'x' is required."},
      {"bool", B(true), 0,
       "Couldn't assign value to 'x' of type double because the input is of an invalid type bool."},
  };
  runRows(rows, [](BindingResult& r, double& out, const BindingProperty& src) {
    convertFloat(r, out, src, "x", -kDblMax, kDblMax, "double");
  });

  std::vector<Row<double>> floatRows = {
      {"float above float max", F(1e39), 0, "Value 1e+39 for 'x' of type float is out of range"},
      {"text below float min", Str("-1e39"), 0, "Value -1e39 for 'x' of type float is out of range"},
      {"float in range", F(-2.0), -2.0, nullptr},
  };
  runRows(floatRows, [](BindingResult& r, double& out, const BindingProperty& src) {
    convertFloat(r, out, src, "x", -kFltMax, kFltMax, "float");
  });
}

TEST(ConversionRulesTest, BoolRule) {
  std::vector<Row<bool>> rows = {
      {"bool", B(true), true, nullptr},
      {"text 1", Str("1"), true, nullptr},
      {"text true", Str("true"), true, nullptr},
      {"text 0", Str("0"), false, nullptr},
      {"text false", Str("false"), false, nullptr},
      {"text True", Str("True"), false,
       "Value True for 'x' of type bool is in an incorrect format. Options are \"true\", "
       "\"false\", \"1\", \"0\"."},
      {"text with blank", Str("true "), false,
       "Value true  for 'x' of type bool is in an incorrect format. Options are \"true\", "
       "\"false\", \"1\", \"0\"."},
      {"unsigned", U(1), false,
       "Couldn't assign value to 'x' of type bool because the input is of an invalid type "
       "unsigned."},
      {"empty", Empty(), false, "A value for 'x' is required."},
  };
  runRows(rows, [](BindingResult& r, bool& out, const BindingProperty& src) {
    convertBool(r, out, src, "x");
  });
}

enum class Color : std::int32_t { Red = 1, Blue = 2, Big = 7 };

class EnumRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerEnum<Color>(registry, "Color")
        .value("Red", Color::Red)
        .value("Blue", Color::Blue)
        .value("Big", Color::Big);
    color = registry.findType(staticType<Color>());
    ASSERT_NE(color, nullptr);
  }
  TypeRegistry registry;
  const TypeDescriptor* color = nullptr;
};

TEST_F(EnumRulesTest, StringRule) {
  std::vector<Row<std::string>> rows = {
      {"string", Str("abc"), "abc", nullptr},
      {"enum name", E(2, &staticType<Color>()), "Blue", nullptr},
      {"enum without enumerator", E(9, &staticType<Color>()), "",
       "9 is not a valid enumeration value for 'x'."},
      {"enum of unregistered type", E(1, &staticType<int>()), "",
       "1 is not a valid enumeration value for 'x'."},
      {"signed", S(1), "", "Couldn't assign value to 'x' because the input is not a string."},
      {"empty", Empty(), "", "A value for 'x' is required."},
  };
  runRows(rows, [this](BindingResult& r, std::string& out, const BindingProperty& src) {
    convertString(r, out, src, "x", &registry);
  });
}

TEST_F(EnumRulesTest, EnumRule) {
  std::vector<Row<std::int32_t>> rows = {
      {"name", Str("Blue"), 2, nullptr},
      {"number text of an enumerator", Str("7"), 7, nullptr},
      {"hex text", Str("0x7"), 7, nullptr},
      {"number text of no enumerator", Str("8"), 0, "8 is not a valid Color enumeration value for 'x'."},
      {"name in other case", Str("blue"), 0, "blue is not a valid Color enumeration value for 'x'."},
      {"signed", S(2), 2, nullptr},
      {"signed low 32 bits", S(0x100000001LL), 1, nullptr},
      {"signed invalid", S(-9), 0, "-9 is not a valid Color enumeration value for 'x'."},
      {"unsigned", U(7), 7, nullptr},
      {"unsigned invalid", U(4294967295u), 0,
       "4294967295 is not a valid Color enumeration value for 'x'."},
      {"enum", E(1), 1, nullptr},
      {"enum invalid", E(3), 0, "3 is not a valid Color enumeration value for 'x'."},
      {"float", F(1.0), 0,
       "Couldn't assign value to 'x' of enum type because the input is of an invalid type float."},
      {"empty", Empty(), 0, "A value for 'x' is required."},
  };
  runRows(rows, [this](BindingResult& r, std::int32_t& out, const BindingProperty& src) {
    convertEnum(r, out, src, "x", color);
  });
}

// A rule handed a failed result neither converts nor replaces the first message.
TEST(ConversionRulesTest, FailedResultIsLeftAlone) {
  BindingResult result;
  result.setError("first");
  std::int64_t i = 1;
  std::uint64_t u = 1;
  double d = 1;
  bool b = false;
  std::string s = "keep";
  convertSigned(result, i, S(5), "x", kI64Min, kI64Max, "int64");
  convertUnsigned(result, u, U(5), "x", kU64Max, "uint64");
  convertFloat(result, d, F(5), "x", -kDblMax, kDblMax, "double");
  convertBool(result, b, B(true), "x");
  convertString(result, s, Str("new"), "x", nullptr);
  std::int32_t e = 1;
  convertEnum(result, e, Empty(), "x", nullptr);
  EXPECT_EQ(result.errorText(), "first");
  EXPECT_EQ(i, 1);
  EXPECT_EQ(e, 1);
  EXPECT_EQ(u, 1u);
  EXPECT_EQ(d, 1.0);
  EXPECT_FALSE(b);
  EXPECT_EQ(s, "keep");
}

TEST(ConversionRulesTest, DefaultValues) {
  struct Case {
    BindingProperty value;
    bool isDefault;
  } cases[] = {
      {Empty(), true},     {B(false), true},        {B(true), false},    {S(0), true},
      {S(-1), false},      {U(0), true},            {F(0.0), true},      {F(-0.0), true},
      {F(std::nan("")), false}, {E(0), true},       {E(2), false},       {Str(""), true},
      {Str("a"), false},   {Blob(""), true},        {Coll({}), true},    {Coll({Empty()}), false},
      {Struct({}), true},  {Struct({{"a", S(0)}}), false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(isDefaultValue(cases[i].value), cases[i].isDefault) << "case " << i;
  }
}

}  // namespace
}  // namespace qor
