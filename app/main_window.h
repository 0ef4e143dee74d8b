// The program's one window: the settings boxes, the time lists, the log box,
// the countdown, the status bar and the two one-second timers.
//
// Every control carries its name as its objectName (编辑框1 ...). Box texts
// cross to and from Qt as GBK; a typed character GBK cannot hold reads as "?".
#pragma once

#include <QWidget>
#include <array>
#include <string_view>

#include "checkin/host.h"
#include "platform/gui/second_timer.h"
#include "platform/types.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace ck {

class MainWindow : public QWidget, public CheckInHost {
 public:
  // The size of the frame the layout was drawn for, and its client area: the
  // controls sit at fixed positions in a 344 x 228 client area, which the
  // 2-pixel borders and 27-pixel title bar of that frame make 348 x 257.
  static constexpr int OUTER_WIDTH = 348;
  static constexpr int OUTER_HEIGHT = 257;
  static constexpr int CLIENT_WIDTH = 344;
  static constexpr int CLIENT_HEIGHT = 228;
  static constexpr int STATUS_PARTS = 4;

  // Builds the window from its description and runs on_created().
  MainWindow();
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Start-up: loads the settings, fills the hour, minute and second lists,
  // selects 0:0:0 and starts 时钟1, then 时钟2, at 1000 ms.
  void on_created();
  // The settings file's three values into 编辑框2, 编辑框3 and 编辑框5.
  void load_settings();
  // The three boxes' current texts into the settings file. A failed write is
  // not reported.
  void save_settings() override;
  // 时钟2: the current local time into status-bar part 1.
  void on_clock_tick();
  // 时钟1: the daily trigger and its countdown (app/trigger.cpp).
  void on_trigger_tick();
  void update_countdown(int hour, int minute, int second);

  // The settings file: the program's directory and "\软件配置.ini".
  static Text settings_path();

  // CheckInHost.
  Text cookie_text() const override;      // 编辑框2
  Text vstk_text() const override;        // 编辑框3
  Text server_key_text() const override;  // 编辑框5
  void append_log(std::string_view line) override;
  Text status_part_text(int part) const override;  // "" for a part that does not exist
  void set_status_part_text(int part, std::string_view text) override;

  // The time lists as they show (组合框1 hour, 组合框2 minute, 组合框3 second).
  Text hour_text() const;
  Text minute_text() const;
  Text second_text() const;
  // The countdown box 编辑框4.
  Text countdown_text() const;
  void set_countdown_text(std::string_view text);
  // The log box's whole text, lines ending in CR LF.
  Text log_text() const;

  platform::gui::SecondTimer& trigger_timer() { return trigger_timer_; }  // 时钟1
  platform::gui::SecondTimer& clock_timer() { return clock_timer_; }      // 时钟2

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void build();
  void centre_on_screen();

  QGroupBox* group_box_ = nullptr;          // 分组框1
  QComboBox* hour_list_ = nullptr;          // 组合框1
  QComboBox* minute_list_ = nullptr;        // 组合框2
  QComboBox* second_list_ = nullptr;        // 组合框3
  QPlainTextEdit* log_box_ = nullptr;       // 编辑框1
  QLineEdit* cookie_box_ = nullptr;         // 编辑框2
  QLineEdit* vstk_box_ = nullptr;           // 编辑框3
  QLineEdit* countdown_box_ = nullptr;      // 编辑框4
  QLineEdit* server_key_box_ = nullptr;     // 编辑框5
  QWidget* status_bar_ = nullptr;           // 状态条1
  std::array<QLabel*, STATUS_PARTS> status_parts_{};
  platform::gui::SecondTimer trigger_timer_;  // 时钟1
  platform::gui::SecondTimer clock_timer_;    // 时钟2
  bool centred_ = false;
};

}  // namespace ck
