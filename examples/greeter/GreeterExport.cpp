// The greeter's one exported entry point: the core enters the library here.
#include "GreeterPlugin.h"
#include "plugin/PluginExport.h"

QOR_PLUGIN_EXPORT(load_qor_greeter, qor::examples::GreeterPlugin, qor::examples::kGreeterShortName)
