#include "base/message_pump.h"

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

}  // namespace nbase
