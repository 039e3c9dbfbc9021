#pragma once

#include <atomic>
#include <cstdint>

#include "base/time.h"
#include "base/waitable_event.h"

namespace nbase {

// Optional per-run hook of the UI loop: called after every batch of native
// events; returning false ends that run.
class MessageDispatcher {
 public:
  virtual ~MessageDispatcher() = default;
  virtual bool Dispatch() = 0;
};

class MessagePump {
 public:
  // The loop side of a pump. Each call does at most one task and reports
  // whether it did.
  class Delegate {
   public:
    virtual ~Delegate() = default;
    virtual bool RunImmediateWork() = 0;
    // `next_delayed_work_time` receives the run time of the next delayed
    // task, or the null time when none is pending.
    virtual bool RunDelayedWork(TickTime* next_delayed_work_time) = 0;
    virtual bool RunIdleWork() = 0;
  };

  virtual ~MessagePump() = default;
  // Drives `delegate` until Quit. Loop thread only; may nest.
  virtual void Run(Delegate* delegate) = 0;
  // Ends the innermost Run once control returns to the pump. Loop thread only.
  virtual void Quit() = 0;
  // Any thread: makes the pump call RunImmediateWork soon.
  virtual void WakeUp() = 0;
  // Loop thread only: the pump must call RunDelayedWork no earlier than
  // necessary once `time` has come.
  virtual void SetDelayedWakeUp(const TickTime& time) = 0;
};

// Pump of worker threads: waits on an auto-reset event.
class DefaultMessagePump final : public MessagePump {
 public:
  DefaultMessagePump() = default;

  void Run(Delegate* delegate) override;
  void Quit() override { should_quit_ = true; }
  void WakeUp() override { event_.Signal(); }
  void SetDelayedWakeUp(const TickTime& time) override { delayed_work_time_ = time; }

 private:
  WaitableEvent event_;
  bool should_quit_ = false;
  TickTime delayed_work_time_;
};

// Shared part of the pumps that serve a native event source besides tasks
// (the GLib main context, epoll): the run-state stack and the have-work flag
// that keeps at most one wake-up outstanding.
class NativeMessagePump : public MessagePump {
 public:
  void Run(Delegate* delegate) override { RunWithDispatcher(delegate, nullptr); }
  void RunWithDispatcher(Delegate* delegate, MessageDispatcher* dispatcher);
  void Quit() override;

  // Wake-ups actually sent to the native source (at most one outstanding).
  uint64_t posted_wake_up_count() const { return posted_wake_ups_.load(); }

 protected:
  struct RunState {
    int depth = 0;
    bool should_quit = false;
    Delegate* delegate = nullptr;
    MessageDispatcher* dispatcher = nullptr;
  };

  // Returns true only on the 0 -> 1 transition of the have-work flag, when
  // the caller must send a native wake-up.
  bool ClaimWakeUp();
  void ResetHaveWork() { have_work_.exchange(0); }
  bool HaveWork() const { return have_work_.load() != 0; }
  // Milliseconds until the delayed work time, rounded up; -1 when none is
  // set and 0 when it has passed.
  int64_t CurrentDelayMs() const;

  virtual void PumpLoop() = 0;

  RunState* state_ = nullptr;
  TickTime delayed_work_time_;

 private:
  std::atomic<int> have_work_{0};
  std::atomic<uint64_t> posted_wake_ups_{0};
};

}  // namespace nbase
