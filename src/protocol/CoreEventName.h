// The core event name under which changes of a resource URI are announced.
#pragma once

#include <string>
#include <string_view>

namespace qor {

// The event every resource change is announced under, and the first word of
// each URI's own event name.
inline constexpr std::string_view kResourceEventName = "OnJsonApiEvent";

// "OnJsonApiEvent" followed by the URI's non-empty "/"-separated pieces, all
// joined by "_": at most four pieces in all, six under "qor-platform-config",
// so that the sub-resources of one resource share one event.
// "/qor-login/v1/session/x/y" gives "OnJsonApiEvent_qor-login_v1_session".
std::string coreEventName(std::string_view uri);

}  // namespace qor
