// Synthesizer: values made from a plug-in's own type records. Valid values
// follow a type exactly (enumerator names, field names, integer ranges);
// the invalid ones each break one rule (a wrong kind, a number out of range,
// an unknown enumerator, a hostile string), so an answer can be judged
// against what was sent.
#pragma once

#include "PluginAbi.h"
#include "validator/ApiModel.h"
#include "validator/Random.h"
#include "validator/Value.h"

#include <string>

namespace qor::validator {

class ValueArena;

class Synthesizer {
 public:
  Synthesizer(const ApiModel& model, unsigned strictness) : model_(model), strictness_(strictness) {}

  // A value the type accepts.
  Value valid(const TypeRefModel& type, Random& rng, unsigned depth = 0) const;
  Value validStructure(const TypeModel& type, Random& rng, unsigned depth = 0) const;
  // A value of a randomly chosen structure of the table (or, without any,
  // a random tree): what a resource of another plug-in may look like.
  Value plausibleResource(Random& rng) const;
  // An arbitrary tree of at most `maxDepth` levels with odd strings and
  // numbers mixed in.
  Value randomTree(Random& rng, unsigned maxDepth, unsigned maxWidth) const;

  // The kinds of invalid argument values.
  Value wrongKind(const TypeRefModel& type, Random& rng) const;
  Value outOfRange(const TypeRefModel& type, Random& rng) const;  // wrongKind for non-numbers
  Value unknownEnumerator(const TypeRefModel& type, Random& rng) const;
  // Long strings, invalid UTF-8, control characters, stray percent signs.
  std::string hostileString(Random& rng) const;
  std::string plainString(Random& rng) const;

  // depth containers, one inside the other (arrays, or structures of one member).
  static Value nested(unsigned depth, bool structures);
  // A core value record that breaks the record rules (unknown kinds, null
  // pointers with counts, bool bytes other than 0 and 1, members without a
  // name); blocks it points to are owned by `arena`.
  CoreValue malformed(Random& rng, ValueArena& arena) const;

  const ApiModel& model() const { return model_; }
  unsigned strictness() const { return strictness_; }

 private:
  const ApiModel& model_;
  unsigned strictness_;
};

}  // namespace qor::validator
