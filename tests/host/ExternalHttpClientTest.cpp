// Tests of the core's outside HTTP request against a loopback server.
#include "host/ExternalHttpClient.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

namespace qor::host {
namespace {

class ExternalHttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.Get("/echo", [](const httplib::Request& request, httplib::Response& response) {
      response.set_header("X-Seen-Auth", request.get_header_value("Authorization"));
      response.set_content("get " + request.target, "text/plain");
    });
    server_.Post("/echo", [](const httplib::Request& request, httplib::Response& response) {
      response.status = 201;
      response.set_content("post " + request.body, "text/plain");
    });
    server_.Get("/slow", [](const httplib::Request&, httplib::Response& response) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2500));
      response.set_content("late", "text/plain");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port_, 0);
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  void TearDown() override {
    server_.stop();
    thread_.join();
  }

  std::string url(const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
};

std::string bodyOf(const ExternalResponse& response) {
  return std::string(static_cast<const char*>(response.body), response.bodySize);
}

std::string headerOf(const ExternalResponse& response, const std::string& name) {
  for (uint32_t i = 0; i < response.headerCount; ++i)
    if (response.headers[i].name == name) return response.headers[i].value;
  return "<absent>";
}

TEST_F(ExternalHttpClientTest, SendsMethodHeadersAndBody) {
  const std::string getUrl = url("/echo?puuid=p&inventoryTypes=A%26B");
  const CoreHeader headers[] = {{"Authorization", "Bearer t"}, {"Content-type", "application/json"}};
  ExternalRequest get{2, getUrl.c_str(), headers, 2, nullptr, 0, 20, 1};
  ExternalResponse response{};
  performExternalRequest(get, response);
  EXPECT_EQ(static_cast<int32_t>(response.outcome), CORE_OUTCOME_OK);
  EXPECT_EQ(static_cast<int32_t>(response.status), 200);
  EXPECT_EQ(bodyOf(response), "get /echo?puuid=p&inventoryTypes=A%26B");
  EXPECT_EQ(headerOf(response, "X-Seen-Auth"), "Bearer t");
  ASSERT_NE(reinterpret_cast<const void*>(response.release), nullptr);
  response.release(&response);
  EXPECT_EQ(static_cast<const void*>(response.body), nullptr);

  const std::string postUrl = url("/echo");
  const char body[] = "{\"a\":1}";
  ExternalRequest post{6, postUrl.c_str(), nullptr, 0, body, 7, 20, 1};
  performExternalRequest(post, response);
  EXPECT_EQ(static_cast<int32_t>(response.status), 201);
  EXPECT_EQ(bodyOf(response), "post {\"a\":1}");
  response.release(&response);
}

TEST_F(ExternalHttpClientTest, HttpErrorStatusIsStillATransportSuccess) {
  const std::string missing = url("/missing");
  ExternalRequest request{2, missing.c_str(), nullptr, 0, nullptr, 0, 20, 1};
  ExternalResponse response{};
  performExternalRequest(request, response);
  EXPECT_EQ(static_cast<int32_t>(response.outcome), CORE_OUTCOME_OK);
  EXPECT_EQ(static_cast<int32_t>(response.status), 404);
  response.release(&response);
}

TEST_F(ExternalHttpClientTest, TransportFailuresCarryTheErrorAsBody) {
  const std::string slow = url("/slow");
  const struct {
    uint32_t method;
    const char* url;
    uint32_t timeout;
    const char* error;
  } rows[] = {
      {2, "http://127.0.0.1:1/x", 5, "Connection"},
      {2, "ftp://example/x", 5, "Invalid URL: ftp://example/x"},
      {2, "http:///x", 5, "Invalid URL"},
      {99, "http://127.0.0.1:1/x", 5, "Unsupported method code 99"},
      {2, slow.c_str(), 1, "Read"},  // the timeout of one second ends the wait
  };
  for (const auto& row : rows) {
    ExternalRequest request{row.method, row.url, nullptr, 0, nullptr, 0, row.timeout, 1};
    ExternalResponse response{};
    const auto start = std::chrono::steady_clock::now();
    performExternalRequest(request, response);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2400)) << row.url;
    EXPECT_NE(static_cast<int32_t>(response.outcome), CORE_OUTCOME_OK) << row.url;
    EXPECT_NE(bodyOf(response).find(row.error), std::string::npos)
        << row.url << ": " << bodyOf(response);
    ASSERT_NE(reinterpret_cast<const void*>(response.release), nullptr);
    response.release(&response);
  }
}

TEST(ExternalUrl, SplitsOriginAndTarget) {
  const struct {
    const char* url;
    bool ok;
    const char* origin;
    const char* target;
  } rows[] = {
      {"http://127.0.0.1:8080/a?b=1", true, "http://127.0.0.1:8080", "/a?b=1"},
      {"HTTPS://host", true, "https://host", "/"},
      {"http://host?q", true, "http://host", "/?q"},
      {"http://host/p#frag", true, "http://host", "/p"},
      {"/qorinventoryservice/v2/inventories", false, "", ""},
      {"mailto://x", false, "", ""},
  };
  for (const auto& row : rows) {
    std::string origin;
    std::string target;
    EXPECT_EQ(splitUrl(row.url, origin, target), row.ok) << row.url;
    if (row.ok) {
      EXPECT_EQ(origin, row.origin);
      EXPECT_EQ(target, row.target);
    }
  }
}

}  // namespace
}  // namespace qor::host
