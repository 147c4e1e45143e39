// TestSupport: what every validator test runs on inside its own process: the
// run's options, the channel back to the parent (notes, figures, steps and
// the result), the loaded library, the core, and PluginSession, one load of
// the plug-in from handshake to Stop with the checks every load must pass.
#pragma once

#include "PluginAbi.h"
#include "validator/ApiModel.h"
#include "validator/PluginModule.h"
#include "validator/Random.h"
#include "validator/Synthesizer.h"
#include "validator/ValidatorCore.h"
#include "validator/Value.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qor::validator {

struct RunOptions {
  std::string library;
  std::string exportName;  // empty: derived from the file name
  unsigned strictness = 5;
  std::uint64_t seed = 1;
  std::uint32_t coreVersion[3] = {CORE_API_VERSION_MAJOR, CORE_API_VERSION_MINOR, CORE_API_VERSION_PATCH};
  double timeScale = 1;
  unsigned soakSeconds = 0;  // 0: the soak's own length
  std::string resourcesFile;  // the resources the core holds (JSON), or ""
  std::vector<std::pair<std::string, std::string>> variables;  // ${NAME} in that file
};

// The resources of a resource file: its "resources" object when it has one
// (a development-host scenario), else the whole object; URI to value, with
// ${NAME} replaced by the variables' values. False with `error` set when the
// file cannot be read or is not a JSON object.
bool readResourceFile(const RunOptions& options, std::vector<std::pair<std::string, Value>>& resources,
                      std::string& error);

struct TestResult {
  enum Status { kPassed, kFailed, kSkipped } status = kPassed;
  std::string reason;
  static TestResult passed(std::string why = {}) { return {kPassed, std::move(why)}; }
  static TestResult failed(std::string why) { return {kFailed, std::move(why)}; }
  static TestResult skipped(std::string why) { return {kSkipped, std::move(why)}; }
  // Failed with the first problems (and how many more), or passed with `ok`.
  static TestResult from(const std::vector<std::string>& problems, std::string ok = {});
};

// Lines the test process writes for the parent, one per line, flushed at once
// so that they survive a crash: "@@note", "@@metric", "@@step", "@@expect-end",
// "@@result".
class ResultChannel {
 public:
  explicit ResultChannel(const std::string& path);
  ~ResultChannel();
  void note(const std::string& text);
  void metric(const std::string& key, double value);
  void step(const std::string& text);
  void expectEnd(const std::string& text);
  void result(const TestResult& result);

 private:
  void line(const char* tag, const std::string& text);
  std::FILE* file_ = nullptr;
};

// The six counters of GetMemoryStats.
struct MemoryFigures {
  std::uint64_t peakBytes = 0, peakAllocations = 0, bytesAllocated = 0, allocations = 0, bytesFreed = 0, frees = 0;
  std::uint32_t tail[2] = {0, 0};
  std::int64_t liveBytes() const { return static_cast<std::int64_t>(bytesAllocated - bytesFreed); }
  // Allocations minus frees: never above the blocks in use, but below them by
  // one for every null block reallocated and since freed (see problems()).
  std::int64_t liveBlocks() const { return static_cast<std::int64_t>(allocations - frees); }
  // What is inconsistent in one reading (a free count above the allocation
  // count, a peak below the bytes in use, a non-zero tail word, ...).
  std::vector<std::string> problems() const;
  // What went backwards between an earlier reading and this one.
  std::vector<std::string> regressions(const MemoryFigures& earlier) const;
  std::string describe() const;  // "12.3 KiB in 45 blocks (peak 1.2 MiB)"
};

std::string formatBytes(double bytes);

class TestContext {
 public:
  TestContext(const RunOptions& options, const std::string& testName, ResultChannel& channel);
  ~TestContext();

  const RunOptions& options;
  const unsigned strictness;
  Random rng;
  ResultChannel& channel;

  // The library, loaded once per process; null (with why) when it does not load.
  PluginModule* module(std::string* why = nullptr);
  ValidatorCore& core() { return *core_; }
  // base, plus perLevel for every strictness level above 1.
  unsigned scaled(unsigned base, unsigned perLevel) const { return base + perLevel * (strictness - 1); }
  double seconds(double base) const { return base * options.timeScale; }
  void note(const std::string& text) { channel.note(text); }
  void step(const std::string& text) { channel.step(text); }

 private:
  std::unique_ptr<PluginModule> module_;
  std::string moduleError_;
  std::unique_ptr<ValidatorCore> core_;
};

// One load of the plug-in: handshake, Start, Stop. Copies what the handshake
// wrote, so that nothing inside the plug-in object is read after Stop.
class PluginSession {
 public:
  explicit PluginSession(TestContext& context);
  ~PluginSession();  // stops a started or loaded session that was not stopped
  PluginSession(const PluginSession&) = delete;
  PluginSession& operator=(const PluginSession&) = delete;

  // Calls the export with the core's version (or `version`); false (with the
  // problems) when the handshake record is not well formed.
  bool load(std::vector<std::string>& problems);
  bool load(const std::uint32_t version[3], std::vector<std::string>& problems);
  // Reads the API table into model(); its problems are the table's.
  const ApiModel& model();
  // Calls Start; false (with the problem) when the plug-in reports failure.
  bool start(std::vector<std::string>& problems);
  // Calls Stop; returns the seconds it took.
  double stop();

  MemoryFigures memory() const;
  const PluginHandshake& handshake() const { return handshake_; }
  CoreSession& core() { return *coreSession_; }
  const Synthesizer& synthesizer();
  bool loaded() const { return loaded_; }
  bool started() const { return started_; }
  bool stopped() const { return stopped_.load(); }
  std::uint32_t pluginVersion(int i) const { return written_[i]; }

 private:
  TestContext& context_;
  CoreSession* coreSession_ = nullptr;
  PluginHandshake handshake_{};
  PluginCallbacks callbacks_{};  // copied: the record lives inside the plug-in object
  std::uint32_t written_[3] = {0, 0, 0};
  bool loaded_ = false;
  bool started_ = false;
  std::atomic<bool> stopped_{false};  // read by a test's event threads
  std::unique_ptr<ApiModel> model_;
  std::unique_ptr<Synthesizer> synthesizer_;
};

// The checks every test ends with: the core saw no violation, each stopped
// session ended its subscriptions, released its responses and closed its wait
// sections, and (after a grace period) nothing called the core after Stop.
std::vector<std::string> closingChecks(TestContext& context, const std::vector<PluginSession*>& sessions);

// A loaded and started session, or the reason it could not be had.
struct StartedSession {
  std::unique_ptr<PluginSession> session;
  std::vector<std::string> problems;
  bool ok() const { return session != nullptr && problems.empty(); }
};
StartedSession startSession(TestContext& context);

}  // namespace qor::validator
