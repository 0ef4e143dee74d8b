// The daily trigger of 时钟1 and its countdown in 编辑框4.
//
// Every tick compares the clock text "h:m:s" with the three lists' texts
// joined as "H:M:S"; at the chosen second the day's run starts (unless the
// hour and minute are suppressed), at every other second the countdown shows
// the time left. The members themselves are MainWindow::on_trigger_tick and
// MainWindow::update_countdown (app/trigger.cpp).
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "platform/types.h"

namespace ck {

struct SuppressedTime {
  int hour;
  int minute;
};

// A tick that matches the chosen time at one of these hour:minute pairs
// starts no run, whatever the second.
inline constexpr std::array<SuppressedTime, 6> SUPPRESSED_TIMES = {{
    {12, 30},
    {19, 30},
    {20, 0},
    {20, 20},
    {21, 0},
    {21, 30},
}};

bool is_suppressed_time(int hour, int minute);

// The countdown text "%d:%d:%d" for the chosen list texts at the clock time
// hour:minute:second, or nullopt when the box is to keep its text: the
// joined texts split into fewer than three fields, a field holds no number,
// or the time left is negative.
//
// A field converts as C's atoi reads it: leading blanks, an optional sign,
// then the digits up to the first other byte ("8x" is 8, " 08" is 8); a
// field with no digit there at all ("", "x", "-") is not a number. Values
// beyond nine digits are held at 999999999, so the arithmetic cannot
// overflow and a silly typed value merely shows a large countdown.
std::optional<Text> countdown_text_for(std::string_view hour_text, std::string_view minute_text,
                                   std::string_view second_text, int hour, int minute, int second);

}  // namespace ck
