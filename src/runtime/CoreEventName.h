// The core event name under which changes of a resource URI are announced.
#pragma once

#include <string>
#include <string_view>

namespace qor {

// "OnJsonApiEvent" followed by the URI's non-empty "/"-separated pieces, all
// joined by "_": at most four pieces in all, six under "qor-platform-config",
// so that the sub-resources of one resource share one event.
std::string coreEventName(std::string_view uri);

}  // namespace qor
