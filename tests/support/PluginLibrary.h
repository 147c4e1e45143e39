// PluginLibrary: the built plug-in library, loaded once per test process
// (dlopen, or LoadLibraryA on Windows) and entered through its one export, as a core would.
#pragma once

#include "PluginAbi.h"

#include <string>

namespace qor::testing {

class PluginLibrary {
 public:
  using LoadFn = void(QOR_CDECL*)(PluginHandshake*);

  // The library at QOR_PLUGIN_PATH, loaded on first use and never unloaded.
  static PluginLibrary& get();

  bool loaded() const { return handle_ != nullptr && load_ != nullptr; }
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }
  LoadFn load() const { return load_; }
  void* handle() const { return handle_; }
  // True when `symbol` resolves to a definition inside the plug-in library
  // itself (not in one of its dependencies).
  bool definesSymbol(const char* symbol) const;

 private:
  PluginLibrary();
  void* handle_ = nullptr;
  LoadFn load_ = nullptr;
  std::string path_;
  std::string error_;
};

}  // namespace qor::testing
