#include "base/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace nbase {

Thread::~Thread() {
  Join();
}

int Thread::PriorityToNice(int priority) {
  // Only 1 and above change anything; below that the thread keeps the
  // priority it inherited from its creator.
  if (priority < kPriorityLowest) return 0;
  switch (priority) {
    case kPriorityLowest:
      return 10;
    case kPriorityBelowNormal:
      return 5;
    case kPriorityHighest:
      return -5;
    case kPriorityTimeCritical:
      return -10;
    default:
      return 5;  // as below normal
  }
}

uint32_t Thread::CurrentThreadId() {
  return static_cast<uint32_t>(syscall(SYS_gettid));
}

bool Thread::Create() {
  if (thread_.joinable()) return false;
  try {
    thread_ = std::thread(&Thread::ThreadMain, this, priority_);
  } catch (const std::system_error&) {
    thread_id_.store(0);
    return false;
  }
  return true;
}

void Thread::ApplyPriority(int priority) {
  int delta = PriorityToNice(priority);
  if (delta == 0) return;
  // With a thread id these calls affect only that thread on Linux.
  id_t tid = static_cast<id_t>(CurrentThreadId());
  errno = 0;
  int current = getpriority(PRIO_PROCESS, tid);
  if (current == -1 && errno != 0) return;
  int target = std::clamp(current + delta, -20, 19);
  // Raising priority needs privileges; a refusal leaves the thread as it is.
  setpriority(PRIO_PROCESS, tid, target);
}

void Thread::ThreadMain(Thread* thread, int priority) {
  ApplyPriority(priority);
  thread->set_thread_id(CurrentThreadId());
  thread->Run();
}

void Thread::Join() {
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
  thread_id_.store(0);
}

}  // namespace nbase
