// AnswerBook: the responses handed out and not yet released.
#include "validator/AnswerBook.h"

#include <algorithm>

namespace qor::validator {
namespace {
constexpr std::size_t kReleasedAnswersKept = 256;
}  // namespace

AnswerBook& AnswerBook::process() {
  // Never destroyed: plug-in threads may still release records while the
  // process ends.
  static AnswerBook* book = new AnswerBook();
  return *book;
}

bool AnswerBook::add(const CoreResponse* record, std::unique_ptr<Answer> answer) {
  if (answer->streamed) liveStreams_.insert(answer.get());
  auto [it, fresh] = answers_.try_emplace(record);
  if (!fresh) {
    // The plug-in may still hold the earlier body's blocks: they stay.
    liveStreams_.erase(it->second.get());
    released_.push_back(std::move(it->second));
  }
  it->second = std::move(answer);
  return fresh;
}

bool AnswerBook::addExternal(const ExternalResponse* record, std::unique_ptr<ExternalAnswer> answer) {
  auto [it, fresh] = externals_.try_emplace(record);
  it->second = std::move(answer);
  return fresh;
}

std::unique_ptr<Answer> AnswerBook::take(const CoreResponse* record) {
  auto it = answers_.find(record);
  if (it == answers_.end()) return nullptr;
  std::unique_ptr<Answer> answer = std::move(it->second);
  answers_.erase(it);
  liveStreams_.erase(answer.get());
  return answer;
}

std::unique_ptr<ExternalAnswer> AnswerBook::takeExternal(const ExternalResponse* record) {
  auto it = externals_.find(record);
  if (it == externals_.end()) return nullptr;
  std::unique_ptr<ExternalAnswer> answer = std::move(it->second);
  externals_.erase(it);
  return answer;
}

void AnswerBook::keepReleased(std::unique_ptr<Answer> answer) {
  answer->arena.reset();  // the blocks go; the shell stays to recognise late reads
  answer->text.clear();
  answer->text.shrink_to_fit();
  released_.push_back(std::move(answer));
  if (released_.size() > kReleasedAnswersKept) released_.pop_front();
}

Answer* AnswerBook::liveStream(const void* stream, bool& released, CoreSession*& owner) const {
  auto* answer = static_cast<Answer*>(const_cast<void*>(stream));
  released = false;
  owner = nullptr;
  if (liveStreams_.count(answer) != 0) {
    owner = answer->session;
    return answer;
  }
  auto it = std::find_if(released_.begin(), released_.end(), [&](const auto& a) { return a.get() == answer; });
  if (it != released_.end()) {
    released = true;
    owner = (*it)->session;
  }
  return nullptr;
}

std::size_t AnswerBook::openAnswers(const CoreSession* session) const {
  std::size_t n = 0;
  for (const auto& [record, answer] : answers_) n += answer->session == session;
  return n;
}

std::size_t AnswerBook::openExternals(const CoreSession* session) const {
  std::size_t n = 0;
  for (const auto& [record, answer] : externals_) n += answer->session == session;
  return n;
}

void AnswerBook::sessionOpened(CoreSession* session) {
  std::lock_guard lock(sessionMutex_);
  newestSession_ = session;
}

CoreSession* AnswerBook::newestSession() const {
  std::lock_guard lock(sessionMutex_);
  return newestSession_;
}

}  // namespace qor::validator
