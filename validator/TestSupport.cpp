// TestSupport: the result channel, memory figures, the test context and
// plug-in sessions.
#include "validator/TestSupport.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace qor::validator {

TestResult TestResult::from(const std::vector<std::string>& problems, std::string ok) {
  if (problems.empty()) return passed(std::move(ok));
  std::string why = problems.front();
  if (problems.size() > 1) why += "; " + problems[1];
  if (problems.size() > 2) why += " (and " + std::to_string(problems.size() - 2) + " more)";
  return failed(why);
}

// ---- Result channel ----------------------------------------------------------------

ResultChannel::ResultChannel(const std::string& path) {
  if (!path.empty()) file_ = std::fopen(path.c_str(), "wb");
}

ResultChannel::~ResultChannel() {
  if (file_ != nullptr) std::fclose(file_);
}

void ResultChannel::line(const char* tag, const std::string& text) {
  std::string clean = text;
  for (char& c : clean)
    if (c == '\n' || c == '\r') c = ' ';
  if (file_ == nullptr) {
    std::printf("%s %s\n", tag, clean.c_str());
    std::fflush(stdout);
    return;
  }
  std::fprintf(file_, "%s %s\n", tag, clean.c_str());
  std::fflush(file_);
}

void ResultChannel::note(const std::string& text) { line("@@note", text); }
void ResultChannel::metric(const std::string& key, double value) {
  char number[64];
  std::snprintf(number, sizeof number, "%.6g", value);
  line("@@metric", key + " " + number);
}
void ResultChannel::step(const std::string& text) { line("@@step", text); }
void ResultChannel::expectEnd(const std::string& text) { line("@@expect-end", text); }
void ResultChannel::result(const TestResult& result) {
  static constexpr const char* kNames[] = {"passed", "failed", "skipped"};
  line("@@result", std::string(kNames[result.status]) + " " + result.reason);
}

// ---- Memory figures ------------------------------------------------------------------

std::string formatBytes(double bytes) {
  char text[64];
  const double magnitude = bytes < 0 ? -bytes : bytes;
  if (magnitude >= 1024.0 * 1024.0) std::snprintf(text, sizeof text, "%.2f MiB", bytes / (1024.0 * 1024.0));
  else if (magnitude >= 1024.0) std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
  else std::snprintf(text, sizeof text, "%.0f bytes", bytes);
  return text;
}

std::vector<std::string> MemoryFigures::problems() const {
  std::vector<std::string> out;
  if (tail[0] != 0 || tail[1] != 0) out.push_back("GetMemoryStats wrote non-zero words 12 and 13");
  // No check of frees against allocations: the protocol counts a
  // reallocation of a null block as a free (of 0 bytes) and an allocation, so
  // allocations minus frees drifts below the blocks in use in a plug-in that
  // reallocates null blocks (a JSON reader growing its stack does, on every
  // parse). Bytes are exact; block counts may only be trusted not to rise.
  if (bytesFreed > bytesAllocated) out.push_back("GetMemoryStats counts more bytes freed than allocated");
  if (peakAllocations > allocations) out.push_back("GetMemoryStats: live blocks at the peak exceed all allocations");
  if (peakBytes > bytesAllocated) out.push_back("GetMemoryStats: the peak exceeds all bytes ever allocated");
  if (bytesAllocated >= bytesFreed && peakBytes < bytesAllocated - bytesFreed)
    out.push_back("GetMemoryStats: the peak (" + formatBytes(static_cast<double>(peakBytes)) +
                  ") is below the bytes in use (" + formatBytes(static_cast<double>(bytesAllocated - bytesFreed)) + ")");
  return out;
}

std::vector<std::string> MemoryFigures::regressions(const MemoryFigures& earlier) const {
  std::vector<std::string> out;
  auto check = [&](std::uint64_t now, std::uint64_t then, const char* name) {
    if (now < then) out.push_back(std::string("GetMemoryStats: ") + name + " went down from " + std::to_string(then) +
                                  " to " + std::to_string(now));
  };
  check(peakBytes, earlier.peakBytes, "the peak");
  check(bytesAllocated, earlier.bytesAllocated, "bytes allocated");
  check(allocations, earlier.allocations, "allocations");
  check(bytesFreed, earlier.bytesFreed, "bytes freed");
  check(frees, earlier.frees, "frees");
  return out;
}

std::string MemoryFigures::describe() const {
  // Block counts that drifted below zero (see problems()) say nothing.
  const std::string blocks = liveBlocks() >= 0 ? " in " + std::to_string(liveBlocks()) + " blocks" : "";
  return formatBytes(static_cast<double>(liveBytes())) + blocks + " (peak " + formatBytes(static_cast<double>(peakBytes)) + ")";
}

// ---- Resource files ----------------------------------------------------------------------

bool readResourceFile(const RunOptions& options, std::vector<std::pair<std::string, Value>>& resources,
                      std::string& error) {
  std::FILE* file = std::fopen(options.resourcesFile.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot read " + options.resourcesFile;
    return false;
  }
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  std::fclose(file);
  for (const auto& [name, value] : options.variables) {
    const std::string placeholder = "${" + name + "}";
    for (std::size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
      text.replace(at, placeholder.size(), value);
  }
  Value document;
  std::string why;
  if (!parseJson(text, document, &why)) {
    error = options.resourcesFile + " is not JSON: " + why;
    return false;
  }
  const Value* table = &document;
  for (const auto& [key, member] : document.members)
    if (key == "resources") table = &member;
  if (table->kind != Value::kObject) {
    error = options.resourcesFile + ": the resources are not an object of URIs";
    return false;
  }
  resources = table->members;
  return true;
}

// ---- Test context ----------------------------------------------------------------------

TestContext::TestContext(const RunOptions& runOptions, const std::string& testName, ResultChannel& resultChannel)
    : options(runOptions),
      strictness(runOptions.strictness),
      rng(Random::hash(testName, runOptions.seed * 0x9e3779b97f4a7c15ull + 1)),
      channel(resultChannel) {
  ValidatorCore::Options coreOptions;
  coreOptions.strictness = strictness;
  coreOptions.seed = rng.next();
  coreOptions.timeScale = runOptions.timeScale;
  core_ = std::make_unique<ValidatorCore>(coreOptions);
  if (!options.resourcesFile.empty()) {
    std::vector<std::pair<std::string, Value>> resources;
    std::string error;
    if (readResourceFile(options, resources, error)) {
      for (auto& [uri, value] : resources) core_->setResource(uri.empty() || uri[0] == '/' ? uri : "/" + uri, value);
      core_->closeStore();
    } else {
      channel.note(error);
    }
  }
}

namespace {
// What a test process keeps until it ends: the core's sessions stay reachable
// for stray plug-in threads, and the library stays mapped.
ValidatorCore* gKeptCore = nullptr;
PluginModule* gKeptModule = nullptr;
}  // namespace

TestContext::~TestContext() {
  gKeptCore = core_.release();
  gKeptModule = module_.release();
}

PluginModule* TestContext::module(std::string* why) {
  if (!module_ && moduleError_.empty()) {
    auto module = std::make_unique<PluginModule>();
    if (module->load(options.library, options.exportName)) module_ = std::move(module);
    else moduleError_ = module->error();
  }
  if (!module_ && why != nullptr) *why = moduleError_;
  return module_.get();
}

// ---- Sessions -----------------------------------------------------------------------------

PluginSession::PluginSession(TestContext& context) : context_(context) {
  coreSession_ = &context.core().openSession();
}

PluginSession::~PluginSession() {
  if (loaded_ && !stopped_) stop();
}

bool PluginSession::load(std::vector<std::string>& problems) { return load(context_.options.coreVersion, problems); }

bool PluginSession::load(const std::uint32_t version[3], std::vector<std::string>& problems) {
  std::string why;
  PluginModule* module = context_.module(&why);
  if (module == nullptr) {
    problems.push_back("the library does not load: " + why);
    return false;
  }
  handshake_ = PluginHandshake{};
  handshake_.major = version[0];
  handshake_.minor = version[1];
  handshake_.patch = version[2];
  module->entry()(&handshake_);
  written_[0] = handshake_.major;
  written_[1] = handshake_.minor;
  written_[2] = handshake_.patch;
  const std::string core = std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]);
  const std::string own = std::to_string(written_[0]) + "." + std::to_string(written_[1]) + "." + std::to_string(written_[2]);
  const std::size_t before = problems.size();
  if (handshake_.callbacks == nullptr) {
    problems.push_back("the handshake with core " + core + " left the callbacks pointer null");
  } else {
    callbacks_ = *handshake_.callbacks;
    if (callbacks_.Start == nullptr) problems.push_back("the Start callback is null");
    if (callbacks_.Stop == nullptr) problems.push_back("the Stop callback is null");
    if (callbacks_.GetMemoryStats == nullptr) problems.push_back("the GetMemoryStats callback is null");
  }
  if (handshake_.plugin == nullptr) problems.push_back("the handshake left the plug-in object pointer null");
  if (handshake_.shortName == nullptr) {
    problems.push_back("the handshake left the short name null");
  } else {
    const std::string name = handshake_.shortName;
    if (name.empty()) problems.push_back("the short name is empty");
    if (name.size() > 200) problems.push_back("the short name is " + std::to_string(name.size()) + " characters long");
    for (unsigned char c : name) {
      if (c <= ' ' || c >= 0x7f) {
        problems.push_back("the short name \"" + name + "\" holds characters outside printable ASCII");
        break;
      }
    }
  }
  if (handshake_.apiTable == nullptr) problems.push_back("the handshake left the API table pointer null");
  if (written_[0] != version[0]) {
    problems.push_back("the plug-in accepted core " + core + " although it speaks plug-in API " + own +
                       " (another major version)");
  } else if (version[1] < written_[1] || (version[1] == written_[1] && version[2] < written_[2])) {
    problems.push_back("the plug-in accepted core " + core + " although its own API " + own + " needs a newer core");
  }
  // Without Stop the object cannot be ended; a record without callbacks is
  // not loaded at all.
  loaded_ = callbacks_.Stop != nullptr && handshake_.plugin != nullptr;
  return problems.size() == before;
}

const ApiModel& PluginSession::model() {
  if (!model_) {
    model_ = std::make_unique<ApiModel>(ApiModel::read(handshake_.apiTable));
    synthesizer_ = std::make_unique<Synthesizer>(*model_, context_.strictness);
  }
  return *model_;
}

const Synthesizer& PluginSession::synthesizer() {
  model();
  return *synthesizer_;
}

bool PluginSession::start(std::vector<std::string>& problems) {
  model();
  context_.core().setModel(model_.get(), synthesizer_.get());
  if (callbacks_.Start == nullptr) {
    problems.push_back("there is no Start callback");
    return false;
  }
  started_ = true;  // Stop is owed even when Start reports failure
  if (callbacks_.Start(handshake_.plugin, coreSession_->context()) == 0) {
    problems.push_back("Start reported failure");
    return false;
  }
  return true;
}

double PluginSession::stop() {
  if (!loaded_ || stopped_) return 0;
  coreSession_->markStopping();
  const auto begin = std::chrono::steady_clock::now();
  callbacks_.Stop(handshake_.plugin);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  coreSession_->markStopped();
  stopped_ = true;
  return seconds;
}

MemoryFigures PluginSession::memory() const {
  std::uint32_t words[14];
  std::memset(words, 0xFF, sizeof words);
  MemoryFigures figures;
  if (callbacks_.GetMemoryStats == nullptr) return figures;
  callbacks_.GetMemoryStats(nullptr, words);
  auto counter = [&](int i) { return std::uint64_t{words[2 * i]} | (std::uint64_t{words[2 * i + 1]} << 32); };
  figures.peakBytes = counter(0);
  figures.peakAllocations = counter(1);
  figures.bytesAllocated = counter(2);
  figures.allocations = counter(3);
  figures.bytesFreed = counter(4);
  figures.frees = counter(5);
  figures.tail[0] = words[12];
  figures.tail[1] = words[13];
  return figures;
}

std::vector<std::string> closingChecks(TestContext& context, const std::vector<PluginSession*>& sessions) {
  // Give stray threads of the plug-in a moment to call the core after Stop.
  std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long long>(context.seconds(20))));
  std::vector<std::string> problems = context.core().violations();
  const std::size_t total = context.core().violationCount();
  if (total > problems.size()) problems.push_back(std::to_string(total - problems.size()) + " more violations");
  for (PluginSession* session : sessions) {
    if (session == nullptr || !session->stopped()) continue;
    for (const std::string& p : session->core().closingProblems()) problems.push_back(p);
  }
  for (const std::string& n : context.core().notes()) context.note(n);
  return problems;
}

StartedSession startSession(TestContext& context) {
  StartedSession result;
  auto session = std::make_unique<PluginSession>(context);
  if (!session->load(result.problems)) {
    result.session = std::move(session);
    return result;
  }
  session->start(result.problems);
  result.session = std::move(session);
  return result;
}

}  // namespace qor::validator
