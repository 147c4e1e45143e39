// Tests of argument-text and body decoding by content type and by sniffing.
#include "dispatch/BodyDecoder.h"

#include <gtest/gtest.h>

#include <string>

#include "formats/JsonReader.h"
#include "formats/MsgPackReader.h"
#include "formats/YamlReader.h"

namespace qor {
namespace {

using Kind = BindingPropertyKind;

struct TextRow {
  const char* label;
  std::string text;
  const char* contentType;
  bool sniff;
  Kind kind;
  std::size_t size;  // elements, members, or bytes of a string or blob
};

TEST(DecodeArgumentText, ChoosesTheReaderByContentTypeAndShape) {
  const TextRow rows[] = {
      {"json by sniffing", "[1,2]", "", true, Kind::Collection, 2},
      {"json after blanks", "   {\"a\":1}", "", true, Kind::Structure, 1},
      {"no sniffing keeps text", "[1,2]", "", false, Kind::String, 5},
      {"sniffing needs an empty content type", "[1,2]", "text/plain", true, Kind::String, 5},
      {"json content type with parameters", "{\"a\":1,\"b\":2}", "Application/JSON; charset=utf-8",
       false, Kind::Structure, 2},
      {"json up to the first NUL", std::string("[1]\0garbage", 11), "application/json", false,
       Kind::Collection, 1},
      {"yaml by sniffing", "  --- a: 1", "", true, Kind::Structure, 1},
      {"yaml document marker", "---\na: 1\nb: 2", "", true, Kind::Structure, 2},
      {"yaml content type", "a: 1", "text/x-yaml", false, Kind::Structure, 1},
      {"application/x-yaml is plain text here", "a: 1", "application/x-yaml", false, Kind::String, 4},
      {"vnd json is plain text here", "[1]", "application/vnd.api+json", false, Kind::String, 3},
      {"msgpack array by sniffing", "\x92\x01\x02", "", true, Kind::Collection, 2},
      {"msgpack map by sniffing", "\x81\xa1k\x01", "", true, Kind::Structure, 1},
      {"msgpack array16 by sniffing", std::string("\xdc\x00\x01\x05", 4), "", true,
       Kind::Collection, 1},
      {"msgpack trailing bytes ignored", "\x92\x01\x02\x03", "application/x-msgpack", false,
       Kind::Collection, 2},
      {"msgpack-ext is msgpack", "\x91\x01", "application/x-msgpack-ext", false, Kind::Collection, 1},
      {"octet stream keeps every byte", std::string("a\0b\xff", 4), "application/octet-stream",
       false, Kind::Blob, 4},
      {"plain text", "GEAR", "", true, Kind::String, 4},
      {"scalar-looking json without sniff", "42", "", true, Kind::String, 2},
  };
  for (const TextRow& row : rows) {
    BindingResult status;
    BindingProperty target;
    decodeArgumentText(status, target, "GetX", "p", row.text, row.contentType, row.sniff);
    ASSERT_TRUE(status.ok) << row.label << ": " << status.errorText();
    EXPECT_EQ(target.kind(), row.kind) << row.label;
    EXPECT_EQ(target.size(), row.size) << row.label;
  }
}

TEST(DecodeArgumentText, OctetStreamBlobHoldsTheSameBytes) {
  const std::string bytes("\0\x01zz\0", 5);
  BindingResult status;
  BindingProperty target;
  decodeArgumentText(status, target, "F", "p", bytes, "application/octet-stream", false);
  ASSERT_TRUE(status.ok);
  const auto blob = target.asBlob();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(blob.data()), blob.size()), bytes);
}

TEST(DecodeArgumentText, ReaderFailuresCarryThePrefixAndLeaveTheTarget) {
  struct Row {
    std::string text;
    const char* contentType;
    std::string prefix;
    std::string readerMessage;
  };
  const std::string badJson = "[1,";
  const std::string badYaml = "a: [";
  const std::string badPack = "\xc1";
  const Row rows[] = {
      {badJson, "application/json", "Couldn't deserialize JSON value for parameter 'types' of 'GetInv': ",
       std::string(readJson(badJson).errorText())},
      {badYaml, "text/x-yaml", "Couldn't deserialize YAML value for parameter 'types' of 'GetInv': ",
       std::string(readYaml(badYaml).errorText())},
      {badPack, "application/x-msgpack",
       "Couldn't deserialize MessagePack value for parameter 'types' of 'GetInv': ",
       std::string(readMsgPack(badPack.data(), badPack.size()).result.errorText())},
  };
  for (const Row& row : rows) {
    ASSERT_FALSE(row.readerMessage.empty()) << row.text;
    BindingResult status;
    BindingProperty target("kept");
    decodeArgumentText(status, target, "GetInv", "types", row.text, row.contentType, false);
    ASSERT_FALSE(status.ok) << row.text;
    EXPECT_EQ(status.errorText(), row.prefix + row.readerMessage);
    EXPECT_EQ(target.asString(), "kept");
  }
}

TEST(DecodeArgumentText, DoesNothingAfterAnEarlierFailure) {
  BindingResult status;
  status.setError("earlier");
  BindingProperty target;
  decodeArgumentText(status, target, "F", "p", "x", "", false);
  EXPECT_EQ(status.errorText(), "earlier");
  EXPECT_TRUE(target.isEmpty());
}

TEST(ContentTypeIs, ComparesACaseInsensitivePrefixOfTheKnownName) {
  EXPECT_TRUE(contentTypeIs("APPLICATION/X-MSGPACK-EXT", "application/x-msgpack"));
  EXPECT_TRUE(contentTypeIs("application/json", "application/json"));
  EXPECT_FALSE(contentTypeIs("application/js", "application/json"));
  EXPECT_FALSE(contentTypeIs("", "application/json"));
  EXPECT_FALSE(contentTypeIs(" application/json", "application/json"));
}

struct BodyRow {
  const char* label;
  std::string body;
  const char* contentType;
  const char* error;  // null: success
  Kind kind;
};

TEST(DecodeBody, ChoosesTheReaderByContentType) {
  const BodyRow rows[] = {
      {"json with parameters", "{\"a\":1}", "Application/JSON; charset=utf-8", nullptr, Kind::Structure},
      {"vnd json", "[1,2]", "application/vnd.api+json", nullptr, Kind::Collection},
      {"json up to the first NUL", std::string("[1]\0[", 5), "application/json", nullptr,
       Kind::Collection},
      {"yaml", "a: 1", "application/x-yaml", nullptr, Kind::Structure},
      {"yaml up to the first NUL", std::string("- 1\0: :", 7), "application/x-yaml", nullptr,
       Kind::Collection},
      {"msgpack exact", "\x92\x01\x02", "application/x-msgpack", nullptr, Kind::Collection},
      {"msgpack with one more byte", "\x92\x01\x02\x03", "application/x-msgpack",
       "Extra MessgePack data found in body", Kind::Empty},
      {"text/x-yaml is not a body type", "a: 1", "text/x-yaml", "Unsupported body content type",
       Kind::Empty},
      {"octet stream is not a body type", "ab", "application/octet-stream",
       "Unsupported body content type", Kind::Empty},
      {"no content type", "{}", "", "Unsupported body content type", Kind::Empty},
  };
  for (const BodyRow& row : rows) {
    BindingResult status;
    BindingProperty target;
    decodeBody(status, target, row.contentType, row.body.data(), row.body.size());
    if (row.error == nullptr) {
      ASSERT_TRUE(status.ok) << row.label << ": " << status.errorText();
      EXPECT_EQ(target.kind(), row.kind) << row.label;
    } else {
      ASSERT_FALSE(status.ok) << row.label;
      EXPECT_EQ(status.errorText(), row.error) << row.label;
      EXPECT_TRUE(target.isEmpty()) << row.label;
    }
  }
}

TEST(DecodeBody, ReaderMessagesComeWithoutPrefix) {
  const std::string bad = "{\"a\":";
  BindingResult status;
  BindingProperty target;
  decodeBody(status, target, "application/json", bad.data(), bad.size());
  ASSERT_FALSE(status.ok);
  EXPECT_EQ(status.errorText(), readJson(bad).errorText());
}

TEST(DecodeBody, NullPointerWithASizeReadsNothing) {
  BindingResult status;
  BindingProperty target;
  decodeBody(status, target, "application/json", nullptr, 1000);
  EXPECT_TRUE(status.ok);
  EXPECT_TRUE(target.isEmpty());
  decodeBody(status, target, "application/x-msgpack", nullptr, 1000);
  EXPECT_TRUE(status.ok);
}

}  // namespace
}  // namespace qor
