// ResourceWatcher: the watch tables and the routing of resource changes.
#include "runtime/ResourceWatcher.h"

#include "runtime/WildcardMatch.h"

#include <mutex>
#include <vector>

namespace qor {

bool ResourceWatcher::storeWatch(const std::string& uri, ResourceHandler handler) {
  auto shared = std::make_shared<const ResourceHandler>(std::move(handler));
  const bool pattern = uri.find('*') != std::string::npos;
  std::lock_guard<platform::Mutex> lock(watchMutex_);
  (pattern ? wildcardWatches_ : exactWatches_)[uri] = std::move(shared);
  return pattern;
}

void ResourceWatcher::clearWatches() {
  // Swap the tables out so that the handlers are destroyed without the lock.
  std::unordered_map<std::string, HandlerPtr> exact;
  std::unordered_map<std::string, HandlerPtr> wildcard;
  {
    std::lock_guard<platform::Mutex> lock(watchMutex_);
    exact.swap(exactWatches_);
    wildcard.swap(wildcardWatches_);
  }
}

std::size_t ResourceWatcher::exactWatchCount() const {
  std::lock_guard<platform::Mutex> lock(watchMutex_);
  return exactWatches_.size();
}

std::size_t ResourceWatcher::wildcardWatchCount() const {
  std::lock_guard<platform::Mutex> lock(watchMutex_);
  return wildcardWatches_.size();
}

void ResourceWatcher::dispatchResource(Resource resource) const {
  if (resource.uri.empty() || resource.uri.front() != '/') resource.uri.insert(0, 1, '/');
  HandlerPtr exact;
  std::vector<HandlerPtr> matching;
  {
    std::lock_guard<platform::Mutex> lock(watchMutex_);
    auto it = exactWatches_.find(resource.uri);
    if (it != exactWatches_.end()) exact = it->second;
    for (const auto& [pattern, handler] : wildcardWatches_)
      if (wildcardMatch(pattern, resource.uri)) matching.push_back(handler);
  }
  if (exact && *exact) (*exact)(resource);
  for (const auto& handler : matching)
    if (*handler) (*handler)(resource);
}

}  // namespace qor
