#include "base/framework_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "tests/base/base_test_util.h"

namespace {

using nbase::FrameworkThread;
using nbase::ThreadRegistry;
using nbase::TimeDelta;

// Registers `identifier` in Init and unregisters in Cleanup, as the
// installer's threads do.
class RegisteredThread : public FrameworkThread {
 public:
  RegisteredThread(const char* name, int identifier) : FrameworkThread(name), id_(identifier) {}
  ~RegisteredThread() override { Stop(); }

  std::atomic<int> init_count{0};
  std::atomic<int> cleanup_count{0};
  std::atomic<bool> registered{false};
  std::atomic<bool> quit_properly{false};

 protected:
  void Init() override {
    ++init_count;
    registered = ThreadRegistry::RegisterCurrentThread(id_);
  }
  void Cleanup() override {
    ++cleanup_count;
    quit_properly = QuitProperly();
    ThreadRegistry::UnregisterCurrentThread();
  }

 private:
  int id_;
};

// Runs `fn` on thread `identifier` and waits for it.
template <typename Fn>
bool RunOn(int identifier, Fn fn) {
  nbase_test::Latch done;
  if (!ThreadRegistry::PostTaskToThread(identifier, [&] {
        fn();
        done.Signal();
      })) {
    return false;
  }
  return done.Wait();
}

TEST(FrameworkThreadTest, StartRunsInitBeforeReturningAndTwiceCreatesOneThread) {
  RegisteredThread thread("worker", 40);
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.GetProxy(), nullptr);
  ASSERT_TRUE(thread.Start());
  EXPECT_TRUE(thread.IsRunning());
  EXPECT_EQ(thread.init_count.load(), 1);
  EXPECT_TRUE(thread.registered.load());  // Init finished before Start returned
  EXPECT_NE(thread.thread_id(), 0u);
  EXPECT_NE(thread.thread_id(), nbase::Thread::CurrentThreadId());
  uint32_t first_id = thread.thread_id();

  EXPECT_FALSE(thread.Start());
  EXPECT_EQ(thread.init_count.load(), 1);
  EXPECT_EQ(thread.thread_id(), first_id);
  EXPECT_TRUE(thread.IsRunning());

  thread.Stop();
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.cleanup_count.load(), 1);
  EXPECT_TRUE(thread.quit_properly.load());
  EXPECT_EQ(thread.thread_id(), 0u);
  thread.Stop();  // stopping a stopped thread does nothing
  EXPECT_EQ(thread.cleanup_count.load(), 1);
}

// Several threads start at once; once waited for, each has run Init and can
// be posted to by its identifier. A wait after the first returns at once.
TEST(FrameworkThreadTest, StartWithoutWaitingRegistersOnceWaitedFor) {
  RegisteredThread first("first", 41);
  RegisteredThread second("second", 42);
  ASSERT_TRUE(first.StartWithoutWaiting());
  ASSERT_TRUE(second.StartWithoutWaiting());
  EXPECT_FALSE(first.StartWithoutWaiting());
  EXPECT_FALSE(first.Start());
  first.WaitUntilStarted();
  second.WaitUntilStarted();
  second.WaitUntilStarted();
  EXPECT_EQ(first.init_count, 1);
  EXPECT_EQ(second.init_count, 1);
  EXPECT_TRUE(first.registered);
  EXPECT_TRUE(second.registered);
  std::thread::id on_first, on_second;
  EXPECT_TRUE(RunOn(41, [&] { on_first = std::this_thread::get_id(); }));
  EXPECT_TRUE(RunOn(42, [&] { on_second = std::this_thread::get_id(); }));
  EXPECT_NE(on_first, on_second);
  EXPECT_NE(on_first, std::this_thread::get_id());
}

// A thread stopped before anybody waited for it still runs Init, its loop
// and Cleanup, and can be started again.
TEST(FrameworkThreadTest, ThreadStoppedBeforeItWasWaitedForEndsProperly) {
  RegisteredThread thread("early stop", 43);
  ASSERT_TRUE(thread.StartWithoutWaiting());
  EXPECT_TRUE(thread.IsRunning());
  thread.Stop();
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.init_count, 1);
  EXPECT_EQ(thread.cleanup_count, 1);
  EXPECT_TRUE(thread.quit_properly);
  EXPECT_FALSE(ThreadRegistry::GetThreadProxy(43));
  ASSERT_TRUE(thread.Start());
  EXPECT_EQ(thread.init_count, 2);
  EXPECT_TRUE(RunOn(43, [] {}));
}

TEST(FrameworkThreadTest, StoppedThreadRunsQueuedTasksAndDiscardsDelayedOnes) {
  RegisteredThread thread("worker", 41);
  ASSERT_TRUE(thread.Start());
  auto proxy = thread.GetProxy();
  ASSERT_NE(proxy, nullptr);
  nbase_test::Latch release;
  std::atomic<int> ran{0};
  std::atomic<bool> delayed_ran{false};
  proxy->PostTask([&] { release.Wait(); });  // keeps the queue full while we post
  for (int i = 0; i < 50; ++i) proxy->PostTask([&ran] { ++ran; });
  proxy->PostDelayedTask([&] { delayed_ran = true; }, TimeDelta::FromSeconds(3600));
  std::thread stopper([&] { thread.Stop(); });
  release.Signal();
  stopper.join();
  EXPECT_EQ(ran.load(), 50);
  EXPECT_FALSE(delayed_ran.load());
  EXPECT_FALSE(proxy->PostTask([] {}));  // the loop is gone
}

TEST(FrameworkThreadTest, RegistryPostsByIdentifierUntilTheThreadEnds) {
  auto thread = std::make_unique<RegisteredThread>("http", 42);
  ASSERT_TRUE(thread->Start());
  EXPECT_NE(ThreadRegistry::GetThreadProxy(42), nullptr);
  std::thread::id ran_on;
  int identifier_there = -2;
  ASSERT_TRUE(RunOn(42, [&] {
    ran_on = std::this_thread::get_id();
    identifier_there = ThreadRegistry::CurrentThreadIdentifier();
  }));
  EXPECT_NE(ran_on, std::this_thread::get_id());
  EXPECT_EQ(identifier_there, 42);
  EXPECT_EQ(ThreadRegistry::CurrentThreadIdentifier(), -1);

  EXPECT_FALSE(ThreadRegistry::PostTaskToThread(43, [] {}));  // never registered
  thread.reset();
  EXPECT_EQ(ThreadRegistry::GetThreadProxy(42), nullptr);
  EXPECT_FALSE(ThreadRegistry::PostTaskToThread(42, [] {}));
}

TEST(FrameworkThreadTest, RegistrationIsCountedAndRefusedToOtherThreads) {
  RegisteredThread holder("holder", 50);
  RegisteredThread other("other", -1);  // registers nothing in Init
  ASSERT_TRUE(holder.Start());
  ASSERT_TRUE(other.Start());
  EXPECT_FALSE(other.registered.load());

  ASSERT_TRUE(RunOn(50, [] {
    EXPECT_TRUE(ThreadRegistry::RegisterCurrentThread(50));  // second time: count 2
  }));
  bool taken = true;
  auto other_proxy = other.GetProxy();
  nbase_test::Latch done;
  other_proxy->PostTask([&] {
    taken = ThreadRegistry::RegisterCurrentThread(50);
    done.Signal();
  });
  ASSERT_TRUE(done.Wait());
  EXPECT_FALSE(taken);
  EXPECT_EQ(ThreadRegistry::GetThreadProxy(50), holder.GetProxy());

  ASSERT_TRUE(RunOn(50, [] { ThreadRegistry::UnregisterCurrentThread(); }));
  EXPECT_NE(ThreadRegistry::GetThreadProxy(50), nullptr);  // one registration left
  ASSERT_TRUE(RunOn(50, [] { ThreadRegistry::UnregisterCurrentThread(); }));
  EXPECT_EQ(ThreadRegistry::GetThreadProxy(50), nullptr);

  // Now free: the other thread may take it.
  nbase_test::Latch done2;
  other_proxy->PostTask([&] {
    taken = ThreadRegistry::RegisterCurrentThread(50);
    done2.Signal();
  });
  ASSERT_TRUE(done2.Wait());
  EXPECT_TRUE(taken);
  EXPECT_EQ(ThreadRegistry::GetThreadProxy(50), other_proxy);
}

TEST(FrameworkThreadTest, NegativeIdentifiersAndPlainThreadsRegisterNothing) {
  RegisteredThread thread("worker", -3);
  ASSERT_TRUE(thread.Start());
  EXPECT_FALSE(thread.registered.load());
  EXPECT_EQ(ThreadRegistry::GetThreadProxy(-3), nullptr);
  // The test's own thread is no framework thread.
  EXPECT_FALSE(ThreadRegistry::RegisterCurrentThread(60));
  EXPECT_EQ(ThreadRegistry::GetThreadProxy(60), nullptr);
}

TEST(FrameworkThreadTest, RegistrationLeftBehindIsDroppedWhenTheThreadEnds) {
  struct Forgetful : FrameworkThread {
    Forgetful() : FrameworkThread("forgetful") {}
    ~Forgetful() override { Stop(); }
    void Init() override { ThreadRegistry::RegisterCurrentThread(61); }
  };
  {
    Forgetful thread;
    ASSERT_TRUE(thread.Start());
    EXPECT_NE(ThreadRegistry::GetThreadProxy(61), nullptr);
  }
  EXPECT_EQ(ThreadRegistry::GetThreadProxy(61), nullptr);
}

// Counts runs; cancels itself (on the target thread) after `cancel_at`.
struct Repeated {
  nbase::WeakCallbackFlag flag;  // lives and dies on the target thread's side
  std::atomic<int> runs{0};
  int cancel_at = 0;
};

int RunRepeating(int identifier, int times, int cancel_at) {
  auto state = std::make_shared<Repeated>();
  state->cancel_at = cancel_at;
  nbase_test::Latch finished;
  bool posted = RunOn(identifier, [&] {
    auto* raw = state.get();
    auto count = [raw, &finished] {
      int n = ++raw->runs;
      if (n == raw->cancel_at) {
        raw->flag.Cancel();
        finished.Signal();
      }
    };
    ThreadRegistry::PostRepeatingTask(raw->flag.MakeWeakCallback(count), identifier,
                                      TimeDelta::FromMilliseconds(1), times);
  });
  EXPECT_TRUE(posted);
  if (cancel_at > 0) {
    EXPECT_TRUE(finished.Wait());
  }
  // Anything still repeating would run within this window; a later, longer
  // delay flushes it.
  nbase_test::Latch flushed;
  ThreadRegistry::PostDelayedTaskToThread(
      identifier, [&flushed] { flushed.Signal(); }, TimeDelta::FromMilliseconds(30));
  EXPECT_TRUE(flushed.Wait());
  int runs = state->runs.load();
  RunOn(identifier, [&state] { state.reset(); });
  return runs;
}

TEST(FrameworkThreadTest, RepeatingTaskRunsTheGivenNumberOfTimes) {
  RegisteredThread thread("repeater", 70);
  ASSERT_TRUE(thread.Start());
  EXPECT_EQ(RunRepeating(70, 3, 0), 3);
  EXPECT_EQ(RunRepeating(70, 1, 0), 1);
}

TEST(FrameworkThreadTest, RepeatingTaskWithoutEndStopsWhenTheOwnerIsGone) {
  RegisteredThread thread("repeater", 71);
  ASSERT_TRUE(thread.Start());
  EXPECT_EQ(RunRepeating(71, -1, 5), 5);
  // 0 runs once, becomes -1 and repeats like it.
  EXPECT_EQ(RunRepeating(71, 0, 4), 4);
}

TEST(FrameworkThreadTest, RepeatingEmptyClosureIsSkippedWithoutEndingTheThread) {
  RegisteredThread thread("repeater", 73);
  ASSERT_TRUE(thread.Start());
  nbase::WeakCallbackFlag flag;
  ThreadRegistry::PostRepeatingTask(flag.MakeWeakCallback(nbase::Closure()), 73,
                                    TimeDelta::FromMilliseconds(1), -1);
  // The thread outlives the repeating task's turn and keeps serving tasks.
  nbase_test::Latch flushed;
  ASSERT_TRUE(ThreadRegistry::PostDelayedTaskToThread(
      73, [&flushed] { flushed.Signal(); }, TimeDelta::FromMilliseconds(30)));
  EXPECT_TRUE(flushed.Wait());
  EXPECT_TRUE(RunOn(73, [] {}));
  flag.Cancel();
}

TEST(FrameworkThreadTest, RunOnCurrentThreadServesAUILoopUntilStopped) {
  struct UIThread : FrameworkThread {
    UIThread() : FrameworkThread("MainThread") {}
    void Init() override { ThreadRegistry::RegisterCurrentThread(80); }
    void Cleanup() override { ThreadRegistry::UnregisterCurrentThread(); }
  };
  std::atomic<bool> was_ui{false};
  std::thread host([&] {
    UIThread ui;
    // Init has registered 80 by the time this task runs.
    nbase::MessageLoop* seen = nullptr;
    std::thread poster([&] {
      while (!ThreadRegistry::PostTaskToThread(80, [&] {
        seen = nbase::MessageLoop::Current();
        was_ui = nbase::UIMessageLoop::Current() != nullptr;
        nbase::MessageLoop::Current()->RequestQuit();
      })) {
        std::this_thread::yield();
      }
    });
    ui.RunOnCurrentThread(FrameworkThread::kUILoop);
    poster.join();
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(ui.GetMessageLoop(), nullptr);
  });
  host.join();
  EXPECT_TRUE(was_ui.load());
  EXPECT_EQ(ThreadRegistry::GetThreadProxy(80), nullptr);
}

TEST(FrameworkThreadTest, IOLoopThreadAndCustomFactory) {
  struct Factory : nbase::MessageLoopFactory {
    std::unique_ptr<nbase::MessageLoop> CreateMessageLoop() override {
      ++made;
      return std::make_unique<nbase::IOMessageLoop>();
    }
    std::atomic<int> made{0};
  };
  auto factory = std::make_shared<Factory>();
  RegisteredThread custom("custom", 90);
  ASSERT_TRUE(custom.StartWithLoopFactory(factory));
  EXPECT_EQ(factory->made.load(), 1);
  bool io = false;
  ASSERT_TRUE(RunOn(90, [&] { io = nbase::IOMessageLoop::Current() != nullptr; }));
  EXPECT_TRUE(io);
  custom.Stop();

  RegisteredThread plain("io", 91);
  ASSERT_TRUE(plain.StartWithLoop(FrameworkThread::kIOLoop));
  io = false;
  ASSERT_TRUE(RunOn(91, [&] { io = nbase::IOMessageLoop::Current() != nullptr; }));
  EXPECT_TRUE(io);
}

TEST(ThreadTest, PlainThreadRunsItsBodyAndJoins) {
  struct Body : nbase::Thread {
    ~Body() override { Join(); }
    void Run() override { ran_on = CurrentThreadId(); }
    std::atomic<uint32_t> ran_on{0};
  } body;
  ASSERT_TRUE(body.Create());
  EXPECT_FALSE(body.Create());  // still not joined
  body.Join();
  EXPECT_NE(body.ran_on.load(), 0u);
  EXPECT_NE(body.ran_on.load(), nbase::Thread::CurrentThreadId());
  EXPECT_EQ(body.thread_id(), 0u);
  EXPECT_TRUE(body.Create());  // joined: may start again
}

}  // namespace
