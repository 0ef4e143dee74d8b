// Cookie strings: collecting an answer's Set-Cookie lines and merging them
// into the cookie string that was sent.
#include "web/cookies.h"

#include <gtest/gtest.h>

#include "tests/support/support.h"

namespace ck {
namespace {

using ck::testing::gbk;
using ck::testing::hex;

TEST(MergeCookies, Table) {
  struct Case {
    const char* existing;
    const char* incoming;
    const char* expected;
  };
  const Case cases[] = {
      {"", "", ""},
      {"a=1; b=2", "", "a=1; b=2"},      // no cookies in the answer: only normalised
      {"a=1; b=2", "b=3", "b=3; a=1"},   // the answer's items first
      {"a=1; b=2", "b=deleted", "a=1"},  // a deletion takes the old cookie along
      {"a=1", "x=1; x=2", "x=1; x=2; a=1"},  // the answer's own items all stay
      {"c=1; c=2", "", "c=1"},           // of old items with one name the first wins
      {"a=1; a=1", "a=1", "a=1"},
      {" k = v ;m=n", "", "k=v; m=n"},   // every space goes, inside items too
      {"t = deleted", "", ""},           // the marker is tested after the spaces go
      {"p=x=deleted", "", ""},           // ... and on the end of the item
      {"a=deleted2", "", "a=deleted2"},
      {"a=1;", "", "a=1"},               // a trailing ";" adds no item
      {"a=1;;b=2", "", "a=1; ; b=2"},    // an empty piece survives as an empty entry
      {";a=1", "", "; a=1"},
      {"SID=1", "sid=2", "sid=2; SID=1"},  // names are case-sensitive
      {"a=1; b=2", "c=3; a=deleted", "c=3; b=2"},
      {"a", "a=2", "a=2"},               // an item without "=" is its own name
      {"", "x=1", "x=1"},
      {"a=1", "=deleted", "a=1"},
      {"a=1;b=2;c=3", "b=9;d=4", "b=9; d=4; a=1; c=3"},
  };
  for (const auto& c : cases) {
    Text existing = c.existing;
    const Text result = merge_cookies(&existing, c.incoming);
    EXPECT_EQ(result, c.expected) << "existing '" << c.existing << "' incoming '" << c.incoming << "'";
    EXPECT_EQ(existing, result) << "existing '" << c.existing << "'";
  }
}

TEST(MergeCookies, FullWidthSpacesGoAndGbkStaysWhole) {
  Text existing = gbk("名　=　值; a=1");  // U+3000 is A1 A1 in GBK
  EXPECT_EQ(hex(merge_cookies(&existing, gbk("键=中"))), hex(gbk("键=中; 名=值; a=1")));
  // Without a variable to update the result is only returned.
  EXPECT_EQ(merge_cookies(nullptr, "a=1"), "a=1");
}

TEST(CollectSetCookies, Lines) {
  struct Case {
    const char* headers;
    const char* expected;
  };
  const Case cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n", ""},
      {"Set-Cookie: sid=abc", "sid=abc"},
      {"Set-Cookie:   sid=abc ; path=/", "sid=abc"},
      {"set-cookie: a=1", ""},  // the name is case-sensitive
      {"Set-Cookie:a=1", ""},   // no ": " after the name
      {"HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nX: y\r\nSet-Cookie: b=2\r\n\r\n", "a=1; b=2"},
      {"Set-Cookie: b=deleted; path=/", "b=deleted"},  // dropped later, by the merge
      {"Set-Cookie: a=1; b=2; c=3", "a=1"},          // only the first pair
      {"Set-Cookie: ", ""},                          // an empty item adds "; " ...
      {"Set-Cookie: \r\nSet-Cookie: a=1", "; a=1"},  // ... which stays unless last
      {"Set-Cookie: a=1\r\nSet-Cookie: ;x", "a=1; "},
      {"Set-Cookie: set-cookie:a=1", "a=1"},        // without ";" every "Set-Cookie:" goes, in any case
      {"Set-Cookie: a=1\nSet-Cookie: b=2", "a=1\n b=2"},  // LF alone does not end a line
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(collect_set_cookies(c.headers), c.expected) << hex(c.headers);
}

TEST(CollectSetCookies, FeedsTheMerge) {
  const Text incoming =
      collect_set_cookies("HTTP/1.1 200 OK\r\nSet-Cookie: b=deleted; path=/\r\nSet-Cookie: s=new; HttpOnly\r\n\r\n");
  Text cookie = "a=1; b=2; s=old";
  EXPECT_EQ(merge_cookies(&cookie, incoming), "s=new; a=1");
  EXPECT_EQ(cookie, "s=new; a=1");
}

TEST(CookieName, Items) {
  EXPECT_EQ(cookie_name(" sid = 1"), "sid");
  EXPECT_EQ(cookie_name("a=b=c"), "a");
  EXPECT_EQ(cookie_name(" flag "), "flag");
  EXPECT_EQ(cookie_name("=x"), "");
  EXPECT_EQ(cookie_name(""), "");
  EXPECT_EQ(hex(cookie_name(gbk("　名字=1"))), hex(gbk("名字")));
}

TEST(RemoveDuplicateItems, Lists) {
  EXPECT_EQ(remove_duplicate_items("x; y; x", "; "), "x; y");
  EXPECT_EQ(remove_duplicate_items("x; X; x; x", "; "), "x; X");
  EXPECT_EQ(remove_duplicate_items("", "; "), "");
  EXPECT_EQ(remove_duplicate_items("; ; a", "; "), "; a");  // the empty piece is an item too
  EXPECT_EQ(remove_duplicate_items("a,b,a,", ","), "a,b");
  EXPECT_EQ(remove_duplicate_items("a,b", ""), "a,b");
}

}  // namespace
}  // namespace ck
