// json_reader: JSON text into a value tree, checked against RapidJSON's
// Document on every input: the same verdict with the same syntax flags, on
// failure the message and offset the reader promises, on success the same
// numbers, strings and nesting, with members in byte order and repeated
// names merged as the value model defines them.
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include "FuzzTargets.h"
#include "formats/JsonReader.h"
#include "support/FuzzCheck.h"
#include "support/ValueChecks.h"

namespace qor::fuzz {
namespace {

// The number events of one parse, in document order: the Document keeps the
// value of a number but not whether the reader saw it as signed or unsigned
// ("-0" and "0" are both the integer 0 there).
struct NumberKinds : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, NumberKinds> {
  std::vector<char> kinds;
  bool Int(int) { return push('s'); }
  bool Int64(std::int64_t) { return push('s'); }
  bool Uint(unsigned) { return push('u'); }
  bool Uint64(std::uint64_t) { return push('u'); }
  bool Double(double) { return push('f'); }
  bool push(char k) {
    kinds.push_back(k);
    return true;
  }
};

// The value the reader should build, derived from the Document: a tree in
// which a repeated name merges into the member already there (objects keep
// their members, arrays append, null leaves the member as it was, any other
// value replaces it).
struct Expected {
  BindingPropertyKind kind = BindingPropertyKind::Empty;
  bool b = false;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double d = 0;
  std::string s;
  std::vector<Expected> elements;
  std::map<std::string, Expected> members;  // std::string orders bytes as unsigned

  void reset() { *this = Expected{}; }
};

class ExpectedBuilder {
 public:
  explicit ExpectedBuilder(const std::vector<char>& kinds) : kinds_(kinds) {}

  bool apply(Expected& target, const rapidjson::Value& v) {
    switch (v.GetType()) {
      case rapidjson::kNullType:
        return true;
      case rapidjson::kFalseType:
      case rapidjson::kTrueType:
        target.reset();
        target.kind = BindingPropertyKind::Bool;
        target.b = v.GetBool();
        return true;
      case rapidjson::kNumberType: {
        if (next_ >= kinds_.size()) return false;
        const char k = kinds_[next_++];
        target.reset();
        if (k == 'f') {
          if (!v.IsDouble()) return false;
          target.kind = BindingPropertyKind::Float;
          target.d = v.GetDouble();
        } else if (k == 's') {
          if (!v.IsInt64()) return false;
          target.kind = BindingPropertyKind::Signed;
          target.i = v.GetInt64();
        } else {
          if (!v.IsUint64()) return false;
          target.kind = BindingPropertyKind::Unsigned;
          target.u = v.GetUint64();
        }
        return true;
      }
      case rapidjson::kStringType:
        target.reset();
        target.kind = BindingPropertyKind::String;
        target.s.assign(v.GetString(), v.GetStringLength());
        return true;
      case rapidjson::kArrayType:
        if (target.kind != BindingPropertyKind::Collection) {
          target.reset();
          target.kind = BindingPropertyKind::Collection;
        }
        for (const auto& e : v.GetArray()) {
          target.elements.emplace_back();
          if (!apply(target.elements.back(), e)) return false;
        }
        return true;
      case rapidjson::kObjectType:
        if (target.kind != BindingPropertyKind::Structure) {
          target.reset();
          target.kind = BindingPropertyKind::Structure;
        }
        for (const auto& m : v.GetObject()) {
          Expected& member = target.members[std::string(m.name.GetString(), m.name.GetStringLength())];
          if (!apply(member, m.value)) return false;
        }
        return true;
    }
    return false;
  }
  bool usedAll() const { return next_ == kinds_.size(); }

 private:
  const std::vector<char>& kinds_;
  std::size_t next_ = 0;
};

// On a difference `where` holds it, with the path prepended on the way out.
bool matches(const Expected& e, const BindingProperty& v, std::string& where) {
  auto fail = [&](const std::string& what) {
    where = ": " + what + " (ours " + valueText(v, 80) + ")";
    return false;
  };
  if (e.kind != v.kind()) return fail(std::string("expected kind ") + kindName(e.kind));
  switch (e.kind) {
    case BindingPropertyKind::Bool: return e.b == v.asBool() || fail("bool");
    case BindingPropertyKind::Signed: return e.i == v.asInt64() || fail("signed " + std::to_string(e.i));
    case BindingPropertyKind::Unsigned: return e.u == v.asUint64() || fail("unsigned " + std::to_string(e.u));
    case BindingPropertyKind::Float: {
      const double d = v.asDouble();
      return std::memcmp(&d, &e.d, sizeof d) == 0 || fail("float " + std::to_string(e.d));
    }
    case BindingPropertyKind::String: return e.s == v.asString() || fail("string");
    case BindingPropertyKind::Collection: {
      if (e.elements.size() != v.size()) return fail("length " + std::to_string(e.elements.size()));
      for (std::size_t i = 0; i < e.elements.size(); ++i)
        if (!matches(e.elements[i], v.get(i), where)) {
          where = "[" + std::to_string(i) + "]" + where;
          return false;
        }
      return true;
    }
    case BindingPropertyKind::Structure: {
      if (e.members.size() != v.size()) return fail("member count " + std::to_string(e.members.size()));
      auto it = e.members.begin();
      bool ok = true;
      v.forEachMember([&](std::string_view name, const BindingProperty& m) {
        if (!ok) return;
        if (it == e.members.end() || it->first != name) {
          ok = fail("member '" + std::string(name) + "' out of place");
          return;
        }
        ok = matches(it->second, m, where);
        if (!ok) where = "." + it->first + where;
        ++it;
      });
      return ok;
    }
    default:
      return true;
  }
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The offset of the bracket that opens the 1,025th nested container, found
// by a scan that skips strings, or npos when the text never nests that deep;
// `maxDepth` is the deepest nesting the scan saw anywhere.
std::size_t tooDeepOffset(std::string_view text, std::size_t& maxDepth) {
  std::size_t depth = 0;
  std::size_t found = std::string_view::npos;
  maxDepth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
      continue;
    }
    if (c == '"') inString = true;
    else if (c == '[' || c == '{') {
      if (depth == kJsonMaxDepth && found == std::string_view::npos) found = i;
      if (++depth > maxDepth) maxDepth = depth;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return found;
}

// Nesting the peer may read with its recursive parser (the one the reader
// uses, whose error codes the iterative one does not always share) without
// overflowing the stack.
constexpr std::size_t kRecursivePeerDepth = 8192;

std::string errorMessage(const char* reason, std::size_t offset) {
  return std::string("Error: ") + reason + " at offset " + std::to_string(offset) + ".";
}

}  // namespace

int fuzzJsonReader(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const BindingResult ours = readJson(input);
  // The reader reads up to the first NUL; so does the oracle.
  const std::string_view text = input.substr(0, input.find('\0'));
  const std::string copy(text);

  std::size_t blank = 0;
  while (blank < text.size() && isBlank(text[blank])) ++blank;
  if (blank == text.size()) {
    QOR_FUZZ_CHECK(ours.ok && ours.value.isEmpty(), "blank text must give an empty value");
    return 0;
  }

  std::size_t maxDepth = 0;
  const std::size_t deep = tooDeepOffset(text, maxDepth);
  rapidjson::Document doc;
  NumberKinds numbers;
  if (maxDepth <= kRecursivePeerDepth) {
    doc.Parse(copy.c_str());  // a NUL-terminated string: no byte-order mark handling, as in the reader
  } else {
    // Far deeper than the reader goes: the peer reads iteratively so that
    // its own recursion cannot overflow.
    doc.Parse<rapidjson::kParseIterativeFlag>(copy.c_str());
  }

  if (doc.HasParseError()) {
    const std::size_t offset = doc.GetErrorOffset();
    if (deep != std::string_view::npos && offset > deep) {
      QOR_FUZZ_CHECK(!ours.ok && ours.errorText() == errorMessage("The document is nested too deeply.", deep),
                     "expected the nesting refusal at " + std::to_string(deep) + ", got '" +
                         std::string(ours.errorText()) + "'");
      return 0;
    }
    const std::string expected = errorMessage(rapidjson::GetParseError_En(doc.GetParseError()), offset);
    QOR_FUZZ_CHECK(!ours.ok, "RapidJSON refuses (" + expected + ") but the reader accepts " +
                                 valueText(ours.value));
    QOR_FUZZ_CHECK(ours.errorText() == expected,
                   "message '" + std::string(ours.errorText()) + "', RapidJSON '" + expected + "'");
    return 0;
  }
  if (deep != std::string_view::npos) {
    QOR_FUZZ_CHECK(!ours.ok && ours.errorText() == errorMessage("The document is nested too deeply.", deep),
                   "expected the nesting refusal at " + std::to_string(deep) + ", got '" +
                       std::string(ours.errorText()) + "'");
    return 0;
  }
  QOR_FUZZ_CHECK(ours.ok, "RapidJSON accepts but the reader fails: " + std::string(ours.errorText()));

  rapidjson::Reader reader;
  rapidjson::StringStream stream(copy.c_str());
  reader.Parse(stream, numbers);
  Expected expected;
  ExpectedBuilder builder(numbers.kinds);
  QOR_FUZZ_CHECK(builder.apply(expected, doc) && builder.usedAll(), "number events disagree with the Document");
  std::string where;
  QOR_FUZZ_CHECK(matches(expected, ours.value, where), "value differs from RapidJSON's: " + where);

  exerciseTree(ours.value, nullptr);
  return 0;
}

}  // namespace qor::fuzz
