#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "base/time.h"
#include "base/waitable_event.h"

namespace nbase {

// Optional per-run hook of the UI loop: called after every native iteration
// (a batch of GLib events on Linux, one dispatched message on Windows);
// returning false ends that run.
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
// (the GLib main context or the Windows message queue, epoll or an I/O
// completion port): the run-state stack and the have-work flag that keeps at
// most one wake-up outstanding.
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

// The pump of a UI loop: it serves the thread's native windows (the GLib main
// context on Linux, the Windows message queue on Windows) besides tasks.
//
// One native iteration costs several times what a small task costs (a poll
// of the main context; a round trip to the window server), so tasks run in
// batches between two native iterations. Fairness to input and drawing is
// kept by the bounds: after at most kMaxBatchTasks tasks or
// kBatchBudgetMicroseconds of running them (plus the one task that crossed
// the budget), control goes back to the native source, which is served
// before the next batch starts.
//
// Delayed work also arms a native timer of at least kMinTimerMs, so that it
// runs inside foreign loops (modal dialogs) that serve the same source.
class UIMessagePump : public NativeMessagePump {
 public:
  static constexpr int kMaxBatchTasks = 256;
  static constexpr int64_t kBatchBudgetMicroseconds = 2000;
  static constexpr int64_t kMinTimerMs = 10;

  // The quit message: ends the innermost run and, as they unwind, every
  // outer run of this pump too. Any thread.
  virtual void PostQuitMessage() = 0;

  // Diagnostics: how often the blocking wait returned, and the interval of
  // the currently armed timer (-1 when none).
  uint64_t wait_count() const { return wait_count_; }
  int64_t armed_timer_ms() const { return armed_timer_ms_; }

 protected:
  // Runs ready immediate and due delayed tasks until none is left or a bound
  // of the batch is reached; returns whether any ran.
  bool RunTaskBatch(Delegate* delegate);
  // The interval to arm the timer with for the delayed work time: -1 when
  // none is set, else the delay within [kMinTimerMs, 2^32 - 2].
  int64_t TimerIntervalMs() const;

  // The native side of a pass: serves what is ready without blocking and
  // returns whether anything was.
  virtual bool ProcessNativeWork() = 0;
  // Blocks until native input, a wake-up or the delayed work time.
  virtual void WaitForNativeWork() = 0;
  virtual void KillTimer() = 0;

  int64_t armed_timer_ms_ = -1;

 private:
  // One pass: native work, a batch of tasks, idle work, then the wait.
  void PumpLoop() final;

  uint64_t wait_count_ = 0;
};

// The pump of an I/O loop: serves completed or ready I/O besides tasks, one
// I/O event per pass.
class IOMessagePump : public NativeMessagePump {
 protected:
  // Handles one I/O event (or the pump's own wake-up), waiting up to
  // `timeout_ms` for one (-1: no limit). Returns false when none came.
  virtual bool WaitForIOEvent(int64_t timeout_ms) = 0;

 private:
  void PumpLoop() final;
};

// The platform's pumps (base/linux/, base/win/). Create them on the thread
// that runs them: the UI pump binds to that thread's windows.
std::shared_ptr<UIMessagePump> CreateUIMessagePump();
std::shared_ptr<IOMessagePump> CreateIOMessagePump();

}  // namespace nbase
