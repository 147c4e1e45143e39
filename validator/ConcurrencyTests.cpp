// Concurrency tests: calls on several threads while events arrive on others
// and resources change; Stop while calls are in flight; and, at the top
// strictness, a soak of minutes with the memory figures sampled.
#include "validator/TestCatalog.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace qor::validator {
namespace {

using Clock = std::chrono::steady_clock;

std::string millis(double seconds) { return std::to_string(static_cast<long long>(seconds * 1000 + 0.5)) + " ms"; }

void sleepSeconds(double seconds) {
  std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long long>(seconds * 1e6)));
}

// Callers, event senders and a resource changer on a started session, until
// told to stop. Inputs come from a fixed pool of seeds, so a long run repeats
// its inputs and a plug-in's caches can fill up and stay full.
class Load {
 public:
  Load(TestContext& context, PluginSession& session, unsigned callers, unsigned senders)
      : context_(context), session_(session) {
    for (int i = 0; i < 64; ++i) seeds_.push_back(context.rng.next());
    for (unsigned i = 0; i < callers; ++i) callerSlots_.push_back(std::make_unique<CallerSlot>());
    for (unsigned i = 0; i < callers; ++i) {
      CallerSlot* slot = callerSlots_[i].get();
      threads_.emplace_back([this, slot, seed = context.rng.next()] { callerLoop(*slot, seed); });
    }
    for (unsigned i = 0; i < senders; ++i)
      threads_.emplace_back([this, seed = context.rng.next()] { senderLoop(seed); });
    threads_.emplace_back([this, seed = context.rng.next()] { resourceLoop(seed); });
  }
  ~Load() { finish(); }

  // New calls are no longer started (events and resources go on).
  void closeGate() {
    std::lock_guard lock(gate_);
    gateClosed_ = true;
  }
  // True once every caller is idle or blocked inside a call, in the core.
  bool callersSettled(unsigned* blockedCalls) const {
    unsigned blocked = 0;
    for (const auto& slot : callerSlots_) {
      if (slot->calling.load() && slot->blocked.load() == 0) return false;
      blocked += slot->calling.load() ? 1 : 0;
    }
    *blockedCalls = blocked;
    return true;
  }
  void finish() {
    done_.store(true);
    for (std::thread& t : threads_)
      if (t.joinable()) t.join();
  }
  std::vector<std::string> problems() {
    std::lock_guard lock(problemsMutex_);
    return problems_;
  }
  unsigned long long calls() const { return calls_.load(); }

 private:
  struct CallerSlot {
    std::atomic<bool> calling{false};
    std::atomic<int> blocked{0};
  };

  void keep(Exerciser& exercise) {
    std::lock_guard lock(problemsMutex_);
    for (const std::string& p : exercise.problems())
      if (problems_.size() < 50) problems_.push_back(p);
    exercise.problems().clear();
  }

  void callerLoop(CallerSlot& slot, std::uint64_t seed) {
    ValidatorCore::setThreadBlockCounter(&slot.blocked);
    Random rng(seed);
    Exerciser exercise(context_, session_);
    // The gate is passed right before the dispatch entry, after the request
    // is built: once it is closed, a call either has entered the plug-in or
    // never will.
    auto enter = [&] {
      std::lock_guard lock(gate_);
      if (gateClosed_) return false;
      slot.calling.store(true);
      return true;
    };
    while (!done_.load()) {
      Random inputs(seeds_[rng.below(seeds_.size())]);
      const bool called = exercise.callRandom(inputs, true, enter);
      slot.calling.store(false);
      if (!called) break;
      calls_++;
    }
    ValidatorCore::setThreadBlockCounter(nullptr);
    keep(exercise);
  }

  void senderLoop(std::uint64_t seed) {
    Random rng(seed);
    Exerciser exercise(context_, session_);
    while (!done_.load() && !session_.stopped()) {
      Random inputs(seeds_[rng.below(seeds_.size())]);
      if (rng.chance(70)) exercise.deliverResourceChanges(1, inputs);
      else exercise.deliverGarbageEvents(1, inputs);
    }
    keep(exercise);
  }

  void resourceLoop(std::uint64_t seed) {
    Random rng(seed);
    while (!done_.load() && !session_.stopped()) {
      const std::vector<std::string> uris = context_.core().readUris();
      if (!uris.empty()) {
        Random inputs(seeds_[rng.below(seeds_.size())]);
        const std::string& uri = rng.pick(uris);
        if (rng.chance(20)) context_.core().setResource(uri, std::nullopt);
        else context_.core().setResource(uri, session_.synthesizer().plausibleResource(inputs));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  TestContext& context_;
  PluginSession& session_;
  std::vector<std::uint64_t> seeds_;
  std::vector<std::unique_ptr<CallerSlot>> callerSlots_;
  std::vector<std::thread> threads_;
  std::atomic<bool> done_{false};
  mutable std::mutex gate_;
  bool gateClosed_ = false;
  std::mutex problemsMutex_;
  std::vector<std::string> problems_;
  std::atomic<unsigned long long> calls_{0};
};

unsigned callerCount(unsigned strictness) { return 2 + strictness / 3; }
unsigned senderCount(unsigned strictness) { return 1 + strictness / 4; }
double mixSeconds(unsigned strictness) { return 0.3 * strictness; }

TestResult callsAndEvents(TestContext& context) {
  context.core().setAnswerMode(AnswerMode::kMixed);
  context.core().setExternalMode(ExternalMode::kMixed);
  StartedSession started = startSession(context);
  std::vector<std::string> problems = started.problems;
  if (!started.ok()) return TestResult::from(problems);
  PluginSession& session = *started.session;
  const unsigned callers = callerCount(context.strictness), senders = senderCount(context.strictness);
  unsigned long long calls = 0;
  {
    Load load(context, session, callers, senders);
    sleepSeconds(mixSeconds(context.strictness));
    load.finish();
    calls = load.calls();
    problems = load.problems();
  }
  const std::uint64_t deliveries = context.core().counters().deliveries.load();
  const double stopSeconds = session.stop();
  if (stopSeconds > context.seconds(5)) problems.push_back("Stop took " + millis(stopSeconds));
  for (const std::string& p : closingChecks(context, {&session})) problems.push_back(p);
  context.channel.metric("calls", static_cast<double>(calls));
  context.channel.metric("deliveries", static_cast<double>(deliveries));
  return TestResult::from(problems, std::to_string(calls) + " calls on " + std::to_string(callers) + " threads and " +
                                        std::to_string(deliveries) + " events on " + std::to_string(senders) + " in " +
                                        millis(mixSeconds(context.strictness)));
}

TestResult stopInFlight(TestContext& context) {
  context.core().setAnswerMode(AnswerMode::kStore);
  StartedSession started = startSession(context);
  std::vector<std::string> problems = started.problems;
  if (!started.ok()) return TestResult::from(problems);
  PluginSession& session = *started.session;
  CoreSession& core = session.core();
  const double holdFor = context.seconds(0.2);
  const double bound = holdFor + context.seconds(3);
  double stopSeconds = 0;
  unsigned blockedCalls = 0;
  int blockedInCore = 0;
  {
    Load load(context, session, callerCount(context.strictness), senderCount(context.strictness));
    sleepSeconds(context.seconds(0.2));
    // From now on every request waits in the core until let go: whatever
    // asks the core now is certainly inside the plug-in.
    context.core().setAnswerMode(AnswerMode::kLate);
    context.core().setExternalMode(ExternalMode::kLate);
    core.holdAnswers(true);
    const auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<long long>(context.seconds(1000)));
    while (core.blockedInCore() == 0 && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    // No call starts after Stop is called: close the gate, and wait until
    // every call still running is blocked in the core.
    load.closeGate();
    const auto settle = Clock::now() + std::chrono::milliseconds(static_cast<long long>(context.seconds(1000)));
    while (!load.callersSettled(&blockedCalls) && Clock::now() < settle)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    blockedInCore = core.blockedInCore();
    std::thread release([&] {
      sleepSeconds(holdFor);
      core.holdAnswers(false);
    });
    stopSeconds = session.stop();
    release.join();
    load.finish();
    problems = load.problems();
  }
  if (stopSeconds > bound)
    problems.push_back("Stop with calls in flight took " + millis(stopSeconds) + " (bound " + millis(bound) + ")");
  for (const std::string& p : closingChecks(context, {&session})) problems.push_back(p);
  const int deliveries = std::max(0, blockedInCore - static_cast<int>(blockedCalls));
  context.channel.metric("stop.seconds", stopSeconds);
  context.channel.metric("calls.in.flight", blockedCalls);
  context.channel.metric("deliveries.in.flight", deliveries);
  std::string what = "Stop took " + millis(stopSeconds) + " with " + std::to_string(blockedCalls) + " calls and " +
                     std::to_string(deliveries) + " event deliveries blocked in the core";
  if (blockedInCore == 0) what += " (the plug-in asked the core nothing while the test held its answers)";
  return TestResult::from(problems, what);
}

unsigned soakLength(const TestContext& context) { return context.options.soakSeconds != 0 ? context.options.soakSeconds : 180; }

TestResult soak(TestContext& context) {
  context.core().setAnswerMode(AnswerMode::kMixed);
  context.core().setExternalMode(ExternalMode::kMixed);
  StartedSession started = startSession(context);
  std::vector<std::string> problems = started.problems;
  if (!started.ok()) return TestResult::from(problems);
  PluginSession& session = *started.session;
  const unsigned total = soakLength(context);
  const unsigned segments = std::max(6u, total / 10);
  const double segment = static_cast<double>(total) / segments;
  std::vector<MemoryFigures> samples;
  unsigned long long calls = 0;
  for (unsigned i = 0; i < segments && problems.empty(); ++i) {
    context.step("soak segment " + std::to_string(i + 1) + " of " + std::to_string(segments));
    Load load(context, session, callerCount(context.strictness), senderCount(context.strictness));
    sleepSeconds(segment);
    load.finish();
    calls += load.calls();
    for (const std::string& p : load.problems()) problems.push_back(p);
    samples.push_back(session.memory());
    context.channel.metric("soak.sample." + std::to_string(i + 1) + ".bytes", static_cast<double>(samples.back().liveBytes()));
  }
  if (problems.empty() && samples.size() >= 3) {
    // Level: the last third of the samples may not rise above the middle third.
    const std::size_t third = samples.size() / 3;
    std::int64_t middle = 0, last = 0, middleBlocks = 0, lastBlocks = 0;
    for (std::size_t i = third; i < 2 * third; ++i) {
      middle = std::max(middle, samples[i].liveBytes());
      middleBlocks = std::max(middleBlocks, samples[i].liveBlocks());
    }
    for (std::size_t i = samples.size() - third; i < samples.size(); ++i) {
      last = std::max(last, samples[i].liveBytes());
      lastBlocks = std::max(lastBlocks, samples[i].liveBlocks());
    }
    const std::int64_t allowance = std::max<std::int64_t>(256 * 1024, middle / 10);
    if (last - middle > allowance || lastBlocks - middleBlocks > 64)
      problems.push_back("memory in use keeps growing: the last third of the soak peaks at " +
                         formatBytes(static_cast<double>(last)) + " in " + std::to_string(lastBlocks) +
                         " blocks, the middle third at " + formatBytes(static_cast<double>(middle)) + " in " +
                         std::to_string(middleBlocks) + " blocks");
    context.note("memory in use over the soak: " + samples.front().describe() + " first, " + samples.back().describe() +
                 " last");
    context.channel.metric("memory.before.bytes", static_cast<double>(samples.front().liveBytes()));
    context.channel.metric("memory.after.bytes", static_cast<double>(samples.back().liveBytes()));
  }
  session.stop();
  for (const std::string& p : closingChecks(context, {&session})) problems.push_back(p);
  return TestResult::from(problems, std::to_string(calls) + " calls in " + std::to_string(total) +
                                        " s; memory in use " + (samples.empty() ? std::string("?") : samples.front().describe()) +
                                        " -> " + (samples.empty() ? std::string("?") : samples.back().describe()));
}

}  // namespace

void addConcurrencyTests(std::vector<TestDefinition>& tests) {
  tests.push_back({"concurrency.calls-events", 4,
                   "calls on several threads while events arrive on others and resources change",
                   [](unsigned s) { return 2.0 + mixSeconds(s); }, callsAndEvents});
  tests.push_back({"concurrency.stop-in-flight", 5,
                   "Stop while calls and event deliveries are in flight completes within a bound",
                   [](unsigned) { return 3.0; }, stopInFlight});
  tests.push_back({"soak", 10, "minutes of calls, events and faults; the memory in use levels off",
                   [](unsigned) { return 240.0; }, soak});
}

}  // namespace qor::validator
