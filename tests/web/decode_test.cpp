// The last step of the WinHttp exchange: status, redirect, cookies and the
// answer text with its markup's charset.
#include "web/decode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/message_pump.h"
#include "tests/support/balance.h"
#include "tests/support/support.h"

namespace ck {
namespace {

using ck::testing::gbk;
using ck::testing::hex;

constexpr const char* kOk = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";

// The COM depth at every call of the message pump.
std::vector<int> g_pump_depths;
void recording_pump() { g_pump_depths.push_back(platform::com_init_depth()); }

class DecodeTest : public ck::testing::BalancedTest {
 protected:
  void TearDown() override {
    platform::install_message_pump(nullptr);
    BalancedTest::TearDown();
  }

  // The answer text of `body` under the headers `kOk`, through an exchange's
  // own matcher as the exchange would lend it.
  static Text text_of_page(const std::string& body) {
    RegexMatcher matcher;
    const Bytes bytes = bytes_of(body);
    return decode_winhttp_response({.response_headers = kOk, .body = bytes, .matcher = &matcher});
  }

};

TEST_F(DecodeTest, StatusAndRedirect) {
  const Bytes body = bytes_of("moved");
  Text status = "711 error text of the exchange";
  Text location = "kept";
  Bytes bytes;
  RegexMatcher matcher;
  const Text text = decode_winhttp_response({.response_headers =
                                                 "HTTP/1.1 302 Found\r\nLocation: /a\r\nX: 1\r\nlocation: /b\r\n\r\n",
                                             .body = body,
                                             .matcher = &matcher,
                                             .status_text = &status,
                                             .redirect_location = &location,
                                             .response_bytes = &bytes});
  EXPECT_EQ(text, "moved");
  EXPECT_EQ(status, "302 Found");
  EXPECT_EQ(location, "/b");  // the last Location line wins, in any letter case
  EXPECT_EQ(bytes, body);
}

TEST_F(DecodeTest, StatusLineEdges) {
  struct Case {
    const char* headers;
    const char* status;
  };
  const Case cases[] = {
      {"HTTP/1.1 200 OK\r\n\r\n", "200 OK"},
      {"HTTP/1.1 200 OK", ""},  // no CR LF after it
      {"HTTP/1.1 204\r\n", "204"},
      {"HTTP/1.1 \r\n", ""},
      {"short\r\n", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    const Bytes body;
    Text status = "713 error";
    Text location = "kept";
    decode_winhttp_response(
        {.response_headers = c.headers, .body = body, .status_text = &status, .redirect_location = &location});
    EXPECT_EQ(status, c.status) << hex(c.headers);
    EXPECT_EQ(location, "kept");  // no Location line: not written
  }
}

TEST_F(DecodeTest, Cookies) {
  struct Case {
    const char* headers;
    const char* cookie;
    bool merge;
    const char* response_cookies;
    const char* cookie_after;
  };
  const Case cases[] = {
      {kOk, "a=1", true, "a=1", "a=1"},  // nothing set: the cookie comes back as it was
      {kOk, "", true, "", ""},
      {"HTTP/1.1 200 OK\r\nSet-Cookie: b=3; path=/\r\n\r\n", "a=1; b=2", true, "b=3; a=1", "b=3; a=1"},
      {"HTTP/1.1 200 OK\r\nSet-Cookie: b=3; path=/\r\n\r\n", "a=1; b=2", false, "b=3", "a=1; b=2"},
      // An empty cookie is never merged.
      {"HTTP/1.1 200 OK\r\nSet-Cookie: b=deleted\r\n\r\n", "", true, "b=deleted", ""},
      {"HTTP/1.1 200 OK\r\nSet-Cookie: b=deleted\r\n\r\n", "a=1; b=2", true, "a=1", "a=1"},
  };
  for (const auto& c : cases) {
    const Bytes body;
    Text cookie = c.cookie;
    Text response_cookies = "old";
    decode_winhttp_response({.response_headers = c.headers,
                             .body = body,
                             .cookie = &cookie,
                             .merge_response_cookies = c.merge,
                             .response_cookies = &response_cookies});
    EXPECT_EQ(response_cookies, c.response_cookies) << hex(c.headers) << " cookie '" << c.cookie << "'";
    EXPECT_EQ(cookie, c.cookie_after) << hex(c.headers) << " cookie '" << c.cookie << "'";
  }
  // No cookie variable at all counts as an empty cookie.
  const Bytes body;
  Text response_cookies;
  decode_winhttp_response(
      {.response_headers = "X\r\nSet-Cookie: s=1\r\n", .body = body, .response_cookies = &response_cookies});
  EXPECT_EQ(response_cookies, "s=1");
}

TEST_F(DecodeTest, CharsetOfTheMarkup) {
  const std::string page = "<p>中文，ก</p>";  // GBK has no Thai letters
  const std::string padding(1100, ' ');
  struct Case {
    const char* what;
    std::string body;
    Text expected;
  };
  const Case cases[] = {
      {"JSON without a tag", R"({"a":"1"})", R"({"a":"1"})"},
      {"utf-8, unquoted", "<meta charset=utf-8>" + page, gbk("<meta charset=utf-8><p>中文，?</p>")},
      {"utf-8, quoted", "<meta charset=\"utf-8\">" + page, gbk("<meta charset=\"utf-8\"><p>中文，?</p>")},
      {"http-equiv form", "<META http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">中",
       gbk("<META http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">中")},
      {"BOM and tag", "\xEF\xBB\xBF<meta charset=utf-8>中", gbk("<meta charset=utf-8>中")},
      // "gbk" and "gb2312" leave the bytes alone (0xFF is no GBK byte) ...
      {"gbk", "<meta charset=gbk>\xFF", "<meta charset=gbk>\xFF"},
      {"gb2312", "<meta charset='gb2312'>\xFF", "<meta charset='gb2312'>\xFF"},
      // ... "GBK" in capitals goes through the stream, which cannot read 0xFF.
      {"GBK", "<meta charset=GBK>\xFF" + gbk("中"), "<meta charset=GBK>?" + gbk("中")},
      {"tag after byte 1024", padding + "<meta charset=utf-8>中", padding + "<meta charset=utf-8>中"},
      {"tag ending at byte 1024", std::string(1024 - 20, ' ') + "<meta charset=utf-8>中",
       std::string(1024 - 20, ' ') + gbk("<meta charset=utf-8>中")},
      {"tag and charset on two lines", "<meta\r\ncharset=utf-8>中", "<meta\r\ncharset=utf-8>中"},
      {"charset outside a tag", "<p>charset=utf-8</p>中", "<p>charset=utf-8</p>中"},
      // A charset the stream does not know keeps the undecoded text.
      {"unknown charset", "<meta charset=x-no-such>中", "<meta charset=x-no-such>中"},
      // A zero byte ends the text, decoded or not.
      {"zero byte, no tag", std::string("ab\0cd", 5), "ab"},
      {"zero byte after a tag", std::string("<meta charset=utf-8>\xE4\xB8\xAD\0tail", 28),
       gbk("<meta charset=utf-8>中")},
      {"empty body", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(hex(text_of_page(c.body)), hex(c.expected)) << c.what;
}

TEST_F(DecodeTest, ContentTypeHeaderIsNotConsulted) {
  const Bytes body = bytes_of("<p>中文</p>");
  RegexMatcher matcher;
  const Text text = decode_winhttp_response({.response_headers = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n",
                                             .body = body,
                                             .matcher = &matcher});
  EXPECT_EQ(hex(text), hex(body));
}

TEST_F(DecodeTest, ZeroByteKeepsTheWholeBody) {
  const Bytes body = {'a', 'b', 0, 'c', 0};
  Bytes bytes = {9, 9};
  RegexMatcher matcher;
  EXPECT_EQ(decode_winhttp_response({.response_headers = kOk, .body = body, .matcher = &matcher, .response_bytes = &bytes}),
            "ab");
  EXPECT_EQ(hex(bytes), hex(body));
}

TEST_F(DecodeTest, ObjectsThatCannotBeCreated) {
  const Bytes body = bytes_of("<meta charset=utf-8>中");
  {
    platform::ScopedCreationFailure no_stream("Adodb.Stream");
    RegexMatcher matcher;
    EXPECT_EQ(hex(decode_winhttp_response({.response_headers = kOk, .body = body, .matcher = &matcher})), hex(body));
  }
  {
    platform::ScopedCreationFailure no_regexp("VBScript.RegExp");
    RegexMatcher matcher;
    EXPECT_EQ(hex(decode_winhttp_response({.response_headers = kOk, .body = body, .matcher = &matcher})), hex(body));
  }
}

TEST_F(DecodeTest, WithoutALentMatcher) {
  const Bytes body = bytes_of("<meta charset=utf-8>中");
  EXPECT_EQ(hex(decode_winhttp_response({.response_headers = kOk, .body = body})),
            hex(gbk("<meta charset=utf-8>中")));
}

TEST_F(DecodeTest, MessagesOncePerHeaderLineAndAroundTheCharsetStep) {
  const Bytes body = bytes_of("<meta charset=utf-8>中");
  for (int n : {0, 1, 5, 200}) {
    std::string headers = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < n; ++i) headers += "X-Line-" + std::to_string(i) + ": v\r\n";
    headers += "\r\n";  // the blank line that ends the block is a line too
    const int lines = n + 2;

    g_pump_depths.clear();
    platform::install_message_pump(&recording_pump);
    const std::uint64_t before = platform::pending_message_calls();
    RegexMatcher matcher;
    const int held = platform::com_init_depth();
    decode_winhttp_response({.response_headers = headers, .body = body, .matcher = &matcher});
    platform::install_message_pump(nullptr);

    EXPECT_EQ(platform::pending_message_calls() - before, static_cast<std::uint64_t>(lines + 2)) << n;
    ASSERT_EQ(g_pump_depths.size(), static_cast<std::size_t>(lines + 2)) << n;
    // Header lines under the matcher's COM; the charset step holds one more,
    // released between the last two calls.
    for (int i = 0; i < lines; ++i) EXPECT_EQ(g_pump_depths[static_cast<std::size_t>(i)], held) << n;
    EXPECT_EQ(g_pump_depths[static_cast<std::size_t>(lines)], held + 1) << n;
    EXPECT_EQ(g_pump_depths[static_cast<std::size_t>(lines + 1)], held) << n;
  }
}

TEST_F(DecodeTest, LentMatcherHoldsTheCharsetRun) {
  RegexMatcher matcher;
  const Bytes body = bytes_of("<meta charset=\"utf-8\">");
  decode_winhttp_response({.response_headers = kOk, .body = body, .matcher = &matcher});
  EXPECT_EQ(matcher.submatch_text(1, 1), "utf-8");
  int position = -1;
  matcher.submatch_text(1, 1, &position);
  EXPECT_EQ(position, 15);
}

}  // namespace
}  // namespace ck
