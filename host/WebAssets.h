// The host's page (host/web), compiled into the program at build time, so
// that it is served with no file beside the host and nothing downloaded.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace qor::host {

struct WebAsset {
  std::string_view path;         // "/" for index.html, else "/ui/<file name>"
  std::string_view contentType;  // from the file's extension
  std::string_view body;
};

// The file served at `path`, if the page has one.
std::optional<WebAsset> findWebAsset(std::string_view path);
std::size_t webAssetCount();

}  // namespace qor::host
