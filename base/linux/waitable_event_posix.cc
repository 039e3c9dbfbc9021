#include <chrono>
#include <condition_variable>
#include <mutex>

#include "base/waitable_event.h"

namespace nbase {

struct WaitableEvent::Impl {
  explicit Impl(ResetPolicy policy) : policy(policy) {}

  // Consumes the signal of an auto-reset event; lock held.
  bool TakeSignal() {
    if (!signaled) return false;
    if (policy == ResetPolicy::kAutomatic) signaled = false;
    return true;
  }

  const ResetPolicy policy;
  std::mutex lock;
  std::condition_variable cv;
  bool signaled = false;  // guarded by lock
};

WaitableEvent::WaitableEvent(ResetPolicy policy) : impl_(std::make_unique<Impl>(policy)) {}

WaitableEvent::~WaitableEvent() = default;

void WaitableEvent::Signal() {
  // Notifying under the lock lets a waiter destroy the event once it wakes.
  std::lock_guard<std::mutex> guard(impl_->lock);
  impl_->signaled = true;
  if (impl_->policy == ResetPolicy::kAutomatic) {
    impl_->cv.notify_one();
  } else {
    impl_->cv.notify_all();
  }
}

void WaitableEvent::Reset() {
  std::lock_guard<std::mutex> guard(impl_->lock);
  impl_->signaled = false;
}

bool WaitableEvent::IsSignaled() {
  std::lock_guard<std::mutex> guard(impl_->lock);
  return impl_->TakeSignal();
}

void WaitableEvent::Wait() {
  std::unique_lock<std::mutex> lock(impl_->lock);
  impl_->cv.wait(lock, [this] { return impl_->signaled; });
  impl_->TakeSignal();
}

bool WaitableEvent::TimedWait(TimeDelta timeout) {
  std::unique_lock<std::mutex> lock(impl_->lock);
  if (timeout > TimeDelta()) {
    impl_->cv.wait_for(lock, std::chrono::microseconds(timeout.ToMicroseconds()),
                       [this] { return impl_->signaled; });
  }
  return impl_->TakeSignal();
}

}  // namespace nbase
