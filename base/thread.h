#pragma once

#include <atomic>
#include <cstdint>
#include <string>
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

  // What the new thread applies to itself for a priority: on Linux a change
  // of its nice value (lower priorities raise it; higher ones lower it, which
  // only privileged processes get, refusals are ignored), on Windows the
  // SetThreadPriority level. 0 and below leave the thread untouched; unknown
  // values above 4 act as below normal.
  static int PriorityToNative(int priority);

  // The operating system's id of the calling thread.
  static uint32_t CurrentThreadId();
  // Names the calling thread for debuggers and process viewers. Best effort:
  // Linux keeps the first 15 bytes; a Windows without SetThreadDescription
  // keeps no name.
  static void SetCurrentThreadName(const std::string& name);

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
