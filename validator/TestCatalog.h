// TestCatalog: every test the validator runs, with the lowest strictness
// that runs it. Tests grow with strictness (more calls, more cycles, longer
// runs); the catalog is the one list the command line, the report and the
// README's table follow.
#pragma once

#include "validator/RequestBuilder.h"
#include "validator/TestSupport.h"

#include <functional>
#include <string>
#include <vector>

namespace qor::validator {

struct TestDefinition {
  std::string name;      // "group.test"
  unsigned level = 1;    // the lowest strictness that runs it
  std::string summary;   // what it checks, one line
  // Seconds the test is expected to take at a strictness (its time limit
  // follows from this).
  double (*budget)(unsigned strictness) = nullptr;
  TestResult (*run)(TestContext& context) = nullptr;
};

const std::vector<TestDefinition>& testCatalog();

// The groups' definitions, one per source file.
void addLoadTests(std::vector<TestDefinition>& tests);
void addLifecycleTests(std::vector<TestDefinition>& tests);
void addApiTests(std::vector<TestDefinition>& tests);
void addCallTests(std::vector<TestDefinition>& tests);
void addCoreFaultTests(std::vector<TestDefinition>& tests);
void addConcurrencyTests(std::vector<TestDefinition>& tests);

// Shared by the groups: events and calls that exercise a started plug-in.
class Exerciser {
 public:
  Exerciser(TestContext& context, PluginSession& session);
  // For every event name the plug-in subscribed: the payload type the API
  // table declares for it, and a URI the plug-in read whose resource events
  // carry that name.
  void deliverResourceChanges(unsigned rounds, Random& rng);
  void deliverGarbageEvents(unsigned rounds, Random& rng);
  // Calls every function `perFunction` times with the variant; problems are
  // collected, answers counted.
  void callAll(CallVariant variant, unsigned perFunction, Random& rng);
  // One call of a random function: valid, or (when `anyVariant`) of a random
  // variant. No step is written (for threads).
  // `enter` as for performCall (a caller's gate). False when it refused.
  bool callRandom(Random& rng, bool anyVariant, const std::function<bool()>& enter = {});
  std::vector<std::string>& problems() { return problems_; }
  std::string callSummary() const;
  unsigned calls() const { return calls_; }

 private:
  std::string uriForEvent(const std::string& name) const;
  const TypeModel* payloadType(const std::string& name) const;

  TestContext& context_;
  PluginSession& session_;
  std::vector<std::string> problems_;
  unsigned calls_ = 0, failures_ = 0;
};

}  // namespace qor::validator
