#include "web/base64.h"

#include <gtest/gtest.h>

#include "tests/support/support.h"

namespace ck {
namespace {

TEST(Base64, EncodesWithPaddingAndNoLineBreaks) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {std::string("\x00\xFF\xFE", 3), "AP/+"},
      {ck::testing::gbk("用户:密码"), "08O7pzrD3MLr"},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(base64_encode(bytes_of(input)), expected) << ck::testing::hex(input);

  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  const Text long_text = base64_encode(all);
  EXPECT_EQ(long_text.size(), 344u);
  EXPECT_EQ(long_text.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(long_text.substr(0, 8), "AAECAwQF");
  EXPECT_EQ(long_text.substr(long_text.size() - 8), "/P3+/w==");
}

}  // namespace
}  // namespace ck
