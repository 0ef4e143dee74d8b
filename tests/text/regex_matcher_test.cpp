// The regular-expression object over GBK texts.
#include "text/regex_matcher.h"

#include <gtest/gtest.h>

#include "platform/com.h"
#include "tests/support/balance.h"
#include "tests/support/support.h"

namespace ck {
namespace {

using ck::testing::gbk;
using ck::testing::hex;

class RegexMatcherTest : public ck::testing::BalancedTest {
 protected:
};

TEST_F(RegexMatcherTest, MatchAndGroup) {
  RegexMatcher m;
  ASSERT_TRUE(m.execute("a(b)c", "xabcx"));
  EXPECT_EQ(m.match_count(), 1);
  EXPECT_EQ(m.match_text(1), "abc");
  EXPECT_EQ(m.submatch_text(1, 1), "b");
  EXPECT_EQ(m.submatch_count(), 1);
  EXPECT_EQ(m.pattern(), "a(b)c");
  int position = -9;
  EXPECT_EQ(m.match_text(1, &position), "abc");
  EXPECT_EQ(position, 1);
  EXPECT_EQ(m.submatch_text(1, 1, &position), "b");
  EXPECT_EQ(position, 2);
}

TEST_F(RegexMatcherTest, NoMatchIsStillARun) {
  RegexMatcher m;
  ASSERT_TRUE(m.execute("z", "abc"));
  EXPECT_EQ(m.match_count(), 0);
  EXPECT_EQ(m.submatch_count(), 0);
  int position = 42;
  EXPECT_EQ(m.match_text(1, &position), "");
  EXPECT_EQ(m.submatch_text(1, 1, &position), "");
  EXPECT_EQ(position, 42);  // not reached, so kept
}

TEST_F(RegexMatcherTest, FailuresGiveEmptyValues) {
  RegexMatcher m;
  // Before any run.
  EXPECT_EQ(m.match_text(1), "");
  EXPECT_EQ(m.match_count(), 0);
  EXPECT_EQ(m.submatch_count(), 0);
  EXPECT_EQ(m.pattern(), "");
  EXPECT_EQ(m.replace("x"), "");
  // An invalid pattern: the object exists, the run does not.
  EXPECT_FALSE(m.execute("(", "abc"));
  EXPECT_EQ(m.match_count(), 0);
  EXPECT_EQ(m.pattern(), "(");
  EXPECT_EQ(m.replace("x"), "");
  // Numbers out of range.
  ASSERT_TRUE(m.execute("a(b)", "ab ab"));
  for (int n : {0, -1, 3, 1 << 30, -2147483647 - 1}) {
    EXPECT_EQ(m.match_text(n), "") << n;
    EXPECT_EQ(m.submatch_text(n, 1), "") << n;
    EXPECT_EQ(m.submatch_text(1, n), "") << n;
  }
}

TEST_F(RegexMatcherTest, ClassThatCannotBeCreated) {
  RegexMatcher m;
  ASSERT_TRUE(m.execute("a", "a"));
  platform::ScopedCreationFailure failing("VBScript.RegExp");
  // Nothing of the earlier run survives a new one.
  EXPECT_FALSE(m.execute("a", "a"));
  EXPECT_EQ(m.match_count(), 0);
  EXPECT_EQ(m.pattern(), "");
  EXPECT_EQ(m.replace("x"), "");
}

TEST_F(RegexMatcherTest, Options) {
  RegexMatcher m;
  ASSERT_TRUE(m.execute("ABC", "abc"));
  EXPECT_EQ(m.match_count(), 1);
  ASSERT_TRUE(m.execute("ABC", "abc", {.case_sensitive = true}));
  EXPECT_EQ(m.match_count(), 0);

  ASSERT_TRUE(m.execute("^b", "a\r\nb"));
  EXPECT_EQ(m.match_count(), 1);
  ASSERT_TRUE(m.execute("^b", "a\r\nb", {.multiline = false}));
  EXPECT_EQ(m.match_count(), 0);
  ASSERT_TRUE(m.execute("a.b", "a\r\nb"));
  EXPECT_EQ(m.match_count(), 0);
  ASSERT_TRUE(m.execute("a.b", "a\nb"));
  EXPECT_EQ(m.match_count(), 0);

  ASSERT_TRUE(m.execute("b", "abcb", {.global = false}));
  EXPECT_EQ(m.match_count(), 1);
  ASSERT_TRUE(m.execute("b", "abcb"));
  EXPECT_EQ(m.match_count(), 2);
}

TEST_F(RegexMatcherTest, QuotePlaceholder) {
  const Text pattern = gbk("#引号(\\w+)#引号");
  const Text subject = "say \"hello\" now";
  RegexMatcher m;
  ASSERT_TRUE(m.execute(pattern, subject, {.quote_placeholder = true}));
  EXPECT_EQ(m.submatch_text(1, 1), "hello");
  EXPECT_EQ(m.pattern(), "\"(\\w+)\"");
  // Without the flag the placeholder is taken as it stands.
  ASSERT_TRUE(m.execute(pattern, subject));
  EXPECT_EQ(m.match_count(), 0);
  EXPECT_EQ(hex(m.pattern()), hex(pattern));
}

TEST_F(RegexMatcherTest, GbkTextsCrossTheClass) {
  const Text subject = gbk("中文abc，中文");
  RegexMatcher m;
  ASSERT_TRUE(m.execute(gbk("(中文)"), subject));
  ASSERT_EQ(m.match_count(), 2);
  EXPECT_EQ(hex(m.match_text(2)), hex(gbk("中文")));
  EXPECT_EQ(hex(m.replace(gbk("[$1]"))), hex(gbk("[中文]abc，[中文]")));
  EXPECT_EQ(hex(m.pattern()), hex(gbk("(中文)")));
}

// Positions are byte offsets in the GBK subject.
TEST_F(RegexMatcherTest, Positions) {
  struct Case {
    const char* pattern;
    const char* subject;  // UTF-8, turned into GBK
    int match;
    int submatch;  // 0: the match itself
    Text expected_text;
    int expected_position;
  };
  const Case cases[] = {
      {"a", "中a", 1, 0, "a", 2},          // FirstIndex 1, two bytes before
      {"a", "中中a", 1, 0, "a", 4},        // the start must not fall inside a character
      {"a", "中文中文a", 1, 0, "a", 8},
      {"a", "aa", 2, 0, "a", 1},            // the second of two equal matches
      {"ab", "abab", 2, 0, "ab", 2},
      {"A", "xa", 1, 0, "a", 1},            // ignoring case, as the run did
      {"b(a)", "ab中ba", 1, 1, "a", 5},     // a group, searched from its match
      {"a(a)", "aa", 1, 1, "a", 0},         // the group's first occurrence in the match
      {"x(y?)", "中x", 1, 1, "", 2},         // an empty group: at its match
      {"b*", "中b", 1, 0, "", 0},            // an empty match at the start
      {"b*", "中b", 2, 0, "b", 2},
      {"$", "中b", 1, 0, "", 3},             // an empty match at the end
  };
  for (const auto& c : cases) {
    RegexMatcher m;
    const Text subject = gbk(c.subject);
    ASSERT_TRUE(m.execute(c.pattern, subject)) << c.pattern;
    int position = -9;
    const Text text = c.submatch ? m.submatch_text(c.match, c.submatch, &position) : m.match_text(c.match, &position);
    EXPECT_EQ(hex(text), hex(c.expected_text)) << c.pattern << " over " << hex(subject);
    EXPECT_EQ(position, c.expected_position) << c.pattern << " over " << hex(subject);
  }
}

TEST_F(RegexMatcherTest, Replace) {
  RegexMatcher m;
  ASSERT_TRUE(m.execute("b", "abcb"));
  EXPECT_EQ(m.replace("x"), "axcx");
  EXPECT_EQ(m.match_count(), 2);  // replacing leaves the matches alone
  ASSERT_TRUE(m.execute("b", "abcb", {.global = false}));
  EXPECT_EQ(m.replace("x"), "axcb");
  ASSERT_TRUE(m.execute("(\\w+)@(\\w+)", "me@home"));
  EXPECT_EQ(m.replace("$2 of $1 ($&, $$)"), "home of me (me@home, $)");
}

TEST_F(RegexMatcherTest, TheCharsetPattern) {
  const char* pattern = "<meta.+?charset=[^\\w]?([-\\w]+)";
  struct Case {
    const char* page;
    const char* charset;
  };
  const Case cases[] = {
      {"<html><META http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">", "utf-8"},
      {"<meta charset=\"GB2312\">", "GB2312"},
      {"<meta charset=gbk>", "gbk"},
      {"<meta name=x>\r\n<p>charset=utf-8</p>", ""},  // "." stops at the line break
      {"<p>charset=utf-8</p>", ""},
  };
  for (const auto& c : cases) {
    RegexMatcher m;
    ASSERT_TRUE(m.execute(pattern, c.page));
    EXPECT_EQ(m.submatch_text(1, 1), c.charset) << c.page;
  }
}

TEST_F(RegexMatcherTest, ComIsHeldForTheObjectsLifetime) {
  const int before = platform::com_init_depth();
  {
    RegexMatcher m;
    EXPECT_EQ(platform::com_init_depth(), before + 1);
    ASSERT_TRUE(m.execute("(a)", "aa"));
    EXPECT_GT(platform::ComObject::live_count(), start_live());
  }
  EXPECT_EQ(platform::com_init_depth(), before);
}

TEST_F(RegexMatcherTest, CopySharesTheRunAndKeepsComBalanced) {
  const int before = platform::com_init_depth();
  auto original = std::make_unique<RegexMatcher>();
  ASSERT_TRUE(original->execute("a(b)", gbk("中ab")));
  auto copy = original->copy();
  EXPECT_EQ(platform::com_init_depth(), before + 2);
  // The original goes first; the copy still reads the shared run.
  original.reset();
  EXPECT_EQ(platform::com_init_depth(), before + 1);
  int position = -9;
  EXPECT_EQ(copy->match_text(1, &position), "ab");
  EXPECT_EQ(position, 2);
  EXPECT_EQ(copy->submatch_text(1, 1), "b");
  EXPECT_EQ(copy->pattern(), "a(b)");
  EXPECT_EQ(copy->replace("x"), gbk("中x"));
  // A new run on the copy is its own.
  ASSERT_TRUE(copy->execute("z", "abc"));
  EXPECT_EQ(copy->match_count(), 0);
  copy.reset();
  EXPECT_EQ(platform::com_init_depth(), before);
}

}  // namespace
}  // namespace ck
