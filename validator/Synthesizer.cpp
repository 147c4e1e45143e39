// Synthesizer: valid and invalid values from type records.
#include "validator/Synthesizer.h"

#include "validator/CoreValues.h"

#include <cmath>
#include <limits>

namespace qor::validator {
namespace {

constexpr unsigned kMaxValidDepth = 6;

struct IntegerRange {
  std::int64_t low;
  std::uint64_t high;
};

IntegerRange rangeOf(std::uint32_t code) {
  switch (code) {
    case CORE_TYPE_INT8: return {-128, 127};
    case CORE_TYPE_UINT8: return {0, 255};
    case CORE_TYPE_INT16: return {-32768, 32767};
    case CORE_TYPE_UINT16: return {0, 65535};
    case CORE_TYPE_INT32: return {std::numeric_limits<std::int32_t>::min(), 2147483647u};
    case CORE_TYPE_UINT32: return {0, 4294967295u};
    case CORE_TYPE_INT64: return {std::numeric_limits<std::int64_t>::min(), 9223372036854775807u};
    default: return {0, std::numeric_limits<std::uint64_t>::max()};
  }
}

const char* const kWords[] = {"alpha", "Beta", "gamma-7", "delta_x", "epsilon.v2", "zeta", "ETA", "theta9"};

}  // namespace

std::string Synthesizer::plainString(Random& rng) const {
  switch (rng.below(6)) {
    case 0: return "";
    case 1: return "caf\xc3\xa9 \xe2\x9c\x93 \xf0\x9f\x8e\xae";  // valid multi-byte UTF-8
    default: {
      std::string text = rng.pick(kWords);
      if (rng.chance(40)) text += std::to_string(rng.below(100000));
      return text;
    }
  }
}

std::string Synthesizer::hostileString(Random& rng) const {
  switch (rng.below(12)) {
    case 0: return std::string(static_cast<std::size_t>(1000 + rng.below(64 * 1024)), 'x');
    case 1: return "\xff\xfe\xfd";                   // bytes that never occur in UTF-8
    case 2: return "over\xc0\xaflong";              // an overlong encoding of "/"
    case 3: return "\xed\xa0\x80 surrogate";         // an encoded UTF-16 surrogate
    case 4: return "cut\xe2\x82";                    // a sequence cut short
    case 5: return "tab\tnewline\ncr\rbell\x07";
    case 6: return "%";
    case 7: return "%G1%zz%%%2";
    case 8: return "{{}}[]{\"";
    case 9: return "../../../etc/passwd";
    case 10: {
      std::string text;
      const std::size_t n = 1 + rng.below(300);
      for (std::size_t i = 0; i < n; ++i) text += static_cast<char>(1 + rng.below(255));
      return text;
    }
    default: return std::string(static_cast<std::size_t>(strictness_ >= 6 ? 1 << 20 : 1 << 16), '\xe9');
  }
}

Value Synthesizer::valid(const TypeRefModel& type, Random& rng, unsigned depth) const {
  switch (type.code) {
    case CORE_TYPE_BOOL: return Value::of(rng.chance(50));
    case CORE_TYPE_INT8: case CORE_TYPE_INT16: case CORE_TYPE_INT32: case CORE_TYPE_INT64: {
      const IntegerRange r = rangeOf(type.code);
      if (rng.chance(15)) return Value::ofSigned(rng.chance(50) ? r.low : static_cast<std::int64_t>(r.high));
      return Value::ofSigned(rng.between(-1000, 1000));
    }
    case CORE_TYPE_UINT8: case CORE_TYPE_UINT16: case CORE_TYPE_UINT32: case CORE_TYPE_UINT64: {
      const IntegerRange r = rangeOf(type.code);
      if (rng.chance(15)) return Value::ofUnsigned(rng.chance(50) ? 0 : r.high);
      return Value::ofUnsigned(rng.below(1000));
    }
    case CORE_TYPE_FLOAT: return Value::ofDouble(static_cast<double>(rng.between(-100000, 100000)) / 64.0);
    case CORE_TYPE_DOUBLE: return Value::ofDouble(static_cast<double>(rng.between(-1000000, 1000000)) / 1024.0);
    case CORE_TYPE_STRING: return Value::ofString(plainString(rng));
    case CORE_TYPE_BLOB: {
      std::string bytes;
      const std::size_t n = rng.below(64);
      for (std::size_t i = 0; i < n; ++i) bytes += static_cast<char>(rng.below(256));
      return Value::ofBlob(bytes);
    }
    case CORE_TYPE_OBJECT: return depth >= kMaxValidDepth ? Value::object() : randomTree(rng, 2, 3);
    case CORE_TYPE_VECTOR: {
      Value list = Value::array();
      if (depth >= kMaxValidDepth) return list;
      TypeRefModel element{type.element, 0, type.name};
      const std::size_t n = rng.below(4);
      for (std::size_t i = 0; i < n; ++i) list.elements.push_back(valid(element, rng, depth + 1));
      return list;
    }
    case CORE_TYPE_MAP: {
      Value map = Value::object();
      if (depth >= kMaxValidDepth) return map;
      TypeRefModel element{type.element, 0, type.name};
      const std::size_t n = rng.below(4);
      for (std::size_t i = 0; i < n; ++i)
        map.members.emplace_back("key" + std::to_string(i), valid(element, rng, depth + 1));
      return map;
    }
    case CORE_TYPE_ENUM: {
      const TypeModel* named = model_.findType(type.name);
      if (named != nullptr && !named->enumerators.empty())
        return Value::ofString(rng.pick(named->enumerators).name);
      return Value::ofSigned(0);
    }
    case CORE_TYPE_STRUCT: {
      const TypeModel* named = model_.findType(type.name);
      if (named == nullptr) return Value::object();
      return validStructure(*named, rng, depth + 1);
    }
    default: return Value::null();
  }
}

Value Synthesizer::validStructure(const TypeModel& type, Random& rng, unsigned depth) const {
  Value record = Value::object();
  if (depth >= kMaxValidDepth) return record;
  for (const FieldModel& field : type.fields) {
    if (field.optional && rng.chance(30)) continue;
    record.members.emplace_back(field.name, valid(field.type, rng, depth + 1));
  }
  return record;
}

Value Synthesizer::plausibleResource(Random& rng) const {
  std::vector<const TypeModel*> structures;
  for (const TypeModel& t : model_.types)
    if (!t.isEnumeration && !t.fields.empty()) structures.push_back(&t);
  if (structures.empty() || rng.chance(20)) return randomTree(rng, 3, 4);
  return validStructure(*rng.pick(structures), rng, 0);
}

Value Synthesizer::randomTree(Random& rng, unsigned maxDepth, unsigned maxWidth) const {
  const unsigned choice = static_cast<unsigned>(rng.below(maxDepth == 0 ? 7 : 9));
  switch (choice) {
    case 0: return Value::null();
    case 1: return Value::of(rng.chance(50));
    case 2: return Value::ofSigned(rng.chance(20) ? std::numeric_limits<std::int64_t>::min() : rng.between(-1000000, 1000000));
    case 3: return Value::ofUnsigned(rng.chance(20) ? std::numeric_limits<std::uint64_t>::max() : rng.below(1000000));
    case 4: {
      const double odd[] = {0.5, -0.0, 1e308, -1e308, 4.9e-324, std::nan(""), INFINITY, -INFINITY};
      return Value::ofDouble(rng.chance(30) ? rng.pick(odd) : static_cast<double>(rng.between(-1000, 1000)) / 8);
    }
    case 5: return Value::ofString(rng.chance(30) ? hostileString(rng) : plainString(rng));
    case 6: {
      std::string bytes;
      const std::size_t n = rng.below(32);
      for (std::size_t i = 0; i < n; ++i) bytes += static_cast<char>(rng.below(256));
      return Value::ofBlob(bytes);
    }
    case 7: {
      Value list = Value::array();
      const std::size_t n = rng.below(maxWidth + 1);
      for (std::size_t i = 0; i < n; ++i) list.elements.push_back(randomTree(rng, maxDepth - 1, maxWidth));
      return list;
    }
    default: {
      Value record = Value::object();
      const std::size_t n = rng.below(maxWidth + 1);
      for (std::size_t i = 0; i < n; ++i) {
        std::string key = rng.chance(15) ? hostileString(rng).substr(0, 40) : std::string(rng.pick(kWords));
        key += std::to_string(i);  // names stay unique
        record.members.emplace_back(std::move(key), randomTree(rng, maxDepth - 1, maxWidth));
      }
      return record;
    }
  }
}

Value Synthesizer::wrongKind(const TypeRefModel& type, Random& rng) const {
  switch (type.code) {
    case CORE_TYPE_STRING:
      return rng.chance(50) ? Value::ofSigned(42) : Value::array({Value::ofString("a"), Value::of(true)});
    case CORE_TYPE_BOOL: return rng.chance(50) ? Value::ofString("maybe") : Value::object({{"x", Value::null()}});
    case CORE_TYPE_VECTOR: return rng.chance(50) ? Value::ofString("not a list") : Value::ofSigned(7);
    case CORE_TYPE_STRUCT:
    case CORE_TYPE_MAP: return rng.chance(50) ? Value::ofString("not a record") : Value::array({Value::ofSigned(1)});
    case CORE_TYPE_ENUM: return rng.chance(50) ? Value::object() : Value::of(true);
    case CORE_TYPE_OBJECT: return Value::ofBlob(std::string("\x00\x01\x02", 3));
    default:
      if (isCoreIntegerType(type.code) || type.code == CORE_TYPE_FLOAT || type.code == CORE_TYPE_DOUBLE)
        return rng.chance(50) ? Value::ofString("twelve") : Value::object({{"n", Value::ofSigned(1)}});
      return Value::array();
  }
}

Value Synthesizer::outOfRange(const TypeRefModel& type, Random& rng) const {
  if (isCoreIntegerType(type.code)) {
    const IntegerRange r = rangeOf(type.code);
    switch (rng.below(6)) {
      case 0:
        if (r.high < std::numeric_limits<std::uint64_t>::max()) return Value::ofUnsigned(r.high + 1);
        return Value::ofString("18446744073709551616");
      case 1:
        if (r.low > std::numeric_limits<std::int64_t>::min()) return Value::ofSigned(r.low - 1);
        return Value::ofString("-9223372036854775809");
      case 2: return Value::ofDouble(1e300);
      case 3: return Value::ofDouble(std::nan(""));
      case 4: return Value::ofString(" -1");
      default: return Value::ofString("0x" + std::string(40, 'f'));
    }
  }
  if (type.code == CORE_TYPE_FLOAT || type.code == CORE_TYPE_DOUBLE) {
    const Value odd[] = {Value::ofDouble(INFINITY), Value::ofDouble(std::nan("")), Value::ofString("1e999999"),
                         Value::ofString("-nan"), Value::ofDouble(1e308 * 10)};
    return rng.pick(odd);
  }
  return wrongKind(type, rng);
}

Value Synthesizer::unknownEnumerator(const TypeRefModel& type, Random& rng) const {
  const TypeModel* named = model_.findType(type.name);
  switch (rng.below(5)) {
    case 0: return Value::ofString("NoSuchEnumerator");
    case 1: return Value::ofString("");
    case 2:
      if (named != nullptr && !named->enumerators.empty()) {
        std::string name = rng.pick(named->enumerators).name;
        for (char& c : name) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        return Value::ofString(name + "\xff");
      }
      return Value::ofString("\xff");
    case 3: return Value::ofSigned(std::numeric_limits<std::int32_t>::min());
    default: return Value::ofUnsigned(0xFFFFFFFFFFull);
  }
}

Value Synthesizer::nested(unsigned depth, bool structures) {
  Value value = Value::ofSigned(1);
  for (unsigned i = 0; i < depth; ++i) {
    // Moved, never copied: each level costs one node.
    Value outer;
    if (structures && (i % 2) == 0) {
      outer.kind = Value::kObject;
      outer.members.emplace_back("n", std::move(value));
    } else {
      outer.kind = Value::kArray;
      outer.elements.push_back(std::move(value));
    }
    value = std::move(outer);
  }
  return value;
}

CoreValue Synthesizer::malformed(Random& rng, ValueArena& arena) const {
  switch (rng.below(7)) {
    case 0: return ValueArena::raw(11 + static_cast<std::uint32_t>(rng.below(1000)), nullptr, 0);
    case 1: return ValueArena::raw(0xFFFFFFFFu, arena.text("x"), 1);
    case 2: return ValueArena::raw(CORE_VALUE_STRING_BORROWED, nullptr, 0);
    case 3: return ValueArena::raw(CORE_VALUE_ARRAY, nullptr, 5);
    case 4: return ValueArena::raw(CORE_VALUE_STRUCT, nullptr, 3);
    case 5: {
      CoreValue v = ValueArena::boolean(true);
      v.u.boolean = 7;
      return v;
    }
    default: {
      // A structure whose second member has no name.
      CoreValue v = arena.structure({{"a", ValueArena::signedNumber(1)}, {"b", ValueArena::signedNumber(2)}});
      auto* members = static_cast<CoreStructMember*>(v.u.block.data);
      members[1].key = nullptr;
      return v;
    }
  }
}

}  // namespace qor::validator
