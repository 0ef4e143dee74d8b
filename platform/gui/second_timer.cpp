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
  const std::int64_t next_second = std::max(second_of(now_ms), last_second) + 1;
  return next_second * 1000 + kMiddle - now_ms;
}

void SecondTimer::start() {
  last_second_ = INT64_MIN;
  arm();
}

void SecondTimer::stop() { timer_.stop(); }

void SecondTimer::arm() {
  const std::int64_t now = wall_clock_ms();
  // A tick handled in a second that has not ended yet (a clock stepped back,
  // or an early wake-up) must not make the same second come round again.
  const std::int64_t last = last_second_ == INT64_MIN ? second_of(now) : last_second_;
  timer_.start(static_cast<int>(std::clamp<std::int64_t>(delay_to_next_tick(now, last), 0, 2000)));
}

void SecondTimer::tick() {
  last_second_ = second_of(wall_clock_ms());
  arm();  // re-armed first, so a handler that stops the timer keeps it stopped
  if (handler_) handler_();
}

}  // namespace ck::platform::gui
