// Core fault tests: the core answers the plug-in's requests badly (errors,
// empty, garbage, malformed, nested, huge, late, streamed bodies; failing or
// garbled outside requests) and sends events with garbage data, while the
// plug-in starts, handles resource changes and answers calls.
#include "validator/TestCatalog.h"

namespace qor::validator {
namespace {

double faultBudget(unsigned s) { return 1.5 + 0.3 * s; }

// Starts the plug-in under the fault, changes every resource it watches,
// calls every function; the plug-in must come through whole.
TestResult underFault(TestContext& context, AnswerMode answers, ExternalMode externals, bool external) {
  ValidatorCore& core = context.core();
  core.setAnswerMode(answers);
  core.setExternalMode(externals);
  StartedSession started = startSession(context);
  std::vector<std::string> problems = started.problems;
  if (!started.session || !started.session->started()) return TestResult::from(problems);
  PluginSession& session = *started.session;
  Exerciser exercise(context, session);
  const unsigned rounds = context.scaled(2, 1);
  for (unsigned round = 0; round < rounds; ++round) {
    exercise.deliverResourceChanges(1, context.rng);
    exercise.callAll(CallVariant::kValid, 1, context.rng);
  }
  session.stop();
  for (const std::string& p : exercise.problems()) problems.push_back(p);
  for (const std::string& p : closingChecks(context, {&session})) problems.push_back(p);
  const std::uint64_t requests = core.counters().requests.load();
  const std::uint64_t outside = core.counters().externalRequests.load();
  context.channel.metric("requests", static_cast<double>(requests));
  context.channel.metric("external.requests", static_cast<double>(outside));
  if (problems.empty() && (external ? outside : requests) == 0)
    return TestResult::skipped(std::string("the plug-in sent no ") + (external ? "outside request" : "request to the core") +
                               " to answer badly (" + exercise.callSummary() + ")");
  std::string done = external ? std::to_string(outside) + " outside requests answered with " + externalModeName(externals)
                              : std::to_string(requests) + " requests answered with " + answerModeName(answers);
  if (answers == AnswerMode::kStreamed)
    done += " (" + std::to_string(core.counters().streamsOpened.load()) + " streams, " +
            std::to_string(core.counters().streamReads.load()) + " reads)";
  return TestResult::from(problems, done);
}

TestResult eventGarbage(TestContext& context) {
  StartedSession started = startSession(context);
  std::vector<std::string> problems = started.problems;
  if (!started.ok()) return TestResult::from(problems);
  PluginSession& session = *started.session;
  const std::size_t names = session.core().activeSubscriptions().size();
  if (names == 0) {
    session.stop();
    return TestResult::skipped("the plug-in subscribed to no event");
  }
  Exerciser exercise(context, session);
  exercise.deliverGarbageEvents(context.scaled(4, 3), context.rng);
  exercise.callAll(CallVariant::kValid, 1, context.rng);
  const std::uint64_t deliveries = context.core().counters().deliveries.load();
  session.stop();
  for (const std::string& p : exercise.problems()) problems.push_back(p);
  for (const std::string& p : closingChecks(context, {&session})) problems.push_back(p);
  return TestResult::from(problems, std::to_string(deliveries) + " garbage events on " + std::to_string(names) +
                                        " subscribed names");
}

TestResult resourceChanges(TestContext& context) {
  StartedSession started = startSession(context);
  std::vector<std::string> problems = started.problems;
  if (!started.ok()) return TestResult::from(problems);
  PluginSession& session = *started.session;
  if (session.core().activeSubscriptions().empty()) {
    session.stop();
    return TestResult::skipped("the plug-in subscribed to no event");
  }
  Exerciser exercise(context, session);
  const unsigned rounds = context.scaled(3, 2);
  for (unsigned round = 0; round < rounds; ++round) {
    // The store changes too: what the plug-in reads back follows the events.
    for (const std::string& uri : context.core().readUris()) {
      if (context.rng.chance(30)) context.core().setResource(uri, std::nullopt);
      else context.core().setResource(uri, session.synthesizer().plausibleResource(context.rng));
    }
    exercise.deliverResourceChanges(1, context.rng);
    exercise.callAll(CallVariant::kValid, 1, context.rng);
  }
  const std::uint64_t deliveries = context.core().counters().deliveries.load();
  session.stop();
  for (const std::string& p : exercise.problems()) problems.push_back(p);
  for (const std::string& p : closingChecks(context, {&session})) problems.push_back(p);
  return TestResult::from(problems, std::to_string(deliveries) + " resource changes; " + exercise.callSummary());
}

}  // namespace

void addCoreFaultTests(std::vector<TestDefinition>& tests) {
  tests.push_back({"core.request-errors", 2, "SendRequest answers with errors of every sort", faultBudget,
                   [](TestContext& c) { return underFault(c, AnswerMode::kErrors, ExternalMode::kNormal, false); }});
  tests.push_back({"core.empty-bodies", 2, "SendRequest answers with empty bodies", faultBudget,
                   [](TestContext& c) { return underFault(c, AnswerMode::kEmpty, ExternalMode::kNormal, false); }});
  tests.push_back({"core.event-garbage", 2,
                   "events with garbage data for every event name the plug-in subscribed", faultBudget, eventGarbage});
  tests.push_back({"core.resource-changes", 2,
                   "resources the plug-in watches are created, changed and deleted, again and again", faultBudget,
                   resourceChanges});
  tests.push_back({"core.garbage-bodies", 3, "SendRequest answers with random value trees", faultBudget,
                   [](TestContext& c) {
                     return underFault(c, c.strictness >= 6 ? AnswerMode::kMalformed : AnswerMode::kGarbage,
                                       ExternalMode::kNormal, false);
                   }});
  tests.push_back({"core.streamed", 3,
                   "SendRequest answers with streams in random chunk sizes, failing reads, odd size hints",
                   faultBudget, [](TestContext& c) { return underFault(c, AnswerMode::kStreamed, ExternalMode::kNormal, false); }});
  tests.push_back({"core.external-faults", 3,
                   "SendExternalRequest answers with transport failures, garbage, null blocks, huge and late bodies",
                   faultBudget, [](TestContext& c) { return underFault(c, AnswerMode::kStore, ExternalMode::kMixed, true); }});
  tests.push_back({"core.nested-bodies", 4, "SendRequest answers with bodies nested past 1,024 levels", faultBudget,
                   [](TestContext& c) { return underFault(c, AnswerMode::kNested, ExternalMode::kNormal, false); }});
  tests.push_back({"core.huge-bodies", 4, "SendRequest answers with huge arrays, structures, strings and blobs",
                   [](unsigned s) { return 3.0 + 0.5 * s; },
                   [](TestContext& c) { return underFault(c, AnswerMode::kHuge, ExternalMode::kNormal, false); }});
  tests.push_back({"core.late-answers", 4, "SendRequest answers late", faultBudget,
                   [](TestContext& c) { return underFault(c, AnswerMode::kLate, ExternalMode::kLate, false); }});
}

}  // namespace qor::validator
