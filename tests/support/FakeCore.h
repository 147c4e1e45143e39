// FakeCore: a core for tests. It fills a PluginCoreApi table whose entries
// record every call and answer from fixtures: responses per URI (plain,
// failing or streamed in chunks), external responses per URL, subscriptions
// that tests can deliver events through, and the forwarded log lines.
#pragma once

#include "PluginAbi.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qor::testing {

// A CoreValue tree owned by the test: built from JSON text (integers become
// signed or unsigned, strings borrowed tag-5 strings), or wrapped around a
// hand-made record. The tree stays valid as long as the FakeValue lives.
class FakeValue {
 public:
  FakeValue() = default;
  // "" gives the empty value (tag 0).
  static FakeValue fromJson(const std::string& json);
  // A raw record with any tag (for values the plug-in must refuse).
  static FakeValue raw(const CoreValue& value);

  const CoreValue& value() const { return root_; }

 private:
  CoreValue build(const void* jsonValue);
  CoreValue root_{};
  std::deque<std::string> strings_;
  std::deque<std::vector<CoreValue>> arrays_;
  std::deque<std::vector<CoreStructMember>> members_;
};

// A JSON string literal of the text (quotes, backslashes and control characters
// escaped).
std::string jsonString(std::string_view text);

// Renders a CoreValue as compact JSON (members in record order, blobs as
// their bytes in a string); unknown tags render as "<tag N>".
std::string coreValueToJson(const CoreValue& value);

// The answer the fake gives to a SendRequest for one URI.
struct FakeResponse {
  std::string json;                 // body; "" is the empty value
  std::optional<CoreValue> rawBody; // overrides json when set
  std::optional<std::string> error; // error text: the request failed
  std::uint32_t status = 200;
  bool streamed = false;            // answer with a read function and these chunks
  std::vector<std::string> chunks;  // one chunk per read call (split at the buffer size)
  int failReadAt = -1;              // the read call (from 0) that returns false
  bool withClose = true;
  std::uint32_t sizeHint = 0;
  bool withRelease = true;
};

// The answer to a SendExternalRequest for one URL.
struct FakeExternalResponse {
  std::int32_t outcome = 0;
  std::int32_t status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  bool nullHeaders = false;  // a non-zero count with a null pointer
  bool nullBody = false;     // a non-zero length with a null pointer
  bool withRelease = true;
};

struct RecordedRequest {
  std::uint32_t method = 0;
  std::string uri;
  const void* args = nullptr;
  std::uint32_t argCount = 0;
  void* handle = nullptr;
};

struct RecordedExternalRequest {
  std::uint32_t method = 0;
  std::string url;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::uint32_t setting1 = 0;
  std::uint32_t setting2 = 0;
};

struct RecordedSubscription {
  std::string name;
  void* handle = nullptr;
  CoreEventCallback callback = nullptr;
  void* context = nullptr;
  std::uint32_t flags = 0;
};

struct RecordedEvent {
  std::string name;
  std::string payloadJson;
  std::uint32_t reserved = 0;
  void* context = nullptr;
};

class FakeCore {
 public:
  FakeCore();
  ~FakeCore();
  FakeCore(const FakeCore&) = delete;
  FakeCore& operator=(const FakeCore&) = delete;

  // The context to hand to Start, and the table inside it.
  const PluginCoreContext* context() const { return &context_; }
  PluginCoreApi& table() { return table_.api; }
  void* handle() const { return context_.handle; }

  // ---- Fixtures ----
  void respond(const std::string& uri, FakeResponse response);
  void respondJson(const std::string& uri, const std::string& json);
  void respondExternal(const std::string& url, FakeExternalResponse response);
  // The answer to every URL without an answer of its own (none by default:
  // such a request fails with outcome 3).
  void respondExternalDefault(FakeExternalResponse response);

  // ---- Events ----
  // Delivers an event through the active subscription of that name, as the
  // core would; false when there is none.
  bool deliver(const std::string& name, const std::string& json);
  bool deliverRaw(const std::string& name, const CoreValue& payload);
  // The payload of a resource event {uri, eventType, data}.
  static std::string resourceJson(const std::string& uri, int eventType, const std::string& data);
  bool isSubscribed(const std::string& name) const;

  // ---- What the plug-in did ----
  std::vector<std::string> calls() const;  // every entry called, in order, in short form
  std::vector<RecordedRequest> requests() const;
  std::vector<RecordedExternalRequest> externalRequests() const;
  std::vector<RecordedSubscription> subscribeCalls() const;
  std::vector<std::string> unsubscribeCalls() const;
  std::vector<RecordedEvent> sentEvents() const;
  std::vector<std::pair<int, std::string>> logLines() const;
  int responsesGiven() const;
  int releases() const;
  int doubleReleases() const;
  int externalReleases() const;
  int closes() const;
  void clearRecords();

 private:
  struct Table {
    PluginCoreApi api;  // first: entries find the fake from the table pointer
    FakeCore* self;
  };
  struct Stream;
  static FakeCore& from(const PluginCoreApi* api);

  static void QOR_CDECL sendRequest(const PluginCoreApi*, CoreResponse*, const CoreRequest*);
  static void QOR_CDECL sendExternal(const PluginCoreApi*, ExternalResponse*,
                                     const ExternalRequest*);
  static void QOR_CDECL sendEvent(const PluginCoreApi*, const CoreEvent*);
  static void QOR_CDECL subscribe(const PluginCoreApi*, const char*, void*, CoreEventCallback,
                                  void*, std::uint32_t);
  static void QOR_CDECL unsubscribe(const PluginCoreApi*, const char*, void*);
  static void QOR_CDECL entry5(const PluginCoreApi*, std::uint32_t, std::uint32_t, std::uint32_t,
                               double, std::uint32_t);
  static void QOR_CDECL yield(const PluginCoreApi*);
  static void QOR_CDECL enterWait(const PluginCoreApi*, const char*, std::uint32_t);
  static void QOR_CDECL leaveWait(const PluginCoreApi*);
  static void QOR_CDECL log(const PluginCoreApi*, std::int32_t, const char*);
  static void QOR_CDECL releaseResponse(CoreResponse*);
  static void QOR_CDECL releaseExternal(ExternalResponse*);
  static std::uint8_t QOR_CDECL readStream(void*, char*, std::uint32_t*, std::uint8_t*);
  static void QOR_CDECL closeStream(void*);

  void record(std::string call);

  Table table_{};
  PluginCoreContext context_{};
  int handleTag_ = 0;

  mutable std::mutex mutex_;
  std::map<std::string, FakeResponse> responses_;
  std::map<std::string, FakeExternalResponse> externals_;
  std::optional<FakeExternalResponse> defaultExternal_;
  std::map<std::string, RecordedSubscription> active_;
  std::deque<FakeValue> bodies_;
  std::deque<std::string> texts_;  // bodies handed out stay valid until the fake goes
  std::deque<std::unique_ptr<Stream>> streams_;
  std::deque<std::vector<CoreHeader>> headerBlocks_;
  std::map<const void*, int> outstanding_;  // response record -> releases still due

  std::vector<std::string> calls_;
  std::vector<RecordedRequest> requests_;
  std::vector<RecordedExternalRequest> externalRequests_;
  std::vector<RecordedSubscription> subscribeCalls_;
  std::vector<std::string> unsubscribeCalls_;
  std::vector<RecordedEvent> sentEvents_;
  std::vector<std::pair<int, std::string>> logLines_;
  int responsesGiven_ = 0;
  int releases_ = 0;
  int doubleReleases_ = 0;
  int externalReleases_ = 0;
  int closes_ = 0;
};

}  // namespace qor::testing
