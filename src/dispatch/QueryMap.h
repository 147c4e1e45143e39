// QueryMap and HeaderMap: a request's query pairs and headers, collected by
// key for argument binding.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "PluginAbi.h"

namespace qor {

// Query pairs in order of their key's first appearance; a repeated key keeps
// its first position and takes the last value. Keys and values are URL-decoded.
class QueryMap {
 public:
  QueryMap() = default;
  // Splits the query (the text after the URI's first "?") at every "&" and
  // each piece at its first "="; a piece without "=" is a key with an empty
  // value. Empty pieces ("a=1&&b=2", a bare "?") carry nothing and are skipped.
  explicit QueryMap(std::string_view query);

  const std::vector<std::pair<std::string, std::string>>& entries() const noexcept {
    return entries_;
  }
  // The value of a key, or null.
  const std::string* find(std::string_view key) const noexcept;

 private:
  std::size_t indexOf(const std::string& key) const noexcept;

  std::vector<std::pair<std::string, std::string>> entries_;
  // Key to position, built only once a query holds many keys, so that a long
  // query costs linear time while a short one allocates nothing extra.
  std::unordered_map<std::string, std::size_t> index_;
};

// Request headers by name (compared exactly); a repeated name takes the last
// value. A view over the request's own header array (nothing is copied, so
// a request with many headers costs nothing until a name is looked up).
// Entries with a null name are skipped; a null value reads as "".
class HeaderMap {
 public:
  HeaderMap() = default;
  HeaderMap(const CoreHeader* headers, std::size_t count) noexcept
      : headers_(headers), count_(headers != nullptr ? count : 0) {}

  // The value of the last header of that name; false when there is none.
  bool find(std::string_view name, std::string_view& value) const noexcept;

 private:
  const CoreHeader* headers_ = nullptr;
  std::size_t count_ = 0;
};

}  // namespace qor
