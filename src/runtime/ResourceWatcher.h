// ResourceWatcher: the plug-in's resource watches (exact URIs and "*"
// patterns) and the routing of each resource change to the handlers that
// watch it. It knows nothing of the core: PluginBase turns watches into core
// subscriptions and hands the resulting changes to dispatchResource.
//
// Threads: core threads read the tables while the plug-in may still be adding
// watches, so the tables sit behind a mutex held only for table access: a
// handler is copied out (it is shared) and called without the lock, so a
// handler may add watches of its own.
#pragma once

#include "platform/Mutex.h"
#include "runtime/Resource.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

namespace qor {

// A watch handler: receives the change with its untyped data.
using ResourceHandler = std::function<void(const Resource& resource)>;

class ResourceWatcher {
 public:
  ResourceWatcher() = default;
  ResourceWatcher(const ResourceWatcher&) = delete;
  ResourceWatcher& operator=(const ResourceWatcher&) = delete;

  // Stores the handler under the URI (a URI holding "*" is a pattern),
  // replacing an earlier handler of the same URI. True for a pattern.
  bool storeWatch(const std::string& uri, ResourceHandler handler);
  // Shutdown: empties both tables.
  void clearWatches();

  // Routes one change: the URI gets a leading "/" when it lacks one; the
  // exact watcher of the URI runs first, then every matching pattern's.
  void dispatchResource(Resource resource) const;

  // Number of exact watches and of pattern watches.
  std::size_t exactWatchCount() const;
  std::size_t wildcardWatchCount() const;

 private:
  using HandlerPtr = std::shared_ptr<const ResourceHandler>;
  mutable platform::Mutex watchMutex_;
  std::unordered_map<std::string, HandlerPtr> exactWatches_;
  std::unordered_map<std::string, HandlerPtr> wildcardWatches_;
};

}  // namespace qor
