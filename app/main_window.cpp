#include "app/main_window.h"

#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextCursor>
#include <limits>
#include <string>

#include "app/literals.h"
#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/gui/qt_text.h"
#include "platform/profile.h"

namespace ck {
namespace {

using platform::gui::qstring_of;

// A value comes back through a buffer of this many bytes, zero included.
constexpr std::size_t SETTINGS_BUFFER_SIZE = 10240;

// Status-bar parts: width in pixels, from the left.
constexpr std::array<int, MainWindow::STATUS_PARTS> STATUS_PART_WIDTHS = {60, 120, 110, 45};
constexpr int STATUS_BAR_HEIGHT = 20;

QPalette colours(QPalette palette, const QColor& text, const QColor& base) {
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Base, base);
  return palette;
}

QLabel* label(QWidget* parent, const Text& name, const Text& caption, QRect geometry) {
  auto* l = new QLabel(qstring_of(caption), parent);
  l->setObjectName(qstring_of(name));
  l->setGeometry(geometry);
  // The transparent labels sit over the group box and must not hide its
  // frame; a QLabel paints no background of its own.
  l->setAutoFillBackground(false);
  l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return l;
}

QLineEdit* line_box(QWidget* parent, const Text& name, QRect geometry) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(qstring_of(name));
  e->setGeometry(geometry);
  e->setMaxLength(std::numeric_limits<int>::max());  // a cookie can be long
  e->setFrame(true);
  e->setPalette(colours(e->palette(), Qt::black, Qt::white));
  return e;
}

QComboBox* time_list(QWidget* parent, const Text& name, QRect geometry) {
  auto* c = new QComboBox(parent);
  c->setObjectName(qstring_of(name));
  c->setGeometry(geometry);
  c->setEditable(true);
  c->setInsertPolicy(QComboBox::NoInsert);  // typing picks a time, it adds no item
  c->setMaxVisibleItems(12);
  return c;
}

}  // namespace

MainWindow::MainWindow() : QWidget(nullptr), trigger_timer_(this), clock_timer_(this) {
  build();
  on_created();
}

MainWindow::~MainWindow() = default;

void MainWindow::build() {
  setWindowTitle(qstring_of(literals::product_title()));
  // A fixed frame: title bar with minimise and close, no maximise.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
  // The layout is drawn for a 12-pixel font; the family is the system's.
  QFont font = this->font();
  font.setPixelSize(12);
  setFont(font);

  // Created first, so the controls the window owns directly lie above it.
  group_box_ = new QGroupBox(this);
  group_box_->setObjectName(qstring_of(literals::group_box_1()));
  group_box_->setGeometry(0, -3, 344, 211);

  label(group_box_, literals::label_1(), literals::time_caption(), {8, 8, 80, 24});
  hour_list_ = time_list(group_box_, literals::combo_box(1), {88, 10, 40, 20});
  minute_list_ = time_list(group_box_, literals::combo_box(2), {140, 10, 40, 20});
  second_list_ = time_list(group_box_, literals::combo_box(3), {196, 10, 40, 20});
  label(this, literals::transparent_label(3), literals::countdown_caption(), {241, 6, 40, 24});
  countdown_box_ = line_box(this, literals::edit_box(4), {280, 7, 56, 20});

  log_box_ = new QPlainTextEdit(this);
  log_box_->setObjectName(qstring_of(literals::edit_box(1)));
  log_box_->setGeometry(8, 32, 328, 112);
  log_box_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  log_box_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  log_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_box_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  log_box_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  log_box_->setPalette(colours(log_box_->palette(), QColor(255, 0, 0), Qt::black));

  label(group_box_, literals::transparent_label(1), literals::cookie_caption(), {8, 152, 24, 24});
  cookie_box_ = line_box(group_box_, literals::edit_box(2), {29, 152, 203, 24});
  label(group_box_, literals::transparent_label(2), literals::vstk_caption(), {241, 150, 24, 24});
  vstk_box_ = line_box(group_box_, literals::edit_box(3), {271, 152, 65, 24});
  label(this, literals::transparent_label(4), literals::server_key_caption(), {9, 178, 191, 24});
  server_key_box_ = line_box(this, literals::edit_box(5), {201, 178, 136, 24});

  // Docked at the bottom, four fixed-width parts.
  status_bar_ = new QWidget(this);
  status_bar_->setObjectName(qstring_of(literals::status_bar_1()));
  status_bar_->setGeometry(0, CLIENT_HEIGHT - STATUS_BAR_HEIGHT, CLIENT_WIDTH, STATUS_BAR_HEIGHT);
  int left = 0;
  for (std::size_t i = 0; i < status_parts_.size(); ++i) {
    auto* part = new QLabel(status_bar_);
    part->setObjectName(QStringLiteral("part%1").arg(i));
    part->setGeometry(left, 0, STATUS_PART_WIDTHS[i], STATUS_BAR_HEIGHT);
    part->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    part->setIndent(2);
    part->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    left += STATUS_PART_WIDTHS[i];
    status_parts_[i] = part;
  }
  set_status_part_text(0, literals::clock_caption());
  set_status_part_text(2, literals::success_caption());

  // The window holds the focus at start-up, so no caret blinks (and repaints
  // twice a second) in a box until the user clicks into one.
  setFocusPolicy(Qt::ClickFocus);
  setFocus(Qt::OtherFocusReason);

  trigger_timer_.setObjectName(qstring_of(literals::timer(1)));
  trigger_timer_.set_handler([this] { on_trigger_tick(); });
  clock_timer_.setObjectName(qstring_of(literals::timer(2)));
  clock_timer_.set_handler([this] { on_clock_tick(); });
}

void MainWindow::on_created() {
  load_settings();
  for (int v = 0; v < 60; ++v) {
    const QString item = QString::number(v);
    minute_list_->addItem(item);
    second_list_->addItem(item);
    if (v < 24) hour_list_->addItem(item);
  }
  hour_list_->setCurrentIndex(0);
  minute_list_->setCurrentIndex(0);
  second_list_->setCurrentIndex(0);
  trigger_timer_.start();
  clock_timer_.start();
}

Text MainWindow::settings_path() { return platform::program_directory() + literals::settings_file_name(); }

void MainWindow::load_settings() {
  const Text path = settings_path();
  auto load = [&](QLineEdit* box, const Text& section, const Text& key) {
    box->setText(qstring_of(platform::get_private_profile_string(section, key, "", SETTINGS_BUFFER_SIZE, path)));
    box->setCursorPosition(0);  // a long cookie shows from its start
  };
  load(cookie_box_, literals::cookie_section(), literals::cookie_key());
  load(vstk_box_, literals::vstk_section(), literals::vstk_key());
  load(server_key_box_, literals::server_key_section(), literals::server_key_key());
}

void MainWindow::save_settings() {
  const Text path = settings_path();
  platform::write_private_profile_string(literals::cookie_section(), literals::cookie_key(), cookie_text(), path);
  platform::write_private_profile_string(literals::vstk_section(), literals::vstk_key(), vstk_text(), path);
  platform::write_private_profile_string(literals::server_key_section(), literals::server_key_key(),
                                         server_key_text(), path);
}

void MainWindow::on_clock_tick() {
  set_status_part_text(1, platform::format_date_time(platform::current_local_time()));
}

Text MainWindow::cookie_text() const { return platform::gui::text_of(cookie_box_->text()); }
Text MainWindow::vstk_text() const { return platform::gui::text_of(vstk_box_->text()); }
Text MainWindow::server_key_text() const { return platform::gui::text_of(server_key_box_->text()); }

void MainWindow::append_log(std::string_view line) {
  // CR LF ends a line of the log; Qt's documents break lines at LF.
  QString text = qstring_of(line);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  log_box_->moveCursor(QTextCursor::End);
  log_box_->insertPlainText(text);
  log_box_->moveCursor(QTextCursor::End);
  log_box_->ensureCursorVisible();
}

Text MainWindow::log_text() const {
  QString text = log_box_->toPlainText();
  text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return platform::gui::text_of(text);
}

Text MainWindow::status_part_text(int part) const {
  if (part < 0 || part >= STATUS_PARTS) return Text();
  return platform::gui::text_of(status_parts_[static_cast<std::size_t>(part)]->text());
}

void MainWindow::set_status_part_text(int part, std::string_view text) {
  if (part < 0 || part >= STATUS_PARTS) return;
  status_parts_[static_cast<std::size_t>(part)]->setText(qstring_of(text));
}

Text MainWindow::hour_text() const { return platform::gui::text_of(hour_list_->currentText()); }
Text MainWindow::minute_text() const { return platform::gui::text_of(minute_list_->currentText()); }
Text MainWindow::second_text() const { return platform::gui::text_of(second_list_->currentText()); }

Text MainWindow::countdown_text() const { return platform::gui::text_of(countdown_box_->text()); }
void MainWindow::set_countdown_text(std::string_view text) { countdown_box_->setText(qstring_of(text)); }

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!centred_ && !event->spontaneous()) {
    centred_ = true;
    centre_on_screen();
  }
}

void MainWindow::centre_on_screen() {
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  // The frame's size once the window system has framed the window, the
  // 348 x 257 it was laid out for until then.
  QSize outer = frameGeometry().size();
  if (outer == size()) outer = QSize(OUTER_WIDTH, OUTER_HEIGHT);
  const QRect area = screen->availableGeometry();
  move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
}

}  // namespace ck
