// RequestBuilder: calls of a plug-in's functions, made from the function's
// route and argument records. A valid call puts every argument where its
// route lets it come from (path, query, header, body, or the core's own
// argument list); each variant then breaks one thing.
#pragma once

#include "PluginAbi.h"
#include "validator/ApiModel.h"
#include "validator/CoreValues.h"
#include "validator/Random.h"
#include "validator/Synthesizer.h"
#include "validator/Value.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qor::validator {

enum class CallVariant {
  kValid,          // every argument present and of its type
  kMissing,        // required arguments left out
  kWrongKind,      // an argument of another kind
  kOutOfRange,     // numbers past their type's range, indices past any list
  kEnumerator,     // enumerator names that do not exist
  kStrings,        // long strings, invalid UTF-8, control characters
  kQueryGarbage,   // query strings that break every rule of a query
  kBody,           // bodies in every body format: valid, cut short, nested, huge
  kCoreArguments,  // the core's argument list: unknown names, positions, odd values
  kUnknownRoute,   // a URI or method the route does not fit: the call must fail
};

const char* callVariantName(CallVariant variant);

// One call as the core would send it; CallRunner turns it into a CoreRequest.
struct CallRequest {
  std::string label;  // what this call tries ("valid", "argument x of the wrong kind", ...)
  std::uint32_t method = CORE_METHOD_GET;
  std::string methodName;
  std::string uri;
  std::vector<std::pair<std::string, std::string>> headers;
  struct Argument {
    std::optional<std::string> name;  // none: an unnamed (positional) entry
    Value value;
    std::optional<CoreValue> raw;  // a malformed record instead of value
  };
  std::vector<Argument> arguments;
  bool hasBody = false;
  std::string body;
  std::optional<std::string> contentType;  // none: a null content type
  bool mustFail = false;  // only an error answer is right
  std::shared_ptr<ValueArena> rawStorage;  // blocks that raw argument records point to
};

class RequestBuilder {
 public:
  explicit RequestBuilder(const Synthesizer& synthesizer) : synth_(synthesizer) {}

  CallRequest build(const FunctionModel& function, CallVariant variant, Random& rng) const;

 private:
  static CallRequest startCall(const FunctionModel& function, std::string label);
  CallRequest valid(const FunctionModel& function, Random& rng, const ArgumentModel* skip = nullptr) const;
  CallRequest replacing(const FunctionModel& function, const ArgumentModel& target, const Value& value,
                        const std::string& label, Random& rng) const;
  // One per variant.
  CallRequest missing(const FunctionModel& function, Random& rng) const;
  CallRequest wrongKind(const FunctionModel& function, Random& rng) const;
  CallRequest outOfRange(const FunctionModel& function, Random& rng) const;
  CallRequest enumerator(const FunctionModel& function, Random& rng) const;
  CallRequest strings(const FunctionModel& function, Random& rng) const;
  CallRequest queryGarbage(const FunctionModel& function, Random& rng) const;
  CallRequest bodyFormats(const FunctionModel& function, Random& rng) const;
  CallRequest coreArguments(const FunctionModel& function, Random& rng) const;
  CallRequest unknownRoute(const FunctionModel& function, Random& rng) const;
  void place(CallRequest& call, const FunctionModel& function, const ArgumentModel& argument,
             const Value& value, Random& rng, std::vector<std::pair<std::string, std::string>>& query,
             std::vector<std::pair<std::string, std::string>>& path) const;
  static void finish(CallRequest& call, const FunctionModel& function,
                     const std::vector<std::pair<std::string, std::string>>& query,
                     const std::vector<std::pair<std::string, std::string>>& path, Random& rng);
  std::string bodyText(const Value& value, const std::string& contentType) const;

  const Synthesizer& synth_;
};

}  // namespace qor::validator
