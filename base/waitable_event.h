#pragma once

#include <condition_variable>
#include <mutex>

#include "base/time.h"

namespace nbase {

// An event threads wait on. Auto-reset events release one waiter per
// Signal and reset themselves; manual-reset events stay signalled until
// Reset. Signal notifies under the lock, so a waiter may destroy the event
// as soon as it returns.
class WaitableEvent {
 public:
  enum class ResetPolicy { kManual, kAutomatic };

  explicit WaitableEvent(ResetPolicy policy = ResetPolicy::kAutomatic) : policy_(policy) {}
  WaitableEvent(const WaitableEvent&) = delete;
  WaitableEvent& operator=(const WaitableEvent&) = delete;

  void Signal();
  void Reset();
  bool IsSignaled();
  void Wait();
  // Returns false when `timeout` passed without a signal.
  bool TimedWait(TimeDelta timeout);

 private:
  // Consumes the signal of an auto-reset event; lock held.
  bool TakeSignal();

  const ResetPolicy policy_;
  std::mutex lock_;
  std::condition_variable cv_;
  bool signaled_ = false;  // guarded by lock_
};

}  // namespace nbase
