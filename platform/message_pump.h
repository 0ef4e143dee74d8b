// "Process pending window messages", as the web layer calls it.
//
// The web layer must not know about Qt, so the window installs the real pump
// at start-up; until then (and in tests without a window) it is a no-op.
// Every call is counted so tests can show where the exchange yields.
#pragma once

#include <cstdint>

namespace ck::platform {

using MessagePump = void (*)();

void install_message_pump(MessagePump pump);  // nullptr restores the no-op
void process_pending_messages();
std::uint64_t pending_message_calls();  // calls made on any thread so far

}  // namespace ck::platform
