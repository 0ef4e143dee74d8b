// Percent-encoding and decoding.
#include "text/url.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/support.h"

namespace ck {
namespace {

using ck::testing::gbk;
using ck::testing::hex;

TEST(UrlEncode, Table) {
  struct Case {
    std::string text;
    bool keep, utf8;
    std::string expected;
  } cases[] = {
      {"", false, false, ""},
      {"", true, true, ""},
      {"a b", false, false, "%61%20%62"},
      {"a b", true, false, "a%20b"},
      {"x_y.z-1/2", true, false, "x%5Fy.z-1%2F2"},
      {"~*+AZaz09", true, false, "%7E%2A%2BAZaz09"},
      {"\n", false, false, "%0A"},
      {gbk("签"), false, true, "%E7%AD%BE"},
      {gbk("签"), false, false, "%C7%A9"},
      {gbk("签") + "a", true, true, "%E7%AD%BEa"},
      {"\xFF", false, false, "%FF"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(url_encode(c.text, c.keep, c.utf8), c.expected) << "text " << hex(c.text);
}

TEST(UrlDecode, Table) {
  struct Case {
    std::string text;
    bool utf8;
    std::string expected;
  } cases[] = {
      {"%e4%b8%ad", true, gbk("中")},
      {"%e4%b8%ad", false, "\xE4\xB8\xAD"},
      {"%E4%B8%AD", false, "\xE4\xB8\xAD"},
      {"a+b%2Bc", false, "a+b+c"},
      {"ab%00cd", false, "abcd"},
      {"", false, ""},
      {gbk("签到") + "%21", false, gbk("签到") + "!"},  // double-byte characters are copied
      // Malformed escapes stay as they are.
      {"100%", false, "100%"},
      {"%4", false, "%4"},
      {"%zz1", false, "%zz1"},
      {"%%41", false, "%A"},
      {"%4%41", false, "%4A"},
      {"%e4%b8", true, "?"},  // a cut UTF-8 character
  };
  for (const auto& c : cases)
    EXPECT_EQ(hex(url_decode(c.text, c.utf8)), hex(c.expected)) << "text " << c.text;
}

TEST(UrlCoding, DecodeUndoesEncode) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  for (bool keep : {false, true}) EXPECT_EQ(url_decode(url_encode(all, keep)), all);
  const Text text = gbk("签到成功获得成长值：") + " a&b=c";
  EXPECT_EQ(url_decode(url_encode(text, false, true), true), text);
}

}  // namespace
}  // namespace ck
