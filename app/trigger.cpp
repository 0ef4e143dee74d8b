#include "app/main_window.h"

namespace ck {

void MainWindow::on_trigger_tick() {}

}  // namespace ck
