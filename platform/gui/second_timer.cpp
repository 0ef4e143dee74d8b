#include "platform/gui/second_timer.h"

#include <algorithm>
#include <chrono>

namespace ck::platform::gui {
namespace {

constexpr std::int64_t kMiddle = 500;

std::int64_t wall_clock_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t second_of(std::int64_t ms) { return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000); }

}  // namespace

SecondTimer::SecondTimer(QObject* parent) : QObject(parent), timer_(this) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
}

std::int64_t SecondTimer::delay_to_next_tick(std::int64_t now_ms, std::int64_t last_second) {
  // The first second after `last_second` whose middle is still ahead.
  const std::int64_t now_second = second_of(now_ms);
  const std::int64_t ahead = now_ms - now_second * 1000 < kMiddle ? now_second : now_second + 1;
  return std::max(last_second + 1, ahead) * 1000 + kMiddle - now_ms;
}

void SecondTimer::start() {
  last_second_ = second_of(wall_clock_ms()) - 1;
  arm();
}

void SecondTimer::stop() { timer_.stop(); }

void SecondTimer::arm() {
  // The next tick falls in a second after the last one handled, so an early
  // wake-up never brings the same second round again; a clock stepped back
  // costs at most one two-second gap.
  const std::int64_t delay = delay_to_next_tick(wall_clock_ms(), last_second_);
  timer_.start(static_cast<int>(std::clamp<std::int64_t>(delay, 0, 2000)));
}

void SecondTimer::tick() {
  last_second_ = second_of(wall_clock_ms());
  arm();  // re-armed first, so a handler that stops the timer keeps it stopped
  if (handler_) handler_();
}

}  // namespace ck::platform::gui
