#pragma once

#include <atomic>
#include <cstdint>

#include "base/time.h"
#include "base/waitable_event.h"

namespace nbase_test {

// Replaces the millisecond counter behind TickTime::Now for the lifetime of
// the object; the counter only moves when the test says so.
class ScopedFakeClock {
 public:
  explicit ScopedFakeClock(uint32_t start_ms) {
    now_ms().store(start_ms);
    previous_ = nbase::TickTime::SetMillisecondSource(&Read);
  }
  ~ScopedFakeClock() { nbase::TickTime::SetMillisecondSource(previous_); }

  void Set(uint32_t ms) { now_ms().store(ms); }
  void Advance(uint32_t ms) { now_ms().fetch_add(ms); }

 private:
  static std::atomic<uint32_t>& now_ms() {
    static std::atomic<uint32_t> value{0};
    return value;
  }
  static uint32_t Read() { return now_ms().load(); }

  nbase::TickTime::MillisecondSource previous_;
};

// One-shot latch for handing control between threads. Waits are bounded so
// a broken test fails instead of hanging.
class Latch : public nbase::WaitableEvent {
 public:
  Latch() : WaitableEvent(ResetPolicy::kManual) {}
  bool Wait() { return TimedWait(nbase::TimeDelta::FromSeconds(20)); }
};

}  // namespace nbase_test
