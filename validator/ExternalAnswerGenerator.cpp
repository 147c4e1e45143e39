// ExternalAnswerGenerator: the answers of every external answer mode.
#include "validator/ExternalAnswerGenerator.h"

#include "validator/Synthesizer.h"
#include "validator/Value.h"

#include <climits>

namespace qor::validator {

const char* externalModeName(ExternalMode mode) {
  switch (mode) {
    case ExternalMode::kNormal: return "normal";
    case ExternalMode::kFailures: return "transport failures";
    case ExternalMode::kGarbage: return "garbage";
    case ExternalMode::kNullBlocks: return "null blocks";
    case ExternalMode::kHuge: return "huge";
    case ExternalMode::kLate: return "late";
    case ExternalMode::kMixed: return "mixed";
  }
  return "?";
}

void ExternalAnswerGenerator::fill(ExternalMode mode, ExternalAnswer& answer, ExternalResponse& response,
                                   Random& rng) const {
  switch (mode) {
    case ExternalMode::kNormal:
    case ExternalMode::kLate:
    case ExternalMode::kMixed: return normal(answer, response, rng);
    case ExternalMode::kFailures: return failures(answer, response, rng);
    case ExternalMode::kGarbage: return garbage(answer, response, rng);
    case ExternalMode::kNullBlocks: return nullBlocks(response, rng);
    case ExternalMode::kHuge: return huge(answer, response);
  }
}

void ExternalAnswerGenerator::setBody(ExternalAnswer& answer, ExternalResponse& response, const std::string& body) {
  response.body = answer.arena.bytes(body);
  response.bodySize = static_cast<std::uint32_t>(body.size());
}

void ExternalAnswerGenerator::setHeaders(ExternalAnswer& answer, ExternalResponse& response, const HeaderList& list) {
  std::vector<CoreHeader> headers;
  for (const auto& [name, value] : list) headers.push_back(CoreHeader{answer.arena.text(name), answer.arena.text(value)});
  if (headers.empty()) return;
  const std::string block(reinterpret_cast<const char*>(headers.data()), headers.size() * sizeof(CoreHeader));
  response.headers = reinterpret_cast<const CoreHeader*>(answer.arena.bytes(block));
  response.headerCount = static_cast<std::uint32_t>(headers.size());
}

void ExternalAnswerGenerator::normal(ExternalAnswer& answer, ExternalResponse& response, Random& rng) const {
  response.outcome = CORE_OUTCOME_OK;
  response.status = 200;
  setHeaders(answer, response, {{"content-type", "application/json"}, {"x-request-id", std::to_string(rng.below(100000))}});
  setBody(answer, response, toJson(synthesizer_ != nullptr ? synthesizer_->plausibleResource(rng) : Value::object()));
}

void ExternalAnswerGenerator::failures(ExternalAnswer& answer, ExternalResponse& response, Random& rng) const {
  static constexpr std::int32_t kOutcomes[] = {CORE_OUTCOME_CANCELLED, CORE_OUTCOME_FAILED, CORE_OUTCOME_TIMED_OUT, 5,
                                               INT32_MIN, INT32_MAX};
  response.outcome = rng.pick(kOutcomes);
  response.status = static_cast<std::int32_t>(rng.between(-5, 999));
  if (rng.chance(70)) setBody(answer, response, rng.chance(20) ? std::string("\xff\xfe") : std::string("connection refused"));
}

void ExternalAnswerGenerator::garbage(ExternalAnswer& answer, ExternalResponse& response, Random& rng) const {
  response.outcome = CORE_OUTCOME_OK;
  static constexpr std::int32_t kStatuses[] = {0, 99, 204, 301, 404, 500, 600, -5, INT32_MAX};
  response.status = rng.pick(kStatuses);
  setHeaders(answer, response, {{"", ""}, {"x-\xff", "\xc0\xaf"}, {std::string(300, 'h'), std::string(5000, 'v')}});
  std::string body;
  const std::size_t n = rng.below(5000);
  for (std::size_t i = 0; i < n; ++i) body += static_cast<char>(rng.below(256));
  setBody(answer, response, body);
}

void ExternalAnswerGenerator::nullBlocks(ExternalResponse& response, Random& rng) const {
  response.outcome = CORE_OUTCOME_OK;
  response.status = 200;
  if (rng.chance(60)) response.headerCount = 3;
  if (rng.chance(60) || response.headerCount == 0) response.bodySize = 100;
}

void ExternalAnswerGenerator::huge(ExternalAnswer& answer, ExternalResponse& response) const {
  response.outcome = CORE_OUTCOME_OK;
  response.status = 200;
  HeaderList list;
  for (int i = 0; i < 10000; ++i) list.emplace_back("h" + std::to_string(i), "v");
  setHeaders(answer, response, list);
  setBody(answer, response, std::string(8u << 20, 'b'));
}

}  // namespace qor::validator
