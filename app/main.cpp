#include <QApplication>

#include "app/main_window.h"
#include "platform/gui/qt_message_pump.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The web layer yields to the window through this pump during a run.
  ck::platform::gui::install_qt_message_pump();
  ck::MainWindow window;
  window.show();
  return application.exec();
}
