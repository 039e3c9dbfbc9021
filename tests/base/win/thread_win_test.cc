#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "base/framework_thread.h"

namespace {

using nbase::Thread;

// GetThreadDescription is looked up as the library looks up its setter.
std::wstring CurrentThreadDescription() {
  using GetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  auto get = reinterpret_cast<GetThreadDescriptionFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
  if (!get) return L"(no GetThreadDescription)";
  PWSTR description = nullptr;
  if (FAILED(get(::GetCurrentThread(), &description))) return L"(failed)";
  std::wstring result = description ? description : L"";
  ::LocalFree(description);
  return result;
}

// Records, on the new thread, the priority and the name it runs with.
class ProbeThread : public nbase::FrameworkThread {
 public:
  explicit ProbeThread(const char* name) : FrameworkThread(name) {}
  ~ProbeThread() override { Stop(); }

  std::atomic<int> priority_level{THREAD_PRIORITY_ERROR_RETURN};
  std::wstring seen_name;  // written before Start returns

 protected:
  void Init() override {
    priority_level = ::GetThreadPriority(::GetCurrentThread());
    seen_name = CurrentThreadDescription();
  }
};

TEST(ThreadWinTest, PrioritiesMapToThreadPriorityLevels) {
  EXPECT_EQ(Thread::PriorityToNative(Thread::kPriorityLowest), THREAD_PRIORITY_LOWEST);
  EXPECT_EQ(Thread::PriorityToNative(Thread::kPriorityBelowNormal), THREAD_PRIORITY_BELOW_NORMAL);
  EXPECT_EQ(Thread::PriorityToNative(Thread::kPriorityHighest), THREAD_PRIORITY_HIGHEST);
  EXPECT_EQ(Thread::PriorityToNative(Thread::kPriorityTimeCritical), 15);
  EXPECT_EQ(Thread::PriorityToNative(7), -1);  // unknown values act as below normal

  const int creator = ::GetThreadPriority(::GetCurrentThread());
  for (int priority : {1, 2, 7}) {
    ProbeThread thread("probe");
    thread.set_priority(priority);
    ASSERT_TRUE(thread.Start());
    EXPECT_EQ(thread.priority_level.load(), Thread::PriorityToNative(priority)) << priority;
  }
  // Below 1 the thread keeps the priority it was created with.
  for (int priority : {-5, 0}) {
    ProbeThread thread("probe");
    thread.set_priority(priority);
    ASSERT_TRUE(thread.Start());
    EXPECT_EQ(thread.priority_level.load(), creator) << priority;
  }
  // Raising may be refused to an unprivileged process; the thread runs anyway.
  ProbeThread critical("critical");
  critical.set_priority(Thread::kPriorityTimeCritical);
  EXPECT_TRUE(critical.Start());
  EXPECT_TRUE(critical.IsRunning());
}

TEST(ThreadWinTest, FrameworkThreadsCarryTheirNameInFull) {
  ProbeThread thread("Global Misc Thread");
  ASSERT_TRUE(thread.Start());
  EXPECT_EQ(thread.seen_name, L"Global Misc Thread");
  ProbeThread wide("\xE7\xBA\xBF\xE7\xA8\x8B");  // UTF-8 names arrive as text
  ASSERT_TRUE(wide.Start());
  EXPECT_EQ(wide.seen_name, L"\u7EBF\u7A0B");
}

}  // namespace
