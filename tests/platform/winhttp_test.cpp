// The WinHttp API layer against real servers on 127.0.0.1.
#include "platform/winhttp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/local_server.h"
#include "tests/support/support.h"

namespace ck::platform {
namespace {

using ck::testing::HttpServer;
using ck::testing::RawServer;
using ck::testing::RecordedRequest;
using ck::testing::Reply;
using ck::testing::TinyProxy;
using Clock = std::chrono::steady_clock;

std::u16string wide(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

struct Fetch {
  std::u16string verb = u"GET";
  std::u16string headers{};
  std::string body{};
  DWORD request_flags = 0;
  DWORD security_flags = 0;
  DWORD disable = 0;
  int timeout_ms = 10000;
  std::u16string proxy{};  // named proxy list; empty: none
  std::u16string server_user{}, server_password{}, proxy_user{}, proxy_password{};
};

struct Result {
  std::string failed;  // the call that failed; "" when none did
  DWORD error = 0;
  std::string raw_headers;
  std::string body;
  std::vector<DWORD> pieces;
  double seconds = 0;
};

// One request through the API, the way an exchange drives it.
Result fetch(const std::string& url, const Fetch& f = {}) {
  Result r;
  const auto start = Clock::now();
  const std::u16string u = wide(url);
  URL_COMPONENTS c{};
  c.dwStructSize = sizeof c;
  c.dwHostNameLength = c.dwUrlPathLength = c.dwExtraInfoLength = static_cast<DWORD>(-1);
  HINTERNET session = nullptr, connect = nullptr, request = nullptr;
  auto failed = [&](const char* call) {
    r.failed = call;
    r.error = winhttp_last_error();
  };
  [&] {
    if (!WinHttpCrackUrl(u.c_str(), static_cast<DWORD>(u.size()), 0, &c)) return failed("CrackUrl");
    const std::u16string host(c.lpszHostName, c.dwHostNameLength);
    const std::u16string object = std::u16string(c.lpszUrlPath, c.dwUrlPathLength) +
                                  std::u16string(c.lpszExtraInfo, c.dwExtraInfoLength);
    session = WinHttpOpen(nullptr, f.proxy.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                          f.proxy.empty() ? nullptr : f.proxy.c_str(), nullptr, 0);
    if (!session) return failed("Open");
    if (!WinHttpSetTimeouts(session, f.timeout_ms, f.timeout_ms, f.timeout_ms, f.timeout_ms))
      return failed("SetTimeouts");
    connect = WinHttpConnect(session, host.c_str(), c.nPort, 0);
    if (!connect) return failed("Connect");
    request = WinHttpOpenRequest(connect, f.verb.c_str(), object.c_str(), nullptr, nullptr, nullptr,
                                 f.request_flags | (c.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return failed("OpenRequest");
    if (!f.server_user.empty() && !WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_SERVER, WINHTTP_AUTH_SCHEME_BASIC,
                                                         f.server_user.c_str(), f.server_password.c_str(), nullptr))
      return failed("SetCredentials");
    if (!f.proxy_user.empty() && !WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, WINHTTP_AUTH_SCHEME_BASIC,
                                                        f.proxy_user.c_str(), f.proxy_password.c_str(), nullptr))
      return failed("SetCredentials");
    if (f.security_flags &&
        !WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &f.security_flags, sizeof f.security_flags))
      return failed("SetOption");
    if (f.disable && !WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &f.disable, sizeof f.disable))
      return failed("SetOption");
    if (!f.headers.empty() && !WinHttpAddRequestHeaders(request, f.headers.c_str(), static_cast<DWORD>(f.headers.size()),
                                                        WINHTTP_ADDREQ_FLAG_ADD))
      return failed("AddRequestHeaders");
    if (!WinHttpSendRequest(request, nullptr, 0, f.body.empty() ? nullptr : f.body.data(),
                            static_cast<DWORD>(f.body.size()), static_cast<DWORD>(f.body.size()), 0))
      return failed("SendRequest");
    if (!WinHttpReceiveResponse(request, nullptr)) return failed("ReceiveResponse");
    for (;;) {
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(request, &available)) return failed("QueryDataAvailable");
      if (available == 0) break;
      std::string piece(available, '\0');
      DWORD got = 0;
      if (!WinHttpReadData(request, piece.data(), available, &got)) return failed("ReadData");
      r.pieces.push_back(got);
      r.body.append(piece, 0, got);
    }
    DWORD size = 0;
    EXPECT_FALSE(WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, nullptr, nullptr, &size, nullptr));
    EXPECT_EQ(winhttp_last_error(), ERROR_INSUFFICIENT_BUFFER);
    std::u16string raw(size / 2, u'\0');
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, nullptr, raw.data(), &size, nullptr))
      return failed("QueryHeaders");
    EXPECT_EQ(size, (raw.size() - 1) * 2) << "the real call counts bytes without the zero unit";
    r.raw_headers = narrow(std::u16string_view(raw).substr(0, size / 2));
  }();
  if (request) {
    EXPECT_TRUE(WinHttpCloseHandle(request));
  }
  if (connect) {
    EXPECT_TRUE(WinHttpCloseHandle(connect));
  }
  if (session) {
    EXPECT_TRUE(WinHttpCloseHandle(session));
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return r;
}

class WinHttpTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(winhttp_open_handles(), 0) << "a handle survived the test"; }
};

// --- WinHttpCrackUrl -------------------------------------------------------

struct CrackCase {
  std::u16string url;
  int scheme;
  std::string host;
  int port;
  std::string path;
  std::string extra;
};

TEST_F(WinHttpTest, CrackUrlTakesTheParts) {
  const CrackCase cases[] = {
      {u"http://example.com/p/q?a=1#f", INTERNET_SCHEME_HTTP, "example.com", 80, "/p/q", "?a=1#f"},
      {u"https://h:8443", INTERNET_SCHEME_HTTPS, "h", 8443, "", ""},
      {u"HTTPS://user:pw@h/x", INTERNET_SCHEME_HTTPS, "h", 443, "/x", ""},
      {u"http://h?a=1", INTERNET_SCHEME_HTTP, "h", 80, "", "?a=1"},
      {u"http://h#frag", INTERNET_SCHEME_HTTP, "h", 80, "", "#frag"},
      {u"http://[::1]:81/", INTERNET_SCHEME_HTTP, "::1", 81, "/", ""},
      {u"http://h:/x", INTERNET_SCHEME_HTTP, "h", 80, "/x", ""},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(narrow(k.url));
    URL_COMPONENTS c{};
    c.dwStructSize = sizeof c;
    c.dwSchemeLength = c.dwHostNameLength = c.dwUrlPathLength = c.dwExtraInfoLength = static_cast<DWORD>(-1);
    ASSERT_TRUE(WinHttpCrackUrl(k.url.c_str(), static_cast<DWORD>(k.url.size()), 0, &c));
    EXPECT_EQ(c.nScheme, k.scheme);
    EXPECT_EQ(narrow({c.lpszHostName, c.dwHostNameLength}), k.host);
    EXPECT_EQ(c.nPort, k.port);
    EXPECT_EQ(narrow({c.lpszUrlPath, c.dwUrlPathLength}), k.path);
    EXPECT_EQ(narrow({c.lpszExtraInfo, c.dwExtraInfoLength}), k.extra);
    EXPECT_GE(c.lpszHostName, k.url.c_str()) << "parts point into the URL";
    EXPECT_EQ(c.lpszUserName, nullptr) << "a part not asked for stays untouched";
  }
}

TEST_F(WinHttpTest, CrackUrlRejectsWhatItCannotParse) {
  const std::u16string bad[] = {u"ftp://h/",   u"h/path",         u"http:/h",      u"http://",       u"http://:80/",
                                u"http://h:0/", u"http://h:65536/", u"http://h:8x/", u"http://a b/", u""};
  for (const auto& url : bad) {
    SCOPED_TRACE(narrow(url));
    URL_COMPONENTS c{};
    c.dwStructSize = sizeof c;
    c.dwHostNameLength = static_cast<DWORD>(-1);
    EXPECT_FALSE(WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &c));
    EXPECT_EQ(c.lpszHostName, nullptr);
  }
  URL_COMPONENTS c{};
  c.dwStructSize = sizeof c;
  EXPECT_FALSE(WinHttpCrackUrl(u"ftp://h/", 0, 0, &c));
  EXPECT_EQ(winhttp_last_error(), ERROR_WINHTTP_UNRECOGNIZED_SCHEME);
}

TEST_F(WinHttpTest, CrackUrlCopiesIntoBuffersAndHonoursTheLength) {
  const std::u16string url = u"http://host.example/abc?q=1 and more";
  char16_t host[5] = {};
  URL_COMPONENTS c{};
  c.dwStructSize = sizeof c;
  c.lpszHostName = host;
  c.dwHostNameLength = 5;
  EXPECT_FALSE(WinHttpCrackUrl(url.c_str(), 0, 0, &c));
  EXPECT_EQ(winhttp_last_error(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(c.dwHostNameLength, 5u) << "a failing call changes nothing";

  char16_t big[32] = {};
  char16_t extra[32] = {};
  c.lpszHostName = big;
  c.dwHostNameLength = 32;
  c.lpszExtraInfo = extra;
  c.dwExtraInfoLength = 32;
  ASSERT_TRUE(WinHttpCrackUrl(url.c_str(), 27, 0, &c));  // up to "?q=1"
  EXPECT_EQ(std::u16string(big), u"host.example");
  EXPECT_EQ(c.dwHostNameLength, 12u);
  EXPECT_EQ(std::u16string(extra), u"?q=1");
}

// --- exchanges ---------------------------------------------------------------

TEST_F(WinHttpTest, GetGivesTheRawHeadersAndBodyAndSendsOnlyWhatWasAsked) {
  HttpServer server;
  server.on("/hello", [](const RecordedRequest&) {
    return Reply{.status = 200,
                 .headers = {{"X-One", "1"}, {"Set-Cookie", "a=1; Path=/"}, {"Set-Cookie", "b=2"}},
                 .body = "hi"};
  });
  const Result r = fetch(server.url("/hello"));
  ASSERT_EQ(r.failed, "") << r.error;
  EXPECT_EQ(r.body, "hi");
  EXPECT_EQ(r.raw_headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << r.raw_headers;
  EXPECT_NE(r.raw_headers.find("\r\nX-One: 1\r\n"), std::string::npos);
  EXPECT_NE(r.raw_headers.find("\r\nSet-Cookie: b=2\r\n"), std::string::npos);
  EXPECT_EQ(r.raw_headers.substr(r.raw_headers.size() - 4), "\r\n\r\n");

  const RecordedRequest got = server.last_request();
  EXPECT_EQ(got.method, "GET");
  EXPECT_EQ(got.target, "/hello");
  for (const char* name : {"Accept", "User-Agent", "Expect", "Content-Type", "Content-Length", "Cookie"})
    EXPECT_FALSE(got.has_header(name)) << name << " was sent without being asked for";
  EXPECT_TRUE(got.has_header("Host"));
}

TEST_F(WinHttpTest, QueryHeadersReadsNumbersAndNamedHeadersByIndex) {
  HttpServer server;
  server.on("/c", [](const RecordedRequest&) {
    return Reply{.status = 201, .headers = {{"Set-Cookie", "a=1"}, {"Set-Cookie", "b=2"}}, .body = ""};
  });
  HINTERNET s = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
  HINTERNET c = WinHttpConnect(s, u"127.0.0.1", static_cast<INTERNET_PORT>(server.port()), 0);
  HINTERNET r = WinHttpOpenRequest(c, nullptr, u"/c", nullptr, nullptr, nullptr, 0);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(winhttp_open_handles(), 3);
  DWORD size = 64;
  char16_t buffer[32];
  EXPECT_FALSE(WinHttpQueryHeaders(r, WINHTTP_QUERY_RAW_HEADERS_CRLF, nullptr, buffer, &size, nullptr));
  EXPECT_EQ(winhttp_last_error(), ERROR_WINHTTP_INCORRECT_HANDLE_STATE) << "no answer yet";
  ASSERT_TRUE(WinHttpSendRequest(r, nullptr, 0, nullptr, 0, 0, 0));
  ASSERT_TRUE(WinHttpReceiveResponse(r, nullptr));

  DWORD code = 0;
  size = sizeof code;
  ASSERT_TRUE(WinHttpQueryHeaders(r, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, nullptr, &code, &size,
                                  nullptr));
  EXPECT_EQ(code, 201u);
  size = sizeof buffer;
  ASSERT_TRUE(WinHttpQueryHeaders(r, WINHTTP_QUERY_STATUS_TEXT, nullptr, buffer, &size, nullptr));
  EXPECT_EQ(std::u16string(buffer), u"Created");

  std::vector<std::u16string> cookies;
  for (DWORD index = 0;;) {
    size = sizeof buffer;
    if (!WinHttpQueryHeaders(r, WINHTTP_QUERY_CUSTOM, u"set-cookie", buffer, &size, &index)) break;
    cookies.emplace_back(buffer);
  }
  EXPECT_EQ(winhttp_last_error(), ERROR_WINHTTP_HEADER_NOT_FOUND);
  EXPECT_EQ(cookies, (std::vector<std::u16string>{u"a=1", u"b=2"}));

  DWORD available = 7;
  EXPECT_TRUE(WinHttpQueryDataAvailable(r, &available));
  EXPECT_EQ(available, 0u) << "a body with zero bytes";
  EXPECT_TRUE(WinHttpCloseHandle(r));
  EXPECT_TRUE(WinHttpCloseHandle(c));
  EXPECT_TRUE(WinHttpCloseHandle(s));
  EXPECT_FALSE(WinHttpCloseHandle(s));
  EXPECT_EQ(winhttp_last_error(), ERROR_INVALID_HANDLE);
}

TEST_F(WinHttpTest, HandlesOfTheWrongKindOrStateAreRefused) {
  HINTERNET s = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(WinHttpOpenRequest(s, nullptr, u"/", nullptr, nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(winhttp_last_error(), ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
  const DWORD flags = 0x3300;
  EXPECT_FALSE(WinHttpSetOption(s, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags));
  EXPECT_FALSE(WinHttpSetOption(s, 12345, &flags, sizeof flags));
  EXPECT_EQ(winhttp_last_error(), ERROR_WINHTTP_INVALID_OPTION);
  EXPECT_FALSE(WinHttpSetTimeouts(s, -2, 0, 0, 0));
  EXPECT_EQ(WinHttpConnect(s, u"", 80, 0), nullptr);
  EXPECT_EQ(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NAMED_PROXY, u"", nullptr, 0), nullptr);
  EXPECT_EQ(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NAMED_PROXY, u"host:99999", nullptr, 0), nullptr);
  EXPECT_EQ(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, WINHTTP_FLAG_ASYNC), nullptr);
  EXPECT_EQ(winhttp_open_handles(), 1);
  EXPECT_TRUE(WinHttpCloseHandle(s));
}

TEST_F(WinHttpTest, HttpsAcceptsASelfSignedCertificateOnlyWithTheIgnoreFlags) {
  HttpServer server(HttpServer::Tls::On);
  const Result refused = fetch(server.url("/"));
  EXPECT_EQ(refused.failed, "SendRequest");
  EXPECT_EQ(refused.error, ERROR_WINHTTP_SECURE_FAILURE);

  const Result accepted = fetch(server.url("/s"), {.security_flags = 0x3300});
  ASSERT_EQ(accepted.failed, "") << accepted.error;
  EXPECT_EQ(accepted.body, "ok");
  EXPECT_EQ(server.last_request().target, "/s");
}

TEST_F(WinHttpTest, UnsafeCharactersOfTheObjectNameAreEscapedAsUtf8) {
  HttpServer server;
  HINTERNET s = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
  HINTERNET c = WinHttpConnect(s, u"127.0.0.1", static_cast<INTERNET_PORT>(server.port()), 0);
  HINTERNET r = WinHttpOpenRequest(c, u"GET", u"/a b/\u4E2D\u6587|\x01?q=\u4E2D \u6587&x=%41&y=%zz#frag", nullptr,
                                   nullptr, nullptr, 0);
  ASSERT_NE(r, nullptr);
  ASSERT_TRUE(WinHttpSendRequest(r, nullptr, 0, nullptr, 0, 0, 0));
  ASSERT_TRUE(WinHttpReceiveResponse(r, nullptr));
  EXPECT_EQ(server.last_request().target, "/a%20b/%E4%B8%AD%E6%96%87%7C%01?q=%E4%B8%AD%20%E6%96%87&x=%41&y=%25zz")
      << "blanks, controls and non-ASCII escaped, %41 kept, a lone % escaped, no fragment";
  WinHttpCloseHandle(r);
  WinHttpCloseHandle(c);
  WinHttpCloseHandle(s);
}

using ck::testing::wire_headers;

TEST_F(WinHttpTest, HeaderLinesAreAddedOneByOneAndABadBlockAddsNothing) {
  RawServer server(RawServer::reply("HTTP/1.1 204 No Content\r\n\r\n"));
  HINTERNET s = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
  HINTERNET c = WinHttpConnect(s, u"127.0.0.1", static_cast<INTERNET_PORT>(server.port()), 0);
  HINTERNET r = WinHttpOpenRequest(c, u"GET", u"/h", nullptr, nullptr, nullptr, 0);
  ASSERT_NE(r, nullptr);
  const std::u16string block = u"X-A: 1\r\nx-b:2\r\n\r\nX-A: 3\r\nX-Empty:\r\nX-Gone: 1\r\n";
  ASSERT_TRUE(WinHttpAddRequestHeaders(r, block.c_str(), static_cast<DWORD>(block.size()), WINHTTP_ADDREQ_FLAG_ADD));
  ASSERT_TRUE(WinHttpAddRequestHeaders(r, u"X-Gone:", static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_REPLACE));
  for (const char16_t* bad : {u"X-Ok: 1\r\nno colon here", u"X-Ok: 1\r\nX-C: a\rb", u"X-Ok: 1\r\n: v"}) {
    EXPECT_FALSE(WinHttpAddRequestHeaders(r, bad, static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD));
    EXPECT_EQ(winhttp_last_error(), ERROR_WINHTTP_INVALID_HEADER);
  }
  ASSERT_TRUE(WinHttpSendRequest(r, nullptr, 0, nullptr, 0, 0, 0));
  ASSERT_TRUE(WinHttpReceiveResponse(r, nullptr));
  EXPECT_FALSE(WinHttpAddRequestHeaders(r, u"X-Late: 1", static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD));
  WinHttpCloseHandle(r);
  WinHttpCloseHandle(c);
  WinHttpCloseHandle(s);

  ASSERT_EQ(server.raw_requests().size(), 1u);
  const std::string raw = server.raw_requests()[0];
  EXPECT_EQ(raw.rfind("GET /h HTTP/1.1\r\n", 0), 0u) << raw;
  std::vector<std::string> lines = wire_headers(raw);
  std::erase_if(lines, [](const std::string& l) { return l.rfind("Host: ", 0) == 0; });
  EXPECT_EQ(lines, (std::vector<std::string>{"X-A: 1", "x-b: 2", "X-A: 3", "X-Empty:"}))
      << "in order, an empty value still sent, REPLACE with an empty value removes, a failing block adds nothing";
}

struct MethodCase {
  std::u16string verb;
  std::string body;
  std::string method_seen;
};

TEST_F(WinHttpTest, MethodsAndBodiesArriveAsSent) {
  HttpServer server;
  std::string binary("\x00\x01\x00\xFF", 4);
  std::string big(2 * 1024 * 1024 + 3, 'b');
  const MethodCase cases[] = {
      {u"POST", "a=1&b=2", "POST"}, {u"POST", binary, "POST"}, {u"POST", "", "POST"},
      {u"PUT", "put body", "PUT"},  {u"DELETE", "", "DELETE"}, {u"POST", big, "POST"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(narrow(k.verb) + " with " + std::to_string(k.body.size()) + " bytes");
    const Result r = fetch(server.url("/m"), {.verb = k.verb, .body = k.body});
    ASSERT_EQ(r.failed, "") << r.error;
    const RecordedRequest got = server.last_request();
    EXPECT_EQ(got.method, k.method_seen);
    EXPECT_TRUE(got.body == k.body) << ck::testing::hex(got.body.substr(0, 16));
    if (k.verb != u"DELETE") {
      EXPECT_EQ(got.header("Content-Length"), std::to_string(k.body.size()));
    }
    EXPECT_FALSE(got.has_header("Expect"));
    EXPECT_FALSE(got.has_header("Content-Type"));
  }

  const Result head = fetch(server.url("/m"), {.verb = u"HEAD"});
  ASSERT_EQ(head.failed, "") << head.error;
  EXPECT_EQ(server.last_request().method, "HEAD");
  EXPECT_EQ(head.body, "");
  EXPECT_NE(head.raw_headers.find("Content-Length: 2\r\n"), std::string::npos) << head.raw_headers;
}

TEST_F(WinHttpTest, BasicCredentialsGoToTheServer) {
  HttpServer server;
  const Result r = fetch(server.url("/auth"), {.server_user = u"user", .server_password = u"pass"});
  ASSERT_EQ(r.failed, "") << r.error;
  EXPECT_EQ(server.last_request().header("Authorization"), "Basic dXNlcjpwYXNz");
}

TEST_F(WinHttpTest, RedirectsAreFollowedByTheirRules) {
  HttpServer server;
  HttpServer elsewhere;
  server.on("/r1", [](const RecordedRequest&) {
    return Reply{.status = 302, .headers = {{"Location", "/r2"}, {"Set-Cookie", "s=1; Path=/"}}, .body = "moved"};
  });
  server.on("/r2", [](const RecordedRequest&) { return Reply{.body = "end"}; });
  server.on("/t307", [](const RecordedRequest&) { return Reply{.status = 307, .headers = {{"Location", "/r2"}}}; });
  server.on("/away", [&](const RecordedRequest&) {
    return Reply{.status = 301, .headers = {{"Location", elsewhere.url("/there")}}};
  });
  server.on("/loop", [](const RecordedRequest&) { return Reply{.status = 302, .headers = {{"Location", "/loop"}}}; });

  Result r = fetch(server.url("/r1"));
  ASSERT_EQ(r.failed, "") << r.error;
  EXPECT_EQ(r.body, "end");
  EXPECT_EQ(r.raw_headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << "the final answer's headers only";
  EXPECT_EQ(r.raw_headers.find("Set-Cookie"), std::string::npos);
  EXPECT_EQ(server.last_request().header("Cookie"), "s=1") << "a redirect's cookie travels on";

  r = fetch(server.url("/r1"), {.disable = WINHTTP_DISABLE_COOKIES});
  EXPECT_EQ(r.body, "end");
  EXPECT_FALSE(server.last_request().has_header("Cookie"));

  const std::size_t before = server.request_count();
  r = fetch(server.url("/r1"), {.disable = WINHTTP_DISABLE_REDIRECTS});
  ASSERT_EQ(r.failed, "") << r.error;
  EXPECT_EQ(r.body, "moved");
  EXPECT_EQ(r.raw_headers.rfind("HTTP/1.1 302 Found\r\n", 0), 0u);
  EXPECT_NE(r.raw_headers.find("\r\nLocation: /r2\r\n"), std::string::npos);
  EXPECT_EQ(server.request_count(), before + 1);

  fetch(server.url("/r1"), {.verb = u"POST", .body = "x=1"});
  EXPECT_EQ(server.last_request().method, "GET") << "302 turns a POST into a GET";
  EXPECT_EQ(server.last_request().body, "");
  fetch(server.url("/t307"), {.verb = u"POST", .body = "x=1"});
  EXPECT_EQ(server.last_request().method, "POST") << "307 keeps the method and body";
  EXPECT_EQ(server.last_request().body, "x=1");

  r = fetch(server.url("/away"), {.server_user = u"u", .server_password = u"p"});
  EXPECT_EQ(r.body, "ok");
  EXPECT_EQ(elsewhere.last_request().target, "/there");
  EXPECT_FALSE(elsewhere.last_request().has_header("Authorization")) << "credentials stay with their origin";

  const std::size_t loops_before = server.request_count();
  r = fetch(server.url("/loop"));
  EXPECT_EQ(r.failed, "ReceiveResponse");
  EXPECT_EQ(r.error, ERROR_WINHTTP_REDIRECT_FAILED);
  EXPECT_EQ(server.request_count(), loops_before + 11) << "the first request and ten redirects";
}

TEST_F(WinHttpTest, ARedirectFromHttpsToHttpIsNotFollowed) {
  HttpServer secure(HttpServer::Tls::On);
  HttpServer plain;
  secure.on("/down", [&](const RecordedRequest&) {
    return Reply{.status = 302, .headers = {{"Location", plain.url("/x")}}, .body = "stay"};
  });
  const Result r = fetch(secure.url("/down"), {.security_flags = 0x3300});
  ASSERT_EQ(r.failed, "") << r.error;
  EXPECT_EQ(r.body, "stay");
  EXPECT_EQ(plain.request_count(), 0u);
}

TEST_F(WinHttpTest, ARefusedPortFailsTheSend) {
  const Result r = fetch("http://127.0.0.1:" + std::to_string(ck::testing::unused_port()) + "/");
  EXPECT_EQ(r.failed, "SendRequest");
  EXPECT_EQ(r.error, ERROR_WINHTTP_CANNOT_CONNECT);
}

TEST_F(WinHttpTest, TheReceiveTimeoutIsTheLongestSilence) {
  RawServer silent(RawServer::never_answer());
  const Result r = fetch(silent.url("/"), {.timeout_ms = 1000});
  EXPECT_EQ(r.failed, "ReceiveResponse");
  EXPECT_EQ(r.error, ERROR_WINHTTP_TIMEOUT);
  EXPECT_GT(r.seconds, 0.9);
  EXPECT_LT(r.seconds, 2.5);

  // Pieces 300 ms apart take longer than the timeout in all, yet none is late.
  const std::string body(100, 'd');
  RawServer slow(RawServer::dribble("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + body, 20,
                                    std::chrono::milliseconds(300)));
  const Result ok = fetch(slow.url("/"), {.timeout_ms = 1000});
  ASSERT_EQ(ok.failed, "") << ok.error;
  EXPECT_EQ(ok.body, body);
  EXPECT_GT(ok.seconds, 1.2);
}

TEST_F(WinHttpTest, ABodyCutShortDeliversItsBytesThenFailsTheRead) {
  RawServer cut(RawServer::reply("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(300, 'x')));
  const Result r = fetch(cut.url("/"));
  EXPECT_EQ(r.failed, "ReadData");
  EXPECT_EQ(r.error, ERROR_WINHTTP_CONNECTION_ERROR);
  EXPECT_EQ(r.body, std::string(300, 'x'));
}

TEST_F(WinHttpTest, AnAnswerThatIsNotHttpFailsTheReceive) {
  RawServer garbage(RawServer::reply("SSH-2.0-OpenSSH_9.2\r\n\r\n"));
  Result r = fetch(garbage.url("/"));
  EXPECT_EQ(r.failed, "ReceiveResponse");
  EXPECT_EQ(r.error, ERROR_WINHTTP_INVALID_SERVER_RESPONSE);

  RawServer mute(RawServer::reply(""));
  r = fetch(mute.url("/"));
  EXPECT_EQ(r.failed, "ReceiveResponse");
  EXPECT_EQ(r.error, ERROR_WINHTTP_CONNECTION_ERROR);
}

TEST_F(WinHttpTest, ALargeBodyStreamsInBoundedPieces) {
  HttpServer server;
  std::string body(16 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 % 251);
  server.on("/big", [&](const RecordedRequest&) { return Reply{.body = body}; });
  const Result r = fetch(server.url("/big"));
  ASSERT_EQ(r.failed, "") << r.error;
  ASSERT_EQ(r.body.size(), body.size());
  EXPECT_TRUE(r.body == body);
  EXPECT_GT(r.pieces.size(), 8u);
  for (DWORD piece : r.pieces) EXPECT_LE(piece, (1u << 20) + (128u << 10)) << "unread body stays near a megabyte";
}

TEST_F(WinHttpTest, ANamedProxyServesItsSchemes) {
  TinyProxy proxy;
  ASSERT_TRUE(proxy.running());
  HttpServer plain;
  HttpServer secure(HttpServer::Tls::On);
  const std::u16string only_http = wide("http=" + proxy.address());

  Result r = fetch(plain.url("/p?x=1"), {.proxy = only_http});
  ASSERT_EQ(r.failed, "") << r.error;
  EXPECT_EQ(proxy.requests(), std::vector<std::string>{"GET " + plain.url("/p?x=1") + " HTTP/1.1"});
  EXPECT_TRUE(plain.last_request().has_header("Via"));

  r = fetch(secure.url("/direct"), {.security_flags = 0x3300, .proxy = only_http});
  ASSERT_EQ(r.failed, "") << r.error;
  EXPECT_EQ(proxy.requests().size(), 1u) << "an http= proxy does not serve HTTPS";

  r = fetch(secure.url("/tunnel"), {.security_flags = 0x3300, .proxy = wide(proxy.address())});
  ASSERT_EQ(r.failed, "") << r.error;
  EXPECT_EQ(r.body, "ok");
  ASSERT_EQ(proxy.requests().size(), 2u);
  EXPECT_EQ(proxy.requests()[1], "CONNECT 127.0.0.1:" + std::to_string(secure.port()) + " HTTP/1.1");
  EXPECT_EQ(secure.last_request().target, "/tunnel");
}

TEST_F(WinHttpTest, BasicCredentialsGoToTheProxy) {
  TinyProxy proxy("pu", "pp");
  ASSERT_TRUE(proxy.running());
  HttpServer plain;
  HttpServer secure(HttpServer::Tls::On);
  const std::u16string any = wide(proxy.address());

  Result r = fetch(plain.url("/a"), {.proxy = any});
  ASSERT_EQ(r.failed, "") << r.error;
  EXPECT_EQ(r.raw_headers.rfind("HTTP/1.0 407", 0), 0u) << r.raw_headers;
  r = fetch(secure.url("/a"), {.security_flags = 0x3300, .proxy = any});
  EXPECT_EQ(r.failed, "SendRequest") << "the tunnel is refused";

  r = fetch(plain.url("/a"), {.proxy = any, .proxy_user = u"pu", .proxy_password = u"pp"});
  EXPECT_EQ(r.body, "ok");
  r = fetch(secure.url("/b"), {.security_flags = 0x3300, .proxy = any, .proxy_user = u"pu", .proxy_password = u"pp"});
  EXPECT_EQ(r.body, "ok");
  EXPECT_EQ(secure.last_request().target, "/b");
  EXPECT_FALSE(secure.last_request().has_header("Proxy-Authorization")) << "proxy credentials stay with the proxy";
}

TEST_F(WinHttpTest, AProxyAuthorizationHeaderGoesToTheProxyOnly) {
  TinyProxy proxy("pu", "pp");
  ASSERT_TRUE(proxy.running());
  HttpServer secure(HttpServer::Tls::On);
  const Result r = fetch(secure.url("/h"), {.headers = u"Proxy-Authorization: Basic cHU6cHA=",
                                             .security_flags = 0x3300,
                                             .proxy = wide(proxy.address())});
  ASSERT_EQ(r.failed, "") << r.error;
  EXPECT_EQ(r.body, "ok");
  EXPECT_FALSE(secure.last_request().has_header("Proxy-Authorization"));
}

TEST_F(WinHttpTest, TheFailureSeamFailsTheNamedCallAfterItsSuccesses) {
  EXPECT_TRUE(WinHttpCheckPlatform());
  {
    ScopedWinHttpFailure failing(WinHttpCall::CheckPlatform);
    EXPECT_FALSE(WinHttpCheckPlatform());
  }
  EXPECT_TRUE(WinHttpCheckPlatform());

  HttpServer server;
  {
    ScopedWinHttpFailure second(WinHttpCall::SetOption, 1);
    const Result r = fetch(server.url("/"), {.security_flags = 0x3300, .disable = WINHTTP_DISABLE_COOKIES});
    EXPECT_EQ(r.failed, "SetOption");
    EXPECT_EQ(r.error, ERROR_WINHTTP_INTERNAL_ERROR);
  }
  EXPECT_EQ(server.request_count(), 0u);
  {
    ScopedWinHttpFailure reading(WinHttpCall::ReadData);
    const Result r = fetch(server.url("/"));
    EXPECT_EQ(r.failed, "ReadData");
  }
  const Result r = fetch(server.url("/"), {.security_flags = 0x3300, .disable = WINHTTP_DISABLE_COOKIES});
  EXPECT_EQ(r.failed, "");
}

}  // namespace
}  // namespace ck::platform
