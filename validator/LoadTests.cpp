// Load tests: the export, the handshake record, and the version rule in both
// directions (an incompatible core ends the process, a compatible newer one
// is accepted).
#include "validator/TestCatalog.h"

namespace qor::validator {
namespace {

std::string versionText(const std::uint32_t v[3]) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]);
}

double quick(unsigned) { return 1; }

TestResult exportResolves(TestContext& context) {
  std::string why;
  PluginModule* module = context.module(&why);
  if (module == nullptr) return TestResult::failed(why);
  return TestResult::passed("exports " + module->exportName());
}

TestResult handshakeRecord(TestContext& context) {
  PluginSession session(context);
  std::vector<std::string> problems;
  session.load(problems);
  if (!session.loaded()) return TestResult::from(problems);
  const PluginHandshake& h = session.handshake();
  const std::string name = h.shortName != nullptr ? h.shortName : "";
  const std::uint32_t own[3] = {session.pluginVersion(0), session.pluginVersion(1), session.pluginVersion(2)};
  context.note("plug-in \"" + name + "\" speaks plug-in API " + versionText(own));
  if (problems.empty()) session.start(problems);
  session.stop();
  for (const std::string& p : closingChecks(context, {&session})) problems.push_back(p);
  return TestResult::from(problems, "\"" + name + "\", plug-in API " + versionText(own));
}

// The plug-in's own version, from a compatible load in this process.
bool ownVersion(TestContext& context, std::uint32_t own[3], std::string& why) {
  PluginSession first(context);
  std::vector<std::string> problems;
  if (!first.load(problems)) {
    why = "a compatible load fails first: " + (problems.empty() ? std::string("?") : problems.front());
    return false;
  }
  for (int i = 0; i < 3; ++i) own[i] = first.pluginVersion(i);
  first.start(problems);
  first.stop();
  return true;
}

// Loads with an incompatible core: the plug-in must not return.
TestResult refuses(TestContext& context, void (*make)(const std::uint32_t own[3], std::uint32_t core[3]),
                   bool (*applies)(const std::uint32_t own[3]), const char* notApplicable) {
  std::uint32_t own[3];
  std::string why;
  if (!ownVersion(context, own, why)) return TestResult::failed(why);
  if (!applies(own)) return TestResult::skipped(std::string("the plug-in speaks API ") + versionText(own) + ": " + notApplicable);
  std::uint32_t core[3];
  make(own, core);
  PluginSession session(context);
  context.channel.expectEnd("the plug-in (API " + versionText(own) + ") must refuse core " + versionText(core) +
                            " and end the process");
  std::vector<std::string> problems;
  session.load(core, problems);
  if (session.handshake().callbacks != nullptr)
    return TestResult::failed("accepted core " + versionText(core) + " although it speaks plug-in API " + versionText(own));
  return TestResult::failed("the export returned for core " + versionText(core) +
                            " instead of reporting the incompatible core and ending the process");
}

TestResult accepts(TestContext& context, void (*make)(const std::uint32_t own[3], std::uint32_t core[3])) {
  std::uint32_t own[3];
  std::string why;
  if (!ownVersion(context, own, why)) return TestResult::failed(why);
  std::uint32_t core[3];
  make(own, core);
  PluginSession session(context);
  std::vector<std::string> problems;
  if (session.load(core, problems)) {
    const std::uint32_t written[3] = {session.pluginVersion(0), session.pluginVersion(1), session.pluginVersion(2)};
    if (written[0] != own[0] || written[1] != own[1] || written[2] != own[2])
      problems.push_back("for core " + versionText(core) + " the handshake holds " + versionText(written) +
                         ", not the plug-in's own " + versionText(own));
    session.start(problems);
  }
  session.stop();
  for (const std::string& p : closingChecks(context, {&session})) problems.push_back(p);
  return TestResult::from(problems, "core " + versionText(core) + " accepted");
}

}  // namespace

void addLoadTests(std::vector<TestDefinition>& tests) {
  tests.push_back({"load.export", 1, "the library loads and its entry point resolves", quick, exportResolves});
  tests.push_back({"load.handshake", 1,
                   "the handshake record is well formed: version, callbacks, object, name, API table", quick,
                   handshakeRecord});
  tests.push_back({"load.refuses-newer-major", 1, "a core of the next major version ends the process", quick,
                   [](TestContext& c) {
                     return refuses(
                         c, [](const std::uint32_t o[3], std::uint32_t v[3]) { v[0] = o[0] + 1; v[1] = o[1]; v[2] = o[2]; },
                         [](const std::uint32_t[3]) { return true; }, "");
                   }});
  tests.push_back({"load.refuses-older-major", 2, "a core of the previous major version ends the process", quick,
                   [](TestContext& c) {
                     return refuses(
                         c, [](const std::uint32_t o[3], std::uint32_t v[3]) { v[0] = o[0] - 1; v[1] = 99; v[2] = 99; },
                         [](const std::uint32_t o[3]) { return o[0] > 0; }, "there is no older major version");
                   }});
  tests.push_back({"load.refuses-older-minor", 2, "a core of an older minor version ends the process", quick,
                   [](TestContext& c) {
                     return refuses(
                         c, [](const std::uint32_t o[3], std::uint32_t v[3]) { v[0] = o[0]; v[1] = o[1] - 1; v[2] = 999; },
                         [](const std::uint32_t o[3]) { return o[1] > 0; }, "there is no older minor version");
                   }});
  tests.push_back({"load.refuses-older-patch", 2, "a core of an older patch level ends the process", quick,
                   [](TestContext& c) {
                     return refuses(
                         c, [](const std::uint32_t o[3], std::uint32_t v[3]) { v[0] = o[0]; v[1] = o[1]; v[2] = o[2] - 1; },
                         [](const std::uint32_t o[3]) { return o[2] > 0; }, "there is no older patch level");
                   }});
  tests.push_back({"load.accepts-newer-minor", 1,
                   "a core of a newer minor version is accepted and told the plug-in's own version", quick,
                   [](TestContext& c) {
                     return accepts(c, [](const std::uint32_t o[3], std::uint32_t v[3]) { v[0] = o[0]; v[1] = o[1] + 1; v[2] = 0; });
                   }});
  tests.push_back({"load.accepts-newer-patch", 2, "a core of a newer patch level is accepted", quick,
                   [](TestContext& c) {
                     return accepts(c, [](const std::uint32_t o[3], std::uint32_t v[3]) { v[0] = o[0]; v[1] = o[1]; v[2] = o[2] + 1; });
                   }});
}

}  // namespace qor::validator
