#include "support/FuzzCheck.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace qor::fuzz {
namespace {
std::atomic<FindingHandler> gHandler{nullptr};
}  // namespace

void reportFinding(const std::string& message) {
  if (FindingHandler handler = gHandler.load()) {
    handler(message);
    return;
  }
  std::fprintf(stderr, "FUZZ FINDING: %s\n", message.c_str());
  std::fflush(stderr);
  std::abort();
}

FindingHandler setFindingHandler(FindingHandler handler) { return gHandler.exchange(handler); }

}  // namespace qor::fuzz
