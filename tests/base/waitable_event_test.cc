#include "base/waitable_event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using nbase::TimeDelta;
using nbase::WaitableEvent;

TEST(WaitableEventTest, AutoResetReleasesOneWaitPerSignal) {
  WaitableEvent event;
  EXPECT_FALSE(event.TimedWait(TimeDelta::FromMilliseconds(1)));
  event.Signal();
  event.Signal();  // signals do not accumulate
  EXPECT_TRUE(event.TimedWait(TimeDelta()));
  EXPECT_FALSE(event.TimedWait(TimeDelta()));
  EXPECT_FALSE(event.IsSignaled());
}

TEST(WaitableEventTest, ManualResetStaysSignalledUntilReset) {
  WaitableEvent event(WaitableEvent::ResetPolicy::kManual);
  event.Signal();
  EXPECT_TRUE(event.IsSignaled());
  EXPECT_TRUE(event.TimedWait(TimeDelta()));
  event.Wait();
  event.Reset();
  EXPECT_FALSE(event.IsSignaled());
}

TEST(WaitableEventTest, SignalFromAnotherThreadWakesEveryManualWaiter) {
  WaitableEvent event(WaitableEvent::ResetPolicy::kManual);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      event.Wait();
      ++woken;
    });
  }
  event.Signal();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 3);
}

}  // namespace
