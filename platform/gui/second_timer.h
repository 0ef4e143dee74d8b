// A one-second timer whose ticks stay clear of the wall-clock second
// boundaries.
//
// A plain 1000 ms timer drifts against the wall clock; when a tick lands close
// to a boundary, jitter makes it fall on either side, so a handler that reads
// the time of day sees some second twice and skips the next one. This timer
// is re-armed after every tick to fire near the middle of the next
// wall-clock second (Qt::PreciseTimer), so while the thread is idle each
// second is seen exactly once. A tick that the thread was too busy to deliver
// in its own second is not made up.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

namespace ck::platform::gui {

class SecondTimer : public QObject {
 public:
  explicit SecondTimer(QObject* parent = nullptr);

  void set_handler(std::function<void()> handler) { handler_ = std::move(handler); }
  // Starts (or restarts) the ticks; the first comes in the middle of this
  // wall-clock second if that is still ahead, otherwise of the next one.
  void start();
  void stop();
  bool is_active() const { return timer_.isActive(); }
  int interval_ms() const { return 1000; }

  // Milliseconds from `now_ms` (wall-clock milliseconds since the epoch) to
  // the middle of the first second after `last_second` whose middle is still
  // ahead of `now_ms`.
  static std::int64_t delay_to_next_tick(std::int64_t now_ms, std::int64_t last_second);

 private:
  void arm();
  void tick();

  QTimer timer_;
  std::function<void()> handler_;
  std::int64_t last_second_ = 0;  // the wall-clock second of the last tick
};

}  // namespace ck::platform::gui
