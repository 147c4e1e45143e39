// JsonReader: builds a BindingProperty from the events of RapidJSON's SAX
// reader. The reader recurses once per open container; the builder refuses
// the 1,025th, so the stack it needs is bounded (about 100 KiB in an
// optimised build) whatever the input.
#include "formats/JsonReader.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

namespace qor {
namespace {

// The default syntax, read in place. The recursive mode is the faster one;
// the depth limit bounds its recursion.
constexpr unsigned kParseFlags = rapidjson::kParseInsituFlag;

using Stream = rapidjson::InsituStringStream;

// Receives the reader's events and writes them into the value tree. The
// target is the value the next scalar or container goes into; `open_` holds
// the collections and structures whose closing bracket has not come yet.
class ValueBuilder {
 public:
  ValueBuilder(BindingProperty& root, Stream& stream) : target_(&root), stream_(stream) {
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
  Stream& stream_;
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

// True when the text holds nothing but blanks.
bool isBlankText(const char* p, const char* end) {
  while (p != end && isJsonBlank(*p)) ++p;
  return p == end;
}

// Reads `length` bytes of text (no NUL among them). The reader works in
// place on a private copy: strings are unescaped where they stand and handed
// over without a second copy, which is much faster than reading from a
// constant buffer; the copy lives for the read only.
BindingResult parse(const char* text, std::size_t length) {
  BindingResult result;
  if (isBlankText(text, text + length)) return result;  // empty text is an empty value, not an error

  std::unique_ptr<char[]> copy(new char[length + 1]);
  std::memcpy(copy.get(), text, length);
  copy[length] = '\0';
  Stream stream(copy.get());
  result.value.expectStrings(length / 64);  // about one distinct string per 64 bytes
  ValueBuilder builder(result.value, stream);
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
  return parse(nulTerminated, std::strlen(nulTerminated));
}

BindingResult readJson(const std::string& text) { return readJson(text.c_str()); }

BindingResult readJson(std::string_view text) {
  const char* begin = text.data();
  if (begin == nullptr || text.empty()) return BindingResult{};
  // A NUL inside the view ends the text there.
  const void* nul = std::memchr(begin, '\0', text.size());
  return parse(begin, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - begin) : text.size());
}

}  // namespace qor
