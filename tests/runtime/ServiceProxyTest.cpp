// Service-proxy messages: the received table and its keys, pending requests,
// asynchronous handlers, and callbacks that call back into the tables.
#include "runtime/ServiceProxyTable.h"

#include "TestPlugin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qor::testing {
namespace {

class ServiceProxyTest : public PluginFixture<> {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    ASSERT_TRUE(start());
    core.clearRecords();
  }
  static std::string message(const std::string& uuid, const std::string& service,
                             const std::string& method, const std::string& payload) {
    return R"({"uuid":")" + uuid + R"(","serviceName":")" + service + R"(","methodName":")" +
           method + R"(","payload":")" + payload + R"(","status":"OK","error":""})";
  }
};

TEST_F(ServiceProxyTest, SameUuidKeepsTheLaterResponse) {
  ASSERT_TRUE(core.deliver("OnServiceProxyUuidEvent", message("u-1", "s", "m", "first")));
  ASSERT_TRUE(core.deliver("OnServiceProxyUuidEvent", message("u-1", "s", "m", "second")));
  EXPECT_EQ(plugin->serviceProxies().receivedCount(), 1u);
  PluginServiceProxyResponse r;
  ASSERT_TRUE(plugin->serviceProxies().receivedResponse("u-1", &r));
  EXPECT_EQ(r.payload, "second");
  EXPECT_EQ(r.status, "OK");
}

TEST_F(ServiceProxyTest, MethodKeysJoinServiceAndMethodWithADot) {
  ASSERT_TRUE(core.deliver("OnServiceProxyMethodEvent", message("", "a.b", "c", "1")));
  ASSERT_TRUE(core.deliver("OnServiceProxyMethodEvent", message("", "a", "b.c", "2")));
  EXPECT_EQ(plugin->serviceProxies().receivedCount(), 1u);
  PluginServiceProxyResponse r;
  ASSERT_TRUE(plugin->serviceProxies().receivedResponse("a.b.c", &r));
  EXPECT_EQ(r.payload, "2");
}

TEST_F(ServiceProxyTest, PendingRequestIsFulfilledOnceWithItsOwnResponse) {
  std::vector<std::string> got;
  plugin->serviceProxies().addPendingRequest("u-2", [&](const PluginServiceProxyResponse& r) {
    got.push_back(r.uuid + ":" + r.payload);
  });
  ASSERT_TRUE(core.deliver("OnServiceProxyUuidEvent", message("u-1", "s", "m", "other")));
  EXPECT_TRUE(got.empty());
  ASSERT_TRUE(core.deliver("OnServiceProxyUuidEvent", message("u-2", "s", "m", "mine")));
  EXPECT_EQ(got, (std::vector<std::string>{"u-2:mine"}));
  EXPECT_EQ(plugin->serviceProxies().pendingCount(), 0u);
  EXPECT_FALSE(plugin->serviceProxies().receivedResponse("u-2", nullptr));
  EXPECT_TRUE(plugin->serviceProxies().receivedResponse("u-1", nullptr));
  const auto lines = core.logLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], (std::pair<int, std::string>{3, "test-plugin: Fulfilled service proxy request: u-2"}));
}

TEST_F(ServiceProxyTest, ResponseThatArrivedFirstFulfilsALaterRegistration) {
  ASSERT_TRUE(core.deliver("OnServiceProxyMethodEvent", message("", "svc", "get", "early")));
  std::string got;
  plugin->serviceProxies().addPendingRequest("svc.get", [&](const PluginServiceProxyResponse& r) {
    got = r.payload;
  });
  EXPECT_EQ(got, "early");
  EXPECT_EQ(plugin->serviceProxies().receivedCount(), 0u);
}

TEST_F(ServiceProxyTest, CallbacksMayRegisterAndFulfilFurtherRequests) {
  std::vector<std::string> order;
  plugin->serviceProxies().addPendingRequest("first", [&](const PluginServiceProxyResponse&) {
    order.push_back("first");
    // Registering from inside a callback must not deadlock; the response for
    // "second" is already stored, so it is fulfilled at once.
    plugin->serviceProxies().addPendingRequest("second", [&](const PluginServiceProxyResponse& r) {
      order.push_back("second:" + r.payload);
    });
  });
  ASSERT_TRUE(core.deliver("OnServiceProxyUuidEvent", message("second", "s", "m", "2")));
  ASSERT_TRUE(core.deliver("OnServiceProxyUuidEvent", message("first", "s", "m", "1")));
  EXPECT_EQ(order, (std::vector<std::string>{"first", "second:2"}));
}

TEST_F(ServiceProxyTest, AsyncMessagesReachTheirHandlerOrAreLogged) {
  ASSERT_TRUE(core.deliver("OnServiceProxyAsyncEvent", message("", "svc", "push", "x")));
  auto lines = core.logLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], (std::pair<int, std::string>{
                          2, "test-plugin: Could not find registered handler for async service "
                             "proxy event svc.push"}));
  std::vector<std::string> got;
  plugin->serviceProxies().addAsyncHandler("svc.push", [&](const PluginServiceProxyResponse& r) {
    got.push_back(r.payload);
    // A handler may register others without deadlocking.
    plugin->serviceProxies().addAsyncHandler("svc.other", [](const PluginServiceProxyResponse&) {});
  });
  ASSERT_TRUE(core.deliver("OnServiceProxyAsyncEvent", message("", "svc", "push", "y")));
  ASSERT_TRUE(core.deliver("OnServiceProxyAsyncEvent", message("", "svc", "push", "z")));
  EXPECT_EQ(got, (std::vector<std::string>{"y", "z"}));
  EXPECT_EQ(plugin->serviceProxies().receivedCount(), 0u);  // asynchronous messages are not stored
}

TEST_F(ServiceProxyTest, ReceivedTableDropsTheOldestBeyondItsBound) {
  const std::size_t n = kMaxReceivedServiceProxyResponses + 5;
  for (std::size_t i = 0; i < n; ++i)
    ASSERT_TRUE(core.deliver("OnServiceProxyUuidEvent",
                             message("u" + std::to_string(i), "s", "m", "p")));
  EXPECT_EQ(plugin->serviceProxies().receivedCount(), kMaxReceivedServiceProxyResponses);
  EXPECT_FALSE(plugin->serviceProxies().receivedResponse("u0", nullptr));
  EXPECT_FALSE(plugin->serviceProxies().receivedResponse("u4", nullptr));
  EXPECT_TRUE(plugin->serviceProxies().receivedResponse("u5", nullptr));
  EXPECT_TRUE(plugin->serviceProxies().receivedResponse("u" + std::to_string(n - 1), nullptr));
}

TEST_F(ServiceProxyTest, PayloadsThatDoNotConvertAreDropped) {
  EXPECT_TRUE(core.deliver("OnServiceProxyUuidEvent", "[1,2]"));
  EXPECT_TRUE(core.deliver("OnServiceProxyUuidEvent", R"({"uuid":{"nested":1}})"));
  EXPECT_EQ(plugin->serviceProxies().receivedCount(), 0u);
}

TEST_F(ServiceProxyTest, StopEmptiesTheTables) {
  ASSERT_TRUE(core.deliver("OnServiceProxyUuidEvent", message("u", "s", "m", "p")));
  plugin->serviceProxies().addPendingRequest("later", [](const PluginServiceProxyResponse&) {});
  plugin->Shutdown();
  EXPECT_EQ(plugin->serviceProxies().receivedCount(), 0u);
  EXPECT_EQ(plugin->serviceProxies().pendingCount(), 0u);
  EXPECT_FALSE(core.isSubscribed("OnServiceProxyUuidEvent"));
}

}  // namespace
}  // namespace qor::testing
