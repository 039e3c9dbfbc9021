#include <windows.h>

#include "base/string_util.h"
#include "base/thread.h"

namespace nbase {

int Thread::PriorityToNative(int priority) {
  if (priority < kPriorityLowest) return THREAD_PRIORITY_NORMAL;
  switch (priority) {
    case kPriorityLowest:
      return THREAD_PRIORITY_LOWEST;
    case kPriorityBelowNormal:
      return THREAD_PRIORITY_BELOW_NORMAL;
    case kPriorityHighest:
      return THREAD_PRIORITY_HIGHEST;
    case kPriorityTimeCritical:
      return THREAD_PRIORITY_TIME_CRITICAL;
    default:
      return THREAD_PRIORITY_BELOW_NORMAL;
  }
}

uint32_t Thread::CurrentThreadId() {
  return ::GetCurrentThreadId();
}

void Thread::ApplyPriority(int priority) {
  // Below 1 the thread keeps the priority it was created with.
  if (priority < kPriorityLowest) return;
  ::SetThreadPriority(::GetCurrentThread(), PriorityToNative(priority));
}

void Thread::SetCurrentThreadName(const std::string& name) {
  // Windows 10 1607 and later; older systems (and some Wine versions) lack it.
  using SetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const auto set_description =
      reinterpret_cast<SetThreadDescriptionFn>(reinterpret_cast<void*>(
          ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (set_description) set_description(::GetCurrentThread(), UTF8ToWide(name).c_str());
}

}  // namespace nbase
