// Soak test of the idle window, run by scripts/soak.sh (not part of ctest).
//
// Runs the real window for the given number of minutes and records the
// wall-clock time of every tick of both timers. Passes when every whole
// second of the run saw exactly one tick of each timer and resident memory
// stayed flat after the first minute. Prints one summary line a check.
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "platform/files.h"
#include "platform/gui/qt_message_pump.h"
#include "tests/support/support.h"

namespace {

std::int64_t now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

long resident_kib() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Seconds within [first, last] that did not see exactly one tick.
std::vector<std::pair<std::int64_t, int>> uneven_seconds(const std::vector<std::int64_t>& ticks, std::int64_t first,
                                                         std::int64_t last) {
  std::map<std::int64_t, int> per_second;
  for (std::int64_t t : ticks) ++per_second[t / 1000];
  std::vector<std::pair<std::int64_t, int>> out;
  for (std::int64_t s = first; s <= last; ++s) {
    const int n = per_second.count(s) ? per_second[s] : 0;
    if (n != 1) out.emplace_back(s, n);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
  QApplication application(argc, argv);
  ck::platform::gui::install_qt_message_pump();
  ck::testing::TempDir folder;  // the settings file and result file go here, not beside the binary
  ck::platform::ScopedProgramDirectory directory(ck::platform::path_text(folder.path()));

  ck::MainWindow window;
  window.show();

  std::vector<std::int64_t> trigger_ticks, clock_ticks;
  trigger_ticks.reserve(100000);
  clock_ticks.reserve(100000);
  window.trigger_timer().set_handler([&] {
    trigger_ticks.push_back(now_ms());
    window.on_trigger_tick();
  });
  window.clock_timer().set_handler([&] {
    clock_ticks.push_back(now_ms());
    window.on_clock_tick();
  });

  const std::int64_t start = now_ms();
  long rss_after_warmup = 0, rss_peak = 0;
  QTimer sampler;
  sampler.setInterval(5000);
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    const long rss = resident_kib();
    if (now_ms() - start >= 60000 && rss_after_warmup == 0) rss_after_warmup = rss;
    if (rss > rss_peak) rss_peak = rss;
  });
  sampler.start();
  QTimer::singleShot(static_cast<int>(minutes * 60000), &application, &QCoreApplication::quit);
  application.exec();
  const std::int64_t end = now_ms();
  const long rss_end = resident_kib();
  if (rss_after_warmup == 0) rss_after_warmup = rss_end;

  // Whole seconds only: the first and the last second of the run are partial.
  const std::int64_t first = start / 1000 + 1, last = end / 1000 - 1;
  const auto trigger_uneven = uneven_seconds(trigger_ticks, first, last);
  const auto clock_uneven = uneven_seconds(clock_ticks, first, last);
  for (const auto& [second, n] : trigger_uneven) std::printf("时钟1: second %lld saw %d ticks\n", (long long)second, n);
  for (const auto& [second, n] : clock_uneven) std::printf("时钟2: second %lld saw %d ticks\n", (long long)second, n);

  int offset_sum = 0, offset_max = 0;
  for (std::int64_t t : clock_ticks) {
    const int offset = static_cast<int>(t % 1000);
    offset_sum += offset;
    offset_max = std::max(offset_max, offset);
  }
  const long growth = rss_end - rss_after_warmup;
  const bool memory_flat = growth < 1024;  // under 1 MiB after the first minute
  std::printf("seconds checked: %lld; 时钟1 ticks %zu, uneven seconds %zu; 时钟2 ticks %zu, uneven seconds %zu\n",
              (long long)(last - first + 1), trigger_ticks.size(), trigger_uneven.size(), clock_ticks.size(),
              clock_uneven.size());
  std::printf("tick offset within the second: mean %d ms, latest %d ms\n",
              clock_ticks.empty() ? 0 : offset_sum / static_cast<int>(clock_ticks.size()), offset_max);
  std::printf("resident memory: %ld KiB after the first minute, %ld KiB at the end (%+ld KiB), peak %ld KiB\n",
              rss_after_warmup, rss_end, growth, rss_peak);
  const int failed = (trigger_uneven.empty() ? 0 : 1) + (clock_uneven.empty() ? 0 : 1) + (memory_flat ? 0 : 1);
  std::printf("soak: %d passed, %d failed\n", 3 - failed, failed);
  return failed == 0 ? 0 : 1;
}
