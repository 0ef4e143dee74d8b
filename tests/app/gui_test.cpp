// The Qt-backed platform pieces: the message pump, widget texts, the
// one-second timer.
#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gui/qt_message_pump.h"
#include "platform/gui/qt_text.h"
#include "platform/gui/second_timer.h"
#include "platform/message_pump.h"
#include "tests/app/qt_app.h"
#include "tests/support/support.h"

namespace ck::platform::gui {
namespace {

using ck::testing::gbk;
using ck::testing::hex;

TEST(QtMessagePump, PendingMessagesRunWhenTheWebLayerYields) {
  bool delivered = false;
  QTimer::singleShot(0, [&] { delivered = true; });

  process_pending_messages();  // the no-op pump until the window installs the real one
  EXPECT_FALSE(delivered);

  install_qt_message_pump();
  const std::uint64_t calls = pending_message_calls();
  process_pending_messages();
  EXPECT_TRUE(delivered);
  EXPECT_EQ(pending_message_calls(), calls + 1);
  install_message_pump(nullptr);
}

TEST(QtText, GbkCrossesToQtAndBack) {
  const Text text = gbk("签到成功获得成长值：10 【CK】");
  EXPECT_EQ(qstring_of(text), QString::fromUtf8("签到成功获得成长值：10 【CK】"));
  EXPECT_EQ(text_of(qstring_of(text)), text) << hex(text_of(qstring_of(text)));
  EXPECT_EQ(qstring_of(""), QString());
  EXPECT_EQ(text_of(QString()), "");
  // What GBK cannot hold comes back as "?".
  EXPECT_EQ(text_of(QString::fromUtf8("x한y")), "x?y");
}

TEST(SecondTimer, AimsAtTheMiddleOfTheNextUnseenSecond) {
  struct Case {
    std::int64_t now_ms;
    std::int64_t last_second;
    std::int64_t delay;
  };
  const Case cases[] = {
      {12000, 11, 500},   // started early in a second: its own middle
      {12499, 11, 1},
      {12500, 11, 1000},  // its middle has passed: the next one
      {12503, 12, 997},   // the usual tick, a little late
      {12499, 12, 1001},  // woken a little early: never the same second again
      {12900, 12, 600},   // a late tick still lands in the middle of the next second
      {12100, 20, 9400},  // the clock stepped back (the caller clamps the wait)
      {-1500, -3, 1000},  // before 1970 the seconds still step forwards
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SecondTimer::delay_to_next_tick(c.now_ms, c.last_second), c.delay)
        << c.now_ms << " after second " << c.last_second;
  }
}

TEST(SecondTimer, TicksOnceInEverySecondClearOfItsBoundaries) {
  using namespace std::chrono;
  SecondTimer timer;
  std::vector<std::int64_t> ticks;
  timer.set_handler([&] {
    ticks.push_back(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
  });
  EXPECT_FALSE(timer.is_active());
  timer.start();
  EXPECT_TRUE(timer.is_active());
  EXPECT_EQ(timer.interval_ms(), 1000);
  ck::testing::run_event_loop(4200);
  timer.stop();
  EXPECT_FALSE(timer.is_active());

  ASSERT_GE(ticks.size(), 3u);
  for (std::size_t i = 0; i < ticks.size(); ++i) {
    const std::int64_t phase = ticks[i] % 1000;
    // Never near the boundary before the tick's second; a loaded machine may
    // deliver late, but not 400 ms early.
    EXPECT_GE(phase, 400) << "tick " << i;
    if (i > 0) {
      EXPECT_GT(ticks[i] / 1000, ticks[i - 1] / 1000) << "a second seen twice";
    }
  }

  // A handler that stops its timer keeps it stopped.
  const std::size_t seen = ticks.size();
  timer.set_handler([&] {
    ticks.push_back(0);
    timer.stop();
  });
  timer.start();
  ck::testing::run_event_loop(2600);
  EXPECT_EQ(ticks.size(), seen + 1);
  EXPECT_FALSE(timer.is_active());
}

}  // namespace
}  // namespace ck::platform::gui
