// ApiExport: turns a registry's function, type and event descriptors into
// the packed records of the API description handed to the core.
//
// Lifetime: the records live in this object until the next build() or its
// destruction. Their strings point into the descriptors (empty texts at a
// shared empty string), so they stay valid only while the registry holds
// those descriptors.
#pragma once

#include <cstdint>
#include <vector>

#include "PluginAbi.h"

namespace qor {

class TypeRegistry;
struct FunctionDescriptor;
struct TypeDescriptor;
struct EventDescriptor;

class ApiExport {
 public:
  // Writes the records of the snapshots, in snapshot order. Each array's
  // records are linked through `next` (null in the last).
  void build(const std::vector<const FunctionDescriptor*>& functions,
             const std::vector<const TypeDescriptor*>& types,
             const std::vector<const EventDescriptor*>& events);
  // The same over the registry's three snapshots.
  void build(const TypeRegistry& registry);

  const ApiFunctionExport* functions() const noexcept { return data(functions_); }
  std::uint32_t functionCount() const noexcept { return count(functions_); }
  const ApiTypeRecord* types() const noexcept { return data(types_); }
  std::uint32_t typeCount() const noexcept { return count(types_); }
  const ApiEventRecord* events() const noexcept { return data(events_); }
  std::uint32_t eventCount() const noexcept { return count(events_); }

 private:
  template <class T>
  static const T* data(const std::vector<T>& v) noexcept { return v.empty() ? nullptr : v.data(); }
  template <class T>
  static std::uint32_t count(const std::vector<T>& v) noexcept {
    return static_cast<std::uint32_t>(v.size());
  }

  std::vector<ApiFunctionExport> functions_;
  std::vector<ApiArgumentRecord> arguments_;
  std::vector<ApiTypeRecord> types_;
  std::vector<ApiFieldRecord> fields_;
  std::vector<ApiEnumeratorRecord> enumerators_;
  std::vector<ApiEventRecord> events_;
  std::vector<const char*> tags_;
};

}  // namespace qor
