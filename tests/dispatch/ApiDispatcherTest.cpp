// Tests of the API object: registration, the API table's function records,
// and calls through each record's dispatch entry as the core makes them.
#include "dispatch/ApiDispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "binding/TypeRegistration.h"

namespace qor {
namespace {

enum class Ownership : std::int32_t { Owned = 0, Rented = 1 };

struct Item {
  std::string instanceId;
  std::int32_t itemId = 0;
  Ownership ownership = Ownership::Owned;
};

// Reads a field of a packed record by value: the test macros bind
// references, which packed fields cannot take.
template <class T>
T val(T value) {
  return value;
}

// One response filled through a record's dispatch entry; released on destruction.
class Call {
 public:
  Call(const ApiFunctionRecord* record, CoreRequest request) {
    std::memset(&response_, 0xAB, sizeof response_);  // the entry must zero it
    if (record != nullptr) {
      request.callContext = record->head.callContext;
      record->dispatch(&response_, &request);
    } else {
      dispatchEntry(&response_, &request);
    }
  }
  ~Call() {
    if (response_.release != nullptr) {
      response_.release(&response_);
      CoreResponse zero;
      std::memset(&zero, 0, sizeof zero);
      EXPECT_EQ(std::memcmp(&response_, &zero, sizeof zero), 0) << "release zeroes the record";
    }
  }
  const CoreResponse& operator*() const { return response_; }
  const CoreResponse* operator->() const { return &response_; }
  std::string error() const {
    return response_.hasError != 0 && response_.error != nullptr ? response_.error : "";
  }

 private:
  CoreResponse response_;
};

CoreRequest get(const char* uri) {
  CoreRequest request;
  std::memset(&request, 0, sizeof request);
  request.method = CORE_METHOD_GET;
  request.uri = uri;
  return request;
}

std::string coreString(const CoreValue& value) {
  if (value.kind != CORE_VALUE_STRING_OWNED && value.kind != CORE_VALUE_STRING_BORROWED) return "?";
  return static_cast<const char*>(value.u.block.data);
}

const CoreValue* coreMember(const CoreValue& value, const char* key) {
  if (value.kind != CORE_VALUE_STRUCT) return nullptr;
  const auto* members = static_cast<const CoreStructMember*>(value.u.block.data);
  for (std::uint32_t i = 0; i < value.u.block.count; ++i) {
    if (std::strcmp(members[i].key, key) == 0) return &members[i].value;
  }
  return nullptr;
}

class ApiDispatcherTest : public ::testing::Test {
 protected:
  ApiDispatcherTest() : dispatcher_(registry_) {
    registerEnum<Ownership>(registry_, "TestOwnership")
        .value("OWNED", Ownership::Owned)
        .value("RENTED", Ownership::Rented);
    registerStruct<Item>(registry_, "TestItem")
        .field("instanceId", &Item::instanceId)
        .field("itemId", &Item::itemId)
        .field("ownershipType", &Item::ownership);
  }

  void registerInventory() {
    dispatcher_
        .registerFunction(HttpMethod::Get, "/qor-inventory/v1/inventory",
                          [this](std::vector<std::string> types) {
                            ++calls_;
                            lastTypes_ = types;
                            std::vector<Item> items;
                            for (std::size_t i = 0; i < types.size(); ++i) {
                              items.push_back({types[i] + "-id", static_cast<std::int32_t>(i + 1),
                                               i % 2 != 0 ? Ownership::Rented : Ownership::Owned});
                            }
                            return FunctionResult<std::vector<Item>>::ok(std::move(items));
                          })
        .queryArgument("inventoryTypes");
    dispatcher_
        .registerFunction(HttpMethod::Get, "/qor-inventory/v1/signedInventory",
                          [](const std::vector<std::string>& types) {
                            std::unordered_map<std::string, std::string> signedTexts;
                            for (const auto& t : types) signedTexts[t] = "jwt-" + t;
                            return FunctionResult<std::unordered_map<std::string, std::string>>::ok(
                                std::move(signedTexts));
                          })
        .queryArgument("inventoryTypes");
    dispatcher_.registerFunction(HttpMethod::Get, "/qor-inventory/v1/inventory/emotes", [] {
      return FunctionResult<std::vector<Item>>::fail("Service unavailable", 500);
    });
  }

  const ApiFunctionRecord* record(const char* name) {
    const PluginApiTable* table = dispatcher_.buildApiTable();
    for (const ApiFunctionRecord* r = table->functions; r != nullptr;
         r = static_cast<const ApiFunctionRecord*>(r->head.next)) {
      if (r->head.name != nullptr && std::strcmp(r->head.name, name) == 0) return r;
    }
    return nullptr;
  }

  TypeRegistry registry_;
  ApiDispatcher dispatcher_;
  int calls_ = 0;
  std::vector<std::string> lastTypes_;
};

TEST_F(ApiDispatcherTest, ApiTableHoldsOneLinkedRecordPerRoute) {
  registerInventory();
  const PluginApiTable* table = dispatcher_.buildApiTable();
  ASSERT_EQ(val(table->functionCount), 3u);
  std::vector<std::string> names;
  const ApiFunctionRecord* last = nullptr;
  for (std::uint32_t i = 0; i < table->functionCount; ++i) {
    const ApiFunctionRecord& r = table->functions[i];
    names.push_back(r.head.name);
    EXPECT_EQ(val(r.head.next), i + 1 < val(table->functionCount) ? &val(table->functions)[i + 1] : nullptr);
    EXPECT_EQ(val(r.dispatch), &dispatchEntry);
    EXPECT_EQ(val(r.method), 2u);
    ASSERT_NE(val(r.methodName), nullptr);
    EXPECT_STREQ(val(r.methodName), "");
    EXPECT_EQ(val(r.routeFlag), 0);
    EXPECT_EQ(val(r.stringLists), nullptr);
    EXPECT_EQ(val(r.stringListCount), 0u);
    EXPECT_EQ(val(r.head.zero), 0u);
    EXPECT_NE(val(r.head.callContext), nullptr);
    last = &r;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"GetQorInventoryV1Inventory",
                                             "GetQorInventoryV1SignedInventory",
                                             "GetQorInventoryV1InventoryEmotes"}));
  EXPECT_EQ(val(last->head.next), nullptr);

  const ApiFunctionRecord* inventory = &table->functions[0];
  EXPECT_STREQ(val(inventory->uriTemplate), "/qor-inventory/v1/inventory");
  ASSERT_NE(val(inventory->locations), nullptr);
  EXPECT_EQ(val(inventory->locations->location), 1u);
  EXPECT_EQ(val(inventory->locations->next), nullptr);
  ASSERT_EQ(val(inventory->head.argumentCount), 1u);
  EXPECT_STREQ(val(inventory->head.arguments[0].name), "inventoryTypes");
  EXPECT_EQ(val(inventory->head.arguments[0].typeCode), 15u);
  EXPECT_EQ(val(inventory->head.arguments[0].elementCode), 12u);
  EXPECT_EQ(val(inventory->head.returnCode), 15u);
  EXPECT_EQ(val(inventory->head.returnElementCode), 17u);
  EXPECT_STREQ(val(inventory->head.returnTypeName), "TestItem");

  const ApiFunctionRecord& signedInventory = table->functions[1];
  EXPECT_EQ(val(signedInventory.head.returnCode), 19u);
  EXPECT_EQ(val(signedInventory.head.returnElementCode), 12u);
  const ApiFunctionRecord& emotes = table->functions[2];
  EXPECT_EQ(val(emotes.locations), nullptr);
  EXPECT_EQ(val(emotes.head.argumentCount), 0u);

  // Types and events come from the registry's export.
  bool foundItem = false;
  for (std::uint32_t i = 0; i < table->typeCount; ++i) {
    foundItem = foundItem || std::strcmp(table->types[i].name, "TestItem") == 0;
  }
  EXPECT_TRUE(foundItem);
  EXPECT_GT(val(table->eventCount), 0u);  // the builtin events
}

TEST_F(ApiDispatcherTest, InventoryCallBindsTheQueryAndConvertsTheResult) {
  registerInventory();
  const ApiFunctionRecord* r = record("GetQorInventoryV1Inventory");
  ASSERT_NE(r, nullptr);
  Call call(r, get("/qor-inventory/v1/inventory?inventoryTypes=%5B%22EMOTE%22%2C%22GEAR%22%5D"));
  ASSERT_EQ(call.error(), "");
  EXPECT_EQ(val(call->hasError), 0);
  EXPECT_EQ(val(call->status), 0u);
  ASSERT_NE(val(call->statusText), nullptr);
  EXPECT_STREQ(val(call->statusText), "");
  EXPECT_EQ(lastTypes_, (std::vector<std::string>{"EMOTE", "GEAR"}));
  ASSERT_EQ(val(call->body.kind), static_cast<std::uint32_t>(CORE_VALUE_ARRAY));
  ASSERT_EQ(val(call->body.u.block.count), 2u);
  const auto* items = static_cast<const CoreValue*>(call->body.u.block.data);
  EXPECT_EQ(coreString(*coreMember(items[0], "instanceId")), "EMOTE-id");
  EXPECT_EQ(val(coreMember(items[1], "itemId")->u.i64), 2);
  // Enumeration values reach the core as their names.
  EXPECT_EQ(coreString(*coreMember(items[0], "ownershipType")), "OWNED");
  EXPECT_EQ(coreString(*coreMember(items[1], "ownershipType")), "RENTED");
}

TEST_F(ApiDispatcherTest, UnboundArgumentKeepsItsDefault) {
  registerInventory();
  const ApiFunctionRecord* r = record("GetQorInventoryV1Inventory");
  lastTypes_ = {"stale"};
  Call call(r, get("/qor-inventory/v1/inventory"));
  EXPECT_EQ(call.error(), "");
  EXPECT_EQ(calls_, 1);
  EXPECT_TRUE(lastTypes_.empty());
  EXPECT_EQ(val(call->body.kind), static_cast<std::uint32_t>(CORE_VALUE_ARRAY));
  EXPECT_EQ(val(call->body.u.block.count), 0u);
}

TEST_F(ApiDispatcherTest, MapResultBecomesAStructure) {
  registerInventory();
  Call call(record("GetQorInventoryV1SignedInventory"),
            get("/qor-inventory/v1/signedInventory?inventoryTypes.0=GEAR"));
  ASSERT_EQ(call.error(), "");
  ASSERT_EQ(val(call->body.kind), static_cast<std::uint32_t>(CORE_VALUE_STRUCT));
  EXPECT_EQ(coreString(*coreMember(val(call->body), "GEAR")), "jwt-GEAR");
}

TEST_F(ApiDispatcherTest, FailuresCarryMessageStatusTextAndHeaders) {
  dispatcher_.registerFunction(HttpMethod::Get, "/fail", [] {
    auto result = FunctionResult<std::string>::fail("boom", 503);
    result.statusText = "Service Unavailable";
    result.headers = {{"Retry-After", "5"}, {"X-A", ""}};
    result.flag = 1;
    result.kind = 7;  // unknown kinds reach the core as 0
    return result;
  });
  dispatcher_.registerFunction(HttpMethod::Get, "/ok", [] {
    auto result = FunctionResult<std::string>::ok("fine");
    result.kind = 2;
    result.status = 201;
    return result;
  });
  {
    Call call(record("GetFail"), get("/fail"));
    EXPECT_EQ(call.error(), "boom");
    EXPECT_EQ(val(call->status), 503u);
    EXPECT_STREQ(val(call->statusText), "Service Unavailable");
    ASSERT_EQ(val(call->headerCount), 2u);
    EXPECT_STREQ(val(call->headers[0].name), "Retry-After");
    EXPECT_STREQ(val(call->headers[0].value), "5");
    EXPECT_STREQ(val(call->headers[1].value), "");
    EXPECT_EQ(val(call->flag), 1);
    EXPECT_EQ(val(call->responseKind), 0u);
    EXPECT_EQ(val(call->body.kind), static_cast<std::uint32_t>(CORE_VALUE_EMPTY));
  }
  {
    Call call(record("GetOk"), get("/ok"));
    EXPECT_EQ(call.error(), "");
    EXPECT_EQ(coreString(val(call->body)), "fine");
    EXPECT_EQ(val(call->status), 201u);
    EXPECT_EQ(val(call->responseKind), 2u);
  }
}

TEST_F(ApiDispatcherTest, RequestsNoRouteFitsAreInvalidFunctions) {
  registerInventory();
  const ApiFunctionRecord* r = record("GetQorInventoryV1Inventory");
  struct Row {
    const char* label;
    std::uint32_t method;
    const char* uri;
  };
  const Row rows[] = {
      {"other method", 6, "/qor-inventory/v1/inventory"},
      {"unknown method code", 99, "/qor-inventory/v1/inventory"},
      {"method code 0", 0, "/qor-inventory/v1/inventory"},
      {"other path", 2, "/qor-inventory/v1/inventory/x"},
      {"trailing slash", 2, "/qor-inventory/v1/inventory/"},
      {"null uri", 2, nullptr},
      {"empty uri", 2, ""},
  };
  for (const Row& row : rows) {
    CoreRequest request = get(row.uri);
    request.method = row.method;
    Call call(r, request);
    EXPECT_EQ(call.error(), "Invalid function") << row.label;
    EXPECT_EQ(val(call->status), 404u) << row.label;
  }
  EXPECT_EQ(calls_, 0);
  {
    CoreRequest request = get("/qor-inventory/v1/inventory");
    request.callContext = nullptr;
    Call call(nullptr, request);
    EXPECT_EQ(call.error(), "Invalid function");
  }
  {
    CoreResponse response;
    dispatchEntry(&response, nullptr);
    EXPECT_STREQ(val(response.error), "Invalid function");
    EXPECT_EQ(val(response.status), 404u);
    response.release(&response);
    dispatchEntry(nullptr, nullptr);  // nothing to fill, nothing happens
  }
}

TEST_F(ApiDispatcherTest, BindingErrorsNameTheArgument) {
  registerInventory();
  const ApiFunctionRecord* r = record("GetQorInventoryV1Inventory");
  struct Row {
    const char* uri;
    const char* error;
  };
  const Row rows[] = {
      {"/qor-inventory/v1/inventory?inventoryTypes=GEAR",
       "Couldn't assign value to 'inventoryTypes' of type vector because the input not a "
       "collection."},
      {"/qor-inventory/v1/inventory?other=1", "Unknown argument 'other' for 'GetQorInventoryV1Inventory'."},
      {"/qor-inventory/v1/inventory?inventoryTypes.70000=A", "Index 70000 is out of range"},
      {"/qor-inventory/v1/inventory?inventoryTypes=%5B1", nullptr},  // reader message, checked below
  };
  for (const Row& row : rows) {
    Call call(r, get(row.uri));
    ASSERT_EQ(val(call->hasError), 1) << row.uri;
    if (row.error != nullptr) {
      EXPECT_EQ(call.error(), row.error);
    } else {
      EXPECT_EQ(call.error().rfind("Couldn't deserialize JSON value for parameter 'inventoryTypes' "
                                   "of 'GetQorInventoryV1Inventory': ",
                                   0),
                0u)
          << call.error();
    }
    EXPECT_EQ(val(call->status), 0u);
  }
  EXPECT_EQ(calls_, 0);
}

TEST_F(ApiDispatcherTest, PathVariablesAndCoreArguments) {
  dispatcher_
      .registerFunction(HttpMethod::Get, "/items/{id}/",
                        [](std::int32_t id, std::string note) {
                          return FunctionResult<std::string>::ok(std::to_string(id) + ":" + note);
                        })
      .argument("id", ArgumentLocation::Path)
      .argument("note");
  const ApiFunctionRecord* r = record("GetItemsById");
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(val(r->uriTemplate), "/items/{id}");
  EXPECT_EQ(val(r->locations->location), 2u);
  EXPECT_EQ(val(r->locations->next->location), 0u);
  {
    Call call(r, get("/items/42"));
    EXPECT_EQ(coreString(val(call->body)), "42:");
  }
  {
    // The unnamed argument takes the position after the one path variable.
    CoreValue note{};
    note.kind = CORE_VALUE_STRING_BORROWED;
    note.u.block.data = const_cast<char*>("hi");
    note.u.block.count = 2;
    const CoreArgument arguments[] = {{nullptr, note}};
    CoreRequest request = get("/items/0x10?");
    request.args = arguments;
    request.argCount = 1;
    Call call(r, request);
    EXPECT_EQ(coreString(val(call->body)), "16:hi");
  }
  {
    Call call(r, get("/items/abc"));
    EXPECT_EQ(call.error(), "Value abc for 'id' of type int32 is in an incorrect format");
  }
}

TEST_F(ApiDispatcherTest, MemberFunctionsAndHandlersWithoutValue) {
  struct Service {
    int hits = 0;
    FunctionResult<void> touch(bool force) {
      hits += force ? 10 : 1;
      return FunctionResult<void>::ok();
    }
  } service;
  dispatcher_.registerFunction(HttpMethod::Post, "/touch", &service, &Service::touch)
      .argument("force");
  const ApiFunctionRecord* r = record("PostTouch");
  ASSERT_NE(r, nullptr);
  CoreRequest request = get("/touch");
  request.method = CORE_METHOD_POST;
  { Call call(r, request); EXPECT_EQ(call.error(), ""); EXPECT_EQ(val(call->body.kind), 0u); }
  request.uri = "/touch?force";
  { Call call(r, request); EXPECT_EQ(call.error(), ""); }
  EXPECT_EQ(service.hits, 11);

  struct Reader {
    std::string prefix = "p-";
    FunctionResult<std::string> read(const std::string& key) const {
      return FunctionResult<std::string>::ok(prefix + key);
    }
  } reader;
  dispatcher_.registerFunction(HttpMethod::Get, "/read/{key}", &reader, &Reader::read)
      .argument("key", ArgumentLocation::Path);
  Call call(record("GetReadByKey"), get("/read/k%41"));
  EXPECT_EQ(coreString(val(call->body)), "p-kA");
}

TEST_F(ApiDispatcherTest, OtherMethodsCompareTheirNames) {
  FunctionResult<std::string> (*handler)() = [] { return FunctionResult<std::string>::ok("done"); };
  RouteBuilder builder = dispatcher_.registerFunction(HttpMethod::Other, "/purge", handler);
  builder.route()->setMethod(HttpMethod::Other, "PURGE");
  const ApiFunctionRecord* r = record("Purge");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(val(r->method), 8u);
  EXPECT_STREQ(val(r->methodName), "PURGE");
  CoreRequest request = get("/purge");
  request.method = CORE_METHOD_OTHER;
  request.methodName = "PURGE";
  { Call call(r, request); EXPECT_EQ(coreString(val(call->body)), "done"); }
  request.methodName = nullptr;
  { Call call(r, request); EXPECT_EQ(call.error(), "Invalid function"); }
}

TEST_F(ApiDispatcherTest, EarlierTablesStayValid) {
  registerInventory();
  const PluginApiTable* first = dispatcher_.buildApiTable();
  const ApiFunctionRecord* r = &first->functions[0];
  const PluginApiTable* second = dispatcher_.buildApiTable();
  EXPECT_NE(first, second);
  EXPECT_EQ(val(second->functionCount), 3u);
  Call call(r, get("/qor-inventory/v1/inventory?inventoryTypes.0=A"));
  EXPECT_EQ(call.error(), "");
  EXPECT_EQ(lastTypes_, std::vector<std::string>{"A"});
}

TEST_F(ApiDispatcherTest, RegisteringANameAgainReplacesTheFunction) {
  dispatcher_.registerFunction(HttpMethod::Get, "/v", [] { return FunctionResult<int>::ok(1); });
  const ApiFunctionRecord* first = record("GetV");
  const void* oldContext = first->head.callContext;
  dispatcher_.registerFunction(HttpMethod::Get, "/v/", [] { return FunctionResult<int>::ok(2); });
  EXPECT_EQ(dispatcher_.routes().size(), 1u);
  const ApiFunctionRecord* second = record("GetV");
  ASSERT_NE(second, nullptr);
  { Call call(second, get("/v")); EXPECT_EQ(val(call->body.u.i64), 2); }
  // A context the core kept from before the replacement is refused, not followed.
  CoreRequest request = get("/v");
  request.callContext = oldContext;
  Call stale(nullptr, request);
  EXPECT_EQ(stale.error(), "Invalid function");
}

TEST_F(ApiDispatcherTest, ExceptionsNeverReachTheCore) {
  dispatcher_.registerFunction(HttpMethod::Get, "/throw", []() -> FunctionResult<int> {
    throw std::runtime_error("no");
  });
  Call call(record("GetThrow"), get("/throw"));
  EXPECT_EQ(call.error(), "Internal error");
  EXPECT_EQ(val(call->status), 500u);
}

// Requests the core could send that are malformed in some way: each one is
// answered (no crash, a response with its release function).
TEST_F(ApiDispatcherTest, MalformedRequestsAreAnswered) {
  registerInventory();
  dispatcher_
      .registerFunction(HttpMethod::Post, "/body",
                        [](BindingProperty payload) {
                          return FunctionResult<std::string>::ok(std::string(kindName(payload.kind())));
                        })
      .argument("payload", ArgumentLocation::Body);
  const ApiFunctionRecord* inventory = record("GetQorInventoryV1Inventory");
  const ApiFunctionRecord* body = record("PostBody");

  for (const char* uri : {"/qor-inventory/v1/inventory?inventoryTypes=%",
                          "/qor-inventory/v1/inventory?inventoryTypes=%zz",
                          "/qor-inventory/v1/inventory?inventoryTypes.99999999999999999999999=A",
                          "/qor-inventory/v1/inventory?%=1", "/qor-inventory/v1/inventory?&&&",
                          "/qor-inventory/v1/inventory?inventoryTypes=%5B%5B%5B%5B"}) {
    Call call(inventory, get(uri));
    EXPECT_NE(val(call->release), nullptr) << uri;
  }
  {
    CoreRequest request = get("/body");
    request.method = CORE_METHOD_POST;
    request.contentType = "application/json";
    request.body = nullptr;
    request.bodySize = 100;
    Call call(body, request);
    EXPECT_EQ(coreString(val(call->body)), "empty");
  }
  {
    CoreRequest request = get("/body");
    request.method = CORE_METHOD_POST;
    request.contentType = nullptr;
    request.body = "{}";
    request.bodySize = 2;
    Call call(body, request);
    EXPECT_EQ(call.error(), "Unsupported body content type");
  }
  {
    CoreValue bad{};
    bad.kind = 1234;
    const CoreArgument arguments[] = {{nullptr, bad}};
    const CoreHeader headers[] = {{"inventorytypes", nullptr}, {nullptr, "x"}, {nullptr, nullptr}};
    CoreRequest request = get("/qor-inventory/v1/inventory");
    request.args = arguments;
    request.argCount = 1;
    request.headers = headers;
    request.headerCount = 3;
    Call call(inventory, request);
    EXPECT_EQ(call.error(),
              "Couldn't assign value to 'inventoryTypes' of type object because the input is of an "
              "incompatible type ''.");
  }
  {
    CoreRequest request = get("/qor-inventory/v1/inventory");
    request.args = nullptr;
    request.argCount = 5;
    request.headers = nullptr;
    request.headerCount = 5;
    Call call(inventory, request);
    EXPECT_EQ(call.error(), "");
  }
}

TEST_F(ApiDispatcherTest, ConcurrentCallsAreIndependent) {
  std::atomic<int> served{0};
  dispatcher_
      .registerFunction(HttpMethod::Get, "/echo/{word}",
                        [&served](std::string word, std::vector<std::string> extra) {
                          ++served;
                          for (const auto& e : extra) word += "," + e;
                          return FunctionResult<std::string>::ok(word);
                        })
      .argument("word", ArgumentLocation::Path)
      .queryArgument("extra");
  const ApiFunctionRecord* r = record("GetEchoByWord");
  ASSERT_NE(r, nullptr);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        const std::string word = "w" + std::to_string(t) + "_" + std::to_string(i);
        const std::string uri = "/echo/" + word + "?extra.0=" + std::to_string(i);
        CoreRequest request = get(uri.c_str());
        request.callContext = r->head.callContext;
        CoreResponse response;
        r->dispatch(&response, &request);
        if (response.hasError != 0 || coreString(response.body) != word + "," + std::to_string(i)) {
          ++wrong;
        }
        response.release(&response);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(served.load(), 1200);
}

}  // namespace
}  // namespace qor
