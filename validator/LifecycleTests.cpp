// Lifecycle and memory tests: Start and Stop, repeated cycles, two objects
// at once, and the plug-in's own allocation counters over cycles and calls.
#include "validator/TestCatalog.h"

#include <chrono>
#include <thread>

namespace qor::validator {
namespace {

// Growth of the bytes and blocks in use that a plug-in may show over the
// measured cycles or call rounds (after warm-up rounds have filled its
// caches and pools). A leak of one block per cycle or call round shows.
constexpr std::int64_t kGrowthBytes = 16 * 1024;
constexpr std::int64_t kGrowthBlocks = 8;

double quick(unsigned) { return 1; }

std::string millis(double seconds) { return std::to_string(static_cast<long long>(seconds * 1000 + 0.5)) + " ms"; }

// Growth between two readings, within the bounds above.
void checkGrowth(TestContext& context, const MemoryFigures& before, const MemoryFigures& after, const std::string& over,
                 std::vector<std::string>& problems) {
  const std::int64_t bytes = after.liveBytes() - before.liveBytes();
  const std::int64_t blocks = after.liveBlocks() - before.liveBlocks();
  context.channel.metric("memory.before.bytes", static_cast<double>(before.liveBytes()));
  context.channel.metric("memory.before.blocks", static_cast<double>(before.liveBlocks()));
  context.channel.metric("memory.after.bytes", static_cast<double>(after.liveBytes()));
  context.channel.metric("memory.after.blocks", static_cast<double>(after.liveBlocks()));
  context.channel.metric("memory.peak.bytes", static_cast<double>(after.peakBytes));
  context.note("in use before " + over + ": " + before.describe() + "; after: " + after.describe());
  if (bytes > kGrowthBytes || blocks > kGrowthBlocks)
    problems.push_back("memory in use grew by " + formatBytes(static_cast<double>(bytes)) + " in " + std::to_string(blocks) +
                       " blocks over " + over + " (bound: " + formatBytes(kGrowthBytes) + ", " +
                       std::to_string(kGrowthBlocks) + " blocks)");
  for (const std::string& p : after.problems()) problems.push_back(p);
  for (const std::string& p : after.regressions(before)) problems.push_back(p);
}

TestResult startStop(TestContext& context) {
  StartedSession started = startSession(context);
  std::vector<std::string> problems = started.problems;
  if (!started.session) return TestResult::from(problems);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const std::set<std::string> subscribed = started.session->core().everSubscribed();
  const double seconds = started.session->stop();
  if (seconds > context.seconds(5)) problems.push_back("Stop took " + millis(seconds));
  for (const std::string& p : closingChecks(context, {started.session.get()})) problems.push_back(p);
  std::string names;
  for (const std::string& name : subscribed) names += (names.empty() ? "" : ", ") + name;
  if (!names.empty()) context.note("subscribed: " + names);
  return TestResult::from(problems, std::to_string(subscribed.size()) + " subscriptions made and ended; Stop took " +
                                        millis(seconds));
}

TestResult stopWithoutStart(TestContext& context) {
  PluginSession session(context);
  std::vector<std::string> problems;
  session.load(problems);
  if (!session.loaded()) return TestResult::from(problems);
  const double seconds = session.stop();
  for (const std::string& p : closingChecks(context, {&session})) problems.push_back(p);
  return TestResult::from(problems, "Stop took " + millis(seconds));
}

TestResult cycles(TestContext& context) {
  const unsigned warmUp = 2;
  const unsigned measured = context.scaled(3, 2);
  std::vector<std::string> problems;
  std::vector<std::unique_ptr<PluginSession>> sessions;
  MemoryFigures first, last;
  for (unsigned cycle = 0; cycle < warmUp + measured; ++cycle) {
    context.step("cycle " + std::to_string(cycle + 1));
    StartedSession started = startSession(context);
    for (const std::string& p : started.problems) problems.push_back("cycle " + std::to_string(cycle + 1) + ": " + p);
    if (!started.ok()) break;
    PluginSession& session = *started.session;
    Exerciser exercise(context, session);
    exercise.deliverResourceChanges(1, context.rng);
    exercise.callAll(CallVariant::kValid, 1, context.rng);
    for (const std::string& p : exercise.problems()) problems.push_back(p);
    const MemoryFigures reading = session.memory();
    if (cycle + 1 == warmUp) first = reading;
    last = reading;
    session.stop();
    for (const std::string& p : session.core().closingProblems()) problems.push_back("cycle " + std::to_string(cycle + 1) + ": " + p);
    sessions.push_back(std::move(started.session));
  }
  if (problems.empty()) checkGrowth(context, first, last, std::to_string(measured) + " load-start-stop cycles", problems);
  std::vector<PluginSession*> all;
  for (auto& s : sessions) all.push_back(s.get());
  for (const std::string& p : closingChecks(context, all)) problems.push_back(p);
  return TestResult::from(problems, std::to_string(warmUp + measured) + " cycles; in use " + first.describe() + " -> " +
                                        last.describe());
}

TestResult twoObjects(TestContext& context) {
  std::vector<std::string> problems;
  StartedSession a = startSession(context);
  StartedSession b = startSession(context);
  for (const std::string& p : a.problems) problems.push_back("first object: " + p);
  for (const std::string& p : b.problems) problems.push_back("second object: " + p);
  if (!a.ok() || !b.ok()) return TestResult::from(problems);
  Exerciser onA(context, *a.session), onB(context, *b.session);
  onA.callAll(CallVariant::kValid, 1, context.rng);
  onB.callAll(CallVariant::kValid, 1, context.rng);
  onB.deliverResourceChanges(1, context.rng);
  a.session->stop();
  // The second object keeps working when the first is gone.
  onB.callAll(CallVariant::kValid, 2, context.rng);
  onB.deliverResourceChanges(1, context.rng);
  StartedSession c = startSession(context);
  for (const std::string& p : c.problems) problems.push_back("third object: " + p);
  if (c.ok()) Exerciser(context, *c.session).callAll(CallVariant::kValid, 1, context.rng);
  b.session->stop();
  if (c.session) c.session->stop();
  for (auto* exercise : {&onA, &onB})
    for (const std::string& p : exercise->problems()) problems.push_back(p);
  for (const std::string& p : closingChecks(context, {a.session.get(), b.session.get(), c.session.get()})) problems.push_back(p);
  return TestResult::from(problems, "three objects, two of them at a time");
}

TestResult memoryStats(TestContext& context) {
  std::vector<std::string> problems;
  PluginSession session(context);
  if (!session.load(problems)) return TestResult::from(problems);
  const MemoryFigures loaded = session.memory();
  session.start(problems);
  const MemoryFigures started = session.memory();
  Exerciser exercise(context, session);
  exercise.callAll(CallVariant::kValid, 2, context.rng);
  const MemoryFigures called = session.memory();
  session.stop();
  if (loaded.allocations == 0) problems.push_back("GetMemoryStats counts no allocation at all after the handshake");
  for (const MemoryFigures* f : {&loaded, &started, &called})
    for (const std::string& p : f->problems()) problems.push_back(p);
  for (const std::string& p : started.regressions(loaded)) problems.push_back(p);
  for (const std::string& p : called.regressions(started)) problems.push_back(p);
  for (const std::string& p : closingChecks(context, {&session})) problems.push_back(p);
  return TestResult::from(problems, "after the handshake " + loaded.describe() + "; after calls " + called.describe());
}

TestResult memoryCalls(TestContext& context) {
  StartedSession started = startSession(context);
  std::vector<std::string> problems = started.problems;
  if (!started.ok()) return TestResult::from(problems);
  PluginSession& session = *started.session;
  // One fixed set of calls, repeated: caches fill in the warm-up rounds.
  const std::uint64_t seed = context.rng.next();
  const unsigned rounds = context.scaled(20, 10);
  MemoryFigures before;
  Exerciser exercise(context, session);
  for (unsigned round = 0; round < 3 + rounds; ++round) {
    Random same(seed);
    exercise.callAll(CallVariant::kValid, 2, same);
    Random sameBad(seed + 1);
    exercise.callAll(CallVariant::kWrongKind, 1, sameBad);
    if (round == 2) before = session.memory();
  }
  const MemoryFigures after = session.memory();
  for (const std::string& p : exercise.problems()) problems.push_back(p);
  checkGrowth(context, before, after, std::to_string(rounds) + " rounds of the same calls", problems);
  session.stop();
  for (const std::string& p : closingChecks(context, {&session})) problems.push_back(p);
  return TestResult::from(problems, exercise.callSummary() + "; in use " + before.describe() + " -> " + after.describe());
}

}  // namespace

void addLifecycleTests(std::vector<TestDefinition>& tests) {
  tests.push_back({"lifecycle.start-stop", 1,
                   "Start succeeds; Stop ends every subscription and nothing calls the core after it", quick, startStop});
  tests.push_back({"lifecycle.stop-without-start", 3, "a loaded plug-in that is never started stops cleanly", quick,
                   stopWithoutStart});
  tests.push_back({"lifecycle.cycles", 2, "repeated load-start-stop cycles work and leave no memory behind",
                   [](unsigned s) { return 1.0 + 0.3 * s; }, cycles});
  tests.push_back({"lifecycle.two-objects", 3, "two plug-in objects run side by side; either may stop first", quick,
                   twoObjects});
  tests.push_back({"memory.stats", 1, "GetMemoryStats writes consistent counters that never go backwards", quick,
                   memoryStats});
  tests.push_back({"memory.calls", 2, "repeating the same calls does not grow the memory in use",
                   [](unsigned s) { return 1.0 + 0.5 * s; }, memoryCalls});
}

}  // namespace qor::validator
