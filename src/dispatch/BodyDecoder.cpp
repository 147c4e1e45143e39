// Chooses the reader for argument texts and request bodies.
#include "dispatch/BodyDecoder.h"

#include "binding/FormatMessage.h"
#include "formats/JsonReader.h"
#include "formats/MsgPackReader.h"
#include "formats/YamlReader.h"

namespace qor {

namespace {

constexpr std::string_view kMsgPack = "application/x-msgpack";
constexpr std::string_view kJson = "application/json";
constexpr std::string_view kVndJson = "application/vnd.api+json";
constexpr std::string_view kTextYaml = "text/x-yaml";
constexpr std::string_view kAppYaml = "application/x-yaml";
constexpr std::string_view kOctetStream = "application/octet-stream";

char lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view skipBlanks(std::string_view text) noexcept {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  return text.substr(i);
}

bool looksLikeMsgPackContainer(std::string_view text) noexcept {
  if (text.empty()) return false;
  const auto b = static_cast<unsigned char>(text[0]);
  return (b >= 0x80 && b <= 0x9F) || (b >= 0xDC && b <= 0xDF);
}

// Takes the decoded value, or reports the reader's message with the argument's prefix.
void takeDecoded(BindingResult& status, BindingProperty& target, BindingResult& decoded,
                 const char* format, std::string_view functionName,
                 std::string_view argumentName) {
  if (decoded.ok) {
    target = std::move(decoded.value);
    return;
  }
  status.setError(formatMessage(format, argumentName, functionName, decoded.errorText()));
}

}  // namespace

bool contentTypeIs(std::string_view contentType, std::string_view name) noexcept {
  if (contentType.size() < name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (lower(contentType[i]) != lower(name[i])) return false;
  }
  return true;
}

void decodeArgumentText(BindingResult& status, BindingProperty& target,
                        std::string_view functionName, std::string_view argumentName,
                        std::string_view text, std::string_view contentType, bool allowSniffing) {
  if (!status.ok) return;
  const bool sniff = allowSniffing && contentType.empty();
  if (contentTypeIs(contentType, kMsgPack) || (sniff && looksLikeMsgPackContainer(text))) {
    MsgPackReadResult read = readMsgPack(text.data(), text.size());
    takeDecoded(status, target, read.result,
                "Couldn't deserialize MessagePack value for parameter '%1' of '%2': %3",
                functionName, argumentName);
    return;
  }
  const std::string_view afterBlanks = skipBlanks(text);
  if (contentTypeIs(contentType, kJson) ||
      (sniff && !afterBlanks.empty() && (afterBlanks[0] == '{' || afterBlanks[0] == '['))) {
    BindingResult read = readJson(text);
    takeDecoded(status, target, read,
                "Couldn't deserialize JSON value for parameter '%1' of '%2': %3", functionName,
                argumentName);
    return;
  }
  if (contentTypeIs(contentType, kTextYaml) || (sniff && afterBlanks.starts_with("---"))) {
    BindingResult read = readYaml(text);
    takeDecoded(status, target, read,
                "Couldn't deserialize YAML value for parameter '%1' of '%2': %3", functionName,
                argumentName);
    return;
  }
  if (contentTypeIs(contentType, kOctetStream)) {
    target.setBlob(text.data(), text.size());
    return;
  }
  target.setString(text);
}

void decodeBody(BindingResult& status, BindingProperty& target, std::string_view contentType,
                const void* body, std::size_t size) {
  if (!status.ok) return;
  if (body == nullptr) size = 0;
  const std::string_view bytes(static_cast<const char*>(body), size);
  BindingResult read;
  if (contentTypeIs(contentType, kMsgPack)) {
    MsgPackReadResult packed = readMsgPack(bytes.data(), bytes.size());
    if (packed.result.ok && packed.consumed < bytes.size()) {
      status.setError("Extra MessgePack data found in body");
      return;
    }
    read = std::move(packed.result);
  } else if (contentTypeIs(contentType, kJson) || contentTypeIs(contentType, kVndJson)) {
    read = readJson(bytes);
  } else if (contentTypeIs(contentType, kAppYaml)) {
    read = readYaml(bytes);
  } else {
    status.setError("Unsupported body content type");
    return;
  }
  if (read.ok) {
    target = std::move(read.value);
  } else {
    status = std::move(read);
  }
}

}  // namespace qor
