// Call tests: every function called with arguments made from its type
// records, valid and broken in one way at a time. Every answer must be a
// well-formed response record whose release function frees it.
#include "validator/TestCatalog.h"

namespace qor::validator {
namespace {

TestResult callsWith(TestContext& context, CallVariant variant, unsigned base, unsigned perLevel) {
  StartedSession started = startSession(context);
  std::vector<std::string> problems = started.problems;
  if (!started.ok()) return TestResult::from(problems);
  PluginSession& session = *started.session;
  if (session.model().functions.empty()) {
    session.stop();
    return TestResult::skipped("the plug-in exports no function");
  }
  if (variant == CallVariant::kEnumerator) {
    bool any = false;
    for (const FunctionModel& f : session.model().functions)
      for (const ArgumentModel& a : f.arguments)
        any |= a.type.code == CORE_TYPE_ENUM || ((a.type.code == CORE_TYPE_VECTOR || a.type.code == CORE_TYPE_MAP) && a.type.element == CORE_TYPE_ENUM);
    if (!any) {
      session.stop();
      return TestResult::skipped("no function takes an enumeration argument");
    }
  }
  Exerciser exercise(context, session);
  exercise.callAll(variant, context.scaled(base, perLevel), context.rng);
  session.stop();
  for (const std::string& p : exercise.problems()) problems.push_back(p);
  for (const std::string& p : closingChecks(context, {&session})) problems.push_back(p);
  context.channel.metric("calls", exercise.calls());
  return TestResult::from(problems, exercise.callSummary());
}

double callBudget(unsigned s) { return 1.0 + 0.2 * s; }

}  // namespace

void addCallTests(std::vector<TestDefinition>& tests) {
  tests.push_back({"calls.valid", 1, "every function answers valid arguments with a well-formed response", callBudget,
                   [](TestContext& c) { return callsWith(c, CallVariant::kValid, 3, 2); }});
  tests.push_back({"calls.missing-arguments", 2, "required arguments left out", callBudget,
                   [](TestContext& c) { return callsWith(c, CallVariant::kMissing, 2, 1); }});
  tests.push_back({"calls.wrong-kinds", 2, "arguments of the wrong kind", callBudget,
                   [](TestContext& c) { return callsWith(c, CallVariant::kWrongKind, 3, 2); }});
  tests.push_back({"calls.core-arguments", 2,
                   "the core's argument list with unknown names, extra positions, nested and huge values", callBudget,
                   [](TestContext& c) { return callsWith(c, CallVariant::kCoreArguments, 3, 2); }});
  tests.push_back({"calls.unknown-routes", 2, "a URI or method the route does not fit is answered with an error",
                   callBudget, [](TestContext& c) { return callsWith(c, CallVariant::kUnknownRoute, 2, 1); }});
  tests.push_back({"calls.out-of-range", 3, "numbers past their type's range and list indices past any sensible size",
                   callBudget, [](TestContext& c) { return callsWith(c, CallVariant::kOutOfRange, 3, 2); }});
  tests.push_back({"calls.enumerators", 3, "enumerator names that do not exist", callBudget,
                   [](TestContext& c) { return callsWith(c, CallVariant::kEnumerator, 2, 1); }});
  tests.push_back({"calls.strings", 3, "long strings, invalid UTF-8 and control characters", callBudget,
                   [](TestContext& c) { return callsWith(c, CallVariant::kStrings, 3, 2); }});
  tests.push_back({"calls.query", 3, "query strings that break every rule of a query", callBudget,
                   [](TestContext& c) { return callsWith(c, CallVariant::kQueryGarbage, 3, 2); }});
  tests.push_back({"calls.bodies", 4,
                   "bodies in every body format: valid, cut short, deeply nested, huge counts, odd content types",
                   callBudget, [](TestContext& c) { return callsWith(c, CallVariant::kBody, 4, 3); }});
}

}  // namespace qor::validator
