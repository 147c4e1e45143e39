// AnswerBook: every response record the validator's cores handed to a
// plug-in and not yet taken back, by the record's address, with the session
// that answered. The functions a response carries (release, stream read and
// close) get nothing but the record or the stream handle; the book finds the
// answer and its session from that, and through the session the core. The
// book lives as long as the process, since a plug-in thread may release a
// record after the core that answered is gone.
#pragma once

#include "PluginAbi.h"
#include "validator/Answer.h"

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace qor::validator {

class CoreSession;

class AnswerBook {
 public:
  static AnswerBook& process();

  std::mutex& mutex() { return mutex_; }

  // ---- Under mutex() ----
  // Books `answer` for `record` (and its stream, when streamed). False when
  // the record still held an earlier answer (which then counts as released).
  bool add(const CoreResponse* record, std::unique_ptr<Answer> answer);
  bool addExternal(const ExternalResponse* record, std::unique_ptr<ExternalAnswer> answer);
  // Takes back the answer of `record`; null when the book has none.
  std::unique_ptr<Answer> take(const CoreResponse* record);
  std::unique_ptr<ExternalAnswer> takeExternal(const ExternalResponse* record);
  // Keeps the shell of a released answer a while, to recognise late reads.
  void keepReleased(std::unique_ptr<Answer> answer);
  // The answer of a live stream handle; else null, with `released` telling
  // whether the handle belonged to a released answer (and its session in
  // `owner` when known).
  Answer* liveStream(const void* stream, bool& released, CoreSession*& owner) const;
  // Responses of `session` not yet released.
  std::size_t openAnswers(const CoreSession* session) const;
  std::size_t openExternals(const CoreSession* session) const;

  // ---- Locks itself ----
  // The session that records what no session can be found for (a record or
  // a stream handle never handed out): the newest one.
  void sessionOpened(CoreSession* session);
  CoreSession* newestSession() const;

 private:
  AnswerBook() = default;

  std::mutex mutex_;
  std::map<const void*, std::unique_ptr<Answer>> answers_;  // by response record
  std::set<const Answer*> liveStreams_;
  std::deque<std::unique_ptr<Answer>> released_;  // the newest shells
  std::map<const void*, std::unique_ptr<ExternalAnswer>> externals_;  // by response record
  mutable std::mutex sessionMutex_;
  CoreSession* newestSession_ = nullptr;
};

}  // namespace qor::validator
