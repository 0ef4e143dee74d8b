// The COM exchange against real servers on 127.0.0.1.
#include "web/http_com.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/winhttp.h"
#include "tests/support/local_server.h"
#include "tests/support/balance.h"
#include "tests/support/support.h"

namespace ck {
namespace {

using ck::testing::gbk;
using ck::testing::hex;
using ck::testing::HttpServer;
using ck::testing::RawServer;
using ck::testing::RecordedRequest;
using ck::testing::Reply;
using ck::testing::TinyProxy;
using platform::WinHttpRequest;

std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The header lines of a raw request, without the Host line.
std::vector<std::string> wire_headers(const std::string& raw) { return testing::wire_headers(raw, false); }

constexpr const char* kDefaultAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

class HttpComTest : public ck::testing::BalancedTest {
 protected:
};

TEST_F(HttpComTest, ThePostOfTheSessionRefreshSendsItsHeadersInOrder) {
  RawServer server(RawServer::reply(
      "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nSet-Cookie: s=2; path=/\r\n\r\n{ok}"));
  const std::string url = server.url("/user/auth_refresh?vstk=1");
  Text cookie = "a=1; s=1";
  Text headers = "User-Agent: Agent/1.0";
  Text response_headers, response_cookies;
  int status = -1;
  const Bytes body = http_request_com({.url = url,
                                       .method = 1,
                                       .cookie = &cookie,
                                       .response_cookies = &response_cookies,
                                       .request_headers = &headers,
                                       .response_headers = &response_headers,
                                       .status_code = &status});
  EXPECT_EQ(text(body), "{ok}");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(response_headers.find("HTTP/"), std::string::npos) << "the object's block has no status line";
  EXPECT_NE(response_headers.find("Set-Cookie: s=2; path=/\r\n"), std::string::npos);
  EXPECT_EQ(cookie, "s=2; a=1");
  EXPECT_EQ(response_cookies, cookie);
  EXPECT_EQ(headers, "User-Agent: Agent/1.0\r\nAccept: */*\r\nReferer: " + url +
                         "\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded");

  ASSERT_EQ(server.raw_requests().size(), 1u);
  const std::string raw = server.raw_requests()[0];
  EXPECT_EQ(raw.rfind("POST /user/auth_refresh?vstk=1 HTTP/1.1\r\n", 0), 0u) << raw;
  EXPECT_EQ(wire_headers(raw),
            (std::vector<std::string>{"Cookie: a=1; s=1", "User-Agent: Agent/1.0", "Accept: */*", "Referer: " + url,
                                      "Accept-Language: zh-cn", "Content-Type: application/x-www-form-urlencoded",
                                      "Content-Length: 0"}));
}

TEST_F(HttpComTest, DefaultsAndTheLinesPassedOn) {
  HttpServer server;
  const std::string url = server.url("/d");

  Text empty;
  http_request_com({.url = url, .request_headers = &empty});
  RecordedRequest got = server.last_request();
  EXPECT_EQ(got.method, "GET");
  EXPECT_EQ(got.header("Accept"), "*/*");
  EXPECT_EQ(got.header("Referer"), url);
  EXPECT_EQ(got.header("Accept-Language"), "zh-cn");
  EXPECT_EQ(got.header("User-Agent"), kDefaultAgent);
  EXPECT_FALSE(got.has_header("Content-Type")) << "a GET gets no default Content-Type";
  EXPECT_FALSE(got.has_header("Cookie")) << "an omitted cookie sets no Cookie header";

  Text headers = "x-requested-with: 1\r\naccept: text/x\r\nConnection: keep-alive\r\nno colon\r\nuser-agent: X";
  http_request_com({.url = url, .method = 9, .request_headers = &headers});
  got = server.last_request();
  EXPECT_EQ(got.method, "GET");
  EXPECT_EQ(got.header("X-Requested-With"), "1");
  EXPECT_EQ(got.header_count("Accept"), 1);
  EXPECT_EQ(got.header("Accept"), "text/x");
  EXPECT_EQ(got.header("User-Agent"), "X");
  EXPECT_FALSE(got.has_header("Connection"));
  EXPECT_EQ(headers.find("no colon"), std::string::npos) << "normalising drops lines without a colon";

  headers = "Connection: close";
  http_request_com({.url = url, .method = -2, .request_headers = &headers, .add_default_headers = false});
  got = server.last_request();
  EXPECT_EQ(got.method, "GET");
  EXPECT_EQ(got.header("Connection"), "close");
  EXPECT_FALSE(got.has_header("Referer"));
  EXPECT_EQ(got.header("User-Agent"), "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)")
      << "without defaults the object's own agent goes";
}

TEST_F(HttpComTest, AnEscapedUrlAndAHead) {
  HttpServer server;
  int status = 0;
  EXPECT_EQ(text(http_request_com({.url = server.url(gbk("/路 径?q=签 到")), .status_code = &status})), "ok");
  EXPECT_EQ(server.last_request().target, "/%E8%B7%AF%20%E5%BE%84?q=%E7%AD%BE%20%E5%88%B0");

  EXPECT_TRUE(http_request_com({.url = server.url("/h"), .method = 2, .status_code = &status}).empty());
  EXPECT_EQ(server.last_request().method, "HEAD");
  EXPECT_EQ(status, 200);
}

TEST_F(HttpComTest, TheCookieMattersWhenSuppliedEvenEmpty) {
  HttpServer server;
  server.on("/c", [](const RecordedRequest&) { return Reply{.status = 200, .headers = {{"Set-Cookie", "s=1"}}}; });
  const std::string url = server.url("/c");
  Text response_cookies;

  http_request_com({.url = url, .response_cookies = &response_cookies});
  EXPECT_EQ(response_cookies, "s=1");

  Text cookie;
  http_request_com({.url = url, .cookie = &cookie, .response_cookies = &response_cookies});
  EXPECT_FALSE(server.last_request().has_header("Cookie")) << "an empty Cookie header is not sent";
  EXPECT_EQ(cookie, "s=1") << "a supplied empty cookie is merged into";

  cookie = "Cookie: a=1";
  http_request_com({.url = url, .cookie = &cookie, .merge_response_cookies = false});
  EXPECT_EQ(server.last_request().header("Cookie"), "a=1");
  EXPECT_EQ(cookie, " a=1") << "only the marker is taken out of the caller's variable";
  http_request_com({.url = url, .cookie = &cookie});
  EXPECT_EQ(cookie, "s=1; a=1");
}

TEST_F(HttpComTest, BodiesTimeoutsRedirectsAndHttps) {
  HttpServer server(HttpServer::Tls::On);
  server.on("/r", [](const RecordedRequest&) { return Reply{.status = 302, .headers = {{"Location", "/t"}}, .body = "moved"}; });
  server.on("/t", [](const RecordedRequest&) { return Reply{.body = "target"}; });
  int status = 0;
  EXPECT_EQ(text(http_request_com({.url = server.url("/r"), .status_code = &status})), "target");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(text(http_request_com({.url = server.url("/r"), .status_code = &status, .no_redirect = true})), "moved");
  EXPECT_EQ(status, 302);

  const Bytes bytes = {0x00, 0xFF};
  http_request_com({.url = server.url("/b"), .method = 1, .body_text = "ignored", .body_bytes = bytes});
  EXPECT_EQ(hex(server.last_request().body), "00 FF");
  http_request_com({.url = server.url("/b"), .method = 1, .body_text = "a=" + gbk("签")});
  EXPECT_EQ(hex(server.last_request().body), hex("a=\xE7\xAD\xBE")) << "a text body travels as UTF-8";

  RawServer silent(RawServer::never_answer());
  Text response_headers = "before";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(http_request_com({.url = silent.url("/"),
                                .response_headers = &response_headers,
                                .status_code = &status,
                                .timeout_seconds = 1})
                  .empty());
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.5);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(response_headers, "");

  status = 7;
  EXPECT_TRUE(http_request_com({.url = "http://127.0.0.1:" + std::to_string(ck::testing::unused_port()) + "/",
                                .status_code = &status})
                  .empty());
  EXPECT_EQ(status, 0);
}

TEST_F(HttpComTest, ProxyWithBasicCredentials) {
  TinyProxy proxy("pu", "pp");
  ASSERT_TRUE(proxy.running());
  HttpServer plain;
  HttpServer secure(HttpServer::Tls::On);
  int status = 0;

  http_request_com({.url = plain.url("/a"), .status_code = &status, .proxy = proxy.address()});
  EXPECT_EQ(status, 407) << "no user, no Proxy-Authorization";
  http_request_com({.url = plain.url("/a"),
                    .status_code = &status,
                    .proxy = proxy.address(),
                    .proxy_user = "pu",
                    .proxy_password = "pp",
                    .proxy_auth_mode = 0});
  EXPECT_EQ(status, 407) << "another mode sends no credentials";

  EXPECT_EQ(text(http_request_com({.url = plain.url("/a"),
                                   .status_code = &status,
                                   .proxy = proxy.address(),
                                   .proxy_user = "pu",
                                   .proxy_password = "pp"})),
            "ok");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(text(http_request_com({.url = secure.url("/b"),
                                   .status_code = &status,
                                   .proxy = proxy.address(),
                                   .proxy_user = "pu",
                                   .proxy_password = "pp"})),
            "ok");
  EXPECT_EQ(secure.last_request().target, "/b");
  EXPECT_FALSE(secure.last_request().has_header("Proxy-Authorization")) << "the credentials stay with the proxy";
  EXPECT_EQ(proxy.requests().size(), 4u);
}

TEST_F(HttpComTest, WhenNoObjectCanBeCreatedNothingIsTouched) {
  HttpServer server;
  platform::ScopedCreationFailure failing{std::string(WinHttpRequest::kProgId)};
  Text cookie = "a=1", headers = "X: 1", response_headers = "kept", response_cookies = "kept";
  int status = 5;
  EXPECT_TRUE(http_request_com({.url = server.url("/"),
                                .cookie = &cookie,
                                .response_cookies = &response_cookies,
                                .request_headers = &headers,
                                .response_headers = &response_headers,
                                .status_code = &status})
                  .empty());
  EXPECT_EQ(cookie, "a=1");
  EXPECT_EQ(headers, "X: 1");
  EXPECT_EQ(response_headers, "kept");
  EXPECT_EQ(response_cookies, "kept");
  EXPECT_EQ(status, 5);
  EXPECT_EQ(server.request_count(), 0u);
}

TEST_F(HttpComTest, ASuppliedObjectIsUsedAndOutlivesTheExchange) {
  HttpServer server;
  platform::ComScope com;
  auto object = platform::create_object<WinHttpRequest>();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(text(http_request_com({.url = server.url("/mine"), .request_object = object})), "ok");
  EXPECT_EQ(object.use_count(), 1) << "the exchange released its own reference";
  EXPECT_EQ(object->status(), 200) << "the request went through the caller's object";

  // Supplied but empty: nothing is created, every call fails, the outputs
  // show a failed exchange.
  Text cookie = " a=1 ;b=2", headers, response_headers = "before";
  int status = 9;
  EXPECT_TRUE(http_request_com({.url = server.url("/none"),
                                .cookie = &cookie,
                                .request_headers = &headers,
                                .response_headers = &response_headers,
                                .status_code = &status,
                                .request_object = std::shared_ptr<WinHttpRequest>()})
                  .empty());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(response_headers, "");
  EXPECT_EQ(cookie, "a=1; b=2") << "merged with nothing, normalised";
  EXPECT_NE(headers.find("Accept: */*"), std::string::npos);
  EXPECT_EQ(server.request_count(), 1u);
  object.reset();
}

}  // namespace
}  // namespace ck
