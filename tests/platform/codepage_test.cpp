// The code-page layer against an independent reference: Python's codecs
// produce the expected tables, which are compared entry by entry.
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace ck::platform {
namespace {

using ck::testing::hex;
using ck::testing::hex16;


// Runs a Python script in a temporary folder and returns what it wrote to
// the file "out" there. Empty when Python is missing (the caller skips).
std::string run_python(const std::string& script) {
  ck::testing::TempDir dir;
  ck::testing::write_whole_file(dir.path() / "ref.py", script);
  const std::string cmd = "python3 '" + (dir.path() / "ref.py").string() + "' '" + (dir.path() / "out").string() + "'";
  if (std::system(cmd.c_str()) != 0) return {};
  return ck::testing::read_whole_file(dir.path() / "out");
}

std::u16string decode(unsigned cp, std::string_view bytes) {
  if (bytes.empty()) return {};
  const int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  const int written = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
  EXPECT_EQ(written, n);
  return out;
}

std::string encode(unsigned cp, std::u16string_view wide, bool* used = nullptr) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, used);
  std::string out(static_cast<std::size_t>(n), '\0');
  const int written =
      WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, used);
  EXPECT_EQ(written, n);
  return out;
}

std::u16string utf16le_to_u16(std::string_view b) {
  std::u16string out(b.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(b[2 * i]) | static_cast<unsigned char>(b[2 * i + 1]) << 8);
  return out;
}

// Every two-byte GBK sequence (lead 81..FE, trail 40..FE without 7F), in
// order. Each one decodes to exactly one unit: its character, or U+FFFD when
// GBK leaves it undefined.
TEST(CodePageTable, EveryTwoByteGbkCharacterDecodesAsPythonSays) {
  const std::string ref = run_python(R"(
import sys
out = []
for lead in range(0x81, 0xFF):
    for trail in range(0x40, 0xFF):
        if trail == 0x7F: continue
        try: u = bytes([lead, trail]).decode('gbk')
        except UnicodeDecodeError: u = '\ufffd'
        out.append(u if len(u) == 1 else '\ufffd')
open(sys.argv[1], 'wb').write(''.join(out).encode('utf-16-le'))
)");
  if (ref.empty()) GTEST_SKIP() << "python3 not available";
  std::string all;
  for (int lead = 0x81; lead <= 0xFE; ++lead)
    for (int trail = 0x40; trail <= 0xFE; ++trail)
      if (trail != 0x7F) {
        all += static_cast<char>(lead);
        all += static_cast<char>(trail);
      }
  const std::u16string expected = utf16le_to_u16(ref);
  const std::u16string got = decode(CP_GBK, all);
  ASSERT_EQ(got.size(), expected.size());
  int mismatches = 0, defined = 0;
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (expected[i] != 0xFFFD) ++defined;
    if (got[i] != expected[i] && mismatches++ < 10)
      ADD_FAILURE() << "GBK " << hex(all.substr(2 * i, 2)) << ": got " << hex16(got.substr(i, 1)) << ", Python "
                    << hex16(expected.substr(i, 1));
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(defined, 21000);  // the table really was there
  // Code page 0 is the same code page.
  EXPECT_EQ(decode(CP_ACP, all), got);
}

// Every BMP code point encodes as Python's GBK codec does, with the one
// addition of code page 936: U+20AC is the single byte 80. What GBK cannot
// represent becomes "?" and is reported through used_default_char.
TEST(CodePageTable, EveryBmpCodePointEncodesAsPythonSays) {
  const std::string ref = run_python(R"(
import sys
lines = []
for u in range(0x80, 0x10000):
    if 0xD800 <= u < 0xE000: continue
    try: lines.append(chr(u).encode('gbk').hex())
    except UnicodeEncodeError: lines.append('-')
open(sys.argv[1], 'w').write('\n'.join(lines) + '\n')
)");
  if (ref.empty()) GTEST_SKIP() << "python3 not available";
  std::istringstream in(ref);
  std::string line;
  int mismatches = 0;
  for (unsigned u = 0x80; u < 0x10000; ++u) {
    if (u >= 0xD800 && u < 0xE000) continue;
    ASSERT_TRUE(std::getline(in, line));
    std::string expected;
    if (u == 0x20AC) {
      ASSERT_EQ(line, "-");  // Python's GBK lacks the euro sign that code page 936 has
      expected = "\x80";
    } else if (line == "-") {
      expected = "?";
    } else {
      for (std::size_t i = 0; i + 1 < line.size(); i += 2)
        expected += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
    }
    const char16_t unit = static_cast<char16_t>(u);
    bool used = false;
    const std::string got = encode(CP_GBK, std::u16string_view(&unit, 1), &used);
    if ((got != expected || used != (line == "-" && u != 0x20AC)) && mismatches++ < 10)
      ADD_FAILURE() << "U+" << hex16(std::u16string_view(&unit, 1)) << ": got " << hex(got) << ", expected "
                    << hex(expected) << (used ? " (default used)" : "");
  }
  EXPECT_EQ(mismatches, 0);
}

// All of Unicode (without surrogates), as one text, both ways.
TEST(CodePageTable, Utf8OfEveryCodePointMatchesPython) {
  const std::string ref = run_python(R"(
import sys
s = ''.join(chr(u) for u in range(1, 0x110000) if not 0xD800 <= u < 0xE000)
open(sys.argv[1], 'wb').write(s.encode('utf-8') + b'\0' + s.encode('utf-16-le'))
)");
  if (ref.empty()) GTEST_SKIP() << "python3 not available";
  const std::size_t zero = ref.find('\0');
  const std::string utf8 = ref.substr(0, zero);
  const std::u16string wide = utf16le_to_u16(std::string_view(ref).substr(zero + 1));
  const std::string got8 = encode(CP_UTF8, wide);
  ASSERT_EQ(got8.size(), utf8.size());
  EXPECT_TRUE(got8 == utf8);
  const std::u16string got16 = decode(CP_UTF8, utf8);
  ASSERT_EQ(got16.size(), wide.size());
  EXPECT_TRUE(got16 == wide);
}

// Ill-formed UTF-8 gives one U+FFFD per maximal ill-formed subpart, which is
// what Python's "replace" does too. Hand-made cases plus random bytes.
TEST(CodePageTable, IllFormedUtf8IsReplacedAsPythonDoes) {
  std::vector<std::string> cases = {
      "\x80", "\xBF\xBF", "\xC0\xAF", "\xC1\xBF", "\xC2", "\xC2\x41", "\xE0\x80\x80", "\xE0\xA0", "\xE4\xB8",
      "\xE4\xB8\x41", "\xED\xA0\x80", "\xED\x9F\xBF", "\xEF\xBF\xBF", "\xF0\x80\x80\x80", "\xF0\x90\x80",
      "\xF4\x90\x80\x80", "\xF4\x8F\xBF\xBF", "\xF5\x80\x80\x80", "\xFE\xFF", "a\xF0\x9F\x98\x80z",
      "\xE7\xAD\xBE\xE5\x88",
  };
  std::srand(7);
  for (int k = 0; k < 400; ++k) {
    std::string s;
    const int len = 1 + std::rand() % 12;
    for (int i = 0; i < len; ++i) {
      const int r = std::rand() % 4;
      s += static_cast<char>(r == 0 ? 0x41 + std::rand() % 26 : 0x80 + std::rand() % 0x80);
    }
    cases.push_back(s);
  }
  std::string input;
  for (const auto& c : cases) input += ck::testing::hex(c) + "\n";
  ck::testing::TempDir dir;
  ck::testing::write_whole_file(dir.path() / "in", input);
  const std::string ref = run_python("import sys\nsrc = '" + (dir.path() / "in").string() + R"('
out = []
for line in open(src):
    b = bytes.fromhex(line.strip())
    out.append(b.decode('utf-8', 'replace').encode('utf-16-le').hex())
open(sys.argv[1], 'w').write('\n'.join(out) + '\n')
)");
  if (ref.empty()) GTEST_SKIP() << "python3 not available";
  std::istringstream in(ref);
  std::string line;
  for (const auto& c : cases) {
    ASSERT_TRUE(std::getline(in, line));
    std::string bytes;
    for (std::size_t i = 0; i + 1 < line.size(); i += 2)
      bytes += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
    EXPECT_EQ(hex16(decode(CP_UTF8, c)), hex16(utf16le_to_u16(bytes))) << "UTF-8 " << hex(c);
  }
}

TEST(CodePage, InvalidGbkBecomesReplacementAndResynchronises) {
  struct Case {
    std::string gbk;
    std::u16string wide;
  } cases[] = {
      {"\x80", u"\u20AC"},                  // the euro sign of code page 936
      {"\xFF", u"\uFFFD"},                  // never a character
      {"\xC7", u"\uFFFD"},                  // lead byte at the end
      {"\xC7\x20z", u"\uFFFD z"},           // lead byte without a trail byte: the next byte is read anew
      {"\xC7\x7F", u"\uFFFD\x7F"},          // 7F is no trail byte
      {"\xA2\xA0", u"\uFFFD"},              // a pair GBK leaves undefined: one replacement for both
      {"\xC7\xA9\xB5\xBD", u"\u7B7E\u5230"},  // 签到
      {"a\xA1\xA1", u"a\u3000"},            // full-width space
  };
  for (const auto& c : cases) EXPECT_EQ(hex16(decode(CP_GBK, c.gbk)), hex16(c.wide)) << "GBK " << hex(c.gbk);
}

TEST(CodePage, UnrepresentableAndSurrogates) {
  struct Case {
    unsigned cp;
    std::u16string wide;
    std::string bytes;
  } cases[] = {
      {CP_GBK, u"\U0001F600", "?"},        // one "?" for the pair
      {CP_GBK, u"a\xD800z", "a?z"},        // unpaired surrogate
      {CP_GBK, u"\xDC00", "?"},
      {CP_GBK, u"\u00E9\u20AC", "\xA8\xA6\x80"},
      {CP_UTF8, u"a\xD800z", "a\xEF\xBF\xBDz"},  // unpaired surrogate becomes U+FFFD
      {CP_UTF8, u"\U0001F600", "\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(hex(encode(c.cp, c.wide)), hex(c.bytes)) << hex16(c.wide);
}

TEST(CodePage, WindowsCallingConventions) {
  // -1: up to and including the first zero, which is counted.
  EXPECT_EQ(MultiByteToWideChar(CP_GBK, 0, "ab\0cd", -1, nullptr, 0), 3);
  char16_t w[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
  EXPECT_EQ(MultiByteToWideChar(CP_GBK, 0, "\xC7\xA9" "a", -1, w, 8), 3);
  EXPECT_EQ(hex16(std::u16string_view(w, 4)), "7B7E 0061 0000 0078");
  EXPECT_EQ(WideCharToMultiByte(CP_GBK, 0, u"\u7B7Ea", -1, nullptr, 0, nullptr, nullptr), 4);
  // A buffer too small fails and writes no more than it holds.
  char b[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(WideCharToMultiByte(CP_GBK, 0, u"\u7B7Ea", 2, b, 2, nullptr, nullptr), 0);
  EXPECT_EQ(b[2], 'x');
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, w, 2), 0);
  // Bad arguments and unknown code pages fail.
  EXPECT_EQ(MultiByteToWideChar(CP_GBK, 0, "abc", 0, nullptr, 0), 0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", 3, nullptr, 0), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_GBK, 0, nullptr, 3, nullptr, 0), 0);
  EXPECT_EQ(WideCharToMultiByte(437, 0, u"abc", 3, nullptr, 0, nullptr, nullptr), 0);
  // UTF-8 has no default character; asking for one fails, as on Windows.
  bool used = false;
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"abc", 3, nullptr, 0, nullptr, &used), 0);
  // A default character of the caller's, used and reported.
  char d[8] = {};
  EXPECT_EQ(WideCharToMultiByte(CP_GBK, WC_COMPOSITECHECK, u"a\u0E01b", 3, d, 8, "*", &used), 3);
  EXPECT_EQ(std::string(d), "a*b");
  EXPECT_TRUE(used);
  EXPECT_EQ(WideCharToMultiByte(CP_GBK, 0, u"ab", 2, d, 8, nullptr, &used), 2);
  EXPECT_FALSE(used);
}

TEST(CodePage, EdgeHelpers) {
  EXPECT_EQ(hex(gbk_literal("签到")), "C7 A9 B5 BD");
  EXPECT_EQ(hex(gbk_literal("#引号")), "23 D2 FD BA C5");
  EXPECT_EQ(gbk_literal(""), "");
  EXPECT_EQ(hex(utf8_to_gbk_edge("a\xF0\x9F\x98\x80" "b\xFF")), hex(std::string("a?b?")));
  EXPECT_EQ(gbk_to_utf8_edge("\xC7\xA9" "a\x80"), "签a€");
  EXPECT_EQ(gbk_to_utf8_edge("\xFF"), "\xEF\xBF\xBD");
  EXPECT_EQ(hex16(ansi_to_wide("\xB3\xC9" "1")), "6210 0031");
  // A COM string with a zero inside ends there as Text.
  EXPECT_EQ(wide_to_ansi(std::u16string(u"ab\0cd", 5)), "ab");
  EXPECT_EQ(hex(wide_to_ansi(u"\u6210\U0001F600")), "B3 C9 3F");
}

}  // namespace
}  // namespace ck::platform
