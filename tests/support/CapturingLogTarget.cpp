// CapturingLogTarget: records kept in memory under the target's own lock.
#include "support/CapturingLogTarget.h"

#include <mutex>

namespace qor::testing {

namespace {
using Guard = std::lock_guard<platform::RecursiveMutex>;
}

CapturingLogTarget::CapturingLogTarget() {
  setLevel(LogLevel::Okay);
  setGroups(0, 0);
}

// Detached here, while entries_ still exists, so no write can reach a
// half-destroyed target.
CapturingLogTarget::~CapturingLogTarget() { detach(); }

const char* CapturingLogTarget::className() const { return "CapturingLogTarget"; }

bool CapturingLogTarget::write(const LogRecord& record) {
  Guard g(targetLock());
  entries_.push_back(Entry{record.level, record.groups, record.message ? record.message : ""});
  return true;
}

std::vector<CapturingLogTarget::Entry> CapturingLogTarget::entries() const {
  Guard g(targetLock());
  return entries_;
}

std::vector<std::string> CapturingLogTarget::messages() const {
  Guard g(targetLock());
  std::vector<std::string> out;
  out.reserve(entries_.size());
  for (const Entry& e : entries_) out.push_back(e.message);
  return out;
}

std::size_t CapturingLogTarget::size() const {
  Guard g(targetLock());
  return entries_.size();
}

void CapturingLogTarget::clear() {
  Guard g(targetLock());
  entries_.clear();
}

}  // namespace qor::testing
