// dispatch_entry, inventory_remote and inventory_events: the whole plug-in,
// made through its export and driven against the fake core.
//   dispatch_entry: one request record from the bytes (function record,
//     method, URI, query, headers, the core's arguments, content type, body)
//     through the API table's dispatch entry.
//   inventory_remote: the remote service's answers from the bytes (outcome,
//     status, body, plain and signed, with the token and expiry fields)
//     interleaved with calls of the three functions.
//   inventory_events: resource events of the six watched resources,
//     messaging-service notifications and store-catalog answers from the
//     bytes, interleaved with calls.
#include <cstring>
#include <string>
#include <vector>

#include "FuzzTargets.h"
#include "protocol/PercentEncode.h"
#include "support/CoreValueBuilder.h"
#include "support/FuzzCheck.h"
#include "support/FuzzInput.h"
#include "support/PluginSession.h"

namespace qor::fuzz {
namespace {

const char* const kTypes[] = {"EMOTE", "GEAR", "TOURNAMENT_FLAG", "A", ""};
const char* const kCapTypeIds[] = {"e458d471-b176-4345-8fb3-3ec3e0de29a3", "2367c5c4-6821-454f-a3b9-2615255f6d83",
                                   "not-a-cap-id"};
const char* const kWatched[] = {kSessionUri, kTokenUri, kConfigUri, kEntitlementUri, kStoreUri, kRegionUri};
const char* const kTemplates[] = {kInventoryTemplate, kSignedTemplate, kEmotesTemplate};

std::string typeName(FuzzInput& in) {
  const std::size_t pick = in.below(std::size(kTypes) + 1);
  return pick < std::size(kTypes) ? kTypes[pick] : in.text(16);
}

// The query of a call: a JSON list, dotted keys, or text from the bytes.
std::string typesQuery(FuzzInput& in) {
  const std::size_t count = in.below(4);
  switch (in.below(4)) {
    case 0: {
      std::string list = "[";
      for (std::size_t i = 0; i < count; ++i) list += (i ? "," : "") + testing::jsonString(typeName(in));
      return "?inventoryTypes=" + percentEncode(list + "]");
    }
    case 1: {
      std::string query = "?";
      for (std::size_t i = 0; i < count; ++i)
        query += (i ? "&" : "") + std::string("inventoryTypes.") + std::to_string(i) + "=" + percentEncode(typeName(in));
      return query;
    }
    case 2: return "";
    default: return "?" + in.text(64);
  }
}

void callFunction(PluginSession& session, FuzzInput& in) {
  const char* tmpl = kTemplates[in.below(std::size(kTemplates))];
  session.get(tmpl, tmpl + typesQuery(in));
}

// An item list of a remote answer.
std::string itemsJson(FuzzInput& in) {
  std::string items = "{";
  const std::size_t types = in.below(3);
  for (std::size_t t = 0; t < types; ++t) {
    const std::string type = typeName(in);
    items += (t ? "," : "") + testing::jsonString(type) + ":";
    if (in.below(8) == 0) {
      items += in.text(32);  // not a list at all
      continue;
    }
    items += "[";
    const std::size_t count = in.below(4);
    for (std::size_t i = 0; i < count; ++i) {
      items += (i ? "," : "") + std::string(R"({"itemId":)") + std::to_string(static_cast<std::int32_t>(in.u32())) +
               R"(,"inventoryType":)" + testing::jsonString(in.flag() ? type : typeName(in)) + R"(,"instanceId":)" +
               testing::jsonString(in.text(16)) + R"(,"f2p":)" + (in.flag() ? "true" : "false") + R"(,"rental":)" +
               (in.flag() ? "true" : "false") + "}";
    }
    items += "]";
  }
  return items + "}";
}

std::string expires(FuzzInput& in) {
  static const char* const kExpiries[] = {"2099-01-01T00:00:00Z", "2000-01-01T00:00:00Z", "20990101T000000Z",
                                          "2099-01-01 00:00:00.123+00:00", "2099-01-01T00:00:00+01:00", ""};
  const std::size_t pick = in.below(std::size(kExpiries) + 1);
  return pick < std::size(kExpiries) ? kExpiries[pick] : in.text(32);
}

// One answer of the remote service for every URL.
void remoteAnswer(PluginSession& session, FuzzInput& in) {
  testing::FakeExternalResponse answer;
  const std::uint8_t shape = in.byte();
  answer.outcome = shape % 8 == 0 ? static_cast<std::int32_t>(in.u32()) : 0;
  answer.status = shape % 5 == 0 ? static_cast<std::int32_t>(in.u16()) : 200;
  answer.nullHeaders = shape % 31 == 1;
  answer.nullBody = shape % 37 == 1;
  if (shape % 3 == 0) {
    answer.body = in.text(512);
  } else {
    answer.body = R"({"data":{"puuid":"p-1","accountId":7,"items":)" + itemsJson(in) + R"(,"expires":)" +
                  testing::jsonString(expires(in)) + R"(,"itemsJwt":)" + testing::jsonString(in.text(64)) + "}}";
  }
  session.core.respondExternalDefault(answer);
}

// A catalog answer: a list of entries, an error, or a body of another shape.
void catalogAnswer(PluginSession& session, FuzzInput& in) {
  testing::FakeResponse answer;
  switch (in.below(4)) {
    case 0: answer.error = in.text(32); answer.status = in.u16(); break;
    case 1: answer.json = in.text(256); break;
    case 2: {
      answer.streamed = true;
      const std::size_t chunks = in.below(3);
      for (std::size_t i = 0; i < chunks; ++i) answer.chunks.push_back(in.text(128));
      answer.failReadAt = in.below(8) == 0 ? static_cast<int>(in.below(3)) : -1;
      answer.sizeHint = in.u32();
      break;
    }
    default: {
      std::string list = "[";
      const std::size_t count = in.below(4);
      for (std::size_t i = 0; i < count; ++i) {
        list += (i ? "," : "") + std::string(R"({"itemId":)") + std::to_string(in.byte()) + R"(,"inventoryType":)" +
                testing::jsonString(typeName(in));
        if (in.flag()) list += R"(,"itemInstanceId":)" + testing::jsonString(in.flag() ? std::string("i1") : in.text(8));
        list += "}";
      }
      answer.json = list + "]";
    }
  }
  session.core.respond(kCatalogUri, answer);
}

// The envelope of a messaging-service message around a payload.
std::string envelope(const std::string& payload) {
  return R"({"resource":"r","service":"s","version":"1","timestamp":5,"payload":)" + testing::jsonString(payload) + "}";
}

std::string notificationPayload(FuzzInput& in, bool entitlement) {
  switch (in.below(3)) {
    case 0: return in.text(128);
    case 1:
      if (entitlement) {
        return R"({"itemId":)" + testing::jsonString(in.flag() ? std::string("i1") : in.text(8)) + R"(,"itemTypeId":)" +
               testing::jsonString(kCapTypeIds[in.below(std::size(kCapTypeIds))]) + "}";
      } else {
        std::string items = "[";
        const std::size_t count = in.below(3);
        for (std::size_t i = 0; i < count; ++i)
          items += (i ? "," : "") + std::string(R"({"inventoryType":)") + testing::jsonString(typeName(in)) + R"(,"itemId":)" +
                   testing::jsonString(in.flag() ? std::string("i1") : in.text(8)) + "}";
        return R"({"transactionId":"t","items":)" + items + "]}";
      }
    default: return "";
  }
}

// A resource event for one of the watched resources (or a URI near them).
void resourceEvent(PluginSession& session, FuzzInput& in, CoreValueBuilder& values) {
  const std::size_t which = in.below(std::size(kWatched) + 1);
  std::string uri = which < std::size(kWatched) ? kWatched[which] : "/" + in.text(48);
  if (in.below(8) == 0) uri.erase(0, 1);  // without the leading "/"
  CoreValue type;
  std::memset(&type, 0, sizeof type);
  const std::uint8_t t = in.byte();
  type.kind = t < 0xF0 ? CORE_VALUE_UNSIGNED : CORE_VALUE_SIGNED;
  type.u.u64 = t < 0xF0 ? t % 3 : static_cast<std::uint64_t>(static_cast<std::int64_t>(t) - 0xF3);
  CoreValue data;
  testing::FakeValue json;
  if ((which == 3 || which == 4) && in.flag()) {
    json = testing::FakeValue::fromJson(envelope(notificationPayload(in, which == 3)));
    data = json.value();
  } else if (which < 3 && in.flag()) {
    static const char* const kData[] = {
        R"({"state":"SUCCEEDED","summonerId":9,"accountId":8,"puuid":"p-2"})",
        R"({"state":1,"summonerId":9,"accountId":7,"puuid":"p-1"})",
        R"({"token":"tok2","scopes":[],"expiry":1})",
        R"({"Enabled":true,"BaseServiceUrl":"https://inv.test"})",
        R"({"Enabled":false})",
        R"({"Enabled":"yes","BaseServiceUrl":5})"};
    json = testing::FakeValue::fromJson(kData[in.below(std::size(kData))]);
    data = json.value();
  } else {
    data = values.build(in);
  }
  session.deliver(uri, type, data);
}

void regionAnswer(PluginSession& session, FuzzInput& in) {
  testing::FakeResponse answer;
  if (in.flag()) {
    answer.json = R"({"servers":{"loctavian_service_location":)" + testing::jsonString(in.text(16)) + "}}";
  } else if (in.flag()) {
    answer.error = "unavailable";
  } else {
    answer.json = in.text(64);
  }
  session.core.respond(kRegionDataUri, answer);
}

}  // namespace

int fuzzDispatchEntry(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  PluginSession session;
  session.readyFixtures();
  remoteAnswer(session, in);
  if (!session.start()) return 0;

  CoreValueBuilder values(256);
  std::vector<std::string> texts;
  texts.reserve(32);
  std::vector<CoreHeader> headers;
  const std::size_t headerCount = in.below(4);
  for (std::size_t i = 0; i < headerCount; ++i) {
    texts.push_back(in.flag() ? std::string("inventorytypes") : in.text(16));
    const char* name = texts.back().c_str();
    texts.push_back(in.text(64));
    headers.push_back(CoreHeader{in.below(16) == 0 ? nullptr : name, texts.back().c_str()});
  }
  std::vector<CoreArgument> arguments;
  const std::size_t argumentCount = in.below(3);
  for (std::size_t i = 0; i < argumentCount; ++i) {
    CoreArgument a;
    std::memset(&a, 0, sizeof a);
    texts.push_back(in.flag() ? std::string("inventoryTypes") : in.text(16));
    a.name = in.flag() ? texts.back().c_str() : nullptr;
    const CoreValue v = values.build(in);
    std::memcpy(&a.value, &v, sizeof v);
    arguments.push_back(a);
  }
  static const char* const kContentTypes[] = {"application/json", "application/x-msgpack", "application/x-yaml", ""};
  texts.push_back(in.below(5) == 0 ? in.text(32) : kContentTypes[in.below(std::size(kContentTypes))]);
  const char* contentType = in.flag() ? texts.back().c_str() : nullptr;
  const bool hasBody = in.flag();
  texts.push_back(in.text(512));
  const std::string& body = texts.back();
  texts.push_back(in.text(16));
  const char* methodName = in.flag() ? texts.back().c_str() : nullptr;
  const std::uint32_t method = in.below(4) == 0 ? in.byte() : static_cast<std::uint32_t>(CORE_METHOD_GET);
  const std::uint32_t functionIndex = in.byte();

  const ApiFunctionRecord* record = session.function(functionIndex % (session.functionCount() + 1));
  std::string uri(in.rest());
  if (record != nullptr && record->uriTemplate != nullptr && functionIndex >= 0x80) uri = record->uriTemplate + uri;

  CoreRequest request;
  std::memset(&request, 0, sizeof request);
  request.method = method;
  request.uri = functionIndex % 7 == 6 ? nullptr : uri.c_str();
  request.args = arguments.empty() ? nullptr : arguments.data();
  request.argCount = static_cast<std::uint32_t>(arguments.size());
  request.headers = headers.empty() ? nullptr : headers.data();
  request.headerCount = static_cast<std::uint32_t>(headers.size());
  request.contentType = contentType;
  request.body = hasBody ? body.data() : nullptr;
  request.bodySize = static_cast<std::uint32_t>(body.size());
  request.methodName = methodName;
  if (record != nullptr) {
    session.call(record, request);
  } else {
    // A call whose context leads nowhere.
    CoreResponse response;
    std::memset(&response, 0, sizeof response);
    session.function(0u)->dispatch(&response, &request);
    QOR_FUZZ_CHECK(response.hasError != 0 && response.status == 404, "a call without a context is not refused");
    if (response.release != nullptr) response.release(&response);
  }
  return 0;
}

int fuzzInventoryRemote(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  PluginSession session;
  session.readyFixtures();
  if (!session.start()) return 0;
  for (int step = 0; step < 16 && !in.empty(); ++step) {
    switch (in.below(3)) {
      case 0: remoteAnswer(session, in); break;
      default: callFunction(session, in); break;
    }
  }
  return 0;
}

int fuzzInventoryEvents(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  PluginSession session;
  const std::uint8_t present = in.byte();
  session.readyFixtures();
  // Some resources may be missing when the plug-in starts.
  for (std::size_t i = 0; i < std::size(kWatched); ++i) {
    if ((present >> i & 1) != 0 && i != 3 && i != 4) {
      testing::FakeResponse missing;
      missing.error = "Not found";
      missing.status = 404;
      session.core.respond(kWatched[i], missing);
    }
  }
  testing::FakeExternalResponse remote;
  remote.body = R"({"data":{"items":{"EMOTE":[{"itemId":1,"inventoryType":"EMOTE","instanceId":"i1"}]},)"
                R"("expires":"2099-01-01T00:00:00Z","itemsJwt":"jwt"}})";
  session.core.respondExternalDefault(remote);
  if (!session.start()) return 0;
  CoreValueBuilder values(512);
  for (int step = 0; step < 16 && !in.empty(); ++step) {
    switch (in.below(6)) {
      case 0: catalogAnswer(session, in); break;
      case 1: regionAnswer(session, in); break;
      case 2: callFunction(session, in); break;
      default: resourceEvent(session, in, values); break;
    }
  }
  return 0;
}

}  // namespace qor::fuzz
