#include "platform/datetime.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "tests/support/support.h"

namespace ck::platform {
namespace {

using ck::testing::gbk;
using ck::testing::hex;

constexpr double kSecond = 1.0 / 86400.0;

double date_of(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  const std::optional<double> t = system_time_to_variant_time(
      {.year = year, .month = month, .day = day, .hour = hour, .minute = minute, .second = second});
  EXPECT_TRUE(t.has_value());
  return t.value_or(std::nan(""));
}

struct Conversion {
  double time;
  const char* text;  // format_date_time(time), ASCII
};

TEST(FormatDateTime, ConvertsWithTheRangeAndRoundingOfVariantTime) {
  const Conversion cases[] = {
      {0.0, "1899/12/30 0:00:00"},
      {1.5, "1899/12/31 12:00:00"},
      {-1.25, "1899/12/29 6:00:00"},  // the fraction counts forwards before day 0 too
      {-0.25, "1899/12/30 6:00:00"},
      {2.0, "1900/1/1 0:00:00"},
      {60.0, "1900/2/28 0:00:00"},
      {61.0, "1900/3/1 0:00:00"},
      {36526.0, "2000/1/1 0:00:00"},
      {45658.0, "2025/1/1 0:00:00"},
      {0.5 * kSecond, "1899/12/30 0:00:01"},  // to the nearest second
      {0.49 * kSecond, "1899/12/30 0:00:00"},
      {1.0 - 0.4 * kSecond, "1899/12/31 0:00:00"},  // rounds into the next day
      {-657434.0, "100/1/1 0:00:00"},
      {-657434.5, "100/1/1 12:00:00"},
      {2958465.0 + 86399 * kSecond, "9999/12/31 23:59:59"},
      // Out of range: before 1 January 100, after 31 December 9999.
      {-657435.0, ""},
      {-1e9, ""},
      {2958466.0, ""},
      {2958465.0 + 86399.6 * kSecond, ""},  // rounds to the year 10000
      {1e300, ""},
      {std::numeric_limits<double>::quiet_NaN(), ""},
      {std::numeric_limits<double>::infinity(), ""},
  };
  for (const Conversion& c : cases) {
    EXPECT_EQ(format_date_time(c.time), c.text) << "time " << c.time;
  }
  EXPECT_EQ(format_date_time(date_of(2026, 12, 9, 18, 45, 21)), "2026/12/9 18:45:21");
  EXPECT_EQ(format_date_time(date_of(1800, 2, 3, 4, 5, 6)), "1800/2/3 4:05:06");

  SystemTime untouched{.year = 7};
  EXPECT_FALSE(variant_time_to_system_time(-657435.0, &untouched));
  EXPECT_EQ(untouched.year, 7);
  EXPECT_FALSE(system_time_to_variant_time({.year = 2026, .month = 2, .day = 29}).has_value());
  EXPECT_FALSE(system_time_to_variant_time({.year = 10000, .month = 1, .day = 1}).has_value());
  EXPECT_TRUE(system_time_to_variant_time({.year = 2024, .month = 2, .day = 29}).has_value());
}

TEST(FormatDateTime, DayOfWeekFollowsTheCalendar) {
  SystemTime t;
  ASSERT_TRUE(variant_time_to_system_time(0.0, &t));
  EXPECT_EQ(t.day_of_week, 6);  // 30 December 1899 was a Saturday
  ASSERT_TRUE(variant_time_to_system_time(-1.0, &t));
  EXPECT_EQ(t.day_of_week, 5);
  ASSERT_TRUE(variant_time_to_system_time(date_of(2026, 12, 9), &t));
  EXPECT_EQ(t.day_of_week, 3);  // a Wednesday
}

struct Picture {
  bool time_picture;
  const char* picture;  // UTF-8
  const char* text;     // UTF-8
};

TEST(FormatDateTime, PictureSyntax) {
  // Wednesday 9 December 2026, 18:45:21, and Thursday 5 March 2009, 08:05:09.
  SystemTime late;
  SystemTime early;
  ASSERT_TRUE(variant_time_to_system_time(date_of(2026, 12, 9, 18, 45, 21), &late));
  ASSERT_TRUE(variant_time_to_system_time(date_of(2009, 3, 5, 8, 5, 9), &early));
  SystemTime midnight = early;
  midnight.hour = 0;

  struct Case {
    const SystemTime* time;
    Picture p;
  };
  const Case cases[] = {
      {&late, {false, "d|dd|ddd|dddd|ddddd", "9|09|周三|星期三|星期三"}},
      {&early, {false, "M|MM|MMM|MMMM", "3|03|3月|三月"}},
      {&late, {false, "M|MM|MMM|MMMM", "12|12|12月|十二月"}},
      {&late, {false, "y|yy|yyy|yyyy|yyyyy", "26|26|26|2026|2026"}},
      {&early, {false, "y|yy|yyyy", "9|09|2009"}},
      {&late, {false, "gg yyyy", "公元 2026"}},
      {&late, {false, "yyyy年M月d日 dddd", "2026年12月9日 星期三"}},
      {&late, {false, "'d is' d, 'o''clock', ''", "d is 9, o'clock, "}},
      {&late, {false, "'unterminated d", "unterminated d"}},
      {&late, {false, "d h:m:s t", "9 h:m:s t"}},  // time letters are text in a date
      {&late, {true, "h|hh|H|HH", "6|06|18|18"}},
      {&early, {true, "h|hh|H|HH|m|mm|s|ss|sss", "8|08|8|08|5|05|9|09|09"}},
      {&midnight, {true, "h hh H HH tt", "12 12 0 00 上午"}},
      {&late, {true, "t|tt|ttt", "下|下午|下午"}},
      {&early, {true, "tt h:mm", "上午 8:05"}},
      {&late, {true, "'h' h d M y", "h 6 d M y"}},  // date letters are text in a time
      {&late, {true, "H时m分s秒", "18时45分21秒"}},
  };
  for (const Case& c : cases) {
    const Text picture = gbk(c.p.picture);
    const Text got = c.p.time_picture ? get_time_format(*c.time, picture) : get_date_format(*c.time, picture);
    EXPECT_EQ(got, gbk(c.p.text)) << c.p.picture << " gave " << hex(got);
  }

  // The second byte of a GBK character is never a specifier: 0xB0 0x64 ends
  // in "d", 0xB0 0x68 in "h".
  EXPECT_EQ(get_date_format(late, std::string_view("\xB0\x64 d")), "\xB0\x64 9");
  EXPECT_EQ(get_time_format(late, std::string_view("\xB0\x68 h")), "\xB0\x68 6");

  // The locale's own pictures.
  EXPECT_EQ(get_date_format(early, std::nullopt), "2009/3/5");
  EXPECT_EQ(get_time_format(early, std::nullopt), "8:05:09");
  EXPECT_EQ(get_date_format(late, ""), "");
}

TEST(FormatDateTime, TwelveHourPicturesAndTheForcedTwentyFourHourClock) {
  const double t = date_of(2026, 12, 9, 18, 45, 21);
  EXPECT_EQ(format_date_time(t, std::nullopt, "hh:mm:ss tt"), gbk("2026/12/9 06:45:21 下午"));
  EXPECT_EQ(format_date_time(t, std::nullopt, "hh:mm:ss tt", true), gbk("2026/12/9 18:45:21 下午"));
  EXPECT_EQ(format_date_time(t, std::nullopt, std::nullopt, true), "2026/12/9 18:45:21");
  EXPECT_EQ(format_date_time(t, gbk("yyyy'年'MMMM"), "H"), gbk("2026年十二月 18"));
  EXPECT_EQ(format_date_time(t, "", ""), " ");
}

TEST(FormatDateTime, EachPartFitsFiftyBytesOrIsEmpty) {
  SystemTime t;
  ASSERT_TRUE(variant_time_to_system_time(date_of(2026, 12, 9, 18, 45, 21), &t));
  const std::string fits(49, 'x');  // 49 bytes and the terminating zero
  EXPECT_EQ(get_date_format(t, fits), fits);
  EXPECT_EQ(get_date_format(t, fits + "x"), "");
  EXPECT_EQ(get_time_format(t, fits), fits);
  EXPECT_EQ(get_time_format(t, fits + "x"), "");
  // Counted in bytes: seven day names of six bytes and six commas are 48.
  std::string seven = "dddd";
  for (int i = 0; i < 6; ++i) seven += ",dddd";
  EXPECT_EQ(get_date_format(t, seven).size(), 48u);
  EXPECT_EQ(get_date_format(t, seven + ",d"), "");
  EXPECT_EQ(format_date_time(date_of(2026, 12, 9, 18, 45, 21), fits + "x"), " 18:45:21");
}

}  // namespace
}  // namespace ck::platform
