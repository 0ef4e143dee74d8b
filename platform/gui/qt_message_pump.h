// The real "process pending window messages": Qt's event processing.
#pragma once

namespace ck::platform::gui {

// Installs the Qt pump into platform/message_pump.h. Each call then runs
// QCoreApplication::processEvents(), and does nothing while no
// QCoreApplication exists.
void install_qt_message_pump();

}  // namespace ck::platform::gui
