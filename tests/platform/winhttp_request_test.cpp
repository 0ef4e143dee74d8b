// The WinHttp request object against real servers on 127.0.0.1.
#include "platform/winhttp_request.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/winhttp.h"
#include "tests/support/local_server.h"
#include "tests/support/support.h"

namespace ck::platform {
namespace {

using ck::testing::HttpServer;
using ck::testing::RawServer;
using ck::testing::RecordedRequest;
using ck::testing::Reply;
using ck::testing::TinyProxy;

std::u16string wide(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string text_of_body(const std::optional<Bytes>& body) {
  return body ? std::string(body->begin(), body->end()) : std::string("<none>");
}

class WinHttpRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    depth_ = com_init_depth();
    objects_ = ComObject::live_count();
    CoInitialize(nullptr);
  }
  void TearDown() override {
    CoUninitialize();
    EXPECT_EQ(com_init_depth(), depth_);
    EXPECT_EQ(ComObject::live_count(), objects_) << "an object survived the test";
    EXPECT_EQ(winhttp_open_handles(), 0) << "a handle survived the test";
  }
  int depth_ = 0;
  int objects_ = 0;
};

TEST_F(WinHttpRequestTest, IsCreatedOnlyWithComInitialised) {
  CoUninitialize();
  EXPECT_EQ(create_object<WinHttpRequest>(), nullptr);
  CoInitialize(nullptr);
  auto request = create_object<WinHttpRequest>();
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(ComObject::live_count(), objects_ + 1);
}

TEST_F(WinHttpRequestTest, GetReadsStatusHeadersAndBody) {
  HttpServer server;
  server.on("/g", [](const RecordedRequest&) {
    return Reply{.status = 200, .headers = {{"Set-Cookie", "a=1"}}, .body = "hello"};
  });
  auto request = create_object<WinHttpRequest>();
  ASSERT_TRUE(request->open(u"GET", wide(server.url("/g?x=1"))));
  ASSERT_TRUE(request->send());
  EXPECT_EQ(request->status(), 200);
  EXPECT_EQ(request->status_text(), u"OK");
  EXPECT_EQ(text_of_body(request->response_body()), "hello");
  const std::u16string headers = request->get_all_response_headers().value_or(u"");
  EXPECT_EQ(headers.find(u"HTTP/"), std::u16string::npos) << "no status line";
  EXPECT_NE(headers.find(u"Set-Cookie: a=1\r\n"), std::u16string::npos);
  EXPECT_EQ(headers.substr(headers.size() - 4), u"\r\n\r\n");

  const RecordedRequest got = server.last_request();
  EXPECT_EQ(got.target, "/g?x=1");
  EXPECT_EQ(got.header("User-Agent"), "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)");
}

TEST_F(WinHttpRequestTest, FailingCallsHaveNoEffectAndYieldNothing) {
  auto request = create_object<WinHttpRequest>();
  EXPECT_FALSE(request->set_request_header(u"X-A", u"1")) << "before open";
  EXPECT_FALSE(request->send());
  EXPECT_EQ(request->status(), std::nullopt);
  EXPECT_EQ(request->response_body(), std::nullopt);
  EXPECT_EQ(request->get_all_response_headers(), std::nullopt);
  EXPECT_FALSE(request->open(u"GET", u"http://127.0.0.1/", true)) << "asynchronous requests are not offered";
  EXPECT_FALSE(request->open(u"GET", u"ftp://127.0.0.1/"));
  EXPECT_FALSE(request->open(u"BAD VERB", u"http://127.0.0.1/"));
  EXPECT_FALSE(request->set_option(WinHttpRequest::kOptionSslErrorIgnoreFlags, 0x1));
  EXPECT_EQ(request->option(WinHttpRequest::kOptionSslErrorIgnoreFlags), 0);
  EXPECT_FALSE(request->set_option(99, 1));
  EXPECT_EQ(request->option(99), std::nullopt);
  EXPECT_FALSE(request->set_timeouts(-2, 0, 0, 0));
  EXPECT_FALSE(request->set_proxy(WinHttpRequest::kProxySettingProxy, u""));
  EXPECT_FALSE(request->set_proxy(7, u"127.0.0.1:1"));

  ASSERT_TRUE(request->open(u"GET", u"http://127.0.0.1:1/"));
  EXPECT_FALSE(request->set_request_header(u"", u"x"));
  EXPECT_FALSE(request->set_request_header(u"Bad:Name", u"x"));
  EXPECT_FALSE(request->set_request_header(u"X-A", u"a\r\nX-Injected: 1"));
}

TEST_F(WinHttpRequestTest, HeadersAreSetOnceEachAndBodiesSent) {
  HttpServer server;
  auto request = create_object<WinHttpRequest>();
  ASSERT_TRUE(request->open(u"POST", wide(server.url("/p"))));
  EXPECT_TRUE(request->set_request_header(u"X-A", u"1"));
  EXPECT_TRUE(request->set_request_header(u"x-a", u"2"));
  EXPECT_TRUE(request->set_request_header(u"X-Gone", u"1"));
  EXPECT_TRUE(request->set_request_header(u"X-Gone", u""));
  EXPECT_TRUE(request->set_request_header(u"User-Agent", u"mine"));
  ASSERT_TRUE(request->send(u"\u4E2D\u6587"));
  EXPECT_FALSE(request->set_request_header(u"X-B", u"1")) << "after send";
  EXPECT_FALSE(request->send()) << "one send per open";

  RecordedRequest got = server.last_request();
  EXPECT_EQ(got.header_count("X-A"), 1);
  EXPECT_EQ(got.header("X-A"), "2");
  EXPECT_FALSE(got.has_header("X-Gone"));
  EXPECT_EQ(got.header("User-Agent"), "mine");
  EXPECT_EQ(ck::testing::hex(got.body), "E4 B8 AD E6 96 87") << "a text body travels as UTF-8";

  ASSERT_TRUE(request->open(u"PUT", wide(server.url("/p"))));
  const Bytes bytes = {0x00, 0x01, 0x00, 0xFF};
  ASSERT_TRUE(request->send(bytes));
  got = server.last_request();
  EXPECT_EQ(got.method, "PUT");
  EXPECT_EQ(ck::testing::hex(got.body), "00 01 00 FF");
  EXPECT_FALSE(got.has_header("X-A")) << "open starts a new request";
}

TEST_F(WinHttpRequestTest, OptionsTurnCertificateChecksAndRedirectsOff) {
  HttpServer server(HttpServer::Tls::On);
  server.on("/r", [](const RecordedRequest&) { return Reply{.status = 302, .headers = {{"Location", "/t"}}, .body = "moved"}; });
  server.on("/t", [](const RecordedRequest&) { return Reply{.body = "target"}; });
  auto request = create_object<WinHttpRequest>();
  ASSERT_TRUE(request->open(u"GET", wide(server.url("/r"))));
  EXPECT_FALSE(request->send()) << "a self-signed certificate is refused by default";
  EXPECT_EQ(request->status(), std::nullopt);

  ASSERT_TRUE(request->set_option(WinHttpRequest::kOptionSslErrorIgnoreFlags, 0x3300));
  ASSERT_TRUE(request->open(u"GET", wide(server.url("/r"))));
  ASSERT_TRUE(request->send());
  EXPECT_EQ(text_of_body(request->response_body()), "target");

  ASSERT_TRUE(request->set_option(WinHttpRequest::kOptionEnableRedirects, 0));
  EXPECT_EQ(request->option(WinHttpRequest::kOptionEnableRedirects), 0);
  ASSERT_TRUE(request->open(u"GET", wide(server.url("/r"))));
  ASSERT_TRUE(request->send());
  EXPECT_EQ(request->status(), 302);
  EXPECT_EQ(text_of_body(request->response_body()), "moved");
}

TEST_F(WinHttpRequestTest, ASendThatFailsLeavesNoResponse) {
  auto request = create_object<WinHttpRequest>();
  RawServer silent(RawServer::never_answer());
  ASSERT_TRUE(request->set_timeouts(1000, 1000, 1000, 1000));
  ASSERT_TRUE(request->open(u"GET", wide(silent.url("/"))));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(request->send());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 2.5);
  EXPECT_EQ(request->status(), std::nullopt);

  RawServer cut(RawServer::reply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly part"));
  ASSERT_TRUE(request->open(u"GET", wide(cut.url("/"))));
  EXPECT_FALSE(request->send());
  EXPECT_EQ(request->response_body(), std::nullopt);

  ASSERT_TRUE(request->open(u"GET", wide("http://127.0.0.1:" + std::to_string(ck::testing::unused_port()) + "/")));
  EXPECT_FALSE(request->send());
  EXPECT_EQ(request->get_all_response_headers(), std::nullopt);
}

TEST_F(WinHttpRequestTest, AProxyServesEveryScheme) {
  TinyProxy proxy;
  ASSERT_TRUE(proxy.running());
  HttpServer plain;
  HttpServer secure(HttpServer::Tls::On);
  auto request = create_object<WinHttpRequest>();
  ASSERT_TRUE(request->set_proxy(WinHttpRequest::kProxySettingProxy, wide(proxy.address())));
  ASSERT_TRUE(request->set_option(WinHttpRequest::kOptionSslErrorIgnoreFlags, 0x3300));
  ASSERT_TRUE(request->open(u"GET", wide(plain.url("/a"))));
  ASSERT_TRUE(request->send());
  ASSERT_TRUE(request->open(u"GET", wide(secure.url("/b"))));
  ASSERT_TRUE(request->send());
  EXPECT_EQ(text_of_body(request->response_body()), "ok");
  EXPECT_EQ(proxy.requests(), (std::vector<std::string>{"GET " + plain.url("/a") + " HTTP/1.1",
                                                         "CONNECT 127.0.0.1:" + std::to_string(secure.port()) +
                                                             " HTTP/1.1"}));

  ASSERT_TRUE(request->set_proxy(WinHttpRequest::kProxySettingDirect));
  ASSERT_TRUE(request->open(u"GET", wide(plain.url("/c"))));
  ASSERT_TRUE(request->send());
  EXPECT_EQ(proxy.requests().size(), 2u);
}

}  // namespace
}  // namespace ck::platform
