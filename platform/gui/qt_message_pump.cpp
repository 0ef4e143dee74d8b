#include "platform/gui/qt_message_pump.h"

#include <QCoreApplication>

#include "platform/message_pump.h"

namespace ck::platform::gui {
namespace {

void pump() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

}  // namespace

void install_qt_message_pump() { install_message_pump(&pump); }

}  // namespace ck::platform::gui
