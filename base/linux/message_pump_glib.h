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
class GlibMessagePump final : public UIMessagePump {
 public:
  class UIObserver {
   public:
    virtual ~UIObserver() = default;
    virtual void WillProcessNativeEvents() = 0;
    virtual void DidProcessNativeEvents() = 0;
  };

  // Uses the calling thread's default context, or the global default
  // context when the thread has none pushed.
  GlibMessagePump();
  explicit GlibMessagePump(GMainContext* context);
  ~GlibMessagePump() override;

  GlibMessagePump(const GlibMessagePump&) = delete;
  GlibMessagePump& operator=(const GlibMessagePump&) = delete;

  void WakeUp() override;
  void SetDelayedWakeUp(const TickTime& time) override;

  void PostQuitMessage() override;

  void AddUIObserver(UIObserver* observer) { ui_observers_.AddObserver(observer); }
  void RemoveUIObserver(UIObserver* observer) { ui_observers_.RemoveObserver(observer); }

  GMainContext* context() const { return context_; }

 private:
  struct WorkSource;
  static GSourceFuncs work_source_funcs_;
  static gboolean WorkPrepare(GSource* source, gint* timeout);
  static gboolean WorkCheck(GSource* source);
  static gboolean WorkDispatch(GSource* source, GSourceFunc, gpointer);
  static gboolean OnTimerThunk(gpointer pump);

  bool ProcessNativeWork() override;
  // Blocks in the context, dispatching what wakes it.
  void WaitForNativeWork() override;
  void KillTimer() override;
  // One g_main_context_iteration; returns whether anything was dispatched.
  bool ProcessNativeBatch(bool may_block);
  void OnWorkSource();
  void OnTimer();

  GMainContext* context_;
  GSource* work_source_;
  GSource* timer_source_ = nullptr;
  std::atomic<bool> quit_message_{false};
  // Set while PumpLoop blocks in the context, so the work source can bound
  // the poll by the exact delayed work time.
  bool waiting_ = false;
  // Dispatch depth (g_main_depth) at which this pump's own batch dispatches.
  int own_dispatch_depth_ = -1;
  ObserverList<UIObserver> ui_observers_;
};

}  // namespace nbase
