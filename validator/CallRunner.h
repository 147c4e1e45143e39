// CallRunner: sends one call to a plug-in function through its dispatch
// entry, as the core does, and judges the answer: a well-formed response
// record (error text and flag agree, status and kind in range, headers and
// value well formed, a result that fits the declared type), a stream that
// reads to its end, a release function that frees the answer and resets the
// record, and request memory the plug-in left as it was.
#pragma once

#include "validator/ApiModel.h"
#include "validator/RequestBuilder.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qor::validator {

struct CallAnswer {
  bool failed = false;  // answered with an error text
  std::uint32_t status = 0;
  std::string error;    // the error text (cut)
  std::vector<std::string> problems;  // what is wrong with the answer
  bool skipped = false;
};

// `enter`, when given, is asked right before the dispatch entry is called
// (after the request is built): false skips the call (the answer then
// reports nothing and `skipped` is set).
CallAnswer performCall(const FunctionModel& function, const CallRequest& call, const ApiModel& model,
                       unsigned strictness, const std::function<bool()>& enter = {});

}  // namespace qor::validator
