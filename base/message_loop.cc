#include "base/message_loop.h"

#include <algorithm>
#include <utility>

namespace nbase {
namespace {

thread_local MessageLoop* tls_current_loop = nullptr;

// Heap order for std::push_heap/pop_heap: "less" is the task that runs later.
bool RunsLater(const QueuedTask& a, const QueuedTask& b) {
  if (a.delayed_run_time != b.delayed_run_time) return a.delayed_run_time > b.delayed_run_time;
  return a.sequence_num > b.sequence_num;
}

}  // namespace

// ---------------------------------------------------------------------------
// MessageLoop

MessageLoop::MessageLoop() : MessageLoop(Type::kDefault, std::make_shared<DefaultMessagePump>()) {}

MessageLoop::MessageLoop(Type type, std::shared_ptr<MessagePump> pump)
    : type_(type), pump_(std::move(pump)), incoming_(std::make_shared<IncomingQueue>()) {
  tls_current_loop = this;
  proxy_ = MessageLoopProxy::Create(this);
  proxy_raw_ = proxy_.get();
}

MessageLoop::~MessageLoop() {
  // Destroying a task may post more; the pass limit bounds that.
  for (int pass = 0; pass < 100; ++pass) {
    DiscardPendingTasks();
    ReloadWorkQueue();
    if (!DiscardPendingTasks()) break;
  }
  destruction_observers_.Notify(&DestructionObserver::WillDestroyCurrentMessageLoop);

  if (proxy_raw_) proxy_raw_->DetachLoop();
  proxy_raw_ = nullptr;
  proxy_.reset();

  // Nothing can be posted any more. Tasks that arrived late are freed here,
  // while the loop is still current, because freeing one may release a
  // proxy that wants to know its thread.
  std::deque<QueuedTask> late;
  {
    std::lock_guard<std::mutex> guard(incoming_->lock);
    late.swap(incoming_->tasks);
  }
  late.clear();
  work_queue_.clear();
  deferred_non_nestable_queue_.clear();
  delayed_queue_.clear();

  if (tls_current_loop == this) tls_current_loop = nullptr;
}

MessageLoop* MessageLoop::Current() {
  return tls_current_loop;
}

void MessageLoop::PostTask(Closure task) {
  PostQueued(std::move(task), TimeDelta(), true);
}

void MessageLoop::PostDelayedTask(Closure task, TimeDelta delay) {
  PostQueued(std::move(task), delay, true);
}

void MessageLoop::PostTopLevelTask(Closure task) {
  PostQueued(std::move(task), TimeDelta(), false);
}

void MessageLoop::PostTopLevelDelayedTask(Closure task, TimeDelta delay) {
  PostQueued(std::move(task), delay, false);
}

QueuedTask MessageLoop::MakeQueued(Closure task, TimeDelta delay, bool nestable) {
  QueuedTask queued;
  // A delay of 0 or less is an immediate task; Now is never the null time.
  if (delay > TimeDelta()) queued.delayed_run_time = TickTime::Now() + delay;
  queued.nestable = nestable;
  queued.task = std::move(task);
  return queued;
}

void MessageLoop::PostQueued(Closure task, TimeDelta delay, bool nestable) {
  EnqueueIncoming(MakeQueued(std::move(task), delay, nestable));
}

std::shared_ptr<MessagePump> MessageLoop::AppendLocked(QueuedTask task) {
  const bool was_empty = incoming_->tasks.empty();
  incoming_->tasks.push_back(std::move(task));
  // Not empty before: the pump has been woken already.
  return was_empty ? pump_ : nullptr;
}

void MessageLoop::EnqueueIncoming(QueuedTask task) {
  std::shared_ptr<MessagePump> pump;
  {
    std::lock_guard<std::mutex> guard(incoming_->lock);
    pump = AppendLocked(std::move(task));
  }
  if (pump) pump->WakeUp();
}

int MessageLoop::run_depth() const {
  return state_ ? state_->depth : 0;
}

void MessageLoop::Run(MessageDispatcher* dispatcher) {
  RunWithState(dispatcher, false);
}

void MessageLoop::RunUntilIdle() {
  RunWithState(nullptr, true);
}

void MessageLoop::RunWithState(MessageDispatcher* dispatcher, bool quit_when_idle) {
  RunState state;
  state.depth = state_ ? state_->depth + 1 : 1;
  state.quit_received = quit_when_idle;
  state.dispatcher = dispatcher;
  state.previous = state_;
  state_ = &state;
  // A nested run is asked for explicitly, so it serves nestable tasks even
  // though it starts from inside a task.
  bool saved_nestable = nestable_tasks_allowed_;
  nestable_tasks_allowed_ = true;
  if (dispatcher && type_ == Type::kUI) {
    static_cast<NativeMessagePump*>(pump_.get())->RunWithDispatcher(this, dispatcher);
  } else {
    pump_->Run(this);
  }
  nestable_tasks_allowed_ = saved_nestable;
  state_ = state.previous;
}

void MessageLoop::RequestQuit() {
  if (state_) state_->quit_received = true;
}

void MessageLoop::ReloadWorkQueue() {
  if (!work_queue_.empty()) return;
  std::lock_guard<std::mutex> guard(incoming_->lock);
  if (incoming_->tasks.empty()) return;
  incoming_->tasks.swap(work_queue_);
}

void MessageLoop::AddToDelayedQueue(QueuedTask task) {
  task.sequence_num = next_sequence_num_++;
  delayed_queue_.push_back(std::move(task));
  std::push_heap(delayed_queue_.begin(), delayed_queue_.end(), RunsLater);
}

bool MessageLoop::RunImmediateWork() {
  if (!nestable_tasks_allowed_) return false;
  for (;;) {
    ReloadWorkQueue();
    if (work_queue_.empty()) return false;
    do {
      QueuedTask task = std::move(work_queue_.front());
      work_queue_.pop_front();
      if (!task.delayed_run_time.is_null()) {
        TickTime run_time = task.delayed_run_time;
        int64_t sequence = next_sequence_num_;
        AddToDelayedQueue(std::move(task));
        if (delayed_queue_.front().sequence_num == sequence) pump_->SetDelayedWakeUp(run_time);
      } else if (DeferOrRun(std::move(task))) {
        return true;
      }
    } while (!work_queue_.empty());
  }
}

bool MessageLoop::RunDelayedWork(TickTime* next_delayed_work_time) {
  if (!nestable_tasks_allowed_ || delayed_queue_.empty()) {
    recent_time_ = TickTime();
    *next_delayed_work_time = TickTime();
    return false;
  }
  TickTime next_run_time = delayed_queue_.front().delayed_run_time;
  if (next_run_time > recent_time_) {
    recent_time_ = TickTime::Now();
    if (next_run_time > recent_time_) {
      *next_delayed_work_time = next_run_time;
      return false;
    }
  }
  std::pop_heap(delayed_queue_.begin(), delayed_queue_.end(), RunsLater);
  QueuedTask task = std::move(delayed_queue_.back());
  delayed_queue_.pop_back();
  *next_delayed_work_time =
      delayed_queue_.empty() ? TickTime() : delayed_queue_.front().delayed_run_time;
  return DeferOrRun(std::move(task));
}

bool MessageLoop::RunIdleWork() {
  if (!state_) return false;
  if (state_->depth == 1 && !deferred_non_nestable_queue_.empty()) {
    QueuedTask task = std::move(deferred_non_nestable_queue_.front());
    deferred_non_nestable_queue_.pop_front();
    RunTask(std::move(task));
    return true;
  }
  if (state_->quit_received) pump_->Quit();
  return false;
}

bool MessageLoop::DeferOrRun(QueuedTask task) {
  if (task.nestable || (state_ && state_->depth == 1)) {
    RunTask(std::move(task));
    return true;
  }
  deferred_non_nestable_queue_.push_back(std::move(task));
  return false;
}

void MessageLoop::RunTask(QueuedTask task) {
  nestable_tasks_allowed_ = false;
  task_observers_.Notify(&TaskObserver::WillProcessTask);
  if (task.task) task.task();
  task_observers_.Notify(&TaskObserver::DidProcessTask);
  nestable_tasks_allowed_ = true;
}

bool MessageLoop::DiscardPendingTasks() {
  bool discarded =
      !work_queue_.empty() || !deferred_non_nestable_queue_.empty() || !delayed_queue_.empty();
  // Moved out first: destroying a task may post (and so touch the queues).
  std::deque<QueuedTask> work;
  work.swap(work_queue_);
  std::deque<QueuedTask> deferred;
  deferred.swap(deferred_non_nestable_queue_);
  std::vector<QueuedTask> delayed;
  delayed.swap(delayed_queue_);
  work.clear();
  deferred.clear();
  delayed.clear();
  return discarded;
}

void MessageLoop::ForgetProxy(MessageLoopProxy* proxy) {
  if (proxy_raw_ == proxy) proxy_raw_ = nullptr;
}

// ---------------------------------------------------------------------------
// UIMessageLoop, IOMessageLoop

UIMessageLoop::UIMessageLoop() : UIMessageLoop(CreateUIMessagePump()) {}

UIMessageLoop::UIMessageLoop(std::shared_ptr<UIMessagePump> pump)
    : MessageLoop(Type::kUI, std::move(pump)) {}

UIMessageLoop* UIMessageLoop::Current() {
  MessageLoop* loop = MessageLoop::Current();
  return loop && loop->type() == Type::kUI ? static_cast<UIMessageLoop*>(loop) : nullptr;
}

IOMessageLoop::IOMessageLoop() : MessageLoop(Type::kIO, CreateIOMessagePump()) {}

IOMessageLoop* IOMessageLoop::Current() {
  MessageLoop* loop = MessageLoop::Current();
  return loop && loop->type() == Type::kIO ? static_cast<IOMessageLoop*>(loop) : nullptr;
}

// ---------------------------------------------------------------------------
// MessageLoopProxy

std::shared_ptr<MessageLoopProxy> MessageLoopProxy::Create(MessageLoop* loop) {
  return std::shared_ptr<MessageLoopProxy>(new MessageLoopProxy(loop),
                                           [](MessageLoopProxy* proxy) { proxy->ReleaseLast(); });
}

MessageLoopProxy::~MessageLoopProxy() {
  // Still attached means we are on the loop's thread (deferred deletion).
  if (target_) target_->ForgetProxy(this);
}

bool MessageLoopProxy::Post(Closure task, TimeDelta delay, bool nestable) {
  QueuedTask queued = MessageLoop::MakeQueued(std::move(task), delay, nestable);
  std::shared_ptr<MessagePump> pump;
  {
    std::lock_guard<std::mutex> guard(incoming_->lock);
    if (!target_) return false;
    pump = target_->AppendLocked(std::move(queued));
  }
  // Outside the lock, as the loop's own posts do.
  if (pump) pump->WakeUp();
  return true;
}

bool MessageLoopProxy::PostTask(Closure task) {
  return Post(std::move(task), TimeDelta(), true);
}

bool MessageLoopProxy::PostDelayedTask(Closure task, TimeDelta delay) {
  return Post(std::move(task), delay, true);
}

bool MessageLoopProxy::PostTopLevelTask(Closure task) {
  return Post(std::move(task), TimeDelta(), false);
}

bool MessageLoopProxy::PostTopLevelDelayedTask(Closure task, TimeDelta delay) {
  return Post(std::move(task), delay, false);
}

bool MessageLoopProxy::IsOnLoopThread() {
  std::lock_guard<std::mutex> guard(incoming_->lock);
  return target_ && target_ == MessageLoop::Current();
}

void MessageLoopProxy::DetachLoop() {
  std::lock_guard<std::mutex> guard(incoming_->lock);
  target_ = nullptr;
}

void MessageLoopProxy::ReleaseLast() {
  std::shared_ptr<MessagePump> pump;
  bool posted = false;
  {
    std::lock_guard<std::mutex> guard(incoming_->lock);
    if (target_ && target_ != MessageLoop::Current()) {
      // The task owns the proxy: whether it runs or is discarded with the
      // loop, destroying the closure on the loop's thread deletes it.
      std::shared_ptr<MessageLoopProxy> owner(this, [](MessageLoopProxy* proxy) { delete proxy; });
      pump = target_->AppendLocked(
          MessageLoop::MakeQueued([owner]() mutable { owner.reset(); }, TimeDelta(), false));
      posted = true;
    }
  }
  // Once posted, the proxy belongs to the loop's thread: not touched here.
  if (pump) pump->WakeUp();
  if (!posted) delete this;
}

}  // namespace nbase
