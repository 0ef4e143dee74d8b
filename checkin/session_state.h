// The program-wide session record of the daily run: alive for the whole
// program run, never stored on disk; both fields start empty.
#pragma once

#include "platform/types.h"

namespace ck {

struct SessionState {
  Text session;  // vusession of the latest refresh answer; "" when it held none
  Text user_id;  // vuserid taken from the cookie at the start of the check-in run
};

SessionState& session_state();

}  // namespace ck
