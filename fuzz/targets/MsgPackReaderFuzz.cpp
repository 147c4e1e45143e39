// msgpack_reader: MessagePack bytes into a value tree, checked against
// msgpack-c: where msgpack-c unpacks the first value whole, the reader gives
// the same values (repeated map keys merged as the value model defines them)
// and stops at the same offset, or refuses for one of its own reasons (ext
// types, keys that are not strings, nesting deeper than 1,024); where
// msgpack-c finds the input truncated or malformed, the reader fails too.
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <msgpack.hpp>

#include "FuzzTargets.h"
#include "formats/MsgPackReader.h"
#include "support/FuzzCheck.h"
#include "support/ValueChecks.h"

namespace qor::fuzz {
namespace {

// The value the reader should build from msgpack-c's object.
struct Expected {
  enum class Kind { Empty, Bool, NonNegative, Negative, Float, String, Blob, Collection, Structure };
  Kind kind = Kind::Empty;
  bool b = false;
  std::uint64_t u = 0;
  std::int64_t i = 0;
  double d = 0;
  std::string bytes;
  std::vector<Expected> elements;
  std::map<std::string, Expected> members;

  void reset() { *this = Expected{}; }
};

// Applies an object to its target the way the reader fills one: nil leaves
// it, scalars replace it, an array overwrites element by element (a longer
// earlier array keeps its tail), a map merges into an existing structure.
void apply(Expected& t, const msgpack::object& o) {
  using K = Expected::Kind;
  switch (o.type) {
    case msgpack::type::NIL: return;
    case msgpack::type::BOOLEAN: t.reset(); t.kind = K::Bool; t.b = o.via.boolean; return;
    case msgpack::type::POSITIVE_INTEGER: t.reset(); t.kind = K::NonNegative; t.u = o.via.u64; return;
    case msgpack::type::NEGATIVE_INTEGER: t.reset(); t.kind = K::Negative; t.i = o.via.i64; return;
    case msgpack::type::FLOAT32:
    case msgpack::type::FLOAT64: t.reset(); t.kind = K::Float; t.d = o.via.f64; return;
    case msgpack::type::STR: t.reset(); t.kind = K::String; t.bytes.assign(o.via.str.ptr, o.via.str.size); return;
    case msgpack::type::BIN: t.reset(); t.kind = K::Blob; t.bytes.assign(o.via.bin.ptr, o.via.bin.size); return;
    case msgpack::type::ARRAY:
      if (t.kind != K::Collection) {
        t.reset();
        t.kind = K::Collection;
      }
      for (std::uint32_t n = 0; n < o.via.array.size; ++n) {
        if (t.elements.size() <= n) t.elements.resize(n + 1);
        apply(t.elements[n], o.via.array.ptr[n]);
      }
      return;
    case msgpack::type::MAP:
      if (t.kind != K::Structure) {
        t.reset();
        t.kind = K::Structure;
      }
      for (std::uint32_t n = 0; n < o.via.map.size; ++n) {
        const msgpack::object& key = o.via.map.ptr[n].key;
        apply(t.members[std::string(key.via.str.ptr, key.via.str.size)], o.via.map.ptr[n].val);
      }
      return;
    default: return;
  }
}

// Why the reader may refuse an object msgpack-c accepts.
struct Refusals {
  bool ext = false;
  bool nonStringKey = false;
  std::size_t depth = 0;
};

void survey(const msgpack::object& o, std::size_t depth, Refusals& r) {
  if (o.type == msgpack::type::EXT) r.ext = true;
  if (o.type != msgpack::type::ARRAY && o.type != msgpack::type::MAP) return;
  if (depth + 1 > r.depth) r.depth = depth + 1;
  if (o.type == msgpack::type::ARRAY) {
    for (std::uint32_t n = 0; n < o.via.array.size; ++n) survey(o.via.array.ptr[n], depth + 1, r);
  } else {
    for (std::uint32_t n = 0; n < o.via.map.size; ++n) {
      if (o.via.map.ptr[n].key.type != msgpack::type::STR) r.nonStringKey = true;
      survey(o.via.map.ptr[n].key, depth + 1, r);
      survey(o.via.map.ptr[n].val, depth + 1, r);
    }
  }
}

// On a difference `where` holds it, with the path prepended on the way out.
bool matches(const Expected& e, const BindingProperty& v, std::string& where) {
  using K = Expected::Kind;
  auto fail = [&](const std::string& what) {
    where = ": " + what + " (ours " + valueText(v, 80) + ")";
    return false;
  };
  switch (e.kind) {
    case K::Empty: return v.isEmpty() || fail("expected empty");
    case K::Bool: return (v.kind() == BindingPropertyKind::Bool && v.asBool() == e.b) || fail("bool");
    case K::NonNegative:
      // A positive fixint or an intN is signed, a uintN unsigned; msgpack-c
      // calls both a positive integer.
      return (v.kind() == BindingPropertyKind::Unsigned && v.asUint64() == e.u) ||
             (v.kind() == BindingPropertyKind::Signed && v.asInt64() >= 0 &&
              static_cast<std::uint64_t>(v.asInt64()) == e.u) ||
             fail("non-negative " + std::to_string(e.u));
    case K::Negative:
      return (v.kind() == BindingPropertyKind::Signed && v.asInt64() == e.i) || fail("negative " + std::to_string(e.i));
    case K::Float: {
      if (v.kind() != BindingPropertyKind::Float) return fail("float");
      const double d = v.asDouble();
      return (std::isnan(d) && std::isnan(e.d)) || std::memcmp(&d, &e.d, sizeof d) == 0 || fail("float value");
    }
    case K::String:
      return (v.kind() == BindingPropertyKind::String && v.asString() == e.bytes) || fail("string");
    case K::Blob: {
      if (v.kind() != BindingPropertyKind::Blob) return fail("blob");
      auto blob = v.asBlob();
      return std::string_view(reinterpret_cast<const char*>(blob.data()), blob.size()) == e.bytes || fail("blob bytes");
    }
    case K::Collection: {
      if (v.kind() != BindingPropertyKind::Collection || v.size() != e.elements.size())
        return fail("collection of " + std::to_string(e.elements.size()));
      for (std::size_t n = 0; n < e.elements.size(); ++n)
        if (!matches(e.elements[n], v.get(n), where)) {
          where = "[" + std::to_string(n) + "]" + where;
          return false;
        }
      return true;
    }
    case K::Structure: {
      if (v.kind() != BindingPropertyKind::Structure || v.size() != e.members.size())
        return fail("structure of " + std::to_string(e.members.size()));
      auto it = e.members.begin();
      bool ok = true;
      v.forEachMember([&](std::string_view name, const BindingProperty& m) {
        if (!ok) return;
        if (it->first != name) {
          ok = fail("member '" + std::string(name) + "' out of place");
          return;
        }
        ok = matches(it->second, m, where);
        if (!ok) where = "." + it->first + where;
        ++it;
      });
      return ok;
    }
  }
  return false;
}

}  // namespace

int fuzzMsgPackReader(const std::uint8_t* data, std::size_t size) {
  const MsgPackReadResult ours = readMsgPack(data, size);
  QOR_FUZZ_CHECK(ours.consumed <= size, "consumed past the end");
  if (size == 0) {
    QOR_FUZZ_CHECK(ours.result.ok && ours.result.value.isEmpty() && ours.consumed == 0,
                   "empty input must give an empty value");
    return 0;
  }

  // The peer's limits keep it from setting aside memory for counts that the
  // input cannot hold (every element takes a byte); deeper than the reader
  // goes is enough to tell the reader's refusal apart.
  const msgpack::unpack_limit limit(size, size, size, size, size, kMsgPackMaxDepth + 8);
  std::size_t offset = 0;
  msgpack::object_handle handle;
  bool whole = true;
  std::string peerError;
  try {
    handle = msgpack::unpack(reinterpret_cast<const char*>(data), size, offset, nullptr, nullptr, limit);
  } catch (const std::exception& e) {
    whole = false;
    peerError = e.what();
  }

  if (!whole) {
    QOR_FUZZ_CHECK(!ours.result.ok, "msgpack-c refuses (" + peerError + ") but the reader accepts " +
                                        valueText(ours.result.value));
    return 0;
  }

  const msgpack::object& object = handle.get();
  if (!ours.result.ok) {
    Refusals refusals;
    survey(object, 0, refusals);
    const std::string message(ours.result.errorText());
    const bool justified =
        (refusals.ext && message.find(". Map keys") == std::string::npos &&
         message.find("Nesting") == std::string::npos) ||
        (refusals.nonStringKey && message.find("Map keys must be strings.") != std::string::npos) ||
        (refusals.depth > kMsgPackMaxDepth && message.find("Nesting is too deep.") != std::string::npos);
    QOR_FUZZ_CHECK(justified, "msgpack-c unpacks the value whole but the reader fails: " + message);
    return 0;
  }
  QOR_FUZZ_CHECK(ours.consumed == offset, "consumed " + std::to_string(ours.consumed) + ", msgpack-c " +
                                              std::to_string(offset));
  Expected expected;
  apply(expected, object);
  std::string where;
  QOR_FUZZ_CHECK(matches(expected, ours.result.value, where), "value differs from msgpack-c's: " + where);

  exerciseTree(ours.result.value, nullptr);
  return 0;
}

}  // namespace qor::fuzz
