#pragma once

#include <memory>

#include "base/time.h"

namespace nbase {

// An event threads wait on (a condition variable on Linux, a kernel event on
// Windows). Auto-reset events release one waiter per Signal and reset
// themselves; manual-reset events stay signalled until Reset. A waiter may
// destroy the event as soon as its wait returns.
class WaitableEvent {
 public:
  enum class ResetPolicy { kManual, kAutomatic };

  explicit WaitableEvent(ResetPolicy policy = ResetPolicy::kAutomatic);
  ~WaitableEvent();
  WaitableEvent(const WaitableEvent&) = delete;
  WaitableEvent& operator=(const WaitableEvent&) = delete;

  void Signal();
  void Reset();
  // Consumes the signal of an auto-reset event.
  bool IsSignaled();
  void Wait();
  // Returns false when `timeout` passed without a signal.
  bool TimedWait(TimeDelta timeout);

 private:
  struct Impl;  // per platform
  std::unique_ptr<Impl> impl_;
};

}  // namespace nbase
