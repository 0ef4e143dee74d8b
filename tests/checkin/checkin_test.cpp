// The daily run against the fake service on loopback: what each request
// carries, how the answers are recorded, and the notice as it arrives.
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "checkin/refresh.h"
#include "checkin/run.h"
#include "checkin/session_state.h"
#include "platform/clock.h"
#include "platform/com.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/winhttp.h"
#include "tests/checkin/test_host.h"
#include "tests/support/fake_service.h"
#include "tests/support/support.h"

namespace ck {
namespace {

namespace fs = std::filesystem;
using testing::Endpoint;
using testing::FakeService;
using testing::gbk;
using testing::hex;

constexpr char kRefreshQuery[] =
    "vappid=73111083&vsecret=9c4e27d0b83a5f16e2d94c07a8b3f5e1d60c92a7b4e8f3d5&type=wz&g_tk=&g_vstk=";
constexpr char kRefreshUserAgent[] =
    "Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/47.0.2526.80 "
    "Safari/537.36 Core/1.47.277.400 WZBrowser/9.4.7658.400";
// The fake clock's time, as every time stamp of the run reads.
constexpr char kStamp[] = "2026/12/11 8:30:00";

std::string percent(unsigned char c) {
  static const char digits[] = "0123456789ABCDEF";
  return {'%', digits[c >> 4], digits[c & 15]};
}

// A URL text as it reaches the server: the exchange escapes blanks and
// non-ASCII characters (as UTF-8) and leaves the rest.
std::string on_the_wire(std::string_view utf8) {
  std::string out;
  for (unsigned char c : utf8) out += c == ' ' || c >= 0x80 ? percent(c) : std::string(1, static_cast<char>(c));
  return out;
}

// Every byte escaped, as the membership failure's notice text is.
std::string every_byte_escaped(std::string_view utf8) {
  std::string out;
  for (unsigned char c : utf8) out += percent(c);
  return out;
}

class CheckInRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string reason = testing::fake_service_unavailable_reason(); !reason.empty()) GTEST_SKIP() << reason;
    start_service({});
    session_state() = {};
    fs::create_directory(folder_);
    host_.cookie = "a=1;vwz_vusession=OLD;vwz_vuserid=42;";
    host_.vstk = "f3a9c1";
    host_.server_key = "SCT12345";
    com_depth_ = platform::com_init_depth();
  }
  void TearDown() override {
    if (!service_) return;
    EXPECT_EQ(platform::com_init_depth(), com_depth_);
    EXPECT_EQ(platform::ComObject::live_count(), 0);
    EXPECT_EQ(platform::winhttp_open_handles(), 0);
  }

  void start_service(FakeService::Options options) {
    service_.reset();
    service_ = std::make_unique<FakeService>(options);
    ASSERT_TRUE(service_->running()) << service_->failure_reason();
  }
  void answer(const FakeService::Answers& answers) { service_->set_answers(answers); }

  testing::ServiceRequest only(Endpoint endpoint) const {
    const auto requests = service_->requests(endpoint);
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? testing::ServiceRequest{} : requests.front();
  }
  fs::path result_file() const { return folder_ / "签到结果.txt"; }
  std::string result_bytes() const { return testing::read_whole_file(result_file()); }

  static double at(int year, int month, int day, int hour, int minute, int second) {
    return platform::system_time_to_variant_time(
               {.year = year, .month = month, .day = day, .hour = hour, .minute = minute, .second = second})
        .value();
  }

  testing::TempDir tmp_;
  fs::path folder_ = tmp_.path() / "签到 程序";
  platform::ScopedProgramDirectory program_directory_{platform::path_text(folder_)};
  platform::ScopedFakeClock clock_{at(2026, 12, 11, 8, 30, 0)};
  std::unique_ptr<FakeService> service_;
  testing::TestHost host_;
  int com_depth_ = 0;
};

TEST_F(CheckInRunTest, RequestsCarryTheirCookiesInOrder) {
  struct Case {
    const char* what;
    std::string cookie;
    bool refresh_has_session;
    std::string session_utf8;
    std::string membership_cookie;  // GBK, as it must arrive
    std::string mobile_cookie;
    std::string user_id;
  };
  const Case cases[] = {
      {"fresh session in place of the old", "a=1;vwz_vusession=OLD;vwz_vuserid=42;", true, "NEW",
       "a=1;vwz_vusession=NEW;vwz_vuserid=42;", "vwz_vusession=NEW;vwz_vuserid=42;main_login=wz;", "42"},
      {"vusession last without ';' stays", "a=1;vwz_vuserid=42;vwz_vusession=OLD", true, "NEW",
       "a=1;vwz_vuserid=42;vwz_vusession=OLD", "vwz_vusession=NEW;vwz_vuserid=42;main_login=wz;", "42"},
      {"failed refresh blanks the session", "a=1;vwz_vusession=OLD;vwz_vuserid=42;", false, "",
       "a=1;vwz_vusession=;vwz_vuserid=42;", "vwz_vusession=;vwz_vuserid=42;main_login=wz;", "42"},
      {"every occurrence is replaced", "vwz_vusession=OLD;vqq_vusession=OLD;vwz_vuserid=7;", true, "NEW",
       "vwz_vusession=NEW;vqq_vusession=NEW;vwz_vuserid=7;", "vwz_vusession=NEW;vwz_vuserid=7;main_login=wz;", "7"},
      {"no user id", "vwz_vusession=OLD;", true, "NEW", "vwz_vusession=NEW;",
       "vwz_vusession=NEW;vwz_vuserid=;main_login=wz;", ""},
      {"UTF-8 session converted to GBK", "vwz_vusession=OLD;vwz_vuserid=42;", true, "会话NEW",
       gbk("vwz_vusession=会话NEW;vwz_vuserid=42;"), gbk("vwz_vusession=会话NEW;vwz_vuserid=42;main_login=wz;"),
       "42"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    service_->clear_requests();
    host_.cookie = c.cookie;
    answer({.refresh_has_session = c.refresh_has_session, .session = c.session_utf8});

    refresh_session(host_);

    const auto requests = service_->requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].endpoint, Endpoint::session_refresh);
    EXPECT_EQ(requests[1].endpoint, Endpoint::membership_task);
    EXPECT_EQ(requests[2].endpoint, Endpoint::mobile_checkin);
    EXPECT_EQ(requests[3].endpoint, Endpoint::push);
    EXPECT_EQ(requests[0].cookie, c.cookie) << hex(requests[0].cookie);
    EXPECT_EQ(requests[1].cookie, c.membership_cookie) << hex(requests[1].cookie);
    EXPECT_EQ(requests[2].cookie, c.mobile_cookie) << hex(requests[2].cookie);
    EXPECT_FALSE(requests[3].has_cookie);
    EXPECT_EQ(session_state().session, gbk(c.session_utf8)) << hex(session_state().session);
    EXPECT_EQ(session_state().user_id, c.user_id);
  }
}

TEST_F(CheckInRunTest, RequestLinesOfTheRun) {
  for (const char* vstk : {"", "f3a9c1-Z_8"}) {
    SCOPED_TRACE(vstk);
    service_->clear_requests();
    host_.vstk = vstk;
    refresh_session(host_);

    const auto refresh = only(Endpoint::session_refresh);
    EXPECT_EQ(refresh.method, "POST");
    EXPECT_EQ(refresh.path, "/user/auth_refresh");
    EXPECT_EQ(refresh.query, std::string(kRefreshQuery) + vstk);
    EXPECT_EQ(refresh.user_agent, kRefreshUserAgent);
    const auto membership = only(Endpoint::membership_task);
    EXPECT_EQ(membership.method, "GET");
    EXPECT_EQ(membership.path, "/fcgi-bin/comm_cgi");
    EXPECT_EQ(membership.query, "name=hierarchical_task_system&cmd=2&_=");
    const auto mobile = only(Endpoint::mobile_checkin);
    EXPECT_EQ(mobile.method, "GET");
    EXPECT_EQ(mobile.path, "/x/bu/mobile_checkin");
    EXPECT_EQ(mobile.query, "");
    EXPECT_EQ(only(Endpoint::push).method, "GET");
  }
}

TEST_F(CheckInRunTest, BothSucceedTwice) {
  answer({.score = "10", .growth_points = "5"});
  const Text line1 = gbk(std::string(kStamp) + " 签到成功获得成长值：10\r\n");
  const Text line2 = gbk(std::string(kStamp) + " 签到成功获得成长值：5\r\n");

  refresh_session(host_);

  EXPECT_EQ(host_.log, line1 + line2) << hex(host_.log);
  EXPECT_EQ(result_bytes(), line1 + line2) << hex(result_bytes());
  EXPECT_EQ(host_.status_parts[3], "2");
  ASSERT_EQ(host_.saves.size(), 1u);
  EXPECT_EQ(host_.saves[0].cookie, host_.cookie);
  EXPECT_EQ(only(Endpoint::push).path, "/push/SCT12345.send");
  EXPECT_EQ(only(Endpoint::push).query,
            "text=" + on_the_wire(std::string(kStamp) + " 签到成功获得成长值：第一次：10第二次：5"));

  // The next run appends to the file it finds and counts on.
  refresh_session(host_);
  EXPECT_EQ(result_bytes(), line1 + line2 + line1 + line2) << hex(result_bytes());
  EXPECT_EQ(host_.log, line1 + line2 + line1 + line2);
  EXPECT_EQ(host_.status_parts[3], "4");
  EXPECT_EQ(host_.saves.size(), 2u);
}

TEST_F(CheckInRunTest, BothFail) {
  answer({.membership = FakeService::Outcome::failure, .mobile = FakeService::Outcome::failure});
  host_.status_parts[3] = "3";
  const Text line = gbk(std::string(kStamp) + " cookie错误或已失效\r\n");

  refresh_session(host_);

  EXPECT_EQ(host_.log, line + line) << hex(host_.log);
  EXPECT_EQ(result_bytes(), line + line) << hex(result_bytes());
  EXPECT_EQ(host_.status_parts[3], "3");
  EXPECT_TRUE(host_.saves.empty());
  // The membership text comes escaped byte by byte (so the exchange leaves
  // it alone); the mobile text is escaped by the exchange.
  EXPECT_EQ(only(Endpoint::push).query, "text=" + on_the_wire(kStamp) +
                                            every_byte_escaped(std::string(kStamp) + " cookie错误或已失效") +
                                            on_the_wire(" cookie错误或已失效"));
}

TEST_F(CheckInRunTest, ServiceDownStillSendsTheNotice) {
  start_service({.service_up = false});
  host_.status_parts[3] = "1";
  session_state().session = "FROM-AN-EARLIER-RUN";

  refresh_session(host_);

  EXPECT_EQ(session_state().session, "");
  EXPECT_EQ(host_.log, "");
  EXPECT_FALSE(fs::exists(result_file()));
  EXPECT_EQ(host_.status_parts[3], "1");
  EXPECT_TRUE(host_.saves.empty());
  const auto push = only(Endpoint::push);
  EXPECT_EQ(push.path, "/push/SCT12345.send");
  EXPECT_EQ(push.query, "text=" + on_the_wire(kStamp));
}

TEST_F(CheckInRunTest, MembershipAnswerWithoutWrapperIsNotRecognised) {
  answer({.membership_wrapped = false, .growth_points = "5"});
  host_.server_key = "";

  refresh_session(host_);

  const Text line2 = gbk(std::string(kStamp) + " 签到成功获得成长值：5\r\n");
  EXPECT_EQ(host_.log, line2) << hex(host_.log);
  EXPECT_EQ(result_bytes(), line2) << hex(result_bytes());
  EXPECT_EQ(host_.status_parts[3], "1");
  EXPECT_TRUE(host_.saves.empty());
  // An empty key: the base is followed directly by ".send".
  const auto push = only(Endpoint::push);
  EXPECT_EQ(push.path, "/push/.send");
  EXPECT_EQ(push.query, "text=" + on_the_wire(std::string(kStamp) + "第二次：5"));
}

TEST_F(CheckInRunTest, GrowthPointsAreTrimmed) {
  answer({.growth_points = "\xe3\x80\x80 12 "});  // a full-width space, blanks
  refresh_session(host_);
  EXPECT_EQ(host_.log.substr(host_.log.size() - 4), "12\r\n") << hex(host_.log);
}

// The result file is only ever appended to: what it held stays byte for
// byte, a zero byte and a last line without CR LF included.
TEST_F(CheckInRunTest, ResultFileKeepsEveryEarlierByte) {
  const std::string earlier = std::string("2026/12/10 8:30:00 ok\r\n") + '\0' + "after zero\r\nno line end";
  testing::write_whole_file(result_file(), earlier);
  answer({.membership = FakeService::Outcome::unrecognised, .mobile = FakeService::Outcome::failure});

  refresh_session(host_);

  EXPECT_EQ(result_bytes(), earlier + gbk(std::string(kStamp) + " cookie错误或已失效\r\n")) << hex(result_bytes());
}

TEST(AppendResultLine, CreatesThenAppends) {
  testing::TempDir tmp;
  platform::ScopedProgramDirectory directory(platform::path_text(tmp.path()));
  EXPECT_EQ(result_path(), platform::path_text(tmp.path()) + gbk("\\签到结果.txt"));
  const Text a = gbk("第一行\r\n");
  const Text b = gbk("第二行\r\n");
  append_result_line(a);
  EXPECT_EQ(testing::read_whole_file(tmp.path() / "签到结果.txt"), a);
  append_result_line(b);
  EXPECT_EQ(testing::read_whole_file(tmp.path() / "签到结果.txt"), a + b);
}

TEST(TrimBlanks, RemovesSpacesAtBothEndsOnly) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"", ""},
      {"   ", ""},
      {"  5 ", "5"},
      {"1 2", "1 2"},
      {"\xA1\xA1 7\xA1\xA1", "7"},      // full-width spaces
      {"\t7\t", "\t7\t"},               // only spaces count
      {"\xB0\xA1\xA1", "\xB0\xA1\xA1"},  // A1 as a trail byte is no space
  };
  for (const Case& c : cases) EXPECT_EQ(trim_blanks(c.in), c.out) << hex(c.in);
}

}  // namespace
}  // namespace ck
