#include "platform/datetime.h"

#include <array>
#include <cmath>
#include <string>

#include "platform/codepage.h"

namespace ck::platform {
namespace {

// Serial days of the first and the last day a date-time value may name:
// 1 January 100 and 31 December 9999.
constexpr long kFirstDay = -657434;
constexpr long kLastDay = 2958465;
constexpr long kSecondsPerDay = 86400;

// Days since 1 January 1970 of a proleptic Gregorian date, and back
// (H. Hinnant's civil-calendar algorithms).
constexpr long days_from_civil(long y, long m, long d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct Civil {
  long year;
  long month;
  long day;
};

constexpr Civil civil_from_days(long z) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long y = yoe + era * 400;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  const long d = doy - (153 * mp + 2) / 5 + 1;
  const long m = mp + (mp < 10 ? 3 : -9);
  return {y + (m <= 2), m, d};
}

constexpr long kEpoch = days_from_civil(1899, 12, 30);  // serial day 0
static_assert(days_from_civil(100, 1, 1) - kEpoch == kFirstDay);
static_assert(days_from_civil(9999, 12, 31) - kEpoch == kLastDay);

int days_in_month(int year, int month) {
  static constexpr std::array<int, 12> days = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[static_cast<std::size_t>(month - 1)];
}

// The names of the Chinese (PRC) locale, in GBK.
struct LocaleNames {
  std::array<Text, 7> days;
  std::array<Text, 7> short_days;
  std::array<Text, 12> months;
  std::array<Text, 12> short_months;
  Text am;
  Text pm;
  Text era;
};

const LocaleNames& names() {
  static const LocaleNames n = [] {
    LocaleNames l;
    const char* days[] = {"星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六"};
    const char* short_days[] = {"周日", "周一", "周二", "周三", "周四", "周五", "周六"};
    const char* months[] = {"一月", "二月", "三月", "四月", "五月", "六月",
                            "七月", "八月", "九月", "十月", "十一月", "十二月"};
    for (std::size_t i = 0; i < 7; ++i) {
      l.days[i] = gbk_literal(days[i]);
      l.short_days[i] = gbk_literal(short_days[i]);
    }
    for (std::size_t i = 0; i < 12; ++i) {
      l.months[i] = gbk_literal(months[i]);
      l.short_months[i] = std::to_string(i + 1) + gbk_literal("月");
    }
    l.am = gbk_literal("上午");
    l.pm = gbk_literal("下午");
    l.era = gbk_literal("公元");
    return l;
  }();
  return n;
}

constexpr std::string_view kShortDate = "yyyy/M/d";
constexpr std::string_view kTimeFormat = "H:mm:ss";

bool is_lead_byte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x81 && byte <= 0xFE;
}

// Copies one character (one or two bytes) of `s` at `i`.
void copy_char(std::string_view s, std::size_t* i, std::string* out) {
  const std::size_t n = (is_lead_byte(s[*i]) && *i + 1 < s.size()) ? 2 : 1;
  out->append(s.substr(*i, n));
  *i += n;
}

// The text of one specifier: `letter` repeated `count` times.
using Specifier = void (*)(const SystemTime&, char letter, std::size_t count, bool force_24_hour, std::string* out);

void number(int value, std::size_t count, std::string* out) {
  if (count >= 2 && value < 10) *out += '0';
  *out += std::to_string(value);
}

void date_specifier(const SystemTime& t, char letter, std::size_t count, bool, std::string* out) {
  const LocaleNames& n = names();
  switch (letter) {
    case 'd':
      if (count <= 2) {
        number(t.day, count, out);
      } else {
        *out += (count == 3 ? n.short_days : n.days)[static_cast<std::size_t>(t.day_of_week)];
      }
      break;
    case 'M':
      if (count <= 2) {
        number(t.month, count, out);
      } else {
        *out += (count == 3 ? n.short_months : n.months)[static_cast<std::size_t>(t.month - 1)];
      }
      break;
    case 'y':
      if (count >= 4) {
        *out += std::to_string(t.year);
      } else {
        number(t.year % 100, count, out);
      }
      break;
    case 'g':
      *out += n.era;
      break;
  }
}

void time_specifier(const SystemTime& t, char letter, std::size_t count, bool force_24_hour, std::string* out) {
  const LocaleNames& n = names();
  if (letter == 'h' && force_24_hour) letter = 'H';
  switch (letter) {
    case 'h':
      number(t.hour % 12 == 0 ? 12 : t.hour % 12, count, out);
      break;
    case 'H':
      number(t.hour, count, out);
      break;
    case 'm':
      number(t.minute, count, out);
      break;
    case 's':
      number(t.second, count, out);
      break;
    case 't': {
      const Text& marker = t.hour < 12 ? n.am : n.pm;
      if (count >= 2) {
        *out += marker;
      } else if (!marker.empty()) {
        std::size_t i = 0;
        copy_char(marker, &i, out);  // the first character, not the first byte
      }
      break;
    }
  }
}

// Walks a picture: quoted text is copied without its quotes ('' inside is
// one quote), a run of one of `letters` is a specifier, everything else is
// copied as it stands.
Text format_picture(const SystemTime& t, std::string_view picture, std::string_view letters, Specifier specifier,
                    bool force_24_hour, std::size_t buffer_size) {
  std::string out;
  std::size_t i = 0;
  while (i < picture.size()) {
    const char c = picture[i];
    if (c == '\'') {
      ++i;
      while (i < picture.size()) {
        if (picture[i] == '\'') {
          ++i;
          if (i >= picture.size() || picture[i] != '\'') break;
          out += '\'';
          ++i;
        } else {
          copy_char(picture, &i, &out);
        }
      }
    } else if (letters.find(c) != std::string_view::npos) {
      std::size_t count = 0;
      while (i < picture.size() && picture[i] == c) {
        ++count;
        ++i;
      }
      specifier(t, c, count, force_24_hour, &out);
    } else {
      copy_char(picture, &i, &out);
    }
  }
  if (out.size() + 1 > buffer_size) return Text();
  // A Text ends at its first zero byte, as the buffer would.
  return out.substr(0, out.find('\0'));
}

bool valid(const SystemTime& t) {
  return t.year >= 100 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= days_in_month(t.year, t.month) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 &&
         t.minute <= 59 && t.second >= 0 && t.second <= 59 && t.day_of_week >= 0 && t.day_of_week <= 6;
}

}  // namespace

bool variant_time_to_system_time(double time, SystemTime* out) {
  if (!std::isfinite(time) || time <= kFirstDay - 1.0 || time >= kLastDay + 1.0) return false;
  const double whole = std::trunc(time);
  long day = static_cast<long>(whole);
  long seconds = std::lround(std::fabs(time - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {  // rounded up to the next midnight
    seconds -= kSecondsPerDay;
    ++day;
  }
  if (day < kFirstDay || day > kLastDay) return false;
  const Civil c = civil_from_days(day + kEpoch);
  if (out) {
    out->year = static_cast<int>(c.year);
    out->month = static_cast<int>(c.month);
    out->day = static_cast<int>(c.day);
    out->day_of_week = static_cast<int>(((day % 7) + 7 + 6) % 7);  // day 0 was a Saturday
    out->hour = static_cast<int>(seconds / 3600);
    out->minute = static_cast<int>(seconds / 60 % 60);
    out->second = static_cast<int>(seconds % 60);
  }
  return true;
}

std::optional<double> system_time_to_variant_time(const SystemTime& time) {
  SystemTime t = time;
  t.day_of_week = 0;  // not an input
  if (!valid(t)) return std::nullopt;
  const long day = days_from_civil(t.year, t.month, t.day) - kEpoch;
  const double fraction = static_cast<double>(t.hour * 3600 + t.minute * 60 + t.second) / kSecondsPerDay;
  // Before day 0 the fraction still counts forwards from midnight.
  return day < 0 ? static_cast<double>(day) - fraction : static_cast<double>(day) + fraction;
}

Text get_date_format(const SystemTime& time, std::optional<std::string_view> picture, std::size_t buffer_size) {
  if (!valid(time)) return Text();
  return format_picture(time, picture.value_or(kShortDate), "dMyg", date_specifier, false, buffer_size);
}

Text get_time_format(const SystemTime& time, std::optional<std::string_view> picture, bool force_24_hour,
                     std::size_t buffer_size) {
  if (!valid(time)) return Text();
  return format_picture(time, picture.value_or(kTimeFormat), "hHmst", time_specifier, force_24_hour, buffer_size);
}

Text format_date_time(double time, std::optional<std::string_view> date_format,
                      std::optional<std::string_view> time_format, bool force_24_hour) {
  SystemTime t;
  if (!variant_time_to_system_time(time, &t)) return Text();
  return get_date_format(t, date_format) + ' ' + get_time_format(t, time_format, force_24_hour);
}

}  // namespace ck::platform
