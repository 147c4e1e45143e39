// ValidatorCore: sessions, answers in the chosen mode, and the record of
// violations.
#include "validator/ValidatorCore.h"

#include "validator/AnswerBook.h"
#include "validator/CoreEntries.h"

#include <algorithm>
#include <cstring>

namespace qor::validator {
namespace {
constexpr std::size_t kMaxViolations = 64;
constexpr std::size_t kMaxNotes = 64;

// Sessions whose core is gone: a plug-in thread may still hold their tables,
// so they stay until the process ends.
struct OrphanedSessions {
  std::mutex mutex;
  std::vector<std::unique_ptr<CoreSession>> sessions;
};
OrphanedSessions& orphanedSessions() {
  static OrphanedSessions* kept = new OrphanedSessions();
  return *kept;
}

}  // namespace

ValidatorCore::ValidatorCore(Options options) : options_(options) {}

ValidatorCore::~ValidatorCore() {
  // Sessions stay: a plug-in thread may still hold a table. Held calls are
  // let go first, so that the calls inside the core end soon.
  for (auto& session : sessions_) session->holdAnswers(false);
  OrphanedSessions& orphaned = orphanedSessions();
  std::lock_guard lock(orphaned.mutex);
  for (auto& session : sessions_) {
    session->detachCore();
    orphaned.sessions.push_back(std::move(session));
  }
}

CoreSession& ValidatorCore::openSession() {
  sessions_.push_back(std::unique_ptr<CoreSession>(new CoreSession(*this, options_.timeScale)));
  AnswerBook::process().sessionOpened(sessions_.back().get());
  return *sessions_.back();
}

void ValidatorCore::setModel(const ApiModel* model, const Synthesizer* synthesizer) {
  model_ = model;
  synthesizer_ = synthesizer;
}

Random& ValidatorCore::threadRandom() {
  thread_local Random random(0);
  thread_local bool seeded = false;
  if (!seeded) {
    random.reseed(options_.seed ^ Random::hash(std::to_string(threadSeeds_.fetch_add(1))));
    seeded = true;
  }
  return random;
}

// ---- Findings -------------------------------------------------------------------------

void ValidatorCore::violation(const std::string& text) {
  std::lock_guard lock(findingsMutex_);
  ++violationTotal_;
  if (violations_.size() < kMaxViolations && std::find(violations_.begin(), violations_.end(), text) == violations_.end())
    violations_.push_back(text);
}

void ValidatorCore::note(const std::string& text) {
  std::lock_guard lock(findingsMutex_);
  if (notes_.size() < kMaxNotes && noteSet_.insert(text).second) notes_.push_back(text);
}

std::vector<std::string> ValidatorCore::violations() const {
  std::lock_guard lock(findingsMutex_);
  return violations_;
}

std::size_t ValidatorCore::violationCount() const {
  std::lock_guard lock(findingsMutex_);
  return violationTotal_;
}

std::vector<std::string> ValidatorCore::notes() const {
  std::lock_guard lock(findingsMutex_);
  return notes_;
}

// ---- Answers ---------------------------------------------------------------------------

void ValidatorCore::answerRequest(CoreSession& session, CoreResponse& response, const CoreRequest& request) {
  const std::string uri = request.uri;
  Random& rng = threadRandom();
  AnswerMode mode = answerMode_.load();
  if (mode == AnswerMode::kMixed) {
    static constexpr AnswerMode kMix[] = {AnswerMode::kStore, AnswerMode::kStore, AnswerMode::kErrors,
                                          AnswerMode::kEmpty, AnswerMode::kGarbage, AnswerMode::kNested,
                                          AnswerMode::kLate, AnswerMode::kStreamed, AnswerMode::kStreamed};
    mode = rng.pick(kMix);
    if (rng.chance(3)) mode = AnswerMode::kHuge;
    if (options_.strictness >= 6 && rng.chance(5)) mode = AnswerMode::kMalformed;
  }
  if (mode == AnswerMode::kLate) {
    session.lateWait(rng, options_.lateMaxMs);
    mode = AnswerMode::kStore;
  }

  auto answer = std::make_unique<Answer>();
  answer->session = &session;
  answer->uri = uri;
  answer->rng = rng.fork();
  std::memset(static_cast<void*>(&response), 0, sizeof response);
  AnswerGenerator(synthesizer_, options_.strictness).fill(mode, *answer, response, uri, request.method, store_, rng);
  if (answer->streamed) {
    response.read = &CoreEntries::readStream;
    response.close = answer->hasClose ? &CoreEntries::closeStream : nullptr;
  }
  response.release = &CoreEntries::releaseResponse;
  AnswerBook& book = AnswerBook::process();
  std::lock_guard lock(book.mutex());
  if (answer->streamed) {
    response.stream = answer.get();
    counters_.streamsOpened++;
  }
  if (!book.add(&response, std::move(answer)))
    violation("SendRequest " + uri + ": the response record of an earlier request was reused before it was released");
}

void ValidatorCore::answerExternal(CoreSession& session, ExternalResponse& response, const ExternalRequest& request) {
  const std::string url = request.url;
  Random& rng = threadRandom();
  ExternalMode mode = externalMode_.load();
  if (mode == ExternalMode::kMixed) {
    static constexpr ExternalMode kMix[] = {ExternalMode::kNormal, ExternalMode::kFailures, ExternalMode::kGarbage,
                                            ExternalMode::kNullBlocks, ExternalMode::kLate};
    mode = rng.pick(kMix);
    if (rng.chance(3)) mode = ExternalMode::kHuge;
  }
  if (mode == ExternalMode::kLate) {
    session.lateWait(rng, options_.lateMaxMs);
    mode = ExternalMode::kNormal;
  }
  auto answer = std::make_unique<ExternalAnswer>();
  answer->session = &session;
  std::memset(static_cast<void*>(&response), 0, sizeof response);
  ExternalAnswerGenerator(synthesizer_).fill(mode, *answer, response, rng);
  response.release = &CoreEntries::releaseExternal;
  AnswerBook& book = AnswerBook::process();
  std::lock_guard lock(book.mutex());
  if (!book.addExternal(&response, std::move(answer)))
    violation("SendExternalRequest " + url + ": the response record of an earlier request was reused before it was released");
}

}  // namespace qor::validator
