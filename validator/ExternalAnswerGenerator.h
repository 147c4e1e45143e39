// ExternalAnswerGenerator: how the validator's core answers
// SendExternalRequest, one function per mode. Each fills a zeroed response
// record whose blocks the ExternalAnswer's arena owns; nothing else is read
// or kept. The core picks the mode, waits for late answers and hands out the
// release function.
#pragma once

#include "PluginAbi.h"
#include "validator/Answer.h"
#include "validator/Random.h"

#include <string>
#include <utility>
#include <vector>

namespace qor::validator {

class Synthesizer;

// How SendExternalRequest answers.
enum class ExternalMode {
  kNormal,      // outcome 0, status 200, a JSON body
  kFailures,    // transport failures of every outcome, odd statuses
  kGarbage,     // success with garbage headers and bodies
  kNullBlocks,  // counts with null pointers
  kHuge,        // huge bodies and header lists
  kLate,        // normal, after a delay
  kMixed,
};

const char* externalModeName(ExternalMode mode);

class ExternalAnswerGenerator {
 public:
  explicit ExternalAnswerGenerator(const Synthesizer* synthesizer) : synthesizer_(synthesizer) {}

  // Answers as `mode` does; kLate and kMixed answer as kNormal.
  void fill(ExternalMode mode, ExternalAnswer& answer, ExternalResponse& response, Random& rng) const;

  void normal(ExternalAnswer& answer, ExternalResponse& response, Random& rng) const;
  void failures(ExternalAnswer& answer, ExternalResponse& response, Random& rng) const;
  void garbage(ExternalAnswer& answer, ExternalResponse& response, Random& rng) const;
  void nullBlocks(ExternalResponse& response, Random& rng) const;
  void huge(ExternalAnswer& answer, ExternalResponse& response) const;

 private:
  using HeaderList = std::vector<std::pair<std::string, std::string>>;
  static void setBody(ExternalAnswer& answer, ExternalResponse& response, const std::string& body);
  // The header block lives as long as the answer's arena.
  static void setHeaders(ExternalAnswer& answer, ExternalResponse& response, const HeaderList& list);

  const Synthesizer* synthesizer_;
};

}  // namespace qor::validator
