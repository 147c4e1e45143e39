// The rules the plug-in, the host and the validator share: entry-point names,
// route fitting, and the names of type, method and location codes.
#include <gtest/gtest.h>

#include "PluginAbi.h"
#include "protocol/ExportName.h"
#include "protocol/ProtocolNames.h"
#include "protocol/RouteMatcher.h"

namespace qor {
namespace {

TEST(ExportName, DerivedFromTheLibrarysBaseName) {
  const struct {
    const char* path;
    const char* name;
  } rows[] = {
      {"build/src/libqor_inventory.so", "load_qor_inventory"},
      {"bin\\qor_inventory.dll", "load_qor_inventory"},
      {"/x/libqor-greeter.so.1.2", "load_qor_greeter"},
      {"qor.greeter.dll", "load_qor"},
      {"lib.so", "load_lib"},
      {"plugins/My Plugin.dll", "load_My_Plugin"},
  };
  for (const auto& row : rows) EXPECT_EQ(exportNameForLibrary(row.path), row.name) << row.path;
  EXPECT_EQ(exportNameKeepingPrefix("liblua_ext.so"), "load_liblua_ext");
}

TEST(RouteMatches, AsTheRouterDecides) {
  const struct {
    const char* uriTemplate;
    const char* path;
    bool match;
  } rows[] = {
      {"/qor-inventory/v1/inventory", "/qor-inventory/v1/inventory", true},
      {"/qor-inventory/v1/inventory", "/qor-inventory/v1/inventory/emotes", false},
      {"/qor-inventory/v1/inventory/", "/qor-inventory/v1/inventory", true},
      {"/a/", "/a", true},
      {"/a", "/a/extra", false},
      {"/items/{id}", "/items/42", true},
      {"/items/{id}", "/items/", true},
      {"/items/{id}", "/items/4/2", false},
      {"/items/{id}/x", "/items/4/x", true},
      // A segment variable gives characters back to a literal that follows it.
      {"/items/{id}.json", "/items/5.json", true},
      {"/items/{id}.json", "/items/5.yaml", false},
      {"/pages{#part}", "/pages#top", true},
      {"/pages{#part}", "/pagestop", false},
      {"/files/{+path}", "/files/a/b", true},
      {"/files/{+path}/end", "/files/a/b/end", true},
      {"/files/{+path}/end", "/files/a/b", false},
      {"/v1.0/x", "/v1.0/x", true},
      {"/v1.0/x", "/v1a0/x", false},
      {"/", "/", true},
  };
  for (const auto& row : rows)
    EXPECT_EQ(routeMatches(row.uriTemplate, row.path), row.match) << row.uriTemplate << " vs " << row.path;
  EXPECT_EQ(routeTemplateText("/a/b/"), "/a/b");
  EXPECT_EQ(routeTemplateText("/"), "/");
}

TEST(ProtocolNames, MethodCodesAndNames) {
  const char* names[] = {"DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT"};
  for (std::uint32_t code = CORE_METHOD_DELETE; code <= CORE_METHOD_PUT; ++code) {
    EXPECT_EQ(coreMethodCode(names[code - 1]), code);
    EXPECT_STREQ(coreMethodName(code), names[code - 1]);
  }
  EXPECT_EQ(coreMethodCode("PROPFIND"), static_cast<std::uint32_t>(CORE_METHOD_OTHER));
  EXPECT_EQ(coreMethodCode("get"), static_cast<std::uint32_t>(CORE_METHOD_OTHER));
  EXPECT_EQ(coreMethodCode(""), static_cast<std::uint32_t>(CORE_METHOD_NONE));
  EXPECT_STREQ(coreMethodName(CORE_METHOD_NONE), "");
  EXPECT_STREQ(coreMethodName(CORE_METHOD_OTHER), "");
  EXPECT_STREQ(coreMethodName(99), "");
}

TEST(ProtocolNames, TypeCodesAndLocations) {
  EXPECT_STREQ(coreTypeName(CORE_TYPE_NONE), "none");
  EXPECT_STREQ(coreTypeName(CORE_TYPE_BOOL), "bool");
  EXPECT_STREQ(coreTypeName(CORE_TYPE_OBJECT), "object");
  EXPECT_STREQ(coreTypeName(CORE_TYPE_VECTOR), "vector");
  EXPECT_STREQ(coreTypeName(CORE_TYPE_MAP), "map");
  EXPECT_STREQ(coreTypeName(CORE_TYPE_MAP + 1), "unknown");
  for (std::uint32_t code = CORE_TYPE_NONE; code <= CORE_TYPE_MAP + 1; ++code)
    EXPECT_EQ(isCoreIntegerType(code), code >= CORE_TYPE_INT8 && code <= CORE_TYPE_UINT64) << code;

  const struct {
    std::uint32_t code;
    const char* name;
    bool valid;
  } locations[] = {{CORE_LOCATION_ANYWHERE, "any", true}, {CORE_LOCATION_QUERY, "query", true},
                   {CORE_LOCATION_PATH, "path", true},     {3, "any", false},
                   {CORE_LOCATION_HEADER, "header", true}, {CORE_LOCATION_BODY, "body", true},
                   {6, "any", false}};
  for (const auto& row : locations) {
    EXPECT_STREQ(coreLocationName(row.code), row.name) << row.code;
    EXPECT_EQ(isCoreLocation(row.code), row.valid) << row.code;
  }
}

}  // namespace
}  // namespace qor
