// Tests of the MessagePack reader: every type byte, consumed byte counts,
// repeated keys, each error message with its position, truncation at every
// byte, nesting limit and huge announced sizes.
#include "formats/MsgPackReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/ValueText.h"

namespace qor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::valueDepth;
using test::valueText;

// Reads from a heap buffer of exactly the input's size, so that ASan reports
// any read past its end.
MsgPackReadResult readExact(const Bytes& bytes) {
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
  if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
  return readMsgPack(exact.get(), bytes.size());
}

struct MsgPackCase {
  Bytes bytes;
  const char* expected;  // valueText on success, the message on failure
  std::size_t consumed;

  friend void PrintTo(const MsgPackCase& c, std::ostream* os) {
    for (std::uint8_t b : c.bytes) *os << std::hex << int(b) << ' ';
  }
};

class MsgPackValueTest : public ::testing::TestWithParam<MsgPackCase> {};

TEST_P(MsgPackValueTest, Reads) {
  MsgPackReadResult r = readExact(GetParam().bytes);
  ASSERT_TRUE(r.result.ok) << r.result.errorText();
  EXPECT_EQ(valueText(r.result.value), GetParam().expected);
  EXPECT_EQ(r.consumed, GetParam().consumed);
}

INSTANTIATE_TEST_SUITE_P(
    Scalars, MsgPackValueTest,
    ::testing::Values(
        MsgPackCase{{}, "~", 0}, MsgPackCase{{0x05}, "i5", 1}, MsgPackCase{{0x7F}, "i127", 1},
        MsgPackCase{{0xFF}, "i-1", 1}, MsgPackCase{{0xE0}, "i-32", 1}, MsgPackCase{{0xC0}, "~", 1},
        MsgPackCase{{0xC2}, "false", 1}, MsgPackCase{{0xC3}, "true", 1},
        MsgPackCase{{0xCC, 0x05}, "u5", 2}, MsgPackCase{{0xCD, 0x01, 0x02}, "u258", 3},
        MsgPackCase{{0xCE, 0xFF, 0xFF, 0xFF, 0xFF}, "u4294967295", 5},
        MsgPackCase{{0xCF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "u18446744073709551615", 9},
        MsgPackCase{{0xD0, 0x80}, "i-128", 2}, MsgPackCase{{0xD1, 0xFF, 0xFE}, "i-2", 3},
        MsgPackCase{{0xD2, 0x80, 0x00, 0x00, 0x00}, "i-2147483648", 5},
        MsgPackCase{{0xD3, 0x80, 0, 0, 0, 0, 0, 0, 0}, "i-9223372036854775808", 9},
        MsgPackCase{{0xD3, 0x00, 0, 0, 0, 0, 0, 0, 0x07}, "i7", 9},
        MsgPackCase{{0xCA, 0x3F, 0xC0, 0x00, 0x00}, "f1.5", 5},
        MsgPackCase{{0xCB, 0xC0, 0x04, 0, 0, 0, 0, 0, 0}, "f-2.5", 9},
        MsgPackCase{{0xA0}, "\"\"", 1}, MsgPackCase{{0xA3, 'a', 0x00, 'b'}, "\"a\\x00b\"", 4},
        MsgPackCase{{0xD9, 0x02, 0xFF, 'x'}, "\"\\xFFx\"", 4},
        MsgPackCase{{0xDA, 0x00, 0x01, 'z'}, "\"z\"", 4},
        MsgPackCase{{0xDB, 0x00, 0x00, 0x00, 0x01, 'z'}, "\"z\"", 6},
        MsgPackCase{{0xC4, 0x02, 0x0A, 0xFF}, "b'0aff'", 4}, MsgPackCase{{0xC5, 0x00, 0x00}, "b''", 3},
        MsgPackCase{{0xC6, 0x00, 0x00, 0x00, 0x01, 0x7F}, "b'7f'", 6},
        // Only the first value is read; the caller decides about the rest.
        MsgPackCase{{0x01, 0x02}, "i1", 1}, MsgPackCase{{0x92, 0x01, 0x02, 0xC3}, "[i1,i2]", 3}));

INSTANTIATE_TEST_SUITE_P(
    Containers, MsgPackValueTest,
    ::testing::Values(
        MsgPackCase{{0x90}, "[]", 1}, MsgPackCase{{0x80}, "{}", 1},
        MsgPackCase{{0x92, 0x01, 0xC0}, "[i1,~]", 3},
        MsgPackCase{{0x81, 0xA1, 'a', 0x01}, "{a:i1}", 4},
        MsgPackCase{{0x81, 0xA1, 'a', 0xC0}, "{a:~}", 4},
        MsgPackCase{{0x82, 0xA1, 'b', 0x91, 0x80, 0xD9, 0x01, 'a', 0xC3}, "{a:true,b:[{}]}", 9},
        MsgPackCase{{0xDC, 0x00, 0x02, 0x01, 0x02}, "[i1,i2]", 5},
        MsgPackCase{{0xDD, 0x00, 0x00, 0x00, 0x01, 0x90}, "[[]]", 6},
        MsgPackCase{{0xDE, 0x00, 0x01, 0xA0, 0x01}, "{:i1}", 5},
        MsgPackCase{{0xDF, 0x00, 0x00, 0x00, 0x01, 0xDA, 0x00, 0x01, 'k', 0x90}, "{k:[]}", 10},
        // A container whose last item ends the input is complete.
        MsgPackCase{{0x91, 0x91, 0x01}, "[[i1]]", 3}));

// A repeated key: a scalar replaces, a map merges, an array overwrites
// element by element and the longer array keeps its tail.
INSTANTIATE_TEST_SUITE_P(
    RepeatedKeys, MsgPackValueTest,
    ::testing::Values(
        MsgPackCase{{0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0x02}, "{a:i2}", 7},
        MsgPackCase{{0x82, 0xA1, 'a', 0x01, 0xA1, 'a', 0xC0}, "{a:i1}", 7},
        MsgPackCase{{0x82, 0xA1, 'a', 0x81, 0xA1, 'x', 0x01, 0xA1, 'a', 0x81, 0xA1, 'y', 0x02},
                    "{a:{x:i1,y:i2}}", 13},
        MsgPackCase{{0x82, 0xA1, 'a', 0x93, 0x01, 0x02, 0x03, 0xA1, 'a', 0x91, 0x09},
                    "{a:[i9,i2,i3]}", 11},
        MsgPackCase{{0x82, 0xA1, 'a', 0x91, 0x01, 0xA1, 'a', 0x92, 0xC0, 0x08},
                    "{a:[i1,i8]}", 10},
        MsgPackCase{{0x82, 0xA1, 'a', 0x91, 0x01, 0xA1, 'a', 0x81, 0xA1, 'k', 0x03},
                    "{a:{k:i3}}", 11}));

class MsgPackErrorTest : public ::testing::TestWithParam<MsgPackCase> {};

TEST_P(MsgPackErrorTest, Fails) {
  MsgPackReadResult r = readExact(GetParam().bytes);
  EXPECT_FALSE(r.result.ok);
  EXPECT_EQ(r.result.errorText(), GetParam().expected);
  EXPECT_EQ(r.result.value.size(), 1u);  // only the error member
}

INSTANTIATE_TEST_SUITE_P(
    Messages, MsgPackErrorTest,
    ::testing::Values(
        MsgPackCase{{0xC1}, "Invalid MessagePack data at position 1.", 1},
        MsgPackCase{{0x91, 0xD4, 0x01, 0x02}, "Invalid MessagePack data at position 2.", 2},
        MsgPackCase{{0x81, 0x01, 0x01}, "Invalid MessagePack data at position 2. Map keys must be strings.", 2},
        MsgPackCase{{0x81, 0xC0, 0x01}, "Invalid MessagePack data at position 2. Map keys must be strings.", 2},
        MsgPackCase{{0x82, 0xA1, 'a', 0x01, 0xC4, 0x00}, "Invalid MessagePack data at position 5. Map keys must be strings.", 5},
        MsgPackCase{{0xCC}, "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
        MsgPackCase{{0xD9}, "Invalid MessagePack data. 8-bit integer value at position 1 is truncated.", 1},
        MsgPackCase{{0xCD, 0x01}, "Invalid MessagePack data. 16-bit integer value at position 1 is truncated.", 1},
        MsgPackCase{{0x91, 0xDC, 0x00}, "Invalid MessagePack data. 16-bit integer value at position 2 is truncated.", 2},
        MsgPackCase{{0xCA, 0, 0, 0}, "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
        MsgPackCase{{0xDF, 0, 0}, "Invalid MessagePack data. 32-bit integer value at position 1 is truncated.", 1},
        MsgPackCase{{0xCB, 0, 0, 0, 0, 0, 0, 0}, "Invalid MessagePack data. 64-bit integer value at position 1 is truncated.", 1},
        MsgPackCase{{0xD3}, "Invalid MessagePack data. 64-bit integer value at position 1 is truncated.", 1},
        MsgPackCase{{0xA3, 'a', 'b'}, "Invalid MessagePack data. String of size 3 at position 1 is truncated.", 1},
        MsgPackCase{{0xDB, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}, "Invalid MessagePack data. String of size 4294967295 at position 5 is truncated.", 5},
        MsgPackCase{{0x81, 0xA2, 'k'}, "Invalid MessagePack data. String of size 2 at position 2 is truncated.", 2},
        MsgPackCase{{0xC4, 0x05, 1, 2}, "Invalid MessagePack data. Raw bytes of size 5 at position 2 are truncated.", 2},
        MsgPackCase{{0xC6, 0x80, 0, 0, 0}, "Invalid MessagePack data. Raw bytes of size 2147483648 at position 5 are truncated.", 5},
        // Input that ends before a container's announced items is cut off,
        // not a shorter value: the innermost open container is named.
        MsgPackCase{{0x92, 0x01}, "Invalid MessagePack data. Array of size 2 at position 1 is truncated.", 2},
        MsgPackCase{{0x91}, "Invalid MessagePack data. Array of size 1 at position 1 is truncated.", 1},
        MsgPackCase{{0x91, 0x92, 0x01}, "Invalid MessagePack data. Array of size 2 at position 2 is truncated.", 3},
        MsgPackCase{{0x82, 0xA1, 'a', 0x01, 0xA1, 'b'}, "Invalid MessagePack data. Map of size 2 at position 1 is truncated.", 6},
        MsgPackCase{{0x81, 0xA1, 'a'}, "Invalid MessagePack data. Map of size 1 at position 1 is truncated.", 3},
        // Announcing four billion elements or pairs reserves nothing up front.
        MsgPackCase{{0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}, "Invalid MessagePack data. Array of size 4294967295 at position 5 is truncated.", 6},
        MsgPackCase{{0xDF, 0xFF, 0xFF, 0xFF, 0xFF, 0xA1, 'a', 0x01}, "Invalid MessagePack data. Map of size 4294967295 at position 5 is truncated.", 8}));

TEST(MsgPackReaderTest, RejectsEveryExtAndUnusedTypeByte) {
  const std::uint8_t rejected[] = {0xC1, 0xC7, 0xC8, 0xC9, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8};
  for (std::uint8_t type : rejected) {
    MsgPackReadResult r = readExact(Bytes{type, 0x01, 0x01, 0x01, 0x01, 0x01});
    EXPECT_FALSE(r.result.ok) << int(type);
    EXPECT_EQ(r.result.errorText(), "Invalid MessagePack data at position 1.") << int(type);
    EXPECT_EQ(r.consumed, 1u);
  }
}

TEST(MsgPackReaderTest, ConsumedStopsWhereAnErrorStopsReading) {
  MsgPackReadResult r = readExact(Bytes{0x93, 0x01, 0x02, 0xC1, 0x03});
  EXPECT_FALSE(r.result.ok);
  EXPECT_EQ(r.consumed, 4u);
}

// A document using every accepted type: every prefix must either read (what
// is complete so far) or fail with a truncation message, never read past the cut.
TEST(MsgPackReaderTest, EveryTruncationReadsOrFailsCleanly) {
  const Bytes doc = {
      0x8B,                                                  // map of 11 pairs
      0xA1, 'a', 0x9A, 0x00, 0x7F, 0xE0, 0xC0, 0xC2, 0xC3,  // fixints, nil, bools
      0xCC, 0x01, 0xCD, 0x01, 0x02, 0xCE, 0, 0, 0, 1,       //
      0xCF, 0, 0, 0, 0, 0, 0, 0, 1,                         // uint 8..64
      0xA1, 'b', 0x94, 0xD0, 0xFF, 0xD1, 0xFF, 0xFF, 0xD2, 0, 0, 0, 1, 0xD3, 0, 0, 0, 0, 0, 0, 0, 1,
      0xA1, 'c', 0x92, 0xCA, 0x3F, 0x80, 0, 0, 0xCB, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0,
      0xA1, 'd', 0x93, 0xA2, 'h', 'i', 0xD9, 0x01, 'x', 0xDA, 0x00, 0x01, 'y',
      0xA1, 'e', 0xDB, 0, 0, 0, 2, 'z', 'z',
      0xA1, 'f', 0x93, 0xC4, 0x01, 0xAA, 0xC5, 0x00, 0x01, 0xBB, 0xC6, 0, 0, 0, 1, 0xCC,
      0xA1, 'g', 0xDC, 0x00, 0x01, 0xDD, 0, 0, 0, 1, 0x90,
      0xA1, 'h', 0xDE, 0x00, 0x01, 0xD9, 0x01, 'k', 0xDF, 0, 0, 0, 1, 0xDA, 0, 1, 'm', 0x80,
      0xD9, 0x01, 'i', 0x81, 0xDB, 0, 0, 0, 1, 'n', 0x01,
      0xDA, 0x00, 0x01, 'j', 0xC0,
      0xA1, 'k', 0x05};
  MsgPackReadResult whole = readExact(doc);
  ASSERT_TRUE(whole.result.ok) << whole.result.errorText();
  EXPECT_EQ(whole.consumed, doc.size());
  EXPECT_EQ(valueText(whole.result.value),
            "{a:[i0,i127,i-32,~,false,true,u1,u258,u1,u1],b:[i-1,i-1,i1,i1],c:[f1,f1],"
            "d:[\"hi\",\"x\",\"y\"],e:\"zz\",f:[b'aa',b'bb',b'cc'],g:[[[]]],h:{k:{m:{}}},"
            "i:{n:i1},j:~,k:i5}");
  for (std::size_t n = 0; n < doc.size(); ++n) {
    Bytes prefix(doc.begin(), doc.begin() + static_cast<std::ptrdiff_t>(n));
    MsgPackReadResult r = readExact(prefix);
    EXPECT_LE(r.consumed, n);
    if (r.result.ok) {
      EXPECT_EQ(r.consumed, n) << "prefix " << n;
    } else {
      EXPECT_EQ(r.result.errorText().substr(0, 24), "Invalid MessagePack data") << "prefix " << n;
    }
  }
}

class MsgPackNestingTest : public ::testing::Test {
 protected:
  static Bytes nestedArrays(std::size_t depth) {
    Bytes b(depth, 0x91);
    b.push_back(0x01);
    return b;
  }
};

TEST_F(MsgPackNestingTest, AcceptsLimitDepth) {
  MsgPackReadResult r = readExact(nestedArrays(kMsgPackMaxDepth));
  ASSERT_TRUE(r.result.ok) << r.result.errorText();
  EXPECT_EQ(valueDepth(r.result.value), kMsgPackMaxDepth);
}

TEST_F(MsgPackNestingTest, RefusesOneMore) {
  MsgPackReadResult r = readExact(nestedArrays(kMsgPackMaxDepth + 1));
  EXPECT_FALSE(r.result.ok);
  EXPECT_EQ(r.result.errorText(), "Invalid MessagePack data at position 1025. Nesting is too deep.");

  // The position is the one just after the type byte, also for headers
  // with a length.
  Bytes maps;
  for (std::size_t i = 0; i < kMsgPackMaxDepth; ++i) maps.insert(maps.end(), {0x81, 0xA0});
  maps.insert(maps.end(), {0xDC, 0x00, 0x01, 0x01});
  r = readExact(maps);
  EXPECT_EQ(r.result.errorText(), "Invalid MessagePack data at position 2049. Nesting is too deep.");

  r = readExact(Bytes(100000, 0x91));
  EXPECT_EQ(r.result.errorText(), "Invalid MessagePack data at position 1025. Nesting is too deep.");
}

// Finished siblings free their depth again.
TEST_F(MsgPackNestingTest, SiblingsDoNotAddDepth) {
  Bytes b(kMsgPackMaxDepth - 2, 0x91);
  b.insert(b.end(), {0x93, 0x90, 0x90, 0x90});
  MsgPackReadResult r = readExact(b);
  ASSERT_TRUE(r.result.ok) << r.result.errorText();
  EXPECT_EQ(r.consumed, b.size());
}

}  // namespace
}  // namespace qor
