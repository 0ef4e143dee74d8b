#include "platform/clock.h"

#include <cmath>
#include <ctime>

#include <gtest/gtest.h>

#include "platform/datetime.h"

namespace ck::platform {
namespace {

double date_of(int year, int month, int day, int hour, int minute, int second) {
  return system_time_to_variant_time(
             {.year = year, .month = month, .day = day, .hour = hour, .minute = minute, .second = second})
      .value_or(std::nan(""));
}

TEST(Clock, TheRealClockIsTheLocalTimeInWholeSeconds) {
  // Read the system's local time around ours, so a second boundary in
  // between shows up as two different texts on the outside.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::time_t before = std::time(nullptr);
    const double now = current_local_time();
    const std::time_t after = std::time(nullptr);
    if (before != after) continue;
    std::tm local{};
    localtime_r(&before, &local);
    EXPECT_EQ(now, date_of(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                           local.tm_sec));
    EXPECT_EQ(hour_of(now), local.tm_hour);
    EXPECT_EQ(minute_of(now), local.tm_min);
    EXPECT_EQ(second_of(now), local.tm_sec);
    return;
  }
  FAIL() << "the second changed on every attempt";
}

TEST(Clock, AFakeClockIsSetAdvancedAndNested) {
  const double start = date_of(2026, 12, 9, 23, 59, 58);
  {
    ScopedFakeClock clock(start);
    EXPECT_EQ(current_local_time(), start);
    EXPECT_EQ(format_date_time(current_local_time()), "2026/12/9 23:59:58");
    clock.advance_seconds(1);
    EXPECT_EQ(hour_of(current_local_time()), 23);
    EXPECT_EQ(minute_of(current_local_time()), 59);
    EXPECT_EQ(second_of(current_local_time()), 59);
    clock.advance_seconds(1);
    EXPECT_EQ(format_date_time(current_local_time()), "2026/12/10 0:00:00");

    clock.advance_on_read(1);
    EXPECT_EQ(format_date_time(current_local_time()), "2026/12/10 0:00:00");
    EXPECT_EQ(format_date_time(current_local_time()), "2026/12/10 0:00:01");
    clock.advance_on_read(0);
    // Many small steps still land on whole seconds.
    for (int i = 0; i < 3600; ++i) clock.advance_seconds(1);
    EXPECT_EQ(format_date_time(clock.time()), "2026/12/10 1:00:02");

    {
      ScopedFakeClock inner(date_of(2000, 1, 1, 8, 5, 9));
      EXPECT_EQ(format_date_time(current_local_time()), "2000/1/1 8:05:09");
    }
    EXPECT_EQ(format_date_time(current_local_time()), "2026/12/10 1:00:02");
    clock.set(date_of(2001, 2, 3, 4, 5, 6));
    EXPECT_EQ(second_of(current_local_time()), 6);
  }
  EXPECT_NE(current_local_time(), date_of(2001, 2, 3, 4, 5, 6));
  EXPECT_EQ(hour_of(-1e9), 0) << "a value that cannot be converted has no hour";
}

}  // namespace
}  // namespace ck::platform
