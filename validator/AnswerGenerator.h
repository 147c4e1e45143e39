// AnswerGenerator: how the validator's core answers SendRequest, one function
// per answer mode. Each fills a zeroed response record and its Answer from
// the request's URI and method, the run's random generator and the plug-in's
// API (through the synthesizer); nothing else is read or kept, so each mode
// can be tried on its own. The core picks the mode, waits for late answers,
// and hands out the stream functions and the release function.
#pragma once

#include "PluginAbi.h"
#include "validator/Answer.h"
#include "validator/Random.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qor::validator {

class ResourceStore;
class Synthesizer;

// How SendRequest answers.
enum class AnswerMode {
  kStore,      // from the resource store: the value, or "Not found" with 404
  kErrors,     // every request fails: error texts of every sort and status codes
  kEmpty,      // success with an empty body
  kGarbage,    // success with random value trees (odd strings, odd numbers)
  kMalformed,  // success with records that break the record rules
  kNested,     // success with bodies nested past any reader's limit
  kHuge,       // success with huge arrays, structures, strings and blobs
  kLate,       // the store's answer, after a delay
  kStreamed,   // a streamed body in random chunk sizes (some failing)
  kMixed,      // each request picks one of the above
};

const char* answerModeName(AnswerMode mode);

class AnswerGenerator {
 public:
  // `synthesizer` may be null (no API read yet): bodies are then plain.
  AnswerGenerator(const Synthesizer* synthesizer, unsigned strictness)
      : synthesizer_(synthesizer), strictness_(strictness) {}

  // Answers as `mode` does; kLate and kMixed answer as kStore (the core
  // resolves them first).
  void fill(AnswerMode mode, Answer& answer, CoreResponse& response, const std::string& uri, std::uint32_t method,
            ResourceStore& store, Random& rng) const;

  // The stored value with 200; "Not found" (404) for a URI that holds
  // nothing; "Method not allowed" (405) for half the requests that are no GET.
  void fromStore(Answer& answer, CoreResponse& response, const std::string& uri, std::uint32_t method,
                 ResourceStore& store, Random& rng) const;
  // Always an error text (one kind of error: with the flag byte clear).
  void errors(Answer& answer, CoreResponse& response, Random& rng) const;
  // No body, 200 or 204.
  void empty(CoreResponse& response, Random& rng) const;
  // A well-formed random tree with odd statuses, size hints and kinds.
  void garbage(Answer& answer, CoreResponse& response, Random& rng) const;
  // A record that breaks the record rules, with 200.
  void malformed(Answer& answer, CoreResponse& response, Random& rng) const;
  // A body nested 1,025 to 5,024 levels deep, with 200.
  void nested(Answer& answer, CoreResponse& response, Random& rng) const;
  // A huge array, string, structure or blob (larger with the strictness).
  void huge(Answer& answer, CoreResponse& response, Random& rng) const;
  // A streamed body: the text, whether the stream has a close function and
  // which read fails, in `answer`; a size hint and sometimes a body beside.
  void streamed(Answer& answer, CoreResponse& response, Random& rng) const;

 private:
  static void fail(Answer& answer, CoreResponse& response, std::uint32_t status, std::string_view text);

  const Synthesizer* synthesizer_;
  unsigned strictness_;
};

}  // namespace qor::validator
