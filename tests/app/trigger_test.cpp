// The daily trigger of 时钟1 in a real window: the countdown it shows, and
// when it starts the day's run (seen at the fake service on loopback).
#include <QComboBox>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/trigger.h"
#include "checkin/session_state.h"
#include "platform/clock.h"
#include "platform/com.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/winhttp.h"
#include "tests/support/fake_service.h"
#include "tests/support/support.h"

namespace ck {
namespace {

using testing::Endpoint;
using testing::FakeService;
using testing::hex;

double at(int hour, int minute, int second, int day = 11) {
  return platform::system_time_to_variant_time(
             {.year = 2026, .month = 12, .day = day, .hour = hour, .minute = minute, .second = second})
      .value();
}

class TriggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    com_depth_ = platform::com_init_depth();
    window_ = std::make_unique<MainWindow>();
    // The test ticks by hand, on the fake clock.
    window_->trigger_timer().stop();
    window_->clock_timer().stop();
    session_state() = {};
  }
  void TearDown() override {
    window_.reset();
    EXPECT_EQ(platform::com_init_depth(), com_depth_);
    EXPECT_EQ(platform::ComObject::live_count(), 0);
    EXPECT_EQ(platform::winhttp_open_handles(), 0);
  }

  QComboBox* list(int n) const {
    const char* names[] = {"组合框1", "组合框2", "组合框3"};
    return window_->findChild<QComboBox*>(QString::fromUtf8(names[n - 1]));
  }
  // As the user types into the editable lists.
  void choose(const char* hour, const char* minute, const char* second) {
    list(1)->setEditText(QString::fromUtf8(hour));
    list(2)->setEditText(QString::fromUtf8(minute));
    list(3)->setEditText(QString::fromUtf8(second));
  }
  void tick_at(double time) {
    clock_.set(time);
    window_->on_trigger_tick();
  }
  // Starts the fake service, or says why the test cannot run.
  bool start_service() {
    if (std::string reason = testing::fake_service_unavailable_reason(); !reason.empty()) {
      skip_reason_ = reason;
      return false;
    }
    service_ = std::make_unique<FakeService>();
    if (!service_->running()) {
      ADD_FAILURE() << service_->failure_reason();
      return false;
    }
    return true;
  }

  testing::TempDir tmp_;
  platform::ScopedProgramDirectory program_directory_{platform::path_text(tmp_.path())};
  platform::ScopedFakeClock clock_{at(8, 0, 0)};
  std::unique_ptr<FakeService> service_;
  std::unique_ptr<MainWindow> window_;
  std::string skip_reason_;
  int com_depth_ = 0;
};

TEST_F(TriggerTest, CountdownTexts) {
  struct Case {
    const char* hour;
    const char* minute;
    const char* second;
    int h, m, s;
    const char* shown;  // "KEEP": the box keeps its text
  };
  const Case cases[] = {
      {"8", "30", "0", 8, 10, 0, "0:19:59"},
      {"8", "30", "0", 8, 40, 0, "23:49:59"},
      {"0", "0", "0", 23, 59, 59, "0:0:0"},
      {"0", "0", "0", 0, 0, 1, "23:59:58"},
      {"20", "0", "5", 19, 0, 0, "1:0:4"},
      {"8", "30", "0", 8, 30, 0, "KEEP"},       // the chosen second itself: -1 left
      {"08", "30", "0", 8, 30, 0, "KEEP"},      // "08" reads as 8
      {"8x", "30", "0", 8, 29, 0, "0:0:59"},    // atoi stops at the x
      {" +8", "30", "0", 8, 29, 0, "0:0:59"},   // leading blank and sign
      {"8", "", "", 8, 0, 0, "KEEP"},           // minute and second cleared: two fields
      {"", "", "", 8, 0, 0, "KEEP"},            // all cleared
      {"", "30", "0", 8, 0, 0, "KEEP"},         // hour cleared: no number
      {"x", "30", "0", 8, 0, 0, "KEEP"},        // not a number
      {"8:30", "0", "0", 8, 0, 0, "0:29:59"},   // a typed colon: the first three fields count
      {"99999999999999", "0", "0", 8, 0, 0, "999999990:59:59"},  // held at nine digits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.hour) + ":" + c.minute + ":" + c.second + " at " + std::to_string(c.h) + ":" +
                 std::to_string(c.m) + ":" + std::to_string(c.s));
    choose(c.hour, c.minute, c.second);
    window_->set_countdown_text("KEEP");
    window_->update_countdown(c.h, c.m, c.s);
    EXPECT_EQ(window_->countdown_text(), c.shown);
  }
}

TEST_F(TriggerTest, RunsExactlyOnceAtTheChosenSecond) {
  if (!start_service()) GTEST_SKIP() << skip_reason_;
  list(1)->setCurrentIndex(0);
  list(2)->setCurrentIndex(0);
  list(3)->setCurrentIndex(0);

  tick_at(at(23, 59, 58));
  EXPECT_EQ(window_->countdown_text(), "0:0:1");
  tick_at(at(23, 59, 59));
  EXPECT_EQ(window_->countdown_text(), "0:0:0");
  EXPECT_EQ(service_->requests().size(), 0u);

  tick_at(at(0, 0, 0, 12));
  EXPECT_EQ(service_->request_count(Endpoint::session_refresh), 1u);
  EXPECT_EQ(service_->requests().size(), 4u);
  EXPECT_EQ(window_->countdown_text(), "0:0:0");  // untouched in the run's tick
  EXPECT_EQ(window_->status_part_text(3), "2");

  tick_at(at(0, 0, 1, 12));
  EXPECT_EQ(window_->countdown_text(), "23:59:58");
  EXPECT_EQ(service_->requests().size(), 4u);
}

TEST_F(TriggerTest, NothingAtTheSuppressedTimes) {
  if (!start_service()) GTEST_SKIP() << skip_reason_;
  for (const SuppressedTime& t : SUPPRESSED_TIMES) {
    const std::string hour = std::to_string(t.hour);
    const std::string minute = std::to_string(t.minute);
    SCOPED_TRACE(hour + ":" + minute);
    choose(hour.c_str(), minute.c_str(), "5");
    window_->set_countdown_text("0:0:0");
    tick_at(at(t.hour, t.minute, 5));
    EXPECT_EQ(window_->countdown_text(), "0:0:0");
    // The countdown still counts towards it.
    tick_at(at(t.hour, t.minute, 6));
    EXPECT_EQ(window_->countdown_text(), "23:59:58");
  }
  EXPECT_EQ(service_->requests().size(), 0u);
  // A neighbouring minute is not suppressed.
  choose("20", "1", "5");
  tick_at(at(20, 1, 5));
  EXPECT_EQ(service_->request_count(Endpoint::session_refresh), 1u);
  EXPECT_FALSE(window_->log_text().empty());
}

TEST_F(TriggerTest, TypedLeadingZeroNeverMatches) {
  if (!start_service()) GTEST_SKIP() << skip_reason_;
  const char* typed[][3] = {{"08", "30", "0"}, {"8", "030", "0"}, {"8", "30", "00"}, {" 8", "30", "0"}};
  for (const auto& t : typed) {
    choose(t[0], t[1], t[2]);
    tick_at(at(8, 30, 0));
  }
  EXPECT_EQ(service_->requests().size(), 0u);
  choose("8", "30", "0");
  tick_at(at(8, 30, 0));
  EXPECT_EQ(service_->request_count(Endpoint::session_refresh), 1u);
}

TEST_F(TriggerTest, ListsClearedByTheUser) {
  window_->set_countdown_text("1:2:3");
  for (int n = 1; n <= 3; ++n) list(n)->clear();  // items gone, nothing shown
  tick_at(at(8, 0, 0));
  EXPECT_EQ(window_->countdown_text(), "1:2:3");
  tick_at(at(0, 0, 0));
  EXPECT_EQ(window_->countdown_text(), "1:2:3");
  for (int n = 1; n <= 3; ++n) list(n)->clearEditText();
  tick_at(at(0, 0, 0));
  EXPECT_EQ(window_->countdown_text(), "1:2:3") << hex(window_->countdown_text());
}

}  // namespace
}  // namespace ck
