#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "base/framework_thread.h"

namespace {

using nbase::Thread;

// Records, on the new thread, the nice value and the name it runs with.
class ProbeThread : public nbase::FrameworkThread {
 public:
  explicit ProbeThread(const char* name) : FrameworkThread(name) {}
  ~ProbeThread() override { Stop(); }

  std::atomic<int> nice_value{0};
  std::string seen_name;  // written before Start returns

 protected:
  void Init() override {
    nice_value = getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()));
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof(name));
    seen_name = name;
  }
};

TEST(ThreadLinuxTest, PriorityMapsToNiceValuesAndNeverFailsTheStart) {
  EXPECT_EQ(Thread::PriorityToNative(Thread::kPriorityNormal), 0);
  EXPECT_GT(Thread::PriorityToNative(Thread::kPriorityLowest),
            Thread::PriorityToNative(Thread::kPriorityBelowNormal));
  EXPECT_GT(Thread::PriorityToNative(Thread::kPriorityBelowNormal), 0);
  EXPECT_LT(Thread::PriorityToNative(Thread::kPriorityHighest), 0);
  EXPECT_LT(Thread::PriorityToNative(Thread::kPriorityTimeCritical),
            Thread::PriorityToNative(Thread::kPriorityHighest));
  // Unknown values act as below normal.
  EXPECT_EQ(Thread::PriorityToNative(7), Thread::PriorityToNative(Thread::kPriorityBelowNormal));

  int base_nice = getpriority(PRIO_PROCESS, 0);
  ProbeThread low("low");
  low.set_priority(Thread::kPriorityLowest);
  ASSERT_TRUE(low.Start());
  EXPECT_EQ(low.nice_value.load(),
            std::min(19, base_nice + Thread::PriorityToNative(Thread::kPriorityLowest)));

  // Below 1 nothing changes: the thread keeps its creator's priority.
  for (int priority : {-1, -5, static_cast<int>(Thread::kPriorityNormal)}) {
    EXPECT_EQ(Thread::PriorityToNative(priority), 0) << priority;
    ProbeThread unchanged("unchanged");
    unchanged.set_priority(priority);
    ASSERT_TRUE(unchanged.Start());
    EXPECT_EQ(unchanged.nice_value.load(), base_nice) << priority;
  }

  ProbeThread critical("critical");
  critical.set_priority(Thread::kPriorityTimeCritical);
  EXPECT_TRUE(critical.Start());  // refused or granted, the thread runs
  EXPECT_TRUE(critical.IsRunning());
}

TEST(ThreadLinuxTest, FrameworkThreadsCarryTheirNameButTheProcessKeepsItsOwn) {
  ProbeThread short_name("http Thread");
  ASSERT_TRUE(short_name.Start());
  EXPECT_EQ(short_name.seen_name, "http Thread");
  // The kernel keeps 15 bytes; a longer name is cut, not refused.
  ProbeThread long_name("Global Misc Thread");
  ASSERT_TRUE(long_name.Start());
  EXPECT_EQ(long_name.seen_name, "Global Misc Thr");

  // The initial thread's name is the process's name in process lists.
  char before[32] = {};
  pthread_getname_np(pthread_self(), before, sizeof(before));
  Thread::SetCurrentThreadName("MainThread");
  char after[32] = {};
  pthread_getname_np(pthread_self(), after, sizeof(after));
  EXPECT_STREQ(after, before);
}

}  // namespace
