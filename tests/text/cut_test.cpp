// Cutting at markers and the search rule behind it.
#include "text/cut.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace ck {
namespace {

using ck::testing::gbk;
using ck::testing::hex;

// A 'Z' (0x5A) that is the second byte of the GBK character 乞 (C6 5A), and
// 'A' (0x41) as the second byte of 丂 (81 41): the search must step over them.
const std::string kQi = "\xC6\x5A";
const std::string kKao = "\x81\x41";

TEST(FindText, SearchRule) {
  struct Case {
    std::string hay, needle;
    int start;
    bool fold;
    int expected;
  } cases[] = {
      {"abcabc", "bc", 1, false, 2},
      {"abcabc", "bc", 3, false, 5},
      {"abcabc", "bc", -4, false, 2},          // a start below 1 counts as 1
      {"abc", "", 3, false, 1},                 // empty needle: position 1, whatever the start
      {"abc", "", 4, false, -1},                // ... unless the range is empty
      {"", "", 1, false, -1},
      {"abc", "abcd", 1, false, -1},
      {"abc", "c", 4, false, -1},
      {kQi + "Z", "Z", 1, false, 3},            // not on the second byte of 乞
      {kQi, "Z", 1, false, -1},
      {kKao + "A", "A", 1, false, 3},
      {"x" + kQi + "Z", "Z", 2, false, 4},
      {"x" + kQi + "Z", "Z", 3, false, 3},      // a start on a second byte begins the walk there
      {"\xB0\xA1\xA1\xA1", "\xA1\xA1", 1, false, 3},
      {"\xB0" "\xA1\xA1\xA1", "\xA1\xA1", 2, false, 2},
      {"\x80\x80\x80Z", "Z", 1, false, -1},     // an odd run of high bytes swallows the Z
      {"\x80\x80Z", "Z", 1, false, 3},
      {"Set-Cookie: a", "set-cookie:", 1, true, 1},
      {"Set-Cookie: a", "set-cookie:", 1, false, -1},
      {kQi + "z", "Z", 1, true, 3},             // folding does not make 5A match at a second byte
      {"\xC7\xA9", "\xE7\xA9", 1, true, -1},    // only ASCII letters fold
  };
  for (const auto& c : cases)
    EXPECT_EQ(find_text(c.hay, c.needle, c.start, c.fold), c.expected)
        << "hay " << hex(c.hay) << " needle " << hex(c.needle) << " start " << c.start;
}

TEST(FindText, MatchesAStepByStepWalkOnRandomGbk) {
  // The exact search jumps with memmem and resynchronises; a plain walk is
  // the reference.
  auto walk = [](const std::string& hay, const std::string& needle, int start) {
    std::size_t i = start < 1 ? 0 : static_cast<std::size_t>(start - 1);
    for (; i + needle.size() <= hay.size(); i += static_cast<unsigned char>(hay[i]) >= 0x80 ? 2 : 1)
      if (hay.compare(i, needle.size(), needle) == 0) return static_cast<int>(i + 1);
    return -1;
  };
  const char alphabet[] = {'A', 'Z', '"', ';', '\x81', '\xA1', '\xC6', '\x5A', '\x80'};
  std::srand(11);
  for (int k = 0; k < 5000; ++k) {
    std::string hay, needle;
    for (int i = std::rand() % 40; i > 0; --i) hay += alphabet[std::rand() % sizeof alphabet];
    for (int i = 1 + std::rand() % 3; i > 0; --i) needle += alphabet[std::rand() % sizeof alphabet];
    const int start = std::rand() % 6;
    ASSERT_EQ(find_text(hay, needle, start), walk(hay, needle, start))
        << "hay " << hex(hay) << " needle " << hex(needle) << " start " << start;
    int last = -1;  // the reverse search keeps walking and keeps the last match
    for (std::size_t i = 0; i + needle.size() <= hay.size(); i += static_cast<unsigned char>(hay[i]) >= 0x80 ? 2 : 1)
      if (hay.compare(i, needle.size(), needle) == 0) last = static_cast<int>(i + 1);
    ASSERT_EQ(find_text_last(hay, needle), last) << "hay " << hex(hay) << " needle " << hex(needle);
  }
}

TEST(TextBetween, Table) {
  struct Case {
    std::string text, left, right, expected;
  } cases[] = {
      {"id=7;x=1", "id=", ";", "7"},
      {"x=1;id=7;id=8;", "id=", ";", "7"},                      // the first left marker
      {";x id=7", "id=", ";", ""},                              // right marker only before the left one
      {"a=1;b=2", "b=", ";", ""},                               // the end of the text is no delimiter
      {"id=;", "id=", ";", ""},                                 // right marker right after the left one
      {"abc id=", "id=", ";", ""},                              // left marker at the very end
      {"ab;cd;", "", ";", "ab"},                                // empty left marker: from position 1
      {"id=7;", "id=", "", ""},                                 // empty right marker: always ""
      {"", "", "", ""},
      {"", "a", "b", ""},
      {"{\"vusession\":\"S1\",\"x\":1}", "vusession\":\"", "\"", "S1"},
      {"k=" + kQi + "Z;v=1", "Z", ";", ""},                     // Z only as a second byte: not found
      {"k=" + kQi + "Z;v", "Z", ";", ""},
      {"k=" + kQi + "ZZ;v", "Z", ";", "Z"},
      {"a=\xC7\xA9\xB5\xBD;", "a=", ";", "\xC7\xA9\xB5\xBD"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(hex(text_between(c.text, c.left, c.right)), hex(c.expected))
        << "text " << hex(c.text) << " left " << hex(c.left) << " right " << hex(c.right);
}

TEST(TextBetween, QuotePlaceholderStandsForADoubleQuote) {
  const Text q = gbk("#引号");
  ASSERT_EQ(q.size(), 5u);
  EXPECT_EQ(text_between("say \"hi\" and \"bye\"", q, q), "hi");
  EXPECT_EQ(text_between("{\"score\":12,\"x\"}", q + "score" + q + ":", ","), "12");
  // Replaced left to right without rescanning: "##引号" is "#" + quote.
  EXPECT_EQ(text_between("a#\"b\"", "#" + q, q), "b");
  // The placeholder is not looked for in the text itself.
  EXPECT_EQ(text_between("x" + q + "y" + q, q, q), "");
}

TEST(TextBetween, StartAndIgnoreCase) {
  EXPECT_EQ(text_between("id=1;id=2;", "id=", ";", 2), "2");
  EXPECT_EQ(text_between("ID=1;", "id=", ";", 1, true), "1");
  EXPECT_EQ(text_between("ID=1;", "id=", ";"), "");
  EXPECT_EQ(text_between("ab;cd;", "", ";", 4), "ab");  // the empty left marker is at 1 even then
}

TEST(TextBefore, Table) {
  struct Case {
    std::string text, marker;
    int start;
    std::string expected;
  } cases[] = {
      {"Content-Type: text/html", ": ", 0, "Content-Type"},
      {": x", ": ", 0, ""},     // marker at position 1
      {"no marker", ": ", 0, ""},
      {"a=b=c", "=", 0, "a"},
      {"a=b=c", "=", 3, "a=b"},  // the result always begins at position 1
      {"a=b=c", "=", -3, "a"},
      {"", "=", 0, ""},
      {kQi + "Z=1", "Z", 0, kQi},
  };
  for (const auto& c : cases)
    EXPECT_EQ(hex(text_before(c.text, c.marker, c.start)), hex(c.expected)) << "text " << hex(c.text);
}

TEST(TextAfterLast, Table) {
  struct Case {
    std::string text, marker;
    std::optional<int> start;
    std::string expected;
  } cases[] = {
      {"a=b=c", "=", std::nullopt, "c"},
      {"a=b=", "=", std::nullopt, ""},  // marker at the very end
      {"abc", "=", std::nullopt, ""},   // missing marker
      {"", "=", std::nullopt, ""},
      {"a=b=c", "=", 4, "b=c"},         // the match must lie within the first start-1 bytes
      {"a=b=c", "=", 2, ""},
      {"a===b", "==", std::nullopt, "b"},
      {"Location: /a", "Location: ", std::nullopt, "/a"},
      {"x=1" + kQi + "Z", "Z", std::nullopt, ""},
      {"xZ1" + kQi + "2", "Z", std::nullopt, "1" + kQi + "2"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(hex(text_after_last(c.text, c.marker, c.start)), hex(c.expected)) << "text " << hex(c.text);
}

TEST(ReplaceText, Table) {
  struct Case {
    std::string text, from, to, expected;
  } cases[] = {
      {"vwz_vusession=OLD; a=OLD", "OLD", "NEW", "vwz_vusession=NEW; a=NEW"},
      {"aaa", "a", "aa", "aaaaaa"},  // what was put in is not rescanned
      {"aaaa", "aa", "b", "bb"},
      {"abc", "", "x", "abc"},
      {"abc", "b", "", "ac"},
      {"", "a", "b", ""},
      {kQi + "Z", "Z", "!", kQi + "!"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(hex(replace_text(c.text, c.from, c.to)), hex(c.expected)) << "text " << hex(c.text);
  EXPECT_EQ(replace_text("Cookie: a; cookie:b", "cookie:", "", true), " a; b");
}

TEST(SplitText, Table) {
  using V = std::vector<Text>;
  struct Case {
    std::string text, sep;
    V expected;
  } cases[] = {
      {"", "&", V{}},
      {"a&b", "&", V{"a", "b"}},
      {"&a", "&", V{"", "a"}},
      {"a&&b", "&", V{"a", "", "b"}},
      {"a&b&", "&", V{"a", "b"}},
      {"&", "&", V{""}},
      {"a\r\nb\r\n\r\nc", "\r\n", V{"a", "b", "", "c"}},
      {"abc", "", V{"abc"}},
      {kQi + "Z" + "Z", "Z", V{kQi, ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(split_text(c.text, c.sep), c.expected) << "text " << hex(c.text);
}

TEST(Spaces, TrimAndRemove) {
  const std::string fw = "\xA1\xA1";
  struct Case {
    std::string text, trimmed, removed;
  } cases[] = {
      {"  a b  ", "a b", "ab"},
      {fw + " a" + fw + "b " + fw, "a" + fw + "b", "ab"},
      {"   ", "", ""},
      {"", "", ""},
      {"\ta\r\n", "\ta\r\n", "\ta\r\n"},  // tabs and line breaks are no spaces
      // B0 A1 is a character; the bytes A1 A1 at the end are not a space.
      {"\xB0\xA1\xA1", "\xB0\xA1\xA1", "\xB0\xA1\xA1"},
      {" \xA1\xA1\xA1", "\xA1", "\xA1"},
      {"\xB0\xA1" + fw, "\xB0\xA1", "\xB0\xA1"},
      {"a\xC7", "a\xC7", "a\xC7"},  // a lone lead byte at the end stays
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hex(trim_spaces(c.text)), hex(c.trimmed)) << "text " << hex(c.text);
    EXPECT_EQ(hex(remove_spaces(c.text)), hex(c.removed)) << "text " << hex(c.text);
  }
  EXPECT_TRUE(contains_text("a=b", "="));
  EXPECT_FALSE(contains_text(kQi, "Z"));
}

}  // namespace
}  // namespace ck
