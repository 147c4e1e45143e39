// ValidatorCore: the core entries, answers, streams, subscriptions and the
// record of violations.
#include "validator/ValidatorCore.h"

#include "protocol/CoreEventName.h"
#include "validator/CoreValues.h"
#include "validator/Synthesizer.h"
#include "validator/TypeCheck.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <sstream>
#include <thread>

namespace qor::validator {
namespace {

ValidatorCore* gCore = nullptr;

constexpr std::size_t kMaxViolations = 64;
constexpr std::size_t kMaxNotes = 64;
constexpr std::size_t kReleasedAnswersKept = 256;
constexpr unsigned kMaxZeroChunks = 3;

std::string threadKey() {
  std::ostringstream out;
  out << std::this_thread::get_id();
  return out.str();
}

// The counter a test's thread registered (see setThreadBlockCounter).
thread_local std::atomic<int>* tBlockCounter = nullptr;

// Subscriptions whose callback runs on this thread, innermost last.
thread_local std::vector<const void*> tDelivering;

void sleepMs(std::uint64_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

const char* answerModeName(AnswerMode mode) {
  switch (mode) {
    case AnswerMode::kStore: return "store";
    case AnswerMode::kErrors: return "errors";
    case AnswerMode::kEmpty: return "empty bodies";
    case AnswerMode::kGarbage: return "garbage bodies";
    case AnswerMode::kMalformed: return "malformed records";
    case AnswerMode::kNested: return "deeply nested bodies";
    case AnswerMode::kHuge: return "huge bodies";
    case AnswerMode::kLate: return "late answers";
    case AnswerMode::kStreamed: return "streamed bodies";
    case AnswerMode::kMixed: return "mixed";
  }
  return "?";
}

const char* externalModeName(ExternalMode mode) {
  switch (mode) {
    case ExternalMode::kNormal: return "normal";
    case ExternalMode::kFailures: return "transport failures";
    case ExternalMode::kGarbage: return "garbage";
    case ExternalMode::kNullBlocks: return "null blocks";
    case ExternalMode::kHuge: return "huge";
    case ExternalMode::kLate: return "late";
    case ExternalMode::kMixed: return "mixed";
  }
  return "?";
}

// ---- Answers -------------------------------------------------------------------

struct ValidatorCore::Answer {
  CoreSession* session = nullptr;
  std::unique_ptr<ValueArena> arena = std::make_unique<ValueArena>();
  std::string uri;
  bool streamed = false;
  bool hasClose = false;
  bool closed = false;
  bool failedRead = false;
  std::string text;
  std::size_t pos = 0;
  int reads = 0;
  int failAt = -1;
  unsigned zeroChunks = 0;
  Random rng;
};

struct ValidatorCore::ExternalAnswer {
  CoreSession* session = nullptr;
  ValueArena arena;
};

// ---- The entries ---------------------------------------------------------------

struct CoreEntries {
  static CoreSession* sessionOf(const PluginCoreApi* api, const char* entry) {
    ValidatorCore* core = gCore;
    if (api == nullptr) {
      if (core) core->violation(std::string(entry) + " was called with a null table pointer");
      return nullptr;
    }
    CoreSession* session = reinterpret_cast<const CoreSession::Table*>(api)->owner;
    if (session->stopped_.load())
      core->violation(std::string(entry) + " was called after Stop returned");
    return session;
  }

  static void checkHandle(CoreSession& session, void* handle, const char* entry) {
    if (handle != session.handle())
      session.core_.violation(std::string(entry) + " was given a handle that is not the plug-in's");
  }

  static void QOR_CDECL sendRequest(const PluginCoreApi* api, CoreResponse* response,
                                    const CoreRequest* request) {
    CoreSession* session = sessionOf(api, "SendRequest");
    if (session == nullptr) return;
    session->core_.answerRequest(*session, response, request);
  }

  static void QOR_CDECL sendExternalRequest(const PluginCoreApi* api, ExternalResponse* response,
                                            const ExternalRequest* request) {
    CoreSession* session = sessionOf(api, "SendExternalRequest");
    if (session == nullptr) return;
    session->core_.answerExternal(*session, response, request);
  }

  // What every event the plug-in sends must be.
  static void checkEvent(CoreSession& session, const CoreEvent* event) {
    ValidatorCore& core = session.core_;
    core.counters_.eventsSent++;
    if (event == nullptr) return core.violation("SendEvent was given a null event record");
    if (event->name == nullptr || event->name[0] == '\0')
      return core.violation("SendEvent was given an event without a name");
    const std::string name = event->name;
    if (event->reserved != 0)
      core.violation("SendEvent " + name + ": the word after the payload is " + std::to_string(event->reserved) + ", not 0");
    if (event->context != nullptr) core.violation("SendEvent " + name + ": the callback context is set, not 0");
    CoreValue payload;
    std::memcpy(&payload, &event->payload, sizeof payload);
    const std::string problem = checkCoreValue(payload);
    if (!problem.empty()) return core.violation("SendEvent " + name + ": malformed payload: " + problem);
    const ApiModel* model = core.model_;
    if (model == nullptr || core.options_.strictness < 2) return;
    // The payload must fit the type the API table declares for the event;
    // resource events are announced in the table as "OnJsonApiEvent".
    const EventModel* declared = model->findEvent(name);
    if (declared == nullptr && name.rfind(kResourceEventName, 0) == 0)
      declared = model->findEvent(kResourceEventName);
    if (declared == nullptr) {
      core.note("the plug-in sent " + name + ", an event its API table does not declare");
      return;
    }
    const TypeModel* type = model->findType(declared->typeName);
    if (type == nullptr || type->isEnumeration) return;
    const std::string mismatch =
        checkValueAgainstType(payload, TypeRefModel{CORE_TYPE_STRUCT, 0, declared->typeName}, *model);
    if (!mismatch.empty())
      core.violation("SendEvent " + name + ": the payload does not fit " + declared->typeName + ": " + mismatch);
  }

  static void QOR_CDECL sendEvent(const PluginCoreApi* api, const CoreEvent* event) {
    CoreSession* session = sessionOf(api, "SendEvent");
    if (session == nullptr) return;
    checkEvent(*session, event);
    session->core_.holdIfHeld(*session);
  }

  static void QOR_CDECL subscribe(const PluginCoreApi* api, const char* eventName, void* handle,
                                  CoreEventCallback callback, void* context, std::uint32_t flags) {
    CoreSession* session = sessionOf(api, "Subscribe");
    if (session == nullptr) return;
    ValidatorCore& core = session->core_;
    core.counters_.subscribes++;
    checkHandle(*session, handle, "Subscribe");
    if (eventName == nullptr || eventName[0] == '\0') return core.violation("Subscribe was given no event name");
    if (callback == nullptr) return core.violation(std::string("Subscribe ") + eventName + " was given no callback");
    if (flags > CORE_SUBSCRIBE_SERVICE_PROXY)
      core.note(std::string("Subscribe ") + eventName + " used flags " + std::to_string(flags));
    std::lock_guard lock(session->mutex_);
    auto& slot = session->subscriptions_[eventName];
    if (slot && slot->active) core.note(std::string("the plug-in subscribed ") + eventName + " twice without unsubscribing");
    auto subscription = std::make_shared<CoreSession::Subscription>();
    subscription->name = eventName;
    subscription->callback = callback;
    subscription->context = context;
    subscription->flags = flags;
    subscription->active = true;
    slot = std::move(subscription);
    session->everSubscribed_.insert(eventName);
  }

  static void QOR_CDECL unsubscribe(const PluginCoreApi* api, const char* eventName, void* handle) {
    CoreSession* session = sessionOf(api, "Unsubscribe");
    if (session == nullptr) return;
    ValidatorCore& core = session->core_;
    core.counters_.unsubscribes++;
    checkHandle(*session, handle, "Unsubscribe");
    if (eventName == nullptr) return core.violation("Unsubscribe was given no event name");
    std::unique_lock lock(session->mutex_);
    auto it = session->subscriptions_.find(eventName);
    if (it == session->subscriptions_.end() || !it->second->active) {
      core.note(std::string("the plug-in unsubscribed ") + eventName + ", which it had not subscribed");
      return;
    }
    std::shared_ptr<CoreSession::Subscription> subscription = it->second;
    subscription->active = false;
    session->subscriptions_.erase(it);
    // No callback begins after Unsubscribe returns: wait for the running
    // ones, except those on this very thread (the plug-in unsubscribing from
    // inside its own callback).
    const int own = static_cast<int>(std::count(tDelivering.begin(), tDelivering.end(), subscription.get()));
    const auto limit = std::chrono::milliseconds(static_cast<long long>(20000 * core.options_.timeScale));
    if (!session->changed_.wait_for(lock, limit, [&] { return subscription->running <= own; }))
      core.violation(std::string("Unsubscribe ") + eventName + " waited " + std::to_string(limit.count() / 1000) +
                     " s for a delivery of it to end");
  }

  static void QOR_CDECL entry5(const PluginCoreApi* api, std::uint32_t, std::uint32_t, std::uint32_t,
                               double, std::uint32_t) {
    CoreSession* session = sessionOf(api, "entry 5");
    if (session != nullptr) session->core_.note("the plug-in called core entry 5, which no plug-in calls");
  }

  static void QOR_CDECL yield(const PluginCoreApi* api) {
    CoreSession* session = sessionOf(api, "Yield");
    if (session == nullptr) return;
    session->core_.counters_.yields++;
    std::this_thread::yield();
  }

  static void QOR_CDECL enterWait(const PluginCoreApi* api, const char* label, std::uint32_t zero) {
    CoreSession* session = sessionOf(api, "EnterWait");
    if (session == nullptr) return;
    ValidatorCore& core = session->core_;
    core.counters_.waits++;
    if (label == nullptr) core.violation("EnterWait was given no label");
    if (zero != 0) core.note("EnterWait was given " + std::to_string(zero) + " where 0 belongs");
    std::lock_guard lock(session->mutex_);
    ++session->openWaits_[threadKey()];
  }

  static void QOR_CDECL leaveWait(const PluginCoreApi* api) {
    CoreSession* session = sessionOf(api, "LeaveWait");
    if (session == nullptr) return;
    std::lock_guard lock(session->mutex_);
    auto it = session->openWaits_.find(threadKey());
    if (it == session->openWaits_.end() || it->second == 0) {
      session->core_.violation("LeaveWait without an open wait section on that thread");
      return;
    }
    if (--it->second == 0) session->openWaits_.erase(it);
  }

  static void QOR_CDECL log(const PluginCoreApi* api, std::int32_t level, const char* message) {
    CoreSession* session = sessionOf(api, "Log");
    if (session == nullptr) return;
    ValidatorCore& core = session->core_;
    core.counters_.logs++;
    if (level < CORE_LOG_OKAY || level > CORE_LOG_ALWAYS) core.violation("Log was given level " + std::to_string(level));
    if (message == nullptr) return core.violation("Log was given a null message");
    static_cast<void>(std::strlen(message));
    core.holdIfHeld(*session);
  }

  // ---- Functions the core hands out ----

  static void QOR_CDECL releaseResponse(CoreResponse* response) {
    ValidatorCore* core = gCore;
    if (core == nullptr) return;
    core->counters_.releases++;
    if (response == nullptr) return core->violation("a response release was given a null record");
    std::lock_guard lock(core->answersMutex_);
    auto it = core->answers_.find(response);
    if (it == core->answers_.end()) {
      core->violation("a response was released twice, or a record the core never filled was released");
      return;
    }
    std::unique_ptr<ValidatorCore::Answer> answer = std::move(it->second);
    core->answers_.erase(it);
    core->liveStreams_.erase(answer.get());
    if (answer->streamed && answer->hasClose && !answer->closed)
      core->violation("the streamed response of " + answer->uri + " was released without closing its stream");
    answer->arena.reset();  // the blocks go; the shell stays to recognise late reads
    answer->text.clear();
    answer->text.shrink_to_fit();
    core->releasedAnswers_.push_back(std::move(answer));
    if (core->releasedAnswers_.size() > kReleasedAnswersKept) core->releasedAnswers_.pop_front();
    std::memset(static_cast<void*>(response), 0, sizeof *response);
  }

  static ValidatorCore::Answer* liveStream(ValidatorCore& core, void* stream, const char* what) {
    auto* answer = static_cast<ValidatorCore::Answer*>(stream);
    if (core.liveStreams_.count(answer) != 0) return answer;
    const bool released = std::any_of(core.releasedAnswers_.begin(), core.releasedAnswers_.end(),
                                      [&](const auto& a) { return a.get() == answer; });
    core.violation(std::string(what) + (released ? " was called after the response was released"
                                                 : " was given a stream handle the core never handed out"));
    return nullptr;
  }

  static std::uint8_t QOR_CDECL readStream(void* stream, char* buffer, std::uint32_t* size, std::uint8_t* more) {
    ValidatorCore* core = gCore;
    core->counters_.streamReads++;
    std::lock_guard lock(core->answersMutex_);
    ValidatorCore::Answer* answer = liveStream(*core, stream, "a stream read");
    if (answer == nullptr) return 0;
    if (buffer == nullptr || size == nullptr || more == nullptr) {
      core->violation("a stream read was given a null buffer, size or more pointer");
      return 0;
    }
    if (answer->closed) {
      core->violation("a stream read came after the stream was closed");
      return 0;
    }
    if (*size == 0) {
      core->violation("a stream read offered a buffer of 0 bytes");
      return 0;
    }
    if (answer->failedRead) core->note("a stream was read again after a read had failed");
    if (answer->reads++ == answer->failAt) {
      answer->failedRead = true;
      return 0;
    }
    const std::size_t left = answer->text.size() - answer->pos;
    std::size_t chunk = std::min<std::size_t>(left, *size);
    switch (answer->rng.below(4)) {
      case 0: break;  // as much as fits
      case 1:
        if (answer->zeroChunks < kMaxZeroChunks && left != 0) {
          ++answer->zeroChunks;
          chunk = 0;
        }
        break;
      default: chunk = std::min<std::size_t>(chunk, 1 + answer->rng.below(*size)); break;
    }
    if (chunk != 0) std::memcpy(buffer, answer->text.data() + answer->pos, chunk);
    answer->pos += chunk;
    *size = static_cast<std::uint32_t>(chunk);
    *more = answer->pos < answer->text.size() ? 1 : 0;
    return 1;
  }

  static void QOR_CDECL closeStream(void* stream) {
    ValidatorCore* core = gCore;
    std::lock_guard lock(core->answersMutex_);
    ValidatorCore::Answer* answer = liveStream(*core, stream, "a stream close");
    if (answer == nullptr) return;
    if (answer->closed) core->violation("a stream was closed twice");
    answer->closed = true;
  }

  static void QOR_CDECL releaseExternal(ExternalResponse* response) {
    ValidatorCore* core = gCore;
    core->counters_.externalReleases++;
    if (response == nullptr) return core->violation("an external response release was given a null record");
    std::lock_guard lock(core->answersMutex_);
    auto it = core->externals_.find(response);
    if (it == core->externals_.end()) {
      core->violation("an external response was released twice, or a record the core never filled was released");
      return;
    }
    core->externals_.erase(it);
    std::memset(static_cast<void*>(response), 0, sizeof *response);
  }
};

// ---- Sessions ------------------------------------------------------------------

CoreSession::CoreSession(ValidatorCore& core) : core_(core) {
  table_.api = PluginCoreApi{&CoreEntries::sendRequest, &CoreEntries::sendExternalRequest,
                             &CoreEntries::sendEvent,   &CoreEntries::subscribe,
                             &CoreEntries::unsubscribe, &CoreEntries::entry5,
                             &CoreEntries::yield,       &CoreEntries::enterWait,
                             &CoreEntries::leaveWait,   &CoreEntries::log};
  table_.owner = this;
  context_.api = &table_.api;
  context_.handle = this;
}

bool CoreSession::deliver(const std::string& name, const CoreValue& payload, std::uint32_t reserved) {
  return deliverThrough(name, name, payload, reserved);
}

bool CoreSession::deliverForeign(const std::string& via, const std::string& name, const CoreValue& payload) {
  return deliverThrough(via, name, payload, 0);
}

bool CoreSession::deliverThrough(const std::string& via, const std::string& name, const CoreValue& payload,
                                 std::uint32_t reserved) {
  if (stopped_.load()) return false;
  std::shared_ptr<Subscription> subscription;
  {
    std::lock_guard lock(mutex_);
    auto it = subscriptions_.find(via);
    if (it == subscriptions_.end() || !it->second->active) return false;
    subscription = it->second;
    ++subscription->running;
  }
  core_.counters_.deliveries++;
  CoreEvent event{};
  event.name = name.c_str();
  std::memcpy(&event.payload, &payload, sizeof payload);
  event.reserved = reserved;
  event.context = subscription->context;
  tDelivering.push_back(subscription.get());
  subscription->callback(&event);
  tDelivering.pop_back();
  {
    std::lock_guard lock(mutex_);
    --subscription->running;
  }
  changed_.notify_all();
  return true;
}

std::vector<std::string> CoreSession::activeSubscriptions() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  for (const auto& [name, subscription] : subscriptions_)
    if (subscription->active) names.push_back(name);
  return names;
}

std::set<std::string> CoreSession::everSubscribed() const {
  std::lock_guard lock(mutex_);
  return everSubscribed_;
}

void CoreSession::markStopping() { stopping_.store(true); }

void CoreSession::markStopped() {
  stopped_.store(true);
  holdAnswers(false);
}

void CoreSession::holdAnswers(bool hold) {
  {
    std::lock_guard lock(mutex_);
    hold_ = hold;
  }
  changed_.notify_all();
}

std::vector<std::string> CoreSession::closingProblems() const {
  std::vector<std::string> problems;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [name, subscription] : subscriptions_)
      if (subscription->active) problems.push_back("Stop did not end the subscription of " + name);
    for (const auto& [thread, depth] : openWaits_)
      problems.push_back(std::to_string(depth) + " wait section(s) left open by EnterWait");
  }
  std::lock_guard lock(core_.answersMutex_);
  std::size_t responses = 0, externals = 0;
  for (const auto& [record, answer] : core_.answers_) responses += answer->session == this;
  for (const auto& [record, answer] : core_.externals_) externals += answer->session == this;
  if (responses != 0) problems.push_back(std::to_string(responses) + " response(s) of SendRequest never released");
  if (externals != 0)
    problems.push_back(std::to_string(externals) + " response(s) of SendExternalRequest never released");
  return problems;
}

// ---- The core --------------------------------------------------------------------

ValidatorCore::ValidatorCore(Options options) : options_(options) { gCore = this; }

ValidatorCore::~ValidatorCore() {
  // Sessions stay: a plug-in thread may still hold a table. The process ends next.
  for (auto& session : sessions_) static_cast<void>(session.release());
  if (gCore == this) gCore = nullptr;
}

ValidatorCore* ValidatorCore::current() { return gCore; }

CoreSession& ValidatorCore::openSession() {
  sessions_.push_back(std::unique_ptr<CoreSession>(new CoreSession(*this)));
  return *sessions_.back();
}

void ValidatorCore::setModel(const ApiModel* model, const Synthesizer* synthesizer) {
  model_ = model;
  synthesizer_ = synthesizer;
}

void ValidatorCore::setThreadBlockCounter(std::atomic<int>* counter) { tBlockCounter = counter; }

Random& ValidatorCore::threadRandom() {
  thread_local Random random(0);
  thread_local bool seeded = false;
  if (!seeded) {
    random.reseed(options_.seed ^ Random::hash(std::to_string(threadSeeds_.fetch_add(1))));
    seeded = true;
  }
  return random;
}

std::vector<std::string> ValidatorCore::readUris() const {
  std::lock_guard lock(storeMutex_);
  return readOrder_;
}

void ValidatorCore::setResource(const std::string& uri, std::optional<Value> value) {
  std::lock_guard lock(storeMutex_);
  store_[uri] = std::move(value);
}

std::optional<Value> ValidatorCore::resource(const std::string& uri) const {
  std::lock_guard lock(storeMutex_);
  auto it = store_.find(uri);
  return it == store_.end() ? std::nullopt : it->second;
}

void ValidatorCore::violation(const std::string& text) {
  std::lock_guard lock(findingsMutex_);
  ++violationTotal_;
  if (violations_.size() < kMaxViolations && std::find(violations_.begin(), violations_.end(), text) == violations_.end())
    violations_.push_back(text);
}

void ValidatorCore::note(const std::string& text) {
  std::lock_guard lock(findingsMutex_);
  if (notes_.size() < kMaxNotes && noteSet_.insert(text).second) notes_.push_back(text);
}

std::vector<std::string> ValidatorCore::violations() const {
  std::lock_guard lock(findingsMutex_);
  return violations_;
}

std::size_t ValidatorCore::violationCount() const {
  std::lock_guard lock(findingsMutex_);
  return violationTotal_;
}

std::vector<std::string> ValidatorCore::notes() const {
  std::lock_guard lock(findingsMutex_);
  return notes_;
}

Value ValidatorCore::storeValue(const std::string& uri, Random& rng) {
  // A GET of a URI never seen makes the store decide what it holds: nothing
  // (the plug-in sees "Not found") or a value shaped like the plug-in's records.
  std::lock_guard lock(storeMutex_);
  auto it = store_.find(uri);
  if (it == store_.end()) {
    readOrder_.push_back(uri);
    std::optional<Value> value;
    if (!storeClosed_.load() && rng.chance(60))
      value = synthesizer_ != nullptr ? synthesizer_->plausibleResource(rng) : Value::object();
    it = store_.emplace(uri, std::move(value)).first;
  } else if (std::find(readOrder_.begin(), readOrder_.end(), uri) == readOrder_.end()) {
    readOrder_.push_back(uri);
  }
  if (!it->second) {
    Value missing = Value::null();
    missing.kind = Value::kNull;
    missing.text = "\x01missing";  // marker: answer "Not found"
    return missing;
  }
  return *it->second;
}

void ValidatorCore::holdIfHeld(CoreSession& session) {
  std::unique_lock lock(session.mutex_);
  if (!session.hold_) return;
  session.blocked_.fetch_add(1);
  if (tBlockCounter != nullptr) tBlockCounter->fetch_add(1);
  session.changed_.wait_for(lock, std::chrono::milliseconds(static_cast<long long>(5000 * options_.timeScale)),
                            [&] { return !session.hold_; });
  if (tBlockCounter != nullptr) tBlockCounter->fetch_sub(1);
  session.blocked_.fetch_sub(1);
}

void ValidatorCore::lateWait(CoreSession& session, Random& rng) {
  std::unique_lock lock(session.mutex_);
  if (session.hold_) {
    // Held until the test lets go (or a time limit passes): the plug-in's
    // call is then certainly inside the plug-in, blocked in the core.
    session.blocked_.fetch_add(1);
    if (tBlockCounter != nullptr) tBlockCounter->fetch_add(1);
    session.changed_.wait_for(lock, std::chrono::milliseconds(static_cast<long long>(5000 * options_.timeScale)),
                              [&] { return !session.hold_; });
    if (tBlockCounter != nullptr) tBlockCounter->fetch_sub(1);
    session.blocked_.fetch_sub(1);
    return;
  }
  lock.unlock();
  sleepMs(1 + rng.below(options_.lateMaxMs));
}

void ValidatorCore::answerRequest(CoreSession& session, CoreResponse* response, const CoreRequest* request) {
  counters_.requests++;
  if (response == nullptr) return violation("SendRequest was given a null response record");
  if (request == nullptr) return violation("SendRequest was given a null request record");
  if (request->uri == nullptr) return violation("SendRequest was given a request without a URI");
  const std::string uri = request->uri;
  if (request->method > CORE_METHOD_OTHER) violation("SendRequest " + uri + ": method code " + std::to_string(request->method));
  if (request->argCount != 0 && request->args == nullptr)
    violation("SendRequest " + uri + ": " + std::to_string(request->argCount) + " arguments at a null pointer");
  if (request->headerCount != 0 && request->headers == nullptr)
    violation("SendRequest " + uri + ": " + std::to_string(request->headerCount) + " headers at a null pointer");
  if (request->handle != session.handle()) violation("SendRequest " + uri + ": the request's handle is not the plug-in's");
  for (std::uint32_t i = 0; request->args != nullptr && i < request->argCount; ++i) {
    CoreValue value;
    std::memcpy(&value, &request->args[i].value, sizeof value);
    const std::string problem = checkCoreValue(value);
    if (!problem.empty()) violation("SendRequest " + uri + ": argument " + std::to_string(i) + " malformed: " + problem);
  }

  Random& rng = threadRandom();
  AnswerMode mode = answerMode_.load();
  if (mode == AnswerMode::kMixed) {
    static constexpr AnswerMode kMix[] = {AnswerMode::kStore, AnswerMode::kStore, AnswerMode::kErrors,
                                          AnswerMode::kEmpty, AnswerMode::kGarbage, AnswerMode::kNested,
                                          AnswerMode::kLate, AnswerMode::kStreamed, AnswerMode::kStreamed};
    mode = rng.pick(kMix);
    if (rng.chance(3)) mode = AnswerMode::kHuge;
    if (options_.strictness >= 6 && rng.chance(5)) mode = AnswerMode::kMalformed;
  }
  if (mode == AnswerMode::kLate) {
    lateWait(session, rng);
    mode = AnswerMode::kStore;
  }

  auto answer = std::make_unique<Answer>();
  answer->session = &session;
  answer->uri = uri;
  answer->rng = rng.fork();
  std::memset(static_cast<void*>(response), 0, sizeof *response);
  fillAnswer(mode, *answer, *response, uri, request->method, rng);
  response->release = &CoreEntries::releaseResponse;
  std::lock_guard lock(answersMutex_);
  if (answer->streamed) {
    response->stream = answer.get();
    liveStreams_.insert(answer.get());
    counters_.streamsOpened++;
  }
  auto [it, fresh] = answers_.try_emplace(response);
  if (!fresh) {
    violation("SendRequest " + uri + ": the response record of an earlier request was reused before it was released");
    liveStreams_.erase(it->second.get());
    releasedAnswers_.push_back(std::move(it->second));
  }
  it->second = std::move(answer);
}

void ValidatorCore::fillAnswer(AnswerMode mode, Answer& answer, CoreResponse& response, const std::string& uri,
                               std::uint32_t method, Random& rng) {
  ValueArena& arena = *answer.arena;
  auto fail = [&](std::uint32_t status, std::string_view text) {
    response.error = const_cast<char*>(arena.text(text));
    response.hasError = 1;
    response.status = status;
  };
  switch (mode) {
    case AnswerMode::kStore:
    case AnswerMode::kLate:
    case AnswerMode::kMixed: {
      if (method != CORE_METHOD_GET && rng.chance(50)) return fail(405, "Method not allowed");
      const Value value = storeValue(uri, rng);
      if (value.kind == Value::kNull && value.text == "\x01missing") return fail(404, "Not found");
      response.body = toCoreValue(value, arena);
      response.status = 200;
      return;
    }
    case AnswerMode::kErrors:
      switch (rng.below(8)) {
        case 0: return fail(404, "Not found");
        case 1: return fail(500, "Internal error");
        case 2: return fail(503, "");
        case 3: return fail(0, "failed without a status");
        case 4: return fail(400, std::string(64 * 1024, 'e'));
        case 5: return fail(502, "\xff\xfe bad \xc0\xaf text");
        case 6:
          // An error beside a body: the error decides.
          response.body = toCoreValue(Value::ofString("ignored body"), arena);
          return fail(409, "Conflict");
        default:
          // A non-null error text means failure, whatever the flag byte says.
          response.error = const_cast<char*>(arena.text("error with the flag byte clear"));
          response.status = 500;
          return;
      }
    case AnswerMode::kEmpty:
      response.status = rng.chance(50) ? 200 : 204;
      return;
    case AnswerMode::kGarbage:
      response.body = toCoreValue(synthesizer_ != nullptr ? synthesizer_->randomTree(rng, 5, 6) : Value::null(), arena);
      response.status = rng.chance(70) ? 200 : static_cast<std::uint32_t>(rng.below(1000));
      response.sizeHint = static_cast<std::uint32_t>(rng.next());
      if (rng.chance(30)) response.responseKind = static_cast<std::uint32_t>(rng.below(10));
      return;
    case AnswerMode::kMalformed:
      if (synthesizer_ != nullptr) response.body = synthesizer_->malformed(rng, arena);
      response.status = 200;
      return;
    case AnswerMode::kNested:
      response.body = toCoreValue(Synthesizer::nested(static_cast<unsigned>(1025 + rng.below(4000)), rng.chance(50)), arena);
      response.status = 200;
      return;
    case AnswerMode::kHuge: {
      const std::size_t scale = 1 + options_.strictness / 3;
      switch (rng.below(4)) {
        case 0: {
          std::vector<CoreValue> elements(100000 * scale, ValueArena::signedNumber(7));
          response.body = arena.array(elements);
          break;
        }
        case 1: response.body = arena.string(std::string((4u << 20) * scale, 'h')); break;
        case 2: {
          std::vector<std::pair<std::string, CoreValue>> members;
          for (std::size_t i = 0; i < 30000 * scale; ++i) members.emplace_back("m" + std::to_string(i), ValueArena::boolean(true));
          response.body = arena.structure(members);
          break;
        }
        default: response.body = arena.blob(std::string((8u << 20) * scale, '\0')); break;
      }
      response.status = 200;
      return;
    }
    case AnswerMode::kStreamed: {
      answer.streamed = true;
      answer.hasClose = rng.chance(85);
      switch (rng.below(8)) {
        case 0: answer.text = "[" + std::string(3000, '[') + std::string(3001, ']'); break;
        case 1: answer.text = ""; break;
        case 2: {
          const std::size_t n = 1 + rng.below(20000);
          for (std::size_t i = 0; i < n; ++i) answer.text += static_cast<char>(rng.below(256));
          break;
        }
        case 3: answer.text = "{\"text\": \"\xff\xfe\xc0\xaf\"}"; break;
        case 4: {
          std::string whole = toJson(synthesizer_ != nullptr ? synthesizer_->plausibleResource(rng) : Value::object());
          answer.text = whole.substr(0, static_cast<std::size_t>(rng.below(whole.size() + 1)));
          break;
        }
        case 5: {
          answer.text = "[";
          const std::size_t n = 20000 + rng.below(100000);
          for (std::size_t i = 0; i < n; ++i) answer.text += i == 0 ? "1" : ",1";
          answer.text += "]";
          break;
        }
        default:
          answer.text = toJson(synthesizer_ != nullptr ? synthesizer_->plausibleResource(rng) : Value::object());
          break;
      }
      if (rng.chance(25)) answer.failAt = static_cast<int>(rng.below(4));
      switch (rng.below(4)) {
        case 0: response.sizeHint = 0; break;
        case 1: response.sizeHint = 0xFFFFFFFFu; break;
        case 2: response.sizeHint = static_cast<std::uint32_t>(rng.next()); break;
        default: response.sizeHint = static_cast<std::uint32_t>(answer.text.size()); break;
      }
      // A body beside the stream: the stream decides.
      if (rng.chance(30)) response.body = arena.string("not the body");
      response.read = &CoreEntries::readStream;
      response.close = answer.hasClose ? &CoreEntries::closeStream : nullptr;
      response.status = 200;
      return;
    }
  }
}

void ValidatorCore::answerExternal(CoreSession& session, ExternalResponse* response, const ExternalRequest* request) {
  counters_.externalRequests++;
  if (response == nullptr) return violation("SendExternalRequest was given a null response record");
  if (request == nullptr) return violation("SendExternalRequest was given a null request record");
  if (request->url == nullptr) return violation("SendExternalRequest was given a request without a URL");
  const std::string url = request->url;
  if (request->method > CORE_METHOD_OTHER)
    violation("SendExternalRequest " + url + ": method code " + std::to_string(request->method));
  if (request->headerCount != 0 && request->headers == nullptr)
    violation("SendExternalRequest " + url + ": headers counted at a null pointer");
  for (std::uint32_t i = 0; request->headers != nullptr && i < request->headerCount; ++i) {
    if (request->headers[i].name == nullptr || request->headers[i].value == nullptr)
      violation("SendExternalRequest " + url + ": header " + std::to_string(i) + " has a null name or value");
  }
  if (request->bodySize != 0 && request->body == nullptr)
    violation("SendExternalRequest " + url + ": a body of " + std::to_string(request->bodySize) + " bytes at a null pointer");

  Random& rng = threadRandom();
  ExternalMode mode = externalMode_.load();
  if (mode == ExternalMode::kMixed) {
    static constexpr ExternalMode kMix[] = {ExternalMode::kNormal, ExternalMode::kFailures, ExternalMode::kGarbage,
                                            ExternalMode::kNullBlocks, ExternalMode::kLate};
    mode = rng.pick(kMix);
    if (rng.chance(3)) mode = ExternalMode::kHuge;
  }
  if (mode == ExternalMode::kLate) {
    lateWait(session, rng);
    mode = ExternalMode::kNormal;
  }
  auto answer = std::make_unique<ExternalAnswer>();
  answer->session = &session;
  ValueArena& arena = answer->arena;
  std::memset(static_cast<void*>(response), 0, sizeof *response);
  auto setBody = [&](const std::string& body) {
    response->body = arena.bytes(body);
    response->bodySize = static_cast<std::uint32_t>(body.size());
  };
  std::vector<CoreHeader> headers;
  auto setHeaders = [&](const std::vector<std::pair<std::string, std::string>>& list) {
    for (const auto& [name, value] : list) headers.push_back(CoreHeader{arena.text(name), arena.text(value)});
  };
  switch (mode) {
    case ExternalMode::kNormal:
    case ExternalMode::kLate:
    case ExternalMode::kMixed:
      response->outcome = CORE_OUTCOME_OK;
      response->status = 200;
      setHeaders({{"content-type", "application/json"}, {"x-request-id", std::to_string(rng.below(100000))}});
      setBody(toJson(synthesizer_ != nullptr ? synthesizer_->plausibleResource(rng) : Value::object()));
      break;
    case ExternalMode::kFailures: {
      static constexpr std::int32_t kOutcomes[] = {CORE_OUTCOME_CANCELLED, CORE_OUTCOME_FAILED, CORE_OUTCOME_TIMED_OUT, 5,
                                                   INT32_MIN, INT32_MAX};
      response->outcome = rng.pick(kOutcomes);
      response->status = static_cast<std::int32_t>(rng.between(-5, 999));
      if (rng.chance(70)) setBody(rng.chance(20) ? std::string("\xff\xfe") : std::string("connection refused"));
      break;
    }
    case ExternalMode::kGarbage: {
      response->outcome = CORE_OUTCOME_OK;
      static constexpr std::int32_t kStatuses[] = {0, 99, 204, 301, 404, 500, 600, -5, INT32_MAX};
      response->status = rng.pick(kStatuses);
      setHeaders({{"", ""}, {"x-\xff", "\xc0\xaf"}, {std::string(300, 'h'), std::string(5000, 'v')}});
      std::string body;
      const std::size_t n = rng.below(5000);
      for (std::size_t i = 0; i < n; ++i) body += static_cast<char>(rng.below(256));
      setBody(body);
      break;
    }
    case ExternalMode::kNullBlocks:
      response->outcome = CORE_OUTCOME_OK;
      response->status = 200;
      if (rng.chance(60)) response->headerCount = 3;
      if (rng.chance(60) || response->headerCount == 0) response->bodySize = 100;
      break;
    case ExternalMode::kHuge: {
      response->outcome = CORE_OUTCOME_OK;
      response->status = 200;
      std::vector<std::pair<std::string, std::string>> list;
      for (int i = 0; i < 10000; ++i) list.emplace_back("h" + std::to_string(i), "v");
      setHeaders(list);
      setBody(std::string(8u << 20, 'b'));
      break;
    }
  }
  if (!headers.empty()) {
    // The header block lives as long as the answer's arena.
    const std::string block(reinterpret_cast<const char*>(headers.data()), headers.size() * sizeof(CoreHeader));
    response->headers = reinterpret_cast<const CoreHeader*>(arena.bytes(block));
    response->headerCount = static_cast<std::uint32_t>(headers.size());
  }
  response->release = &CoreEntries::releaseExternal;
  std::lock_guard lock(answersMutex_);
  auto [it, fresh] = externals_.try_emplace(response);
  if (!fresh)
    violation("SendExternalRequest " + url + ": the response record of an earlier request was reused before it was released");
  it->second = std::move(answer);
}

}  // namespace qor::validator
