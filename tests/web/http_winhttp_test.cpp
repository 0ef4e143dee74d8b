// The WinHttp exchange against real servers on 127.0.0.1.
#include "web/http_winhttp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/message_pump.h"
#include "platform/winhttp.h"
#include "tests/support/local_server.h"
#include "tests/support/balance.h"
#include "tests/support/support.h"
#include "web/literals.h"

namespace ck {
namespace {

using ck::testing::gbk;
using ck::testing::hex;
using ck::testing::HttpServer;
using ck::testing::RawServer;
using ck::testing::RecordedRequest;
using ck::testing::Reply;
using ck::testing::TinyProxy;
using literals::WinHttpError;
using platform::WinHttpCall;

const Text& error_text(WinHttpError e) { return literals::winhttp_error(e); }

// The header lines of a raw request, without the Host line.
std::vector<std::string> wire_headers(const std::string& raw) { return testing::wire_headers(raw, false); }

class HttpWinhttpTest : public ck::testing::BalancedTest {
 protected:
};

TEST_F(HttpWinhttpTest, AGetWithACookieSendsTheDefaultBlockAndMergesTheAnswer) {
  RawServer server(RawServer::reply(
      "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nSet-Cookie: s=9; path=/\r\nSet-Cookie: a=2\r\n\r\nhello"));
  Text cookie = "a=1; b=2";
  Text response_cookies, response_headers, status, location = "kept";
  Bytes bytes;
  const Text page = http_request_winhttp({.url = server.url("/task?x=1"),
                                          .cookie = &cookie,
                                          .response_cookies = &response_cookies,
                                          .response_headers = &response_headers,
                                          .redirect_location = &location,
                                          .status_text = &status,
                                          .response_bytes = &bytes});
  EXPECT_EQ(page, "hello");
  EXPECT_EQ(status, "200 OK");
  EXPECT_EQ(hex(bytes), hex(bytes_of("hello")));
  EXPECT_EQ(response_headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(cookie, "s=9; a=2; b=2");
  EXPECT_EQ(response_cookies, cookie);
  EXPECT_EQ(location, "kept") << "no Location line, nothing written";

  ASSERT_EQ(server.raw_requests().size(), 1u);
  const std::string raw = server.raw_requests()[0];
  EXPECT_EQ(raw.rfind("GET /task?x=1 HTTP/1.1\r\n", 0), 0u) << raw;
  EXPECT_EQ(wire_headers(raw),
            (std::vector<std::string>{"User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
                                      "Accept: text/html, application/xhtml+xml, */*", "Accept-Encoding: gbk, GB2312",
                                      "Accept-Language: zh-cn", "Cache-Control: no-cache", "Cookie: a=1; b=2"}));
}

struct HeaderCase {
  const char* name;
  HttpRequestWinhttp args;
  std::function<void(const RecordedRequest&)> check;
};

TEST_F(HttpWinhttpTest, DefaultLinesGiveWayToTheCallersAndTheCookieRules) {
  HttpServer server;
  const std::string url = server.url("/h");
  Text cookie_a = "a=1";
  Text cookie_line = "Cookie: a=1";
  const HeaderCase cases[] = {
      {"POST gets a form Content-Type",
       {.url = url, .method = 1},
       [](const RecordedRequest& r) {
         EXPECT_EQ(r.method, "POST");
         EXPECT_EQ(r.header("Content-Type"), "application/x-www-form-urlencoded");
       }},
      {"a caller's content-type in any case wins",
       {.url = url, .method = 1, .request_headers = "content-type: text/plain"},
       [](const RecordedRequest& r) {
         EXPECT_EQ(r.header_count("Content-Type"), 1);
         EXPECT_EQ(r.header("Content-Type"), "text/plain");
       }},
      {"GET gets no Content-Type", {.url = url}, [](const RecordedRequest& r) { EXPECT_FALSE(r.has_header("Content-Type")); }},
      {"method 9 is GET", {.url = url, .method = 9}, [](const RecordedRequest& r) { EXPECT_EQ(r.method, "GET"); }},
      {"method -1 is GET", {.url = url, .method = -1}, [](const RecordedRequest& r) { EXPECT_EQ(r.method, "GET"); }},
      {"method 5 is DELETE", {.url = url, .method = 5}, [](const RecordedRequest& r) { EXPECT_EQ(r.method, "DELETE"); }},
      {"a caller's user-agent keeps out the default",
       {.url = url, .request_headers = "user-agent: X"},
       [](const RecordedRequest& r) {
         EXPECT_EQ(r.header_count("User-Agent"), 1);
         EXPECT_EQ(r.header("User-Agent"), "X");
       }},
      {"User-Agent:X without a blank does not",
       {.url = url, .request_headers = "User-Agent:X"},
       [](const RecordedRequest& r) { EXPECT_EQ(r.header_count("User-Agent"), 2); }},
      {"no defaults: only the Cookie line",
       {.url = url, .cookie = &cookie_a, .add_default_headers = false},
       [](const RecordedRequest& r) {
         EXPECT_EQ(r.header("Cookie"), "a=1");
         for (const char* name : {"User-Agent", "Accept", "Accept-Encoding", "Accept-Language", "Cache-Control"})
           EXPECT_FALSE(r.has_header(name)) << name;
       }},
      {"Connection: keep-alive is removed",
       {.url = url, .request_headers = "Connection: keep-alive"},
       [](const RecordedRequest& r) { EXPECT_FALSE(r.has_header("Connection")); }},
      {"Connection: close stays",
       {.url = url, .request_headers = "Connection: close"},
       [](const RecordedRequest& r) { EXPECT_EQ(r.header("Connection"), "close"); }},
      {"a cookie given as a Cookie line",
       {.url = url, .cookie = &cookie_line},
       [](const RecordedRequest& r) {
         EXPECT_EQ(r.header_count("Cookie"), 1);
         EXPECT_EQ(r.header("Cookie"), "a=1");
       }},
      {"a caller's Cookie line keeps the cookie argument out",
       {.url = url, .cookie = &cookie_a, .request_headers = "Cookie: b=2"},
       [](const RecordedRequest& r) {
         EXPECT_EQ(r.header_count("Cookie"), 1);
         EXPECT_EQ(r.header("Cookie"), "b=2");
       }},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    cookie_a = "a=1";
    cookie_line = "Cookie: a=1";
    Text status;
    HttpRequestWinhttp args = k.args;
    args.status_text = &status;
    args.merge_response_cookies = false;
    http_request_winhttp(args);
    EXPECT_EQ(status, "200 OK");
    k.check(server.last_request());
  }
}

TEST_F(HttpWinhttpTest, BodiesAsTextOrBytesAndHead) {
  HttpServer server;
  http_request_winhttp({.url = server.url("/p"), .method = 1, .body_text = "a=1&b=" + gbk("签到")});
  EXPECT_EQ(hex(server.last_request().body), hex("a=1&b=" + gbk("签到"))) << "a text body goes as its GBK bytes";

  const Bytes bytes = {0x00, 0x01, 0x00, 0xFF};
  http_request_winhttp({.url = server.url("/p"), .method = 3, .body_text = "ignored", .body_bytes = bytes});
  EXPECT_EQ(server.last_request().method, "PUT");
  EXPECT_EQ(hex(server.last_request().body), "00 01 00 FF") << "body bytes win";

  Text status;
  Bytes answer = {1};
  const Text page =
      http_request_winhttp({.url = server.url("/p"), .method = 2, .status_text = &status, .response_bytes = &answer});
  EXPECT_EQ(server.last_request().method, "HEAD");
  EXPECT_EQ(status, "200 OK");
  EXPECT_EQ(page, "");
  EXPECT_TRUE(answer.empty());
}

TEST_F(HttpWinhttpTest, HttpsWithASelfSignedCertificateAndBasicAuthentication) {
  HttpServer server(HttpServer::Tls::On);
  Text status;
  const Text page = http_request_winhttp(
      {.url = server.url("/s"), .server_user = "user", .server_password = gbk("密码"), .status_text = &status});
  EXPECT_EQ(page, "ok");
  EXPECT_EQ(status, "200 OK");
  EXPECT_EQ(server.last_request().header("Authorization"), "Basic dXNlcjrD3MLr") << "user:密码 in GBK";

  http_request_winhttp({.url = server.url("/s"), .server_user = "user"});
  EXPECT_FALSE(server.last_request().has_header("Authorization")) << "a user without a password sets nothing";
}

TEST_F(HttpWinhttpTest, RedirectsAreFollowedUnlessTurnedOff) {
  HttpServer server;
  server.on("/r1", [](const RecordedRequest&) {
    return Reply{.status = 302, .headers = {{"Location", "/next"}}, .body = "moved"};
  });
  server.on("/next", [](const RecordedRequest&) { return Reply{.body = "end"}; });
  Text status, location = "kept";
  EXPECT_EQ(http_request_winhttp({.url = server.url("/r1"), .redirect_location = &location, .status_text = &status}),
            "end");
  EXPECT_EQ(status, "200 OK");
  EXPECT_EQ(location, "kept");

  EXPECT_EQ(http_request_winhttp(
                {.url = server.url("/r1"), .no_redirect = true, .redirect_location = &location, .status_text = &status}),
            "moved");
  EXPECT_EQ(location, "/next");
  EXPECT_EQ(status, "302 Found");
}

TEST_F(HttpWinhttpTest, BlanksAndChineseInTheUrlArriveEscapedAsUtf8) {
  HttpServer server;
  http_request_winhttp({.url = server.url(gbk("/路 径/中文?q=签 到&x=%41"))});
  EXPECT_EQ(server.last_request().target, "/%E8%B7%AF%20%E5%BE%84/%E4%B8%AD%E6%96%87?q=%E7%AD%BE%20%E5%88%B0&x=%41");

  http_request_winhttp({.url = server.url("?a=1")});
  EXPECT_EQ(server.last_request().target, "/?a=1") << "the query of a URL without a path is kept";
  http_request_winhttp({.url = server.url("")});
  EXPECT_EQ(server.last_request().target, "/");
  http_request_winhttp({.url = server.url("/p?a=1#f")});
  EXPECT_EQ(server.last_request().target, "/p?a=1") << "the fragment stays with the client";
}

TEST_F(HttpWinhttpTest, CookiesMergeOnlyWhenAskedAndNotEmpty) {
  HttpServer server;
  server.on("/c", [](const RecordedRequest&) {
    return Reply{.status = 200, .headers = {{"Set-Cookie", "b=3; path=/"}, {"Set-Cookie", "a=deleted"}}};
  });
  Text cookie = "a=1; b=2; c=4";
  Text response_cookies;
  http_request_winhttp({.url = server.url("/c"), .cookie = &cookie, .response_cookies = &response_cookies});
  EXPECT_EQ(cookie, "b=3; c=4");
  EXPECT_EQ(response_cookies, "b=3; c=4");

  cookie = "a=1";
  http_request_winhttp(
      {.url = server.url("/c"), .cookie = &cookie, .response_cookies = &response_cookies, .merge_response_cookies = false});
  EXPECT_EQ(cookie, "a=1");
  EXPECT_EQ(response_cookies, "b=3; a=deleted");

  cookie = "";
  http_request_winhttp({.url = server.url("/c"), .cookie = &cookie, .response_cookies = &response_cookies});
  EXPECT_EQ(cookie, "");
  EXPECT_EQ(response_cookies, "b=3; a=deleted");
}

TEST_F(HttpWinhttpTest, AProxyCarriesHttpAndTunnelsHttps) {
  TinyProxy proxy;
  ASSERT_TRUE(proxy.running());
  HttpServer plain;
  HttpServer secure(HttpServer::Tls::On);
  EXPECT_EQ(http_request_winhttp({.url = plain.url("/a"), .proxy = proxy.address()}), "ok");
  EXPECT_EQ(http_request_winhttp({.url = secure.url("/b"), .proxy = proxy.address()}), "ok");
  EXPECT_EQ(proxy.requests(),
            (std::vector<std::string>{"GET " + plain.url("/a") + " HTTP/1.1",
                                      "CONNECT 127.0.0.1:" + std::to_string(secure.port()) + " HTTP/1.1"}));
  EXPECT_TRUE(plain.last_request().has_header("Via"));
}

TEST_F(HttpWinhttpTest, ProxyCredentials) {
  TinyProxy proxy("pu", "pp");
  ASSERT_TRUE(proxy.running());
  HttpServer plain;
  HttpServer secure(HttpServer::Tls::On);
  Text status;
  http_request_winhttp({.url = plain.url("/a"), .proxy = proxy.address(), .status_text = &status});
  EXPECT_EQ(status.substr(0, 4), "407 ");
  http_request_winhttp({.url = secure.url("/a"), .proxy = proxy.address(), .status_text = &status});
  EXPECT_EQ(hex(status), hex(error_text(WinHttpError::kSendRequest)));

  EXPECT_EQ(http_request_winhttp(
                {.url = plain.url("/a"), .proxy = proxy.address(), .proxy_user = "pu", .proxy_password = "pp"}),
            "ok");
  EXPECT_EQ(http_request_winhttp(
                {.url = secure.url("/b"), .proxy = proxy.address(), .proxy_user = "pu", .proxy_password = "pp"}),
            "ok");
  EXPECT_EQ(secure.last_request().target, "/b");
}

TEST_F(HttpWinhttpTest, ARefusedPortReports711AndLeavesTheOutputs) {
  Text status, headers = "kept", cookies = "kept", location = "kept";
  Bytes bytes = {9};
  const Text page =
      http_request_winhttp({.url = "http://127.0.0.1:" + std::to_string(ck::testing::unused_port()) + "/",
                            .response_cookies = &cookies,
                            .response_headers = &headers,
                            .redirect_location = &location,
                            .status_text = &status,
                            .response_bytes = &bytes});
  EXPECT_EQ(page, "");
  EXPECT_EQ(hex(status), hex(error_text(WinHttpError::kSendRequest)));
  EXPECT_EQ(headers, "kept");
  EXPECT_EQ(cookies, "kept");
  EXPECT_EQ(location, "kept");
  EXPECT_EQ(bytes, Bytes{9});
}

TEST_F(HttpWinhttpTest, AServerThatNeverAnswersReports712WithinTheTimeout) {
  RawServer silent(RawServer::never_answer());
  Text status;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(http_request_winhttp({.url = silent.url("/"), .timeout_seconds = 1, .status_text = &status}), "");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(hex(status), hex(error_text(WinHttpError::kReceiveResponse)));
  EXPECT_GT(seconds, 0.9);
  EXPECT_LT(seconds, 2.5);
}

TEST_F(HttpWinhttpTest, ABodyCutMidwayGivesThePartRead) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
  RawServer cut(RawServer::reply(head + std::string(300, 'x')));
  Text status;
  Bytes bytes;
  EXPECT_EQ(http_request_winhttp({.url = cut.url("/"), .status_text = &status, .response_bytes = &bytes}),
            std::string(300, 'x'));
  EXPECT_EQ(status, "200 OK") << "the answer's status replaces the read error";
  EXPECT_EQ(bytes.size(), 300u);

  // When the headers cannot be read after it, the read error is what remains.
  platform::ScopedWinHttpFailure no_headers(WinHttpCall::QueryHeaders);
  Text headers = "kept";
  EXPECT_EQ(http_request_winhttp({.url = cut.url("/"), .response_headers = &headers, .status_text = &status}), "");
  EXPECT_EQ(hex(status), hex(error_text(WinHttpError::kReadData)));
  EXPECT_EQ(headers, "kept");
}

TEST_F(HttpWinhttpTest, UrlsThatCannotBeParsedReport701) {
  for (const char* url : {"", "not a url", "ftp://127.0.0.1/", "http://", "http://127.0.0.1:99999/"}) {
    SCOPED_TRACE(url);
    Text status;
    EXPECT_EQ(http_request_winhttp({.url = url, .status_text = &status}), "");
    EXPECT_EQ(hex(status), hex(error_text(WinHttpError::kCrackUrl)));
  }
}

TEST_F(HttpWinhttpTest, BodiesOfZeroBytesAnd64MiB) {
  HttpServer server;
  std::string big(64 * 1024 * 1024, 'x');
  big[12345] = 'y';
  server.on("/big", [&](const RecordedRequest&) { return Reply{.body = big}; });
  server.on("/empty", [](const RecordedRequest&) { return Reply{}; });

  Text status;
  Bytes bytes = {1, 2};
  EXPECT_EQ(http_request_winhttp({.url = server.url("/empty"), .status_text = &status, .response_bytes = &bytes}), "");
  EXPECT_EQ(status, "200 OK");
  EXPECT_TRUE(bytes.empty());

  const Text page = http_request_winhttp({.url = server.url("/big"), .status_text = &status, .response_bytes = &bytes});
  EXPECT_EQ(status, "200 OK");
  ASSERT_EQ(bytes.size(), big.size());
  EXPECT_TRUE(page == big);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), big.begin()));
}

struct InjectedCase {
  WinHttpCall call;
  int successes;
  HttpRequestWinhttp args;
  WinHttpError expected;
  bool pumps;  // whether messages are processed before the handles close
};

TEST_F(HttpWinhttpTest, EveryFailingStepWritesItsText) {
  HttpServer server;
  const std::string url = server.url("/x");
  Text cookie = "a=1";
  const InjectedCase cases[] = {
      {WinHttpCall::CheckPlatform, 0, {.url = url}, WinHttpError::kNotSupported, true},
      {WinHttpCall::CrackUrl, 0, {.url = url}, WinHttpError::kCrackUrl, true},
      {WinHttpCall::Open, 0, {.url = url}, WinHttpError::kOpenSession, true},
      {WinHttpCall::SetTimeouts, 0, {.url = url}, WinHttpError::kSetTimeouts, true},
      {WinHttpCall::Connect, 0, {.url = url}, WinHttpError::kConnect, true},
      {WinHttpCall::OpenRequest, 0, {.url = url}, WinHttpError::kOpenRequest, true},
      {WinHttpCall::SetCredentials,
       0,
       {.url = url, .server_user = "u", .server_password = "p"},
       WinHttpError::kCredentials,
       false},
      {WinHttpCall::SetCredentials,
       1,
       {.url = url, .server_user = "u", .server_password = "p", .proxy_user = "v", .proxy_password = "q"},
       WinHttpError::kCredentials,
       false},
      {WinHttpCall::SetOption, 0, {.url = url}, WinHttpError::kSecurityFlags, false},
      {WinHttpCall::SetOption, 1, {.url = url}, WinHttpError::kDisableCookies, false},
      {WinHttpCall::SetOption, 2, {.url = url, .no_redirect = true}, WinHttpError::kDisableRedirects, false},
      {WinHttpCall::SetOption, 1, {.url = url, .cookie = &cookie, .no_redirect = true}, WinHttpError::kDisableRedirects,
       false},
      {WinHttpCall::AddRequestHeaders, 0, {.url = url}, WinHttpError::kAddHeaders, true},
      {WinHttpCall::SendRequest, 0, {.url = url}, WinHttpError::kSendRequest, true},
      {WinHttpCall::ReceiveResponse, 0, {.url = url}, WinHttpError::kReceiveResponse, true},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(hex(error_text(k.expected)) + " after " + std::to_string(k.successes) + " successes");
    platform::ScopedWinHttpFailure failing(k.call, k.successes);
    Text status = "before";
    HttpRequestWinhttp args = k.args;
    args.status_text = &status;
    const auto pumped = platform::pending_message_calls();
    EXPECT_EQ(http_request_winhttp(args), "");
    EXPECT_EQ(hex(status), hex(error_text(k.expected)));
    EXPECT_EQ(platform::pending_message_calls() - pumped, k.pumps ? 1u : 0u);
    EXPECT_EQ(platform::winhttp_open_handles(), 0);
  }

  // A header block WinHttp refuses, without the injected failure.
  Text status;
  EXPECT_EQ(http_request_winhttp(
                {.url = url, .request_headers = "no colon here", .status_text = &status, .normalize_headers = false}),
            "");
  EXPECT_EQ(hex(status), hex(error_text(WinHttpError::kAddHeaders)));

  // Headers that cannot be read: no result, and no text written.
  platform::ScopedWinHttpFailure no_headers(WinHttpCall::QueryHeaders, 1);
  status = "before";
  EXPECT_EQ(http_request_winhttp({.url = url, .status_text = &status}), "");
  EXPECT_EQ(status, "before");
}

TEST_F(HttpWinhttpTest, NamedHeaderValue) {
  const std::string block = "Accept: a\r\nConnection-X: y\r\nConnection: keep-alive\r\nConnection: close";
  EXPECT_EQ(named_header_value(block, "Connection"), "") << "the first line beginning with the name is taken";
  EXPECT_EQ(named_header_value("Connection: keep-alive\r\nX: 1", "Connection"), "keep-alive");
  EXPECT_EQ(named_header_value("connection: keep-alive", "Connection"), "") << "names compare case-sensitively";
  EXPECT_EQ(named_header_value("Accept: a", "Cookie"), "");
}

}  // namespace
}  // namespace ck
