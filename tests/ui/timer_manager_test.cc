#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/callback.h"
#include "base/message_loop.h"
#include "tests/ui/animation_test_support.h"
#include "ui/animation/timer_manager.h"

namespace ui {
namespace {

class TimerManagerTest : public ::testing::Test {
 protected:
  // A callback that appends `name` to the log.
  nbase::Closure Log(const std::string& name) {
    return [this, name] { log_.push_back(name + "@" + std::to_string(service_.ElapsedMs())); };
  }
  bool Add(const std::string& name, uint32_t interval_ms, int repeat) {
    return manager()->AddCancelableTimer(owner_.AcquireWeakFlag(), Log(name), interval_ms, repeat);
  }
  TimerManager* manager() { return service_.manager(); }

  ManualTimerService service_;
  nbase::WeakCallbackFlag owner_;
  std::vector<std::string> log_;
};

TEST_F(TimerManagerTest, DueEntriesRunInDueOrderWithinOnePoll) {
  ASSERT_TRUE(Add("a", 30, 1));
  ASSERT_TRUE(Add("b", 10, TimerManager::kRepeatForever));
  ASSERT_TRUE(Add("c", 20, 2));
  service_.Tick(10);
  service_.Tick(10);
  service_.Tick(10);
  service_.Tick(10);
  // At 20 and 30 two entries share a due time and run in the order added.
  EXPECT_EQ(log_,
            (std::vector<std::string>{"b@10", "b@20", "c@20", "a@30", "b@30", "b@40", "c@40"}));
  // A late poll runs everything due, each once, in due order.
  log_.clear();
  Add("d", 5, 1);  // due at 45, before b (50)
  service_.Tick(25);
  EXPECT_EQ(log_, (std::vector<std::string>{"d@65", "b@65"}));
}

TEST_F(TimerManagerTest, RepeatingEntryCountsFromThePoll) {
  Add("b", 10, TimerManager::kRepeatForever);
  service_.Tick(35);  // late: runs once, next due 45
  service_.Tick(9);
  service_.Tick(1);
  EXPECT_EQ(log_, (std::vector<std::string>{"b@35", "b@45"}));
}

TEST_F(TimerManagerTest, RepeatCounts) {
  Add("once", 10, 1);
  Add("zero", 10, 0);
  Add("three", 10, 3);
  for (int i = 0; i < 6; ++i) service_.Tick(10);
  EXPECT_EQ(log_,
            (std::vector<std::string>{"once@10", "zero@10", "three@10", "three@20", "three@30"}));
  EXPECT_EQ(manager()->GetPendingCount(), 0u);
  EXPECT_EQ(manager()->GetTimeoutInterval(), 0);
}

TEST_F(TimerManagerTest, CancelledEntriesAreDroppedUnrun) {
  nbase::WeakCallbackFlag other;
  manager()->AddCancelableTimer(other.AcquireWeakFlag(), Log("other"), 10, -1);
  Add("mine", 10, -1);
  service_.Tick(10);
  other.Cancel();
  service_.Tick(10);
  owner_.Cancel();
  service_.Tick(10);
  service_.Tick(10);
  EXPECT_EQ(log_, (std::vector<std::string>{"other@10", "mine@10", "mine@20"}));
  EXPECT_EQ(manager()->GetPendingCount(), 0u);
  EXPECT_EQ(manager()->GetTimeoutInterval(), 0);

  // A weak callback of an owner that is gone is dropped the same way.
  auto owner = std::make_unique<nbase::WeakCallbackFlag>();
  manager()->AddCancelableTimer(owner->MakeWeakCallback(Log("weak")), 10, 1);
  owner.reset();
  service_.Tick(10);
  EXPECT_EQ(log_.size(), 3u);
  EXPECT_FALSE(manager()->AddCancelableTimer(owner_.AcquireWeakFlag(), nbase::Closure(), 10, 1));
}

TEST_F(TimerManagerTest, TimeoutIsFastNearLongFarAndNoneWhenIdle) {
  EXPECT_EQ(manager()->GetTimeoutInterval(), 0);
  Add("far", 5000, 1);
  EXPECT_TRUE(manager()->IsFastTimeout());
  EXPECT_EQ(manager()->GetTimeoutInterval(), TimerManager::kFastIntervalMs);
  // The first poll finds only a timer due in 4984 ms: one long timeout.
  service_.Tick(16);
  EXPECT_FALSE(manager()->IsFastTimeout());
  EXPECT_EQ(manager()->GetTimeoutInterval(), 4984 + 2);
  // Something near brings the fast timeout back until it has run.
  Add("near", 500, 1);
  EXPECT_TRUE(manager()->IsFastTimeout());
  service_.Tick(16);
  EXPECT_TRUE(manager()->IsFastTimeout());
  service_.Tick(484);
  EXPECT_EQ(log_, (std::vector<std::string>{"near@516"}));
  EXPECT_EQ(manager()->GetTimeoutInterval(), 4500 - 16 + 2);
  // Exactly one second away still counts as far.
  service_.Tick(3484);
  EXPECT_EQ(manager()->GetTimeoutInterval(), 1000 + 2);
  service_.Tick(999);
  EXPECT_TRUE(manager()->IsFastTimeout());
  service_.Tick(1);
  EXPECT_EQ(log_.back(), "far@5000");
  EXPECT_EQ(manager()->GetTimeoutInterval(), 0);
}

TEST_F(TimerManagerTest, WorkAddedDuringAPollWaitsForTheNextOne) {
  int runs = 0;
  // A zero interval would otherwise keep one poll going for ever.
  manager()->AddCancelableTimer(
      owner_.AcquireWeakFlag(), [&] { ++runs; }, 0, -1);
  manager()->AddCancelableTimer(
      owner_.AcquireWeakFlag(), [&] { Add("nested", 0, 1); }, 0, 1);
  service_.Tick(0);
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(log_.empty());
  EXPECT_TRUE(manager()->IsFastTimeout());
  service_.Tick(0);
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(log_, (std::vector<std::string>{"nested@0"}));
}

// The real thing: the tick source on the UI loop and the steady clock.
class TimerManagerLoopTest : public ::testing::Test {
 protected:
  // Runs the loop until `done` holds or `limit_ms` pass.
  void RunUntil(const std::function<bool()>& done, int limit_ms = 2000) {
    const nbase::TickTime deadline =
        nbase::TickTime::Now() + nbase::TimeDelta::FromMilliseconds(limit_ms);
    std::function<void()> check = [&] {
      if (done() || nbase::TickTime::Now() >= deadline) {
        loop_.RequestQuit();
        return;
      }
      loop_.PostDelayedTask(check, nbase::TimeDelta::FromMilliseconds(1));
    };
    loop_.PostTask(check);
    loop_.Run();
  }

  nbase::UIMessageLoop loop_;
};

TEST_F(TimerManagerLoopTest, TicksArriveThroughTheLoopAndStopWhenIdle) {
  TimerManager manager(CreateTickSource());
  nbase::WeakCallbackFlag owner;
  int runs = 0;
  manager.AddCancelableTimer(
      owner.AcquireWeakFlag(), [&] { ++runs; }, 5, 3);
  RunUntil([&] { return runs == 3; });
  EXPECT_EQ(runs, 3);
  EXPECT_EQ(manager.GetTimeoutInterval(), 0);
  // With nothing pending no tick comes: the count stays.
  manager.AddCancelableTimer(
      owner.AcquireWeakFlag(), [&] { runs += 10; }, 1, 1);
  owner.Cancel();
  RunUntil([] { return false; }, 100);
  EXPECT_EQ(runs, 3);
}

TEST_F(TimerManagerLoopTest, TheSingletonServesTheUiLoop) {
  TimerManager* manager = TimerManager::GetInstance();
  ASSERT_EQ(manager, TimerManager::GetInstance());
  nbase::WeakCallbackFlag owner;
  bool ran = false;
  manager->AddCancelableTimer(
      owner.AcquireWeakFlag(), [&] { ran = true; }, 1, 1);
  RunUntil([&] { return ran; });
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace ui
