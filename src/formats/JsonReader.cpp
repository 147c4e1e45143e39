// JsonReader: builds a BindingProperty from the events of RapidJSON's SAX
// reader. The reader recurses once per open container; the builder refuses
// the 1,025th, so the stack it needs is bounded (about 100 KiB in an
// optimised build) whatever the input.
#include "formats/JsonReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

namespace qor {
namespace {

// The recursive mode is the faster one; the depth limit bounds its recursion.
constexpr unsigned kParseFlags = rapidjson::kParseDefaultFlags;

// Receives the reader's events and writes them into the value tree. The
// target is the value the next scalar or container goes into; `open_` holds
// the collections and structures whose closing bracket has not come yet.
template <class Stream>
class ValueBuilder {
 public:
  ValueBuilder(BindingProperty& root, const Stream& stream) : target_(&root), stream_(stream) {
    open_.reserve(32);
  }

  bool Null() {
    chooseTarget();
    return true;
  }
  bool Bool(bool b) {
    chooseTarget()->setBool(b);
    return true;
  }
  bool Int(int i) {
    chooseTarget()->setInt64(i);
    return true;
  }
  bool Uint(unsigned u) {
    chooseTarget()->setUint64(u);
    return true;
  }
  bool Int64(std::int64_t i) {
    chooseTarget()->setInt64(i);
    return true;
  }
  bool Uint64(std::uint64_t u) {
    chooseTarget()->setUint64(u);
    return true;
  }
  bool Double(double d) {
    chooseTarget()->setDouble(d);
    return true;
  }
  bool RawNumber(const char*, rapidjson::SizeType, bool) { return true; }  // not enabled
  bool String(const char* str, rapidjson::SizeType length, bool) {
    chooseTarget()->setString(std::string_view(str, length));
    return true;
  }
  bool StartObject() {
    if (!enter()) return false;
    BindingProperty* t = chooseTarget();
    t->makeStructure();
    open_.push_back(t);
    return true;
  }
  bool Key(const char* str, rapidjson::SizeType length, bool) {
    target_ = &open_.back()->member(std::string_view(str, length));
    return true;
  }
  bool EndObject(rapidjson::SizeType) {
    open_.pop_back();
    return true;
  }
  bool StartArray() {
    if (!enter()) return false;
    BindingProperty* t = chooseTarget();
    t->makeCollection();
    open_.push_back(t);
    return true;
  }
  bool EndArray(rapidjson::SizeType) {
    open_.pop_back();
    return true;
  }

  bool tooDeep() const noexcept { return tooDeep_; }
  std::size_t tooDeepOffset() const noexcept { return tooDeepOffset_; }

 private:
  // A value inside an array goes into a new element at its end; elsewhere it
  // goes where the last key (or the start of the document) pointed.
  BindingProperty* chooseTarget() {
    if (!open_.empty() && open_.back()->kind() == BindingPropertyKind::Collection) {
      target_ = &open_.back()->append();
    }
    return target_;
  }

  // Refuses a container that would be the 1,025th open one; the reader then
  // stops without recursing further. It calls the handler just after taking
  // the bracket, so the bracket's offset is one before Tell().
  bool enter() {
    if (open_.size() < kJsonMaxDepth) return true;
    tooDeep_ = true;
    tooDeepOffset_ = stream_.Tell() - 1;
    return false;
  }

  BindingProperty* target_;
  std::vector<BindingProperty*> open_;
  const Stream& stream_;
  std::size_t tooDeepOffset_ = 0;
  bool tooDeep_ = false;
};

void setJsonError(BindingResult& result, const char* reason, std::size_t offset) {
  char buffer[4096];
  std::snprintf(buffer, sizeof buffer, "Error: %s at offset %u.", reason,
                static_cast<unsigned>(offset));
  result.setError(buffer);
}

bool isJsonBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// True when the text holds nothing but blanks; `end` null means the text ends
// at its NUL byte.
bool isBlankText(const char* p, const char* end) {
  if (end == nullptr) {
    while (isJsonBlank(*p)) ++p;
    return *p == '\0';
  }
  while (p != end && isJsonBlank(*p)) ++p;
  return p == end;
}

template <class Stream>
BindingResult parse(Stream& stream, const char* begin, const char* end) {
  BindingResult result;
  if (isBlankText(begin, end)) return result;  // empty text is an empty value, not an error

  // About one distinct string per 64 bytes of text. The table is sized up
  // front only while it stays small enough for the cache; a bigger document
  // grows it as its strings come.
  const std::size_t length = end ? static_cast<std::size_t>(end - begin) : std::strlen(begin);
  result.value.reserveStrings(std::min<std::size_t>(length / 64, 16384));
  ValueBuilder<Stream> builder(result.value, stream);
  rapidjson::Reader reader;
  rapidjson::ParseResult parsed = reader.Parse<kParseFlags>(stream, builder);
  if (parsed) return result;

  if (builder.tooDeep()) {
    setJsonError(result, "The document is nested too deeply.", builder.tooDeepOffset());
    return result;
  }
  setJsonError(result, rapidjson::GetParseError_En(parsed.Code()), parsed.Offset());
  return result;
}

}  // namespace

BindingResult readJson(const char* nulTerminated) {
  if (nulTerminated == nullptr) return BindingResult{};
  rapidjson::StringStream stream(nulTerminated);
  return parse(stream, nulTerminated, nullptr);
}

BindingResult readJson(const std::string& text) { return readJson(text.c_str()); }

BindingResult readJson(std::string_view text) {
  const char* begin = text.data();
  if (begin == nullptr || text.empty()) return BindingResult{};
  // A NUL inside the view ends the text there, and the NUL-terminated reader
  // (which never looks past it) can run; otherwise the reader is bounded by the
  // view's end.
  if (std::memchr(begin, '\0', text.size()) != nullptr) {
    rapidjson::StringStream stream(begin);
    return parse(stream, begin, nullptr);
  }
  rapidjson::MemoryStream stream(begin, text.size());
  return parse(stream, begin, begin + text.size());
}

}  // namespace qor
