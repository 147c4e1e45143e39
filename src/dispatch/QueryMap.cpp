// Parsing of query strings and collection of request headers.
#include "dispatch/QueryMap.h"

#include "dispatch/UrlDecode.h"

namespace qor {

QueryMap::QueryMap(std::string_view query) {
  std::string key;
  std::string value;
  while (true) {
    const std::size_t amp = query.find('&');
    const std::string_view piece = query.substr(0, amp);
    if (!piece.empty()) {
      const std::size_t eq = piece.find('=');
      urlDecode(piece.substr(0, eq), key);
      if (eq == std::string_view::npos) {
        value.clear();
      } else {
        urlDecode(piece.substr(eq + 1), value);
      }
      const std::size_t at = indexOf(key);
      if (at < entries_.size()) {
        entries_[at].second = value;
      } else {
        entries_.emplace_back(key, value);
        if (!index_.empty()) {
          index_.emplace(key, entries_.size() - 1);
        } else if (entries_.size() == 16) {
          for (std::size_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].first, i);
        }
      }
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
}

std::size_t QueryMap::indexOf(const std::string& key) const noexcept {
  if (!index_.empty()) {
    const auto it = index_.find(key);
    return it == index_.end() ? entries_.size() : it->second;
  }
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].first == key) return i;
  }
  return entries_.size();
}

const std::string* QueryMap::find(std::string_view key) const noexcept {
  for (const auto& entry : entries_) {
    if (entry.first == key) return &entry.second;
  }
  return nullptr;
}

bool HeaderMap::find(std::string_view name, std::string_view& value) const noexcept {
  for (std::size_t i = count_; i-- > 0;) {
    const CoreHeader& header = headers_[i];
    if (header.name == nullptr || name != header.name) continue;
    value = header.value != nullptr ? std::string_view(header.value) : std::string_view();
    return true;
  }
  return false;
}

}  // namespace qor
