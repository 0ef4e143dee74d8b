// The WinHttp exchange against a misbehaving server of our own: each fault
// gives its result, returns within its timeout, and leaves no handle, object
// or COM initialisation behind.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/com.h"
#include "platform/message_pump.h"
#include "platform/winhttp.h"
#include "tests/support/local_server.h"
#include "tests/support/balance.h"
#include "tests/support/support.h"
#include "text/cut.h"
#include "web/http_winhttp.h"
#include "web/literals.h"

namespace ck {
namespace {

using namespace std::chrono_literals;
using ck::testing::gbk;
using ck::testing::hex;
using ck::testing::RawConnection;
using ck::testing::RawServer;
using literals::WinHttpError;

using Clock = std::chrono::steady_clock;

struct Outcome {
  Text page;
  Text status = "untouched";
  Text headers;
  Text cookie;
  Bytes bytes;
  double seconds = 0;
};

class FaultTest : public ck::testing::BalancedTest {
 protected:

  static Outcome fetch(const RawServer& server, int timeout_seconds, Text cookie = "") {
    Outcome out;
    out.cookie = std::move(cookie);
    const auto start = Clock::now();
    out.page = http_request_winhttp({.url = server.url("/page"),
                                     .cookie = &out.cookie,
                                     .response_headers = &out.headers,
                                     .timeout_seconds = timeout_seconds,
                                     .status_text = &out.status,
                                     .response_bytes = &out.bytes});
    out.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return out;
  }

};

TEST_F(FaultTest, AnAnswerDribbledOneByteAtATimeArrivesWhole) {
  const std::string body = "<html>slow but steady</html>";
  RawServer server(RawServer::dribble(
      "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body, 1, 5ms));
  const Outcome out = fetch(server, 2);
  EXPECT_EQ(out.status, "200 OK");
  EXPECT_EQ(out.page, body);
}

TEST_F(FaultTest, AHundredThousandHeaderLinesAreRefusedAsNoAnswer) {
  // Far beyond any sane header block; the transport refuses it as a bad
  // answer rather than letting it grow without bound.
  std::string response = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 100000; ++i) response += "X-Filler-" + std::to_string(i) + ": v\r\n";
  response += "Content-Length: 2\r\n\r\nok";
  RawServer server(RawServer::reply(response));
  const auto calls = platform::pending_message_calls();
  const Outcome out = fetch(server, 5);
  EXPECT_EQ(out.page, "");
  EXPECT_EQ(hex(out.status), hex(literals::winhttp_error(WinHttpError::kReceiveResponse)));
  EXPECT_EQ(out.headers, "") << "an output whose step is not reached keeps its value";
  EXPECT_EQ(platform::pending_message_calls() - calls, 1u) << "only the closing yield runs";
  EXPECT_LT(out.seconds, 5.0 + 2.0);
}

TEST_F(FaultTest, ABodyThatStopsComingEndsAtTheReceiveTimeoutWithThePartRead) {
  RawServer server([](RawConnection& connection) {
    connection.read_request();
    connection.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nfirst part");
    connection.hold();
  });
  const Outcome out = fetch(server, 1);
  EXPECT_EQ(out.page, "first part");
  // The headers were read after the failed read, so the answer's status wins
  // over the 713 text.
  EXPECT_EQ(out.status, "200 OK");
  EXPECT_GE(out.seconds, 0.9);
  EXPECT_LT(out.seconds, 1.0 + 2.0);
}

TEST_F(FaultTest, AStatusLineThatIsNotHttpIsNoAnswer) {
  for (const char* answer : {"HELLO THERE\r\n\r\nbody", "ICY 200 OK\r\n\r\nbody", "\r\n\r\n", "garbage"}) {
    SCOPED_TRACE(answer);
    RawServer server(RawServer::reply(answer));
    const Outcome out = fetch(server, 2);
    EXPECT_EQ(out.page, "");
    EXPECT_EQ(hex(out.status), hex(literals::winhttp_error(WinHttpError::kReceiveResponse)));
    EXPECT_LT(out.seconds, 2.0 + 2.0);
  }
}

TEST_F(FaultTest, InvalidUtf8InAPageDeclaringUtf8DecodesWhatItCanAndKeepsTheBytes) {
  // "签" in UTF-8, then a lone continuation byte, a truncated sequence and 0xFF.
  const std::string body = "<meta charset=\"utf-8\">\xE7\xAD\xBE|\x80|\xE7\xAD|\xFF|end";
  RawServer server(RawServer::reply("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                    "\r\n\r\n" + body));
  const Outcome out = fetch(server, 2);
  EXPECT_EQ(out.status, "200 OK");
  EXPECT_EQ(hex(out.bytes), hex(bytes_of(body)));
  EXPECT_EQ(hex(out.page), hex("<meta charset=\"utf-8\">" + gbk("签") + "|?|?|?|end"));
}

TEST_F(FaultTest, ASetCookieFloodMergesEveryCookieOnce) {
  std::string response = "HTTP/1.1 200 OK\r\n";
  const int flood = 5000;
  for (int i = 0; i < flood; ++i) response += "Set-Cookie: c" + std::to_string(i) + "=v; path=/\r\n";
  response += "Set-Cookie: c0=again\r\nContent-Length: 2\r\n\r\nok";
  RawServer server(RawServer::reply(response));
  const Outcome out = fetch(server, 5, "mine=1; c1=old");
  EXPECT_EQ(out.page, "ok");
  const auto items = split_text(out.cookie, "; ");
  // Every flooded cookie, the repeated c0 (both kept, as the answer set
  // them), and the caller's own cookie that the answer did not name.
  ASSERT_EQ(items.size(), static_cast<std::size_t>(flood) + 2);
  EXPECT_EQ(items.front(), "c0=v");
  EXPECT_EQ(items[flood], "c0=again");
  EXPECT_EQ(items.back(), "mine=1");
}

}  // namespace
}  // namespace ck
