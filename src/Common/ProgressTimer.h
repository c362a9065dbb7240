// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// When work that may take long reports its progress: not before it has lasted
// one period, then at most once a period, on a steady clock (a change of the
// system's time changes nothing).
#ifndef PLINTH_COMMON_PROGRESSTIMER_H_
#define PLINTH_COMMON_PROGRESSTIMER_H_

#include <chrono>

namespace plinth {

class CProgressTimer {
 public:
  using Clock = std::chrono::steady_clock;

  // For work that started at `start`, reporting every `period`.
  CProgressTimer(Clock::time_point start, Clock::duration period)
      : start_(start), period_(period), next_(start + period) {}

  // True when a report is due at `now`: the first one period after the start,
  // each later one a period after the one before. The next is then due a
  // period after `now`.
  bool Due(Clock::time_point now) {
    if (now < next_) return false;
    next_ = now + period_;
    return true;
  }

  // The whole seconds from the start to `now`.
  long long Seconds(Clock::time_point now) const {
    return std::chrono::duration_cast<std::chrono::seconds>(now - start_).count();
  }

 private:
  Clock::time_point start_;
  Clock::duration period_;
  Clock::time_point next_;
};

}  // namespace plinth

#endif  // PLINTH_COMMON_PROGRESSTIMER_H_
