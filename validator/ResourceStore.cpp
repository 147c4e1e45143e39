// ResourceStore: values by URI, and what an unknown URI holds.
#include "validator/ResourceStore.h"

#include "validator/Synthesizer.h"

#include <algorithm>

namespace qor::validator {

std::optional<Value> ResourceStore::read(const std::string& uri, Random& rng, const Synthesizer* synthesizer) {
  std::lock_guard lock(mutex_);
  auto it = values_.find(uri);
  if (it == values_.end()) {
    readOrder_.push_back(uri);
    std::optional<Value> value;
    if (!closed_.load() && rng.chance(60))
      value = synthesizer != nullptr ? synthesizer->plausibleResource(rng) : Value::object();
    it = values_.emplace(uri, std::move(value)).first;
  } else if (std::find(readOrder_.begin(), readOrder_.end(), uri) == readOrder_.end()) {
    readOrder_.push_back(uri);
  }
  return it->second;
}

void ResourceStore::set(const std::string& uri, std::optional<Value> value) {
  std::lock_guard lock(mutex_);
  values_[uri] = std::move(value);
}

std::optional<Value> ResourceStore::peek(const std::string& uri) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(uri);
  return it == values_.end() ? std::nullopt : it->second;
}

std::vector<std::string> ResourceStore::readUris() const {
  std::lock_guard lock(mutex_);
  return readOrder_;
}

}  // namespace qor::validator
