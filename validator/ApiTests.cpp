// API table tests: every record well formed, and the table unchanged while
// the plug-in runs.
#include "validator/TestCatalog.h"

namespace qor::validator {
namespace {

double quick(unsigned) { return 1; }

TestResult tableWellFormed(TestContext& context) {
  PluginSession session(context);
  std::vector<std::string> problems;
  if (!session.load(problems)) return TestResult::from(problems);
  const ApiModel& model = session.model();
  problems.insert(problems.end(), model.problems.begin(), model.problems.end());
  std::size_t routed = 0, enumerations = 0;
  for (const FunctionModel& f : model.functions) routed += f.templateParses ? 1 : 0;
  for (const TypeModel& t : model.types) enumerations += t.isEnumeration && !t.isEmpty ? 1 : 0;
  for (const FunctionModel& f : model.functions) {
    std::string arguments;
    for (const ArgumentModel& a : f.arguments) arguments += (arguments.empty() ? "" : ", ") + a.name + ": " + a.type.describe();
    context.note(f.routeText() + " (" + arguments + ") -> " + f.returns.describe());
  }
  session.stop();
  for (const std::string& p : closingChecks(context, {&session})) problems.push_back(p);
  auto count = [](std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  return TestResult::from(problems, count(model.functions.size(), "function", "functions") + " (" +
                                        std::to_string(routed) + " routed), " +
                                        count(model.types.size(), "type", "types") + " (" +
                                        count(enumerations, "enumeration", "enumerations") + "), " +
                                        count(model.events.size(), "event", "events"));
}

TestResult tableStable(TestContext& context) {
  PluginSession session(context);
  std::vector<std::string> problems;
  if (!session.load(problems)) return TestResult::from(problems);
  const std::string atLoad = session.model().fingerprint();
  auto compare = [&](const char* when) {
    const std::string now = ApiModel::read(session.handshake().apiTable).fingerprint();
    if (now != atLoad) problems.push_back(std::string("the API table changed ") + when);
  };
  if (!session.start(problems)) return TestResult::from(problems);
  compare("during Start");
  Exerciser exercise(context, session);
  for (CallVariant v : {CallVariant::kValid, CallVariant::kWrongKind, CallVariant::kMissing}) exercise.callAll(v, 2, context.rng);
  exercise.deliverResourceChanges(2, context.rng);
  compare("while functions were called and events delivered");
  session.stop();
  for (const std::string& p : exercise.problems()) problems.push_back(p);
  for (const std::string& p : closingChecks(context, {&session})) problems.push_back(p);
  return TestResult::from(problems, "unchanged from the handshake to Stop");
}

}  // namespace

void addApiTests(std::vector<TestDefinition>& tests) {
  tests.push_back({"api.table", 1,
                   "every function, type and event record is well formed: names, routes that parse, argument "
                   "types that exist, enumerators, texts",
                   quick, tableWellFormed});
  tests.push_back({"api.table-stable", 2, "the API table stays valid and unchanged while the plug-in runs", quick,
                   tableStable});
}

}  // namespace qor::validator
