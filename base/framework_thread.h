#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "base/callback.h"
#include "base/message_loop.h"
#include "base/thread.h"
#include "base/time.h"
#include "base/waitable_event.h"

namespace nbase {

class MessageLoopFactory {
 public:
  virtual ~MessageLoopFactory() = default;
  // Called on the new thread.
  virtual std::unique_ptr<MessageLoop> CreateMessageLoop() = 0;
};

// A thread that owns a message loop for its whole body: creates it, calls
// Init, runs it, calls Cleanup, destroys it. Classes deriving from this must
// call Stop in their own destructor (the hooks are gone by the time the base
// destructor runs).
class FrameworkThread : public Thread, public virtual SupportWeakCallback {
 public:
  enum LoopType { kDefaultLoop = 0, kUILoop = 1, kIOLoop = 2, kCustomLoop = 3 };

  explicit FrameworkThread(std::string name);
  ~FrameworkThread() override;

  // Starts the thread with a default loop and returns once Init has run on
  // it. Does nothing (and returns false) when the thread already has a loop.
  bool Start();
  // The same with a loop of `loop_type` (kDefaultLoop, kUILoop or kIOLoop).
  bool StartWithLoop(int loop_type);
  bool StartWithLoopFactory(std::shared_ptr<MessageLoopFactory> factory);
  // Starts the thread with a default loop without waiting for Init, so that
  // several threads start at once or the caller works meanwhile; call
  // WaitUntilStarted before relying on the loop or on what Init registers.
  // Start, the waits and Stop belong to one owning thread.
  bool StartWithoutWaiting();
  void WaitUntilStarted();

  // Turns the calling thread into this framework thread and runs the body
  // there; returns when the loop has ended.
  void RunOnCurrentThread(int loop_type, MessageDispatcher* dispatcher = nullptr);

  // Asks the loop to end once its ready immediate tasks have run, then
  // joins. Never call it on the thread itself.
  void Stop();

  // The loop while the body runs (use on the thread itself), else null.
  MessageLoop* GetMessageLoop() const { return message_loop_.load(); }
  // Any thread: the loop's proxy while the loop exists, else null.
  std::shared_ptr<MessageLoopProxy> GetProxy() const;

  bool IsRunning() const { return running_.load(); }
  const std::string& name() const { return name_; }

  // The framework thread the caller runs on, or null.
  static FrameworkThread* Current();
  // Whether the current thread's loop ended through Stop.
  static bool QuitProperly();

 protected:
  void Run() override;
  virtual void Init() {}
  virtual void Cleanup() {}

 private:
  friend class ThreadRegistry;

  bool StartInternal(int loop_type, std::shared_ptr<MessageLoopFactory> factory, bool wait);
  std::unique_ptr<MessageLoop> CreateLoop();
  void MarkQuit();

  std::atomic<bool> running_{false};
  std::atomic<bool> stopping_{false};
  int loop_type_ = kDefaultLoop;
  std::atomic<MessageLoop*> message_loop_{nullptr};
  std::shared_ptr<MessageLoopFactory> factory_;
  MessageDispatcher* dispatcher_ = nullptr;

  WaitableEvent started_event_;
  // Started without waiting, and the owner has not waited yet.
  bool start_unconfirmed_ = false;

  mutable std::mutex proxy_lock_;
  std::shared_ptr<MessageLoopProxy> proxy_;

  std::string name_;
};

// Maps identifiers chosen by the application to framework threads, so work
// can be posted to "thread 2" without a pointer to it. All operations are
// thread-safe.
class ThreadRegistry {
 public:
  // Called on a framework thread (typically from Init). A negative
  // identifier registers nothing. Registering again the identifier this
  // thread already holds succeeds and needs one more Unregister; an
  // identifier held by another thread is refused.
  static bool RegisterCurrentThread(int identifier);
  // Undoes one registration of the calling thread; the identifier is free
  // once every registration has been undone.
  static void UnregisterCurrentThread();

  // Null when the identifier is not registered or its thread has no loop.
  static std::shared_ptr<MessageLoopProxy> GetThreadProxy(int identifier);
  // False (and the task dropped) when there is no such thread or loop.
  static bool PostTaskToThread(int identifier, Closure task);
  static bool PostDelayedTaskToThread(int identifier, Closure task, TimeDelta delay);

  // Runs `task` on thread `identifier` every `delay`: `times` runs in all,
  // and with -1 (or 0) until the owner of the weak callback is gone.
  static void PostRepeatingTask(const WeakCallback<Closure>& task, int identifier, TimeDelta delay,
                                int times);
  template <typename F>
  static void PostRepeatingTask(const WeakCallback<F>& task, int identifier, TimeDelta delay,
                                int times) {
    PostRepeatingTask(WeakCallback<Closure>(task), identifier, delay, times);
  }

  // The calling thread's registered identifier, or -1.
  static int CurrentThreadIdentifier();

 private:
  friend class FrameworkThread;
  // Erases whatever the calling thread still holds (its body is ending).
  static void ForgetCurrentThread();
};

}  // namespace nbase
