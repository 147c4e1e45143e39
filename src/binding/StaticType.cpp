// The process-wide table of StaticType records: it hands out one record per
// type name and resolves identity collisions so identities stay distinct.
#include "binding/StaticType.h"

#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "platform/Mutex.h"

namespace qor {
namespace {

struct StaticTypeTable {
  platform::Mutex lock;
  std::unordered_map<std::uint32_t, const StaticType*> byId;
};

// Never destroyed: records are referenced from function-local statics and
// descriptors that may outlive any ordinary static destruction order.
StaticTypeTable& table() {
  static StaticTypeTable* instance = new StaticTypeTable;
  return *instance;
}

}  // namespace

std::string staticTypeDisplayName(std::uint32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "#%08X", static_cast<unsigned>(id));
  return text;
}

const StaticType& StaticType::placeholder() {
  static const StaticType* record = new StaticType{0, staticTypeDisplayName(0)};
  return *record;
}

const StaticType& StaticType::intern(std::uint32_t wantedId, std::string_view typeName) {
  StaticTypeTable& t = table();
  std::lock_guard<platform::Mutex> guard(t.lock);
  std::uint32_t id = wantedId == 0 ? 1 : wantedId;
  for (;;) {
    auto it = t.byId.find(id);
    if (it == t.byId.end()) {
      const StaticType* record = new StaticType{id, std::string(typeName)};
      t.byId.emplace(id, record);
      return *record;
    }
    if (it->second->name == typeName) return *it->second;
    // Another type hashed to this identity: probe for the next free one,
    // never the reserved placeholder 0.
    ++id;
    if (id == 0) id = 1;
  }
}

}  // namespace qor
