// InventoryHost: the built plug-in loaded through its export against the fake core.
#include "inventory/InventoryHost.h"

#include "protocol/CoreEventName.h"
#include "support/PluginLibrary.h"

#include <cstring>

namespace qor::testing {
namespace {

using LoadFunction = void(QOR_CDECL*)(PluginHandshake*);

LoadFunction loadExport() { return PluginLibrary::get().load(); }

std::string urlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

std::string typesQuery(std::initializer_list<std::string> types) {
  std::string list = "[";
  for (const std::string& type : types) {
    if (list.size() > 1) list += ',';
    list += jsonString(type);
  }
  list += ']';
  return "?inventoryTypes=" + urlEncode(list);
}

InventoryHost::InventoryHost() {
  LoadFunction load = loadExport();
  if (!load) return;
  handshake_.major = CORE_API_VERSION_MAJOR;
  handshake_.minor = 0;
  handshake_.patch = 0;
  load(&handshake_);
}

InventoryHost::~InventoryHost() { stop(); }

bool InventoryHost::start() {
  if (!loaded() || !handshake_.callbacks) return false;
  started_ = handshake_.callbacks->Start(handshake_.plugin, core.context()) != 0;
  return started_;
}

void InventoryHost::stop() {
  if (!loaded()) return;
  handshake_.callbacks->Stop(handshake_.plugin);
  handshake_.plugin = nullptr;
  started_ = false;
}

const ApiFunctionRecord* InventoryHost::function(std::string_view uriTemplate) const {
  const PluginApiTable* table = apiTable();
  if (!table) return nullptr;
  for (std::uint32_t i = 0; i < table->functionCount; ++i) {
    const ApiFunctionRecord& record = table->functions[i];
    if (record.uriTemplate && uriTemplate == record.uriTemplate) return &record;
  }
  return nullptr;
}

CallAnswer InventoryHost::call(std::string_view uriTemplate, const std::string& uri) const {
  CallAnswer answer;
  const ApiFunctionRecord* record = function(uriTemplate);
  if (!record) {
    answer.error = "no function " + std::string(uriTemplate);
    return answer;
  }
  CoreRequest request{};
  request.method = CORE_METHOD_GET;
  request.uri = uri.c_str();
  request.callContext = record->head.callContext;
  CoreResponse response{};
  record->dispatch(&response, &request);
  answer.status = response.status;
  if (response.hasError) {
    answer.error = response.error ? response.error : "";
  } else {
    answer.ok = true;
    CoreValue body;
    std::memcpy(&body, &response.body, sizeof body);
    answer.json = coreValueToJson(body);
  }
  if (response.release) response.release(&response);
  return answer;
}

CallAnswer InventoryHost::getInventory(std::initializer_list<std::string> types) const {
  return call("/qor-inventory/v1/inventory", "/qor-inventory/v1/inventory" + typesQuery(types));
}

CallAnswer InventoryHost::getSignedInventory(std::initializer_list<std::string> types) const {
  return call("/qor-inventory/v1/signedInventory",
              "/qor-inventory/v1/signedInventory" + typesQuery(types));
}

CallAnswer InventoryHost::getEmotes() const {
  return call("/qor-inventory/v1/inventory/emotes", "/qor-inventory/v1/inventory/emotes");
}

bool InventoryHost::deliver(const std::string& uri, int eventType, const std::string& dataJson) {
  return core.deliver(coreEventName(uri), FakeCore::resourceJson(uri, eventType, dataJson));
}

bool InventoryHost::deliverMessage(const std::string& uri, int eventType,
                                   const std::string& payload) {
  const std::string envelope = R"({"resource":"r","service":"s","version":"1","timestamp":5,)"
                               R"("payload":)" + jsonString(payload) + "}";
  return deliver(uri, eventType, envelope);
}

std::vector<std::string> InventoryHost::logLines(int level, std::string_view prefix) const {
  std::vector<std::string> out;
  for (const auto& [lineLevel, text] : core.logLines()) {
    if (lineLevel == level && text.rfind(prefix, 0) == 0) out.push_back(text);
  }
  return out;
}

}  // namespace qor::testing
