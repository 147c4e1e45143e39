// AnswerGenerator: the answers of every answer mode.
#include "validator/AnswerGenerator.h"

#include "validator/ResourceStore.h"
#include "validator/Synthesizer.h"
#include "validator/Value.h"

#include <utility>
#include <vector>

namespace qor::validator {

const char* answerModeName(AnswerMode mode) {
  switch (mode) {
    case AnswerMode::kStore: return "store";
    case AnswerMode::kErrors: return "errors";
    case AnswerMode::kEmpty: return "empty bodies";
    case AnswerMode::kGarbage: return "garbage bodies";
    case AnswerMode::kMalformed: return "malformed records";
    case AnswerMode::kNested: return "deeply nested bodies";
    case AnswerMode::kHuge: return "huge bodies";
    case AnswerMode::kLate: return "late answers";
    case AnswerMode::kStreamed: return "streamed bodies";
    case AnswerMode::kMixed: return "mixed";
  }
  return "?";
}

void AnswerGenerator::fill(AnswerMode mode, Answer& answer, CoreResponse& response, const std::string& uri,
                           std::uint32_t method, ResourceStore& store, Random& rng) const {
  switch (mode) {
    case AnswerMode::kStore:
    case AnswerMode::kLate:
    case AnswerMode::kMixed: return fromStore(answer, response, uri, method, store, rng);
    case AnswerMode::kErrors: return errors(answer, response, rng);
    case AnswerMode::kEmpty: return empty(response, rng);
    case AnswerMode::kGarbage: return garbage(answer, response, rng);
    case AnswerMode::kMalformed: return malformed(answer, response, rng);
    case AnswerMode::kNested: return nested(answer, response, rng);
    case AnswerMode::kHuge: return huge(answer, response, rng);
    case AnswerMode::kStreamed: return streamed(answer, response, rng);
  }
}

void AnswerGenerator::fail(Answer& answer, CoreResponse& response, std::uint32_t status, std::string_view text) {
  response.error = const_cast<char*>(answer.arena->text(text));
  response.hasError = 1;
  response.status = status;
}

void AnswerGenerator::fromStore(Answer& answer, CoreResponse& response, const std::string& uri, std::uint32_t method,
                                ResourceStore& store, Random& rng) const {
  if (method != CORE_METHOD_GET && rng.chance(50)) return fail(answer, response, 405, "Method not allowed");
  const std::optional<Value> value = store.read(uri, rng, synthesizer_);
  if (!value) return fail(answer, response, 404, "Not found");
  response.body = toCoreValue(*value, *answer.arena);
  response.status = 200;
}

void AnswerGenerator::errors(Answer& answer, CoreResponse& response, Random& rng) const {
  switch (rng.below(8)) {
    case 0: return fail(answer, response, 404, "Not found");
    case 1: return fail(answer, response, 500, "Internal error");
    case 2: return fail(answer, response, 503, "");
    case 3: return fail(answer, response, 0, "failed without a status");
    case 4: return fail(answer, response, 400, std::string(64 * 1024, 'e'));
    case 5: return fail(answer, response, 502, "\xff\xfe bad \xc0\xaf text");
    case 6:
      // An error beside a body: the error decides.
      response.body = toCoreValue(Value::ofString("ignored body"), *answer.arena);
      return fail(answer, response, 409, "Conflict");
    default:
      // A non-null error text means failure, whatever the flag byte says.
      response.error = const_cast<char*>(answer.arena->text("error with the flag byte clear"));
      response.status = 500;
      return;
  }
}

void AnswerGenerator::empty(CoreResponse& response, Random& rng) const {
  response.status = rng.chance(50) ? 200 : 204;
}

void AnswerGenerator::garbage(Answer& answer, CoreResponse& response, Random& rng) const {
  response.body =
      toCoreValue(synthesizer_ != nullptr ? synthesizer_->randomTree(rng, 5, 6) : Value::null(), *answer.arena);
  response.status = rng.chance(70) ? 200 : static_cast<std::uint32_t>(rng.below(1000));
  response.sizeHint = static_cast<std::uint32_t>(rng.next());
  if (rng.chance(30)) response.responseKind = static_cast<std::uint32_t>(rng.below(10));
}

void AnswerGenerator::malformed(Answer& answer, CoreResponse& response, Random& rng) const {
  if (synthesizer_ != nullptr) response.body = synthesizer_->malformed(rng, *answer.arena);
  response.status = 200;
}

void AnswerGenerator::nested(Answer& answer, CoreResponse& response, Random& rng) const {
  response.body =
      toCoreValue(Synthesizer::nested(static_cast<unsigned>(1025 + rng.below(4000)), rng.chance(50)), *answer.arena);
  response.status = 200;
}

void AnswerGenerator::huge(Answer& answer, CoreResponse& response, Random& rng) const {
  ValueArena& arena = *answer.arena;
  const std::size_t scale = 1 + strictness_ / 3;
  switch (rng.below(4)) {
    case 0: {
      std::vector<CoreValue> elements(100000 * scale, ValueArena::signedNumber(7));
      response.body = arena.array(elements);
      break;
    }
    case 1: response.body = arena.string(std::string((4u << 20) * scale, 'h')); break;
    case 2: {
      std::vector<std::pair<std::string, CoreValue>> members;
      for (std::size_t i = 0; i < 30000 * scale; ++i) members.emplace_back("m" + std::to_string(i), ValueArena::boolean(true));
      response.body = arena.structure(members);
      break;
    }
    default: response.body = arena.blob(std::string((8u << 20) * scale, '\0')); break;
  }
  response.status = 200;
}

void AnswerGenerator::streamed(Answer& answer, CoreResponse& response, Random& rng) const {
  auto plausible = [&] { return toJson(synthesizer_ != nullptr ? synthesizer_->plausibleResource(rng) : Value::object()); };
  answer.streamed = true;
  answer.hasClose = rng.chance(85);
  switch (rng.below(8)) {
    case 0: answer.text = "[" + std::string(3000, '[') + std::string(3001, ']'); break;
    case 1: answer.text = ""; break;
    case 2: {
      const std::size_t n = 1 + rng.below(20000);
      for (std::size_t i = 0; i < n; ++i) answer.text += static_cast<char>(rng.below(256));
      break;
    }
    case 3: answer.text = "{\"text\": \"\xff\xfe\xc0\xaf\"}"; break;
    case 4: {
      const std::string whole = plausible();
      answer.text = whole.substr(0, static_cast<std::size_t>(rng.below(whole.size() + 1)));
      break;
    }
    case 5: {
      answer.text = "[";
      const std::size_t n = 20000 + rng.below(100000);
      for (std::size_t i = 0; i < n; ++i) answer.text += i == 0 ? "1" : ",1";
      answer.text += "]";
      break;
    }
    default: answer.text = plausible(); break;
  }
  if (rng.chance(25)) answer.failAt = static_cast<int>(rng.below(4));
  switch (rng.below(4)) {
    case 0: response.sizeHint = 0; break;
    case 1: response.sizeHint = 0xFFFFFFFFu; break;
    case 2: response.sizeHint = static_cast<std::uint32_t>(rng.next()); break;
    default: response.sizeHint = static_cast<std::uint32_t>(answer.text.size()); break;
  }
  // A body beside the stream: the stream decides.
  if (rng.chance(30)) response.body = answer.arena->string("not the body");
  response.status = 200;
}

}  // namespace qor::validator
