// qor_validate: plays a demanding core against a plug-in library, each test
// in a process of its own, and reports what passed, failed or was skipped.
//
//   qor_validate [--strictness 1-10] [--seed N] [--only TEST[,TEST...]]
//                [--json FILE] [--export NAME] [--core-version X.Y.Z]
//                [--jobs N] [--time-scale F] [--soak-seconds N]
//                [--resources FILE] [--var NAME=VALUE]... [--list] [--version]
//                <plug-in library>
//
// Exit status: 0 when no test failed, 1 when one did, 2 for a usage error.
#include "validator/ChildProcess.h"
#include "validator/Report.h"
#include "validator/TestCatalog.h"

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qor::validator {
namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Sanitized and emulated builds run slower; their time limits stretch.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double kBuildTimeScale = 3;
#elif defined(_WIN32)
constexpr double kBuildTimeScale = 2;
#else
constexpr double kBuildTimeScale = 1;
#endif

struct Options {
  RunOptions run;
  std::vector<std::string> only;
  std::string json;
  unsigned jobs = 1;
  bool list = false;
  bool version = false;
  bool seedGiven = false;
  std::string childTest;
  std::string resultFile;
};

void usage() {
  std::fprintf(stderr,
               "usage: qor_validate [options] <plug-in library>\n"
               "  --strictness N      1 (quick) to 10 (soak); default 5\n"
               "  --seed N            repeat a run: the same seed makes the same inputs\n"
               "  --only LIST         run only these tests or groups (comma-separated: calls,load.handshake)\n"
               "  --json FILE         write the results as JSON\n"
               "  --export NAME       the entry point (default: load_ and the library's base name)\n"
               "  --core-version V    the core version announced in the handshake (default %d.%d.%d)\n"
               "  --jobs N            tests run at once (default 1)\n"
               "  --time-scale F      stretch every time limit by F\n"
               "  --soak-seconds N    length of the soak (default 180)\n"
               "  --resources FILE    resources the core holds (JSON: URI to value, or a host\n"
               "                      scenario's \"resources\"); other URIs are \"Not found\"\n"
               "  --var NAME=VALUE    replaces ${NAME} in the resource file\n"
               "  --list              list the tests with the strictness that adds them\n"
               "  --version           print the validator's version\n",
               CORE_API_VERSION_MAJOR, CORE_API_VERSION_MINOR, CORE_API_VERSION_PATCH);
}

bool parseUnsigned(const char* text, unsigned long long max, unsigned long long& out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || value > max || text[0] == '-') return false;
  out = value;
  return true;
}

bool parseVersion(const std::string& text, std::uint32_t out[3]) {
  unsigned long long parts[3] = {0, 0, 0};
  std::size_t at = 0;
  for (int i = 0; i < 3; ++i) {
    const std::size_t dot = text.find('.', at);
    const std::string piece = text.substr(at, dot == std::string::npos ? std::string::npos : dot - at);
    if (!parseUnsigned(piece.c_str(), 0xFFFFFFFFull, parts[i])) return false;
    if (dot == std::string::npos) {
      if (i != 2) return false;
      break;
    }
    at = dot + 1;
    if (i == 2) return false;
  }
  for (int i = 0; i < 3; ++i) out[i] = static_cast<std::uint32_t>(parts[i]);
  return true;
}

std::optional<Options> parseOptions(int argc, char** argv) {
  Options o;
  o.run.timeScale = kBuildTimeScale;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    unsigned long long n = 0;
    if (arg == "--strictness") {
      if (!parseUnsigned(value(), 10, n) || n < 1) return std::nullopt;
      o.run.strictness = static_cast<unsigned>(n);
    } else if (arg == "--seed") {
      if (!parseUnsigned(value(), ~0ull, n)) return std::nullopt;
      o.run.seed = n;
      o.seedGiven = true;
    } else if (arg == "--only") {
      const char* list = value();
      if (list == nullptr) return std::nullopt;
      std::string text = list;
      std::size_t at = 0;
      while (at <= text.size()) {
        const std::size_t comma = text.find(',', at);
        std::string name = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (!name.empty() && name.back() == '*') name.pop_back();
        if (!name.empty() && name.back() == '.') name.pop_back();
        if (!name.empty()) o.only.push_back(name);
        if (comma == std::string::npos) break;
        at = comma + 1;
      }
    } else if (arg == "--json") {
      const char* file = value();
      if (file == nullptr) return std::nullopt;
      o.json = file;
    } else if (arg == "--export") {
      const char* name = value();
      if (name == nullptr) return std::nullopt;
      o.run.exportName = name;
    } else if (arg == "--core-version") {
      const char* text = value();
      if (text == nullptr || !parseVersion(text, o.run.coreVersion)) return std::nullopt;
    } else if (arg == "--jobs") {
      if (!parseUnsigned(value(), 64, n) || n < 1) return std::nullopt;
      o.jobs = static_cast<unsigned>(n);
    } else if (arg == "--time-scale") {
      const char* text = value();
      if (text == nullptr) return std::nullopt;
      const double scale = std::atof(text);
      if (!(scale > 0 && scale <= 100)) return std::nullopt;
      o.run.timeScale = kBuildTimeScale * scale;
    } else if (arg == "--soak-seconds") {
      if (!parseUnsigned(value(), 86400, n) || n < 1) return std::nullopt;
      o.run.soakSeconds = static_cast<unsigned>(n);
    } else if (arg == "--resources") {
      const char* file = value();
      if (file == nullptr) return std::nullopt;
      o.run.resourcesFile = file;
    } else if (arg == "--var") {
      const char* text = value();
      const char* equals = text != nullptr ? std::strchr(text, '=') : nullptr;
      if (equals == nullptr || equals == text) return std::nullopt;
      o.run.variables.emplace_back(std::string(text, equals), std::string(equals + 1));
    } else if (arg == "--list") {
      o.list = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--child") {
      const char* name = value();
      if (name == nullptr) return std::nullopt;
      o.childTest = name;
    } else if (arg == "--result") {
      const char* file = value();
      if (file == nullptr) return std::nullopt;
      o.resultFile = file;
    } else if (arg == "--help" || arg == "-h") {
      return std::nullopt;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "qor_validate: unknown option %s\n", arg.c_str());
      return std::nullopt;
    } else {
      positional.push_back(arg);
    }
  }
  if (o.list || o.version) return o;
  if (positional.size() != 1) return std::nullopt;
  o.run.library = positional.front();
  if (!o.seedGiven) {
    o.run.seed = static_cast<unsigned long long>(
                     std::chrono::system_clock::now().time_since_epoch().count()) % 1000000000ull;
  }
  return o;
}

bool selected(const Options& o, const TestDefinition& test) {
  if (o.only.empty()) return test.level <= o.run.strictness;
  for (const std::string& name : o.only)
    if (test.name == name || test.name.rfind(name + ".", 0) == 0) return true;
  return false;
}

// ---- The test process ----------------------------------------------------------------

int runChildTest(const Options& o) {
  endProcessOnCrash();
  const TestDefinition* test = nullptr;
  for (const TestDefinition& t : testCatalog())
    if (t.name == o.childTest) test = &t;
  ResultChannel channel(o.resultFile);
  if (test == nullptr) {
    channel.result(TestResult::failed("no test is named " + o.childTest));
    return 0;
  }
  TestResult result;
  {
    TestContext context(o.run, test->name, channel);
    result = test->run(context);
  }
  channel.result(result);
  return 0;
}

// ---- The parent ----------------------------------------------------------------------------

// The lines of a test process's output that say most about how it ended:
// sanitizer summaries and reports, assertion texts; else its last lines.
std::string excerpt(const std::string& output) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < output.size()) {
    std::size_t end = output.find('\n', at);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(at, end - at);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) lines.push_back(line);
    at = end + 1;
  }
  static constexpr const char* kKeys[] = {"SUMMARY:", "ERROR: AddressSanitizer", "WARNING: ThreadSanitizer",
                                          "runtime error:", "ERROR: LeakSanitizer", "Assertion", "not compatible",
                                          "terminate called", "what():"};
  std::string picked;
  for (const char* key : kKeys) {
    for (const std::string& line : lines) {
      if (line.find(key) == std::string::npos) continue;
      if (picked.find(line) != std::string::npos) continue;
      picked += (picked.empty() ? "" : " | ") + line;
      break;
    }
    if (picked.size() > 200) break;
  }
  if (picked.empty()) {
    for (std::size_t i = lines.size() > 2 ? lines.size() - 2 : 0; i < lines.size(); ++i)
      picked += (picked.empty() ? "" : " | ") + lines[i];
  }
  if (picked.size() > 400) picked = picked.substr(0, 400) + "...";
  return picked;
}

TestRecord runOne(const Options& o, const TestDefinition& test, const std::string& self, const std::string& directory,
                  std::size_t index, std::vector<std::string>& files, std::mutex& filesMutex) {
  const std::string base = directory + "/" + std::to_string(index);
  const std::string resultFile = base + ".result", outputFile = base + ".output";
  {
    std::lock_guard lock(filesMutex);
    files.push_back(resultFile);
    files.push_back(outputFile);
  }
  std::vector<std::string> args = {"--child", test.name, "--result", resultFile,
                                   "--strictness", std::to_string(o.run.strictness),
                                   "--seed", std::to_string(o.run.seed),
                                   "--time-scale", std::to_string(o.run.timeScale / kBuildTimeScale),
                                   "--core-version", std::to_string(o.run.coreVersion[0]) + "." +
                                       std::to_string(o.run.coreVersion[1]) + "." + std::to_string(o.run.coreVersion[2])};
  if (!o.run.exportName.empty()) args.insert(args.end(), {"--export", o.run.exportName});
  if (o.run.soakSeconds != 0) args.insert(args.end(), {"--soak-seconds", std::to_string(o.run.soakSeconds)});
  if (!o.run.resourcesFile.empty()) args.insert(args.end(), {"--resources", o.run.resourcesFile});
  for (const auto& [name, value] : o.run.variables) args.insert(args.end(), {"--var", name + "=" + value});
  args.push_back(o.run.library);
  double limit = (20 + 4 * test.budget(o.run.strictness)) * o.run.timeScale;
  if (test.name == "soak") limit = (60 + 1.5 * (o.run.soakSeconds != 0 ? o.run.soakSeconds : 180)) * o.run.timeScale;
  const ChildOutcome outcome = runChild(self, args, outputFile, limit);

  TestRecord record;
  record.name = test.name;
  record.level = test.level;
  record.seconds = outcome.seconds;
  bool haveResult = false, expectEnd = false;
  std::string lastStep, resultStatus, resultReason;
  const std::string lines = readWholeFile(resultFile);
  std::size_t at = 0;
  while (at < lines.size()) {
    std::size_t end = lines.find('\n', at);
    if (end == std::string::npos) end = lines.size();
    const std::string line = lines.substr(at, end - at);
    at = end + 1;
    const std::size_t space = line.find(' ');
    const std::string tag = line.substr(0, space);
    const std::string text = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (tag == "@@note") {
      if (record.notes.size() < 100) record.notes.push_back(text);
    } else if (tag == "@@metric") {
      const std::size_t cut = text.rfind(' ');
      if (cut != std::string::npos) record.metrics[text.substr(0, cut)] = std::atof(text.c_str() + cut + 1);
    } else if (tag == "@@step") {
      lastStep = text;
    } else if (tag == "@@expect-end") {
      expectEnd = true;
      lastStep = text;
    } else if (tag == "@@result") {
      haveResult = true;
      const std::size_t cut = text.find(' ');
      resultStatus = text.substr(0, cut);
      resultReason = cut == std::string::npos ? std::string() : text.substr(cut + 1);
    }
  }
  const std::string output = readWholeFile(outputFile);
  const std::string said = excerpt(output);
  if (haveResult) {
    record.status = resultStatus == "passed" ? TestRecord::kPassed
                    : resultStatus == "skipped" ? TestRecord::kSkipped
                                                : TestRecord::kFailed;
    record.reason = resultReason;
    if (!outcome.clean()) {
      if (record.status != TestRecord::kFailed) {
        record.status = TestRecord::kFailed;
        record.reason = "the test " + resultStatus + ", but then the process " + outcome.describe() +
                        (said.empty() ? "" : ": " + said);
      } else {
        record.reason += "; then the process " + outcome.describe();
      }
    }
  } else if (expectEnd && outcome.started && !outcome.timedOut && !outcome.clean()) {
    record.status = TestRecord::kPassed;
    record.reason = "the plug-in ended the process (" + outcome.describe() + ")" + (said.empty() ? "" : ": " + said);
  } else {
    record.status = TestRecord::kFailed;
    record.reason = outcome.describe() + (lastStep.empty() ? "" : " while " + lastStep) + (said.empty() ? "" : ": " + said);
  }
  if (record.status == TestRecord::kFailed) record.output = output.size() > 8000 ? output.substr(output.size() - 8000) : output;
  return record;
}

int runParent(const Options& o, const char* argv0) {
  const std::string self = currentProgramPath(argv0);
  std::vector<const TestDefinition*> tests;
  for (const TestDefinition& t : testCatalog())
    if (selected(o, t)) tests.push_back(&t);
  if (tests.empty()) {
    std::fprintf(stderr, "qor_validate: no test matches the selection\n");
    return kExitUsage;
  }
  if (!o.run.resourcesFile.empty()) {
    std::vector<std::pair<std::string, Value>> resources;
    std::string error;
    if (!readResourceFile(o.run, resources, error)) {
      std::fprintf(stderr, "qor_validate: %s\n", error.c_str());
      return kExitUsage;
    }
  }
  const std::string directory = makeTemporaryDirectory();
  if (directory.empty()) {
    std::fprintf(stderr, "qor_validate: cannot make a temporary directory\n");
    return kExitUsage;
  }
  RunSummary summary;
  summary.library = o.run.library;
  summary.strictness = o.run.strictness;
  summary.seed = o.run.seed;
  summary.coreVersion = std::to_string(o.run.coreVersion[0]) + "." + std::to_string(o.run.coreVersion[1]) + "." +
                        std::to_string(o.run.coreVersion[2]);
  summary.tests.resize(tests.size());
  std::vector<bool> done(tests.size(), false);
  std::vector<std::string> files;
  std::mutex mutex, filesMutex;
  std::condition_variable finished;
  std::atomic<std::size_t> next{0};
  std::atomic<bool> unloadable{false};
  const auto begin = std::chrono::steady_clock::now();

  auto worker = [&] {
    for (;;) {
      const std::size_t i = next.fetch_add(1);
      if (i >= tests.size()) return;
      TestRecord record;
      if (unloadable.load() && tests[i]->name != "load.export") {
        record.name = tests[i]->name;
        record.level = tests[i]->level;
        record.status = TestRecord::kSkipped;
        record.reason = "the library does not load (see load.export)";
      } else {
        record = runOne(o, *tests[i], self, directory, i, files, filesMutex);
        if (tests[i]->name == "load.export" && record.status == TestRecord::kFailed) unloadable.store(true);
      }
      std::lock_guard lock(mutex);
      summary.tests[i] = std::move(record);
      done[i] = true;
      finished.notify_all();
    }
  };
  std::vector<std::thread> workers;
  for (unsigned j = 0; j < std::max(1u, o.jobs); ++j) workers.emplace_back(worker);
  // Lines appear in catalog order, as soon as every earlier test is done.
  for (std::size_t shown = 0; shown < tests.size(); ++shown) {
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done[shown]; });
    std::printf("%s\n", testLine(summary.tests[shown]).c_str());
    std::fflush(stdout);
  }
  for (std::thread& w : workers) w.join();
  summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  removeTemporaryDirectory(directory, files);
  std::printf("%s\n", summaryLine(summary).c_str());
  if (!o.json.empty()) {
    std::ofstream out(o.json, std::ios::binary);
    out << toJsonReport(summary);
    if (!out) std::fprintf(stderr, "qor_validate: cannot write %s\n", o.json.c_str());
  }
  return summary.count(TestRecord::kFailed) == 0 ? 0 : kExitFailed;
}

int listTests() {
  for (const TestDefinition& t : testCatalog()) std::printf("%2u  %-28s %s\n", t.level, t.name.c_str(), t.summary.c_str());
  return 0;
}

}  // namespace
}  // namespace qor::validator

int main(int argc, char** argv) {
  using namespace qor::validator;
  const std::optional<Options> options = parseOptions(argc, argv);
  if (!options) {
    usage();
    return kExitUsage;
  }
  if (options->version) {
    std::printf("qor_validate %s\n", QOR_VERSION);
    return 0;
  }
  if (options->list) return listTests();
  if (!options->childTest.empty()) return runChildTest(*options);
  return runParent(*options, argc > 0 ? argv[0] : nullptr);
}
