// Tests of the YAML reader: scalar resolution, tags, mapping keys, anchors
// and aliases, documents, messages with their positions, truncation, nesting
// and alias expansion limits.
#include "formats/YamlReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "formats/ValueText.h"

namespace qor {
namespace {

using test::valueDepth;
using test::valueText;

struct YamlCase {
  const char* input;
  const char* expected;  // valueText on success, the message on failure

  friend void PrintTo(const YamlCase& c, std::ostream* os) { *os << c.input; }
};

class YamlValueTest : public ::testing::TestWithParam<YamlCase> {};

TEST_P(YamlValueTest, Reads) {
  BindingResult r = readYaml(GetParam().input);
  ASSERT_TRUE(r.ok) << r.errorText();
  EXPECT_EQ(valueText(r.value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Scalars, YamlValueTest,
    ::testing::Values(
        YamlCase{"", "~"}, YamlCase{"# only a comment\n", "~"}, YamlCase{"a: 1", "{a:u1}"},
        YamlCase{"a: '1'", "{a:\"1\"}"}, YamlCase{"\"yes\"", "\"yes\""},
        YamlCase{"[1, -1, 1.5, yes, ~, abc]", "[u1,i-1,f1.5,true,~,\"abc\"]"},
        YamlCase{"[null, Null, NULL, '', nUll]", "[~,~,~,\"\",\"nUll\"]"},
        YamlCase{"[2.0, -2, 2.5, +5, .5, 1e3, 0x1A, -0]", "[u2,i-2,f2.5,u5,f0.5,u1000,u26,u0]"},
        // Whole numbers without a 64-bit form become floats.
        YamlCase{"[1e30, -1e30, 18446744073709551616, -9223372036854775808]",
                 "[f1e+30,f-1e+30,f1.8446744073709552e+19,i-9223372036854775808]"},
        YamlCase{"[inf, .inf, nan, .NaN, 1_000, 12abc, '']", "[\"inf\",\".inf\",\"nan\",\".NaN\",\"1_000\",\"12abc\",\"\"]"},
        // Out of range: too large is no number, too small reads as zero;
        // a value that needs correct rounding reads as the nearest double.
        YamlCase{"[1e400, -1e400, 1e-400, 0.1, 2.2250738585072011e-308]",
                 "[\"1e400\",\"-1e400\",u0,f0.10000000000000001,f2.2250738585072009e-308]"},
        YamlCase{"[true, True, TRUE, y, Y, yes, Yes, YES, on, On, ON]",
                 "[true,true,true,true,true,true,true,true,true,true,true]"},
        YamlCase{"[false, False, FALSE, n, N, no, No, NO, off, Off, OFF, tRue, yES]",
                 "[false,false,false,false,false,false,false,false,false,false,false,\"tRue\",\"yES\"]"},
        // Block scalars resolve like plain ones; their final line breaks do
        // not count for the number test.
        YamlCase{"|\n  42\n", "u42"}, YamlCase{">\n  -4.5\n\n", "f-4.5"},
        YamlCase{"|\n  true\n", "\"true\\x0A\""}, YamlCase{"|\n  4 2\n", "\"4 2\\x0A\""},
        YamlCase{"a: |-\n  7\nb: x", "{a:u7,b:\"x\"}"}));

INSTANTIATE_TEST_SUITE_P(
    Tags, YamlValueTest,
    ::testing::Values(YamlCase{"!!int -5", "i-5"}, YamlCase{"!!int 5", "u5"}, YamlCase{"!!int 0x10", "u16"},
                      YamlCase{"!!int '-9223372036854775808'", "i-9223372036854775808"},
                      YamlCase{"!!float 3", "f3"}, YamlCase{"!!float -1.5e2", "f-150"},
                      YamlCase{"!!bool maybe", "~"}, YamlCase{"!!bool yes", "true"},
                      YamlCase{"!!bool 'Off'", "false"}, YamlCase{"!!str 5", "\"5\""},
                      YamlCase{"!!str ~", "\"~\""}, YamlCase{"[!!str , !!str yes]", "[\"\",\"yes\"]"}));

INSTANTIATE_TEST_SUITE_P(
    Mappings, YamlValueTest,
    ::testing::Values(YamlCase{"a: 1\na: 2", "{a:u2}"}, YamlCase{"{b: 1, a: 2, B: 3}", "{B:u3,a:u2,b:u1}"},
                      YamlCase{"!!str 1: 2", "{1:u2}"}, YamlCase{"'': 1", "{:u1}"},
                      YamlCase{"a:\n  - x\n  - {k: [1, {}]}\nb:", "{a:[\"x\",{k:[u1,{}]}],b:~}"},
                      YamlCase{"a: {x: 1}\na: {y: 2}", "{a:{x:u1,y:u2}}"},
                      YamlCase{"a: [1]\na: [2]", "{a:[u1,u2]}"}, YamlCase{"a: {x: 1}\na: 5", "{a:u5}"}));

// Anchors and aliases: a copy of the anchored node as it stands; an anchored
// key gives its text; an alias may name a key when it stands for a string.
INSTANTIATE_TEST_SUITE_P(
    Aliases, YamlValueTest,
    ::testing::Values(YamlCase{"x: &A {k: 1}\ny: *A", "{x:{k:u1},y:{k:u1}}"},
                      YamlCase{"- &A [1, [2]]\n- *A\n- *A", "[[u1,[u2]],[u1,[u2]],[u1,[u2]]]"},
                      YamlCase{"- &A 5\n- *A", "[u5,u5]"},
                      YamlCase{"&K a: 1\nb: *K", "{a:u1,b:\"a\"}"},
                      YamlCase{"x: &A k\n? *A\n: 1", "{k:u1,x:\"k\"}"},
                      YamlCase{"&K a: 1\n*K : 2", "{a:u2}"},
                      YamlCase{"x: &A {k: 1}\nx: *A", "{x:{k:u1}}"},
                      // The alias replaces a node that holds the anchored one.
                      YamlCase{"x: {k: &A [1]}\nx: *A", "{x:[u1]}"},
                      YamlCase{"a: &A [1]\nb: *A\na: [2]", "{a:[u1,u2],b:[u1]}"}));

// An empty document leaves the result empty, so the next one builds it.
INSTANTIATE_TEST_SUITE_P(
    Documents, YamlValueTest,
    ::testing::Values(YamlCase{"---\n--- 5", "u5"}, YamlCase{"--- ~\n...\n--- [1]", "[u1]"},
                      YamlCase{"--- {a: 1}\n...\n", "{a:u1}"}));

class YamlErrorTest : public ::testing::TestWithParam<YamlCase> {};

TEST_P(YamlErrorTest, Fails) {
  BindingResult r = readYaml(GetParam().input);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.errorText(), GetParam().expected);
  EXPECT_EQ(r.value.size(), 1u);  // only the error member
}

INSTANTIATE_TEST_SUITE_P(
    Messages, YamlErrorTest,
    ::testing::Values(
        YamlCase{"!!binary AA==", "Unsupported YAML tag 'tag:yaml.org,2002:binary'."},
        YamlCase{"a: !!null ~", "Unsupported YAML tag 'tag:yaml.org,2002:null'."},
        YamlCase{"! a", "Unsupported YAML tag '!'."},
        YamlCase{"!!int abc", "Value abc for 'yaml' of type uint64_t is in an incorrect format"},
        YamlCase{"!!int -99999999999999999999", "Value -99999999999999999999 for 'yaml' of type int64_t is out of range"},
        YamlCase{"!!float x", "Value x for 'yaml' of type double is in an incorrect format"},
        YamlCase{"? [1]\n: 2", "Unexpected start of sequence. At line: 1 col: 3"},
        YamlCase{"a: 1\n? {b: 1}\n: 2", "Unexpected start of mapping. At line: 2 col: 3"},
        YamlCase{"[a, b]: 1", "Unexpected start of sequence. At line: 1 col: 1"},
        YamlCase{"x: 1\n!!int 1: 2", "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
        YamlCase{"- &A 5\n- {*A : 1}", "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 4"},
        YamlCase{"a: &A [1]\n*A : 1", "Invalid mapping key. Only string scalar keys are allowed. At line: 2 col: 1"},
        YamlCase{"x: &A {k: 1}\ny: *B", "Undefined alias encountered: \"B\". At line: 2 col: 4"},
        YamlCase{"a: &A [*A]", "Cannot deserialize cyclic aliases. Alias \"A\". At line: 1 col: 8"},
        YamlCase{"a: &A\n  b:\n    c: *A", "Cannot deserialize cyclic aliases. Alias \"A\". At line: 3 col: 8"},
        YamlCase{"- &A 1\n- &A 2", "Duplicate occurrence of anchor \"A\". At line: 2 col: 3"},
        YamlCase{"&A a: &A 1", "Duplicate occurrence of anchor \"A\". At line: 1 col: 7"},
        YamlCase{"--- 1\n--- 2", "Multi-document YAML is not supported."},
        YamlCase{"[1, 2", "YAML parser error: did not find expected ',' or ']'. At line: 1 col: 0"},
        YamlCase{"a: b: c", "YAML parser error: mapping values are not allowed in this context. At line: 0 col: 4"},
        YamlCase{"\t", "YAML parser error: found character that cannot start any token. At line: 0 col: 0"}));

TEST(YamlReaderTest, ReadsWithinSizeAndFirstNul) {
  struct Row {
    std::string bytes;
    const char* expected;
  };
  const Row rows[] = {{std::string("a: 1\0b: 2", 9), "{a:u1}"}, {"[1, 22]", "[u1,u22]"}, {"abc", "\"abc\""}};
  for (const Row& row : rows) {
    std::unique_ptr<char[]> exact(new char[row.bytes.size()]);
    std::memcpy(exact.get(), row.bytes.data(), row.bytes.size());
    BindingResult r = readYaml(std::string_view(exact.get(), row.bytes.size()));
    ASSERT_TRUE(r.ok) << r.errorText();
    EXPECT_EQ(valueText(r.value), row.expected);
  }
}

// Every prefix of a document (cut anywhere, even inside a UTF-8 sequence)
// reads or fails with a message; ASan checks that nothing is read past the
// cut and that the parser is released on every path.
TEST(YamlReaderTest, EveryTruncationReadsOrFailsCleanly) {
  const std::string doc =
      "---\nitems:\n  - &it {name: \"caf\xC3\xA9\", qty: 3, tags: [a, 'b', \"c\\n\"]}\n"
      "  - *it\n  - !!int -4\n  - |\n    block\n    text\n"
      "? k\n: {nested: {deeper: [1.5, ~, yes]}}\n&ka anchored: key\nref: *ka\n...\n";
  BindingResult whole = readYaml(doc);
  ASSERT_TRUE(whole.ok) << whole.errorText();
  EXPECT_EQ(valueText(whole.value),
            "{anchored:\"key\",items:[{name:\"caf\\xC3\\xA9\",qty:u3,tags:[\"a\",\"b\",\"c\\x0A\"]},"
            "{name:\"caf\\xC3\\xA9\",qty:u3,tags:[\"a\",\"b\",\"c\\x0A\"]},i-4,\"block\\x0Atext\\x0A\"],"
            "k:{nested:{deeper:[f1.5,~,true]}},ref:\"anchored\"}");
  std::size_t failures = 0;
  for (std::size_t n = 0; n < doc.size(); ++n) {
    std::unique_ptr<char[]> exact(new char[n + 1]);
    std::memcpy(exact.get(), doc.data(), n);
    BindingResult r = readYaml(std::string_view(exact.get(), n));
    if (!r.ok) {
      ++failures;
      EXPECT_FALSE(r.errorText().empty()) << "prefix " << n;
    }
  }
  EXPECT_GT(failures, 0u);
}

class YamlLimitTest : public ::testing::Test {
 protected:
  static std::string flowSequences(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
  }
};

TEST_F(YamlLimitTest, AcceptsLimitDepth) {
  BindingResult r = readYaml(flowSequences(kYamlMaxDepth));
  ASSERT_TRUE(r.ok) << r.errorText();
  EXPECT_EQ(valueDepth(r.value), kYamlMaxDepth);
}

TEST_F(YamlLimitTest, RefusesDeeperDocuments) {
  std::string blocks;
  for (std::size_t i = 0; i <= kYamlMaxDepth; ++i) blocks += std::string(i, ' ') + "k:\n";
  struct Row {
    std::string text;
    const char* message;
  };
  const Row rows[] = {
      {flowSequences(kYamlMaxDepth + 1), "YAML document is nested too deeply. At line: 1 col: 1025"},
      {std::string(100000, '['), "YAML document is nested too deeply. At line: 1 col: 1025"},
      {"a: " + flowSequences(kYamlMaxDepth), "YAML document is nested too deeply. At line: 1 col: 1027"},
      {blocks, "YAML document is nested too deeply. At line: 1025 col: 1025"},
  };
  for (const Row& row : rows) {
    BindingResult r = readYaml(row.text);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errorText(), row.message);
  }
}

// An alias that would put a copy below the depth limit is refused as well.
TEST_F(YamlLimitTest, AliasCopiesCountTowardsDepth) {
  const std::size_t half = kYamlMaxDepth / 2;
  std::string anchored = "a: &A " + flowSequences(half) + "\n";
  std::string fits = anchored + "b: " + std::string(half - 1, '[') + "*A" + std::string(half - 1, ']');
  BindingResult ok = readYaml(fits);
  ASSERT_TRUE(ok.ok) << ok.errorText();
  EXPECT_EQ(valueDepth(ok.value.get("b")), kYamlMaxDepth - 1);

  std::string deep = anchored + "b: " + std::string(half + 1, '[') + "*A" + std::string(half + 1, ']');
  BindingResult r = readYaml(deep);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.errorText(), "YAML document is nested too deeply. At line: 2 col: 517");
}

// Each level aliases the one before ten times: nine levels would expand to
// a billion values; the read stops once copies pass the cap.
TEST_F(YamlLimitTest, AliasExpansionIsCapped) {
  std::string text = "a0: &a0 [x, x, x, x, x, x, x, x, x, x]\n";
  for (int level = 1; level <= 9; ++level) {
    std::string prev = "*a" + std::to_string(level - 1);
    text += "a" + std::to_string(level) + ": &a" + std::to_string(level) + " [";
    for (int i = 0; i < 10; ++i) text += (i ? ", " : "") + prev;
    text += "]\n";
  }
  BindingResult r = readYaml(text);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.errorText().substr(0, 48), "YAML aliases expand to too many values. At line:");

  // Below the cap, copies are fine: 3 levels make 12,330 copied values.
  std::string small = "a0: &a0 [x, x, x, x, x, x, x, x, x, x]\n";
  for (int level = 1; level <= 3; ++level) {
    std::string prev = "*a" + std::to_string(level - 1);
    small += "a" + std::to_string(level) + ": &a" + std::to_string(level) + " [";
    for (int i = 0; i < 10; ++i) small += (i ? ", " : "") + prev;
    small += "]\n";
  }
  BindingResult fine = readYaml(small);
  ASSERT_TRUE(fine.ok) << fine.errorText();
  EXPECT_EQ(fine.value.get("a3").size(), 10u);
  EXPECT_EQ(valueText(fine.value.get("a3").get(std::size_t{9}).get(std::size_t{9})), valueText(fine.value.get("a1")));
}

}  // namespace
}  // namespace qor
