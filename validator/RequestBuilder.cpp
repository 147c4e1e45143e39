// RequestBuilder: valid calls and their variants.
#include "validator/RequestBuilder.h"

#include "protocol/PercentEncode.h"
#include "protocol/RouteMatcher.h"

#include <algorithm>

namespace qor::validator {
namespace {

constexpr const char* kBodyTypes[] = {"application/json", "application/vnd.api+json", "application/x-msgpack",
                                      "application/x-yaml"};

std::string lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool isNumberCode(std::uint32_t code) {
  return isCoreIntegerType(code) || code == CORE_TYPE_FLOAT || code == CORE_TYPE_DOUBLE;
}

bool mentionsEnum(const TypeRefModel& type) {
  return type.code == CORE_TYPE_ENUM || ((type.code == CORE_TYPE_VECTOR || type.code == CORE_TYPE_MAP) && type.element == CORE_TYPE_ENUM);
}

// One argument for which `wanted` holds, picked at random; null when none does.
template <class Wanted>
const ArgumentModel* pickArgument(const FunctionModel& function, Random& rng, Wanted wanted) {
  std::vector<const ArgumentModel*> candidates;
  for (const ArgumentModel& a : function.arguments)
    if (wanted(a)) candidates.push_back(&a);
  return candidates.empty() ? nullptr : rng.pick(candidates);
}

}  // namespace

const char* callVariantName(CallVariant variant) {
  switch (variant) {
    case CallVariant::kValid: return "valid arguments";
    case CallVariant::kMissing: return "missing arguments";
    case CallVariant::kWrongKind: return "arguments of the wrong kind";
    case CallVariant::kOutOfRange: return "out-of-range numbers and indices";
    case CallVariant::kEnumerator: return "unknown enumerator names";
    case CallVariant::kStrings: return "long and invalid UTF-8 strings";
    case CallVariant::kQueryGarbage: return "garbage query strings";
    case CallVariant::kBody: return "bodies in every format";
    case CallVariant::kCoreArguments: return "odd core argument lists";
    case CallVariant::kUnknownRoute: return "URIs and methods the route does not fit";
  }
  return "?";
}

std::string RequestBuilder::bodyText(const Value& value, const std::string& contentType) const {
  const std::string type = lower(contentType);
  if (type.rfind("application/x-msgpack", 0) == 0) return toMsgPack(value);
  if (type.rfind("application/x-yaml", 0) == 0) return toYaml(value);
  return toJson(value);
}

void RequestBuilder::place(CallRequest& call, const FunctionModel& function, const ArgumentModel& argument,
                           const Value& value, Random& rng, std::vector<std::pair<std::string, std::string>>& query,
                           std::vector<std::pair<std::string, std::string>>& path) const {
  std::uint32_t location = argument.location;
  const bool isVariable = std::any_of(function.variables.begin(), function.variables.end(),
                                      [&](const RouteVariable& v) { return v.name == argument.name; });
  if (isVariable) location = CORE_LOCATION_PATH;
  if (location == CORE_LOCATION_ANYWHERE) {
    // Maps cannot travel as a query or header text; everything else may.
    const std::uint64_t pick = argument.type.code == CORE_TYPE_MAP ? 0 : rng.below(5);
    location = pick < 2 ? CORE_LOCATION_ANYWHERE : pick < 4 ? CORE_LOCATION_QUERY : CORE_LOCATION_HEADER;
  }
  switch (location) {
    case CORE_LOCATION_PATH: path.emplace_back(argument.name, toArgumentText(value)); return;
    case CORE_LOCATION_QUERY:
      if (argument.type.code == CORE_TYPE_MAP && value.kind == Value::kObject) {
        for (const auto& [key, member] : value.members)
          query.emplace_back(argument.name + "." + key, toArgumentText(member));
        if (value.members.empty()) query.emplace_back(argument.name, "");
        return;
      }
      query.emplace_back(argument.name, toArgumentText(value));
      return;
    case CORE_LOCATION_HEADER: call.headers.emplace_back(lower(argument.name), toArgumentText(value)); return;
    case CORE_LOCATION_BODY: {
      std::string type = rng.pick(kBodyTypes);
      if (rng.chance(20)) type += "; charset=utf-8";
      if (rng.chance(10)) type[0] = static_cast<char>(type[0] - 'a' + 'A');
      call.hasBody = true;
      call.body = bodyText(value, type);
      call.contentType = type;
      return;
    }
    default: call.arguments.push_back(CallRequest::Argument{argument.name, value, std::nullopt}); return;
  }
}

void RequestBuilder::finish(CallRequest& call, const FunctionModel& function,
                            const std::vector<std::pair<std::string, std::string>>& query,
                            const std::vector<std::pair<std::string, std::string>>& path, Random&) {
  std::string uri;
  const std::string& t = function.uriTemplate;
  bool fragment = false;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] != '{') {
      uri += t[i];
      continue;
    }
    const std::size_t close = t.find('}', i);
    if (close == std::string::npos) {
      uri += t.substr(i);
      break;
    }
    std::string name = t.substr(i + 1, close - i - 1);
    char mark = '\0';
    if (!name.empty() && (name[0] == '+' || name[0] == '#')) {
      mark = name[0];
      name.erase(0, 1);
    }
    std::string text = "x";
    for (const auto& [key, value] : path)
      if (key == name) text = value;
    std::string encoded = percentEncode(text);
    if (mark != '\0') {
      // Any-rest variables may keep their slashes.
      std::string kept;
      for (std::size_t k = 0; k < encoded.size(); ++k) {
        if (encoded.compare(k, 3, "%2F") == 0) {
          kept += '/';
          k += 2;
        } else {
          kept += encoded[k];
        }
      }
      encoded = kept;
    }
    if (mark == '#') {
      uri += '#';
      fragment = true;
    }
    uri += encoded;
    i = close;
  }
  if (uri.size() > 1 && uri.back() == '/' && t.back() == '/') uri.pop_back();
  if (!query.empty() && !fragment) {
    uri += '?';
    for (std::size_t i = 0; i < query.size(); ++i) {
      if (i != 0) uri += '&';
      uri += percentEncode(query[i].first) + "=" + percentEncode(query[i].second);
    }
  }
  call.uri = uri;
}

// A call with the function's method and no arguments yet.
CallRequest RequestBuilder::startCall(const FunctionModel& function, std::string label) {
  CallRequest call;
  call.label = std::move(label);
  call.method = function.method == CORE_METHOD_NONE ? std::uint32_t{CORE_METHOD_GET} : function.method;
  call.methodName = function.method == CORE_METHOD_OTHER ? function.methodName : "";
  return call;
}

CallRequest RequestBuilder::valid(const FunctionModel& function, Random& rng, const ArgumentModel* skip) const {
  CallRequest call = startCall(function, "valid arguments");
  std::vector<std::pair<std::string, std::string>> query, path;
  for (const ArgumentModel& argument : function.arguments) {
    if (&argument == skip) continue;
    if (argument.optional && rng.chance(25)) continue;
    place(call, function, argument, synth_.valid(argument.type, rng), rng, query, path);
  }
  finish(call, function, query, path, rng);
  return call;
}

// A valid call in which one argument carries `value` instead.
CallRequest RequestBuilder::replacing(const FunctionModel& function, const ArgumentModel& target, const Value& value,
                                      const std::string& label, Random& rng) const {
  CallRequest call = startCall(function, label);
  std::vector<std::pair<std::string, std::string>> query, path;
  for (const ArgumentModel& argument : function.arguments) {
    const Value v = &argument == &target ? value : synth_.valid(argument.type, rng);
    place(call, function, argument, v, rng, query, path);
  }
  finish(call, function, query, path, rng);
  return call;
}

CallRequest RequestBuilder::build(const FunctionModel& function, CallVariant variant, Random& rng) const {
  switch (variant) {
    case CallVariant::kValid: return valid(function, rng);
    case CallVariant::kMissing: return missing(function, rng);
    case CallVariant::kWrongKind: return wrongKind(function, rng);
    case CallVariant::kOutOfRange: return outOfRange(function, rng);
    case CallVariant::kEnumerator: return enumerator(function, rng);
    case CallVariant::kStrings: return strings(function, rng);
    case CallVariant::kQueryGarbage: return queryGarbage(function, rng);
    case CallVariant::kBody: return bodyFormats(function, rng);
    case CallVariant::kCoreArguments: return coreArguments(function, rng);
    case CallVariant::kUnknownRoute: return unknownRoute(function, rng);
  }
  return valid(function, rng);
}

CallRequest RequestBuilder::missing(const FunctionModel& function, Random& rng) const {
  const ArgumentModel* required = pickArgument(function, rng, [](const ArgumentModel& a) { return !a.optional; });
  if (required == nullptr || rng.chance(25)) {
    // No argument at all: only the route's literal parts.
    const std::vector<std::pair<std::string, std::string>> none;
    CallRequest bare = startCall(function, "no arguments at all");
    finish(bare, function, none, none, rng);
    return bare;
  }
  CallRequest call = valid(function, rng, required);
  call.label = "required argument '" + required->name + "' left out";
  return call;
}

CallRequest RequestBuilder::wrongKind(const FunctionModel& function, Random& rng) const {
  const ArgumentModel* target = pickArgument(function, rng, [](const ArgumentModel&) { return true; });
  if (target == nullptr) return valid(function, rng);
  return replacing(function, *target, synth_.wrongKind(target->type, rng),
                   "argument '" + target->name + "' (" + target->type.describe() + ") of the wrong kind", rng);
}

CallRequest RequestBuilder::outOfRange(const FunctionModel& function, Random& rng) const {
  const ArgumentModel* number = pickArgument(function, rng, [](const ArgumentModel& a) { return isNumberCode(a.type.code); });
  if (number != nullptr && rng.chance(70))
    return replacing(function, *number, synth_.outOfRange(number->type, rng),
                     "argument '" + number->name + "' (" + number->type.describe() + ") out of range", rng);
  // Indices no list should grow to, through a dotted query key.
  const ArgumentModel* container = pickArgument(function, rng, [](const ArgumentModel& a) {
    return (a.type.code == CORE_TYPE_VECTOR || a.type.code == CORE_TYPE_STRUCT || a.type.code == CORE_TYPE_OBJECT ||
            a.type.code == CORE_TYPE_MAP) &&
           (a.location == CORE_LOCATION_ANYWHERE || a.location == CORE_LOCATION_QUERY);
  });
  if (container == nullptr) {
    if (number == nullptr) return valid(function, rng);
    return replacing(function, *number, synth_.outOfRange(number->type, rng),
                     "argument '" + number->name + "' (" + number->type.describe() + ") out of range", rng);
  }
  CallRequest call = valid(function, rng, container);
  static constexpr const char* kIndices[] = {"99999999", "2147483648", "4294967296", "65536", "1z", "0x7fffffff",
                                             "077777777777", "18446744073709551616", "0.99999999", "1.2147483647"};
  const std::string key = container->name + "." + rng.pick(kIndices);
  call.uri += (call.uri.find('?') == std::string::npos ? "?" : "&") + percentEncode(key) + "=1";
  call.label = "query key " + key;
  return call;
}

CallRequest RequestBuilder::enumerator(const FunctionModel& function, Random& rng) const {
  const ArgumentModel* target = pickArgument(function, rng, [](const ArgumentModel& a) { return mentionsEnum(a.type); });
  if (target == nullptr) return valid(function, rng);
  Value bogus = synth_.unknownEnumerator(TypeRefModel{CORE_TYPE_ENUM, 0, target->type.name}, rng);
  if (target->type.code == CORE_TYPE_VECTOR) bogus = Value::array({bogus});
  if (target->type.code == CORE_TYPE_MAP) bogus = Value::object({{"key", bogus}});
  return replacing(function, *target, bogus, "argument '" + target->name + "' with an unknown enumerator", rng);
}

CallRequest RequestBuilder::strings(const FunctionModel& function, Random& rng) const {
  const ArgumentModel* target = pickArgument(function, rng, [](const ArgumentModel&) { return true; });
  if (target == nullptr) {
    CallRequest call = valid(function, rng);
    call.uri += (call.uri.find('?') == std::string::npos ? "?" : "&") + std::string("s=") +
                percentEncode(synth_.hostileString(rng));
    call.label = "a hostile string in an unknown query key";
    return call;
  }
  Value text = Value::ofString(synth_.hostileString(rng));
  if (target->type.code == CORE_TYPE_VECTOR) text = Value::array({text});
  return replacing(function, *target, text, "argument '" + target->name + "' with a hostile string", rng);
}

CallRequest RequestBuilder::queryGarbage(const FunctionModel& function, Random& rng) const {
  CallRequest call = valid(function, rng);
  static constexpr const char* kGarbage[] = {"&&&==&=x", "%", "x=%ZZ%G", "+++=+++", "a.b.c.d.e=1", "noSuchArgument=1",
                                             "?", "=", "a=b=c=d", "..=1", "%00=%00", "x=%E2%82", "#fragment"};
  std::string extra;
  const std::size_t pieces = 1 + rng.below(4);
  for (std::size_t i = 0; i < pieces; ++i) extra += std::string(i == 0 ? "" : "&") + rng.pick(kGarbage);
  if (!function.arguments.empty() && rng.chance(40)) {
    const ArgumentModel& a = rng.pick(function.arguments);
    extra += "&" + a.name + "." + (rng.chance(50) ? "" : "..") + "=1&" + a.name + "=" + a.name;
  }
  if (synth_.strictness() >= 6 && rng.chance(20)) {
    for (int i = 0; i < 5000; ++i) extra += "&k" + std::to_string(i) + "=v";
  }
  call.uri += (call.uri.find('?') == std::string::npos ? "?" : "&") + extra;
  call.label = "query garbage \"" + extra.substr(0, 60) + "\"";
  return call;
}

CallRequest RequestBuilder::bodyFormats(const FunctionModel& function, Random& rng) const {
  CallRequest call = valid(function, rng);
  const ArgumentModel* bodyArgument = nullptr;
  for (const ArgumentModel& a : function.arguments)
    if (a.location == CORE_LOCATION_BODY && bodyArgument == nullptr) bodyArgument = &a;
  const Value value = bodyArgument != nullptr ? synth_.valid(bodyArgument->type, rng) : synth_.randomTree(rng, 3, 4);
  std::string type = rng.pick(kBodyTypes);
  std::string body = bodyText(value, type);
  std::string damage;
  switch (rng.below(8)) {
    case 0: damage = "valid"; break;
    case 1:
      body = body.substr(0, static_cast<std::size_t>(rng.below(body.size() + 1)));
      damage = "cut short";
      break;
    case 2: {
      const unsigned depth = static_cast<unsigned>(1100 + rng.below(5000));
      body = bodyText(Synthesizer::nested(depth, rng.chance(50)), type);
      damage = "nested " + std::to_string(depth) + " deep";
      break;
    }
    case 3:
      if (type == "application/x-msgpack") {
        body = std::string(rng.chance(50) ? "\xdd\xff\xff\xff\xff" : "\xdf\xff\xff\xff\xff", 5) + "\x01\x02";
      } else if (type == "application/x-yaml") {
        body = "---\n";
        for (int i = 0; i < 20000; ++i) body += "- 1\n";
      } else {
        body = "[";
        for (int i = 0; i < 100000; ++i) body += i == 0 ? "1" : ",1";
        body += "]";
      }
      damage = "huge counts";
      break;
    case 4:
      body = toJson(Value::object({{"text", Value::ofString("\xff\xfe\xc0\xaf")}}));
      if (type == "application/x-msgpack") body = std::string("\x81\xa4text\xa4\xff\xfe\xc0\xaf", 11);
      damage = "invalid UTF-8";
      break;
    case 5: {
      body.insert(body.size() / 2, std::string("\0\0", 2));
      damage = "NUL bytes inside";
      break;
    }
    case 6: {
      static constexpr const char* kOther[] = {"text/plain", "", "text/x-yaml", "application/octet-stream",
                                               "APPLICATION/JSON;;;", "application/jsonx"};
      type = rng.pick(kOther);
      damage = "content type \"" + type + "\"";
      break;
    }
    default:
      body.clear();
      damage = "empty";
      break;
  }
  call.hasBody = true;
  call.body = body;
  call.contentType = type;
  if (rng.chance(5)) call.contentType.reset();
  call.label = "body " + std::string(call.contentType ? *call.contentType : "<null type>") + ", " + damage;
  return call;
}

CallRequest RequestBuilder::coreArguments(const FunctionModel& function, Random& rng) const {
  CallRequest call = valid(function, rng);
  switch (rng.below(synth_.strictness() >= 6 ? 7 : 6)) {
    case 0:
      call.arguments.push_back({std::string("noSuchArgument"), Value::ofSigned(1), std::nullopt});
      call.label = "an argument of an unknown name";
      break;
    case 1:
      call.arguments.push_back({std::nullopt, Value::ofString("positional"), std::nullopt});
      call.arguments.push_back({std::nullopt, Value::ofSigned(2), std::nullopt});
      for (std::size_t i = 0; i < function.arguments.size() + 2; ++i)
        call.arguments.push_back({std::nullopt, Value::null(), std::nullopt});
      call.label = "unnamed arguments past the last position";
      break;
    case 2:
      if (!function.arguments.empty()) {
        const ArgumentModel& a = rng.pick(function.arguments);
        call.arguments.push_back({a.name, synth_.wrongKind(a.type, rng), std::nullopt});
        call.arguments.push_back({a.name, synth_.valid(a.type, rng), std::nullopt});
        call.label = "argument '" + a.name + "' twice, once of the wrong kind";
      }
      break;
    case 3:
      if (!function.arguments.empty()) {
        const ArgumentModel& a = rng.pick(function.arguments);
        call.arguments.push_back({a.name, Synthesizer::nested(static_cast<unsigned>(1100 + rng.below(3000)), rng.chance(50)), std::nullopt});
        call.label = "argument '" + a.name + "' nested past 1,024 levels";
      }
      break;
    case 4:
      if (!function.arguments.empty()) {
        const ArgumentModel& a = rng.pick(function.arguments);
        call.arguments.push_back({a.name, Value::array(std::vector<Value>(100000, Value::ofString("x"))), std::nullopt});
        call.label = "argument '" + a.name + "' as 100,000 strings";
      }
      break;
    case 5:
      call.arguments.push_back({std::string(""), Value::ofSigned(1), std::nullopt});
      call.arguments.push_back({std::string(4096, 'n'), synth_.randomTree(rng, 3, 4), std::nullopt});
      call.label = "arguments with an empty and a 4,096-character name";
      break;
    default: {
      call.rawStorage = std::make_shared<ValueArena>();
      const std::string name = function.arguments.empty() ? std::string("x") : rng.pick(function.arguments).name;
      call.arguments.push_back({name, Value::null(), synth_.malformed(rng, *call.rawStorage)});
      call.label = "argument '" + name + "' as a malformed value record";
      break;
    }
  }
  if (call.label == "valid arguments") call.label = "valid arguments through the core's list";
  return call;
}

CallRequest RequestBuilder::unknownRoute(const FunctionModel& function, Random& rng) const {
  CallRequest call = valid(function, rng);
  call.mustFail = true;
  const bool otherMethod = function.method != CORE_METHOD_NONE && rng.chance(40);
  if (otherMethod) {
    call.method = function.method == CORE_METHOD_GET ? std::uint32_t{CORE_METHOD_POST} : std::uint32_t{CORE_METHOD_GET};
    call.methodName.clear();
    call.label = std::string("method ") + coreMethodName(call.method) + " on " + function.routeText();
    return call;
  }
  static constexpr const char* kPaths[] = {"/", "/no-such-plugin/v1/nothing", "", "//", "/%2e%2e/"};
  std::string path = rng.chance(50) ? std::string(rng.pick(kPaths)) : function.uriTemplate + "/extra/segments";
  if (routeMatches(function.uriTemplate, path)) path = "/no-such-plugin/v1/nothing";
  if (routeMatches(function.uriTemplate, path)) {
    call.mustFail = false;
    call.label = "valid arguments (no URI escapes the route " + function.uriTemplate + ")";
    return call;
  }
  call.uri = path;
  call.label = "URI \"" + path + "\" on " + function.routeText();
  return call;
}

}  // namespace qor::validator
