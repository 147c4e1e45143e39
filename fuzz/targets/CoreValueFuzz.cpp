// core_value: a CoreValue tree as a core might send it (any kind, count,
// null pointer and nesting) converted to a value, checked against the
// conversion's rules; the value sent back through a CoreValue must come out
// equal; and the value converted into every registered record type of the
// inventory service, where record to value to record must give an equal
// record.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "FuzzTargets.h"
#include "binding/CoreValueConverter.h"
#include "binding/PropertyConverter.h"
#include "binding/TypeRegistry.h"
#include "inventory/InventoryRecords.h"
#include "support/CoreValueBuilder.h"
#include "support/FuzzCheck.h"
#include "support/ValueChecks.h"

namespace Api = Vane::Client::Inventory::Api;

namespace qor::fuzz {
namespace {

enum class Failure { None, Tag, Depth, Null };

// What the conversion must give: the value, or the first failure in
// depth-first order (a tag above 10, nesting past the limit, a null pointer
// with a count or a null member key).
Failure expect(const CoreValue& in, BindingProperty& out, unsigned depth, std::uint32_t& badTag) {
  switch (in.kind) {
    case CORE_VALUE_EMPTY: out.reset(); return Failure::None;
    case CORE_VALUE_BOOL: out.setBool(in.u.boolean != 0); return Failure::None;
    case CORE_VALUE_SIGNED: out.setInt64(in.u.i64); return Failure::None;
    case CORE_VALUE_UNSIGNED: out.setUint64(in.u.u64); return Failure::None;
    case CORE_VALUE_DOUBLE: out.setDouble(in.u.f64); return Failure::None;
    case CORE_VALUE_STRING_BORROWED:
    case CORE_VALUE_STRING_OWNED: {
      const char* text = static_cast<const char*>(in.u.block.data);
      out.setString(std::string(text != nullptr ? text : ""));
      return Failure::None;
    }
    case CORE_VALUE_BLOB_BORROWED:
    case CORE_VALUE_BLOB_OWNED:
      if (in.u.block.data == nullptr && in.u.block.count != 0) return Failure::Null;
      out.setBlob(in.u.block.data, in.u.block.count);
      return Failure::None;
    case CORE_VALUE_ARRAY: {
      if (depth >= kMaxCoreValueDepth) return Failure::Depth;
      if (in.u.block.data == nullptr && in.u.block.count != 0) return Failure::Null;
      out.reset();
      out.makeCollection();
      const auto* items = static_cast<const CoreValue*>(in.u.block.data);
      for (std::uint32_t i = 0; i < in.u.block.count; ++i) {
        const Failure f = expect(items[i], out.append(), depth + 1, badTag);
        if (f != Failure::None) return f;
      }
      return Failure::None;
    }
    case CORE_VALUE_STRUCT: {
      if (depth >= kMaxCoreValueDepth) return Failure::Depth;
      if (in.u.block.data == nullptr && in.u.block.count != 0) return Failure::Null;
      out.reset();
      out.makeStructure();
      const auto* members = static_cast<const CoreStructMember*>(in.u.block.data);
      for (std::uint32_t i = 0; i < in.u.block.count; ++i) {
        if (members[i].key == nullptr) return Failure::Null;
        CoreValue value;
        std::memcpy(&value, &members[i].value, sizeof value);
        // A repeated key overwrites the member it names.
        const Failure f = expect(value, out.member(std::string(members[i].key)), depth + 1, badTag);
        if (f != Failure::None) return f;
      }
      return Failure::None;
    }
    default:
      badTag = in.kind;
      return Failure::Tag;
  }
}

const TypeRegistry& recordRegistry() {
  static const TypeRegistry* registry = [] {
    auto* r = new TypeRegistry();
    Api::registerInventoryRecords(*r, "QorInventory", {"Plugins"});
    return r;
  }();
  return *registry;
}

// Value to record; when that succeeds, record to value to record to value
// must give the same value twice.
template <class T>
void roundTrip(const BindingProperty& value, const char* name) {
  const TypeRegistry& registry = recordRegistry();
  T record{};
  BindingResult in;
  fromProperty(in, record, value, kTopLevelFieldName, registry);
  if (!in.ok) {
    QOR_FUZZ_CHECK(!in.errorText().empty(), std::string(name) + ": a failed conversion without a message");
    return;
  }
  BindingResult first;
  toProperty(first, record, registry);
  QOR_FUZZ_CHECK(first.ok, std::string(name) + ": record to value fails: " + std::string(first.errorText()));
  T again{};
  BindingResult back;
  fromProperty(back, again, first.value, kTopLevelFieldName, registry);
  QOR_FUZZ_CHECK(back.ok, std::string(name) + ": its own value does not convert back: " +
                              std::string(back.errorText()) + " in " + valueText(first.value));
  BindingResult second;
  toProperty(second, again, registry);
  std::string where;
  QOR_FUZZ_CHECK(second.ok && sameValue(first.value, second.value, &where),
                 std::string(name) + ": record to value to record changes it: " + where);
}

}  // namespace

void convertIntoInventoryRecords(const BindingProperty& value) {
  roundTrip<Api::CacheEntry>(value, "CacheEntry");
  roundTrip<Api::InventoryItem>(value, "InventoryItem");
  roundTrip<Api::InventoryItemDTO>(value, "InventoryItemDTO");
  roundTrip<Api::InventoryDTO>(value, "InventoryDTO");
  roundTrip<Api::InventoryResponseDTO>(value, "InventoryResponseDTO");
  roundTrip<Api::LoginSession>(value, "LoginSession");
  roundTrip<Api::AccessTokenResource>(value, "AccessTokenResource");
  roundTrip<Api::VaneMessagingServiceMessage>(value, "VaneMessagingServiceMessage");
  roundTrip<Api::VmsEntitlementPayload>(value, "VmsEntitlementPayload");
  roundTrip<Api::VmsStoreEntitlementItem>(value, "VmsStoreEntitlementItem");
  roundTrip<Api::VmsStoreEntitlementPayload>(value, "VmsStoreEntitlementPayload");
  roundTrip<Api::CatalogItem>(value, "CatalogItem");
  roundTrip<std::vector<Api::InventoryItemDTO>>(value, "vector<InventoryItemDTO>");
  roundTrip<std::vector<Api::CatalogItem>>(value, "vector<CatalogItem>");
}

int fuzzCoreValue(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  CoreValueBuilder builder;
  const CoreValue root = builder.build(in);

  BindingResult ours;
  fromCoreValue(ours, root, "<value>");
  BindingProperty expected;
  std::uint32_t badTag = 0;
  const Failure failure = expect(root, expected, 0, badTag);
  switch (failure) {
    case Failure::None: {
      QOR_FUZZ_CHECK(ours.ok, "conversion fails: " + std::string(ours.errorText()));
      std::string where;
      QOR_FUZZ_CHECK(sameValue(expected, ours.value, &where), "value differs: " + where);
      break;
    }
    case Failure::Tag:
      QOR_FUZZ_CHECK(!ours.ok && ours.errorText() ==
                                     "Couldn't assign value to '<value>' of type object because the input is of an "
                                     "incompatible type ''.",
                     "tag " + std::to_string(badTag) + ": '" + std::string(ours.errorText()) + "'");
      break;
    case Failure::Depth:
      QOR_FUZZ_CHECK(!ours.ok && ours.errorText() ==
                                     "Couldn't assign value to '<value>' of type object because the input is nested "
                                     "too deeply.",
                     "depth: '" + std::string(ours.errorText()) + "'");
      break;
    case Failure::Null:
      QOR_FUZZ_CHECK(!ours.ok && ours.errorText() ==
                                     "Couldn't assign value to '<value>' because the input holds a null pointer.",
                     "null: '" + std::string(ours.errorText()) + "'");
      break;
  }
  if (!ours.ok) return 0;

  exerciseTree(ours.value, nullptr);
  convertIntoInventoryRecords(ours.value);
  return 0;
}

}  // namespace qor::fuzz
