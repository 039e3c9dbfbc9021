#include <windows.h>

#include <algorithm>

#include "base/waitable_event.h"

namespace nbase {

struct WaitableEvent::Impl {
  HANDLE event = nullptr;
};

WaitableEvent::WaitableEvent(ResetPolicy policy) : impl_(std::make_unique<Impl>()) {
  impl_->event =
      ::CreateEventW(nullptr, policy == ResetPolicy::kManual ? TRUE : FALSE, FALSE, nullptr);
}

WaitableEvent::~WaitableEvent() {
  if (impl_->event) ::CloseHandle(impl_->event);
}

void WaitableEvent::Signal() {
  ::SetEvent(impl_->event);
}

void WaitableEvent::Reset() {
  ::ResetEvent(impl_->event);
}

bool WaitableEvent::IsSignaled() {
  return ::WaitForSingleObject(impl_->event, 0) == WAIT_OBJECT_0;
}

void WaitableEvent::Wait() {
  ::WaitForSingleObject(impl_->event, INFINITE);
}

bool WaitableEvent::TimedWait(TimeDelta timeout) {
  // Rounded up, so the wait is never shorter than asked; INFINITE is not a
  // timeout, so the longest finite wait is one below it.
  const int64_t ms = std::clamp<int64_t>(timeout.ToMillisecondsRoundedUp(), 0, INFINITE - 1);
  return ::WaitForSingleObject(impl_->event, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
}

}  // namespace nbase
