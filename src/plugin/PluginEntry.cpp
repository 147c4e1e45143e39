// The plug-in's one exported entry point.
#include "PluginAbi.h"

extern "C" QOR_EXPORT void QOR_CDECL load_qor_inventory(PluginHandshake* handshake) {
  (void)handshake;
}
