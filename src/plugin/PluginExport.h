// The one exported entry point of a plug-in library, for any plug-in class
// derived from PluginBase. A plug-in's export is one line:
//
//   QOR_PLUGIN_EXPORT(load_qor_greeter, qor::examples::GreeterPlugin, "qor-greeter")
//
// It defines the C function the core enters the library through: it builds
// the plug-in object and runs the handshake for the short name. An object
// that cannot be built, or a handshake that fails, leaves the core nothing to
// call (all output words null); no exception reaches the core. The object
// belongs to the core from then on, which ends it with Stop.
//
// The library around it comes from qor_add_plugin (cmake/QorPlugin.cmake):
// the allocation hooks behind GetMemoryStats, the Windows load hook, and an
// export table that holds this function alone.
#pragma once

#include "PluginAbi.h"

#include <memory>
#include <new>
#include <string_view>

namespace qor {

template <class Plugin>
void runPluginExport(PluginHandshake* handshake, std::string_view shortName) noexcept {
  if (handshake == nullptr) return;
  auto clearOutputs = [handshake] {
    handshake->callbacks = nullptr;
    handshake->plugin = nullptr;
    handshake->shortName = nullptr;
    handshake->apiTable = nullptr;
  };
  try {
    std::unique_ptr<Plugin> plugin(new (std::nothrow) Plugin());
    if (!plugin || !plugin->Handshake(handshake, shortName)) {
      clearOutputs();
      return;
    }
    static_cast<void>(plugin.release());
  } catch (...) {
    clearOutputs();
  }
}

}  // namespace qor

#define QOR_PLUGIN_EXPORT(exportName, PluginClass, shortName)                          \
  extern "C" QOR_EXPORT void QOR_CDECL exportName(PluginHandshake* handshake) {         \
    ::qor::runPluginExport<PluginClass>(handshake, shortName);                          \
  }
