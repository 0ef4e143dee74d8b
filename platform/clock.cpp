#include "platform/clock.h"

#include <chrono>
#include <ctime>

#include "platform/datetime.h"

namespace ck::platform {
namespace {

ScopedFakeClock* g_fake = nullptr;

constexpr double kSecondsPerDay = 86400.0;

SystemTime parts_of(double time) {
  SystemTime t;
  variant_time_to_system_time(time, &t);  // a failure leaves the zeros
  return t;
}

}  // namespace

double current_local_time() {
  if (g_fake) {
    const double now = g_fake->time_;
    g_fake->advance_seconds(g_fake->step_seconds_);
    return now;
  }
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  if (!localtime_r(&now, &local)) return 0;
  SystemTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second stays in its minute
  return system_time_to_variant_time(t).value_or(0);
}

int hour_of(double time) { return parts_of(time).hour; }
int minute_of(double time) { return parts_of(time).minute; }
int second_of(double time) { return parts_of(time).second; }

ScopedFakeClock::ScopedFakeClock(double time) : time_(time), previous_(g_fake) { g_fake = this; }

ScopedFakeClock::~ScopedFakeClock() { g_fake = previous_; }

void ScopedFakeClock::advance_seconds(double seconds) { time_ += seconds / kSecondsPerDay; }

}  // namespace ck::platform
