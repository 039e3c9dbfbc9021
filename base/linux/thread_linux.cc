#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/thread.h"

namespace nbase {

int Thread::PriorityToNative(int priority) {
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

void Thread::ApplyPriority(int priority) {
  int delta = PriorityToNative(priority);
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

void Thread::SetCurrentThreadName(const std::string& name) {
  // The initial thread's name is the process's name in process lists (and
  // what looks for a running program by name finds): it stays.
  if (CurrentThreadId() == static_cast<uint32_t>(getpid())) return;
  // The kernel keeps 15 bytes and refuses longer names outright.
  std::string shown = name.substr(0, 15);
  pthread_setname_np(pthread_self(), shown.c_str());
}

}  // namespace nbase
