// The service's hosts, fixed when the program is built (CMake cache
// variables, see the top CMakeLists.txt). Internal to checkin/.
#pragma once

#include <string_view>

namespace ck::endpoints {

inline constexpr std::string_view SESSION_REFRESH_ORIGIN = CK_SESSION_REFRESH_ORIGIN;
inline constexpr std::string_view MEMBERSHIP_TASK_ORIGIN = CK_MEMBERSHIP_TASK_ORIGIN;
inline constexpr std::string_view MOBILE_CHECKIN_ORIGIN = CK_MOBILE_CHECKIN_ORIGIN;
inline constexpr std::string_view SERVICE_DOMAIN = CK_SERVICE_DOMAIN;
inline constexpr std::string_view PUSH_ENDPOINT_BASE = CK_PUSH_ENDPOINT_BASE;

}  // namespace ck::endpoints
