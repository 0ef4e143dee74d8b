#include "app/main_window.h"

#include <sys/stat.h>

#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/com.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "tests/app/qt_app.h"
#include "tests/support/support.h"

namespace ck {
namespace {

using ck::testing::gbk;
using ck::testing::hex;
namespace fs = std::filesystem;

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

template <class T>
T* child(const QWidget& window, const char* name) {
  return window.findChild<T*>(q(name));
}

double date_of(int year, int month, int day, int hour, int minute, int second) {
  return platform::system_time_to_variant_time(
             {.year = year, .month = month, .day = day, .hour = hour, .minute = minute, .second = second})
      .value_or(0);
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { com_depth_ = platform::com_init_depth(); }
  void TearDown() override {
    EXPECT_EQ(platform::com_init_depth(), com_depth_);
    EXPECT_EQ(platform::ComObject::live_count(), 0);
  }

  fs::path settings_file() const { return tmp_.path() / "软件配置.ini"; }
  std::string settings_bytes() const { return ck::testing::read_whole_file(settings_file()); }
  void save(const char* section, const char* key, std::string_view value) const {
    ASSERT_TRUE(platform::write_private_profile_string(gbk(section), gbk(key), value, MainWindow::settings_path()));
  }

  ck::testing::TempDir tmp_;
  platform::ScopedProgramDirectory program_directory_{platform::path_text(tmp_.path())};
  int com_depth_ = 0;
};

TEST_F(MainWindowTest, ControlsHaveTheirNamesPlacesAndCaptions) {
  MainWindow window;
  enum Kind { group, label, combo, line, log };
  struct Control {
    const char* name;
    Kind kind;
    const char* parent;  // nullptr: the window
    QRect geometry;
    const char* caption;
  };
  const Control controls[] = {
      {"分组框1", group, nullptr, {0, -3, 344, 211}, nullptr},
      {"标签1", label, "分组框1", {8, 8, 80, 24}, "设置定时时间："},
      {"组合框1", combo, "分组框1", {88, 10, 40, 20}, nullptr},
      {"组合框2", combo, "分组框1", {140, 10, 40, 20}, nullptr},
      {"组合框3", combo, "分组框1", {196, 10, 40, 20}, nullptr},
      {"透明标签3", label, nullptr, {241, 6, 40, 24}, "倒计时"},
      {"编辑框4", line, nullptr, {280, 7, 56, 20}, nullptr},
      {"编辑框1", log, nullptr, {8, 32, 328, 112}, nullptr},
      {"透明标签1", label, "分组框1", {8, 152, 24, 24}, "ck"},
      {"编辑框2", line, "分组框1", {29, 152, 203, 24}, nullptr},
      {"透明标签2", label, "分组框1", {241, 150, 24, 24}, "vstk"},
      {"编辑框3", line, "分组框1", {271, 152, 65, 24}, nullptr},
      {"透明标签4", label, nullptr, {9, 178, 191, 24}, "Server密钥,用于Zarvo通知签到结果"},
      {"编辑框5", line, nullptr, {201, 178, 136, 24}, nullptr},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    QWidget* w = child<QWidget>(window, c.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), c.geometry);
    EXPECT_EQ(w->parentWidget()->objectName(), c.parent ? q(c.parent) : QString());
    EXPECT_EQ(w->parentWidget() == &window, c.parent == nullptr);
    switch (c.kind) {
      case group:
        EXPECT_NE(qobject_cast<QGroupBox*>(w), nullptr);
        break;
      case label:
        ASSERT_NE(qobject_cast<QLabel*>(w), nullptr);
        EXPECT_EQ(qobject_cast<QLabel*>(w)->text(), q(c.caption));
        EXPECT_FALSE(w->autoFillBackground());
        break;
      case combo:
        ASSERT_NE(qobject_cast<QComboBox*>(w), nullptr);
        EXPECT_TRUE(qobject_cast<QComboBox*>(w)->isEditable());
        break;
      case line: {
        auto* e = qobject_cast<QLineEdit*>(w);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->maxLength(), std::numeric_limits<int>::max());
        EXPECT_TRUE(e->hasFrame());
        EXPECT_EQ(e->palette().color(QPalette::Text), QColor(Qt::black));
        EXPECT_EQ(e->palette().color(QPalette::Base), QColor(Qt::white));
        break;
      }
      case log: {
        auto* e = qobject_cast<QPlainTextEdit*>(w);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->palette().color(QPalette::Text), QColor(255, 0, 0));
        EXPECT_EQ(e->palette().color(QPalette::Base), QColor(0, 0, 0));
        EXPECT_EQ(e->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        EXPECT_EQ(e->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        EXPECT_FALSE(e->isReadOnly());
        EXPECT_EQ(e->frameShadow(), QFrame::Sunken);
        break;
      }
    }
  }

  // The status bar: docked at the bottom, four fixed parts.
  QWidget* bar = child<QWidget>(window, "状态条1");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->geometry(), QRect(0, 208, 344, 20));
  const int widths[] = {60, 120, 110, 45};
  int left = 0;
  for (int i = 0; i < 4; ++i) {
    auto* part = bar->findChild<QLabel*>(QStringLiteral("part%1").arg(i));
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->geometry(), QRect(left, 0, widths[i], 20)) << "part " << i;
    left += widths[i];
  }
  EXPECT_EQ(window.status_part_text(0), gbk("现行时间："));
  EXPECT_EQ(window.status_part_text(1), "");
  EXPECT_EQ(window.status_part_text(2), gbk("累计签到成功天数："));
  EXPECT_EQ(window.status_part_text(3), "");
  EXPECT_EQ(window.trigger_timer().objectName(), q("时钟1"));
  EXPECT_EQ(window.clock_timer().objectName(), q("时钟2"));
}

TEST_F(MainWindowTest, HasAFixedFrameWithoutMaximiseAndOpensCentred) {
  MainWindow window;
  EXPECT_EQ(window.windowTitle(), q("会员每日签到"));
  EXPECT_EQ(window.size(), QSize(344, 228));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);

  window.show();
  ck::testing::run_event_loop(50);
  window.resize(500, 400);
  EXPECT_EQ(window.size(), QSize(344, 228));
  const QRect area = window.screen()->availableGeometry();
  const QPoint off = window.frameGeometry().center() - area.center();
  EXPECT_LE(std::abs(off.x()), 1) << off.x();
  EXPECT_LE(std::abs(off.y()), 1) << off.y();
}

TEST_F(MainWindowTest, FirstStartWithoutASettingsFile) {
  MainWindow window;
  EXPECT_EQ(window.cookie_text(), "");
  EXPECT_EQ(window.vstk_text(), "");
  EXPECT_EQ(window.server_key_text(), "");
  EXPECT_FALSE(fs::exists(settings_file())) << "start-up writes nothing";

  struct List {
    const char* name;
    int count;
  };
  for (const List& l : {List{"组合框1", 24}, List{"组合框2", 60}, List{"组合框3", 60}}) {
    auto* list = child<QComboBox>(window, l.name);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), l.count) << l.name;
    for (int i = 0; i < l.count; ++i) EXPECT_EQ(list->itemText(i), QString::number(i)) << l.name;
    EXPECT_EQ(list->currentIndex(), 0);
  }
  EXPECT_EQ(window.hour_text() + ":" + window.minute_text() + ":" + window.second_text(), "0:0:0");

  EXPECT_TRUE(window.trigger_timer().is_active());
  EXPECT_TRUE(window.clock_timer().is_active());
  EXPECT_EQ(window.trigger_timer().interval_ms(), 1000);
  EXPECT_EQ(window.clock_timer().interval_ms(), 1000);
}

TEST_F(MainWindowTest, SettingsComeFromTheFileBesideTheProgram) {
  EXPECT_EQ(MainWindow::settings_path(), platform::path_text(tmp_.path()) + gbk("\\软件配置.ini"));
  save("【CK】", "CK", "a=1; vwz_vuserid=42;");
  save("【vstk】", "vstk", "token-1");
  save("【Sever密钥】", "Sever密钥", gbk("键值"));
  MainWindow window;
  EXPECT_EQ(window.cookie_text(), "a=1; vwz_vuserid=42;");
  EXPECT_EQ(window.vstk_text(), "token-1");
  EXPECT_EQ(child<QLineEdit>(window, "编辑框3")->text(), q("token-1"));
  EXPECT_EQ(child<QLineEdit>(window, "编辑框5")->text(), q("键值"));
  EXPECT_EQ(window.server_key_text(), gbk("键值")) << hex(window.server_key_text());
}

TEST_F(MainWindowTest, AnEditIsNotSavedOnClose) {
  save("【CK】", "CK", "old cookie");
  const std::string before = settings_bytes();
  {
    MainWindow window;
    window.show();
    child<QLineEdit>(window, "编辑框2")->setText(q("edited cookie"));
    EXPECT_EQ(window.cookie_text(), "edited cookie") << "the box is the live value";
    window.close();
  }
  EXPECT_EQ(settings_bytes(), before);
  MainWindow next;
  EXPECT_EQ(next.cookie_text(), "old cookie");
}

TEST_F(MainWindowTest, SaveSettingsWritesTheThreeBoxesInOrderForItsOwnerOnly) {
  {
    MainWindow window;
    child<QLineEdit>(window, "编辑框2")->setText(q("c=1"));
    child<QLineEdit>(window, "编辑框3")->setText(q("v1"));
    child<QLineEdit>(window, "编辑框5")->setText(q("密"));
    CheckInHost& host = window;
    host.save_settings();
  }
  const std::string expected = gbk("[【CK】]\r\nCK=c=1\r\n[【vstk】]\r\nvstk=v1\r\n[【Sever密钥】]\r\nSever密钥=密\r\n");
  EXPECT_EQ(settings_bytes(), expected) << hex(settings_bytes());
  struct stat st {};
  ASSERT_EQ(::stat(settings_file().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // The next start shows what was saved; a later save keeps the file's shape.
  MainWindow next;
  EXPECT_EQ(next.vstk_text(), "v1");
  child<QLineEdit>(next, "编辑框3")->setText(q("v2"));
  next.save_settings();
  std::string changed = expected;
  changed.replace(changed.find("vstk=v1"), 7, "vstk=v2");
  EXPECT_EQ(settings_bytes(), changed) << hex(settings_bytes());
}

TEST_F(MainWindowTest, BoxTextsCrossAsGbk) {
  MainWindow window;
  child<QLineEdit>(window, "编辑框2")->setText(q("甲a한b"));  // Hangul has no GBK code
  EXPECT_EQ(window.cookie_text(), gbk("甲") + "a?b") << hex(window.cookie_text());
  window.set_countdown_text("0:19:59");
  EXPECT_EQ(child<QLineEdit>(window, "编辑框4")->text(), q("0:19:59"));
  EXPECT_EQ(window.countdown_text(), "0:19:59");
  child<QComboBox>(window, "组合框1")->setEditText(q("08"));
  EXPECT_EQ(window.hour_text(), "08");
}

TEST_F(MainWindowTest, LogLinesAreAppendedAndScrolledIntoView) {
  MainWindow window;
  window.show();
  CheckInHost& host = window;
  host.append_log(gbk("2026/12/9 18:45:21 签到成功获得成长值：10\r\n"));
  host.append_log("second\r\n");
  EXPECT_EQ(window.log_text(), gbk("2026/12/9 18:45:21 签到成功获得成长值：10\r\nsecond\r\n"));
  for (int i = 0; i < 40; ++i) host.append_log("line " + std::to_string(i) + "\r\n");
  ck::testing::run_event_loop(20);
  QScrollBar* bar = child<QPlainTextEdit>(window, "编辑框1")->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(MainWindowTest, StatusPartsAreReadAndWrittenByNumber) {
  MainWindow window;
  CheckInHost& host = window;
  host.set_status_part_text(3, "2");
  EXPECT_EQ(host.status_part_text(3), "2");
  host.set_status_part_text(4, "ignored");
  host.set_status_part_text(-1, "ignored");
  EXPECT_EQ(host.status_part_text(4), "");
  EXPECT_EQ(host.status_part_text(-1), "");
  EXPECT_EQ(host.status_part_text(0), gbk("现行时间："));
}

TEST_F(MainWindowTest, TheStatusClockShowsTheCurrentTimeEverySecond) {
  platform::ScopedFakeClock clock(date_of(2026, 12, 9, 18, 45, 21));
  MainWindow window;
  window.on_clock_tick();
  EXPECT_EQ(window.status_part_text(1), "2026/12/9 18:45:21");
  clock.set(-1e9);  // cannot be converted: the part is empty for that second
  window.on_clock_tick();
  EXPECT_EQ(window.status_part_text(1), "");

  // Through 时钟2 itself, while the event loop runs.
  clock.set(date_of(2026, 12, 9, 18, 45, 22));
  ck::testing::run_event_loop(2500, [&] { return !window.status_part_text(1).empty(); });
  EXPECT_EQ(window.status_part_text(1), "2026/12/9 18:45:22");
  clock.advance_seconds(1);
  ck::testing::run_event_loop(2500, [&] { return window.status_part_text(1) != "2026/12/9 18:45:22"; });
  EXPECT_EQ(window.status_part_text(1), "2026/12/9 18:45:23");
}

TEST_F(MainWindowTest, Screenshot) {
  // A CJK font must be there for the captions (fonts-noto-cjk).
  EXPECT_FALSE(QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty());

  save("【CK】", "CK", "vwz_vuserid=42; vwz_vusession=abc;");
  save("【vstk】", "vstk", "f00d");
  save("【Sever密钥】", "Sever密钥", "SCT123");
  platform::ScopedFakeClock clock(date_of(2026, 12, 9, 18, 45, 21));
  MainWindow window;
  window.trigger_timer().stop();
  window.clock_timer().stop();
  window.show();
  window.on_clock_tick();
  window.set_countdown_text("5:14:38");
  window.append_log(gbk("2026/12/9 18:45:21 签到成功获得成长值：10\r\n"));
  window.append_log(gbk("2026/12/9 18:45:22 cookie错误或已失效\r\n"));
  window.set_status_part_text(3, "1");
  ck::testing::run_event_loop(50);

  const QImage image = window.grab().toImage();
  EXPECT_EQ(image.size() / image.devicePixelRatio(), QSize(344, 228));
  // The log box is black with red text.
  EXPECT_EQ(image.pixelColor(QPoint(300, 130) * image.devicePixelRatio()), QColor(Qt::black));
  int red = 0;
  for (int y = 34; y < 60; ++y)
    for (int x = 10; x < 300; ++x) {
      const QColor c = image.pixelColor(QPoint(x, y) * image.devicePixelRatio());
      if (c.red() > 128 && c.green() < 80 && c.blue() < 80) ++red;
    }
  EXPECT_GT(red, 50);

  const char* dir = std::getenv("CK_BUILD_DIR");
  const fs::path folder = fs::path(dir ? dir : ".") / "screenshots";
  fs::create_directories(folder);
  const fs::path file = folder / "main_window.png";
  ASSERT_TRUE(image.save(QString::fromStdString(file.string()), "PNG"));
  EXPECT_GT(fs::file_size(file), 1000u);
  std::printf("screenshot: %s\n", file.c_str());
}

}  // namespace
}  // namespace ck
