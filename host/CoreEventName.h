// The name of the core event under which changes of a resource URI are
// published.
#pragma once

#include <string>
#include <string_view>

namespace qor::host {

// "OnJsonApiEvent" followed by the URI's non-empty pieces, joined by "_":
// at most 6 pieces when the second is "qor-platform-config", else at most 4.
// "/qor-login/v1/session/x/y" gives "OnJsonApiEvent_qor-login_v1_session".
std::string coreEventName(std::string_view uri);

// The event name every resource change is also published under.
inline constexpr std::string_view kResourceEventName = "OnJsonApiEvent";

}  // namespace qor::host
