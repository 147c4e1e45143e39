// CoreEntries: the core's entries and the checks of what a plug-in passes them.
#include "validator/CoreEntries.h"

#include "protocol/CoreEventName.h"
#include "validator/AnswerBook.h"
#include "validator/CoreValues.h"
#include "validator/TypeCheck.h"
#include "validator/ValidatorCore.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

namespace qor::validator {
namespace {

constexpr unsigned kMaxZeroChunks = 3;

std::string threadKey() {
  std::ostringstream out;
  out << std::this_thread::get_id();
  return out.str();
}

void QOR_CDECL releaseNothing(CoreResponse* response) {
  if (response != nullptr) std::memset(static_cast<void*>(response), 0, sizeof *response);
}

}  // namespace

PluginCoreApi CoreEntries::table() {
  return PluginCoreApi{&sendRequest, &sendExternalRequest, &sendEvent, &subscribe, &unsubscribe,
                       &entry5,      &yield,               &enterWait, &leaveWait, &log};
}

// ---- Finding the session and the core ---------------------------------------------------

CoreSession::CoreAccess CoreEntries::reach(CoreSession* owner, const char* what) {
  if (owner == nullptr) owner = AnswerBook::process().newestSession();
  return owner != nullptr ? owner->reachCore(what) : CoreSession::CoreAccess();
}

CoreEntries::Call CoreEntries::enter(const PluginCoreApi* api, const char* entry) {
  if (api == nullptr) {
    // No table, no session: the newest session's core hears of it.
    if (CoreSession::CoreAccess core = reach(nullptr, entry))
      core->violation(std::string(entry) + " was called with a null table pointer");
    return Call{};
  }
  CoreSession* session = reinterpret_cast<const CoreSession::Table*>(api)->owner;
  Call call{session, session->reachCore(entry)};
  if (call.core && session->stopped_.load()) call.core->violation(std::string(entry) + " was called after Stop returned");
  return call;
}

void CoreEntries::checkHandle(ValidatorCore& core, CoreSession& session, void* handle, const char* entry) {
  if (handle != session.handle()) core.violation(std::string(entry) + " was given a handle that is not the plug-in's");
}

void CoreEntries::answerWithoutCore(CoreResponse* response) {
  if (response == nullptr) return;
  static char kGone[] = "the core is gone";
  std::memset(static_cast<void*>(response), 0, sizeof *response);
  response->error = kGone;
  response->hasError = 1;
  response->status = 503;
  response->release = &releaseNothing;
}

// ---- Requests ----------------------------------------------------------------------------

bool CoreEntries::checkRequest(ValidatorCore& core, CoreSession& session, CoreResponse* response,
                               const CoreRequest* request) {
  core.counters_.requests++;
  if (response == nullptr) return core.violation("SendRequest was given a null response record"), false;
  if (request == nullptr) return core.violation("SendRequest was given a null request record"), false;
  if (request->uri == nullptr) return core.violation("SendRequest was given a request without a URI"), false;
  const std::string uri = request->uri;
  if (request->method > CORE_METHOD_OTHER) core.violation("SendRequest " + uri + ": method code " + std::to_string(request->method));
  if (request->argCount != 0 && request->args == nullptr)
    core.violation("SendRequest " + uri + ": " + std::to_string(request->argCount) + " arguments at a null pointer");
  if (request->headerCount != 0 && request->headers == nullptr)
    core.violation("SendRequest " + uri + ": " + std::to_string(request->headerCount) + " headers at a null pointer");
  if (request->handle != session.handle()) core.violation("SendRequest " + uri + ": the request's handle is not the plug-in's");
  for (std::uint32_t i = 0; request->args != nullptr && i < request->argCount; ++i) {
    CoreValue value;
    std::memcpy(&value, &request->args[i].value, sizeof value);
    const std::string problem = checkCoreValue(value);
    if (!problem.empty()) core.violation("SendRequest " + uri + ": argument " + std::to_string(i) + " malformed: " + problem);
  }
  return true;
}

void QOR_CDECL CoreEntries::sendRequest(const PluginCoreApi* api, CoreResponse* response, const CoreRequest* request) {
  Call call = enter(api, "SendRequest");
  if (!call) {
    if (call.session != nullptr) answerWithoutCore(response);
    return;
  }
  if (checkRequest(*call.core, *call.session, response, request)) call.core->answerRequest(*call.session, *response, *request);
}

bool CoreEntries::checkExternalRequest(ValidatorCore& core, ExternalResponse* response, const ExternalRequest* request) {
  core.counters_.externalRequests++;
  if (response == nullptr) return core.violation("SendExternalRequest was given a null response record"), false;
  if (request == nullptr) return core.violation("SendExternalRequest was given a null request record"), false;
  if (request->url == nullptr) return core.violation("SendExternalRequest was given a request without a URL"), false;
  const std::string url = request->url;
  if (request->method > CORE_METHOD_OTHER)
    core.violation("SendExternalRequest " + url + ": method code " + std::to_string(request->method));
  if (request->headerCount != 0 && request->headers == nullptr)
    core.violation("SendExternalRequest " + url + ": headers counted at a null pointer");
  for (std::uint32_t i = 0; request->headers != nullptr && i < request->headerCount; ++i) {
    if (request->headers[i].name == nullptr || request->headers[i].value == nullptr)
      core.violation("SendExternalRequest " + url + ": header " + std::to_string(i) + " has a null name or value");
  }
  if (request->bodySize != 0 && request->body == nullptr)
    core.violation("SendExternalRequest " + url + ": a body of " + std::to_string(request->bodySize) + " bytes at a null pointer");
  return true;
}

void QOR_CDECL CoreEntries::sendExternalRequest(const PluginCoreApi* api, ExternalResponse* response,
                                                const ExternalRequest* request) {
  Call call = enter(api, "SendExternalRequest");
  if (!call) {
    if (call.session != nullptr && response != nullptr) {
      // A transport failure with nothing to release.
      std::memset(static_cast<void*>(response), 0, sizeof *response);
      response->outcome = CORE_OUTCOME_FAILED;
    }
    return;
  }
  if (checkExternalRequest(*call.core, response, request))
    call.core->answerExternal(*call.session, *response, *request);
}

// ---- Events ------------------------------------------------------------------------------

void CoreEntries::checkEvent(ValidatorCore& core, const CoreEvent* event) {
  core.counters_.eventsSent++;
  if (event == nullptr) return core.violation("SendEvent was given a null event record");
  if (event->name == nullptr || event->name[0] == '\0') return core.violation("SendEvent was given an event without a name");
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
  if (declared == nullptr && name.rfind(kResourceEventName, 0) == 0) declared = model->findEvent(kResourceEventName);
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

void QOR_CDECL CoreEntries::sendEvent(const PluginCoreApi* api, const CoreEvent* event) {
  Call call = enter(api, "SendEvent");
  if (!call) return;
  checkEvent(*call.core, event);
  call.session->holdIfHeld();
}

void QOR_CDECL CoreEntries::subscribe(const PluginCoreApi* api, const char* eventName, void* handle,
                                      CoreEventCallback callback, void* context, std::uint32_t flags) {
  Call call = enter(api, "Subscribe");
  if (!call) return;
  ValidatorCore& core = *call.core;
  CoreSession& session = *call.session;
  core.counters_.subscribes++;
  checkHandle(core, session, handle, "Subscribe");
  if (eventName == nullptr || eventName[0] == '\0') return core.violation("Subscribe was given no event name");
  if (callback == nullptr) return core.violation(std::string("Subscribe ") + eventName + " was given no callback");
  if (flags > CORE_SUBSCRIBE_SERVICE_PROXY)
    core.note(std::string("Subscribe ") + eventName + " used flags " + std::to_string(flags));
  std::lock_guard lock(session.mutex_);
  auto& slot = session.subscriptions_[eventName];
  if (slot && slot->active) core.note(std::string("the plug-in subscribed ") + eventName + " twice without unsubscribing");
  auto subscription = std::make_shared<CoreSession::Subscription>();
  subscription->name = eventName;
  subscription->callback = callback;
  subscription->context = context;
  subscription->flags = flags;
  subscription->active = true;
  slot = std::move(subscription);
  session.everSubscribed_.insert(eventName);
}

void QOR_CDECL CoreEntries::unsubscribe(const PluginCoreApi* api, const char* eventName, void* handle) {
  Call call = enter(api, "Unsubscribe");
  if (!call) return;
  ValidatorCore& core = *call.core;
  CoreSession& session = *call.session;
  core.counters_.unsubscribes++;
  checkHandle(core, session, handle, "Unsubscribe");
  if (eventName == nullptr) return core.violation("Unsubscribe was given no event name");
  std::unique_lock lock(session.mutex_);
  auto it = session.subscriptions_.find(eventName);
  if (it == session.subscriptions_.end() || !it->second->active) {
    core.note(std::string("the plug-in unsubscribed ") + eventName + ", which it had not subscribed");
    return;
  }
  std::shared_ptr<CoreSession::Subscription> subscription = it->second;
  subscription->active = false;
  session.subscriptions_.erase(it);
  // No callback begins after Unsubscribe returns: wait for the running
  // ones, except those on this very thread (the plug-in unsubscribing from
  // inside its own callback).
  const int own = CoreSession::deliveriesOnThisThread(subscription.get());
  const auto limit = std::chrono::milliseconds(static_cast<long long>(20000 * core.options_.timeScale));
  if (!session.changed_.wait_for(lock, limit, [&] { return subscription->running <= own; }))
    core.violation(std::string("Unsubscribe ") + eventName + " waited " + std::to_string(limit.count() / 1000) +
                   " s for a delivery of it to end");
}

// ---- The other entries ---------------------------------------------------------------------

void QOR_CDECL CoreEntries::entry5(const PluginCoreApi* api, std::uint32_t, std::uint32_t, std::uint32_t, double,
                                   std::uint32_t) {
  Call call = enter(api, "entry 5");
  if (call) call.core->note("the plug-in called core entry 5, which no plug-in calls");
}

void QOR_CDECL CoreEntries::yield(const PluginCoreApi* api) {
  Call call = enter(api, "Yield");
  if (!call) return;
  call.core->counters_.yields++;
  std::this_thread::yield();
}

void QOR_CDECL CoreEntries::enterWait(const PluginCoreApi* api, const char* label, std::uint32_t zero) {
  Call call = enter(api, "EnterWait");
  if (!call) return;
  ValidatorCore& core = *call.core;
  core.counters_.waits++;
  if (label == nullptr) core.violation("EnterWait was given no label");
  if (zero != 0) core.note("EnterWait was given " + std::to_string(zero) + " where 0 belongs");
  std::lock_guard lock(call.session->mutex_);
  ++call.session->openWaits_[threadKey()];
}

void QOR_CDECL CoreEntries::leaveWait(const PluginCoreApi* api) {
  Call call = enter(api, "LeaveWait");
  if (!call) return;
  CoreSession& session = *call.session;
  std::lock_guard lock(session.mutex_);
  auto it = session.openWaits_.find(threadKey());
  if (it == session.openWaits_.end() || it->second == 0) {
    call.core->violation("LeaveWait without an open wait section on that thread");
    return;
  }
  if (--it->second == 0) session.openWaits_.erase(it);
}

void QOR_CDECL CoreEntries::log(const PluginCoreApi* api, std::int32_t level, const char* message) {
  Call call = enter(api, "Log");
  if (!call) return;
  ValidatorCore& core = *call.core;
  core.counters_.logs++;
  if (level < CORE_LOG_OKAY || level > CORE_LOG_ALWAYS) core.violation("Log was given level " + std::to_string(level));
  if (message == nullptr) return core.violation("Log was given a null message");
  static_cast<void>(std::strlen(message));
  call.session->holdIfHeld();
}

// ---- Functions the core hands out ----------------------------------------------------------
// The book's lock is held while the core is reached and told: a release and
// a read of one record never interleave.

void QOR_CDECL CoreEntries::releaseResponse(CoreResponse* response) {
  AnswerBook& book = AnswerBook::process();
  std::lock_guard lock(book.mutex());
  std::unique_ptr<Answer> answer = response != nullptr ? book.take(response) : nullptr;
  const bool found = answer != nullptr;
  CoreSession::CoreAccess core = reach(found ? answer->session : nullptr, "a response release");
  if (core) core->counters_.releases++;
  if (found) {
    if (core && answer->streamed && answer->hasClose && !answer->closed)
      core->violation("the streamed response of " + answer->uri + " was released without closing its stream");
    book.keepReleased(std::move(answer));
    std::memset(static_cast<void*>(response), 0, sizeof *response);
    return;
  }
  if (!core) return;
  if (response == nullptr) return core->violation("a response release was given a null record");
  core->violation("a response was released twice, or a record the core never filled was released");
}

std::uint8_t CoreEntries::readChunk(ValidatorCore& core, Answer& answer, char* buffer, std::uint32_t* size,
                                    std::uint8_t* more) {
  if (buffer == nullptr || size == nullptr || more == nullptr) {
    core.violation("a stream read was given a null buffer, size or more pointer");
    return 0;
  }
  if (answer.closed) {
    core.violation("a stream read came after the stream was closed");
    return 0;
  }
  if (*size == 0) {
    core.violation("a stream read offered a buffer of 0 bytes");
    return 0;
  }
  if (answer.failedRead) core.note("a stream was read again after a read had failed");
  if (answer.reads++ == answer.failAt) {
    answer.failedRead = true;
    return 0;
  }
  const std::size_t left = answer.text.size() - answer.pos;
  std::size_t chunk = std::min<std::size_t>(left, *size);
  switch (answer.rng.below(4)) {
    case 0: break;  // as much as fits
    case 1:
      if (answer.zeroChunks < kMaxZeroChunks && left != 0) {
        ++answer.zeroChunks;
        chunk = 0;
      }
      break;
    default: chunk = std::min<std::size_t>(chunk, 1 + answer.rng.below(*size)); break;
  }
  if (chunk != 0) std::memcpy(buffer, answer.text.data() + answer.pos, chunk);
  answer.pos += chunk;
  *size = static_cast<std::uint32_t>(chunk);
  *more = answer.pos < answer.text.size() ? 1 : 0;
  return 1;
}

std::uint8_t QOR_CDECL CoreEntries::readStream(void* stream, char* buffer, std::uint32_t* size, std::uint8_t* more) {
  AnswerBook& book = AnswerBook::process();
  std::lock_guard lock(book.mutex());
  bool released = false;
  CoreSession* owner = nullptr;
  Answer* answer = book.liveStream(stream, released, owner);
  CoreSession::CoreAccess core = reach(owner, "a stream read");
  if (!core) return 0;
  core->counters_.streamReads++;
  if (answer == nullptr) {
    core->violation(released ? "a stream read was called after the response was released"
                             : "a stream read was given a stream handle the core never handed out");
    return 0;
  }
  return readChunk(*core, *answer, buffer, size, more);
}

void QOR_CDECL CoreEntries::closeStream(void* stream) {
  AnswerBook& book = AnswerBook::process();
  std::lock_guard lock(book.mutex());
  bool released = false;
  CoreSession* owner = nullptr;
  Answer* answer = book.liveStream(stream, released, owner);
  CoreSession::CoreAccess core = reach(owner, "a stream close");
  if (answer != nullptr) {
    if (core && answer->closed) core->violation("a stream was closed twice");
    answer->closed = true;
    return;
  }
  if (core)
    core->violation(released ? "a stream close was called after the response was released"
                             : "a stream close was given a stream handle the core never handed out");
}

void QOR_CDECL CoreEntries::releaseExternal(ExternalResponse* response) {
  AnswerBook& book = AnswerBook::process();
  std::lock_guard lock(book.mutex());
  std::unique_ptr<ExternalAnswer> answer = response != nullptr ? book.takeExternal(response) : nullptr;
  CoreSession::CoreAccess core = reach(answer != nullptr ? answer->session : nullptr, "an external response release");
  if (answer != nullptr) std::memset(static_cast<void*>(response), 0, sizeof *response);
  if (!core) return;
  core->counters_.externalReleases++;
  if (response == nullptr) return core->violation("an external response release was given a null record");
  if (answer == nullptr)
    core->violation("an external response was released twice, or a record the core never filled was released");
}

}  // namespace qor::validator
