// The app tests run inside one real QApplication (QT_QPA_PLATFORM=offscreen
// under ctest), created before the first test and destroyed after the last.
#pragma once

#include <functional>

namespace ck::testing {

// Runs the Qt event loop for `ms` milliseconds, or until `done` holds.
void run_event_loop(int ms, const std::function<bool()>& done = nullptr);

}  // namespace ck::testing
