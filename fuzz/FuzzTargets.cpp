#include "FuzzTargets.h"

namespace qor::fuzz {

namespace {
constexpr FuzzTarget kTargets[] = {
    {"json_reader", fuzzJsonReader},
    {"msgpack_reader", fuzzMsgPackReader},
    {"yaml_reader", fuzzYamlReader},
    {"core_value", fuzzCoreValue},
    {"format_message", fuzzFormatMessage},
    {"log_line", fuzzLogLine},
    {"utc_timestamp", fuzzUtcTimestamp},
    {"route_binding", fuzzRouteBinding},
    {"dispatch_entry", fuzzDispatchEntry},
    {"inventory_remote", fuzzInventoryRemote},
    {"inventory_events", fuzzInventoryEvents},
};
}  // namespace

std::span<const FuzzTarget> fuzzTargets() { return kTargets; }

const FuzzTarget* findFuzzTarget(std::string_view name) {
  for (const FuzzTarget& t : kTargets)
    if (name == t.name) return &t;
  return nullptr;
}

}  // namespace qor::fuzz
