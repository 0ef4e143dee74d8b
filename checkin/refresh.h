// The entry point of the daily run: refreshes the login session at the
// service's session-refresh endpoint, keeps the fresh value in
// session_state(), then runs the check-ins (which end with the notice).
#pragma once

#include "checkin/host.h"

namespace ck {

void refresh_session(CheckInHost& host);

}  // namespace ck
