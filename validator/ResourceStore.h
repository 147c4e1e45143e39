// ResourceStore: the resources the validator's core holds, by URI. A lookup
// answers with the value, or with nothing when the URI holds nothing (the
// core then answers "Not found"). An open store makes up, on the first GET
// of a URI it never heard of, whether that URI holds something and what; a
// closed store (a resource file was given) holds exactly what it was given.
#pragma once

#include "validator/Random.h"
#include "validator/Value.h"

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qor::validator {

class Synthesizer;

class ResourceStore {
 public:
  // What a GET of `uri` finds: the value, or nullopt for "Not found". The
  // first read of a URI never set decides what it holds (open store: a value
  // shaped like the plug-in's records 60 times in 100, made with
  // `synthesizer` or an empty object without one; closed store: nothing).
  std::optional<Value> read(const std::string& uri, Random& rng, const Synthesizer* synthesizer);

  // Sets (or, with nullopt, removes) the value held for `uri`.
  void set(const std::string& uri, std::optional<Value> value);
  // The value held for `uri`, if any, without counting as a read.
  std::optional<Value> peek(const std::string& uri) const;
  // URIs read so far, in first-read order.
  std::vector<std::string> readUris() const;
  void close() { closed_.store(true); }

 private:
  std::atomic<bool> closed_{false};
  mutable std::mutex mutex_;
  std::map<std::string, std::optional<Value>> values_;
  std::vector<std::string> readOrder_;
};

}  // namespace qor::validator
