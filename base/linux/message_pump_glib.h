#pragma once

#include <glib.h>

#include <atomic>
#include <cstdint>

#include "base/message_pump.h"
#include "base/observer_list.h"

namespace nbase {

// The UI thread's pump: drives a GLib main context (the one GTK windows are
// served by), one native event batch per pass, interleaved with a bounded
// batch of tasks.
// A custom source carries the single outstanding wake-up; delayed work arms
// a GLib timeout of at least 10 ms so that it also fires inside foreign
// loops (modal dialogs) that iterate the same context.
class GlibMessagePump final : public NativeMessagePump {
 public:
  class UIObserver {
   public:
    virtual ~UIObserver() = default;
    virtual void WillProcessNativeEvents() = 0;
    virtual void DidProcessNativeEvents() = 0;
  };

  static constexpr int64_t kMinTimerMs = 10;
  // Bounds of the task batch run between two native iterations: whichever is
  // reached first ends it.
  static constexpr int kMaxBatchTasks = 256;
  static constexpr int64_t kBatchBudgetMicroseconds = 2000;

  // Uses the calling thread's default context, or the global default
  // context when the thread has none pushed.
  GlibMessagePump();
  explicit GlibMessagePump(GMainContext* context);
  ~GlibMessagePump() override;

  GlibMessagePump(const GlibMessagePump&) = delete;
  GlibMessagePump& operator=(const GlibMessagePump&) = delete;

  void WakeUp() override;
  void SetDelayedWakeUp(const TickTime& time) override;

  // The quit message: ends the innermost run and, as they unwind, every
  // outer run of this pump too. Any thread.
  void PostQuitMessage();

  void AddUIObserver(UIObserver* observer) { ui_observers_.AddObserver(observer); }
  void RemoveUIObserver(UIObserver* observer) { ui_observers_.RemoveObserver(observer); }

  GMainContext* context() const { return context_; }

  // Diagnostics: how often the blocking wait returned, and the interval of
  // the currently armed timer (-1 when none).
  uint64_t wait_count() const { return wait_count_; }
  int64_t armed_timer_ms() const { return armed_timer_ms_; }

 private:
  struct WorkSource;
  static GSourceFuncs work_source_funcs_;
  static gboolean WorkPrepare(GSource* source, gint* timeout);
  static gboolean WorkCheck(GSource* source);
  static gboolean WorkDispatch(GSource* source, GSourceFunc, gpointer);
  static gboolean OnTimerThunk(gpointer pump);

  void PumpLoop() override;
  // Runs ready immediate and due delayed tasks until none is left or a bound
  // of the batch is reached; returns whether any ran.
  bool RunTaskBatch(Delegate* delegate);
  // One g_main_context_iteration; returns whether anything was dispatched.
  bool ProcessNativeBatch(bool may_block);
  void OnWorkSource();
  void OnTimer();
  void KillTimer();

  GMainContext* context_;
  GSource* work_source_;
  GSource* timer_source_ = nullptr;
  int64_t armed_timer_ms_ = -1;
  std::atomic<bool> quit_message_{false};
  // Set while PumpLoop blocks in the context, so the work source can bound
  // the poll by the exact delayed work time.
  bool waiting_ = false;
  // Dispatch depth (g_main_depth) at which this pump's own batch dispatches.
  int own_dispatch_depth_ = -1;
  uint64_t wait_count_ = 0;
  ObserverList<UIObserver> ui_observers_;
};

}  // namespace nbase
