#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "base/callback.h"
#include "base/message_pump.h"
#include "base/linux/message_pump_epoll.h"
#include "base/linux/message_pump_glib.h"
#include "base/observer_list.h"
#include "base/time.h"

namespace nbase {

class MessageLoopProxy;
class UIMessageLoop;
class IOMessageLoop;

struct QueuedTask {
  TickTime delayed_run_time;  // null for an immediate task
  int64_t sequence_num = 0;   // order of entry into the delayed queue
  bool nestable = true;       // false: only runs at run depth 1
  Closure task;               // empty ones are skipped
};

// Tasks posted to a loop and not yet taken by it, under one lock shared by
// the loop and its proxy.
struct IncomingQueue {
  std::mutex lock;
  std::deque<QueuedTask> tasks;  // guarded by lock
};

// A thread's task queues, filled from any thread through the incoming queue
// (or, from other threads, through the proxy) and drained by the pump. Bound
// to the constructing thread: run and destroy it there.
class MessageLoop : public MessagePump::Delegate {
 public:
  enum class Type { kDefault = 0, kUI = 1, kIO = 2 };

  class TaskObserver {
   public:
    virtual ~TaskObserver() = default;
    virtual void WillProcessTask() = 0;
    virtual void DidProcessTask() = 0;
  };

  class DestructionObserver {
   public:
    virtual ~DestructionObserver() = default;
    virtual void WillDestroyCurrentMessageLoop() = 0;
  };

  MessageLoop();
  ~MessageLoop() override;

  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // The calling thread's loop, or null.
  static MessageLoop* Current();

  // Callable from any thread while the loop exists. Posting an empty closure
  // is allowed; it is skipped when its turn comes.
  void PostTask(Closure task);
  void PostDelayedTask(Closure task, TimeDelta delay);
  // Top-level tasks never run inside a nested run.
  void PostTopLevelTask(Closure task);
  void PostTopLevelDelayedTask(Closure task, TimeDelta delay);

  // Runs until quit. A nested Run (from inside a task) runs nestable tasks.
  void Run(MessageDispatcher* dispatcher = nullptr);
  // Runs what is ready (immediate tasks, due delayed tasks), then returns.
  void RunUntilIdle();
  // Ends the current run once every ready immediate task has run.
  void RequestQuit();

  std::shared_ptr<MessageLoopProxy> GetProxy() const { return proxy_; }

  Type type() const { return type_; }
  int run_depth() const;
  bool IsNested() const { return run_depth() > 1; }

  // Set by the owner while a platform modal loop runs on this thread.
  void set_os_modal(bool os_modal) { os_modal_ = os_modal; }
  bool os_modal() const { return os_modal_; }

  void AddTaskObserver(TaskObserver* observer) { task_observers_.AddObserver(observer); }
  void RemoveTaskObserver(TaskObserver* observer) { task_observers_.RemoveObserver(observer); }
  void AddDestructionObserver(DestructionObserver* observer) {
    destruction_observers_.AddObserver(observer);
  }
  void RemoveDestructionObserver(DestructionObserver* observer) {
    destruction_observers_.RemoveObserver(observer);
  }

  const std::shared_ptr<MessagePump>& pump() const { return pump_; }

 protected:
  MessageLoop(Type type, std::shared_ptr<MessagePump> pump);

  // MessagePump::Delegate
  bool RunImmediateWork() override;
  bool RunDelayedWork(TickTime* next_delayed_work_time) override;
  bool RunIdleWork() override;

  virtual void EnqueueIncoming(QueuedTask task);

 private:
  friend class MessageLoopProxy;
  friend struct MessageLoopTestAccess;

  struct RunState {
    int depth = 0;
    bool quit_received = false;
    MessageDispatcher* dispatcher = nullptr;
    RunState* previous = nullptr;
  };

  static QueuedTask MakeQueued(Closure task, TimeDelta delay, bool nestable);
  void PostQueued(Closure task, TimeDelta delay, bool nestable);
  // Appends under the held incoming lock; returns the pump to wake (after
  // the lock is released) on the empty-to-non-empty transition, else null.
  std::shared_ptr<MessagePump> AppendLocked(QueuedTask task);
  void RunWithState(MessageDispatcher* dispatcher, bool quit_when_idle);
  void ReloadWorkQueue();
  void AddToDelayedQueue(QueuedTask task);
  bool DeferOrRun(QueuedTask task);
  void RunTask(QueuedTask task);
  // Drops every pending task; reports whether any was dropped.
  bool DiscardPendingTasks();
  // Called when the proxy is deleted on this thread while still attached.
  void ForgetProxy(MessageLoopProxy* proxy);

  Type type_;
  RunState* state_ = nullptr;
  std::shared_ptr<MessagePump> pump_;
  bool os_modal_ = false;
  bool nestable_tasks_allowed_ = true;

  // Shared with the proxy, whose posts take only this one lock.
  std::shared_ptr<IncomingQueue> incoming_;

  std::deque<QueuedTask> work_queue_;
  std::deque<QueuedTask> deferred_non_nestable_queue_;
  std::vector<QueuedTask> delayed_queue_;  // a heap: earliest time, then sequence, on top
  int64_t next_sequence_num_ = 0;
  TickTime recent_time_;

  ObserverList<TaskObserver> task_observers_;
  ObserverList<DestructionObserver> destruction_observers_;

  std::shared_ptr<MessageLoopProxy> proxy_;
  // Kept for detaching even if the shared reference was handed over.
  MessageLoopProxy* proxy_raw_ = nullptr;
};

// The UI thread's loop over a GLib main context.
class UIMessageLoop : public MessageLoop {
 public:
  UIMessageLoop();
  // Serves `context` instead of the thread's default context.
  explicit UIMessageLoop(GMainContext* context);

  // The calling thread's loop if it is a UI loop, else null.
  static UIMessageLoop* Current();

  GlibMessagePump* glib_pump() const;
  // Ends the innermost run of this loop and every outer one (any thread).
  void PostQuitMessage() { glib_pump()->PostQuitMessage(); }
  void AddUIObserver(GlibMessagePump::UIObserver* observer) {
    glib_pump()->AddUIObserver(observer);
  }
  void RemoveUIObserver(GlibMessagePump::UIObserver* observer) {
    glib_pump()->RemoveUIObserver(observer);
  }
};

// A loop that also serves ready file descriptors through epoll.
class IOMessageLoop : public MessageLoop {
 public:
  IOMessageLoop();

  static IOMessageLoop* Current();

  EpollMessagePump* epoll_pump() const;
  bool WatchFileDescriptor(int fd, uint32_t events, EpollMessagePump::IOHandler* handler) {
    return epoll_pump()->WatchFileDescriptor(fd, events, handler);
  }
  bool StopWatching(int fd) { return epoll_pump()->StopWatching(fd); }
  void AddIOObserver(EpollMessagePump::IOObserver* observer) {
    epoll_pump()->AddIOObserver(observer);
  }
  void RemoveIOObserver(EpollMessagePump::IOObserver* observer) {
    epoll_pump()->RemoveIOObserver(observer);
  }
};

// Thread-safe handle for posting to a loop that may be gone: every post
// returns false once the loop has been destroyed. Shared references to it
// are made with a deleter that calls ReleaseLast, so the last release on a
// foreign thread deletes it on the loop's thread.
class MessageLoopProxy : public SupportWeakCallback {
 public:
  virtual bool PostTask(Closure task);
  virtual bool PostDelayedTask(Closure task, TimeDelta delay);
  virtual bool PostTopLevelTask(Closure task);
  virtual bool PostTopLevelDelayedTask(Closure task, TimeDelta delay);
  // True when the loop exists and is the calling thread's loop.
  virtual bool IsOnLoopThread();

 protected:
  ~MessageLoopProxy() override;

 private:
  friend class MessageLoop;
  friend struct MessageLoopTestAccess;

  explicit MessageLoopProxy(MessageLoop* loop) : incoming_(loop->incoming_), target_(loop) {}
  static std::shared_ptr<MessageLoopProxy> Create(MessageLoop* loop);

  bool Post(Closure task, TimeDelta delay, bool nestable);
  void DetachLoop();
  void ReleaseLast();

  // The loop's incoming queue: its lock also guards target_.
  std::shared_ptr<IncomingQueue> incoming_;
  MessageLoop* target_;  // null once the loop is gone
};

}  // namespace nbase
