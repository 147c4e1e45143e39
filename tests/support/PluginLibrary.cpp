// PluginLibrary: the built plug-in loaded with dlopen, or with LoadLibraryA on
// Windows, where the library is looked for next to the test program when the
// build path cannot be opened (as under Wine, which does not map the build
// machine's absolute paths).
#include "support/PluginLibrary.h"

#ifdef _WIN32
#include "platform/ProcessInfo.h"
#include "platform/windows/WindowsApi.h"
#else
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#endif

namespace qor::testing {

PluginLibrary& PluginLibrary::get() {
  static PluginLibrary* library = new PluginLibrary();
  return *library;
}

#ifdef _WIN32

namespace {

std::string directoryOf(const std::string& path) {
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string fileNameOf(const std::string& path) {
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

PluginLibrary::PluginLibrary() : path_(QOR_PLUGIN_PATH) {
  HMODULE module = ::LoadLibraryA(path_.c_str());
  if (!module) {
    const std::string beside = directoryOf(platform::executablePath()) + fileNameOf(path_);
    module = ::LoadLibraryA(beside.c_str());
    if (module) path_ = beside;
  }
  if (!module) {
    error_ = "LoadLibraryA failed (" + std::to_string(::GetLastError()) + ") for " + path_;
    return;
  }
  handle_ = module;
  load_ = reinterpret_cast<LoadFn>(
      reinterpret_cast<void*>(::GetProcAddress(module, "load_qor_inventory")));
  if (!load_) error_ = "load_qor_inventory not found";
}

bool PluginLibrary::definesSymbol(const char* symbol) const {
  // A library's own export table lists only what it defines itself.
  return handle_ && ::GetProcAddress(static_cast<HMODULE>(handle_), symbol) != nullptr;
}

#else

PluginLibrary::PluginLibrary() : path_(QOR_PLUGIN_PATH) {
  handle_ = ::dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* e = ::dlerror();
    error_ = e ? e : "dlopen failed";
    return;
  }
  load_ = reinterpret_cast<LoadFn>(::dlsym(handle_, "load_qor_inventory"));
  if (!load_) error_ = "load_qor_inventory not found";
}

bool PluginLibrary::definesSymbol(const char* symbol) const {
  if (!handle_) return false;
  void* address = ::dlsym(handle_, symbol);
  if (!address) return false;
  Dl_info info{};
  if (!::dladdr(address, &info) || !info.dli_fname) return false;
  char a[PATH_MAX], b[PATH_MAX];
  if (!::realpath(info.dli_fname, a) || !::realpath(path_.c_str(), b)) return false;
  return std::string(a) == b;
}

#endif

}  // namespace qor::testing
