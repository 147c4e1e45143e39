// PluginModule: a plug-in library loaded the way the platform's core loads
// it (dlopen with RTLD_NOW | RTLD_LOCAL, or LoadLibraryA), and its one
// exported entry point.
#pragma once

#include "PluginAbi.h"

#include <string>

namespace qor::validator {

using PluginEntryFn = void(QOR_CDECL*)(PluginHandshake*);

class PluginModule {
 public:
  PluginModule() = default;
  ~PluginModule();  // unloads only when unload() was asked for; see below
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  // Loads `path` and resolves `exportName`, or, when it is empty, the name
  // derived from the file name (exportNameForLibrary, then
  // exportNameKeepingPrefix). False with error() set on failure.
  bool load(const std::string& path, const std::string& exportName);
  // Unloads the library (dlclose / FreeLibrary). Without this call the
  // library stays mapped until the process ends, as a core keeps it: code the
  // plug-in left running (a stray thread, a late callback) then still finds
  // its code and the validator can report the call instead of crashing.
  void unload();

  bool loaded() const { return handle_ != nullptr && entry_ != nullptr; }
  PluginEntryFn entry() const { return entry_; }
  const std::string& exportName() const { return exportName_; }
  const std::string& error() const { return error_; }

 private:
  void* resolve(const std::string& name);

  void* handle_ = nullptr;
  PluginEntryFn entry_ = nullptr;
  std::string exportName_;
  std::string error_;
};

}  // namespace qor::validator
