// The inventory plug-in's one exported entry point.
#include "inventory/InventoryPlugin.h"
#include "plugin/PluginExport.h"

QOR_PLUGIN_EXPORT(load_qor_inventory, qor::InventoryPlugin, qor::kInventoryShortName)
