// The regular-expression class on its own, with COM strings (UTF-16).
#include "platform/regexp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/com.h"

namespace ck::platform {
namespace {

class RegExpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    depth_ = com_init_depth();
    live_ = ComObject::live_count();
    CoInitialize(nullptr);
  }
  void TearDown() override {
    CoUninitialize();
    EXPECT_EQ(com_init_depth(), depth_);
    EXPECT_EQ(ComObject::live_count(), live_);
  }

  // A fresh object with the given pattern and flags.
  std::shared_ptr<RegExp> make(std::u16string pattern, bool global = true, bool multiline = true,
                               bool ignore_case = true) {
    auto re = create_object<RegExp>();
    EXPECT_NE(re, nullptr);
    re->put_property("Global", global);
    re->put_property("Multiline", multiline);
    re->put_property("IgnoreCase", ignore_case);
    re->set_pattern(std::move(pattern));
    return re;
  }

  static std::vector<std::u16string> values(const MatchCollection& matches) {
    std::vector<std::u16string> out;
    for (long i = 0; i < matches.count(); ++i) out.push_back(matches.item(i)->value());
    return out;
  }

 private:
  int depth_ = 0;
  int live_ = 0;
};

TEST_F(RegExpTest, DefaultsAndProperties) {
  auto re = create_object<RegExp>();
  ASSERT_NE(re, nullptr);
  EXPECT_TRUE(re->ignore_case());
  EXPECT_FALSE(re->multiline());
  EXPECT_FALSE(re->global());
  EXPECT_TRUE(re->put_property("multiline", true));  // names ignore ASCII case
  EXPECT_TRUE(re->multiline());
  EXPECT_TRUE(re->put_property("GLOBAL", true));
  EXPECT_TRUE(re->global());
  // A property the class does not have is refused and changes nothing.
  EXPECT_FALSE(re->put_property("Singleline", true));
  EXPECT_FALSE(re->put_property("", false));
  EXPECT_TRUE(re->ignore_case());
  EXPECT_TRUE(re->multiline());
  EXPECT_TRUE(re->global());
}

TEST_F(RegExpTest, CreationNeedsComOnTheThread) {
  CoUninitialize();
  EXPECT_EQ(create_object<RegExp>(), nullptr);
  CoInitialize(nullptr);
}

TEST_F(RegExpTest, MatchesGroupsAndFirstIndex) {
  auto re = make(u"a(b)(x)?c");
  auto matches = re->execute(u"xabcx abc");
  ASSERT_NE(matches, nullptr);
  ASSERT_EQ(matches->count(), 2);
  auto first = matches->item(0);
  EXPECT_EQ(first->value(), u"abc");
  EXPECT_EQ(first->first_index(), 1);
  ASSERT_EQ(first->submatches()->count(), 2);
  EXPECT_EQ(first->submatches()->item(0), u"b");
  EXPECT_EQ(first->submatches()->item(1), u"");  // a group that took no part
  EXPECT_EQ(first->submatches()->item(2), std::nullopt);
  EXPECT_EQ(first->submatches()->item(-1), std::nullopt);
  EXPECT_EQ(matches->item(1)->first_index(), 6);
  EXPECT_EQ(matches->item(2), nullptr);
  EXPECT_EQ(matches->item(-1), nullptr);
}

TEST_F(RegExpTest, FirstIndexCountsUtf16Units) {
  // U+1F600 is a surrogate pair: two units before the "a".
  auto matches = make(u"a")->execute(u"\U0001F600a\u4E2Da");
  ASSERT_NE(matches, nullptr);
  ASSERT_EQ(matches->count(), 2);
  EXPECT_EQ(matches->item(0)->first_index(), 2);
  EXPECT_EQ(matches->item(1)->first_index(), 4);
  // "." takes a surrogate pair as one character.
  auto dot = make(u"^.$")->execute(u"\U0001F600");
  ASSERT_NE(dot, nullptr);
  EXPECT_EQ(dot->count(), 1);
}

TEST_F(RegExpTest, GlobalOffGivesAtMostTheFirstMatch) {
  auto matches = make(u"b", false)->execute(u"abcb");
  ASSERT_NE(matches, nullptr);
  EXPECT_EQ(values(*matches), std::vector<std::u16string>{u"b"});
  auto none = make(u"z", false)->execute(u"abc");
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->count(), 0);
}

TEST_F(RegExpTest, CaseFollowsIgnoreCase) {
  EXPECT_EQ(make(u"ABC")->execute(u"xabc")->count(), 1);
  EXPECT_EQ(make(u"ABC", true, true, false)->execute(u"xabc")->count(), 0);
  // Beyond ASCII too: Greek capital and small alpha.
  EXPECT_EQ(make(u"\u0391")->execute(u"\u03B1")->count(), 1);
}

TEST_F(RegExpTest, LineBreaks) {
  struct Case {
    std::u16string pattern;
    std::u16string subject;
    bool multiline;
    long count;
  };
  const Case cases[] = {
      {u"^b", u"a\r\nb", true, 1},   // after CR LF
      {u"^b", u"a\rb", true, 1},     // after a lone CR
      {u"^b", u"a\nb", true, 1},     // after a lone LF
      {u"^b", u"a\r\nb", false, 0},  // only at the very start without Multiline
      {u"a$", u"a\r\nb", true, 1},
      {u"a$", u"a\n", false, 0},     // "$" is the very end without Multiline
      {u"b$", u"ab", false, 1},
      {u"a.b", u"a\rb", true, 0},    // "." never matches CR ...
      {u"a.b", u"a\nb", true, 0},    // ... nor LF
      {u"a.b", u"a\r\nb", false, 0},
      {u"a.b", u"a\tb", true, 1},
      {u"^", u"a\r\nb\nc", true, 3},  // CR LF is one line break
  };
  for (const auto& c : cases) {
    auto matches = make(c.pattern, true, c.multiline)->execute(c.subject);
    ASSERT_NE(matches, nullptr);
    EXPECT_EQ(matches->count(), c.count) << "pattern index " << (&c - cases);
  }
}

TEST_F(RegExpTest, EmptyMatchesAdvance) {
  auto matches = make(u"a*")->execute(u"baac");
  ASSERT_NE(matches, nullptr);
  EXPECT_EQ(values(*matches), (std::vector<std::u16string>{u"", u"aa", u"", u""}));
  EXPECT_EQ(matches->item(1)->first_index(), 1);
  EXPECT_EQ(matches->item(3)->first_index(), 4);
  auto on_empty = make(u"x*")->execute(u"");
  ASSERT_NE(on_empty, nullptr);
  EXPECT_EQ(on_empty->count(), 1);
}

TEST_F(RegExpTest, EscapesOfThePatternLanguage) {
  EXPECT_EQ(make(u"\\u4e2d")->execute(u"a\u4E2D")->count(), 1);
  EXPECT_EQ(make(u"\\x41")->execute(u"A")->count(), 1);
  EXPECT_EQ(make(u"[-\\w]+", true, true, false)->execute(u"utf-8\"")->item(0)->value(), u"utf-8");
}

TEST_F(RegExpTest, InvalidPatternsFail) {
  for (const char16_t* pattern : {u"(", u"a)", u"[z-a]", u"*", u"\\C", u"a{2,1}"}) {
    auto re = make(pattern);
    EXPECT_EQ(re->execute(u"abc"), nullptr);
    EXPECT_EQ(re->replace(u"abc", u"x"), std::nullopt);
  }
  // A lone surrogate in the pattern is no valid pattern either.
  EXPECT_EQ(make(std::u16string(1, char16_t(0xD800)))->execute(u"a"), nullptr);
}

TEST_F(RegExpTest, InvalidUtf16InTheSubjectIsNotMatched) {
  std::u16string subject = u"a";
  subject += char16_t(0xDC00);
  subject += u"b";
  auto matches = make(u"[ab]")->execute(subject);
  ASSERT_NE(matches, nullptr);
  EXPECT_EQ(values(*matches), (std::vector<std::u16string>{u"a", u"b"}));
  EXPECT_EQ(matches->item(1)->first_index(), 2);
}

TEST_F(RegExpTest, PathologicalPatternFailsQuickly) {
  const auto start = std::chrono::steady_clock::now();
  auto re = make(u"(a+)+$");
  EXPECT_EQ(re->execute(std::u16string(40, u'a') + u"!"), nullptr);
  EXPECT_EQ(re->replace(std::u16string(40, u'a') + u"!", u"x"), std::nullopt);
  // Not a timing assertion, only a guard against an endless run.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST_F(RegExpTest, Replace) {
  struct Case {
    std::u16string pattern;
    bool global;
    std::u16string subject;
    std::u16string replacement;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"b", true, u"abcb", u"x", u"axcx"},
      {u"b", false, u"abcb", u"x", u"axcb"},
      {u"(\\w)(\\d)", true, u"a1 b2", u"$2$1", u"1a 2b"},
      {u"b+", true, u"abbc", u"[$&]", u"a[bb]c"},
      {u"b", true, u"abc", u"$$", u"a$c"},
      {u"b", true, u"abc", u"$1", u"a$1c"},        // no group 1: taken literally
      {u"(b)", true, u"abc", u"$12", u"ab2c"},     // one digit names the group
      {u"(b)", true, u"abc", u"$x$", u"a$x$c"},
      {u"(b)(x)?", true, u"abc", u"<$2>", u"a<>c"},  // a group that took no part
      {u"z", true, u"abc", u"x", u"abc"},
      {u"", true, u"ab", u"-", u"-a-b-"},
      {u"^", true, u"a\r\nb", u">", u">a\r\n>b"},
  };
  for (const auto& c : cases) {
    auto re = make(c.pattern, c.global);
    EXPECT_EQ(re->replace(c.subject, c.replacement), c.expected) << "case index " << (&c - cases);
  }
}

TEST_F(RegExpTest, PatternChangesAreSeen) {
  auto re = make(u"a");
  EXPECT_EQ(re->execute(u"ab")->count(), 1);
  re->set_pattern(u"b+");
  EXPECT_EQ(re->pattern(), u"b+");
  EXPECT_EQ(re->execute(u"abb")->item(0)->value(), u"bb");
  re->put_property("IgnoreCase", false);
  EXPECT_EQ(re->execute(u"aBB")->count(), 0);
}

TEST_F(RegExpTest, ResultsOutliveTheObjectAndAreCounted) {
  const int before = ComObject::live_count();
  std::shared_ptr<MatchCollection> matches;
  {
    auto re = make(u"(a)");
    matches = re->execute(u"aa");
  }
  ASSERT_NE(matches, nullptr);
  EXPECT_EQ(matches->item(1)->submatches()->item(0), u"a");
  // The collection, its two matches and their two group collections.
  EXPECT_EQ(ComObject::live_count(), before + 5);
  matches.reset();
  EXPECT_EQ(ComObject::live_count(), before);
}

}  // namespace
}  // namespace ck::platform
