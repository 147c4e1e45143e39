#include "support/CoreValueBuilder.h"

#include <cstring>

namespace qor::fuzz {
namespace {

constexpr unsigned kMaxBuildDepth = 12;  // ordinary nesting; chains go deeper

CoreValue empty() {
  CoreValue v;
  std::memset(&v, 0, sizeof v);
  return v;
}

}  // namespace

const char* CoreValueBuilder::keep(std::string text) {
  texts_.push_back(std::move(text));
  return texts_.back().c_str();
}

CoreValue CoreValueBuilder::string(const std::string& text, bool owned) {
  CoreValue v = empty();
  v.kind = owned ? CORE_VALUE_STRING_OWNED : CORE_VALUE_STRING_BORROWED;
  v.u.block.data = const_cast<char*>(keep(text));
  v.u.block.count = static_cast<std::uint32_t>(text.size());
  return v;
}

// A chain of single-entry arrays and structures `length` deep around a scalar.
CoreValue CoreValueBuilder::chain(FuzzInput& in, std::size_t length) {
  const bool structures = in.flag();
  CoreValue inner = empty();
  inner.kind = CORE_VALUE_UNSIGNED;
  inner.u.u64 = length;
  for (std::size_t i = 0; i < length && budget_ > 0; ++i, --budget_) {
    CoreValue outer = empty();
    if (structures) {
      CoreStructMember m;
      std::memset(&m, 0, sizeof m);
      m.key = keep("k");
      std::memcpy(&m.value, &inner, sizeof inner);
      members_.emplace_back(1, m);
      outer.kind = CORE_VALUE_STRUCT;
      outer.u.block.data = members_.back().data();
    } else {
      arrays_.emplace_back(1, inner);
      outer.kind = CORE_VALUE_ARRAY;
      outer.u.block.data = arrays_.back().data();
    }
    outer.u.block.count = 1;
    inner = outer;
  }
  return inner;
}

CoreValue CoreValueBuilder::build(FuzzInput& in, unsigned depth) {
  CoreValue v = empty();
  if (budget_ == 0 || in.empty()) return v;
  --budget_;
  const std::uint8_t op = in.byte();
  switch (op % 16) {
    case 0: return v;
    case 1: v.kind = CORE_VALUE_BOOL; v.u.boolean = in.byte(); return v;
    case 2: v.kind = CORE_VALUE_SIGNED; v.u.i64 = static_cast<std::int64_t>(in.u64()); return v;
    case 3: v.kind = CORE_VALUE_UNSIGNED; v.u.u64 = in.u64(); return v;
    case 4: v.kind = CORE_VALUE_DOUBLE; v.u.f64 = in.f64(); return v;
    case 5:
    case 6: {
      v.kind = op % 16;
      if ((op & 0x80) != 0) return v;  // a null text
      std::string text = in.text(64);
      v.u.block.count = static_cast<std::uint32_t>(text.size());
      v.u.block.data = const_cast<char*>(keep(std::move(text)));
      return v;
    }
    case 7:
    case 8: {
      v.kind = op % 16;
      const std::string bytes = in.text(64);
      if ((op & 0x80) != 0) {
        v.u.block.count = static_cast<std::uint32_t>(bytes.size());  // null data with a count
        return v;
      }
      blobs_.emplace_back(bytes.begin(), bytes.end());
      v.u.block.data = blobs_.back().data();
      v.u.block.count = static_cast<std::uint32_t>(bytes.size());
      return v;
    }
    case 9:
    case 10: {
      const std::size_t count = (op >> 4) % 6;
      if ((op & 0x80) != 0 && count > 0) {
        v.kind = op % 16;
        v.u.block.count = static_cast<std::uint32_t>(count);  // null array with a count
        return v;
      }
      if (depth >= kMaxBuildDepth) return v;
      if (op % 16 == 9) {
        std::vector<CoreValue> items;
        for (std::size_t i = 0; i < count; ++i) items.push_back(build(in, depth + 1));
        arrays_.push_back(std::move(items));
        v.kind = CORE_VALUE_ARRAY;
        v.u.block.data = arrays_.back().empty() ? nullptr : arrays_.back().data();
      } else {
        std::vector<CoreStructMember> members;
        for (std::size_t i = 0; i < count; ++i) {
          CoreStructMember m;
          std::memset(&m, 0, sizeof m);
          const std::uint8_t keyOp = in.byte();
          m.key = keyOp == 0xFF ? nullptr : keyOp < 0x40 ? keep(std::string(1, static_cast<char>('a' + keyOp % 4)))
                                                          : keep(in.text(32));
          m.ownsKey = static_cast<std::uint8_t>(keyOp & 1);
          CoreValue value = build(in, depth + 1);
          std::memcpy(&m.value, &value, sizeof value);
          members.push_back(m);
        }
        members_.push_back(std::move(members));
        v.kind = CORE_VALUE_STRUCT;
        v.u.block.data = members_.back().empty() ? nullptr : members_.back().data();
      }
      v.u.block.count = static_cast<std::uint32_t>(count);
      return v;
    }
    case 11:
    case 12:
      v.kind = 11 + in.byte();  // a tag no core sends
      return v;
    case 13:
      return chain(in, 1000 + in.byte() % 50);
    default:
      // The common case again, so that plain values stay frequent.
      v.kind = CORE_VALUE_STRING_BORROWED;
      v.u.block.data = const_cast<char*>(keep(in.text(32)));
      return v;
  }
}

}  // namespace qor::fuzz
