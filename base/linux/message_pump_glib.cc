#include "base/linux/message_pump_glib.h"

#include <chrono>
#include <limits>

namespace nbase {

struct GlibMessagePump::WorkSource {
  GSource source;
  GlibMessagePump* pump;
};

namespace {

GMainContext* ThreadContext() {
  GMainContext* context = g_main_context_get_thread_default();
  return context ? context : g_main_context_default();
}

}  // namespace

GSourceFuncs GlibMessagePump::work_source_funcs_ = {&GlibMessagePump::WorkPrepare,
                                                    &GlibMessagePump::WorkCheck,
                                                    &GlibMessagePump::WorkDispatch,
                                                    nullptr,
                                                    nullptr,
                                                    nullptr};

GlibMessagePump::GlibMessagePump() : GlibMessagePump(ThreadContext()) {}

GlibMessagePump::GlibMessagePump(GMainContext* context)
    : context_(g_main_context_ref(context ? context : ThreadContext())) {
  work_source_ = g_source_new(&work_source_funcs_, sizeof(WorkSource));
  reinterpret_cast<WorkSource*>(work_source_)->pump = this;
  g_source_set_name(work_source_, "nbase work");
  g_source_set_can_recurse(work_source_, TRUE);
  g_source_attach(work_source_, context_);
}

GlibMessagePump::~GlibMessagePump() {
  KillTimer();
  g_source_destroy(work_source_);
  g_source_unref(work_source_);
  g_main_context_unref(context_);
}

gboolean GlibMessagePump::WorkPrepare(GSource* source, gint* timeout) {
  GlibMessagePump* pump = reinterpret_cast<WorkSource*>(source)->pump;
  *timeout = -1;
  if (pump->waiting_) {
    int64_t delay = pump->CurrentDelayMs();
    if (delay >= 0) *timeout = static_cast<gint>(std::min<int64_t>(delay, G_MAXINT));
  }
  return pump->HaveWork();
}

gboolean GlibMessagePump::WorkCheck(GSource* source) {
  return reinterpret_cast<WorkSource*>(source)->pump->HaveWork();
}

gboolean GlibMessagePump::WorkDispatch(GSource* source, GSourceFunc, gpointer) {
  reinterpret_cast<WorkSource*>(source)->pump->OnWorkSource();
  return G_SOURCE_CONTINUE;
}

void GlibMessagePump::WakeUp() {
  if (ClaimWakeUp()) g_main_context_wakeup(context_);
}

void GlibMessagePump::PostQuitMessage() {
  quit_message_.store(true);
  g_main_context_wakeup(context_);
}

void GlibMessagePump::OnWorkSource() {
  ResetHaveWork();
  // No run (a foreign loop before Run, or between runs): only the flag is
  // reset, so the next WakeUp sends a fresh wake-up.
  if (!state_) return;
  // Inside our own batch the pump loop runs the task right after it.
  if (g_main_depth() == own_dispatch_depth_) return;
  // A foreign loop nested in ours (a modal dialog): keep tasks flowing,
  // one per wake-up. While a task runs the delegate refuses.
  if (state_->delegate->RunImmediateWork()) WakeUp();
}

void GlibMessagePump::SetDelayedWakeUp(const TickTime& time) {
  delayed_work_time_ = time;
  KillTimer();
  int64_t delay = CurrentDelayMs();
  if (delay < 0) return;
  if (delay < kMinTimerMs) delay = kMinTimerMs;
  delay = std::min<int64_t>(delay, std::numeric_limits<guint>::max() - 1);
  timer_source_ = g_timeout_source_new(static_cast<guint>(delay));
  g_source_set_name(timer_source_, "nbase delayed work");
  g_source_set_callback(timer_source_, &OnTimerThunk, this, nullptr);
  g_source_attach(timer_source_, context_);
  armed_timer_ms_ = delay;
}

gboolean GlibMessagePump::OnTimerThunk(gpointer pump) {
  static_cast<GlibMessagePump*>(pump)->OnTimer();
  return G_SOURCE_REMOVE;
}

void GlibMessagePump::OnTimer() {
  // The source removes itself by returning G_SOURCE_REMOVE; drop our ref.
  if (timer_source_) {
    g_source_unref(timer_source_);
    timer_source_ = nullptr;
    armed_timer_ms_ = -1;
  }
  if (!state_) return;
  state_->delegate->RunDelayedWork(&delayed_work_time_);
  if (!delayed_work_time_.is_null()) SetDelayedWakeUp(delayed_work_time_);
}

void GlibMessagePump::KillTimer() {
  if (!timer_source_) return;
  g_source_destroy(timer_source_);
  g_source_unref(timer_source_);
  timer_source_ = nullptr;
  armed_timer_ms_ = -1;
}

bool GlibMessagePump::ProcessNativeBatch(bool may_block) {
  ui_observers_.Notify(&UIObserver::WillProcessNativeEvents);
  int saved_depth = own_dispatch_depth_;
  own_dispatch_depth_ = g_main_depth() + 1;
  waiting_ = may_block;
  bool dispatched = g_main_context_iteration(context_, may_block ? TRUE : FALSE);
  waiting_ = false;
  own_dispatch_depth_ = saved_depth;
  ui_observers_.Notify(&UIObserver::DidProcessNativeEvents);

  if (quit_message_.load()) {
    state_->should_quit = true;
    // Left pending for the outer runs; the outermost one consumes it.
    if (state_->depth == 1) quit_message_.store(false);
    return false;
  }
  if (state_->dispatcher && !state_->dispatcher->Dispatch()) state_->should_quit = true;
  return dispatched;
}

// One GLib iteration costs a poll of the context, several times what a small
// task costs, so tasks run in batches between two iterations. Fairness to
// input and drawing is kept by the bounds: after at most kMaxBatchTasks tasks
// or kBatchBudgetMicroseconds of running them (plus the one task that crossed
// the budget), control goes back to the main context, which dispatches every
// native source that became ready meanwhile before the next batch starts.
bool GlibMessagePump::RunTaskBatch(Delegate* delegate) {
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

void GlibMessagePump::PumpLoop() {
  Delegate* delegate = state_->delegate;
  for (;;) {
    bool more = ProcessNativeBatch(false);
    if (state_->should_quit) break;
    more |= RunTaskBatch(delegate);
    if (more && delayed_work_time_.is_null()) KillTimer();
    if (state_->should_quit) break;
    if (more) continue;

    more = delegate->RunIdleWork();
    if (state_->should_quit) break;
    if (more) continue;

    ProcessNativeBatch(true);
    ++wait_count_;
    if (state_->should_quit) break;
  }
}
}  // namespace nbase
