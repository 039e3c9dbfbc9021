#include "base/thread.h"

#include <system_error>

namespace nbase {

Thread::~Thread() {
  Join();
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
