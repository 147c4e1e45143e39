// The host's resource store.
#include "host/ResourceStore.h"

namespace qor::host {

const char* resourceEventTypeName(ResourceEventType type) {
  switch (type) {
    case ResourceEventType::Create:
      return "Create";
    case ResourceEventType::Update:
      return "Update";
    case ResourceEventType::Delete:
      return "Delete";
  }
  return "Unknown";
}

std::string ResourceStore::normalise(std::string_view uri) {
  const std::size_t query = uri.find('?');
  if (query != std::string_view::npos) uri = uri.substr(0, query);
  std::string key;
  if (uri.empty() || uri.front() != '/') key += '/';
  key += uri;
  return key;
}

ResourceEventType ResourceStore::set(std::string_view uri, nlohmann::json value) {
  std::lock_guard lock(mutex_);
  auto [it, inserted] = values_.insert_or_assign(normalise(uri), std::move(value));
  (void)it;
  return inserted ? ResourceEventType::Create : ResourceEventType::Update;
}

bool ResourceStore::erase(std::string_view uri) {
  std::lock_guard lock(mutex_);
  return values_.erase(normalise(uri)) != 0;
}

std::optional<nlohmann::json> ResourceStore::get(std::string_view uri) const {
  std::lock_guard lock(mutex_);
  const auto it = values_.find(normalise(uri));
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

nlohmann::json ResourceStore::snapshot() const {
  std::lock_guard lock(mutex_);
  nlohmann::json all = nlohmann::json::object();
  for (const auto& [uri, value] : values_) all[uri] = value;
  return all;
}

}  // namespace qor::host
