// The current local time, as a date-time value (see platform/datetime.h).
//
// Like the system's local time it counts whole seconds: the milliseconds are
// dropped, so the time read anywhere within one wall-clock second is the
// same value. Tests install a fake clock for their duration.
#pragma once

namespace ck::platform {

double current_local_time();

// The hour (0-23), minute and second (0-59) of a date-time value; 0 for a
// value that cannot be converted.
int hour_of(double time);
int minute_of(double time);
int second_of(double time);

// Test seam: while alive, current_local_time() returns this clock's time.
// Scopes nest; the innermost one counts.
class ScopedFakeClock {
 public:
  explicit ScopedFakeClock(double time);
  ~ScopedFakeClock();
  ScopedFakeClock(const ScopedFakeClock&) = delete;
  ScopedFakeClock& operator=(const ScopedFakeClock&) = delete;

  void set(double time) { time_ = time; }
  // For times after 30 December 1899, where the value grows with the time.
  void advance_seconds(double seconds);
  // Every later read moves the clock on by `seconds` after returning it
  // (0, the default, keeps it still).
  void advance_on_read(double seconds) { step_seconds_ = seconds; }
  double time() const { return time_; }

 private:
  friend double current_local_time();
  double time_;
  double step_seconds_ = 0;
  ScopedFakeClock* previous_;
};

}  // namespace ck::platform
