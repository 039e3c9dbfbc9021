#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace nbase {

// One operating-system thread running the virtual Run.
class Thread {
 public:
  enum Priority {
    kPriorityNormal = 0,
    kPriorityLowest = 1,
    kPriorityBelowNormal = 2,
    kPriorityHighest = 3,
    kPriorityTimeCritical = 4,
  };

  Thread() = default;
  // Joins: the thread must have been told to end before.
  virtual ~Thread();

  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts the thread. False when it could not be started or is already
  // started and not joined yet.
  bool Create();
  // Waits for the thread to end. Called on the thread itself it detaches
  // instead of deadlocking.
  void Join();

  // Takes effect at the next Create.
  void set_priority(int priority) { priority_ = priority; }
  int priority() const { return priority_; }

  // Kernel thread id while the thread runs, else 0.
  uint32_t thread_id() const { return thread_id_.load(); }
  bool IsCreated() const { return thread_.joinable(); }

  // Change of the nice value a priority maps to, applied by the new thread
  // to itself: lower priorities raise it; higher ones lower it, which only
  // privileged processes get (refusals are ignored). 0 and below leave it
  // untouched; unknown values above 4 act as below normal.
  static int PriorityToNice(int priority);

  static uint32_t CurrentThreadId();

 protected:
  virtual void Run() {}
  void set_thread_id(uint32_t id) { thread_id_.store(id); }

 private:
  static void ThreadMain(Thread* thread, int priority);
  static void ApplyPriority(int priority);

  std::thread thread_;
  std::atomic<uint32_t> thread_id_{0};
  int priority_ = kPriorityNormal;
};

}  // namespace nbase
