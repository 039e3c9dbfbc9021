#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "base/time.h"

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

// One-shot latch for handing control between threads.
class Latch {
 public:
  // Notifies under the lock: the waiter may destroy the latch as soon as
  // it sees the flag.
  void Signal() {
    std::lock_guard<std::mutex> guard(lock_);
    signaled_ = true;
    cv_.notify_all();
  }
  // False on timeout, so a broken test fails instead of hanging.
  bool Wait(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    std::unique_lock<std::mutex> lock(lock_);
    return cv_.wait_for(lock, limit, [this] { return signaled_; });
  }

 private:
  std::mutex lock_;
  std::condition_variable cv_;
  bool signaled_ = false;
};

}  // namespace nbase_test
