// ValidatorCore: the demanding core the validator plays against a plug-in.
// It hands each load of the plug-in a CoreSession (table, context, handle),
// whose entries (CoreEntries) check every argument the plug-in passes; it
// answers requests in a chosen manner (AnswerGenerator: from the resource
// store, or with errors, empty, garbage, malformed, deeply nested or huge
// bodies, late, or streamed in random chunks); and it records every breach of
// the protocol as a violation that fails the running test.
//
// One core per test process. Sessions outlive the core: a plug-in that calls
// after Stop meets a live table and is reported; one that calls after the
// core is gone is recorded in its session.
#pragma once

#include "PluginAbi.h"
#include "validator/AnswerGenerator.h"
#include "validator/ApiModel.h"
#include "validator/CoreSession.h"
#include "validator/ExternalAnswerGenerator.h"
#include "validator/Random.h"
#include "validator/ResourceStore.h"
#include "validator/Value.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qor::validator {

class Synthesizer;

struct CoreCounters {
  std::atomic<std::uint64_t> requests{0}, externalRequests{0}, eventsSent{0}, subscribes{0},
      unsubscribes{0}, deliveries{0}, logs{0}, yields{0}, waits{0}, streamsOpened{0},
      streamReads{0}, releases{0}, externalReleases{0};
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
  // Waits for the calls inside the core to end; later calls find no core.
  ~ValidatorCore();
  ValidatorCore(const ValidatorCore&) = delete;
  ValidatorCore& operator=(const ValidatorCore&) = delete;

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
  std::vector<std::string> readUris() const { return store_.readUris(); }
  // Sets (or, with nullopt, removes) the value the store answers for `uri`.
  void setResource(const std::string& uri, std::optional<Value> value) { store_.set(uri, std::move(value)); }
  // The value the store holds for `uri`, if any.
  std::optional<Value> resource(const std::string& uri) const { return store_.peek(uri); }
  // Closed: a URI the store never heard of is "Not found" (a resource file
  // was given); open: the store makes up what such a URI holds.
  void closeStore() { store_.close(); }

  // ---- Findings ----
  void violation(const std::string& text);
  void note(const std::string& text);
  std::vector<std::string> violations() const;
  std::size_t violationCount() const;
  std::vector<std::string> notes() const;
  CoreCounters& counters() { return counters_; }

  // See CoreSession::setThreadBlockCounter.
  static void setThreadBlockCounter(std::atomic<int>* counter) { CoreSession::setThreadBlockCounter(counter); }

  // A generator for the calling thread, seeded from the run's seed.
  Random& threadRandom();
  const Options& options() const { return options_; }

 private:
  friend struct CoreEntries;

  // Answers a checked request as the answer mode says and books the answer.
  void answerRequest(CoreSession& session, CoreResponse& response, const CoreRequest& request);
  void answerExternal(CoreSession& session, ExternalResponse& response, const ExternalRequest& request);

  Options options_;
  const ApiModel* model_ = nullptr;
  const Synthesizer* synthesizer_ = nullptr;
  std::atomic<AnswerMode> answerMode_{AnswerMode::kStore};
  std::atomic<ExternalMode> externalMode_{ExternalMode::kNormal};
  CoreCounters counters_;
  std::atomic<std::uint64_t> threadSeeds_{0};
  ResourceStore store_;

  std::deque<std::unique_ptr<CoreSession>> sessions_;  // never shrinks

  mutable std::mutex findingsMutex_;
  std::vector<std::string> violations_;
  std::size_t violationTotal_ = 0;
  std::vector<std::string> notes_;
  std::set<std::string> noteSet_;
};

}  // namespace qor::validator
