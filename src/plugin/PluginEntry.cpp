// The plug-in's one exported entry point: builds the plug-in object and runs
// the handshake with the core.
#include "PluginAbi.h"
#include "inventory/InventoryPlugin.h"

#include <memory>
#include <new>

namespace {

// The plug-in object the export builds.
using PluginObject = qor::InventoryPlugin;

constexpr const char* kShortName = "qor-inventory";

// Leaves the core nothing to call when no plug-in object could be made.
void clearOutputs(PluginHandshake* handshake) {
  handshake->callbacks = nullptr;
  handshake->plugin = nullptr;
  handshake->shortName = nullptr;
  handshake->apiTable = nullptr;
}

}  // namespace

extern "C" QOR_EXPORT void QOR_CDECL load_qor_inventory(PluginHandshake* handshake) {
  if (!handshake) return;
  // Nothing may unwind into the core.
  try {
    std::unique_ptr<PluginObject> plugin(new (std::nothrow) PluginObject());
    if (!plugin || !plugin->Handshake(handshake, kShortName)) {
      clearOutputs(handshake);
      return;
    }
    // The core owns the object from here on and ends it through Stop.
    static_cast<void>(plugin.release());
  } catch (...) {
    clearOutputs(handshake);
  }
}
