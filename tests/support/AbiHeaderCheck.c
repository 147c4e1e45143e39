/* Proves that the plug-in's C header compiles as plain C. */
#include "PluginAbi.h"

int qor_abi_c_check(void) {
  PluginHandshake h = {CORE_API_VERSION_MAJOR, CORE_API_VERSION_MINOR, CORE_API_VERSION_PATCH, 0, 0, 0, 0};
  return (int)h.major + (int)sizeof(CoreResponse);
}
