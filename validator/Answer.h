// Answer, ExternalAnswer: what the validator's core keeps for one response it
// handed to the plug-in, from the request until the plug-in releases the
// record: the blocks the record points to, and for a streamed body the text
// still to be read and the stream's state.
#pragma once

#include "validator/CoreValues.h"
#include "validator/Random.h"

#include <memory>
#include <string>

namespace qor::validator {

class CoreSession;

struct Answer {
  CoreSession* session = nullptr;
  std::unique_ptr<ValueArena> arena = std::make_unique<ValueArena>();
  std::string uri;
  bool streamed = false;
  bool hasClose = false;  // the record carries a close function
  bool closed = false;
  bool failedRead = false;
  std::string text;       // the streamed body
  std::size_t pos = 0;    // how much of it was read
  int reads = 0;
  int failAt = -1;        // the read that fails, or -1
  unsigned zeroChunks = 0;
  Random rng;             // the chunk sizes
};

struct ExternalAnswer {
  CoreSession* session = nullptr;
  ValueArena arena;
};

}  // namespace qor::validator
