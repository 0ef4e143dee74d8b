// Conversions between GBK text, UTF-8 and UTF-16LE bytes, and the
// re-encoding through the byte-stream object.
#include "text/codepage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/com.h"
#include "tests/support/balance.h"
#include "tests/support/support.h"

namespace ck {
namespace {

using ck::testing::gbk;
using ck::testing::hex;
using namespace std::string_literals;

Bytes raw(std::string_view s) { return bytes_of(s); }

// Every case leaves COM as it found it and no object alive.
using Balanced = ck::testing::BalancedTest;

using ConvertCharset = Balanced;

TEST_F(ConvertCharset, Table) {
  const std::string qiandao8 = "\xE7\xAD\xBE\xE5\x88\xB0";  // 签到 in UTF-8
  struct Case {
    std::string in, from, to;
    std::optional<long> skip;
    std::string out;
  } cases[] = {
      {qiandao8, "UTF-8", "GBK", std::nullopt, "\xC7\xA9\xB5\xBD"},
      {qiandao8, "", "GBK", std::nullopt, "\xC7\xA9\xB5\xBD"},  // "" is the default
      {qiandao8, "utf-8", "", std::nullopt, "\xC7\xA9\xB5\xBD"},
      {qiandao8, "UTF-8", "GBK", 2, "\xB5\xBD"},
      {qiandao8, "UTF-8", "GBK", 0, "\xC7\xA9\xB5\xBD"},
      {qiandao8, "UTF-8", "GBK", 4, ""},  // skipping the whole output leaves nothing
      {qiandao8, "UTF-8", "GBK", 9, ""},  // ... as does skipping more
      {qiandao8, "UTF-8", "GBK", -1, "\xC7\xA9\xB5\xBD"},  // a negative skip is refused: nothing skipped
      {"\xC7\xA9", "GBK", "UTF-8", std::nullopt, "\xE7\xAD\xBE"},
      {"\xC7\xA9", "GBK", "Unicode", std::nullopt, "\x7E\x7B"},  // no byte-order mark written
      {"\xEF\xBB\xBF" + qiandao8, "UTF-8", "GBK", std::nullopt, "\xC7\xA9\xB5\xBD"},  // the mark is skipped
      {"", "UTF-8", "GBK", std::nullopt, ""},
      {"{\"a\":\"\xE2\x82\xAC\"}", "UTF-8", "GBK", std::nullopt, "{\"a\":\"\x80\"}"},
      // The decoded text passes the automation interface as ANSI text: what
      // GBK cannot hold arrives as "?", and the text ends at a zero.
      {"a\xF0\x9F\x98\x80" "b", "UTF-8", "UTF-8", std::nullopt, "a?b"},
      {"ab\0cd"s, "UTF-8", "GBK", std::nullopt, "ab"},
      {"\xA4\xA4", "Big5", "GBK", std::nullopt, "\xD6\xD0"},  // 中
      {"caf\xE9", "ISO-8859-1", "UTF-8", std::nullopt, "caf\xC3\xA9"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(hex(convert_charset(raw(c.in), c.from, c.to, c.skip)), hex(c.out))
        << "in " << hex(c.in) << " from " << c.from << " to " << c.to;
}

TEST_F(ConvertCharset, DefaultsAreUtf8ToGbk) {
  EXPECT_EQ(hex(convert_charset(raw("\xE7\xAD\xBE\xE5\x88\xB0"))), "C7 A9 B5 BD");
}

TEST_F(ConvertCharset, UnknownCharsetStepFailsAndTheRestRuns) {
  // Setting the charset fails, so the bytes are read with the object's
  // default (UTF-16LE), as the object would.
  const Bytes in = raw("a\0b\0"s);
  EXPECT_EQ(hex(convert_charset(in, "no-such-charset", "GBK")), "61 62");
  // An unknown target keeps the charset the object last had: the source's.
  EXPECT_EQ(hex(convert_charset(raw("\xE7\xAD\xBE"), "UTF-8", "no-such-charset")), "E7 AD BE");
}

TEST_F(ConvertCharset, StreamObjectThatCannotBeCreatedGivesEmptyBytes) {
  platform::ScopedCreationFailure failing("Adodb.Stream");
  EXPECT_TRUE(convert_charset(raw("\xE7\xAD\xBE")).empty());
}

TEST_F(ConvertCharset, WorksWhetherOrNotComIsAlreadyInitialised) {
  platform::ComScope outer;
  EXPECT_EQ(hex(convert_charset(raw("\xE5\x88\xB0"))), "B5 BD");
  EXPECT_EQ(platform::com_init_depth(), start_depth() + 1);
}

TEST(Utf16, Table) {
  EXPECT_TRUE(gbk_to_utf16("").empty());
  EXPECT_TRUE(gbk_to_utf16("", true).empty());
  EXPECT_EQ(hex(gbk_to_utf16("ab")), "61 00 62 00 00 00");
  EXPECT_EQ(hex(gbk_to_utf16("ab", true)), "61 00 62 00");
  EXPECT_EQ(hex(gbk_to_utf16("\xC7\xA9" "\x80")), "7E 7B AC 20 00 00");
  EXPECT_EQ(hex(gbk_to_utf16("\xC7")), "FD FF 00 00");  // a lone lead byte

  EXPECT_EQ(utf16_to_gbk(raw("a\0b"s)), "a");  // odd last byte ignored
  EXPECT_EQ(utf16_to_gbk(Bytes{}), "");
  EXPECT_EQ(utf16_to_gbk(raw("a\0b\0"s)), "ab");  // no zero unit: all units
  EXPECT_EQ(utf16_to_gbk(raw("a\0\0\0b\0"s)), "a");  // a zero unit ends the text
  EXPECT_EQ(hex(utf16_to_gbk(raw("\x7E\x7B\x3D\xD8\x00\xDE"s))), "C7 A9 3F");  // U+1F600 has no GBK form

  EXPECT_EQ(hex(multibyte_to_utf16("")), "00 00");
  EXPECT_EQ(hex(multibyte_to_utf16("\xE7\xAD\xBE")), "7E 7B 00 00");
  EXPECT_EQ(hex(multibyte_to_utf16("\xC7\xA9", 936)), "7E 7B 00 00");
  EXPECT_EQ(hex(multibyte_to_utf16("a", 1252)), "00 00");  // an unsupported code page converts nothing
  EXPECT_EQ(hex(utf16_to_multibyte(raw("\x7E\x7B\0\0\x41\0"s))), "C7 A9");  // default: the ANSI code page
  EXPECT_EQ(hex(utf16_to_multibyte(raw("\x7E\x7B"s), 65001)), "E7 AD BE");
  EXPECT_EQ(utf16_to_multibyte(raw("a\0"s), 1252), "");
  EXPECT_EQ(utf16_to_multibyte(Bytes{}, 65001), "");
}

TEST(Utf8, RoundTripsAndEdges) {
  const Text zhong = gbk("中");
  EXPECT_EQ(hex(gbk_to_utf8(zhong)), "E4 B8 AD");
  EXPECT_EQ(utf8_to_gbk(gbk_to_utf8(zhong)), zhong);
  EXPECT_EQ(gbk_to_utf8(""), "");
  EXPECT_EQ(utf8_to_gbk(""), "");
  EXPECT_EQ(hex(utf8_to_gbk("a\xF0\x9F\x98\x80")), "61 3F");
  EXPECT_EQ(hex(utf8_to_gbk("\xFF" "a")), "3F 61");  // ill-formed UTF-8: U+FFFD, then "?"
  EXPECT_EQ(hex(gbk_to_utf8("\xFF")), "EF BF BD");
}

// Long texts are converted in pieces; the result must equal the two-step
// conversion through whole UTF-16, whatever stands at the cuts, invalid
// bytes and runs without any ASCII included.
TEST(Utf8, LongTextsEqualTheTwoStepConversion) {
  std::srand(5);
  const char pool[] = {'a', ';', '\x40', '\x7E', '\x80', '\x81', '\xA1', '\xC7', '\xA9', '\xE7', '\xAD',
                       '\xBE', '\xF0', '\x9F', '\xFE', '\xFF'};
  for (int round = 0; round < 6; ++round) {
    std::string text;
    const std::size_t size = 40000 + static_cast<std::size_t>(std::rand() % 30000);
    while (text.size() < size) {
      if (round % 2 && std::rand() % 5000 == 0) text.append(20000, '\xB0');  // a long run without ASCII
      text += pool[std::rand() % sizeof pool];
    }
    const Text two_step8 = utf16_to_multibyte(multibyte_to_utf16(text, 936), 65001);
    ASSERT_TRUE(gbk_to_utf8(text) == two_step8) << "round " << round;
    const Text two_step_gbk = utf16_to_multibyte(multibyte_to_utf16(text, 65001), 936);
    ASSERT_TRUE(utf8_to_gbk(text) == two_step_gbk) << "round " << round;
    ASSERT_TRUE(utf8_to_gbk(two_step8) == utf16_to_multibyte(multibyte_to_utf16(two_step8, 65001), 936));
  }
}

// Every character GBK defines, through the text layer and the stream object,
// against Python's codecs: GBK -> UTF-8 and back.
TEST_F(Balanced, WholeGbkTableAgainstPython) {
  ck::testing::TempDir dir;
  ck::testing::write_whole_file(dir.path() / "ref.py", R"(
import sys
g, u = [], []
for lead in range(0x81, 0xFF):
    for trail in range(0x40, 0xFF):
        b = bytes([lead, trail])
        try: c = b.decode('gbk')
        except UnicodeDecodeError: continue
        g.append(b); u.append(c.encode('utf-8'))
open(sys.argv[1], 'wb').write(b''.join(g) + b'\0' + b''.join(u))
)");
  const std::string cmd =
      "python3 '" + (dir.path() / "ref.py").string() + "' '" + (dir.path() / "out").string() + "'";
  if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "python3 not available";
  const std::string ref = ck::testing::read_whole_file(dir.path() / "out");
  const std::size_t zero = ref.find('\0');
  const Text gbk_all = ref.substr(0, zero);
  const std::string utf8_all = ref.substr(zero + 1);
  ASSERT_GT(gbk_all.size(), 40000u);

  const Text to8 = gbk_to_utf8(gbk_all);
  ASSERT_EQ(to8.size(), utf8_all.size());
  EXPECT_TRUE(to8 == utf8_all);
  const Text back = utf8_to_gbk(utf8_all);
  ASSERT_EQ(back.size(), gbk_all.size());
  EXPECT_TRUE(back == gbk_all);
  EXPECT_TRUE(utf16_to_gbk(gbk_to_utf16(gbk_all)) == gbk_all);

  const Bytes streamed = convert_charset(bytes_of(utf8_all));
  EXPECT_TRUE(text_of(streamed) == gbk_all);
  const Bytes streamed8 = convert_charset(bytes_of(gbk_all), "GBK", "UTF-8");
  EXPECT_TRUE(text_of(streamed8) == utf8_all);
}

}  // namespace
}  // namespace ck
