// PluginModule: loading and unloading a plug-in library.
#include "validator/PluginModule.h"

#include "protocol/ExportName.h"

#include <cstring>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace qor::validator {

PluginModule::~PluginModule() = default;

#ifdef _WIN32

bool PluginModule::load(const std::string& path, const std::string& exportName) {
  // No "cannot find DLL" dialog: a missing dependency is an error value.
  const UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = ::LoadLibraryA(path.c_str());
  const DWORD code = ::GetLastError();
  ::SetErrorMode(previous);
  if (module == nullptr) {
    error_ = "LoadLibraryA failed with error " + std::to_string(code) + " for " + path;
    return false;
  }
  handle_ = module;
#else

bool PluginModule::load(const std::string& path, const std::string& exportName) {
  // A bare file name would make dlopen search the library path instead.
  const std::string name = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = ::dlerror();
    error_ = std::string("dlopen failed: ") + (why != nullptr ? why : "unknown error");
    return false;
  }
#endif
  std::string tried;
  const std::string candidates[] = {exportName.empty() ? exportNameForLibrary(path) : exportName,
                                    exportName.empty() ? exportNameKeepingPrefix(path) : ""};
  for (const std::string& candidate : candidates) {
    if (candidate.empty() || candidate == tried) continue;
    if (void* symbol = resolve(candidate)) {
      static_assert(sizeof(PluginEntryFn) == sizeof(void*));
      std::memcpy(&entry_, &symbol, sizeof entry_);
      exportName_ = candidate;
      return true;
    }
    tried += tried.empty() ? candidate : " or " + candidate;
  }
  error_ = "the library does not export " + tried +
           (exportName.empty() ? " (name the entry point with --export NAME)" : "");
  return false;
}

#ifdef _WIN32

void* PluginModule::resolve(const std::string& name) {
  FARPROC symbol = ::GetProcAddress(static_cast<HMODULE>(handle_), name.c_str());
  void* address = nullptr;
  static_assert(sizeof symbol == sizeof address);
  std::memcpy(&address, &symbol, sizeof address);
  return address;
}

void PluginModule::unload() {
  if (handle_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
  entry_ = nullptr;
}

#else

void* PluginModule::resolve(const std::string& name) {
  ::dlerror();
  return ::dlsym(handle_, name.c_str());
}

void PluginModule::unload() {
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
  entry_ = nullptr;
}

#endif

}  // namespace qor::validator
