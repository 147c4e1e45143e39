// CoreSession: one load's table, subscriptions, deliveries, waits and link
// to the core.
#include "validator/CoreSession.h"

#include "validator/AnswerBook.h"
#include "validator/CoreEntries.h"
#include "validator/ValidatorCore.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace qor::validator {
namespace {

constexpr std::size_t kMaxCallsWithoutCoreNames = 16;

// The counter a test's thread registered (see setThreadBlockCounter).
thread_local std::atomic<int>* tBlockCounter = nullptr;

// Subscriptions whose callback runs on this thread, innermost last.
thread_local std::vector<const void*> tDelivering;

}  // namespace

CoreSession::CoreSession(ValidatorCore& core, double timeScale) : timeScale_(timeScale), core_(&core) {
  table_.api = CoreEntries::table();
  table_.owner = this;
  context_.api = &table_.api;
  context_.handle = this;
}

// ---- The link to the core ----------------------------------------------------------

CoreSession::CoreAccess::~CoreAccess() {
  if (core_ == nullptr) return;
  std::lock_guard lock(session_->linkMutex_);
  if (--session_->callsInCore_ == 0) session_->linkChanged_.notify_all();
}

CoreSession::CoreAccess CoreSession::reachCore(const char* what) {
  std::lock_guard lock(linkMutex_);
  if (core_ == nullptr) {
    if (what == nullptr) return CoreAccess(this, nullptr);
    callsWithoutCore_++;
    if (callsWithoutCoreNames_.size() < kMaxCallsWithoutCoreNames) callsWithoutCoreNames_.insert(what);
    return CoreAccess(this, nullptr);
  }
  ++callsInCore_;
  return CoreAccess(this, core_);
}

void CoreSession::detachCore() {
  std::unique_lock lock(linkMutex_);
  linkChanged_.wait(lock, [&] { return callsInCore_ == 0; });
  core_ = nullptr;
}

std::vector<std::string> CoreSession::callsWithoutCore() const {
  std::lock_guard lock(linkMutex_);
  return {callsWithoutCoreNames_.begin(), callsWithoutCoreNames_.end()};
}

// ---- Deliveries ----------------------------------------------------------------------

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
  if (CoreAccess core = reachCore(nullptr)) core->counters().deliveries++;
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

int CoreSession::deliveriesOnThisThread(const Subscription* subscription) {
  return static_cast<int>(std::count(tDelivering.begin(), tDelivering.end(), subscription));
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

// ---- Stop and what must hold after it ----------------------------------------------------

void CoreSession::markStopping() { stopping_.store(true); }

void CoreSession::markStopped() {
  stopped_.store(true);
  holdAnswers(false);
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
  AnswerBook& book = AnswerBook::process();
  std::lock_guard lock(book.mutex());
  const std::size_t responses = book.openAnswers(this), externals = book.openExternals(this);
  if (responses != 0) problems.push_back(std::to_string(responses) + " response(s) of SendRequest never released");
  if (externals != 0)
    problems.push_back(std::to_string(externals) + " response(s) of SendExternalRequest never released");
  return problems;
}

// ---- Held and late answers ----------------------------------------------------------------

void CoreSession::holdAnswers(bool hold) {
  {
    std::lock_guard lock(mutex_);
    hold_ = hold;
  }
  changed_.notify_all();
}

void CoreSession::setThreadBlockCounter(std::atomic<int>* counter) { tBlockCounter = counter; }

void CoreSession::waitWhileHeld(std::unique_lock<std::mutex>& lock) {
  blocked_.fetch_add(1);
  if (tBlockCounter != nullptr) tBlockCounter->fetch_add(1);
  changed_.wait_for(lock, std::chrono::milliseconds(static_cast<long long>(5000 * timeScale_)), [&] { return !hold_; });
  if (tBlockCounter != nullptr) tBlockCounter->fetch_sub(1);
  blocked_.fetch_sub(1);
}

void CoreSession::holdIfHeld() {
  std::unique_lock lock(mutex_);
  if (hold_) waitWhileHeld(lock);
}

void CoreSession::lateWait(Random& rng, unsigned maxMs) {
  std::unique_lock lock(mutex_);
  if (hold_) {
    // Held until the test lets go (or a time limit passes): the plug-in's
    // call is then certainly inside the plug-in, blocked in the core.
    waitWhileHeld(lock);
    return;
  }
  lock.unlock();
  std::this_thread::sleep_for(std::chrono::milliseconds(1 + rng.below(maxMs)));
}

}  // namespace qor::validator
