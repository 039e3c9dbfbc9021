#include "base/message_pump.h"

#include <algorithm>
#include <chrono>

namespace nbase {

void DefaultMessagePump::Run(Delegate* delegate) {
  for (;;) {
    bool did_work = delegate->RunImmediateWork();
    if (should_quit_) break;
    did_work |= delegate->RunDelayedWork(&delayed_work_time_);
    if (should_quit_) break;
    if (did_work) continue;

    did_work = delegate->RunIdleWork();
    if (should_quit_) break;
    if (did_work) continue;

    if (delayed_work_time_.is_null()) {
      event_.Wait();
      continue;
    }
    TimeDelta delay = delayed_work_time_ - TickTime::Now();
    if (delay > TimeDelta()) {
      event_.TimedWait(delay);
    } else {
      delayed_work_time_ = TickTime();
    }
  }
  should_quit_ = false;
}

void NativeMessagePump::RunWithDispatcher(Delegate* delegate, MessageDispatcher* dispatcher) {
  RunState state;
  state.depth = state_ ? state_->depth + 1 : 1;
  state.delegate = delegate;
  state.dispatcher = dispatcher;
  RunState* previous = state_;
  state_ = &state;
  PumpLoop();
  state_ = previous;
}

void NativeMessagePump::Quit() {
  if (state_) state_->should_quit = true;
}

bool NativeMessagePump::ClaimWakeUp() {
  if (have_work_.exchange(1) != 0) return false;
  posted_wake_ups_.fetch_add(1, std::memory_order_relaxed);
  return true;
}

int64_t NativeMessagePump::CurrentDelayMs() const {
  if (delayed_work_time_.is_null()) return -1;
  int64_t ms = (delayed_work_time_ - TickTime::Now()).ToMillisecondsRoundedUp();
  return ms < 0 ? 0 : ms;
}

bool UIMessagePump::RunTaskBatch(Delegate* delegate) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::microseconds(kBatchBudgetMicroseconds);
  bool ran = false;
  for (int n = 0; n < kMaxBatchTasks; ++n) {
    bool did = delegate->RunImmediateWork();
    if (state_->should_quit) return true;
    did |= delegate->RunDelayedWork(&delayed_work_time_);
    if (state_->should_quit) return true;
    if (!did) break;
    ran = true;
    if (Clock::now() >= deadline) break;
  }
  return ran;
}

void UIMessagePump::PumpLoop() {
  Delegate* delegate = state_->delegate;
  for (;;) {
    bool more = ProcessNativeWork();
    if (state_->should_quit) break;
    more |= RunTaskBatch(delegate);
    if (delayed_work_time_.is_null()) {
      if (more) KillTimer();
    } else if (armed_timer_ms_ < 0) {
      // The timer fired inside a modal loop that a task ran, where no
      // delayed task may run, and nothing armed it again: a later modal loop
      // would wait for the next delayed task in vain.
      SetDelayedWakeUp(delayed_work_time_);
    }
    if (state_->should_quit) break;
    if (more) continue;

    more = delegate->RunIdleWork();
    if (state_->should_quit) break;
    if (more) continue;

    WaitForNativeWork();
    ++wait_count_;
    if (state_->should_quit) break;
  }
}

int64_t UIMessagePump::TimerIntervalMs() const {
  const int64_t delay = CurrentDelayMs();
  if (delay < 0) return -1;
  // The longest interval either system's timer takes.
  constexpr int64_t kMaxTimerMs = 0xFFFFFFFE;
  return std::clamp(delay, kMinTimerMs, kMaxTimerMs);
}

void IOMessagePump::PumpLoop() {
  Delegate* delegate = state_->delegate;
  for (;;) {
    bool more = delegate->RunImmediateWork();
    if (state_->should_quit) break;
    more |= WaitForIOEvent(0);
    if (state_->should_quit) break;
    more |= delegate->RunDelayedWork(&delayed_work_time_);
    if (state_->should_quit) break;
    if (more) continue;

    more = delegate->RunIdleWork();
    if (state_->should_quit) break;
    if (more) continue;

    WaitForIOEvent(CurrentDelayMs());
  }
}

}  // namespace nbase
