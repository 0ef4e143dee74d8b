#include "platform/message_pump.h"

#include <atomic>

namespace ck::platform {
namespace {
std::atomic<MessagePump> g_pump{nullptr};
std::atomic<std::uint64_t> g_calls{0};
}  // namespace

void install_message_pump(MessagePump pump) { g_pump.store(pump); }

void process_pending_messages() {
  ++g_calls;
  if (MessagePump pump = g_pump.load()) pump();
}

std::uint64_t pending_message_calls() { return g_calls.load(); }

}  // namespace ck::platform
