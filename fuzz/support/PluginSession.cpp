#include "support/PluginSession.h"

#include <cstring>

#include "protocol/CoreEventName.h"
#include "support/FuzzCheck.h"

namespace qor::fuzz {

PluginSession::PluginSession() = default;

PluginSession::~PluginSession() {
  if (handshake_.plugin != nullptr && handshake_.callbacks != nullptr) {
    handshake_.callbacks->Stop(handshake_.plugin);
  }
  QOR_FUZZ_CHECK(core.doubleReleases() == 0, "a core response released twice");
  QOR_FUZZ_CHECK(core.releases() == core.responsesGiven(),
                 std::to_string(core.responsesGiven()) + " core responses, " + std::to_string(core.releases()) +
                     " releases");
  QOR_FUZZ_CHECK(core.externalReleases() == static_cast<int>(core.externalRequests().size()),
                 std::to_string(core.externalRequests().size()) + " external responses, " +
                     std::to_string(core.externalReleases()) + " releases");
}

void PluginSession::readyFixtures() {
  core.respondJson(kSessionUri,
                   R"({"state":"SUCCEEDED","summonerId":9,"accountId":7,"idToken":"i","puuid":"p-1"})");
  core.respondJson(kTokenUri, R"({"token":"tok","scopes":["a"],"expiry":5})");
  core.respondJson(kConfigUri, R"({"Enabled":true,"BaseServiceUrl":"https://inv.test"})");
  core.respondJson(kRegionUri, "{}");
  core.respondJson(kRegionDataUri, R"({"servers":{"loctavian_service_location":"loc1"}})");
}

bool PluginSession::start() {
  handshake_.major = CORE_API_VERSION_MAJOR;
  handshake_.minor = CORE_API_VERSION_MINOR;
  handshake_.patch = CORE_API_VERSION_PATCH;
  load_qor_inventory(&handshake_);
  QOR_FUZZ_CHECK(handshake_.plugin != nullptr && handshake_.callbacks != nullptr && handshake_.apiTable != nullptr,
                 "the handshake failed");
  if (handshake_.plugin == nullptr) return false;
  started_ = handshake_.callbacks->Start(handshake_.plugin, core.context()) != 0;
  QOR_FUZZ_CHECK(started_, "Start failed");
  return started_;
}

std::uint32_t PluginSession::functionCount() const {
  return handshake_.apiTable != nullptr ? handshake_.apiTable->functionCount : 0;
}

const ApiFunctionRecord* PluginSession::function(std::uint32_t index) const {
  return index < functionCount() ? &handshake_.apiTable->functions[index] : nullptr;
}

const ApiFunctionRecord* PluginSession::function(const char* uriTemplate) const {
  for (std::uint32_t i = 0; i < functionCount(); ++i) {
    const ApiFunctionRecord& record = handshake_.apiTable->functions[i];
    if (record.uriTemplate != nullptr && std::strcmp(record.uriTemplate, uriTemplate) == 0) return &record;
  }
  return nullptr;
}

std::uint32_t PluginSession::call(const ApiFunctionRecord* record, CoreRequest request) {
  if (record == nullptr) return 0;
  request.callContext = record->head.callContext;
  CoreResponse response;
  std::memset(&response, 0xAB, sizeof response);
  record->dispatch(&response, &request);
  QOR_FUZZ_CHECK(response.release != nullptr, "response without a release function");
  QOR_FUZZ_CHECK((response.hasError != 0) == (response.error != nullptr), "error flag and text disagree");
  if (response.hasError != 0) QOR_FUZZ_CHECK(std::strlen(response.error) > 0, "an empty error text");
  QOR_FUZZ_CHECK(response.statusText != nullptr, "no status text");
  const std::uint32_t status = response.status;
  if (response.release != nullptr) response.release(&response);
  return status;
}

std::uint32_t PluginSession::get(const char* uriTemplate, const std::string& uri) {
  CoreRequest request;
  std::memset(&request, 0, sizeof request);
  request.method = CORE_METHOD_GET;
  request.uri = uri.c_str();
  return call(function(uriTemplate), request);
}

bool PluginSession::deliver(const std::string& uri, const CoreValue& eventType, const CoreValue& data) {
  CoreStructMember members[3];
  std::memset(members, 0, sizeof members);
  members[0].key = "data";
  std::memcpy(&members[0].value, &data, sizeof data);
  members[1].key = "eventType";
  std::memcpy(&members[1].value, &eventType, sizeof eventType);
  members[2].key = "uri";
  CoreValue text;
  std::memset(&text, 0, sizeof text);
  text.kind = CORE_VALUE_STRING_BORROWED;
  text.u.block.data = const_cast<char*>(uri.c_str());
  std::memcpy(&members[2].value, &text, sizeof text);
  CoreValue payload;
  std::memset(&payload, 0, sizeof payload);
  payload.kind = CORE_VALUE_STRUCT;
  payload.u.block.data = members;
  payload.u.block.count = 3;
  return core.deliverRaw(coreEventName(uri), payload);
}

}  // namespace qor::fuzz
