// The program's window with a stopwatch: prints the wall-clock time (ns since
// the epoch, CLOCK_REALTIME) at which the first frame of the window has been
// painted and flushed, then quits. bench/app_idle.sh compares it with the
// moment it started the process, so the figure covers loading the program and
// its libraries as well as building the window.
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <ctime>

#include "app/main_window.h"
#include "platform/gui/qt_message_pump.h"

namespace {

long long realtime_ns() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// The first paint of the window; the frame is on screen once the event loop
// comes round again (the backing store is flushed right after the paint).
class FirstFrame : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      QTimer::singleShot(0, [] {
        std::printf("first_frame_ns %lld\n", realtime_ns());
        std::fflush(stdout);
        QCoreApplication::quit();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool seen_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  ck::platform::gui::install_qt_message_pump();
  ck::MainWindow window;
  FirstFrame first_frame;
  window.installEventFilter(&first_frame);
  window.show();
  return application.exec();
}
