#include "checkin/session_state.h"

namespace ck {

SessionState& session_state() {
  static SessionState state;
  return state;
}

}  // namespace ck
