// Tests of the host's HTTP front over loopback, with the small test plug-in.
#include "host/HttpFront.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "host/HostCore.h"
#include "host/WebAssets.h"
#include "support/EventStreamReader.h"

namespace qor::host {
namespace {

using nlohmann::json;

class HttpFrontClientTest : public ::testing::Test {
 protected:
  inline static const json kScenes = json::parse(R"([
    {"name": "Log out", "steps": [{"method": "DELETE", "uri": "/qor-login/v1/session"}]}
  ])");

  void SetUp() override {
    const LoadResult loaded = core_.load(QOR_ECHO_PLUGIN_PATH);
    ASSERT_NE(loaded.plugin, nullptr) << loaded.error;
    ASSERT_TRUE(core_.start(*loaded.plugin));
    port_ = front_.bind("127.0.0.1", 0);
    ASSERT_GT(port_, 0);
    front_.setScenes(kScenes);
    thread_ = std::thread([this] { front_.run(); });
    http_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
    http_->set_read_timeout(5, 0);
  }
  void TearDown() override {
    front_.stop();
    if (thread_.joinable()) thread_.join();
    core_.stopAll();
  }

  HostLog log_{nullptr};
  HostCore core_{HostOptions{}, log_};
  HttpFront front_{core_};
  std::thread thread_;
  int port_ = 0;
  std::unique_ptr<httplib::Client> http_;
};

TEST_F(HttpFrontClientTest, ServesPluginFunctionsWithStatusAndErrorText) {
  httplib::Headers headers = {{"X-Echo", "hello"}};
  const auto ok = http_->Get("/echo/v1/echo?types=%5B%22A%22%5D", headers);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->status, 200);
  EXPECT_EQ(ok->get_header_value("Content-Type"), "application/json");
  const json body = json::parse(ok->body);
  EXPECT_EQ(body["uri"], "/echo/v1/echo?types=%5B%22A%22%5D");  // raw, query included
  EXPECT_EQ(body["header"], "hello");                            // names lower-cased

  const auto failed = http_->Get("/echo/v1/echo?fail=1");
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->status, 418);
  EXPECT_EQ(json::parse(failed->body),
            json({{"httpStatus", 418}, {"message", "Echo failure requested"}}));

  const auto unknown = http_->Get("/nothing/here");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 404);
  EXPECT_EQ(json::parse(unknown->body)["message"], "Not found");
}

TEST_F(HttpFrontClientTest, ResourceApiSetsReadsAndDeletes) {
  const struct {
    const char* method;
    const char* body;
    int status;
    const char* eventType;
  } steps[] = {
      {"PUT", R"({"a":1})", 201, "Create"}, {"PUT", R"({"a":2})", 200, "Update"},
      {"GET", "", 200, nullptr},            {"DELETE", "", 200, "Delete"},
      {"GET", "", 404, nullptr},            {"DELETE", "", 404, nullptr},
      {"PUT", "not json", 400, nullptr},
  };
  for (const auto& step : steps) {
    httplib::Request request;
    request.method = step.method;
    request.path = "/resources/echo/v1/input";
    request.body = step.body;
    request.set_header("Content-Type", "application/json");
    const auto response = http_->send(request);
    ASSERT_TRUE(response) << step.method;
    EXPECT_EQ(response->status, step.status) << step.method << " " << step.body;
    const json body = json::parse(response->body, nullptr, false);
    if (step.eventType != nullptr) {
      EXPECT_EQ(body["eventType"], step.eventType);
      EXPECT_EQ(body["uri"], "/echo/v1/input");
    }
    if (std::string(step.method) == "GET" && step.status == 200) {
      EXPECT_EQ(body, json({{"a", 2}}));
    }
  }
  // The store is also what plug-ins read through the core.
  http_->Put("/resources/qor-login/v1/session", R"({"state":"SUCCEEDED"})", "application/json");
  const auto read = http_->Get("/qor-login/v1/session");
  ASSERT_TRUE(read);
  EXPECT_EQ(json::parse(read->body), json({{"state", "SUCCEEDED"}}));
  const auto all = http_->Get("/resources");
  ASSERT_TRUE(all);
  EXPECT_TRUE(json::parse(all->body).contains("/qor-login/v1/session"));
}

// Bodies the host cannot take answer JSON that says why, whatever their
// content type: curl's -d sends application/x-www-form-urlencoded, which the
// HTTP library otherwise caps at 8 KiB with an empty 413.
TEST_F(HttpFrontClientTest, BadBodiesAnswerJsonErrors) {
  const std::string deep = std::string(5000, '[') + std::string(5000, ']');
  const std::string justTooDeep = std::string(1025, '[') + std::string(1025, ']');
  const std::string longText = "\"" + std::string(9000, 'a') + "\"";
  const char* form = "application/x-www-form-urlencoded";
  const struct {
    const char* method;
    const char* path;
    const std::string& body;
    const char* contentType;
    int status;
    const char* message;  // null: a success
  } rows[] = {
      {"PUT", "/resources/deep", deep, form, 400, "value is nested too deeply"},
      {"PUT", "/resources/deep", deep, "application/json", 400, "value is nested too deeply"},
      {"PUT", "/resources/deep", justTooDeep, "application/json", 400, "value is nested too deeply"},
      {"PUT", "/resources/long", longText, form, 201, nullptr},
      {"POST", "/nothing/here", longText, form, 404, "Not found"},
      {"PROPFIND", "/resources/long", longText, "application/json", 400, "Bad request"},
  };
  for (const auto& row : rows) {
    httplib::Client client("127.0.0.1", port_);
    httplib::Request request;
    request.method = row.method;
    request.path = row.path;
    request.body = row.body;
    request.set_header("Content-Type", row.contentType);
    const auto response = client.send(request);
    ASSERT_TRUE(response) << row.method << " " << row.path;
    EXPECT_EQ(response->status, row.status) << row.method << " " << row.contentType;
    EXPECT_EQ(response->get_header_value("Content-Type"), "application/json");
    const json body = json::parse(response->body, nullptr, false);
    if (row.message != nullptr) {
      EXPECT_EQ(body, json({{"httpStatus", row.status}, {"message", row.message}})) << response->body;
    } else {
      EXPECT_TRUE(body.is_object() && body.value("eventType", "") == "Create") << response->body;
    }
  }
  EXPECT_EQ(http_->Get("/resources/long")->body, longText);
}

TEST_F(HttpFrontClientTest, BodiesOverTheLimitAnswer413NamingIt) {
  const std::string limit = std::to_string(HttpFront::kMaxBodyBytes);
  auto expectTooLarge = [&](const httplib::Result& response) {
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 413);
    const json body = json::parse(response->body, nullptr, false);
    ASSERT_TRUE(body.is_object()) << response->body;
    EXPECT_EQ(body["httpStatus"], 413) << response->body;
    EXPECT_NE(body["message"].get<std::string>().find(limit), std::string::npos) << response->body;
  };
  const std::string big(HttpFront::kMaxBodyBytes + 1, ' ');
  {
    httplib::Client client("127.0.0.1", port_);
    expectTooLarge(client.Put("/resources/big", big, "application/json"));
  }
  {
    httplib::Client client("127.0.0.1", port_);
    expectTooLarge(client.Post("/echo/v1/echo", big, "application/x-www-form-urlencoded"));
  }
  {
    // Without a length (chunked), the limit holds as the body arrives.
    httplib::Client client("127.0.0.1", port_);
    std::size_t sent = 0;
    expectTooLarge(client.Put(
        "/resources/big",
        [&](std::size_t, httplib::DataSink& sink) {
          const std::string chunk(1 << 20, ' ');
          if (sent > HttpFront::kMaxBodyBytes) {
            sink.done();
            return true;
          }
          sent += chunk.size();
          return sink.write(chunk.data(), chunk.size());
        },
        "application/json"));
  }
  // Nothing was stored, and the front still serves.
  EXPECT_EQ(http_->Get("/resources/big")->status, 404);
  EXPECT_EQ(http_->Put("/resources/small", "[1]", "application/json")->status, 201);
}

TEST_F(HttpFrontClientTest, DescribesTheLoadedApi) {
  const auto response = http_->Get("/api");
  ASSERT_TRUE(response);
  const json api = json::parse(response->body);
  EXPECT_EQ(api["core"]["version"], "18.0.0");
  ASSERT_EQ(api["plugins"].size(), 1u);
  EXPECT_EQ(api["plugins"][0]["name"], "echo");
  EXPECT_EQ(api["plugins"][0]["api"]["functions"][1]["uri"], "/echo/v1/items/{id}");
  EXPECT_EQ(api["plugins"][0]["api"]["events"][0]["name"], "OnEchoEvent");
}

TEST_F(HttpFrontClientTest, EventStreamCarriesPluginEvents) {
  std::mutex mutex;
  std::string received;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    httplib::Client stream("127.0.0.1", port_);
    stream.set_read_timeout(5, 0);
    stream.Get("/events", [&](const char* data, std::size_t size) {
      std::lock_guard lock(mutex);
      received.append(data, size);
      return !done.load();
    });
  });
  auto seen = [&](const std::string& text) {
    for (int i = 0; i < 300; ++i) {
      {
        std::lock_guard lock(mutex);
        if (received.find(text) != std::string::npos) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  };
  ASSERT_TRUE(seen(": stream open"));
  http_->Put("/resources/echo/v1/input", R"({"x":"y"})", "application/json");
  EXPECT_TRUE(seen("event: OnEchoEvent\ndata: {\"name\":\"OnEchoEvent\",\"payload\":{\"data\":{\"x\":\"y\"},"
                   "\"eventType\":\"Create\",\"uri\":\"/echo/v1/input\"},\"source\":\"echo\"}\n\n"));
  EXPECT_TRUE(seen("event: OnJsonApiEvent_echo_v1_input\n"));
  done = true;
  // One more event ends the reader's wait at once.
  http_->Put("/resources/echo/v1/other", "{}", "application/json");
  reader.join();
}

TEST_F(HttpFrontClientTest, LogsShowPluginLines) {
  const auto response = http_->Get("/logs");
  ASSERT_TRUE(response);
  const json lines = json::parse(response->body);
  bool found = false;
  for (const json& line : lines)
    found |= line["source"] == "echo" && line["message"] == "echo started" && line["level"] == "ALWAYS";
  EXPECT_TRUE(found) << lines;
}

TEST_F(HttpFrontClientTest, LogStreamSendsTheKeptLinesThenNewOnes) {
  test::EventStreamReader stream(port_, "/logs/stream");
  EXPECT_TRUE(stream.waitFor(R"("message":"echo started","source":"echo")")) << stream.text();
  EXPECT_TRUE(stream.waitFor(": stream open"));
  log_.write(CORE_LOG_WARN, "host", "a line after the stream opened");
  EXPECT_TRUE(stream.waitFor("event: log\ndata: {\"level\":\"WARN\",\"message\":\"a line after the "
                             "stream opened\",\"source\":\"host\","))
      << stream.text();
  front_.stop();  // ends the stream before the reader is destroyed
}

TEST_F(HttpFrontClientTest, ServesHelpRecordsAndScenes) {
  const auto help = http_->Get("/api/help");
  ASSERT_TRUE(help);
  const json records = json::parse(help->body);
  ASSERT_EQ(records["plugins"].size(), 1u);
  EXPECT_EQ(records["plugins"][0]["name"], "echo");
  const json& functions = records["plugins"][0]["help"]["functions"];
  ASSERT_EQ(functions.size(), 2u);
  EXPECT_EQ(functions[1]["name"], "GetEchoV1ItemsById");
  EXPECT_EQ(records["plugins"][0]["help"]["events"][0]["type"],
            json({{"type", "object"}, {"elementType", ""}}));

  const auto scenes = http_->Get("/scenes");
  ASSERT_TRUE(scenes);
  EXPECT_EQ(json::parse(scenes->body), kScenes);
}

// The page is compiled in: "/" is host/web/index.html as it is in the
// sources, and every file it refers to under ui/ is served with its type.
TEST_F(HttpFrontClientTest, ServesThePageAndTheFilesItUses) {
  std::ifstream in(std::string(QOR_WEB_DIR) + "/index.html", std::ios::binary);
  std::stringstream source;
  source << in.rdbuf();
  const auto page = http_->Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(page->body, source.str());

  const std::regex reference(R"re((?:src|href)="(ui/[^"]+)")re");
  int files = 0;
  for (auto it = std::sregex_iterator(page->body.begin(), page->body.end(), reference);
       it != std::sregex_iterator(); ++it, ++files) {
    const std::string path = "/" + (*it)[1].str();
    const auto file = http_->Get(path.c_str());
    ASSERT_TRUE(file) << path;
    EXPECT_EQ(file->status, 200) << path;
    EXPECT_FALSE(file->body.empty()) << path;
    const std::string type = file->get_header_value("Content-Type");
    EXPECT_EQ(type, path.ends_with(".js") ? "text/javascript; charset=utf-8" : "text/css; charset=utf-8")
        << path;
  }
  EXPECT_GE(files, 2);
  const auto missing = http_->Get("/ui/missing.js");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
  EXPECT_EQ(json::parse(missing->body)["message"], "Not found");
}

// The page's scripts are ES modules that import one another from the same
// folder: every file of host/web is served as it is in the sources with its
// extension's type, index.html loads its scripts as modules, and every other
// script is imported by a served one through a relative path (so none is
// fetched from elsewhere, and none is left out of the embedded files).
TEST_F(HttpFrontClientTest, ServesEveryFileOfThePageAndEveryModuleItImports) {
  const std::map<std::string, std::string> types = {{".html", "text/html; charset=utf-8"},
                                                    {".js", "text/javascript; charset=utf-8"},
                                                    {".css", "text/css; charset=utf-8"}};
  std::map<std::string, std::string> sources;  // file name -> text
  for (const auto& entry : std::filesystem::directory_iterator(QOR_WEB_DIR)) {
    const std::string name = entry.path().filename().string();
    const std::string path = name == "index.html" ? "/" : "/ui/" + name;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream source;
    source << in.rdbuf();
    const auto file = http_->Get(path.c_str());
    ASSERT_TRUE(file) << path;
    EXPECT_EQ(file->status, 200) << path;
    EXPECT_EQ(file->body, source.str()) << path;
    const auto type = types.find(entry.path().extension().string());
    ASSERT_NE(type, types.end()) << path;
    EXPECT_EQ(file->get_header_value("Content-Type"), type->second) << path;
    sources[name] = source.str();
  }
  EXPECT_EQ(sources.size(), webAssetCount());

  const std::string& page = sources["index.html"];
  const std::regex script(R"re(<script([^>]*)>)re");
  const std::regex entryModule(R"re(^ type="module" src="ui/([\w.-]+\.js)"$)re");
  std::set<std::string> loaded;
  for (auto it = std::sregex_iterator(page.begin(), page.end(), script); it != std::sregex_iterator(); ++it) {
    const std::string attributes = (*it)[1].str();
    std::smatch match;
    ASSERT_TRUE(std::regex_match(attributes, match, entryModule)) << "<script" << attributes << ">";
    loaded.insert(match[1].str());
  }
  EXPECT_FALSE(loaded.empty());
  const std::regex import(R"re((?:^|\n)import\s[^;]*?\sfrom\s+['"]([^'"]+)['"])re");
  for (const auto& [name, text] : sources) {
    if (!name.ends_with(".js")) continue;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), import); it != std::sregex_iterator(); ++it) {
      const std::string target = (*it)[1].str();
      ASSERT_TRUE(target.starts_with("./")) << name << " imports " << target;
      EXPECT_TRUE(sources.contains(target.substr(2))) << name << " imports " << target;
      loaded.insert(target.substr(2));
    }
  }
  for (const auto& [name, text] : sources) {
    if (name.ends_with(".js")) {
      EXPECT_TRUE(loaded.contains(name)) << name << " is neither loaded nor imported";
    }
  }
}

TEST(FrontAnswer, ConvertsCoreResponses) {
  CoreResponse ok{};
  ok.body.kind = CORE_VALUE_UNSIGNED;
  ok.body.u.u64 = 5;
  FrontAnswer answer = answerFromCoreResponse(ok);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body, "5");

  char error[] = "Unknown argument 'x' for 'GetA'.";
  CoreResponse failed{};
  failed.error = error;
  failed.hasError = 1;
  answer = answerFromCoreResponse(failed);
  EXPECT_EQ(answer.status, 400);  // an error without a status is the caller's
  EXPECT_EQ(json::parse(answer.body)["message"], error);
  failed.status = 700;  // not an HTTP status
  EXPECT_EQ(answerFromCoreResponse(failed).status, 400);
  failed.status = 500;
  EXPECT_EQ(answerFromCoreResponse(failed).status, 500);
}

// A two-chunk stream that the front reads fully and closes.
struct TwoChunks {
  int reads = 0;
  bool closed = false;
  static uint8_t QOR_CDECL read(void* self, char* buffer, uint32_t* size, uint8_t* more) {
    auto* stream = static_cast<TwoChunks*>(self);
    const char* chunk = stream->reads++ == 0 ? "[1," : "2]";
    std::memcpy(buffer, chunk, std::strlen(chunk));
    *size = static_cast<uint32_t>(std::strlen(chunk));
    *more = stream->reads < 2 ? 1 : 0;
    return 1;
  }
  static void QOR_CDECL close(void* self) { static_cast<TwoChunks*>(self)->closed = true; }
};

TEST(FrontAnswer, ReadsStreamedBodies) {
  TwoChunks stream;
  CoreResponse response{};
  response.read = &TwoChunks::read;
  response.close = &TwoChunks::close;
  response.stream = &stream;
  const FrontAnswer answer = answerFromCoreResponse(response);
  EXPECT_EQ(answer.body, "[1,2]");
  EXPECT_EQ(stream.reads, 2);
  EXPECT_TRUE(stream.closed);
}

}  // namespace
}  // namespace qor::host
