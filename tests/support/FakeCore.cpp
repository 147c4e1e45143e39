// FakeCore: the recording core of the runtime tests.
#include "support/FakeCore.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace qor::testing {
namespace {

// Release functions receive only the record; they find the fake through the
// one that is alive (tests run one fake at a time).
std::atomic<FakeCore*> gCurrent{nullptr};

void appendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
}

}  // namespace

std::string jsonString(std::string_view text) {
  std::string out;
  appendJsonString(out, text);
  return out;
}

struct FakeCore::Stream {
  FakeCore* core;
  std::vector<std::string> chunks;
  std::size_t next = 0;
  std::size_t offset = 0;  // within chunks[next], when a chunk is larger than the buffer
  int reads = 0;
  int failAt = -1;
};

// ---- FakeValue -------------------------------------------------------------

FakeValue FakeValue::fromJson(const std::string& json) {
  FakeValue v;
  if (json.empty()) return v;
  rapidjson::Document doc;
  doc.Parse(json.c_str());
  if (doc.HasParseError()) {
    v.strings_.push_back("<bad fixture json: " + json + ">");
    v.root_.kind = CORE_VALUE_STRING_BORROWED;
    v.root_.u.block.data = v.strings_.back().data();
    return v;
  }
  v.root_ = v.build(&doc);
  return v;
}

FakeValue FakeValue::raw(const CoreValue& value) {
  FakeValue v;
  v.root_ = value;
  return v;
}

CoreValue FakeValue::build(const void* p) {
  const auto& j = *static_cast<const rapidjson::Value*>(p);
  CoreValue out{};
  if (j.IsNull()) {
    out.kind = CORE_VALUE_EMPTY;
  } else if (j.IsBool()) {
    out.kind = CORE_VALUE_BOOL;
    out.u.boolean = j.GetBool() ? 1 : 0;
  } else if (j.IsInt64()) {
    out.kind = j.GetInt64() < 0 ? CORE_VALUE_SIGNED : CORE_VALUE_UNSIGNED;
    if (out.kind == CORE_VALUE_SIGNED)
      out.u.i64 = j.GetInt64();
    else
      out.u.u64 = static_cast<std::uint64_t>(j.GetInt64());
  } else if (j.IsUint64()) {
    out.kind = CORE_VALUE_UNSIGNED;
    out.u.u64 = j.GetUint64();
  } else if (j.IsNumber()) {
    out.kind = CORE_VALUE_DOUBLE;
    out.u.f64 = j.GetDouble();
  } else if (j.IsString()) {
    strings_.emplace_back(j.GetString(), j.GetStringLength());
    out.kind = CORE_VALUE_STRING_BORROWED;
    out.u.block.data = strings_.back().data();
    out.u.block.count = j.GetStringLength();
  } else if (j.IsArray()) {
    std::vector<CoreValue> items;
    for (const auto& e : j.GetArray()) items.push_back(build(&e));
    arrays_.push_back(std::move(items));
    out.kind = CORE_VALUE_ARRAY;
    out.u.block.data = arrays_.back().data();
    out.u.block.count = static_cast<std::uint32_t>(arrays_.back().size());
  } else {
    std::vector<CoreStructMember> members;
    for (const auto& m : j.GetObject()) {
      strings_.emplace_back(m.name.GetString(), m.name.GetStringLength());
      CoreStructMember member{};
      member.key = strings_.back().c_str();
      member.value = build(&m.value);
      member.ownsKey = 0;
      members.push_back(member);
    }
    members_.push_back(std::move(members));
    out.kind = CORE_VALUE_STRUCT;
    out.u.block.data = members_.back().data();
    out.u.block.count = static_cast<std::uint32_t>(members_.back().size());
  }
  return out;
}

std::string coreValueToJson(const CoreValue& v) {
  std::string out;
  switch (v.kind) {
    case CORE_VALUE_EMPTY: return "null";
    case CORE_VALUE_BOOL: return v.u.boolean ? "true" : "false";
    case CORE_VALUE_SIGNED: return std::to_string(v.u.i64);
    case CORE_VALUE_UNSIGNED: return std::to_string(v.u.u64);
    case CORE_VALUE_DOUBLE: return std::to_string(v.u.f64);
    case CORE_VALUE_STRING_BORROWED:
    case CORE_VALUE_STRING_OWNED: {
      const char* s = static_cast<const char*>(v.u.block.data);
      if (!s) return "\"\"";
      appendJsonString(out, s);
      return out;
    }
    case CORE_VALUE_BLOB_BORROWED:
    case CORE_VALUE_BLOB_OWNED:
      appendJsonString(out, std::string_view(static_cast<const char*>(v.u.block.data),
                                             v.u.block.data ? v.u.block.count : 0));
      return out;
    case CORE_VALUE_ARRAY: {
      out = "[";
      const auto* items = static_cast<const CoreValue*>(v.u.block.data);
      for (std::uint32_t i = 0; items && i < v.u.block.count; ++i) {
        if (i) out += ',';
        out += coreValueToJson(items[i]);
      }
      return out + "]";
    }
    case CORE_VALUE_STRUCT: {
      out = "{";
      const auto* members = static_cast<const CoreStructMember*>(v.u.block.data);
      for (std::uint32_t i = 0; members && i < v.u.block.count; ++i) {
        if (i) out += ',';
        const char* key = members[i].key ? members[i].key : "";
        appendJsonString(out, key);
        out += ':';
        CoreValue value;
        std::memcpy(&value, &members[i].value, sizeof value);
        out += coreValueToJson(value);
      }
      return out + "}";
    }
    default: return "<tag " + std::to_string(v.kind) + ">";
  }
}

// ---- FakeCore --------------------------------------------------------------

FakeCore::FakeCore() {
  table_.self = this;
  table_.api.SendRequest = &sendRequest;
  table_.api.SendExternalRequest = &sendExternal;
  table_.api.SendEvent = &sendEvent;
  table_.api.Subscribe = &subscribe;
  table_.api.Unsubscribe = &unsubscribe;
  table_.api.Entry5 = &entry5;
  table_.api.Yield = &yield;
  table_.api.EnterWait = &enterWait;
  table_.api.LeaveWait = &leaveWait;
  table_.api.Log = &log;
  context_.api = &table_.api;
  context_.handle = &handleTag_;
  gCurrent.store(this);
}

FakeCore::~FakeCore() {
  FakeCore* self = this;
  gCurrent.compare_exchange_strong(self, nullptr);
}

FakeCore& FakeCore::from(const PluginCoreApi* api) {
  return *reinterpret_cast<const Table*>(api)->self;
}

void FakeCore::record(std::string call) {
  std::lock_guard<std::mutex> g(mutex_);
  calls_.push_back(std::move(call));
}

void FakeCore::respond(const std::string& uri, FakeResponse response) {
  std::lock_guard<std::mutex> g(mutex_);
  responses_[uri] = std::move(response);
}

void FakeCore::respondJson(const std::string& uri, const std::string& json) {
  FakeResponse r;
  r.json = json;
  respond(uri, std::move(r));
}

void FakeCore::respondExternal(const std::string& url, FakeExternalResponse response) {
  std::lock_guard<std::mutex> g(mutex_);
  externals_[url] = std::move(response);
}

void FakeCore::respondExternalDefault(FakeExternalResponse response) {
  std::lock_guard<std::mutex> g(mutex_);
  defaultExternal_ = std::move(response);
}

void QOR_CDECL FakeCore::sendRequest(const PluginCoreApi* api, CoreResponse* response,
                                     const CoreRequest* request) {
  FakeCore& core = from(api);
  const std::string uri = request && request->uri ? request->uri : "";
  core.record("SendRequest " + std::to_string(request ? request->method : 0) + " " + uri);
  std::lock_guard<std::mutex> g(core.mutex_);
  RecordedRequest rec;
  if (request) {
    rec.method = request->method;
    rec.uri = uri;
    rec.args = request->args;
    rec.argCount = request->argCount;
    rec.handle = request->handle;
  }
  core.requests_.push_back(rec);
  if (!response) return;

  auto it = core.responses_.find(uri);
  FakeResponse fixture;
  if (it == core.responses_.end())
    fixture.error = "No fake response for " + uri;
  else
    fixture = it->second;

  ++core.responsesGiven_;
  response->status = fixture.error && it == core.responses_.end() ? 404 : fixture.status;
  if (fixture.error) {
    core.texts_.push_back(*fixture.error);
    response->error = core.texts_.back().data();
    response->hasError = 1;
  } else {
    core.bodies_.push_back(fixture.rawBody ? FakeValue::raw(*fixture.rawBody)
                                           : FakeValue::fromJson(fixture.json));
    response->body = core.bodies_.back().value();
    if (fixture.streamed) {
      auto stream = std::make_unique<Stream>();
      stream->core = &core;
      stream->chunks = fixture.chunks;
      stream->failAt = fixture.failReadAt;
      response->read = &readStream;
      response->close = fixture.withClose ? &closeStream : nullptr;
      response->sizeHint = fixture.sizeHint;
      response->stream = stream.get();
      core.streams_.push_back(std::move(stream));
    }
  }
  if (fixture.withRelease) {
    response->release = &releaseResponse;
    core.outstanding_[response] += 1;
  }
}

void QOR_CDECL FakeCore::releaseResponse(CoreResponse* response) {
  FakeCore* core = gCurrent.load();
  if (!core) return;
  core->record("Release");
  std::lock_guard<std::mutex> g(core->mutex_);
  ++core->releases_;
  auto it = core->outstanding_.find(response);
  if (it == core->outstanding_.end() || it->second <= 0) {
    ++core->doubleReleases_;
  } else if (--it->second == 0) {
    core->outstanding_.erase(it);
  }
  if (response) std::memset(response, 0, sizeof *response);
}

std::uint8_t QOR_CDECL FakeCore::readStream(void* handle, char* buffer, std::uint32_t* size,
                                            std::uint8_t* more) {
  auto* s = static_cast<Stream*>(handle);
  const int call = s->reads++;
  s->core->record("Read");
  if (call == s->failAt) return 0;
  const std::uint32_t room = size ? *size : 0;
  std::uint32_t delivered = 0;
  if (s->next < s->chunks.size()) {
    const std::string& chunk = s->chunks[s->next];
    delivered = static_cast<std::uint32_t>(std::min<std::size_t>(room, chunk.size() - s->offset));
    std::memcpy(buffer, chunk.data() + s->offset, delivered);
    s->offset += delivered;
    if (s->offset >= chunk.size()) {
      ++s->next;
      s->offset = 0;
    }
  }
  if (size) *size = delivered;
  if (more) *more = s->next < s->chunks.size() ? 1 : 0;
  return 1;
}

void QOR_CDECL FakeCore::closeStream(void* handle) {
  auto* s = static_cast<Stream*>(handle);
  s->core->record("Close");
  std::lock_guard<std::mutex> g(s->core->mutex_);
  ++s->core->closes_;
}

void QOR_CDECL FakeCore::sendExternal(const PluginCoreApi* api, ExternalResponse* response,
                                      const ExternalRequest* request) {
  FakeCore& core = from(api);
  const std::string url = request && request->url ? request->url : "";
  core.record("SendExternalRequest " + url);
  std::lock_guard<std::mutex> g(core.mutex_);
  RecordedExternalRequest rec;
  if (request) {
    rec.method = request->method;
    rec.url = url;
    for (std::uint32_t i = 0; request->headers && i < request->headerCount; ++i)
      rec.headers.emplace_back(request->headers[i].name ? request->headers[i].name : "<null>",
                               request->headers[i].value ? request->headers[i].value : "<null>");
    if (request->body)
      rec.body.assign(static_cast<const char*>(request->body), request->bodySize);
    rec.setting1 = request->setting1;
    rec.setting2 = request->setting2;
  }
  core.externalRequests_.push_back(rec);
  if (!response) return;
  auto it = core.externals_.find(url);
  FakeExternalResponse fixture;
  if (it == core.externals_.end() && core.defaultExternal_) {
    fixture = *core.defaultExternal_;
  } else if (it == core.externals_.end()) {
    fixture.outcome = 3;  // not one of the named outcomes: the plug-in reads it as failed
    fixture.body = "No fake response for " + url;
  } else {
    fixture = it->second;
  }
  // The texts stay alive in the fake until it goes.
  std::vector<CoreHeader> headers;
  for (auto& h : fixture.headers) {
    core.texts_.push_back(h.first);
    const char* n = core.texts_.back().c_str();
    core.texts_.push_back(h.second);
    headers.push_back(CoreHeader{n, core.texts_.back().c_str()});
  }
  core.headerBlocks_.push_back(std::move(headers));
  core.texts_.push_back(fixture.body);
  const std::string& body = core.texts_.back();

  response->outcome = fixture.outcome;
  response->status = fixture.status;
  response->headers = fixture.nullHeaders ? nullptr : core.headerBlocks_.back().data();
  response->headerCount = fixture.nullHeaders ? 2 : static_cast<std::uint32_t>(fixture.headers.size());
  response->body = fixture.nullBody ? nullptr : body.data();
  response->bodySize = fixture.nullBody ? 5 : static_cast<std::uint32_t>(fixture.body.size());
  response->release = fixture.withRelease ? &releaseExternal : nullptr;
}

void QOR_CDECL FakeCore::releaseExternal(ExternalResponse* response) {
  FakeCore* core = gCurrent.load();
  if (!core) return;
  core->record("ReleaseExternal");
  std::lock_guard<std::mutex> g(core->mutex_);
  ++core->externalReleases_;
  if (response) std::memset(response, 0, sizeof *response);
}

void QOR_CDECL FakeCore::sendEvent(const PluginCoreApi* api, const CoreEvent* event) {
  FakeCore& core = from(api);
  RecordedEvent rec;
  if (event) {
    rec.name = event->name ? event->name : "";
    CoreValue payload;
    std::memcpy(&payload, &event->payload, sizeof payload);
    rec.payloadJson = coreValueToJson(payload);
    rec.reserved = event->reserved;
    rec.context = event->context;
  }
  core.record("SendEvent " + rec.name);
  std::lock_guard<std::mutex> g(core.mutex_);
  core.sentEvents_.push_back(std::move(rec));
}

void QOR_CDECL FakeCore::subscribe(const PluginCoreApi* api, const char* name, void* handle,
                                   CoreEventCallback callback, void* context,
                                   std::uint32_t flags) {
  FakeCore& core = from(api);
  RecordedSubscription rec{name ? name : "", handle, callback, context, flags};
  core.record("Subscribe " + rec.name + " " + std::to_string(flags));
  std::lock_guard<std::mutex> g(core.mutex_);
  core.subscribeCalls_.push_back(rec);
  core.active_[rec.name] = rec;
}

void QOR_CDECL FakeCore::unsubscribe(const PluginCoreApi* api, const char* name, void*) {
  FakeCore& core = from(api);
  const std::string n = name ? name : "";
  core.record("Unsubscribe " + n);
  std::lock_guard<std::mutex> g(core.mutex_);
  core.unsubscribeCalls_.push_back(n);
  core.active_.erase(n);
}

void QOR_CDECL FakeCore::entry5(const PluginCoreApi* api, std::uint32_t, std::uint32_t,
                                std::uint32_t, double, std::uint32_t) {
  from(api).record("Entry5");
}

void QOR_CDECL FakeCore::yield(const PluginCoreApi* api) { from(api).record("Yield"); }

void QOR_CDECL FakeCore::enterWait(const PluginCoreApi* api, const char* label,
                                   std::uint32_t zero) {
  from(api).record(std::string("EnterWait ") + (label ? label : "<null>") + " " +
                   std::to_string(zero));
}

void QOR_CDECL FakeCore::leaveWait(const PluginCoreApi* api) { from(api).record("LeaveWait"); }

void QOR_CDECL FakeCore::log(const PluginCoreApi* api, std::int32_t level, const char* message) {
  FakeCore& core = from(api);
  std::lock_guard<std::mutex> g(core.mutex_);
  core.logLines_.emplace_back(level, message ? message : "<null>");
}

bool FakeCore::deliver(const std::string& name, const std::string& json) {
  FakeValue payload = FakeValue::fromJson(json);
  return deliverRaw(name, payload.value());
}

bool FakeCore::deliverRaw(const std::string& name, const CoreValue& payload) {
  RecordedSubscription sub;
  {
    std::lock_guard<std::mutex> g(mutex_);
    auto it = active_.find(name);
    if (it == active_.end()) return false;
    sub = it->second;
  }
  if (!sub.callback) return false;
  CoreEvent event{};
  event.name = sub.name.c_str();
  event.payload = payload;
  event.context = sub.context;
  sub.callback(&event);
  return true;
}

std::string FakeCore::resourceJson(const std::string& uri, int eventType, const std::string& data) {
  std::string out = "{\"uri\":";
  appendJsonString(out, uri);
  out += ",\"eventType\":" + std::to_string(eventType);
  out += ",\"data\":" + (data.empty() ? std::string("null") : data) + "}";
  return out;
}

bool FakeCore::isSubscribed(const std::string& name) const {
  std::lock_guard<std::mutex> g(mutex_);
  return active_.count(name) != 0;
}

#define QOR_FAKE_GETTER(type, name, member)  \
  type FakeCore::name() const {              \
    std::lock_guard<std::mutex> g(mutex_);   \
    return member;                           \
  }
QOR_FAKE_GETTER(std::vector<std::string>, calls, calls_)
QOR_FAKE_GETTER(std::vector<RecordedRequest>, requests, requests_)
QOR_FAKE_GETTER(std::vector<RecordedExternalRequest>, externalRequests, externalRequests_)
QOR_FAKE_GETTER(std::vector<RecordedSubscription>, subscribeCalls, subscribeCalls_)
QOR_FAKE_GETTER(std::vector<std::string>, unsubscribeCalls, unsubscribeCalls_)
QOR_FAKE_GETTER(std::vector<RecordedEvent>, sentEvents, sentEvents_)
QOR_FAKE_GETTER(int, responsesGiven, responsesGiven_)
QOR_FAKE_GETTER(int, releases, releases_)
QOR_FAKE_GETTER(int, doubleReleases, doubleReleases_)
QOR_FAKE_GETTER(int, externalReleases, externalReleases_)
QOR_FAKE_GETTER(int, closes, closes_)
#undef QOR_FAKE_GETTER

std::vector<std::pair<int, std::string>> FakeCore::logLines() const {
  std::lock_guard<std::mutex> g(mutex_);
  return logLines_;
}

void FakeCore::clearRecords() {
  std::lock_guard<std::mutex> g(mutex_);
  calls_.clear();
  requests_.clear();
  externalRequests_.clear();
  subscribeCalls_.clear();
  unsubscribeCalls_.clear();
  sentEvents_.clear();
  logLines_.clear();
  responsesGiven_ = releases_ = doubleReleases_ = externalReleases_ = closes_ = 0;
}

}  // namespace qor::testing
