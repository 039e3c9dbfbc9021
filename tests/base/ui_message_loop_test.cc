#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/message_loop.h"
#include "tests/base/base_test_util.h"

// The UI loop's contract, whichever pump the target gives it (GLib on
// Linux, the Windows message queue on Windows).
namespace {

using nbase::TimeDelta;
using nbase::UIMessageLoop;
using nbase::UIMessagePump;

TEST(UIMessageLoopTest, IsTheCurrentUILoopOfItsThread) {
  EXPECT_EQ(UIMessageLoop::Current(), nullptr);
  UIMessageLoop loop;
  EXPECT_EQ(UIMessageLoop::Current(), &loop);
  EXPECT_EQ(nbase::MessageLoop::Current(), &loop);
  EXPECT_EQ(loop.type(), nbase::MessageLoop::Type::kUI);
}

TEST(UIMessageLoopTest, BurstOfPostsToAnIdleLoopSendsOneWakeUp) {
  UIMessageLoop loop;
  UIMessagePump* pump = loop.ui_pump();
  auto proxy = loop.GetProxy();
  std::atomic<int> ran{0};
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&] {
      for (int i = 0; i < 500; ++i) proxy->PostTask([&ran] { ++ran; });
      for (int i = 0; i < 50; ++i) pump->WakeUp();  // the flag absorbs these too
    });
  }
  for (auto& t : posters) t.join();
  EXPECT_EQ(pump->posted_wake_up_count(), 1u);

  loop.RunUntilIdle();
  EXPECT_EQ(ran.load(), 2000);
  EXPECT_EQ(pump->posted_wake_up_count(), 1u);

  // Consumed: the next post wakes again.
  proxy->PostTask([] {});
  EXPECT_EQ(pump->posted_wake_up_count(), 2u);
  loop.RunUntilIdle();
}

TEST(UIMessageLoopTest, BurstWhileTheLoopIsBusySendsAtMostOneWakeUp) {
  nbase_test::UILoopThread ui;
  nbase_test::Latch blocked, release;
  std::atomic<int> ran{0};
  uint64_t wake_ups_before = 0;
  uint64_t burst_wake_ups = 0;
  ui.proxy()->PostTask([&] {
    wake_ups_before = ui.loop()->ui_pump()->posted_wake_up_count();
    blocked.Signal();
    release.Wait();
  });
  ASSERT_TRUE(blocked.Wait());
  for (int i = 0; i < 1000; ++i) ui.proxy()->PostTask([&ran] { ++ran; });
  ui.proxy()->PostTask([&] {
    burst_wake_ups = ui.loop()->ui_pump()->posted_wake_up_count() - wake_ups_before;
    ui.loop()->RequestQuit();
  });
  release.Signal();
  ui.Join();
  EXPECT_EQ(ran.load(), 1000);
  // A batch still draining when the burst lands needs no wake-up at all; never more than one.
  EXPECT_LE(burst_wake_ups, 1u);
}

TEST(UIMessageLoopTest, DelayedWorkArmsTheTimerWithItsDelayAndAMinimum) {
  nbase_test::ScopedFakeClock clock(10000);
  UIMessageLoop loop;
  loop.PostDelayedTask([] {}, TimeDelta::FromMilliseconds(750));
  loop.RunUntilIdle();  // moves it onto the delayed queue
  EXPECT_EQ(loop.ui_pump()->armed_timer_ms(), 750);

  loop.PostDelayedTask([] {}, TimeDelta::FromMilliseconds(5));  // earlier: re-armed
  loop.RunUntilIdle();
  EXPECT_EQ(loop.ui_pump()->armed_timer_ms(), UIMessagePump::kMinTimerMs);

  loop.PostDelayedTask([] {}, TimeDelta::FromMilliseconds(2));
  loop.RunUntilIdle();
  EXPECT_EQ(loop.ui_pump()->armed_timer_ms(), UIMessagePump::kMinTimerMs);
}

TEST(UIMessageLoopTest, DelayedTasksRunByTimeThenByPostingOrder) {
  UIMessageLoop loop;
  std::vector<std::string> order;
  nbase::TickTime start = nbase::TickTime::Now();
  loop.PostDelayedTask([&] { order.push_back("30a"); }, TimeDelta::FromMilliseconds(30));
  loop.PostDelayedTask([&] { order.push_back("5"); }, TimeDelta::FromMilliseconds(5));
  loop.PostDelayedTask([&] { order.push_back("30b"); }, TimeDelta::FromMilliseconds(30));
  loop.PostDelayedTask(
      [&] {
        order.push_back("40");
        loop.RequestQuit();
      },
      TimeDelta::FromMilliseconds(40));
  loop.PostTask([&] { order.push_back("now"); });
  loop.Run();
  EXPECT_EQ(order, (std::vector<std::string>{"now", "5", "30a", "30b", "40"}));
  EXPECT_GE((nbase::TickTime::Now() - start).ToMilliseconds(), 40);
}

TEST(UIMessageLoopTest, QuitMessageInInnerRunEndsTheOuterRunToo) {
  UIMessageLoop loop;
  std::vector<std::string> log;
  loop.PostTask([&] {
    loop.PostTask([&] {
      log.push_back("inner task");
      loop.PostQuitMessage();
    });
    loop.Run();
    log.push_back("inner run ended");
  });
  loop.Run();  // ends without any RequestQuit
  log.push_back("outer run ended");
  EXPECT_EQ(log, (std::vector<std::string>{"inner task", "inner run ended", "outer run ended"}));

  // The quit was consumed by the outermost run: the loop can run again.
  int ran = 0;
  loop.PostTask([&] { ++ran; });
  loop.RunUntilIdle();
  EXPECT_EQ(ran, 1);
}

TEST(UIMessageLoopTest, QuitMessageFromAnotherThreadEndsTheLoop) {
  nbase_test::UILoopThread ui;
  nbase_test::Latch running;
  ui.proxy()->PostTask([&running] { running.Signal(); });
  ASSERT_TRUE(running.Wait());
  ui.loop()->PostQuitMessage();
  ui.Join();  // returns only once the run has ended
}

TEST(UIMessageLoopTest, IdleLoopDoesNotWakeByItself) {
  nbase_test::UILoopThread ui;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ui.proxy()->PostTask([&ui] { ui.loop()->RequestQuit(); });
  ui.Join();
  EXPECT_LE(ui.waits(), 1u);  // only the wake-up for the quit task
}

}  // namespace
