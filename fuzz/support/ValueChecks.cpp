#include "support/ValueChecks.h"

#include <cstring>
#include <utility>
#include <vector>

#include "PluginAbi.h"
#include "binding/CoreValueConverter.h"
#include "formats/ValueText.h"
#include "support/FuzzCheck.h"

namespace qor::fuzz {
namespace {

// The path to a difference is built on the way out, only when there is one.
bool differ(std::string* where, const std::string& /*unused*/, const std::string& what) {
  if (where != nullptr) *where = ": " + what;
  return false;
}

bool within(std::string* where, const std::string& segment) {
  if (where != nullptr) *where = segment + *where;
  return false;
}

bool compare(const BindingProperty& a, const BindingProperty& b, std::string* where) {
  const std::string path;
  if (a.kind() != b.kind())
    return differ(where, path, std::string("kind ") + kindName(a.kind()) + " vs " + kindName(b.kind()));
  switch (a.kind()) {
    case BindingPropertyKind::Empty: return true;
    case BindingPropertyKind::Bool:
      return a.asBool() == b.asBool() || differ(where, path, "bool");
    case BindingPropertyKind::Signed:
      return a.asInt64() == b.asInt64() || differ(where, path, "signed");
    case BindingPropertyKind::Unsigned:
      return a.asUint64() == b.asUint64() || differ(where, path, "unsigned");
    case BindingPropertyKind::Float: {
      const double x = a.asDouble(), y = b.asDouble();
      return std::memcmp(&x, &y, sizeof x) == 0 || differ(where, path, "float bits");
    }
    case BindingPropertyKind::String:
      return a.asString() == b.asString() || differ(where, path, "string");
    case BindingPropertyKind::Blob: {
      auto x = a.asBlob(), y = b.asBlob();
      return (x.size() == y.size() && (x.empty() || std::memcmp(x.data(), y.data(), x.size()) == 0)) ||
             differ(where, path, "blob");
    }
    case BindingPropertyKind::Enum:
      return (a.asEnum()->value == b.asEnum()->value && a.asEnum()->type == b.asEnum()->type) ||
             differ(where, path, "enum");
    case BindingPropertyKind::Collection: {
      auto x = a.elements(), y = b.elements();
      if (x.size() != y.size())
        return differ(where, path, "length " + std::to_string(x.size()) + " vs " + std::to_string(y.size()));
      for (std::size_t i = 0; i < x.size(); ++i)
        if (!compare(x[i], y[i], where)) return within(where, "[" + std::to_string(i) + "]");
      return true;
    }
    case BindingPropertyKind::Structure: {
      if (a.size() != b.size())
        return differ(where, path, "members " + std::to_string(a.size()) + " vs " + std::to_string(b.size()));
      std::vector<std::pair<std::string_view, const BindingProperty*>> left, right;
      a.forEachMember([&](std::string_view n, const BindingProperty& m) { left.emplace_back(n, &m); });
      b.forEachMember([&](std::string_view n, const BindingProperty& m) { right.emplace_back(n, &m); });
      if (left.size() != right.size()) return differ(where, path, "member walk length");
      for (std::size_t i = 0; i < left.size(); ++i) {
        if (left[i].first != right[i].first)
          return differ(where, path, "member name '" + std::string(left[i].first) + "' vs '" +
                                         std::string(right[i].first) + "'");
        if (!compare(*left[i].second, *right[i].second, where))
          return within(where, "." + std::string(left[i].first));
      }
      return true;
    }
  }
  return differ(where, path, "unknown kind");
}

// Reads every node the loose ways and checks the structural promises: size
// agrees with the walk, members come in strictly ascending byte order, the
// read-only look-ups find what the walk found.
void walk(const BindingProperty& v) {
  static_cast<void>(v.asText());
  static_cast<void>(v.asTruth());
  const std::size_t size = v.size();
  switch (v.kind()) {
    case BindingPropertyKind::Collection: {
      QOR_FUZZ_CHECK(v.elements().size() == size, "collection size disagrees with its elements");
      std::size_t i = 0;
      for (const BindingProperty& e : v.elements()) {
        QOR_FUZZ_CHECK(&v.get(i) == &e, "get(index) does not find element " + std::to_string(i));
        ++i;
        walk(e);
      }
      QOR_FUZZ_CHECK(v.get(size).isEmpty(), "get past the end is not empty");
      break;
    }
    case BindingPropertyKind::Structure: {
      std::size_t count = 0;
      std::string previous;
      bool first = true;
      v.forEachMember([&](std::string_view name, const BindingProperty& m) {
        QOR_FUZZ_CHECK(first || previous < name, "members out of order at '" + std::string(name) + "'");
        first = false;
        previous.assign(name.data(), name.size());
        QOR_FUZZ_CHECK(&v.get(name) == &m && v.hasMember(name),
                       "look-up does not find member '" + std::string(name) + "'");
        ++count;
        walk(m);
      });
      QOR_FUZZ_CHECK(count == size, "structure size disagrees with its members");
      break;
    }
    case BindingPropertyKind::String:
      QOR_FUZZ_CHECK(v.asString().size() == size, "string size");
      break;
    case BindingPropertyKind::Blob:
      QOR_FUZZ_CHECK(v.asBlob().size() == size, "blob size");
      break;
    default:
      break;
  }
}

// What a value looks like after a trip through a CoreValue, whose strings
// and member names are zero-terminated texts: each is cut at its first NUL,
// and members whose cut names meet merge, the later (in name order) winning.
// Builds into `out`, inside one tree, so that deep values cost no arena per level.
void throughCoreValue(const BindingProperty& v, BindingProperty& out) {
  auto cut = [](std::string_view text) { return text.substr(0, text.find('\0')); };
  switch (v.kind()) {
    case BindingPropertyKind::String:
      out.setString(cut(v.asString()));
      return;
    case BindingPropertyKind::Collection:
      out.reset();
      out.makeCollection();
      for (const BindingProperty& e : v.elements()) throughCoreValue(e, out.append());
      return;
    case BindingPropertyKind::Structure:
      out.reset();
      out.makeStructure();
      v.forEachMember([&](std::string_view name, const BindingProperty& m) {
        BindingProperty& target = out.member(cut(name));
        target.reset();
        throughCoreValue(m, target);
      });
      return;
    default:
      out = v;
      return;
  }
}

}  // namespace

std::string valueText(const BindingProperty& value, std::size_t limit) {
  std::string out;
  test::appendValueText(out, value, limit);
  if (out.size() > limit) {
    out.resize(limit);
    out += "...";
  }
  return out;
}

bool sameValue(const BindingProperty& a, const BindingProperty& b, std::string* where) {
  if (compare(a, b, where)) return true;
  if (where != nullptr) *where = "<root>" + *where;
  return false;
}

void exerciseTree(const BindingProperty& value, const TypeRegistry* registry) {
  walk(value);
  std::string where;

  BindingProperty copy(value);
  QOR_FUZZ_CHECK(sameValue(value, copy, &where), "copy differs: " + where);

  BindingProperty assigned;
  assigned.member("x").append().setString("old contents");
  assigned = value;
  QOR_FUZZ_CHECK(sameValue(value, assigned, &where), "copy assignment differs: " + where);

  BindingProperty moved(std::move(copy));
  QOR_FUZZ_CHECK(copy.isEmpty(), "moved-from value is not empty");
  QOR_FUZZ_CHECK(sameValue(value, moved, &where), "moved value differs: " + where);

  CoreValue core;
  toCoreValue(value, core, registry);
  BindingResult back;
  fromCoreValue(back, core, "<value>");
  releaseCoreValue(core);
  QOR_FUZZ_CHECK(core.kind == CORE_VALUE_EMPTY, "released CoreValue is not empty");
  QOR_FUZZ_CHECK(back.ok, "CoreValue of a value does not convert back: " + std::string(back.errorText()));
  BindingProperty expected;
  throughCoreValue(value, expected);
  QOR_FUZZ_CHECK(sameValue(expected, back.value, &where),
                 "value to CoreValue and back differs: " + where);
}

}  // namespace qor::fuzz
