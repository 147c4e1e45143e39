// CoreSession: what the validator's core gives one load of the plug-in: its
// own entry table, context and handle, its subscriptions and open wait
// sections, and its link to the core. Sessions live until the process ends,
// so a plug-in thread that calls after Stop, or after the core itself is
// gone, still meets a live table: the first is reported to the core, the
// second is recorded in the session (callsWithoutCore) and answered with
// nothing.
#pragma once

#include "PluginAbi.h"
#include "validator/Random.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace qor::validator {

class ValidatorCore;

class CoreSession {
 public:
  const PluginCoreContext* context() const { return &context_; }
  void* handle() const { return const_cast<CoreSession*>(this); }

  // The core for the length of one call; empty once the core is gone. The
  // core waits for every access to end before it goes.
  class CoreAccess {
   public:
    CoreAccess() = default;  // no core
    CoreAccess(CoreAccess&& other) noexcept : session_(other.session_), core_(other.core_) { other.core_ = nullptr; }
    CoreAccess(const CoreAccess&) = delete;
    CoreAccess& operator=(const CoreAccess&) = delete;
    CoreAccess& operator=(CoreAccess&&) = delete;
    ~CoreAccess();
    explicit operator bool() const { return core_ != nullptr; }
    ValidatorCore* operator->() const { return core_; }
    ValidatorCore& operator*() const { return *core_; }

   private:
    friend class CoreSession;
    CoreAccess(CoreSession* session, ValidatorCore* core) : session_(session), core_(core) {}
    CoreSession* session_ = nullptr;
    ValidatorCore* core_ = nullptr;
  };
  // The core, for a call of `what` (an entry's name); when the core is gone
  // the call is recorded in callsWithoutCore() and the access is empty. A
  // null `what` is the validator's own reach: nothing is recorded.
  CoreAccess reachCore(const char* what);
  // What the plug-in called after the core was gone: the names, each once.
  std::vector<std::string> callsWithoutCore() const;
  std::uint64_t callsWithoutCoreCount() const { return callsWithoutCore_.load(); }

  // Delivers an event through the plug-in's active subscription of `name`,
  // on the calling thread; false when there is none. Deliveries may run on
  // many threads at once, also for one subscription.
  bool deliver(const std::string& name, const CoreValue& payload, std::uint32_t reserved = 0);
  // Delivers through the subscription `via` an event that carries another
  // name (a plug-in must ignore names it did not subscribe).
  bool deliverForeign(const std::string& via, const std::string& name, const CoreValue& payload);
  std::vector<std::string> activeSubscriptions() const;
  std::set<std::string> everSubscribed() const;

  // Stop: the core calls it after markStopping; markStopped once it returned.
  void markStopping();
  void markStopped();
  bool stopped() const { return stopped_.load(); }

  // What must hold once Stop has returned: every subscription ended, every
  // response released and its stream closed, no wait section open.
  std::vector<std::string> closingProblems() const;

  // While holding is on, every request, event and log line of this session
  // waits in the core until released (or a time limit); blockedInCore counts
  // the threads waiting so.
  void holdAnswers(bool hold);
  int blockedInCore() const { return blocked_.load(); }

  // While a late answer holds the calling thread, `counter` is raised by one
  // (a test's caller threads register theirs to learn that their call is
  // blocked inside the plug-in, in the core). Null unregisters.
  static void setThreadBlockCounter(std::atomic<int>* counter);

 private:
  friend class ValidatorCore;
  friend struct CoreEntries;
  struct Subscription {
    std::string name;
    CoreEventCallback callback = nullptr;
    void* context = nullptr;
    std::uint32_t flags = 0;
    bool active = false;
    int running = 0;
  };
  struct Table {
    PluginCoreApi api;  // first: the entries find the session from the table pointer
    CoreSession* owner;
  };

  CoreSession(ValidatorCore& core, double timeScale);
  // The core is going: waits until no call is inside it; later calls meet no core.
  void detachCore();
  bool deliverThrough(const std::string& via, const std::string& name, const CoreValue& payload,
                      std::uint32_t reserved);
  // Holds the calling thread while answers are held (events and log lines
  // wait like requests); returns at once otherwise.
  void holdIfHeld();
  // A late answer's wait: held while answers are held, else 1 to maxMs ms.
  void lateWait(Random& rng, unsigned maxMs);
  // Waits on `lock` (of mutex_) while answers are held, counting the thread as blocked.
  void waitWhileHeld(std::unique_lock<std::mutex>& lock);
  // How many deliveries of `subscription` run on the calling thread (the
  // plug-in unsubscribing from inside its own callback).
  static int deliveriesOnThisThread(const Subscription* subscription);

  Table table_{};
  PluginCoreContext context_{};
  const double timeScale_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> stopped_{false};

  mutable std::mutex linkMutex_;
  std::condition_variable linkChanged_;
  ValidatorCore* core_;  // null once the core is gone
  int callsInCore_ = 0;
  std::atomic<std::uint64_t> callsWithoutCore_{0};
  std::set<std::string> callsWithoutCoreNames_;  // under linkMutex_

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::shared_ptr<Subscription>> subscriptions_;
  std::set<std::string> everSubscribed_;
  std::map<std::string, int> openWaits_;  // thread id text -> depth
  bool hold_ = false;
  std::atomic<int> blocked_{0};
};

}  // namespace qor::validator
