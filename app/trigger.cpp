#include "app/trigger.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "app/main_window.h"
#include "checkin/refresh.h"
#include "platform/clock.h"
#include "text/cut.h"

namespace ck {
namespace {

constexpr std::int64_t kLargestField = 999999999;

Text three_numbers(std::int64_t a, std::int64_t b, std::int64_t c) {
  return std::to_string(a) + ":" + std::to_string(b) + ":" + std::to_string(c);
}

// atoi's reading, held to kLargestField; nullopt when no digit follows the
// blanks and the sign.
std::optional<std::int64_t> leading_number(std::string_view field) {
  std::size_t i = 0;
  while (i < field.size() && (field[i] == ' ' || (field[i] >= '\t' && field[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  if (i >= field.size() || field[i] < '0' || field[i] > '9') return std::nullopt;
  std::int64_t value = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i)
    value = std::min(kLargestField, value * 10 + (field[i] - '0'));
  return negative ? -value : value;
}

}  // namespace

bool is_suppressed_time(int hour, int minute) {
  return std::any_of(SUPPRESSED_TIMES.begin(), SUPPRESSED_TIMES.end(),
                     [&](const SuppressedTime& t) { return t.hour == hour && t.minute == minute; });
}

std::optional<Text> countdown_text_for(std::string_view hour_text, std::string_view minute_text,
                                   std::string_view second_text, int hour, int minute, int second) {
  Text joined;
  joined.append(hour_text).append(":").append(minute_text).append(":").append(second_text);
  const std::vector<Text> fields = split_text(joined, ":");
  if (fields.size() < 3) return std::nullopt;
  const auto chosen_hour = leading_number(fields[0]);
  const auto chosen_minute = leading_number(fields[1]);
  const auto chosen_second = leading_number(fields[2]);
  if (!chosen_hour || !chosen_minute || !chosen_second) return std::nullopt;

  std::int64_t H = *chosen_hour;
  const std::int64_t M = *chosen_minute;
  const std::int64_t S = *chosen_second;
  const bool earlier = H != hour ? H < hour : M != minute ? M < minute : S < second;
  if (earlier) H += 24;
  // One second less, so the tick just before the chosen second reads 0:0:0.
  const std::int64_t remaining = ((H - hour) * 60 - minute + M) * 60 - second + S - 1;
  if (remaining < 0) return std::nullopt;
  const std::int64_t hours = remaining / 3600;
  const std::int64_t minutes = (remaining - hours * 3600) / 60;
  return three_numbers(hours, minutes, remaining - hours * 3600 - minutes * 60);
}

void MainWindow::on_trigger_tick() {
  const double now = platform::current_local_time();
  const int h = platform::hour_of(now);
  const int m = platform::minute_of(now);
  const int s = platform::second_of(now);
  const Text clock = three_numbers(h, m, s);
  const Text chosen = hour_text() + ":" + minute_text() + ":" + second_text();
  if (clock == chosen) {
    if (!is_suppressed_time(h, m)) refresh_session(*this);
    return;
  }
  update_countdown(h, m, s);
}

void MainWindow::update_countdown(int hour, int minute, int second) {
  if (auto text = countdown_text_for(hour_text(), minute_text(), second_text(), hour, minute, second))
    set_countdown_text(*text);
}

}  // namespace ck
