#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

#include "app/main_window.h"
#include "platform/gui/qt_message_pump.h"

namespace {

int quit_pipe[2] = {-1, -1};

extern "C" void on_quit_signal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(quit_pipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the program as closing the window does: the event
// loop returns (after a run in progress) and everything is torn down in
// order. The handler only writes to a pipe that the event loop watches.
void quit_on_signals(QApplication& application) {
  if (::pipe2(quit_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(quit_pipe[0], QSocketNotifier::Read, &application);
  QObject::connect(notifier, &QSocketNotifier::activated, &application, [] { QCoreApplication::quit(); });
  struct sigaction action {};
  action.sa_handler = on_quit_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  quit_on_signals(application);
  // The web layer yields to the window through this pump during a run.
  ck::platform::gui::install_qt_message_pump();
  ck::MainWindow window;
  window.show();
  return application.exec();
}
