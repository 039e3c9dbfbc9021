#pragma once

#include <cstdint>

#include "base/time.h"
#include "ui/animation/timer_manager.h"

namespace ui {

// A timer service with no tick source whose clock moves only when told;
// ticks are driven by hand.
class ManualTimerService {
 public:
  ManualTimerService() : manager_(nullptr, [this] { return now_; }) {}

  TimerManager* manager() { return &manager_; }
  void Advance(int64_t ms) { now_ += nbase::TimeDelta::FromMilliseconds(ms); }
  // Moves the clock and polls, as a timeout arriving after `ms` would.
  void Tick(int64_t ms) {
    Advance(ms);
    manager_.Poll();
  }
  int64_t ElapsedMs() const { return (now_ - kStart).ToMilliseconds(); }

 private:
  static constexpr nbase::TickTime kStart = nbase::TickTime::FromInternalValue(1000000);
  nbase::TickTime now_ = kStart;
  TimerManager manager_;
};

}  // namespace ui
