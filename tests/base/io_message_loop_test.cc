#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/message_loop.h"
#include "tests/base/base_test_util.h"

// The I/O loop's task contract, whichever pump the target gives it (epoll on
// Linux, an I/O completion port on Windows); their I/O has its own tests.
namespace {

using nbase::IOMessageLoop;
using nbase::TimeDelta;

TEST(IOMessageLoopTest, BurstOfPostsSendsOneWakeUpAndAllRun) {
  IOMessageLoop loop;
  EXPECT_EQ(IOMessageLoop::Current(), &loop);
  EXPECT_EQ(loop.type(), nbase::MessageLoop::Type::kIO);
  auto proxy = loop.GetProxy();
  std::atomic<int> ran{0};
  std::vector<std::thread> posters;
  for (int t = 0; t < 3; ++t) {
    posters.emplace_back([&] {
      for (int i = 0; i < 300; ++i) proxy->PostTask([&ran] { ++ran; });
      for (int i = 0; i < 30; ++i) loop.pump()->WakeUp();
    });
  }
  for (auto& t : posters) t.join();
  EXPECT_EQ(loop.io_pump()->posted_wake_up_count(), 1u);
  loop.RunUntilIdle();
  EXPECT_EQ(ran.load(), 900);
}

TEST(IOMessageLoopTest, PostsFromAnotherThreadAndDelayedTasksEndTheWait) {
  IOMessageLoop loop;
  const nbase::TickTime start = nbase::TickTime::Now();
  nbase::TickTime delayed_at;
  bool posted_ran = false;
  auto quit_when_both = [&] {
    if (posted_ran && !delayed_at.is_null()) loop.RequestQuit();
  };
  loop.PostDelayedTask(
      [&] {
        delayed_at = nbase::TickTime::Now();
        quit_when_both();
      },
      TimeDelta::FromMilliseconds(20));
  auto proxy = loop.GetProxy();
  std::thread poster([&] {
    proxy->PostTask([&] {
      posted_ran = true;
      quit_when_both();
    });
  });
  loop.Run();
  poster.join();
  EXPECT_TRUE(posted_ran);
  EXPECT_GE((delayed_at - start).ToMilliseconds(), 20);
}

}  // namespace
