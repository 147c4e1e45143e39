// Releasing a CoreValue tree that this side allocated: the side that
// allocates a block releases it, so the plug-in releases the trees it built
// for the core and the host the trees it built for the plug-in.
#pragma once

#include "PluginAbi.h"

namespace qor {

// Frees the owned storage of a tree built with malloc: owned strings and
// blobs, arrays, structure member arrays and owned member names, recursively;
// then resets the record to CORE_VALUE_EMPTY. Borrowed strings and blobs are
// left alone; null blocks are skipped. Trees are at most 1,024 levels deep
// (the converters refuse deeper ones), so the recursion is bounded.
void releaseCoreValue(CoreValue& value) noexcept;

}  // namespace qor
