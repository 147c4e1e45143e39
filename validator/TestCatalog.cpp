// TestCatalog: the list of tests and the event and call helpers the groups share.
#include "validator/TestCatalog.h"

#include "validator/CallRunner.h"
#include "protocol/CoreEventName.h"
#include "validator/CoreValues.h"

namespace qor::validator {

const std::vector<TestDefinition>& testCatalog() {
  static const std::vector<TestDefinition> tests = [] {
    std::vector<TestDefinition> all;
    addLoadTests(all);
    addLifecycleTests(all);
    addApiTests(all);
    addCallTests(all);
    addCoreFaultTests(all);
    addConcurrencyTests(all);
    return all;
  }();
  return tests;
}

Exerciser::Exerciser(TestContext& context, PluginSession& session) : context_(context), session_(session) {}

const TypeModel* Exerciser::payloadType(const std::string& name) const {
  const ApiModel& model = session_.model();
  const EventModel* event = model.findEvent(name);
  // Resource events carry the payload the table declares for "OnJsonApiEvent".
  if (event == nullptr && name.rfind(kResourceEventName, 0) == 0)
    event = model.findEvent(kResourceEventName);
  return event == nullptr ? nullptr : model.findType(event->typeName);
}

std::string Exerciser::uriForEvent(const std::string& name) const {
  for (const std::string& uri : context_.core().readUris())
    if (coreEventName(uri) == name) return uri;
  // A URI whose resource events would carry this name.
  std::string uri;
  std::size_t at = name.find('_');
  while (at != std::string::npos) {
    const std::size_t next = name.find('_', at + 1);
    uri += "/" + name.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
    at = next;
  }
  return uri.empty() ? "/" : uri;
}

void Exerciser::deliverResourceChanges(unsigned rounds, Random& rng) {
  const Synthesizer& synth = session_.synthesizer();
  for (unsigned round = 0; round < rounds; ++round) {
    for (const std::string& name : session_.core().activeSubscriptions()) {
      ValueArena arena;
      Value payload;
      const TypeModel* type = payloadType(name);
      if (type != nullptr && !type->isEnumeration) payload = synth.validStructure(*type, rng);
      else payload = synth.randomTree(rng, 3, 4);
      // A resource change names its URI and carries the resource's new data.
      for (auto& [key, member] : payload.members) {
        if (key == "uri") member = Value::ofString(rng.chance(10) ? uriForEvent(name).substr(1) : uriForEvent(name));
        if (key == "data") {
          // The resource's own value when the store holds one, else one made up.
          const std::optional<Value> held = context_.core().resource(uriForEvent(name));
          member = held && rng.chance(60) ? *held : synth.plausibleResource(rng);
        }
      }
      session_.core().deliver(name, toCoreValue(payload, arena));
    }
  }
}

void Exerciser::deliverGarbageEvents(unsigned rounds, Random& rng) {
  const Synthesizer& synth = session_.synthesizer();
  const std::vector<std::string> names = session_.core().activeSubscriptions();
  for (unsigned round = 0; round < rounds; ++round) {
    for (const std::string& name : names) {
      ValueArena arena;
      CoreValue payload;
      std::uint32_t reserved = 0;
      switch (rng.below(context_.strictness >= 6 ? 8 : 7)) {
        case 0: payload = toCoreValue(synth.randomTree(rng, 4, 5), arena); break;
        case 1: payload = ValueArena::empty(); break;
        case 2: payload = toCoreValue(Synthesizer::nested(static_cast<unsigned>(1100 + rng.below(3000)), rng.chance(50)), arena); break;
        case 3: {
          // A resource-shaped payload with fields of the wrong kinds.
          payload = toCoreValue(Value::object({{"uri", Value::ofSigned(5)},
                                               {"eventType", rng.chance(50) ? Value::ofString("Bogus") : Value::ofSigned(7)},
                                               {"data", Value::ofString(synth.hostileString(rng))}}),
                                arena);
          break;
        }
        case 4: {
          payload = toCoreValue(Value::object({{"uri", Value::ofString(rng.chance(50) ? "" : synth.hostileString(rng))},
                                               {"eventType", Value::ofString("Update")},
                                               {"data", synth.randomTree(rng, 3, 4)}}),
                                arena);
          break;
        }
        case 5: {
          std::vector<CoreValue> many(50000 + rng.below(50000), ValueArena::signedNumber(1));
          payload = arena.array(many);
          break;
        }
        case 6:
          // An event of a name the plug-in did not subscribe, through one it did.
          payload = toCoreValue(synth.randomTree(rng, 2, 3), arena);
          session_.core().deliverForeign(name, "OnNoSuchEvent_" + std::to_string(rng.below(1000)), payload);
          continue;
        default:
          payload = synth.malformed(rng, arena);
          reserved = static_cast<std::uint32_t>(rng.next());
          break;
      }
      session_.core().deliver(name, payload, reserved);
    }
  }
}

void Exerciser::callAll(CallVariant variant, unsigned perFunction, Random& rng) {
  const ApiModel& model = session_.model();
  RequestBuilder builder(session_.synthesizer());
  for (const FunctionModel& function : model.functions) {
    if (function.dispatch == nullptr || function.callContext == nullptr || !function.templateParses) continue;
    context_.step(std::string("calling ") + function.name + " with " + callVariantName(variant));
    for (unsigned i = 0; i < perFunction; ++i) {
      const CallRequest call = builder.build(function, variant, rng);
      const CallAnswer answer = performCall(function, call, model, context_.strictness);
      ++calls_;
      failures_ += answer.failed ? 1 : 0;
      for (const std::string& p : answer.problems)
        if (problems_.size() < 50) problems_.push_back(p);
    }
  }
}

bool Exerciser::callRandom(Random& rng, bool anyVariant, const std::function<bool()>& enter) {
  const ApiModel& model = session_.model();
  std::vector<const FunctionModel*> callable;
  for (const FunctionModel& f : model.functions)
    if (f.dispatch != nullptr && f.callContext != nullptr && f.templateParses) callable.push_back(&f);
  if (callable.empty()) return !enter || enter();
  // Every variant but the two with the huge inputs (the call tests send
  // those): many short calls keep many threads inside the plug-in.
  static constexpr CallVariant kVariants[] = {CallVariant::kValid,      CallVariant::kValid,      CallVariant::kMissing,
                                              CallVariant::kWrongKind,  CallVariant::kOutOfRange, CallVariant::kEnumerator,
                                              CallVariant::kStrings,    CallVariant::kQueryGarbage, CallVariant::kUnknownRoute};
  const CallVariant variant = anyVariant ? rng.pick(kVariants) : CallVariant::kValid;
  const FunctionModel& function = *rng.pick(callable);
  const CallRequest call = RequestBuilder(session_.synthesizer()).build(function, variant, rng);
  const CallAnswer answer = performCall(function, call, model, context_.strictness, enter);
  if (answer.skipped) return false;
  ++calls_;
  failures_ += answer.failed ? 1 : 0;
  for (const std::string& p : answer.problems)
    if (problems_.size() < 50) problems_.push_back(p);
  return true;
}

std::string Exerciser::callSummary() const {
  return std::to_string(calls_) + " calls, " + std::to_string(calls_ - failures_) + " answered with a value, " +
         std::to_string(failures_) + " with an error";
}

}  // namespace qor::validator
