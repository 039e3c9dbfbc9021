#include "base/waitable_event.h"

#include <chrono>

namespace nbase {

void WaitableEvent::Signal() {
  std::lock_guard<std::mutex> guard(lock_);
  signaled_ = true;
  if (policy_ == ResetPolicy::kAutomatic) {
    cv_.notify_one();
  } else {
    cv_.notify_all();
  }
}

void WaitableEvent::Reset() {
  std::lock_guard<std::mutex> guard(lock_);
  signaled_ = false;
}

bool WaitableEvent::IsSignaled() {
  std::lock_guard<std::mutex> guard(lock_);
  return TakeSignal();
}

bool WaitableEvent::TakeSignal() {
  if (!signaled_) return false;
  if (policy_ == ResetPolicy::kAutomatic) signaled_ = false;
  return true;
}

void WaitableEvent::Wait() {
  std::unique_lock<std::mutex> lock(lock_);
  cv_.wait(lock, [this] { return signaled_; });
  TakeSignal();
}

bool WaitableEvent::TimedWait(TimeDelta timeout) {
  std::unique_lock<std::mutex> lock(lock_);
  if (timeout > TimeDelta()) {
    cv_.wait_for(lock, std::chrono::microseconds(timeout.ToMicroseconds()),
                 [this] { return signaled_; });
  }
  return TakeSignal();
}

}  // namespace nbase
