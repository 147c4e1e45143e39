// The validator's answers, mode by mode, over many seeds: each mode keeps the
// record invariants it promises (which answers fail and how, which bodies are
// well formed and which are broken on purpose, how deep and how large), and
// none hands out functions (the core adds release, read and close). The
// records are packed: their fields are compared as values (unary +), never
// bound to references.
#include "validator/AnswerGenerator.h"

#include "validator/ApiModel.h"
#include "validator/CoreValues.h"
#include "validator/ResourceStore.h"
#include "validator/Synthesizer.h"
#include "validator/Value.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>

namespace qor::validator {
namespace {

constexpr unsigned kStrictness = 5;

ApiModel greetingModel() {
  ApiModel model;
  TypeModel greeting;
  greeting.name = "Greeting";
  greeting.fields = {{"text", "", 0, {CORE_TYPE_STRING, 0, ""}, false}, {"count", "", 8, {CORE_TYPE_UINT32, 0, ""}, false}};
  model.types = {greeting};
  model.indexTypes();
  return model;
}

// How many containers deep the first elements go (a nested body is a chain).
unsigned chainDepth(CoreValue value) {
  unsigned depth = 0;
  for (;;) {
    if (value.kind == CORE_VALUE_ARRAY && value.u.block.count != 0) {
      value = static_cast<const CoreValue*>(value.u.block.data)[0];
    } else if (value.kind == CORE_VALUE_STRUCT && value.u.block.count != 0) {
      value = static_cast<const CoreStructMember*>(value.u.block.data)[0].value;
    } else {
      return depth;
    }
    ++depth;
  }
}

ValueLimits depthLimit(unsigned maxDepth) {
  ValueLimits limits;
  limits.maxDepth = maxDepth;
  return limits;
}

struct Generated {
  Answer answer;
  CoreResponse response{};
};

class AnswerModes : public ::testing::Test {
 protected:
  ApiModel model = greetingModel();
  Synthesizer synthesizer{model, kStrictness};
  AnswerGenerator generator{&synthesizer, kStrictness};
  ResourceStore store;

  // Runs `mode` over `seeds` seeds and hands each answer to `check`.
  void each(AnswerMode mode, int seeds, const std::function<void(const Generated&)>& check,
            std::uint32_t method = CORE_METHOD_GET, const std::string& uri = "/greeter/v1/greetings/1") {
    for (int seed = 0; seed < seeds; ++seed) {
      SCOPED_TRACE(std::string(answerModeName(mode)) + ", seed " + std::to_string(seed));
      Random rng(static_cast<std::uint64_t>(seed) * 7919 + 1);
      Generated g;
      generator.fill(mode, g.answer, g.response, uri, method, store, rng);
      // What every mode keeps: the core hands out the functions, and a set
      // error flag always comes with an error text.
      EXPECT_EQ(+g.response.release, nullptr);
      EXPECT_EQ(+g.response.read, nullptr);
      EXPECT_EQ(+g.response.close, nullptr);
      EXPECT_EQ(+g.response.stream, nullptr);
      if (+g.response.hasError != 0) {
        EXPECT_NE(+g.response.error, nullptr);
      }
      check(g);
    }
  }
};

TEST_F(AnswerModes, StoreAnswersWhatItHoldsAndNotFoundForWhatItDoesNot) {
  const Value held = Value::object({{"text", Value::ofString("hello")}, {"count", Value::ofUnsigned(3)}});
  store.set("/held", held);
  store.set("/gone", std::nullopt);
  ValueArena arena;
  const std::string heldText = describeCoreValue(toCoreValue(held, arena));
  each(AnswerMode::kStore, 20, [&](const Generated& g) {
    EXPECT_EQ(+g.response.hasError, 0);
    EXPECT_EQ(+g.response.status, 200u);
    EXPECT_EQ(describeCoreValue(g.response.body), heldText);
  }, CORE_METHOD_GET, "/held");
  each(AnswerMode::kStore, 20, [&](const Generated& g) {
    EXPECT_EQ(+g.response.status, 404u);
    EXPECT_STREQ(+g.response.error, "Not found");
  }, CORE_METHOD_GET, "/gone");
  // Other methods: refused half the time, else answered like a GET.
  std::set<std::uint32_t> statuses;
  each(AnswerMode::kStore, 40, [&](const Generated& g) {
    statuses.insert(+g.response.status);
    if (+g.response.status == 405) {
      EXPECT_STREQ(+g.response.error, "Method not allowed");
    } else {
      EXPECT_EQ(describeCoreValue(g.response.body), heldText);
    }
  }, CORE_METHOD_POST, "/held");
  EXPECT_EQ(statuses, (std::set<std::uint32_t>{200, 405}));
}

TEST_F(AnswerModes, AnOpenStoreDecidesAnUnknownUriOnceAndAClosedOneFindsNothing) {
  for (int i = 0; i < 30; ++i) {
    const std::string uri = "/greeter/v1/unknown/" + std::to_string(i);
    Random first(static_cast<std::uint64_t>(i) + 100), again(static_cast<std::uint64_t>(i) + 200);
    const std::optional<Value> decided = store.read(uri, first, &synthesizer);
    const std::optional<Value> reread = store.read(uri, again, &synthesizer);
    ASSERT_EQ(decided.has_value(), reread.has_value()) << uri;
    if (decided) {
      EXPECT_EQ(toJson(*decided), toJson(*reread)) << uri;
    }
  }
  EXPECT_EQ(store.readUris().size(), 30u);
  store.close();
  each(AnswerMode::kStore, 20, [&](const Generated& g) { EXPECT_EQ(+g.response.status, 404u); }, CORE_METHOD_GET,
       "/greeter/v1/never-set");
}

TEST_F(AnswerModes, EachModeKeepsItsRecordInvariants) {
  const std::set<std::uint32_t> errorStatuses = {0, 400, 404, 409, 500, 502, 503};
  const struct {
    AnswerMode mode;
    int seeds;
    std::function<void(const Generated&)> check;
  } rows[] = {
      {AnswerMode::kErrors, 60,
       [&](const Generated& g) {
         // Always an error text (once with the flag byte clear); a body beside it stays well formed.
         EXPECT_NE(+g.response.error, nullptr);
         EXPECT_EQ(errorStatuses.count(+g.response.status), 1u) << +g.response.status;
         EXPECT_EQ(checkCoreValue(g.response.body), "");
       }},
      {AnswerMode::kEmpty, 30,
       [](const Generated& g) {
         EXPECT_EQ(+g.response.body.kind, std::uint32_t{CORE_VALUE_EMPTY});
         EXPECT_EQ(+g.response.error, nullptr);
         EXPECT_TRUE(+g.response.status == 200 || +g.response.status == 204) << +g.response.status;
       }},
      {AnswerMode::kGarbage, 60,
       [](const Generated& g) {
         // Garbage inside, but records a plug-in can walk.
         EXPECT_EQ(+g.response.error, nullptr);
         EXPECT_EQ(checkCoreValue(g.response.body), "");
         EXPECT_LT(+g.response.status, 1000u);
       }},
      {AnswerMode::kMalformed, 60,
       [](const Generated& g) {
         EXPECT_EQ(+g.response.error, nullptr);
         EXPECT_EQ(+g.response.status, 200u);
         EXPECT_NE(checkCoreValue(g.response.body), "");
       }},
      {AnswerMode::kNested, 30,
       [](const Generated& g) {
         // Past any reader's 1,024 levels, well formed on the way down.
         EXPECT_NE(checkCoreValue(g.response.body, depthLimit(1024)).find("nested deeper than 1024 levels"),
                   std::string::npos);
         const unsigned depth = chainDepth(g.response.body);
         EXPECT_GT(depth, 1024u);
         EXPECT_LE(depth, 5024u);
       }},
      {AnswerMode::kHuge, 12,
       [](const Generated& g) {
         const CoreValue& body = g.response.body;
         EXPECT_EQ(checkCoreValue(body), "");
         EXPECT_EQ(+g.response.status, 200u);
         switch (body.kind) {
           case CORE_VALUE_ARRAY: EXPECT_GE(+body.u.block.count, 100000u); break;
           case CORE_VALUE_STRUCT: EXPECT_GE(+body.u.block.count, 30000u); break;
           case CORE_VALUE_STRING_BORROWED: EXPECT_GE(std::strlen(static_cast<const char*>(body.u.block.data)), 4u << 20); break;
           case CORE_VALUE_BLOB_BORROWED: EXPECT_GE(+body.u.block.count, 8u << 20); break;
           default: ADD_FAILURE() << "a huge body of kind " << body.kind;
         }
       }},
      {AnswerMode::kStreamed, 60,
       [](const Generated& g) {
         EXPECT_TRUE(g.answer.streamed);
         EXPECT_EQ(+g.response.error, nullptr);
         EXPECT_EQ(+g.response.status, 200u);
         EXPECT_GE(g.answer.failAt, -1);
         EXPECT_LE(g.answer.failAt, 3);
         EXPECT_EQ(g.answer.pos, 0u);
         // A body beside the stream is only ever the decoy text.
         if (+g.response.body.kind != CORE_VALUE_EMPTY) {
           EXPECT_EQ(describeCoreValue(g.response.body), "\"not the body\"");
         }
       }},
  };
  for (const auto& row : rows) each(row.mode, row.seeds, row.check);
}

}  // namespace
}  // namespace qor::validator
