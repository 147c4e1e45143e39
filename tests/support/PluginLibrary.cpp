// PluginLibrary: dlopen of the built plug-in.
#include "support/PluginLibrary.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>

namespace qor::testing {

PluginLibrary& PluginLibrary::get() {
  static PluginLibrary* library = new PluginLibrary();
  return *library;
}

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

}  // namespace qor::testing
