// ValidatorCore: the demanding core the validator plays against a plug-in.
// It implements the ten core entries and checks every argument the plug-in
// passes to them; it answers requests in a chosen manner (from a resource
// store, or with errors, empty, garbage, malformed, deeply nested or huge
// bodies, late, or streamed in random chunks); it keeps the plug-in's
// subscriptions and delivers events through them; and it records every
// breach of the protocol as a violation that fails the running test.
//
// One core per test process. Each load of the plug-in gets a CoreSession:
// its own table, context and handle, kept until the process ends, so a
// plug-in that calls after Stop meets a live table and is reported.
#pragma once

#include "PluginAbi.h"
#include "validator/ApiModel.h"
#include "validator/Random.h"
#include "validator/Value.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qor::validator {

class Synthesizer;
class ValidatorCore;

// How SendRequest answers.
enum class AnswerMode {
  kStore,      // from the resource store: the value, or "Not found" with 404
  kErrors,     // every request fails: error texts of every sort and status codes
  kEmpty,      // success with an empty body
  kGarbage,    // success with random value trees (odd strings, odd numbers)
  kMalformed,  // success with records that break the record rules
  kNested,     // success with bodies nested past any reader's limit
  kHuge,       // success with huge arrays, structures, strings and blobs
  kLate,       // the store's answer, after a delay
  kStreamed,   // a streamed body in random chunk sizes (some failing)
  kMixed,      // each request picks one of the above
};

// How SendExternalRequest answers.
enum class ExternalMode {
  kNormal,      // outcome 0, status 200, a JSON body
  kFailures,    // transport failures of every outcome, odd statuses
  kGarbage,     // success with garbage headers and bodies
  kNullBlocks,  // counts with null pointers
  kHuge,        // huge bodies and header lists
  kLate,        // normal, after a delay
  kMixed,
};

const char* answerModeName(AnswerMode mode);
const char* externalModeName(ExternalMode mode);

struct CoreCounters {
  std::atomic<std::uint64_t> requests{0}, externalRequests{0}, eventsSent{0}, subscribes{0},
      unsubscribes{0}, deliveries{0}, logs{0}, yields{0}, waits{0}, streamsOpened{0},
      streamReads{0}, releases{0}, externalReleases{0};
};

class CoreSession {
 public:
  const PluginCoreContext* context() const { return &context_; }
  void* handle() const { return const_cast<CoreSession*>(this); }

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

  explicit CoreSession(ValidatorCore& core);
  bool deliverThrough(const std::string& via, const std::string& name, const CoreValue& payload,
                      std::uint32_t reserved);

  ValidatorCore& core_;
  Table table_{};
  PluginCoreContext context_{};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> stopped_{false};

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::shared_ptr<Subscription>> subscriptions_;
  std::set<std::string> everSubscribed_;
  std::map<std::string, int> openWaits_;  // thread id text -> depth
  bool hold_ = false;
  std::atomic<int> blocked_{0};
};

class ValidatorCore {
 public:
  struct Options {
    unsigned strictness = 5;
    std::uint64_t seed = 1;
    unsigned lateMaxMs = 40;
    double timeScale = 1;
  };
  explicit ValidatorCore(Options options);
  ~ValidatorCore();
  ValidatorCore(const ValidatorCore&) = delete;
  ValidatorCore& operator=(const ValidatorCore&) = delete;

  // The process's core (set by the constructor).
  static ValidatorCore* current();

  // A new session (table, context, handle); lives until the process ends.
  CoreSession& openSession();

  // The plug-in's API, once read: answers and checks use its types.
  void setModel(const ApiModel* model, const Synthesizer* synthesizer);
  const ApiModel* model() const { return model_; }

  void setAnswerMode(AnswerMode mode) { answerMode_.store(mode); }
  void setExternalMode(ExternalMode mode) { externalMode_.store(mode); }
  AnswerMode answerMode() const { return answerMode_.load(); }

  // ---- Resources ----
  // URIs the plug-in has read with GET, in first-read order.
  std::vector<std::string> readUris() const;
  // Sets (or, with nullopt, removes) the value the store answers for `uri`.
  void setResource(const std::string& uri, std::optional<Value> value);
  // The value the store holds for `uri`, if any.
  std::optional<Value> resource(const std::string& uri) const;
  // Closed: a URI the store never heard of is "Not found" (a resource file
  // was given); open: the store makes up what such a URI holds.
  void closeStore() { storeClosed_.store(true); }

  // ---- Findings ----
  void violation(const std::string& text);
  void note(const std::string& text);
  std::vector<std::string> violations() const;
  std::size_t violationCount() const;
  std::vector<std::string> notes() const;
  CoreCounters& counters() { return counters_; }

  // While a late answer holds the calling thread, `counter` is raised by one
  // (a test's caller threads register theirs to learn that their call is
  // blocked inside the plug-in, in the core). Null unregisters.
  static void setThreadBlockCounter(std::atomic<int>* counter);

  // A generator for the calling thread, seeded from the run's seed.
  Random& threadRandom();
  const Options& options() const { return options_; }

 private:
  friend struct CoreEntries;
  friend class CoreSession;
  struct Answer;
  struct ExternalAnswer;

  void answerRequest(CoreSession& session, CoreResponse* response, const CoreRequest* request);
  void fillAnswer(AnswerMode mode, Answer& answer, CoreResponse& response, const std::string& uri,
                  std::uint32_t method, Random& rng);
  void answerExternal(CoreSession& session, ExternalResponse* response, const ExternalRequest* request);
  Value storeValue(const std::string& uri, Random& rng);
  void lateWait(CoreSession& session, Random& rng);
  // Holds the calling thread while the session's answers are held (events
  // and log lines wait like requests); returns at once otherwise.
  void holdIfHeld(CoreSession& session);

  Options options_;
  const ApiModel* model_ = nullptr;
  const Synthesizer* synthesizer_ = nullptr;
  std::atomic<AnswerMode> answerMode_{AnswerMode::kStore};
  std::atomic<ExternalMode> externalMode_{ExternalMode::kNormal};
  CoreCounters counters_;
  std::atomic<std::uint64_t> threadSeeds_{0};

  std::deque<std::unique_ptr<CoreSession>> sessions_;  // never shrinks

  std::atomic<bool> storeClosed_{false};
  mutable std::mutex storeMutex_;
  std::map<std::string, std::optional<Value>> store_;
  std::vector<std::string> readOrder_;

  mutable std::mutex answersMutex_;
  std::map<const void*, std::unique_ptr<Answer>> answers_;            // by response record
  std::set<const Answer*> liveStreams_;
  std::deque<std::unique_ptr<Answer>> releasedAnswers_;               // kept a while: late reads are reported
  std::map<const void*, std::unique_ptr<ExternalAnswer>> externals_;  // by response record

  mutable std::mutex findingsMutex_;
  std::vector<std::string> violations_;
  std::size_t violationTotal_ = 0;
  std::vector<std::string> notes_;
  std::set<std::string> noteSet_;
};

}  // namespace qor::validator
