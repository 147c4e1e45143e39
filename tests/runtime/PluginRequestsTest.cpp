// Requests through the core: typed requests, streamed bodies, errors, the
// release of every response, and requests to outside URLs.
#include "runtime/PluginBase.h"

#include "TestPlugin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qor::testing {
namespace {

class RequestTest : public PluginFixture<> {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    ASSERT_TRUE(start());
    core.clearRecords();
  }
  // The core's calls without the reads, in order.
  std::vector<std::string> callsOf(const std::vector<std::string>& keep) {
    std::vector<std::string> out;
    for (const auto& c : core.calls()) {
      const std::string word = c.substr(0, c.find(' '));
      for (const auto& k : keep)
        if (word == k) out.push_back(word);
    }
    return out;
  }
};

TEST_F(RequestTest, ValueBodyIsReadAndReleasedOnce) {
  core.respondJson("/a/b", R"({"x":[1,"two",true]})");
  auto r = plugin->sendRequest(HttpMethod::Get, "/a/b");
  ASSERT_TRUE(r.ok()) << r.error().message;
  EXPECT_EQ(r.value().get("x").get(std::size_t{1}).asString(), "two");
  EXPECT_EQ(core.releases(), 1);
  EXPECT_EQ(core.doubleReleases(), 0);
}

TEST_F(RequestTest, MethodCodesAreSentAsTheyAreOrAsZero) {
  core.respondJson("/m", "1");
  const std::pair<std::uint32_t, std::uint32_t> rows[] = {{1, 1}, {7, 7}, {8, 8}, {0, 0}, {9, 0},
                                                          {0xFFFFFFFF, 0}};
  for (const auto& [native, sent] : rows) {
    core.clearRecords();
    static_cast<void>(plugin->sendRequest(static_cast<HttpMethod>(native), "/m"));
    ASSERT_EQ(core.requests().size(), 1u);
    EXPECT_EQ(core.requests()[0].method, sent) << native;
  }
}

TEST_F(RequestTest, ErrorResponseCarriesStatusAndNamedFields) {
  FakeResponse failing;
  failing.error = "no such resource";
  failing.status = 404;
  core.respond("/missing", failing);
  auto r = plugin->sendRequest(HttpMethod::Get, "/missing");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message, "Error response for GET /missing: no such resource");
  EXPECT_EQ(r.error().code, 404);
  ASSERT_NE(r.error().field("errorCode_int"), nullptr);
  EXPECT_EQ(*r.error().field("errorCode_int"), "404");
  EXPECT_EQ(*r.error().field("url"), "/missing");
  EXPECT_EQ(core.releases(), 1);
}

TEST_F(RequestTest, UnknownValueTagIsAConversionError) {
  FakeResponse weird;
  CoreValue bad{};
  bad.kind = 11;
  weird.rawBody = bad;
  core.respond("/weird", weird);
  auto r = plugin->sendRequest(HttpMethod::Put, "/weird");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message.rfind("Error converting response for PUT /weird: ", 0), 0u)
      << r.error().message;
  EXPECT_EQ(r.error().code, 0);
  EXPECT_EQ(r.error().field("errorCode_int"), nullptr);
  EXPECT_EQ(core.releases(), 1);
}

TEST_F(RequestTest, ResponseWithoutReleaseFunctionIsFine) {
  FakeResponse r;
  r.json = "[]";
  r.withRelease = false;
  core.respond("/norelease", r);
  EXPECT_TRUE(plugin->sendRequest(HttpMethod::Get, "/norelease").ok());
  EXPECT_EQ(core.releases(), 0);
}

TEST_F(RequestTest, ListOfRecordsConvertsEachElementAndSkipsEmptyOnes) {
  core.respondJson("/sessions", R"([{"puuid":"a","accountId":1},null,{"puuid":"c"}])");
  auto r = plugin->sendRequestList<TestSession>(HttpMethod::Get, "/sessions");
  ASSERT_TRUE(r.ok()) << r.error().message;
  ASSERT_EQ(r.value().size(), 3u);
  EXPECT_EQ(r.value()[0].puuid, "a");
  EXPECT_EQ(r.value()[0].accountId, 1u);
  EXPECT_EQ(r.value()[1].puuid, "");
  EXPECT_EQ(r.value()[2].puuid, "c");
  EXPECT_EQ(core.releases(), 1);
}

TEST_F(RequestTest, ListErrors) {
  core.respondJson("/notalist", R"({"puuid":"a"})");
  auto notList = plugin->sendRequestList<TestSession>(HttpMethod::Get, "/notalist");
  ASSERT_FALSE(notList.ok());
  EXPECT_EQ(notList.error().message,
            "Error converting response for GET /notalist: Couldn't assign value to '<result>' of "
            "type vector because the input not a collection.");
  core.respondJson("/badelement", R"([{"accountId":"x"}])");
  auto bad = plugin->sendRequestList<TestSession>(HttpMethod::Get, "/badelement");
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().message.rfind("Error converting response for GET /badelement: ", 0), 0u);
  EXPECT_NE(bad.error().message.find("accountId"), std::string::npos) << bad.error().message;
}

// ---- Streamed bodies ----------------------------------------------------------------

TEST_F(RequestTest, ShortChunksWithMoreYieldOnceEach) {
  FakeResponse s;
  s.streamed = true;
  s.chunks = {"[1,", "2,", "3]"};
  s.json = "\"ignored: a streamed response is read from its stream\"";
  core.respond("/stream", s);
  auto r = plugin->sendRequest(HttpMethod::Get, "/stream");
  ASSERT_TRUE(r.ok()) << r.error().message;
  EXPECT_EQ(r.value().size(), 3u);
  EXPECT_EQ(callsOf({"Read", "EnterWait", "Yield", "LeaveWait", "Close", "Release"}),
            (std::vector<std::string>{"Read", "EnterWait", "Yield", "LeaveWait", "Read", "EnterWait",
                                      "Yield", "LeaveWait", "Read", "Close", "Release"}));
  const auto calls = core.calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "EnterWait Wait: yield 0"), calls.end());
}

TEST_F(RequestTest, FullChunksAreReadAgainWithoutYield) {
  FakeResponse s;
  s.streamed = true;
  const std::string body = "\"" + std::string(4094, 'a') + std::string(4096, 'b') + "\"";
  s.chunks = {body.substr(0, 4096), body.substr(4096, 4096), body.substr(8192)};
  s.sizeHint = static_cast<std::uint32_t>(body.size());
  core.respond("/big", s);
  auto r = plugin->sendRequest(HttpMethod::Get, "/big");
  ASSERT_TRUE(r.ok()) << r.error().message;
  EXPECT_EQ(r.value().asString().size(), 4094u + 4096u);
  EXPECT_EQ(callsOf({"Read", "Yield"}), (std::vector<std::string>{"Read", "Read", "Read"}));
}

TEST_F(RequestTest, HugeSizeHintDoesNotReserveHugeMemory) {
  FakeResponse s;
  s.streamed = true;
  s.chunks = {"42"};
  s.sizeHint = 0xFFFFFFF0u;
  core.respond("/hint", s);
  auto r = plugin->sendRequest(HttpMethod::Get, "/hint");
  ASSERT_TRUE(r.ok()) << r.error().message;
  EXPECT_EQ(r.value().asUint64(), 42u);
}

TEST_F(RequestTest, StreamedFailures) {
  struct Row {
    const char* uri;
    std::vector<std::string> chunks;
    int failAt;
    bool withClose;
    const char* message;
  };
  const Row rows[] = {
      {"/fail0", {"[1]"}, 0, true,
       "Error reading streamed response for GET /fail0: Stream read error"},
      {"/fail1", {"[1,", "2]"}, 1, true,
       "Error reading streamed response for GET /fail1: Stream read error"},
      {"/noclose", {"[1,"}, 0, false,
       "Error reading streamed response for GET /noclose: Stream read error"},
      {"/badjson", {"[1,"}, -1, true,
       "Error reading streamed response for GET /badjson: Error: Invalid value. at offset 3."},
  };
  for (const auto& row : rows) {
    core.clearRecords();
    FakeResponse s;
    s.streamed = true;
    s.chunks = row.chunks;
    s.failReadAt = row.failAt;
    s.withClose = row.withClose;
    core.respond(row.uri, s);
    auto r = plugin->sendRequest(HttpMethod::Get, row.uri);
    ASSERT_FALSE(r.ok()) << row.uri;
    EXPECT_EQ(r.error().message, row.message);
    EXPECT_EQ(core.closes(), row.withClose ? 1 : 0) << row.uri;
    EXPECT_EQ(core.releases(), 1) << row.uri;
  }
}

TEST_F(RequestTest, EmptyStreamIsTheEmptyValue) {
  FakeResponse s;
  s.streamed = true;
  core.respond("/empty", s);
  auto r = plugin->sendRequest(HttpMethod::Get, "/empty");
  ASSERT_TRUE(r.ok()) << r.error().message;
  EXPECT_TRUE(r.value().isEmpty());
  EXPECT_EQ(core.closes(), 1);
}

TEST_F(RequestTest, WithoutACoreEntryTheRequestFails) {
  core.table().SendRequest = nullptr;
  auto r = plugin->sendRequest(HttpMethod::Get, "/x");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message.rfind("Error response for GET /x: ", 0), 0u);
}

// ---- External requests ------------------------------------------------------------

TEST_F(RequestTest, ExternalRequestPutsTheUserAgentFirst) {
  FakeExternalResponse answer;
  answer.status = 201;
  answer.headers = {{"content-type", "application/json"}, {"x-a", "1"}};
  answer.body = R"({"ok":true})";
  core.respondExternal("https://inv.test/v1", answer);
  HttpRequest request;
  request.method = HttpMethod::Post;
  request.url = "https://inv.test/v1";
  request.headers = {{"Authorization", "Bearer t"}, {"Content-type", "application/json"}};
  request.body = "{}";
  request.setting1 = 11;
  request.setting2 = 22;
  const HttpResponse response = plugin->sendExternalRequest(request);
  const auto sent = core.externalRequests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].method, std::uint32_t{CORE_METHOD_POST});
  EXPECT_EQ(sent[0].body, "{}");
  EXPECT_EQ(sent[0].setting1, 11u);
  EXPECT_EQ(sent[0].setting2, 22u);
  using H = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(sent[0].headers, (H{{"user-agent", "VaneClient/18.3.7 (test-plugin)"},
                                {"Authorization", "Bearer t"},
                                {"Content-type", "application/json"}}));
  EXPECT_EQ(response.outcome, 0);
  EXPECT_EQ(response.status, 201);
  EXPECT_EQ(response.conversionStatus, 0);
  EXPECT_EQ(response.body, R"({"ok":true})");
  EXPECT_EQ(response.headers.size(), 2u);
  EXPECT_EQ(response.headers.find("x-a")->second, "1");
  EXPECT_TRUE(response.error.empty());
  EXPECT_EQ(core.externalReleases(), 1);
}

TEST_F(RequestTest, ExistingUserAgentInAnyCaseIsKept) {
  for (const char* name : {"user-agent", "User-Agent", "USER-AGENT", "uSeR-aGeNt"}) {
    core.clearRecords();
    HttpRequest request;
    request.url = "https://x.test/";
    request.headers = {{name, "Mine/1.0"}};
    plugin->sendExternalRequest(request);
    ASSERT_EQ(core.externalRequests().size(), 1u);
    const auto headers = core.externalRequests()[0].headers;
    ASSERT_EQ(headers.size(), 1u) << name;
    EXPECT_EQ(headers[0].first, name);
    EXPECT_EQ(headers[0].second, "Mine/1.0");
  }
}

TEST_F(RequestTest, TransportOutcomesAreMapped) {
  const std::pair<std::int32_t, std::int32_t> rows[] = {{-1, -1}, {0, 0}, {1, 1}, {2, 2},
                                                        {3, 1},   {5, 1}, {-7, 1}};
  for (const auto& [core_outcome, mapped] : rows) {
    FakeExternalResponse answer;
    answer.outcome = core_outcome;
    answer.status = 500;
    answer.body = core_outcome == 0 ? "fine" : "connection refused";
    answer.headers = {{"h", "v"}};
    core.respondExternal("https://o.test/", answer);
    HttpRequest request;
    request.url = "https://o.test/";
    const HttpResponse r = plugin->sendExternalRequest(request);
    EXPECT_EQ(r.outcome, mapped) << core_outcome;
    if (mapped != 0) {
      EXPECT_EQ(r.error, "connection refused");
      EXPECT_TRUE(r.body.empty());
      EXPECT_TRUE(r.headers.empty());
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.conversionStatus, -1);
    } else {
      EXPECT_EQ(r.body, "fine");
      EXPECT_EQ(r.status, 500);
    }
    EXPECT_EQ(r.reserved, -1);
  }
}

TEST_F(RequestTest, NullBlocksInTheCoresRecordAreReported) {
  struct Row {
    bool nullHeaders, nullBody;
    const char* error;
    const char* body;
  };
  const Row rows[] = {
      {true, false, "Error converting response for GET https://n.test/: headers was null", "b"},
      {false, true, "Error converting response for GET https://n.test/: body was null", ""},
      {true, true, "Error converting response for GET https://n.test/: body was null", ""},
  };
  for (const auto& row : rows) {
    FakeExternalResponse answer;
    answer.headers = {{"a", "1"}};
    answer.body = "b";
    answer.nullHeaders = row.nullHeaders;
    answer.nullBody = row.nullBody;
    core.respondExternal("https://n.test/", answer);
    HttpRequest request;
    request.url = "https://n.test/";
    const HttpResponse r = plugin->sendExternalRequest(request);
    EXPECT_EQ(r.outcome, 0);
    EXPECT_EQ(r.error, row.error);
    EXPECT_EQ(r.body, row.body);
    // A record with a missing block is never reported as converted.
    EXPECT_EQ(r.conversionStatus, 1);
  }
}

TEST_F(RequestTest, ExternalResponseWithoutReleaseFunctionIsFine) {
  FakeExternalResponse answer;
  answer.withRelease = false;
  answer.body = "x";
  core.respondExternal("https://r.test/", answer);
  HttpRequest request;
  request.url = "https://r.test/";
  EXPECT_EQ(plugin->sendExternalRequest(request).body, "x");
  EXPECT_EQ(core.externalReleases(), 0);
}

}  // namespace
}  // namespace qor::testing
