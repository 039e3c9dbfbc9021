#include "base/message_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/base/base_test_util.h"

namespace nbase {

// Lets tests hold the loop's own proxy reference, so that the last release
// can happen on a thread of the test's choosing while the loop lives.
struct MessageLoopTestAccess {
  static std::shared_ptr<MessageLoopProxy> TakeProxyReference(MessageLoop* loop) {
    return std::move(loop->proxy_);
  }
};

}  // namespace nbase

namespace {

using nbase::Closure;
using nbase::MessageLoop;
using nbase::MessageLoopProxy;
using nbase::TimeDelta;

// Marks when it is destroyed, to tell a discarded task from a leaked one.
struct Tracker {
  explicit Tracker(std::atomic<int>* destroyed) : destroyed(destroyed) {}
  ~Tracker() { ++*destroyed; }
  std::atomic<int>* destroyed;
};

TEST(MessageLoopTest, CurrentIsTheLoopOfTheConstructingThread) {
  EXPECT_EQ(MessageLoop::Current(), nullptr);
  {
    MessageLoop loop;
    EXPECT_EQ(MessageLoop::Current(), &loop);
    EXPECT_EQ(loop.type(), MessageLoop::Type::kDefault);
    MessageLoop* seen = &loop;
    std::thread([&seen] { seen = MessageLoop::Current(); }).join();
    EXPECT_EQ(seen, nullptr);
  }
  EXPECT_EQ(MessageLoop::Current(), nullptr);
}

TEST(MessageLoopTest, DelayedTasksRunByTimeThenByEntryOrder) {
  nbase_test::ScopedFakeClock clock(1000);
  MessageLoop loop;
  std::vector<std::string> order;
  loop.PostDelayedTask([&] { order.push_back("a@20"); }, TimeDelta::FromMilliseconds(20));
  loop.PostDelayedTask([&] { order.push_back("b@20"); }, TimeDelta::FromMilliseconds(20));
  loop.PostDelayedTask([&] { order.push_back("c@10"); }, TimeDelta::FromMilliseconds(10));
  loop.PostDelayedTask([&] { order.push_back("d@20"); }, TimeDelta::FromMilliseconds(20));
  loop.PostTask([&] { order.push_back("now"); });

  loop.RunUntilIdle();  // nothing delayed is due yet
  EXPECT_EQ(order, (std::vector<std::string>{"now"}));

  clock.Advance(10);
  loop.RunUntilIdle();
  EXPECT_EQ(order, (std::vector<std::string>{"now", "c@10"}));

  clock.Advance(10);
  loop.RunUntilIdle();
  EXPECT_EQ(order, (std::vector<std::string>{"now", "c@10", "a@20", "b@20", "d@20"}));
}

TEST(MessageLoopTest, DelayedTaskPostedWithZeroDelayIsImmediate) {
  nbase_test::ScopedFakeClock clock(50);
  MessageLoop loop;
  std::vector<int> order;
  loop.PostDelayedTask([&] { order.push_back(1); }, TimeDelta());
  loop.PostTask([&] { order.push_back(2); });
  loop.RunUntilIdle();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(MessageLoopTest, DelayedTaskWaitsForItsTimeOnTheRealClock) {
  MessageLoop loop;
  nbase::TickTime posted = nbase::TickTime::Now();
  nbase::TickTime ran;
  loop.PostDelayedTask(
      [&] {
        ran = nbase::TickTime::Now();
        loop.RequestQuit();
      },
      TimeDelta::FromMilliseconds(30));
  loop.Run();
  EXPECT_GE((ran - posted).ToMilliseconds(), 30);
}

TEST(MessageLoopTest, NonNestableTaskIsDeferredInNestedRunAndRunsAtDepthOne) {
  MessageLoop loop;
  std::vector<std::string> log;
  loop.PostTask([&] {
    log.push_back("outer@" + std::to_string(loop.run_depth()));
    loop.PostTopLevelTask([&] { log.push_back("top-level@" + std::to_string(loop.run_depth())); });
    loop.PostTask([&] {
      log.push_back("nestable@" + std::to_string(loop.run_depth()));
      loop.RequestQuit();
    });
    loop.Run();  // nested: depth 2
    log.push_back("nested run returned");
  });
  loop.RunUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"outer@1", "nestable@2", "nested run returned",
                                           "top-level@1"}));
}

TEST(MessageLoopTest, TaskRunningPreventsReentrantTaskRuns) {
  MessageLoop loop;
  bool inner_ran = false;
  bool reentered = true;
  loop.PostTask([&] {
    loop.PostTask([&] { inner_ran = true; });
    // What a platform modal loop would do from inside a task.
    reentered = static_cast<nbase::MessagePump::Delegate&>(loop).RunImmediateWork();
  });
  loop.RunUntilIdle();
  EXPECT_FALSE(reentered);
  EXPECT_TRUE(inner_ran);  // ran later, at the loop's own pace
}

TEST(MessageLoopTest, QuitRunsReadyImmediateTasksAndDiscardsDelayedOnes) {
  std::atomic<int> destroyed{0};
  std::vector<int> ran;
  {
    MessageLoop loop;
    loop.PostTask([&] { loop.RequestQuit(); });
    loop.PostTask([&] { ran.push_back(1); });
    loop.PostTask([&] { ran.push_back(2); });
    auto tracker = std::make_shared<Tracker>(&destroyed);
    loop.PostDelayedTask([&ran, tracker] { ran.push_back(99); }, TimeDelta::FromSeconds(3600));
    tracker.reset();
    loop.Run();
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_EQ(destroyed.load(), 0);  // still queued
  }
  EXPECT_EQ(destroyed.load(), 1);  // discarded with the loop, never run
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST(MessageLoopTest, EmptyClosureIsSkipped) {
  MessageLoop loop;
  int ran = 0;
  loop.PostTask(Closure());
  loop.PostDelayedTask(Closure(), TimeDelta::FromMicroseconds(1));
  loop.PostTopLevelTask(Closure());
  loop.PostTask([&] { ++ran; });
  EXPECT_NO_THROW(loop.RunUntilIdle());
  EXPECT_EQ(ran, 1);
}

TEST(MessageLoopTest, ObserversSeeEveryTaskAndTheDestruction) {
  struct Observer : MessageLoop::TaskObserver, MessageLoop::DestructionObserver {
    void WillProcessTask() override { log.push_back("will"); }
    void DidProcessTask() override { log.push_back("did"); }
    void WillDestroyCurrentMessageLoop() override { log.push_back("destroy"); }
    std::vector<std::string> log;
  } observer;
  {
    MessageLoop loop;
    loop.AddTaskObserver(&observer);
    loop.AddDestructionObserver(&observer);
    loop.PostTask([&] { observer.log.push_back("task"); });
    loop.RunUntilIdle();
    loop.RemoveTaskObserver(&observer);
    loop.PostTask([] {});
    loop.RunUntilIdle();
  }
  EXPECT_EQ(observer.log, (std::vector<std::string>{"will", "task", "did", "destroy"}));
}

TEST(MessageLoopTest, TasksPostedWhileBeingDiscardedDoNotOutliveTheLoop) {
  std::atomic<int> destroyed{0};
  {
    MessageLoop loop;
    auto proxy = loop.GetProxy();
    // Destroying this task posts another one, whose destruction posts again.
    struct Reposter {
      std::shared_ptr<MessageLoopProxy> proxy;
      std::atomic<int>* destroyed;
      int generation;
      ~Reposter() {
        ++*destroyed;
        if (generation < 3) {
          auto next = std::make_shared<Reposter>(Reposter{proxy, destroyed, generation + 1});
          proxy->PostTask([next] {});
        }
      }
    };
    auto first = std::make_shared<Reposter>(Reposter{proxy, &destroyed, 0});
    loop.PostDelayedTask([first] {}, TimeDelta::FromSeconds(60));
    first.reset();
  }
  // Temporaries made by the aggregate initialisation are counted too; what
  // matters is that the chain ran to its end and nothing leaked (LSan).
  EXPECT_GE(destroyed.load(), 4);
}

TEST(MessageLoopProxyTest, PostsRunOnTheLoopThreadAndFailOnceTheLoopIsGone) {
  std::shared_ptr<MessageLoopProxy> proxy;
  std::thread::id loop_thread;
  std::thread::id ran_on;
  std::atomic<int> destroyed{0};
  {
    MessageLoop loop;
    loop_thread = std::this_thread::get_id();
    proxy = loop.GetProxy();
    EXPECT_TRUE(proxy->IsOnLoopThread());
    std::thread([&] {
      EXPECT_FALSE(proxy->IsOnLoopThread());
      EXPECT_TRUE(proxy->PostTask([&] { ran_on = std::this_thread::get_id(); }));
      EXPECT_TRUE(proxy->PostDelayedTask([&] { loop.RequestQuit(); }, TimeDelta()));
    }).join();
    loop.Run();
  }
  EXPECT_EQ(ran_on, loop_thread);
  EXPECT_FALSE(proxy->IsOnLoopThread());
  auto tracker = std::make_shared<Tracker>(&destroyed);
  EXPECT_FALSE(proxy->PostTask([tracker] {}));
  EXPECT_FALSE(proxy->PostDelayedTask([tracker] {}, TimeDelta::FromMilliseconds(5)));
  EXPECT_FALSE(proxy->PostTopLevelTask([tracker] {}));
  EXPECT_FALSE(proxy->PostTopLevelDelayedTask([tracker] {}, TimeDelta::FromMilliseconds(5)));
  tracker.reset();
  EXPECT_EQ(destroyed.load(), 1);  // the refused closures were dropped
}

TEST(MessageLoopProxyTest, PostsFromManyThreadsAllRunInPerThreadOrder) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 2000;
  MessageLoop loop;
  auto proxy = loop.GetProxy();
  std::vector<std::vector<int>> seen(kThreads);
  std::atomic<int> done_posting{0};
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) proxy->PostTask([&seen, t, i] { seen[t].push_back(i); });
      if (++done_posting == kThreads) proxy->PostTask([&] { loop.RequestQuit(); });
    });
  }
  loop.Run();
  for (auto& p : posters) p.join();
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), static_cast<size_t>(kPerThread));
    for (int i = 0; i < kPerThread; ++i) ASSERT_EQ(seen[t][i], i);
  }
}

TEST(MessageLoopProxyTest, LastReleaseOnOwnThreadDeletesAtOnce) {
  MessageLoop loop;
  auto proxy = nbase::MessageLoopTestAccess::TakeProxyReference(&loop);
  std::weak_ptr<nbase::WeakFlag> alive = proxy->AcquireWeakFlag();
  proxy.reset();
  EXPECT_TRUE(alive.expired());
}

TEST(MessageLoopProxyTest, LastReleaseOnForeignThreadDeletesOnTheLoopThread) {
  MessageLoop loop;
  auto proxy = nbase::MessageLoopTestAccess::TakeProxyReference(&loop);
  std::weak_ptr<nbase::WeakFlag> alive = proxy->AcquireWeakFlag();
  std::thread([&proxy] { proxy.reset(); }).join();
  EXPECT_FALSE(alive.expired());  // deletion waits for the loop's thread

  struct Observer : MessageLoop::TaskObserver {
    void WillProcessTask() override {}
    void DidProcessTask() override { deleted_in_task = alive.expired(); }
    std::weak_ptr<nbase::WeakFlag> alive;
    bool deleted_in_task = false;
  } observer;
  observer.alive = alive;
  loop.AddTaskObserver(&observer);
  loop.RunUntilIdle();
  loop.RemoveTaskObserver(&observer);
  EXPECT_TRUE(observer.deleted_in_task);
  EXPECT_TRUE(alive.expired());
}

TEST(MessageLoopProxyTest, DeferredDeletionDiscardedWithTheLoopStillFreesTheProxy) {
  std::weak_ptr<nbase::WeakFlag> alive;
  {
    MessageLoop loop;
    auto proxy = nbase::MessageLoopTestAccess::TakeProxyReference(&loop);
    alive = proxy->AcquireWeakFlag();
    std::thread([&proxy] { proxy.reset(); }).join();
    EXPECT_FALSE(alive.expired());
  }  // the loop never ran: its deletion task is discarded
  EXPECT_TRUE(alive.expired());
}

TEST(MessageLoopProxyTest, LoopRunOnAnotherThreadIsStoppedThroughItsProxy) {
  std::shared_ptr<MessageLoopProxy> proxy;
  nbase_test::Latch ready;
  std::atomic<int> ran{0};
  std::thread worker([&] {
    MessageLoop loop;
    proxy = loop.GetProxy();
    ready.Signal();
    loop.Run();
  });
  ASSERT_TRUE(ready.Wait());
  for (int i = 0; i < 100; ++i) proxy->PostTask([&ran] { ++ran; });
  proxy->PostTopLevelTask([] { MessageLoop::Current()->RequestQuit(); });
  worker.join();
  EXPECT_EQ(ran.load(), 100);
  EXPECT_FALSE(proxy->PostTask([] {}));
}

}  // namespace
