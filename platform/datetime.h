// Date-time values and their text, with the behaviour of the Windows
// functions VariantTimeToSystemTime, GetDateFormatA and GetTimeFormatA.
//
// A date-time value (OLE automation date) is a double counting days since
// 30 December 1899, the time of day as the fraction; for a value below zero
// the fraction still counts forwards from midnight (-1.25 is 29 December
// 1899, 6:00).
//
// The user's default locale of this layer is Chinese (PRC): short date
// "yyyy/M/d", time "H:mm:ss", day and month names, AM/PM and era in GBK.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/types.h"

namespace ck::platform {

// The SYSTEMTIME fields the formatting reads.
struct SystemTime {
  int year = 0;         // 100 .. 9999
  int month = 0;        // 1 .. 12
  int day_of_week = 0;  // 0 = Sunday
  int day = 0;          // 1 .. 31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Converts a date-time value, rounded to the nearest second. Fails (false,
// `out` untouched) outside 1 January 100 .. 31 December 9999 and for NaN.
bool variant_time_to_system_time(double time, SystemTime* out);
// The date-time value of a calendar date and time of day (whole seconds);
// nullopt for a date outside the range above or a field out of its range.
std::optional<double> system_time_to_variant_time(const SystemTime& time);

// The size of the output buffers the date-time text uses, in bytes
// including the terminating zero.
inline constexpr std::size_t DATE_TIME_BUFFER_SIZE = 50;

// The date picture syntax: d dd ddd dddd, M MM MMM MMMM, y yy yyyy, g gg,
// text in single quotes ('' is one quote); time letters are copied. nullopt
// takes the locale's short date. A result that does not fit `buffer_size`
// bytes (with its terminating zero) fails, and the failure is "".
Text get_date_format(const SystemTime& time, std::optional<std::string_view> picture,
                     std::size_t buffer_size = DATE_TIME_BUFFER_SIZE);
// The time picture syntax: h hh (12-hour), H HH, m mm, s ss, t tt (AM/PM
// designator), quoted text as above; date letters are copied. nullopt takes
// the locale's time format. `force_24_hour` writes h and hh as H and HH.
Text get_time_format(const SystemTime& time, std::optional<std::string_view> picture, bool force_24_hour = false,
                     std::size_t buffer_size = DATE_TIME_BUFFER_SIZE);

// The system's date-time text: the date part, one blank and the time part,
// or "" when `time` cannot be converted. Every caller in the program passes
// `time` alone, which reads like 2026/12/9 18:45:21.
Text format_date_time(double time, std::optional<std::string_view> date_format = std::nullopt,
                      std::optional<std::string_view> time_format = std::nullopt, bool force_24_hour = false);

}  // namespace ck::platform
