// route_binding: URL decoding, the query map and the argument binding of a
// routed function. The URI (path variables and query), headers, the core's
// argument list and the body come from the bytes; the route has arguments
// of every kind binding knows (path texts, a query vector, a bool, a
// number, an object, a registered record from the body). Decoding and the
// query map are checked against straightforward restatements.
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzTargets.h"
#include "binding/CoreValueConverter.h"
#include "binding/TypeRegistry.h"
#include "dispatch/ApiDispatcher.h"
#include "dispatch/QueryMap.h"
#include "dispatch/UrlDecode.h"
#include "inventory/InventoryRecords.h"
#include "support/CoreValueBuilder.h"
#include "support/FuzzCheck.h"
#include "support/FuzzInput.h"
#include "support/ValueChecks.h"

namespace Api = Vane::Client::Inventory::Api;

namespace qor::fuzz {
namespace {

int hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string referenceDecode(std::string_view t) {
  std::string out;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '+') out += ' ';
    else if (t[i] != '%') out += t[i];
    else if (i + 2 < t.size() && hex(t[i + 1]) >= 0 && hex(t[i + 2]) >= 0) {
      out += static_cast<char>(hex(t[i + 1]) * 16 + hex(t[i + 2]));
      i += 2;
    } else if (i + 2 < t.size()) {
      out += '%';
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> referenceQuery(std::string_view q) {
  std::vector<std::pair<std::string, std::string>> out;
  std::size_t start = 0;
  while (start <= q.size()) {
    std::size_t amp = q.find('&', start);
    if (amp == std::string_view::npos) amp = q.size();
    const std::string_view piece = q.substr(start, amp - start);
    if (!piece.empty()) {
      const std::size_t eq = piece.find('=');
      std::string key = referenceDecode(piece.substr(0, eq));
      std::string value = eq == std::string_view::npos ? std::string() : referenceDecode(piece.substr(eq + 1));
      bool found = false;
      for (auto& entry : out) {
        if (entry.first == key) {
          entry.second = value;
          found = true;
          break;
        }
      }
      if (!found) out.emplace_back(std::move(key), std::move(value));
    }
    start = amp + 1;
  }
  return out;
}

// The routed function every input calls: it answers with what it received.
// Its answer must convert to a CoreValue and back.
struct Route {
  TypeRegistry registry;
  ApiDispatcher dispatcher{registry};
  const FunctionRoute* route = nullptr;

  Route() {
    Api::registerInventoryRecords(registry, "QorInventory", {"Plugins"});
    RouteBuilder builder = dispatcher.registerFunction(
        HttpMethod::Get, "/fuzz/v1/{id}/items/{+rest}",
        [](std::string id, std::string rest, std::vector<std::string> list, bool flag, std::int32_t count,
           BindingProperty object, Api::CatalogItem item, std::vector<Api::InventoryItemDTO> dtos) {
          // The object argument is answered as it came (it may nest as deep
          // as any value may, so it is not wrapped); otherwise a summary.
          if (!object.isEmpty()) return FunctionResult<BindingProperty>::ok(std::move(object));
          BindingProperty answer;
          answer.member("id").setString(id);
          answer.member("rest").setString(rest);
          for (const std::string& s : list) answer.member("list").append().setString(s);
          answer.member("flag").setBool(flag);
          answer.member("count").setInt64(count);
          answer.member("item").setString(item.inventoryType);
          answer.member("dtos").setUint64(dtos.size());
          return FunctionResult<BindingProperty>::ok(std::move(answer));
        });
    builder.argument("id", ArgumentLocation::Path)
        .argument("rest", ArgumentLocation::Path)
        .queryArgument("list")
        .argument("flag")
        .argument("count", ArgumentLocation::Header)
        .argument("object")
        .argument("item", ArgumentLocation::Body)
        .argument("dtos");
    route = builder.route();
  }
};

Route& theRoute() {
  static Route* route = new Route();
  return *route;
}

const char* const kContentTypes[] = {"", "application/json", "application/x-msgpack", "application/x-yaml",
                                     "application/vnd.api+json", "text/x-yaml", "APPLICATION/JSON; charset=utf-8"};
const char* const kHeaderNames[] = {"count", "flag", "object", "list", "Count", "dtos"};

}  // namespace

int fuzzRouteBinding(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  Route& r = theRoute();

  // Headers and the core's arguments first, then the content type and the
  // body; the URI is the rest, so that mutations of it stay readable.
  std::vector<std::string> headerTexts;
  std::vector<CoreHeader> headers;
  const std::size_t headerCount = in.below(4);
  headerTexts.reserve(headerCount * 2);
  for (std::size_t i = 0; i < headerCount; ++i) {
    headerTexts.push_back(kHeaderNames[in.below(std::size(kHeaderNames))]);
    const char* name = headerTexts.back().c_str();
    headerTexts.push_back(in.text(64));
    headers.push_back(CoreHeader{name, headerTexts.back().c_str()});
  }
  CoreValueBuilder values(256);
  std::vector<std::string> argNames;
  std::vector<CoreArgument> arguments;
  const std::size_t argumentCount = in.below(3);
  argNames.reserve(argumentCount);
  for (std::size_t i = 0; i < argumentCount; ++i) {
    CoreArgument a;
    std::memset(&a, 0, sizeof a);
    const std::uint8_t nameOp = in.byte();
    argNames.push_back(nameOp % 3 == 0 ? in.text(16) : kHeaderNames[nameOp % std::size(kHeaderNames)]);
    a.name = nameOp >= 0xC0 ? nullptr : argNames.back().c_str();
    CoreValue v = values.build(in);
    std::memcpy(&a.value, &v, sizeof v);
    arguments.push_back(a);
  }
  const char* contentType = kContentTypes[in.below(std::size(kContentTypes))];
  const bool hasBody = in.flag();
  const std::string body = in.text(1024);
  const std::string uri(in.rest());

  // Decoding and the query map against their restatements.
  const std::string_view query = uri.find('?') == std::string::npos ? std::string_view()
                                                                      : std::string_view(uri).substr(uri.find('?') + 1);
  QOR_FUZZ_CHECK(urlDecode(uri) == referenceDecode(uri), "urlDecode differs for '" + uri + "'");
  const QueryMap map(query);
  QOR_FUZZ_CHECK(map.entries() == referenceQuery(query), "query map differs for '" + std::string(query) + "'");

  CoreRequest request;
  std::memset(&request, 0, sizeof request);
  request.method = CORE_METHOD_GET;
  request.uri = uri.c_str();
  request.headers = headers.empty() ? nullptr : headers.data();
  request.headerCount = static_cast<std::uint32_t>(headers.size());
  request.args = arguments.empty() ? nullptr : arguments.data();
  request.argCount = static_cast<std::uint32_t>(arguments.size());
  request.contentType = contentType;
  request.body = hasBody ? body.data() : nullptr;
  request.bodySize = static_cast<std::uint32_t>(body.size());

  CoreResponse response;
  std::memset(&response, 0xAB, sizeof response);
  r.dispatcher.dispatch(response, request, r.route);
  QOR_FUZZ_CHECK(response.release != nullptr, "response without a release function");
  QOR_FUZZ_CHECK((response.hasError != 0) == (response.error != nullptr), "error flag and text disagree");
  if (response.hasError == 0) {
    BindingResult back;
    CoreValue body_;
    std::memcpy(&body_, &response.body, sizeof body_);
    fromCoreValue(back, body_, "<result>");
    QOR_FUZZ_CHECK(back.ok, "the answer does not read back: " + std::string(back.errorText()));
  } else {
    QOR_FUZZ_CHECK(std::strlen(response.error) > 0, "an empty error text");
  }
  response.release(&response);
  return 0;
}

}  // namespace qor::fuzz
